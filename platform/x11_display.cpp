// The X11 display: one X window per top-level window, drawn through a back
// buffer, and an event thread that turns mouse, keyboard and window-manager
// events into posted messages. Child controls are not X windows: the layer
// draws them into their parent's buffer and hit-tests clicks itself.
#include "platform/window_impl.h"

#if defined(SKLM_HAVE_X11) && SKLM_HAVE_X11

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "platform/system.h"

namespace {

struct XWin {
  ::Window window = 0;
  Pixmap buffer = 0;
  int width = 0;
  int height = 0;
  bool mapped = false;
  bool dirty = false;
  RECT dirtyRect{};
};

struct Channel {
  int shift = 0;
  int bits = 0;
};

// All Xlib calls are made under `m`, so the connection needs no Xlib threading.
struct XState {
  std::mutex m;
  ::Display* dpy = nullptr;
  std::atomic<bool> open{false};
  bool enabled = false;
  GC gc = nullptr;
  // Loaded once and kept: text is measured without the lock, from any thread.
  std::atomic<XFontStruct*> font{nullptr};
  std::atomic<bool> font16{false};  // the font is indexed by UTF-16 units (set before font)
  Visual* visual = nullptr;
  int depth = 0;
  Channel red, green, blue;
  Atom wmProtocols = 0, wmDelete = 0, netWmState = 0, netWmStateAbove = 0, netWmName = 0,
       utf8String = 0;
  std::map<HWND, XWin> windows;
  std::thread events;
  // The running event thread's number; a thread of an older number ends.
  unsigned eventsGeneration = 0;
  HWND capture = nullptr;  // the window that got the button press (event thread only)
};

XState& lf_x() {
  static XState* state = new XState;
  return *state;
}

int lf_ignoreXError(::Display*, XErrorEvent*) { return 0; }

Channel lf_channel(unsigned long mask) {
  Channel c;
  if (!mask) return c;
  while (!(mask & 1)) {
    mask >>= 1;
    ++c.shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++c.bits;
  }
  return c;
}

unsigned long lf_pixel(const XState& x, COLORREF c) {
  auto part = [](const Channel& ch, int v) {
    return static_cast<unsigned long>(ch.bits >= 8 ? v << (ch.bits - 8) : v >> (8 - ch.bits))
           << ch.shift;
  };
  return part(x.red, GetRValue(c)) | part(x.green, GetGValue(c)) | part(x.blue, GetBValue(c));
}

COLORREF lf_colour(const XState& x, unsigned long p) {
  auto part = [p](const Channel& ch) {
    const unsigned long v = (p >> ch.shift) & ((1ul << ch.bits) - 1);
    return static_cast<int>(ch.bits >= 8 ? v >> (ch.bits - 8) : v << (8 - ch.bits));
  };
  return RGB(part(x.red), part(x.green), part(x.blue));
}

std::vector<XChar2b> lf_units16(std::u16string_view text) {
  std::vector<XChar2b> out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c >= 0xD800 && c < 0xE000) c = u'?';
    out.push_back(XChar2b{static_cast<unsigned char>(c >> 8), static_cast<unsigned char>(c & 0xFF)});
  }
  return out;
}

std::string lf_latin1(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 256 ? static_cast<char>(c) : '?';
  return out;
}

