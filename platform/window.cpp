// Windows, their classes and the message queues.
#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <unordered_set>

#include "platform/window_impl.h"

using winimpl::SentMessage;
using winimpl::ThreadQueue;

namespace {

struct WindowClass {
  WNDPROC proc = nullptr;
  HBRUSH background = nullptr;
  HINSTANCE instance = nullptr;
  UINT style = 0;
  bool builtin = false;
  HICON icon = nullptr;
};

// Everything lives as long as the process: windows handed out are never freed,
// so a stale handle is recognised as dead rather than mistaken for a new window.
struct Layer {
  std::mutex m;
  std::map<std::u16string, WindowClass> classes;
  std::vector<std::unique_ptr<HWND__>> all;
  std::unordered_set<HWND> live;
  std::uint64_t nextOrder = 1;
  HWND focus = nullptr;
  std::map<UINT, std::u16string> strings;
  std::map<UINT, std::unique_ptr<HICON__>> icons;
  HICON__ icon;
};

Layer& lf_layer() {
  static Layer* layer = [] {
    auto* l = new Layer;
    l->classes[u"button"] = WindowClass{winimpl::gf_buttonProc, nullptr, nullptr, 0, true};
    l->classes[u"edit"] = WindowClass{winimpl::gf_editProc, nullptr, nullptr, 0, true};
    return l;
  }();
  return *layer;
}

thread_local std::shared_ptr<ThreadQueue> tl_queue;

std::shared_ptr<ThreadQueue> lf_currentQueue() {
  if (!tl_queue) {
    tl_queue = std::make_shared<ThreadQueue>();
    tl_queue->thread = std::this_thread::get_id();
  }
  return tl_queue;
}

std::u16string lf_lower(LPCWSTR s) {
  std::u16string out;
  for (; s && *s; ++s) out += (*s < 128) ? static_cast<char16_t>(std::tolower(*s)) : *s;
  return out;
}

bool lf_isOwnerThread(HWND w) { return w->owner->thread == std::this_thread::get_id(); }

RECT lf_clientRect(HWND w) { return RECT{0, 0, winimpl::gf_width(w->rect), winimpl::gf_height(w->rect)}; }

// Under the lock. Children without clipping are painted over by their parent,
// so they are made invalid with it. The parent repaints the whole bounding
// rectangle of its update region, so a child lying between two invalid areas
// is painted over too and is made invalid over that rectangle, not just `r`.
void lf_invalidate(HWND w, const RECT& r, bool erase) {
  RECT clipped = winimpl::gf_intersect(r, lf_clientRect(w));
  if (winimpl::gf_isEmpty(clipped) || !w->visible) return;
  w->update = w->invalid ? winimpl::gf_unite(w->update, clipped) : clipped;
  w->invalid = true;
  w->eraseBackground = w->eraseBackground || erase;
  const RECT painted = w->update;
  for (HWND child : w->children) {
    if (!child->visible) continue;
    RECT inChild{painted.left - child->rect.left, painted.top - child->rect.top,
                 painted.right - child->rect.left, painted.bottom - child->rect.top};
    lf_invalidate(child, inChild, erase);
  }
  w->owner->wake.notify_all();
}

void lf_invalidateAll(HWND w, bool erase) { lf_invalidate(w, lf_clientRect(w), erase); }

// Under the lock: the parent's area under a child that moved or disappeared.
void lf_invalidateUnder(HWND w) {
  if (w->parent) lf_invalidate(w->parent, w->rect, true);
}

LRESULT lf_call(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    std::lock_guard lk(lf_layer().m);
    HWND w = winimpl::gf_liveWindow(hwnd);
    if (!w) return 0;
    proc = w->proc;
  }
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

// Under the lock: answers a sent message and wakes its sender.
void lf_finishSent(SentMessage& item, LRESULT result) {
  item.result = result;
  item.done = true;
  item.sender->wake.notify_all();
}

void lf_runSent(std::unique_lock<std::mutex>& lk, ThreadQueue& q) {
  while (!q.sent.empty()) {
    auto item = q.sent.front();
    q.sent.pop_front();
    lk.unlock();
    LRESULT r = lf_call(item->hwnd, item->message, item->wParam, item->lParam);
    lk.lock();
    lf_finishSent(*item, r);
  }
}

bool lf_matches(const MSG& m, HWND filter, UINT lo, UINT hi) {
  if (filter && m.hwnd != filter) return false;
  if (lo == 0 && hi == 0) return true;
  return m.message >= lo && m.message <= hi;
}

void lf_presentThreadWindows(std::unique_lock<std::mutex>& lk, const ThreadQueue& q) {
  if (!winimpl::display::gf_active()) return;
  std::vector<HWND> tops;
  for (HWND w : lf_layer().live)
    if (!w->parent && w->owner.get() == &q) tops.push_back(w);
  lk.unlock();
  for (HWND t : tops) winimpl::display::gf_present(t);
  lk.lock();
}

// Shows at once what was drawn into the window's top-level window.
void lf_presentTopOf(HWND hwnd) {
  HWND top = nullptr;
  {
    std::lock_guard lk(lf_layer().m);
    top = winimpl::gf_topLevel(winimpl::gf_liveWindow(hwnd));
  }
  if (top) winimpl::display::gf_present(top);
}

// The heart of GetMessageW and PeekMessageW. Returns false when nothing is there
// and waiting was not asked for.
bool lf_nextMessage(MSG* out, HWND filter, UINT lo, UINT hi, bool remove, bool wait) {
  Layer& g = lf_layer();
  auto q = lf_currentQueue();
  std::unique_lock lk(g.m);
  bool presented = false;
  for (;;) {
    lf_runSent(lk, *q);
    auto it = std::find_if(q->posted.begin(), q->posted.end(),
                           [&](const MSG& m) { return lf_matches(m, filter, lo, hi); });
    if (it != q->posted.end()) {
      *out = *it;
      if (remove) q->posted.erase(it);
      if (out->lPrivate & winimpl::kRouteToFocus) {
        out->lPrivate &= ~winimpl::kRouteToFocus;
        HWND f = winimpl::gf_liveWindow(g.focus);
        if (f && f->enabled && winimpl::gf_topLevel(f) == out->hwnd) out->hwnd = f;
      }
      return true;
    }
    if (q->quit && !filter) {
      *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0};
      if (remove) q->quit = false;
      return true;
    }
    if (lo == 0 && hi == 0 ? true : (WM_PAINT >= lo && WM_PAINT <= hi)) {
      HWND paint = nullptr;
      for (HWND w : g.live) {
        if (w->owner == q && w->invalid && (!filter || w == filter) &&
            (!paint || w->order < paint->order))
          paint = w;
      }
      if (paint) {
        *out = MSG{paint, WM_PAINT, 0, 0};
        return true;
      }
    }
    // Idle: show what was painted, then look again, as the lock was let go meanwhile.
    if (!presented) {
      lf_presentThreadWindows(lk, *q);
      presented = true;
      continue;
    }
    if (!wait) return false;
    q->wake.wait(lk);
    presented = false;
  }
}

