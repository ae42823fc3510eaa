#pragma once
// Inside of the window layer: shared by window.cpp (windows, queue, controls),
// gdi.cpp (objects and device contexts) and x11_display.cpp (the display).
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/window.h"

namespace winimpl {

struct ThreadQueue;

// A message sent from another thread; its sender waits on its own queue until done.
struct SentMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::shared_ptr<ThreadQueue> sender;
  LRESULT result = 0;
  bool done = false;
};

// The message queue of one thread that owns windows.
struct ThreadQueue {
  std::thread::id thread;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quit = false;
  int quitCode = 0;
  std::condition_variable wake;
};

}  // namespace winimpl

// The window object behind an HWND. Guarded by the layer mutex.
struct HWND__ {
  std::shared_ptr<winimpl::ThreadQueue> owner;
  std::uint64_t order = 0;  // creation order: parents paint before their children
  bool alive = true;
  ControlKind kind = ControlKind::Window;
  WNDPROC proc = nullptr;
  HBRUSH background = nullptr;  // from the class
  HINSTANCE instance = nullptr;
  HWND parent = nullptr;
  std::vector<HWND> children;
  int id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect{};  // top level: screen; child: parent's client coordinates
  std::u16string text;
  bool enabled = true;
  bool visible = false;
  UINT check = BST_UNCHECKED;
  bool pressed = false;  // a button between WM_LBUTTONDOWN and WM_LBUTTONUP
  LONG_PTR userData = 0;
  // Update region, kept as its bounding rectangle.
  bool invalid = false;
  bool eraseBackground = false;
  RECT update{};
  std::vector<Invalidation> invalidations;
  std::vector<PaintOp> lastPaint;
  int paintCount = 0;
};

namespace winimpl {

std::mutex& gf_layerMutex();
// Under the layer mutex: the window when it is alive, else nullptr.
HWND gf_liveWindow(HWND hwnd);
HWND gf_topLevel(HWND hwnd);  // under the layer mutex
POINT gf_clientOrigin(HWND hwnd);  // in the top-level window's client area; under the lock
LONG gf_width(const RECT& r);
LONG gf_height(const RECT& r);
RECT gf_intersect(const RECT& a, const RECT& b);
RECT gf_unite(const RECT& a, const RECT& b);  // the bounding rectangle of both
bool gf_isEmpty(const RECT& r);

// What a control draws from, read in one go under the lock.
struct ControlSnapshot {
  HWND parent = nullptr;
  int id = 0;
  DWORD style = 0;
  bool enabled = false;
  bool focused = false;
  bool pressed = false;
  UINT check = 0;
  std::u16string text;
  RECT client{};
};
ControlSnapshot gf_snapshot(HWND hwnd);
void gf_invalidateAll(HWND hwnd, bool erase);  // under the layer mutex
void gf_setFocus(HWND hwnd);
void gf_setCheck(HWND hwnd, UINT check);
UINT gf_check(HWND hwnd);
LRESULT gf_buttonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT gf_editProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Calls from the display's event thread.
void gf_postFromDisplay(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD lPrivate);
HWND gf_displayHitTest(HWND top, int x, int y);  // the child under the point, else top
// In MSG::lPrivate of a key posted to a top-level window: it goes to the window
// that has the focus when the message is taken from the queue, as the focus may
// still change through clicks queued before it.
inline constexpr DWORD kRouteToFocus = 0x80000000u;
void gf_displayMoved(HWND top, int x, int y);

// The device context of a paint or of GetDC.
HDC gf_createWindowDC(HWND hwnd, POINT origin, RECT clip);
std::vector<PaintOp> gf_takeOps(HDC hdc);
int gf_textWidth(std::u16string_view text);
int gf_textHeight();  // at least 13

}  // namespace winimpl

// An icon: square, pixels as 0xAARRGGBB row by row; empty for the stock icon.
struct HICON__ {
  int size = 0;
  std::vector<std::uint32_t> argb;
};

namespace winimpl {

// The X11 display; every function is a no-op while no display is in use.
namespace display {
bool gf_open();
bool gf_active();
// A non-empty icon becomes the window's icon property.
void gf_createWindow(HWND top, const RECT& screenRect, std::u16string_view title, HICON icon);
void gf_destroyWindow(HWND top);
void gf_show(HWND top, bool visible);
void gf_setTitle(HWND top, std::u16string_view title);
void gf_setTopmost(HWND top, bool topmost);
void gf_move(HWND top, const RECT& screenRect);
// Drawing into the window's back buffer, client coordinates of the top-level window.
void gf_fill(HWND top, const RECT& r, const RECT& clip, COLORREF c);
void gf_line(HWND top, POINT a, POINT b, const RECT& clip, COLORREF c);
void gf_text(HWND top, int x, int y, std::u16string_view text, const RECT& clip, COLORREF c,
             std::optional<COLORREF> background);
int gf_textWidth(std::u16string_view text);  // -1 without a font
int gf_textHeight();                         // -1 without a font
// Copies what was drawn since the last call to the screen.
void gf_present(HWND top);
std::vector<COLORREF> gf_readPixels(HWND top, const RECT& r);
}  // namespace display

}  // namespace winimpl
