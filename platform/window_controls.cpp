// The built-in controls: push buttons, check boxes and one-line edit boxes.
// They draw themselves with the colours their parent gives on WM_CTLCOLOR*.
#include <algorithm>

#include "platform/window_impl.h"

namespace {

constexpr COLORREF kGreyText = RGB(160, 160, 160);
constexpr COLORREF kFrame = RGB(100, 100, 100);

void lf_frame(HDC dc, const RECT& r, COLORREF colour) {
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, r.left, r.top, nullptr);
  LineTo(dc, r.right - 1, r.top);
  LineTo(dc, r.right - 1, r.bottom - 1);
  LineTo(dc, r.left, r.bottom - 1);
  LineTo(dc, r.left, r.top);
  SelectObject(dc, old);
  DeleteObject(pen);
}

// The colour messages let the parent choose the brush and the text colours.
HBRUSH lf_controlBrush(HDC dc, const winimpl::ControlSnapshot& s, HWND hwnd, UINT colourMessage) {
  SetTextColor(dc, s.enabled ? RGB(0, 0, 0) : kGreyText);
  SetBkColor(dc, RGB(255, 255, 255));
  SetBkMode(dc, OPAQUE);
  LRESULT r = s.parent ? SendMessageW(s.parent, colourMessage, reinterpret_cast<WPARAM>(dc),
                                      reinterpret_cast<LPARAM>(hwnd))
                       : 0;
  if (r == 0) return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  return static_cast<HBRUSH>(reinterpret_cast<HGDIOBJ>(r));
}

void lf_paintButton(HWND hwnd) {
  winimpl::ControlSnapshot s = winimpl::gf_snapshot(hwnd);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  const DWORD type = s.style & 0xF;
  if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) {
    HBRUSH brush = lf_controlBrush(dc, s, hwnd, WM_CTLCOLORSTATIC);
    FillRect(dc, &s.client, brush);
    lf_frame(dc, s.client, s.enabled ? kFrame : kGreyText);
    if (s.check == BST_CHECKED) {
      HPEN pen = CreatePen(PS_SOLID, 1, s.enabled ? RGB(0, 0, 0) : kGreyText);
      HGDIOBJ old = SelectObject(dc, pen);
      const LONG w = s.client.right, h = s.client.bottom;
      for (int d = 0; d < 2; ++d) {  // a tick two pixels thick
        MoveToEx(dc, w / 4, h / 2 + d - 1, nullptr);
        LineTo(dc, w / 2 - 1, h * 3 / 4 + d - 1);
        LineTo(dc, w - w / 5, h / 4 + d - 1);
      }
      SelectObject(dc, old);
      DeleteObject(pen);
    }
  } else {
    lf_controlBrush(dc, s, hwnd, WM_CTLCOLORBTN);
    HBRUSH face = CreateSolidBrush(s.pressed ? RGB(200, 200, 200) : RGB(225, 225, 225));
    FillRect(dc, &s.client, face);
    DeleteObject(face);
    lf_frame(dc, s.client, s.enabled ? kFrame : kGreyText);
    SetTextColor(dc, s.enabled ? RGB(0, 0, 0) : kGreyText);
    SetBkMode(dc, TRANSPARENT);
    const int textW = winimpl::gf_textWidth(s.text);
    const int textH = winimpl::gf_textHeight();
    TextOutW(dc, (s.client.right - textW) / 2, (s.client.bottom - textH) / 2, s.text.c_str(),
             static_cast<int>(s.text.size()));
  }
  EndPaint(hwnd, &ps);
}

void lf_paintEdit(HWND hwnd) {
  winimpl::ControlSnapshot s = winimpl::gf_snapshot(hwnd);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  HBRUSH brush = lf_controlBrush(dc, s, hwnd, s.enabled ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC);
  FillRect(dc, &s.client, brush);
  const bool border = (s.style & WS_BORDER) != 0;
  if (border) lf_frame(dc, s.client, kFrame);
  const int textH = winimpl::gf_textHeight();
  const int x = border ? 3 : 1;
  const int y = std::max<int>(0, (s.client.bottom - textH) / 2);
  if (!s.text.empty()) TextOutW(dc, x, y, s.text.c_str(), static_cast<int>(s.text.size()));
  if (s.focused && s.enabled) {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(dc, pen);
    const int caret = x + winimpl::gf_textWidth(s.text);
    MoveToEx(dc, caret, y, nullptr);
    LineTo(dc, caret, y + textH);
    SelectObject(dc, old);
    DeleteObject(pen);
  }
  EndPaint(hwnd, &ps);
}

}  // namespace

namespace winimpl {

LRESULT gf_buttonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_LBUTTONDOWN: {
      std::lock_guard lk(winimpl::gf_layerMutex());
      HWND w = winimpl::gf_liveWindow(hwnd);
      if (!w || !w->enabled) return 0;
      w->pressed = true;
      winimpl::gf_invalidateAll(w, false);
      return 0;
    }
    case WM_LBUTTONUP: {
      winimpl::ControlSnapshot s;
      {
        std::lock_guard lk(winimpl::gf_layerMutex());
        HWND w = winimpl::gf_liveWindow(hwnd);
        if (!w || !w->pressed) return 0;
        w->pressed = false;
        winimpl::gf_invalidateAll(w, false);
      }
      s = winimpl::gf_snapshot(hwnd);
      const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
      if (x < 0 || y < 0 || x >= s.client.right || y >= s.client.bottom) return 0;
      if ((s.style & 0xF) == BS_AUTOCHECKBOX)
        winimpl::gf_setCheck(hwnd, s.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
      if (s.parent)
        SendMessageW(s.parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(s.id), BN_CLICKED),
                     reinterpret_cast<LPARAM>(hwnd));
      return 0;
    }
    case BM_GETCHECK:
      return winimpl::gf_check(hwnd);
    case BM_SETCHECK:
      winimpl::gf_setCheck(hwnd, static_cast<UINT>(wParam));
      return 0;
    case WM_PAINT:
      lf_paintButton(hwnd);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

// One line of text with the caret always at its end.
LRESULT gf_editProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      if (IsWindowEnabled(hwnd)) winimpl::gf_setFocus(hwnd);
      return 0;
    case WM_CHAR: {
      std::lock_guard lk(winimpl::gf_layerMutex());
      HWND w = winimpl::gf_liveWindow(hwnd);
      if (!w || !w->enabled) return 0;
      const auto c = static_cast<char16_t>(wParam);
      if (c == u'\b') {
        if (w->text.empty()) return 0;
        w->text.pop_back();
        // A surrogate pair goes as one character.
        if (!w->text.empty() && w->text.back() >= 0xD800 && w->text.back() < 0xDC00)
          w->text.pop_back();
      } else if (c >= 0x20 && c != 0x7F) {
        w->text.push_back(c);
      } else {
        return 0;  // Enter, Escape, Tab and other control keys do nothing in one line
      }
      winimpl::gf_invalidateAll(w, true);
      return 0;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return 0;
    case WM_PAINT:
      lf_paintEdit(hwnd);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

}  // namespace winimpl