void lf_setTextDirect(HWND hwnd, std::u16string_view text) {
  bool topTitle = false;
  {
    std::lock_guard lk(lf_layer().m);
    HWND w = winimpl::gf_liveWindow(hwnd);
    if (!w) return;
    w->text.assign(text);
    lf_invalidateAll(w, true);
    topTitle = !w->parent;
  }
  if (topTitle) winimpl::display::gf_setTitle(hwnd, text);
}

// Copies text into a buffer of maxCount units, cut to fit with its 0; the units copied.
int lf_copyOut(std::u16string_view text, LPWSTR buffer, int maxCount) {
  if (!buffer || maxCount <= 0) return 0;
  const int n = std::min<int>(static_cast<int>(text.size()), maxCount - 1);
  std::copy_n(text.data(), n, buffer);
  buffer[n] = 0;
  return n;
}

int lf_copyText(HWND hwnd, LPWSTR buffer, int maxCount) {
  std::lock_guard lk(lf_layer().m);
  HWND w = winimpl::gf_liveWindow(hwnd);
  return lf_copyOut(w ? std::u16string_view(w->text) : std::u16string_view(), buffer, maxCount);
}

int lf_textLength(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = winimpl::gf_liveWindow(hwnd);
  return w ? static_cast<int>(w->text.size()) : 0;
}