std::string lf_utf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = u'?';
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Under x.m.
void lf_setTitle(XState& x, ::Window w, std::u16string_view title) {
  std::string latin = lf_latin1(title), utf8 = lf_utf8(title);
  XStoreName(x.dpy, w, latin.c_str());
  XChangeProperty(x.dpy, w, x.netWmName, x.utf8String, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
}

void lf_markDirty(XWin& w, const RECT& r) {
  RECT c = winimpl::gf_intersect(r, RECT{0, 0, w.width, w.height});
  if (winimpl::gf_isEmpty(c)) return;
  w.dirtyRect = w.dirty ? winimpl::gf_unite(w.dirtyRect, c) : c;
  w.dirty = true;
}

// Under x.m: the X side of a top-level window, or nullptr (also when the connection is closed).
XWin* lf_window(XState& x, HWND top) {
  if (!x.dpy) return nullptr;
  auto it = x.windows.find(top);
  return it != x.windows.end() ? &it->second : nullptr;
}

// Under x.m: the window's buffer with the GC clipped to `clip`, or nullptr.
XWin* lf_prepare(XState& x, HWND top, const RECT& clip, COLORREF colour) {
  XWin* w = lf_window(x, top);
  if (!w) return nullptr;
  XRectangle r{static_cast<short>(clip.left), static_cast<short>(clip.top),
               static_cast<unsigned short>(std::max<LONG>(0, clip.right - clip.left)),
               static_cast<unsigned short>(std::max<LONG>(0, clip.bottom - clip.top))};
  XSetClipRectangles(x.dpy, x.gc, 0, 0, &r, 1, Unsorted);
  XSetForeground(x.dpy, x.gc, lf_pixel(x, colour));
  return w;
}

HWND lf_topOf(XState& x, ::Window w) {
  std::lock_guard lk(x.m);
  for (auto& [hwnd, xw] : x.windows)
    if (xw.window == w) return hwnd;
  return nullptr;
}

LPARAM lf_pointIn(HWND target, HWND top, int x, int y) {
  RECT t{}, p{};
  GetWindowRect(target, &t);
  GetWindowRect(top, &p);
  return MAKELPARAM(static_cast<WORD>(x - (t.left - p.left)), static_cast<WORD>(y - (t.top - p.top)));
}

void lf_handle(XState& x, XEvent& e) {
  HWND top = lf_topOf(x, e.xany.window);
  if (!top) return;
  switch (e.type) {
    case Expose: {
      std::lock_guard lk(x.m);
      XWin* w = lf_window(x, top);
      if (!w) return;
      XSetClipMask(x.dpy, x.gc, 0);
      XCopyArea(x.dpy, w->buffer, w->window, x.gc, e.xexpose.x, e.xexpose.y,
                static_cast<unsigned>(e.xexpose.width), static_cast<unsigned>(e.xexpose.height),
                e.xexpose.x, e.xexpose.y);
      XFlush(x.dpy);
      return;
    }
    case ButtonPress: {
      if (e.xbutton.button != Button1) return;
      HWND target = winimpl::gf_displayHitTest(top, e.xbutton.x, e.xbutton.y);
      x.capture = target;
      if (target)
        winimpl::gf_postFromDisplay(target, WM_LBUTTONDOWN, 0,
                                    lf_pointIn(target, top, e.xbutton.x, e.xbutton.y), 0);
      return;
    }
    case ButtonRelease: {
      if (e.xbutton.button != Button1 || !x.capture) return;
      HWND target = std::exchange(x.capture, nullptr);
      winimpl::gf_postFromDisplay(target, WM_LBUTTONUP, 0,
                                  lf_pointIn(target, top, e.xbutton.x, e.xbutton.y), 0);
      return;
    }
    case KeyPress:
    case KeyRelease: {
      char buf[8] = {};
      KeySym sym = 0;
      int n = 0;
      {
        std::lock_guard lk(x.m);
        n = XLookupString(&e.xkey, buf, sizeof buf, &sym, nullptr);
      }
      // XLookupString gives Latin-1, which is also the first block of UTF-16.
      DWORD ch = n > 0 ? static_cast<unsigned char>(buf[0]) : 0;
      if (sym == XK_KP_Enter) ch = u'\r';
      const WPARAM vk = ch == u'\r' ? VK_RETURN : ch == u'\b' ? VK_BACK
                        : (ch >= 'a' && ch <= 'z') ? ch - 'a' + 'A' : ch;
      using winimpl::kRouteToFocus;
      if (e.type == KeyPress)
        winimpl::gf_postFromDisplay(top, WM_KEYDOWN, vk, 1, ch | kRouteToFocus);
      else
        winimpl::gf_postFromDisplay(top, WM_KEYUP, vk, 1, kRouteToFocus);
      return;
    }
    case ClientMessage:
      if (static_cast<Atom>(e.xclient.data.l[0]) == x.wmDelete)
        winimpl::gf_postFromDisplay(top, WM_CLOSE, 0, 0, 0);
      return;
    case ConfigureNotify: {
      int rx = e.xconfigure.x, ry = e.xconfigure.y;
      if (!e.xconfigure.send_event) {
        std::lock_guard lk(x.m);
        ::Window child = 0;
        if (!x.dpy) return;
        XTranslateCoordinates(x.dpy, e.xconfigure.window, DefaultRootWindow(x.dpy), 0, 0, &rx, &ry,
                              &child);
      }
      winimpl::gf_displayMoved(top, rx, ry);
      return;
    }
    default:
      return;
  }
}

void lf_eventLoop(XState& x, int fd, unsigned generation) {
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 20);  // also picks up events another call has already read
    std::vector<XEvent> events;
    {
      std::lock_guard lk(x.m);
      if (!x.dpy || x.eventsGeneration != generation) return;
      while (XPending(x.dpy)) {
        XEvent e;
        XNextEvent(x.dpy, &e);
        events.push_back(e);
      }
    }
    for (XEvent& e : events) lf_handle(x, e);
  }
}

