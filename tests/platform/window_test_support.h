#pragma once
// Shared by the window tests.
#include "platform/window.h"

inline constexpr COLORREF kBlack = RGB(0, 0, 0);
inline constexpr COLORREF kGreen = RGB(50, 205, 50);
inline constexpr COLORREF kYellow = RGB(255, 255, 0);
inline constexpr COLORREF kLightBlue = RGB(153, 204, 255);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);

// The main window's answer to the control-colour messages: text on light blue,
// the background left to the device context's DC brush.
inline LRESULT gf_controlColourOnLightBlue(WPARAM wParam) {
  HDC dc = reinterpret_cast<HDC>(wParam);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, kLightBlue);
  return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
}

// A second registration of the same name keeps the first: tests may share a class.
inline void gf_registerTestClass(LPCWSTR name, WNDPROC proc, HBRUSH background = nullptr) {
  WNDCLASSEXW wc{};
  wc.lpfnWndProc = proc;
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

// Runs every message that is there, paints included, without waiting.
inline int gf_pumpMessages() {
  int n = 0;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    ++n;
  }
  return n;
}