// Whether the calling thread owns the window; nullopt when there is no such window.
std::optional<bool> lf_ownedByCaller(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = winimpl::gf_liveWindow(hwnd);
  if (!w) return std::nullopt;
  return lf_isOwnerThread(w);
}

ControlKind lf_kindOf(const std::u16string& cls, DWORD style) {
  if (cls == u"edit") return ControlKind::Edit;
  if (cls == u"button") {
    const DWORD type = style & 0xF;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX ? ControlKind::CheckBox
                                                          : ControlKind::PushButton;
  }
  return ControlKind::Window;
}

// The window and its descendants, parents first; under the lock.
void lf_collect(HWND w, std::vector<HWND>& out) {
  out.push_back(w);
  for (HWND c : w->children) lf_collect(c, out);
}

}  // namespace

// ---- Helpers shared inside the layer ----
namespace winimpl {

std::mutex& gf_layerMutex() { return lf_layer().m; }

ControlSnapshot gf_snapshot(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return ControlSnapshot{};
  return ControlSnapshot{w->parent, w->id, w->style, w->enabled, lf_layer().focus == w,
                         w->pressed, w->check, w->text, lf_clientRect(w)};
}

void gf_invalidateAll(HWND hwnd, bool erase) { lf_invalidateAll(hwnd, erase); }

void gf_setFocus(HWND hwnd) {
  HWND old = nullptr;
  {
    std::lock_guard lk(lf_layer().m);
    Layer& g = lf_layer();
    if (hwnd && !winimpl::gf_liveWindow(hwnd)) return;
    if (g.focus == hwnd) return;
    old = g.focus;
    g.focus = hwnd;
    if (old && winimpl::gf_liveWindow(old)) lf_invalidateAll(old, false);
    if (hwnd) lf_invalidateAll(hwnd, false);
  }
  if (old) lf_call(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd) lf_call(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
}

void gf_setCheck(HWND hwnd, UINT check) {
  std::lock_guard lk(lf_layer().m);
  HWND w = winimpl::gf_liveWindow(hwnd);
  if (!w || w->check == check) return;
  w->check = check;
  lf_invalidateAll(w, true);
}

UINT gf_check(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = winimpl::gf_liveWindow(hwnd);
  return w ? w->check : BST_UNCHECKED;
}

HWND gf_liveWindow(HWND hwnd) {
  if (!hwnd) return nullptr;
  return lf_layer().live.count(hwnd) ? hwnd : nullptr;
}

HWND gf_topLevel(HWND hwnd) {
  while (hwnd && hwnd->parent) hwnd = hwnd->parent;
  return hwnd;
}

POINT gf_clientOrigin(HWND hwnd) {
  POINT p{0, 0};
  for (; hwnd && hwnd->parent; hwnd = hwnd->parent) {
    p.x += hwnd->rect.left;
    p.y += hwnd->rect.top;
  }
  return p;
}

LONG gf_width(const RECT& r) { return r.right - r.left; }
LONG gf_height(const RECT& r) { return r.bottom - r.top; }

RECT gf_intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (gf_isEmpty(r)) return RECT{};
  return r;
}

bool gf_isEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT gf_unite(const RECT& a, const RECT& b) {
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

void gf_postFromDisplay(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD lPrivate) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return;
  w->owner->posted.push_back(MSG{hwnd, message, wParam, lParam, 0, {}, lPrivate});
  w->owner->wake.notify_all();
}

HWND gf_displayHitTest(HWND top, int x, int y) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(top);
  if (!w) return nullptr;
  // Later children lie above earlier ones.
  for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
    HWND c = *it;
    if (c->visible && x >= c->rect.left && x < c->rect.right && y >= c->rect.top &&
        y < c->rect.bottom)
      return c->enabled ? c : nullptr;
  }
  return w;
}

void gf_displayMoved(HWND top, int x, int y) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(top);
  if (!w) return;
  const LONG width = gf_width(w->rect), height = gf_height(w->rect);
  w->rect = RECT{x, y, x + width, y + height};
}

}  // namespace winimpl

