#pragma once
// The window layer: windows, child controls, the message queue and a small
// drawing subset, in the shape of the Win32 user interface and GDI, so that the
// main window's code reads as it would on Windows.
//
// Two ways to run:
// - headless (the default): windows, controls, messages and painting all work,
//   nothing is shown; every paint is recorded so tests can check what was drawn;
// - on an X11 display: after gf_enableDisplay() (the program calls it at start)
//   and with DISPLAY set, top-level windows are drawn with Xlib and mouse clicks
//   and typing reach the controls. Tests never call it unless they bring their
//   own display.
//
// Threads: a window belongs to the thread that created it; its procedure runs
// on that thread only (GetMessageW/DispatchMessageW, SendMessageW). Any thread
// may call InvalidateRect (it only records the region), PostMessageW and
// SendMessageW (from another thread it waits until the owner has handled it,
// and meanwhile handles messages other threads send to its own windows).
// SetWindowTextW, GetWindowTextW, CheckDlgButton, IsDlgButtonChecked,
// EnableWindow and SetWindowPos called from a thread that does not own the
// window change or read the control's state directly and never wait for the
// window thread; on the owner thread they go through the window procedures
// (WM_SETTEXT, BM_SETCHECK, ...) as on Windows.
// Calls on a null or destroyed handle fail quietly (FALSE, 0, nullptr).
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

// On Windows the user interface and GDI are the system's own: of this header
// only the program's own helpers remain there.
#ifndef _WIN32

// ---- Messages ----
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_MOVE = 0x0003;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_SETFOCUS = 0x0007;
inline constexpr UINT WM_KILLFOCUS = 0x0008;
inline constexpr UINT WM_ENABLE = 0x000A;
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_GETTEXT = 0x000D;
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUERYENDSESSION = 0x0011;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_ERASEBKGND = 0x0014;
inline constexpr UINT WM_ENDSESSION = 0x0016;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_SETFONT = 0x0030;
inline constexpr UINT WM_NCCREATE = 0x0081;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_CTLCOLOREDIT = 0x0133;
inline constexpr UINT WM_CTLCOLORBTN = 0x0135;
inline constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

// Button messages, notifications and states.
inline constexpr UINT BM_GETCHECK = 0x00F0;
inline constexpr UINT BM_SETCHECK = 0x00F1;
inline constexpr WORD BN_CLICKED = 0;
inline constexpr UINT BST_UNCHECKED = 0;
inline constexpr UINT BST_CHECKED = 1;

// Virtual keys used with WM_KEYDOWN.
inline constexpr WPARAM VK_BACK = 0x08;
inline constexpr WPARAM VK_RETURN = 0x0D;

// ---- Styles ----
inline constexpr UINT CS_VREDRAW = 0x0001;
inline constexpr UINT CS_HREDRAW = 0x0002;

inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
inline constexpr DWORD WS_EX_TOPMOST = 0x00000008;

inline constexpr DWORD BS_PUSHBUTTON = 0x0;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
inline constexpr DWORD BS_CHECKBOX = 0x2;  // not automatic: a click only sends WM_COMMAND
inline constexpr DWORD BS_AUTOCHECKBOX = 0x3;

inline constexpr DWORD ES_LEFT = 0x0000;
inline constexpr DWORD ES_AUTOHSCROLL = 0x0080;

inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// ShowWindow
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;

// SetWindowPos
inline HWND const HWND_TOP = nullptr;
inline HWND const HWND_BOTTOM = reinterpret_cast<HWND>(static_cast<std::intptr_t>(1));
inline HWND const HWND_TOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));
inline HWND const HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-2));
inline constexpr UINT SWP_NOSIZE = 0x0001;
inline constexpr UINT SWP_NOMOVE = 0x0002;
inline constexpr UINT SWP_NOZORDER = 0x0004;
inline constexpr UINT SWP_NOACTIVATE = 0x0010;
inline constexpr UINT SWP_SHOWWINDOW = 0x0040;

// Get/SetWindowLongPtrW
inline constexpr int GWLP_WNDPROC = -4;
inline constexpr int GWLP_HINSTANCE = -6;
inline constexpr int GWLP_ID = -12;
inline constexpr int GWL_STYLE = -16;
inline constexpr int GWL_EXSTYLE = -20;
inline constexpr int GWLP_USERDATA = -21;

// PeekMessageW
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

// ---- Structures ----
struct WNDCLASSEXW {
  UINT cbSize = sizeof(WNDCLASSEXW);
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  LPCWSTR lpszMenuName = nullptr;
  LPCWSTR lpszClassName = nullptr;
  HICON hIconSm = nullptr;
};

