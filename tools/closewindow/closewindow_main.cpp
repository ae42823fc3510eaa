// closewindow CLASS [SECONDS]: asks the top-level window of that class to close,
// as its close button does (WM_CLOSE), waiting up to SECONDS (default 30) for
// the window to appear. Exit status 0 once posted, 1 when no such window came,
// 2 on a usage error. A Windows program, for the end-to-end run under Wine.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 3) {
    std::fputs("usage: closewindow CLASS [SECONDS]\n", stderr);
    return 2;
  }
  const long seconds = argc == 3 ? std::wcstol(argv[2], nullptr, 10) : 30;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds > 0 ? seconds : 0) * 1000;
  for (;;) {
    if (HWND window = FindWindowW(argv[1], nullptr)) {
      if (PostMessageW(window, WM_CLOSE, 0, 0)) return 0;
      std::fprintf(stderr, "closewindow: PostMessageW failed (%lu)\n", GetLastError());
      return 1;
    }
    if (GetTickCount64() >= deadline) break;
    Sleep(100);
  }
  std::fputs("closewindow: no window of that class\n", stderr);
  return 1;
}