using winimpl::gf_liveWindow;

// ---- Classes and windows ----

ATOM RegisterClassExW(const WNDCLASSEXW* wc) {
  if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
  Layer& g = lf_layer();
  std::lock_guard lk(g.m);
  std::u16string name = lf_lower(wc->lpszClassName);
  if (name.empty() || g.classes.count(name)) return 0;
  g.classes[name] = WindowClass{wc->lpfnWndProc, wc->hbrBackground, wc->hInstance, wc->style, false, wc->hIcon};
  return static_cast<ATOM>(0xC000 + g.classes.size());
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
  Layer& g = lf_layer();
  std::lock_guard lk(g.m);
  auto it = g.classes.find(lf_lower(className));
  if (it == g.classes.end() || it->second.builtin) return FALSE;
  g.classes.erase(it);
  return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  Layer& g = lf_layer();
  HWND w = nullptr;
  RECT screen{};
  HICON icon = nullptr;
  {
    std::lock_guard lk(g.m);
    auto cls = g.classes.find(lf_lower(className));
    if (cls == g.classes.end()) return nullptr;
    if (parent && !gf_liveWindow(parent)) return nullptr;
    if ((style & WS_CHILD) && !parent) return nullptr;
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) width = height = 400;
    auto owned = std::make_unique<HWND__>();
    w = owned.get();
    w->owner = lf_currentQueue();
    w->order = g.nextOrder++;
    w->kind = lf_kindOf(cls->first, style);
    w->proc = cls->second.proc;
    w->background = cls->second.background;
    w->instance = instance;
    w->parent = (style & WS_CHILD) ? parent : nullptr;
    w->id = w->parent ? static_cast<int>(reinterpret_cast<std::uintptr_t>(menu)) : 0;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    w->text = windowName ? std::u16string(windowName) : std::u16string();
    w->enabled = !(style & WS_DISABLED);
    g.all.push_back(std::move(owned));
    g.live.insert(w);
    if (w->parent) w->parent->children.push_back(w);
    screen = w->rect;
    icon = cls->second.icon;
  }
  if (!w->parent) winimpl::display::gf_createWindow(w, screen, w->text, icon);

  CREATESTRUCTW cs{param,  instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                   windowName, className, exStyle};
  if (!SendMessageW(w, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
      SendMessageW(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(w);
    return nullptr;
  }
  if (style & WS_VISIBLE) ShowWindow(w, SW_SHOW);
  return IsWindow(w) ? w : nullptr;  // its own procedure may have destroyed it
}

BOOL DestroyWindow(HWND hwnd) {
  Layer& g = lf_layer();
  std::vector<HWND> doomed;
  {
    std::lock_guard lk(g.m);
    HWND w = gf_liveWindow(hwnd);
    if (!w) return FALSE;
    lf_collect(w, doomed);
    if (w->visible) lf_invalidateUnder(w);
  }
  if (!hwnd->parent) winimpl::display::gf_destroyWindow(hwnd);
  for (HWND d : doomed) lf_call(d, WM_DESTROY, 0, 0);
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) lf_call(*it, WM_NCDESTROY, 0, 0);
  std::lock_guard lk(g.m);
  for (HWND d : doomed) {
    if (!g.live.erase(d)) continue;
    d->alive = false;
    d->invalid = false;
    if (g.focus == d) g.focus = nullptr;
    auto& posted = d->owner->posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [d](const MSG& m) { return m.hwnd == d; }),
                 posted.end());
    // Messages sent to it and not yet taken are answered with 0.
    auto& sent = d->owner->sent;
    sent.erase(std::remove_if(sent.begin(), sent.end(),
                              [d](const std::shared_ptr<SentMessage>& m) {
                                if (m->hwnd != d) return false;
                                lf_finishSent(*m, 0);
                                return true;
                              }),
               sent.end());
  }
  if (hwnd->parent && hwnd->parent->alive) {
    auto& siblings = hwnd->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
  }
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  return gf_liveWindow(hwnd) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
  bool wasVisible = false, top = false, show = cmdShow != SW_HIDE;
  {
    std::lock_guard lk(lf_layer().m);
    HWND w = gf_liveWindow(hwnd);
    if (!w) return FALSE;
    wasVisible = w->visible;
    top = !w->parent;
    if (wasVisible == show) return wasVisible ? TRUE : FALSE;
    if (show) {
      w->style |= WS_VISIBLE;
      w->visible = true;
      lf_invalidateAll(w, true);
    } else {
      lf_invalidateUnder(w);
      w->style &= ~WS_VISIBLE;
      w->visible = false;
      w->invalid = false;
    }
  }
  if (top) winimpl::display::gf_show(hwnd, show);
  return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  for (HWND w = gf_liveWindow(hwnd); w; w = w->parent)
    if (!w->visible) return FALSE;
  return gf_liveWindow(hwnd) ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
  bool paint = false;
  {
    std::lock_guard lk(lf_layer().m);
    HWND w = gf_liveWindow(hwnd);
    if (!w) return FALSE;
    paint = w->invalid;
  }
  if (paint) SendMessageW(hwnd, WM_PAINT, 0, 0);
  lf_presentTopOf(hwnd);
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  if (!rect) return FALSE;
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return FALSE;
  HWND top = winimpl::gf_topLevel(w);
  POINT origin = winimpl::gf_clientOrigin(w);
  *rect = RECT{top->rect.left + origin.x, top->rect.top + origin.y, 0, 0};
  rect->right = rect->left + winimpl::gf_width(w->rect);
  rect->bottom = rect->top + winimpl::gf_height(w->rect);
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  if (!rect) return FALSE;
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return FALSE;
  *rect = lf_clientRect(w);
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  bool top = false, changeZ = false, topmost = false, moved = false;
  RECT screen{};
  {
    std::lock_guard lk(lf_layer().m);
    HWND w = gf_liveWindow(hwnd);
    if (!w) return FALSE;
    top = !w->parent;
    if (!(flags & SWP_NOZORDER) && (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)) {
      changeZ = true;
      topmost = insertAfter == HWND_TOPMOST;
      w->exStyle = topmost ? (w->exStyle | WS_EX_TOPMOST) : (w->exStyle & ~WS_EX_TOPMOST);
    }
    RECT r = w->rect;
    if (!(flags & SWP_NOMOVE)) r = RECT{x, y, x + winimpl::gf_width(r), y + winimpl::gf_height(r)};
    if (!(flags & SWP_NOSIZE)) r = RECT{r.left, r.top, r.left + std::max(cx, 0), r.top + std::max(cy, 0)};
    if (!(r == w->rect)) {
      moved = true;
      if (w->visible) lf_invalidateUnder(w);
      w->rect = r;
      if (w->visible) lf_invalidateAll(w, true);
    }
    screen = w->rect;
  }
  if (top && changeZ) winimpl::display::gf_setTopmost(hwnd, topmost);
  if (top && moved) winimpl::display::gf_move(hwnd, screen);
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, SW_SHOW);
  return TRUE;
}