struct CREATESTRUCTW {
  LPVOID lpCreateParams = nullptr;
  HINSTANCE hInstance = nullptr;
  HMENU hMenu = nullptr;
  HWND hwndParent = nullptr;
  int cy = 0;
  int cx = 0;
  int y = 0;
  int x = 0;
  LONG style = 0;
  LPCWSTR lpszName = nullptr;
  LPCWSTR lpszClass = nullptr;
  DWORD dwExStyle = 0;
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt{};
  DWORD lPrivate = 0;  // WM_KEYDOWN from the display: the character TranslateMessage makes of it
};

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  BOOL fErase = FALSE;
  RECT rcPaint{};
  BOOL fRestore = FALSE;
  BOOL fIncUpdate = FALSE;
  BYTE rgbReserved[32] = {};
};

#endif  // !_WIN32

// A control id passed where CreateWindowExW takes the menu.
inline HMENU gf_controlIdAsMenu(int id) {
  return reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(static_cast<WORD>(id)));
}

#ifndef _WIN32
inline LPCWSTR MAKEINTRESOURCEW(WORD id) {
  return reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(id));
}
inline LPCWSTR const IDC_ARROW = MAKEINTRESOURCEW(32512);
constexpr int GET_X_LPARAM(LPARAM lp) { return static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lp))); }
constexpr int GET_Y_LPARAM(LPARAM lp) { return static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lp))); }

// ---- Classes, windows and controls ----
// Built-in classes: "button" (BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_CHECKBOX,
// BS_AUTOCHECKBOX) and "edit" (one line); class names compare without case.
ATOM RegisterClassExW(const WNDCLASSEXW* wc);
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
// WM_NCCREATE and WM_CREATE are sent before it returns; -1 from WM_CREATE
// (or FALSE from WM_NCCREATE) destroys the window and gives nullptr. A child's
// id is the menu argument (gf_controlIdAsMenu).
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
// Sends WM_DESTROY to the window and its children, then forgets them.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int cmdShow);  // returns whether it was visible before
BOOL IsWindowVisible(HWND hwnd);
// Sends WM_PAINT at once when the window has an invalid region; TRUE for a valid window.
BOOL UpdateWindow(HWND hwnd);
// Screen coordinates (for a child: its parent's client origin plus its position).
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
HWND GetParent(HWND hwnd);
HWND GetDlgItem(HWND parent, int id);
int GetDlgCtrlID(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);  // returns whether it was disabled before
BOOL IsWindowEnabled(HWND hwnd);
HWND SetFocus(HWND hwnd);
HWND GetFocus();
BOOL SetWindowTextW(HWND hwnd, LPCWSTR text);
int GetWindowTextW(HWND hwnd, LPWSTR buffer, int maxCount);  // units copied, without the 0
int GetWindowTextLengthW(HWND hwnd);
BOOL CheckDlgButton(HWND parent, int id, UINT check);
UINT IsDlgButtonChecked(HWND parent, int id);
LRESULT SendDlgItemMessageW(HWND parent, int id, UINT msg, WPARAM wParam, LPARAM lParam);
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);  // returns the previous value
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index);
LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Resources: the program registers its string table and icons at start.
void gf_setStringResource(UINT id, std::u16string text);
// A square icon of size x size pixels, 0xAARRGGBB row by row; LoadIconW with
// MAKEINTRESOURCEW(id) gives it (any other name the stock icon). A window
// whose class has it shows it as its icon on the display.
void gf_setIconResource(UINT id, int size, std::vector<std::uint32_t> argb);
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int maxCount);
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);

// ---- Messages and the queue ----
// Posted messages first, then WM_QUIT, then WM_PAINT for a window of this
// thread with an invalid region; waits when there is none. 0 on WM_QUIT.
BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL TranslateMessage(const MSG* msg);
int TranslateAcceleratorW(HWND hwnd, HACCEL accel, MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// ---- Painting ----
// Any thread; only adds to the update region (nullptr: the whole client area).
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* rect);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);

// ---- GDI subset ----
inline constexpr int PS_SOLID = 0;
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
inline constexpr int WHITE_BRUSH = 0;
inline constexpr int BLACK_BRUSH = 4;
inline constexpr int NULL_BRUSH = 5;
inline constexpr int WHITE_PEN = 6;
inline constexpr int BLACK_PEN = 7;
inline constexpr int DC_BRUSH = 18;
inline constexpr int DC_PEN = 19;
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// Brushes and pens are plain values: they may be made during static
// initialisation, before any display exists.
HBRUSH CreateSolidBrush(COLORREF colour);
HPEN CreatePen(int style, int width, COLORREF colour);
HGDIOBJ GetStockObject(int which);
BOOL DeleteObject(HGDIOBJ object);  // stock objects are never deleted
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
COLORREF SetDCBrushColor(HDC hdc, COLORREF colour);
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous);
BOOL LineTo(HDC hdc, int x, int y);  // the end point is not drawn, as on Windows
BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int length);  // (x, y): top left
// The layer's one font, whatever font is selected (none is, on Linux).
BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int length, SIZE* size);
COLORREF SetTextColor(HDC hdc, COLORREF colour);
COLORREF SetBkColor(HDC hdc, COLORREF colour);
int SetBkMode(HDC hdc, int mode);
BOOL DeleteDC(HDC hdc);
#endif  // !_WIN32