// Under x.m, with no event thread running.
void lf_startEvents(XState& x) {
  x.events = std::thread(lf_eventLoop, std::ref(x), ConnectionNumber(x.dpy), ++x.eventsGeneration);
}

// Under x.m.
bool lf_open(XState& x) {
  if (x.dpy) return true;
  const std::optional<std::string> name = gf_environmentVariable("DISPLAY");
  if (!name || name->empty()) return false;
  XSetErrorHandler(lf_ignoreXError);
  x.dpy = XOpenDisplay(nullptr);
  if (!x.dpy) {
    // The user asked for a window: say why there is none, once.
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) std::fprintf(stderr, "cannot open display %s; running without a window\n", name->c_str());
    return false;
  }
  const int screen = DefaultScreen(x.dpy);
  x.visual = DefaultVisual(x.dpy, screen);
  x.depth = DefaultDepth(x.dpy, screen);
  x.red = lf_channel(x.visual->red_mask);
  x.green = lf_channel(x.visual->green_mask);
  x.blue = lf_channel(x.visual->blue_mask);
  x.gc = XCreateGC(x.dpy, RootWindow(x.dpy, screen), 0, nullptr);
  if (!x.font) {
    XFontStruct* font =
        XLoadQueryFont(x.dpy, "-misc-fixed-medium-r-semicondensed--13-120-75-75-c-60-iso10646-1");
    x.font16 = font != nullptr;
    if (!font) font = XLoadQueryFont(x.dpy, "6x13");
    if (!font) font = XLoadQueryFont(x.dpy, "fixed");
    x.font = font;
  }
  if (XFontStruct* font = x.font) XSetFont(x.dpy, x.gc, font->fid);
  x.wmProtocols = XInternAtom(x.dpy, "WM_PROTOCOLS", False);
  x.wmDelete = XInternAtom(x.dpy, "WM_DELETE_WINDOW", False);
  x.netWmState = XInternAtom(x.dpy, "_NET_WM_STATE", False);
  x.netWmStateAbove = XInternAtom(x.dpy, "_NET_WM_STATE_ABOVE", False);
  x.netWmName = XInternAtom(x.dpy, "_NET_WM_NAME", False);
  x.utf8String = XInternAtom(x.dpy, "UTF8_STRING", False);
  x.open = true;
  lf_startEvents(x);
  return true;
}