HWND GetParent(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  return w ? w->parent : nullptr;
}

HWND GetDlgItem(HWND parent, int id) {
  std::lock_guard lk(lf_layer().m);
  HWND p = gf_liveWindow(parent);
  if (!p) return nullptr;
  for (HWND c : p->children)
    if (c->id == id) return c;
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  return w ? w->id : 0;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  bool wasDisabled = false, changed = false, notify = false;
  {
    std::lock_guard lk(lf_layer().m);
    HWND w = gf_liveWindow(hwnd);
    if (!w) return FALSE;
    wasDisabled = !w->enabled;
    changed = w->enabled != (enable != FALSE);
    if (changed) {
      w->enabled = enable != FALSE;
      w->style = w->enabled ? (w->style & ~WS_DISABLED) : (w->style | WS_DISABLED);
      w->pressed = false;
      if (!w->enabled && lf_layer().focus == w) lf_layer().focus = nullptr;
      lf_invalidateAll(w, true);
      notify = lf_isOwnerThread(w);
    }
  }
  if (notify) SendMessageW(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  return w && w->enabled ? TRUE : FALSE;
}

HWND SetFocus(HWND hwnd) {
  HWND old = GetFocus();
  winimpl::gf_setFocus(hwnd);
  return old;
}

HWND GetFocus() {
  std::lock_guard lk(lf_layer().m);
  return gf_liveWindow(lf_layer().focus);
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
  const std::optional<bool> own = lf_ownedByCaller(hwnd);
  if (!own) return FALSE;
  if (*own) return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
  lf_setTextDirect(hwnd, text ? std::u16string_view(text) : std::u16string_view());
  return TRUE;
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int maxCount) {
  if (lf_ownedByCaller(hwnd).value_or(false))
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(std::max(maxCount, 0)),
                                         reinterpret_cast<LPARAM>(buffer)));
  return lf_copyText(hwnd, buffer, maxCount);
}