// The font of the window's painted texts and of its controls' own texts,
// made once and never deleted. On Linux null: the layer draws every text in
// its one font.
HFONT gf_windowFont();

// The program's module, whose resources LoadStringW and LoadIconW read (null
// here on Linux, where the program registers them with this layer).
HINSTANCE gf_programInstance();

// ---- Display ----
// On Windows the desktop is always there: both give true.
// Opt in to drawing on the X11 display named by DISPLAY: top-level windows
// made from then on are shown there. Returns whether a display is in use (false
// without DISPLAY, without X11 support, or when it cannot be opened).
// gf_enableDisplay(false) goes back to headless for windows made afterwards; the
// connection closes once its last window is destroyed.
bool gf_enableDisplay(bool on = true);
bool gf_displayActive();

// ---- Test hooks ----
// On Windows the recording device context is an enhanced metafile's, read back
// record by record, and the controls are the system's, read through its calls;
// what a window's own paints and invalidations were, only Linux's layer keeps.
// One drawing operation as a paint made it, in the window's client coordinates.
struct PaintOp {
  enum class Kind { Fill, Line, Text };
  Kind kind = Kind::Fill;
  RECT rect{};      // Fill: the rectangle; Line: from (left, top) to (right, bottom)
  COLORREF colour = 0;  // brush, pen or text colour
  std::u16string text;  // Text: drawn at (rect.left, rect.top)
  std::optional<COLORREF> background;  // Text: the background colour when OPAQUE
  // Text: how far it reaches to the right, as the font it was drawn in measures
  // it. Not compared: tests name a text by its place, colour and content.
  int width = 0;

  static PaintOp fill(RECT r, COLORREF c) { return {Kind::Fill, r, c, {}, std::nullopt, 0}; }
  static PaintOp line(int x1, int y1, int x2, int y2, COLORREF c) {
    return {Kind::Line, RECT{x1, y1, x2, y2}, c, {}, std::nullopt, 0};
  }
  static PaintOp textOut(int x, int y, std::u16string t, COLORREF c,
                         std::optional<COLORREF> bk = std::nullopt, int width = 0) {
    return {Kind::Text, RECT{x, y, x, y}, c, std::move(t), bk, width};
  }
  friend bool operator==(const PaintOp& a, const PaintOp& b) {
    return a.kind == b.kind && a.rect.left == b.rect.left && a.rect.top == b.rect.top &&
           a.rect.right == b.rect.right && a.rect.bottom == b.rect.bottom && a.colour == b.colour &&
           a.text == b.text && a.background == b.background;
  }
};
std::ostream& operator<<(std::ostream& os, const PaintOp& op);

// A device context that draws nothing and keeps what it was asked to draw.
// On Windows reading the operations ends the recording: read them once, last.
HDC gf_testCreateRecordingDC();
std::vector<PaintOp> gf_testPaintOps(HDC hdc);

enum class ControlKind { None, Window, PushButton, CheckBox, Edit };
struct ControlState {
  ControlKind kind = ControlKind::None;
  int id = 0;
  RECT rect{};  // in the parent's client coordinates
  std::u16string text;
  bool enabled = false;
  bool visible = false;
  bool checked = false;
  int textWidth = 0;  // its text as the control's own font measures it
};
// ControlKind::None for a missing window.
ControlState gf_testControlState(HWND hwnd);

// A mouse click on the control as the display delivers it (WM_LBUTTONDOWN and
// WM_LBUTTONUP through its current procedure): a button then sends WM_COMMAND
// (id, BN_CLICKED) to its parent. False when the control is missing, hidden or disabled.
bool gf_testClick(HWND control);
// Keys typed into a window through its current procedure: WM_KEYDOWN, WM_CHAR,
// WM_KEYUP for each unit; u'\r' is Enter, u'\b' Backspace. False when missing or disabled.
bool gf_testType(HWND hwnd, std::u16string_view keys);

#ifndef _WIN32
// What the last finished BeginPaint/EndPaint of the window drew (the erasing
// of the background inside BeginPaint excluded), and how many paints ended.
std::vector<PaintOp> gf_testLastPaint(HWND hwnd);
int gf_testPaintCount(HWND hwnd);

// The InvalidateRect calls on the window since the last clear, oldest first
// (nullopt: whole client area); only the latest 256 are kept.
struct Invalidation {
  std::optional<RECT> rect;
  bool erase = false;
  friend bool operator==(const Invalidation&, const Invalidation&) = default;
};
std::vector<Invalidation> gf_testInvalidations(HWND hwnd);
void gf_testClearInvalidations(HWND hwnd);

// Colours as the display shows them in a rectangle of the window's client area,
// row by row; empty when no display is in use.
std::vector<COLORREF> gf_testScreenPixels(HWND hwnd, RECT rect);
#endif  // !_WIN32
