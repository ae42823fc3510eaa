// Brushes, pens and device contexts. Every device context records what it
// draws; one that belongs to a window on the display also draws it there.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "platform/window_impl.h"

namespace {

enum class BrushMode { Solid, Null, DcBrush };

struct GdiBrush : HBRUSH__ {
  COLORREF colour = 0;
  BrushMode mode = BrushMode::Solid;
  bool stock = false;
};

struct GdiPen : HPEN__ {
  COLORREF colour = 0;
  bool dcPen = false;
  bool stock = false;
};

enum class ObjectKind { Brush, Pen };

}  // namespace

struct HDC__ {
  HWND hwnd = nullptr;  // null: a recording device context
  HWND top = nullptr;
  POINT origin{};  // of the window's client area in the top-level window's client area
  RECT clip{};     // in the window's client coordinates
  GdiBrush* brush = nullptr;
  GdiPen* pen = nullptr;
  COLORREF textColour = RGB(0, 0, 0);
  COLORREF bkColour = RGB(255, 255, 255);
  COLORREF dcBrushColour = RGB(255, 255, 255);
  COLORREF dcPenColour = RGB(0, 0, 0);
  int bkMode = OPAQUE;
  POINT position{};
  std::vector<PaintOp> ops;
};

namespace {

// Lives as long as the process: brushes may be made during static
// initialisation and used until its very end.
struct Gdi {
  std::mutex m;
  std::unordered_map<HGDIOBJ, ObjectKind> objects;
  std::unordered_set<HDC> dcs;
  GdiBrush white, black, null, dcBrush;
  GdiPen whitePen, blackPen, dcPen;
};

Gdi& lf_gdi() {
  static Gdi* gdi = [] {
    auto* g = new Gdi;
    auto stockBrush = [g](GdiBrush& b, COLORREF c, BrushMode mode) {
      b.colour = c;
      b.mode = mode;
      b.stock = true;
      g->objects[&b] = ObjectKind::Brush;
    };
    stockBrush(g->white, RGB(255, 255, 255), BrushMode::Solid);
    stockBrush(g->black, RGB(0, 0, 0), BrushMode::Solid);
    stockBrush(g->null, 0, BrushMode::Null);
    stockBrush(g->dcBrush, 0, BrushMode::DcBrush);
    auto stockPen = [g](GdiPen& p, COLORREF c, bool dc) {
      p.colour = c;
      p.dcPen = dc;
      p.stock = true;
      g->objects[&p] = ObjectKind::Pen;
    };
    stockPen(g->whitePen, RGB(255, 255, 255), false);
    stockPen(g->blackPen, RGB(0, 0, 0), false);
    stockPen(g->dcPen, 0, true);
    return g;
  }();
  return *gdi;
}

// Under the GDI mutex.
HDC lf_dc(HDC hdc) { return hdc && lf_gdi().dcs.count(hdc) ? hdc : nullptr; }

GdiBrush* lf_brush(HGDIOBJ o) {
  auto it = lf_gdi().objects.find(o);
  return it != lf_gdi().objects.end() && it->second == ObjectKind::Brush ? static_cast<GdiBrush*>(o)
                                                                         : nullptr;
}

GdiPen* lf_pen(HGDIOBJ o) {
  auto it = lf_gdi().objects.find(o);
  return it != lf_gdi().objects.end() && it->second == ObjectKind::Pen ? static_cast<GdiPen*>(o)
                                                                       : nullptr;
}

RECT lf_offset(const RECT& r, POINT by) {
  return RECT{r.left + by.x, r.top + by.y, r.right + by.x, r.bottom + by.y};
}

// What a window device context needs to draw on the display, taken under the GDI mutex.
struct Target {
  HWND top = nullptr;
  POINT origin{};
  RECT clip{};
};

Target lf_target(HDC dc) {
  if (!dc->top) return Target{};
  return Target{dc->top, dc->origin, lf_offset(dc->clip, dc->origin)};
}

// Hands out a new device context with the default brush and pen selected.
HDC lf_addDC(HDC dc) {
  Gdi& g = lf_gdi();
  std::lock_guard lk(g.m);
  dc->brush = &g.white;
  dc->pen = &g.blackPen;
  g.dcs.insert(dc);
  return dc;
}

}  // namespace

