// closewindow [--end-session | --type ID TEXT] CLASS [SECONDS]: acts on the
// top-level window of that class, waiting up to SECONDS (default 30) for it to
// appear. Without an option it asks the window to close, as its close button
// does (WM_CLOSE). --end-session ends the user's session as a log-off does:
// WM_QUERYENDSESSION, WM_ENDSESSION, and once the window has returned from that
// the system ends its process; it prints how long the window took. --type puts
// TEXT into the window's control ID and presses Enter there. Exit status 0 once
// done, 1 when no such window came or a call failed, 2 on a usage error. A
// Windows program, for the end-to-end run under Wine.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr UINT kSendBoundMs = 30000;

int lf_usage() {
  std::fputs("usage: closewindow [--end-session | --type ID TEXT] CLASS [SECONDS]\n", stderr);
  return 2;
}

int lf_failed(const char* call) {
  std::fprintf(stderr, "closewindow: %s failed (%lu)\n", call, GetLastError());
  return 1;
}

int lf_endSession(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
  if (!process) return lf_failed("OpenProcess");
  DWORD_PTR result = 0;
  const LPARAM logoff = static_cast<LPARAM>(ENDSESSION_LOGOFF);
  if (!SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, logoff, SMTO_NORMAL, kSendBoundMs, &result)) {
    CloseHandle(process);
    return lf_failed("WM_QUERYENDSESSION");
  }
  const ULONGLONG start = GetTickCount64();
  const bool sent =
      SendMessageTimeoutW(window, WM_ENDSESSION, result ? TRUE : FALSE, logoff, SMTO_NORMAL, kSendBoundMs, &result);
  std::printf("WM_ENDSESSION returned after %lu ms\n", static_cast<unsigned long>(GetTickCount64() - start));
  // What the system does once every program has returned from WM_ENDSESSION.
  if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 0);
  CloseHandle(process);
  return sent ? 0 : lf_failed("WM_ENDSESSION");
}

int lf_type(HWND window, int id, const wchar_t* text) {
  HWND control = GetDlgItem(window, id);
  if (!control) return lf_failed("GetDlgItem");
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kSendBoundMs,
                           &result))
    return lf_failed("WM_SETTEXT");
  return PostMessageW(control, WM_CHAR, L'\r', 0) ? 0 : lf_failed("PostMessageW");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int at = 1;
  enum class Action { Close, EndSession, Type } action = Action::Close;
  int id = 0;
  const wchar_t* text = nullptr;
  if (argc > at && std::wcscmp(argv[at], L"--end-session") == 0) {
    action = Action::EndSession;
    ++at;
  } else if (argc > at + 2 && std::wcscmp(argv[at], L"--type") == 0) {
    action = Action::Type;
    id = static_cast<int>(std::wcstol(argv[at + 1], nullptr, 10));
    text = argv[at + 2];
    at += 3;
  }
  if (argc - at < 1 || argc - at > 2) return lf_usage();
  const wchar_t* windowClass = argv[at];
  const long seconds = argc - at == 2 ? std::wcstol(argv[at + 1], nullptr, 10) : 30;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds > 0 ? seconds : 0) * 1000;
  for (;;) {
    if (HWND window = FindWindowW(windowClass, nullptr)) {
      switch (action) {
        case Action::EndSession:
          return lf_endSession(window);
        case Action::Type:
          return lf_type(window, id, text);
        case Action::Close:
          return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : lf_failed("PostMessageW");
      }
    }
    if (GetTickCount64() >= deadline) break;
    Sleep(100);
  }
  std::fputs("closewindow: no window of that class\n", stderr);
  return 1;
}
