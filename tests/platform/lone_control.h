#pragma once
#include "platform/window.h"

// A control of its own, with no parent window, whose enabled state a test
// follows. On Windows it is message-only: Wine without a display makes no
// top-level window, where Windows would, and both enable and disable a
// message-only one alike.
inline HWND gf_loneControl(LPCWSTR className) {
#ifdef _WIN32
  const HWND parent = HWND_MESSAGE;
#else
  const HWND parent = nullptr;
#endif
  return CreateWindowExW(0, className, TEXT(""), 0, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
}