namespace winimpl {

HDC gf_createWindowDC(HWND hwnd, POINT origin, RECT clip) {
  HWND top = nullptr;
  {
    std::lock_guard lk(gf_layerMutex());
    top = gf_topLevel(gf_liveWindow(hwnd));
  }
  auto* dc = new HDC__;
  dc->hwnd = hwnd;
  dc->top = display::gf_active() ? top : nullptr;
  dc->origin = origin;
  dc->clip = clip;
  return lf_addDC(dc);
}

std::vector<PaintOp> gf_takeOps(HDC hdc) {
  std::lock_guard lk(lf_gdi().m);
  HDC dc = lf_dc(hdc);
  return dc ? std::exchange(dc->ops, {}) : std::vector<PaintOp>{};
}

// Without a display font, text is measured as a 6x13 fixed font would draw it.
int gf_textWidth(std::u16string_view text) {
  const int w = display::gf_textWidth(text);
  return w >= 0 ? w : 6 * static_cast<int>(text.size());
}

int gf_textHeight() { return std::max(display::gf_textHeight(), 13); }

}  // namespace winimpl

namespace {
template <class Object>
Object* lf_register(Object* o, ObjectKind kind) {
  Gdi& g = lf_gdi();
  std::lock_guard lk(g.m);
  g.objects[o] = kind;
  return o;
}
}  // namespace

HBRUSH CreateSolidBrush(COLORREF colour) {
  auto* b = new GdiBrush;
  b->colour = colour;
  return lf_register(b, ObjectKind::Brush);
}

HPEN CreatePen(int, int, COLORREF colour) {
  auto* p = new GdiPen;
  p->colour = colour;
  return lf_register(p, ObjectKind::Pen);
}

HGDIOBJ GetStockObject(int which) {
  Gdi& g = lf_gdi();
  switch (which) {
    case WHITE_BRUSH: return &g.white;
    case BLACK_BRUSH: return &g.black;
    case NULL_BRUSH: return &g.null;
    case DC_BRUSH: return &g.dcBrush;
    case WHITE_PEN: return &g.whitePen;
    case BLACK_PEN: return &g.blackPen;
    case DC_PEN: return &g.dcPen;
    default: return nullptr;
  }
}

BOOL DeleteObject(HGDIOBJ object) {
  Gdi& g = lf_gdi();
  std::lock_guard lk(g.m);
  GdiBrush* b = lf_brush(object);
  GdiPen* p = lf_pen(object);
  if (!b && !p) return FALSE;
  if ((b && b->stock) || (p && p->stock)) return TRUE;
  // An object selected into a device context stays, as on Windows: the
  // context would otherwise draw with freed memory.
  for (HDC dc : g.dcs)
    if ((b && dc->brush == b) || (p && dc->pen == p)) return FALSE;
  g.objects.erase(object);
  delete b;
  delete p;
  return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  std::lock_guard lk(lf_gdi().m);
  HDC dc = lf_dc(hdc);
  if (!dc) return nullptr;
  if (GdiBrush* b = lf_brush(object)) return std::exchange(dc->brush, b);
  if (GdiPen* p = lf_pen(object)) return std::exchange(dc->pen, p);
  return nullptr;
}

COLORREF SetDCBrushColor(HDC hdc, COLORREF colour) {
  std::lock_guard lk(lf_gdi().m);
  HDC dc = lf_dc(hdc);
  return dc ? std::exchange(dc->dcBrushColour, colour) : CLR_INVALID;
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  if (!rect) return 0;
  Target t;
  COLORREF colour = 0;
  {
    std::lock_guard lk(lf_gdi().m);
    HDC dc = lf_dc(hdc);
    GdiBrush* b = lf_brush(brush);
    if (!dc || !b) return 0;
    if (b->mode == BrushMode::Null) return 1;
    colour = b->mode == BrushMode::DcBrush ? dc->dcBrushColour : b->colour;
    dc->ops.push_back(PaintOp::fill(*rect, colour));
    t = lf_target(dc);
  }
  if (t.top) winimpl::display::gf_fill(t.top, lf_offset(*rect, t.origin), t.clip, colour);
  return 1;
}

BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous) {
  std::lock_guard lk(lf_gdi().m);
  HDC dc = lf_dc(hdc);
  if (!dc) return FALSE;
  if (previous) *previous = dc->position;
  dc->position = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  Target t;
  POINT from{};
  COLORREF colour = 0;
  {
    std::lock_guard lk(lf_gdi().m);
    HDC dc = lf_dc(hdc);
    if (!dc) return FALSE;
    from = dc->position;
    colour = dc->pen->dcPen ? dc->dcPenColour : dc->pen->colour;
    dc->ops.push_back(PaintOp::line(from.x, from.y, x, y, colour));
    dc->position = POINT{x, y};
    t = lf_target(dc);
  }
  if (t.top)
    winimpl::display::gf_line(t.top, POINT{from.x + t.origin.x, from.y + t.origin.y},
                              POINT{x + t.origin.x, y + t.origin.y}, t.clip, colour);
  return TRUE;
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int length) {
  if (!text || length < 0) return FALSE;
  std::u16string s(text, static_cast<std::size_t>(length));
  Target t;
  COLORREF colour = 0;
  std::optional<COLORREF> bk;
  {
    std::lock_guard lk(lf_gdi().m);
    HDC dc = lf_dc(hdc);
    if (!dc) return FALSE;
    colour = dc->textColour;
    if (dc->bkMode == OPAQUE) bk = dc->bkColour;
    dc->ops.push_back(PaintOp::textOut(x, y, s, colour, bk, winimpl::gf_textWidth(s)));
    t = lf_target(dc);
  }
  if (t.top) winimpl::display::gf_text(t.top, x + t.origin.x, y + t.origin.y, s, t.clip, colour, bk);
  return TRUE;
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int length, SIZE* size) {
  if (!text || length < 0 || !size) return FALSE;
  {
    std::lock_guard lk(lf_gdi().m);
    if (!lf_dc(hdc)) return FALSE;
  }
  size->cx = winimpl::gf_textWidth(std::u16string_view(text, static_cast<std::size_t>(length)));
  size->cy = winimpl::gf_textHeight();
  return TRUE;
}

HFONT gf_windowFont() { return nullptr; }

COLORREF SetTextColor(HDC hdc, COLORREF colour) {
  std::lock_guard lk(lf_gdi().m);
  HDC dc = lf_dc(hdc);
  return dc ? std::exchange(dc->textColour, colour) : CLR_INVALID;
}

COLORREF SetBkColor(HDC hdc, COLORREF colour) {
  std::lock_guard lk(lf_gdi().m);
  HDC dc = lf_dc(hdc);
  return dc ? std::exchange(dc->bkColour, colour) : CLR_INVALID;
}

int SetBkMode(HDC hdc, int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  std::lock_guard lk(lf_gdi().m);
  HDC dc = lf_dc(hdc);
  return dc ? std::exchange(dc->bkMode, mode) : 0;
}

BOOL DeleteDC(HDC hdc) {
  Gdi& g = lf_gdi();
  std::lock_guard lk(g.m);
  if (!g.dcs.erase(hdc)) return FALSE;
  delete hdc;
  return TRUE;
}

HDC gf_testCreateRecordingDC() {
  auto* dc = new HDC__;
  dc->clip = RECT{-30000, -30000, 30000, 30000};
  return lf_addDC(dc);
}

std::vector<PaintOp> gf_testPaintOps(HDC hdc) {
  std::lock_guard lk(lf_gdi().m);
  HDC dc = lf_dc(hdc);
  return dc ? dc->ops : std::vector<PaintOp>{};
}