int GetWindowTextLengthW(HWND hwnd) {
  if (lf_ownedByCaller(hwnd).value_or(false))
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
  return lf_textLength(hwnd);
}

BOOL CheckDlgButton(HWND parent, int id, UINT check) {
  HWND item = GetDlgItem(parent, id);
  const std::optional<bool> own = lf_ownedByCaller(item);
  if (!own) return FALSE;
  if (*own)
    SendMessageW(item, BM_SETCHECK, check, 0);
  else
    winimpl::gf_setCheck(item, check);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND parent, int id) {
  HWND item = GetDlgItem(parent, id);
  const std::optional<bool> own = lf_ownedByCaller(item);
  if (!own) return BST_UNCHECKED;
  return *own ? static_cast<UINT>(SendMessageW(item, BM_GETCHECK, 0, 0)) : winimpl::gf_check(item);
}

LRESULT SendDlgItemMessageW(HWND parent, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(parent, id);
  return item ? SendMessageW(item, msg, wParam, lParam) : 0;
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return 0;
  LONG_PTR old = 0;
  switch (index) {
    case GWLP_WNDPROC:
      if (!value) return 0;
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWLP_ID:
      old = w->id;
      w->id = static_cast<int>(value);
      break;
    case GWLP_USERDATA:
      old = w->userData;
      w->userData = value;
      break;
    case GWL_STYLE:
      old = static_cast<LONG_PTR>(w->style);
      w->style = static_cast<DWORD>(value);
      break;
    case GWL_EXSTYLE:
      old = static_cast<LONG_PTR>(w->exStyle);
      w->exStyle = static_cast<DWORD>(value);
      break;
    default:
      return 0;
  }
  return old;
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_ID: return w->id;
    case GWLP_USERDATA: return w->userData;
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    default: return 0;
  }
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_SETTEXT:
      lf_setTextDirect(hwnd, lParam ? std::u16string_view(reinterpret_cast<LPCWSTR>(lParam))
                                    : std::u16string_view());
      return TRUE;
    case WM_GETTEXT:
      return lf_copyText(hwnd, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
      return lf_textLength(hwnd);
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush = nullptr;
      RECT client{};
      {
        std::lock_guard lk(lf_layer().m);
        HWND w = gf_liveWindow(hwnd);
        if (!w) return 0;
        brush = w->background;
        client = lf_clientRect(w);
      }
      if (!brush) return 0;
      FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
      return 1;
    }
    case WM_CTLCOLOREDIT:
      return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      static HBRUSH face = CreateSolidBrush(RGB(240, 240, 240));
      SetBkColor(reinterpret_cast<HDC>(wParam), RGB(240, 240, 240));
      return reinterpret_cast<LRESULT>(static_cast<HGDIOBJ>(face));
    }
    default:
      return 0;
  }
}

// ---- Resources ----

void gf_setStringResource(UINT id, std::u16string text) {
  std::lock_guard lk(lf_layer().m);
  lf_layer().strings[id] = std::move(text);
}

int LoadStringW(HINSTANCE, UINT id, LPWSTR buffer, int maxCount) {
  std::lock_guard lk(lf_layer().m);
  const auto& strings = lf_layer().strings;
  auto it = strings.find(id);
  return lf_copyOut(it != strings.end() ? std::u16string_view(it->second) : std::u16string_view(), buffer,
                    maxCount);
}