// Closes the connection once no window uses it; called without x.m held.
void lf_closeWhenUnused(XState& x) {
  std::thread events;
  {
    std::lock_guard lk(x.m);
    if (!x.dpy || !x.windows.empty()) return;
    ++x.eventsGeneration;  // ends the event thread
    events = std::move(x.events);
  }
  if (events.joinable()) events.join();
  std::lock_guard lk(x.m);
  if (!x.dpy) return;
  if (!x.windows.empty()) {
    // Another thread made a window while the event thread was ending.
    if (!x.events.joinable()) lf_startEvents(x);
    return;
  }
  // The font lives on: text widths are measured without the connection.
  XFreeGC(x.dpy, x.gc);
  XCloseDisplay(x.dpy);
  x.dpy = nullptr;
  x.gc = nullptr;
  x.open = false;
}

}  // namespace

namespace winimpl::display {

bool gf_open() {
  std::lock_guard lk(lf_x().m);
  return lf_open(lf_x());
}

bool gf_active() { return lf_x().open; }

void gf_createWindow(HWND top, const RECT& r, std::u16string_view title, HICON icon) {
  XState& x = lf_x();
  std::lock_guard lk(x.m);
  if (!x.enabled || !lf_open(x)) return;
  const int w = std::max<int>(1, gf_width(r)), h = std::max<int>(1, gf_height(r));
  const ::Window root = DefaultRootWindow(x.dpy);
  XWin xw;
  xw.width = w;
  xw.height = h;
  xw.window = XCreateSimpleWindow(x.dpy, root, r.left, r.top, static_cast<unsigned>(w),
                                  static_cast<unsigned>(h), 0, 0, 0);
  XSelectInput(x.dpy, xw.window,
               ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask |
                   StructureNotifyMask);
  XSetWMProtocols(x.dpy, xw.window, &x.wmDelete, 1);
  XSizeHints* hints = XAllocSizeHints();
  hints->flags = USPosition | PPosition | PMinSize | PMaxSize;
  hints->x = r.left;
  hints->y = r.top;
  hints->min_width = hints->max_width = w;
  hints->min_height = hints->max_height = h;
  XSetWMNormalHints(x.dpy, xw.window, hints);
  XFree(hints);
  lf_setTitle(x, xw.window, title);
  if (icon && icon->size > 0) {
    // _NET_WM_ICON: width, height, then the pixels, each a CARDINAL (a long to Xlib).
    std::vector<unsigned long> data{static_cast<unsigned long>(icon->size), static_cast<unsigned long>(icon->size)};
    data.insert(data.end(), icon->argb.begin(), icon->argb.end());
    XChangeProperty(x.dpy, xw.window, XInternAtom(x.dpy, "_NET_WM_ICON", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
  }
  xw.buffer = XCreatePixmap(x.dpy, xw.window, static_cast<unsigned>(w), static_cast<unsigned>(h),
                            static_cast<unsigned>(x.depth));
  XSetClipMask(x.dpy, x.gc, 0);
  XSetForeground(x.dpy, x.gc, lf_pixel(x, RGB(0, 0, 0)));
  XFillRectangle(x.dpy, xw.buffer, x.gc, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
  XFlush(x.dpy);
  x.windows[top] = xw;
}

void gf_destroyWindow(HWND top) {
  XState& x = lf_x();
  {
    std::lock_guard lk(x.m);
    XWin* w = lf_window(x, top);
    if (!w) return;
    XFreePixmap(x.dpy, w->buffer);
    XDestroyWindow(x.dpy, w->window);
    XFlush(x.dpy);
    x.windows.erase(top);
  }
  lf_closeWhenUnused(x);
}

void gf_show(HWND top, bool visible) {
  XState& x = lf_x();
  std::lock_guard lk(x.m);
  XWin* w = lf_window(x, top);
  if (!w) return;
  if (visible)
    XMapRaised(x.dpy, w->window);
  else
    XUnmapWindow(x.dpy, w->window);
  w->mapped = visible;
  XFlush(x.dpy);
}

void gf_setTitle(HWND top, std::u16string_view title) {
  XState& x = lf_x();
  std::lock_guard lk(x.m);
  XWin* w = lf_window(x, top);
  if (!w) return;
  lf_setTitle(x, w->window, title);
  XFlush(x.dpy);
}

void gf_setTopmost(HWND top, bool topmost) {
  XState& x = lf_x();
  std::lock_guard lk(x.m);
  XWin* xw = lf_window(x, top);
  if (!xw) return;
  const ::Window w = xw->window;
  if (xw->mapped) {
    // A mapped window asks the window manager.
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = x.netWmState;
    e.xclient.format = 32;
    e.xclient.data.l[0] = topmost ? 1 : 0;
    e.xclient.data.l[1] = static_cast<long>(x.netWmStateAbove);
    e.xclient.data.l[3] = 1;
    XSendEvent(x.dpy, DefaultRootWindow(x.dpy), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
  } else if (topmost) {
    XChangeProperty(x.dpy, w, x.netWmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&x.netWmStateAbove), 1);
  } else {
    XDeleteProperty(x.dpy, w, x.netWmState);
  }
  if (topmost) XRaiseWindow(x.dpy, w);
  XFlush(x.dpy);
}

void gf_move(HWND top, const RECT& r) {
  XState& x = lf_x();
  std::lock_guard lk(x.m);
  XWin* found = lf_window(x, top);
  if (!found) return;
  XWin& xw = *found;
  const int w = std::max<int>(1, gf_width(r)), h = std::max<int>(1, gf_height(r));
  XMoveResizeWindow(x.dpy, xw.window, r.left, r.top, static_cast<unsigned>(w), static_cast<unsigned>(h));
  if (w != xw.width || h != xw.height) {
    XFreePixmap(x.dpy, xw.buffer);
    xw.buffer = XCreatePixmap(x.dpy, xw.window, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              static_cast<unsigned>(x.depth));
    xw.width = w;
    xw.height = h;
  }
  XFlush(x.dpy);
}

void gf_fill(HWND top, const RECT& r, const RECT& clip, COLORREF c) {
  XState& x = lf_x();
  std::lock_guard lk(x.m);
  XWin* w = lf_prepare(x, top, clip, c);
  if (!w || gf_isEmpty(r)) return;
  XFillRectangle(x.dpy, w->buffer, x.gc, r.left, r.top, static_cast<unsigned>(gf_width(r)),
                 static_cast<unsigned>(gf_height(r)));
  lf_markDirty(*w, gf_intersect(r, clip));
}

void gf_line(HWND top, POINT a, POINT b, const RECT& clip, COLORREF c) {
  XState& x = lf_x();
  std::lock_guard lk(x.m);
  XWin* w = lf_prepare(x, top, clip, c);
  if (!w) return;
  XDrawLine(x.dpy, w->buffer, x.gc, a.x, a.y, b.x, b.y);
  lf_markDirty(*w, gf_intersect(RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1,
                                     std::max(a.y, b.y) + 1},
                                clip));
}

void gf_text(HWND top, int tx, int ty, std::u16string_view text, const RECT& clip, COLORREF c,
             std::optional<COLORREF> background) {
  XState& x = lf_x();
  std::lock_guard lk(x.m);
  XFontStruct* font = x.font;
  if (!font) return;
  const int width = gf_textWidth(text), height = font->ascent + font->descent;
  if (background) {
    XWin* w = lf_prepare(x, top, clip, *background);
    if (!w) return;
    XFillRectangle(x.dpy, w->buffer, x.gc, tx, ty, static_cast<unsigned>(width),
                   static_cast<unsigned>(height));
  }
  XWin* w = lf_prepare(x, top, clip, c);
  if (!w) return;
  const int baseline = ty + font->ascent;
  if (x.font16) {
    auto units = lf_units16(text);
    XDrawString16(x.dpy, w->buffer, x.gc, tx, baseline, units.data(), static_cast<int>(units.size()));
  } else {
    std::string latin = lf_latin1(text);
    XDrawString(x.dpy, w->buffer, x.gc, tx, baseline, latin.data(), static_cast<int>(latin.size()));
  }
  lf_markDirty(*w, gf_intersect(RECT{tx, ty, tx + width, ty + height}, clip));
}

int gf_textWidth(std::u16string_view text) {
  XFontStruct* font = lf_x().font;
  if (!font) return -1;
  if (lf_x().font16) {
    auto units = lf_units16(text);
    return XTextWidth16(font, units.data(), static_cast<int>(units.size()));
  }
  std::string latin = lf_latin1(text);
  return XTextWidth(font, latin.data(), static_cast<int>(latin.size()));
}

int gf_textHeight() {
  XFontStruct* font = lf_x().font;
  return font ? font->ascent + font->descent : -1;
}

void gf_present(HWND top) {
  XState& x = lf_x();
  std::lock_guard lk(x.m);
  XWin* found = lf_window(x, top);
  if (!found || !found->dirty) return;
  XWin& w = *found;
  XSetClipMask(x.dpy, x.gc, 0);
  XCopyArea(x.dpy, w.buffer, w.window, x.gc, w.dirtyRect.left, w.dirtyRect.top,
            static_cast<unsigned>(gf_width(w.dirtyRect)), static_cast<unsigned>(gf_height(w.dirtyRect)),
            w.dirtyRect.left, w.dirtyRect.top);
  w.dirty = false;
  XFlush(x.dpy);
}

std::vector<COLORREF> gf_readPixels(HWND top, const RECT& r) {
  XState& x = lf_x();
  std::lock_guard lk(x.m);
  XWin* w = lf_window(x, top);
  if (!w || gf_isEmpty(r)) return {};
  XSync(x.dpy, False);
  XImage* image = XGetImage(x.dpy, w->window, r.left, r.top, static_cast<unsigned>(gf_width(r)),
                            static_cast<unsigned>(gf_height(r)), AllPlanes, ZPixmap);
  if (!image) return {};
  std::vector<COLORREF> out;
  out.reserve(static_cast<std::size_t>(gf_width(r) * gf_height(r)));
  for (int py = 0; py < gf_height(r); ++py)
    for (int px = 0; px < gf_width(r); ++px) out.push_back(lf_colour(x, XGetPixel(image, px, py)));
  XDestroyImage(image);
  return out;
}

}  // namespace winimpl::display

bool gf_enableDisplay(bool on) {
  XState& x = lf_x();
  {
    std::lock_guard lk(x.m);
    x.enabled = on;
    if (on) return lf_open(x);
  }
  lf_closeWhenUnused(x);
  return false;
}

bool gf_displayActive() { return lf_x().open; }

#else  // without X11: always headless

namespace winimpl::display {
bool gf_open() { return false; }
bool gf_active() { return false; }
void gf_createWindow(HWND, const RECT&, std::u16string_view, HICON) {}
void gf_destroyWindow(HWND) {}
void gf_show(HWND, bool) {}
void gf_setTitle(HWND, std::u16string_view) {}
void gf_setTopmost(HWND, bool) {}
void gf_move(HWND, const RECT&) {}
void gf_fill(HWND, const RECT&, const RECT&, COLORREF) {}
void gf_line(HWND, POINT, POINT, const RECT&, COLORREF) {}
void gf_text(HWND, int, int, std::u16string_view, const RECT&, COLORREF, std::optional<COLORREF>) {}
int gf_textWidth(std::u16string_view) { return -1; }
int gf_textHeight() { return -1; }
void gf_present(HWND) {}
std::vector<COLORREF> gf_readPixels(HWND, const RECT&) { return {}; }
}  // namespace winimpl::display

bool gf_enableDisplay(bool) { return false; }
bool gf_displayActive() { return false; }

#endif