void gf_setIconResource(UINT id, int size, std::vector<std::uint32_t> argb) {
  if (size <= 0 || argb.size() != static_cast<std::size_t>(size) * static_cast<std::size_t>(size)) return;
  std::lock_guard lk(lf_layer().m);
  auto& icon = lf_layer().icons[id];
  if (!icon) icon = std::make_unique<HICON__>();  // a handle given out stays valid
  icon->size = size;
  icon->argb = std::move(argb);
}

HINSTANCE gf_programInstance() {
  return nullptr;
}

HICON LoadIconW(HINSTANCE, LPCWSTR name) {
  Layer& g = lf_layer();
  std::lock_guard lk(g.m);
  const auto id = reinterpret_cast<std::uintptr_t>(name);
  if (id < 0x10000) {
    auto it = g.icons.find(static_cast<UINT>(id));
    if (it != g.icons.end()) return it->second.get();
  }
  return &g.icon;
}
HCURSOR LoadCursorW(HINSTANCE, LPCWSTR) { return &lf_layer().icon; }

// ---- Messages ----

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg) return -1;
  lf_nextMessage(msg, hwnd, filterMin, filterMax, true, true);
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg) return FALSE;
  return lf_nextMessage(msg, hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0, false)
             ? TRUE
             : FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN || msg->lPrivate == 0) return FALSE;
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(msg->hwnd);
  if (!w) return FALSE;
  // The character comes before anything queued after its key.
  w->owner->posted.push_front(MSG{msg->hwnd, WM_CHAR, msg->lPrivate, msg->lParam});
  return TRUE;
}

int TranslateAcceleratorW(HWND, HACCEL, MSG*) { return 0; }

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  return lf_call(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Layer& g = lf_layer();
  if (!hwnd) {
    auto q = lf_currentQueue();
    std::lock_guard lk(g.m);
    q->posted.push_back(MSG{nullptr, msg, wParam, lParam});
    q->wake.notify_all();
    return TRUE;
  }
  std::lock_guard lk(g.m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return FALSE;
  w->owner->posted.push_back(MSG{hwnd, msg, wParam, lParam});
  w->owner->wake.notify_all();
  return TRUE;
}

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Layer& g = lf_layer();
  std::unique_lock lk(g.m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return 0;
  if (lf_isOwnerThread(w)) {
    lk.unlock();
    return lf_call(hwnd, msg, wParam, lParam);
  }
  // Another thread's window: its owner runs the procedure, this thread waits.
  // Meanwhile it handles what is sent to its own windows, as on Windows:
  // two threads sending to each other would otherwise wait for ever.
  auto self = lf_currentQueue();
  auto item = std::make_shared<SentMessage>(SentMessage{hwnd, msg, wParam, lParam, self});
  w->owner->sent.push_back(item);
  w->owner->wake.notify_all();
  while (!item->done) {
    if (!self->sent.empty())
      lf_runSent(lk, *self);
    else
      self->wake.wait(lk);
  }
  return item->result;
}

void PostQuitMessage(int exitCode) {
  auto q = lf_currentQueue();
  std::lock_guard lk(lf_layer().m);
  q->quit = true;
  q->quitCode = exitCode;
  q->wake.notify_all();
}

// ---- Painting ----

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  // The record is for tests; a program repaints for hours, so only the latest calls are kept.
  constexpr std::size_t kRecordedCalls = 256;
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return FALSE;
  if (w->invalidations.size() >= kRecordedCalls) w->invalidations.erase(w->invalidations.begin());
  w->invalidations.push_back(
      Invalidation{rect ? std::optional<RECT>(*rect) : std::nullopt, erase != FALSE});
  lf_invalidate(w, rect ? *rect : lf_clientRect(w), erase != FALSE);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return FALSE;
  // The region is a bounding rectangle: only covering it whole validates it.
  if (!rect || winimpl::gf_intersect(w->update, *rect) == w->update) {
    w->invalid = false;
    w->eraseBackground = false;
  }
  return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  if (!ps) return nullptr;
  RECT update{};
  bool erase = false;
  POINT origin{};
  {
    std::lock_guard lk(lf_layer().m);
    HWND w = gf_liveWindow(hwnd);
    if (!w) return nullptr;
    update = w->invalid ? w->update : RECT{};
    erase = w->invalid && w->eraseBackground;
    w->invalid = false;
    w->eraseBackground = false;
    origin = winimpl::gf_clientOrigin(w);
  }
  HDC dc = winimpl::gf_createWindowDC(hwnd, origin, update);
  *ps = PAINTSTRUCT{};
  ps->hdc = dc;
  ps->rcPaint = update;
  if (erase) ps->fErase = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
  winimpl::gf_takeOps(dc);  // the erasing is not part of what the paint drew
  return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
  if (!ps || !ps->hdc) return FALSE;
  std::vector<PaintOp> ops = winimpl::gf_takeOps(ps->hdc);
  DeleteDC(ps->hdc);
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return FALSE;
  w->lastPaint = std::move(ops);
  ++w->paintCount;
  return TRUE;
}

HDC GetDC(HWND hwnd) {
  POINT origin{};
  RECT client{};
  {
    std::lock_guard lk(lf_layer().m);
    HWND w = gf_liveWindow(hwnd);
    if (!w) return nullptr;
    origin = winimpl::gf_clientOrigin(w);
    client = lf_clientRect(w);
  }
  return winimpl::gf_createWindowDC(hwnd, origin, client);
}

int ReleaseDC(HWND hwnd, HDC hdc) {
  if (!DeleteDC(hdc)) return 0;
  lf_presentTopOf(hwnd);
  return 1;
}

// ---- Test hooks ----

std::vector<PaintOp> gf_testLastPaint(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  return w ? w->lastPaint : std::vector<PaintOp>{};
}

int gf_testPaintCount(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  return w ? w->paintCount : 0;
}

std::vector<Invalidation> gf_testInvalidations(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  return w ? w->invalidations : std::vector<Invalidation>{};
}

void gf_testClearInvalidations(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  if (HWND w = gf_liveWindow(hwnd)) w->invalidations.clear();
}

ControlState gf_testControlState(HWND hwnd) {
  std::lock_guard lk(lf_layer().m);
  HWND w = gf_liveWindow(hwnd);
  if (!w) return ControlState{};
  return ControlState{w->kind,    w->id,      w->rect, w->text, w->enabled, w->visible, w->check == BST_CHECKED,
                      winimpl::gf_textWidth(w->text)};
}

bool gf_testClick(HWND control) {
  RECT client{};
  {
    std::lock_guard lk(lf_layer().m);
    HWND w = gf_liveWindow(control);
    if (!w || !w->enabled || !w->visible) return false;
    client = lf_clientRect(w);
  }
  const LPARAM at = MAKELPARAM(static_cast<WORD>(client.right / 2), static_cast<WORD>(client.bottom / 2));
  SendMessageW(control, WM_LBUTTONDOWN, 0, at);
  SendMessageW(control, WM_LBUTTONUP, 0, at);
  return true;
}

bool gf_testType(HWND hwnd, std::u16string_view keys) {
  if (!IsWindowEnabled(hwnd)) return false;
  for (char16_t c : keys) {
    const WPARAM vk = c == u'\r' ? VK_RETURN : c == u'\b' ? VK_BACK : 0;
    SendMessageW(hwnd, WM_KEYDOWN, vk, 1);
    SendMessageW(hwnd, WM_CHAR, c, 1);
    SendMessageW(hwnd, WM_KEYUP, vk, 1);
  }
  return true;
}

std::vector<COLORREF> gf_testScreenPixels(HWND hwnd, RECT rect) {
  HWND top = nullptr;
  POINT origin{};
  {
    std::lock_guard lk(lf_layer().m);
    HWND w = gf_liveWindow(hwnd);
    if (!w) return {};
    top = winimpl::gf_topLevel(w);
    origin = winimpl::gf_clientOrigin(w);
  }
  RECT inTop{rect.left + origin.x, rect.top + origin.y, rect.right + origin.x, rect.bottom + origin.y};
  return winimpl::display::gf_readPixels(top, inTop);
}
