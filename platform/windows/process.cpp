#include "platform/process.h"

#include <process.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <memory>
#include <system_error>

#include "platform/windows/text.h"

namespace {

std::atomic<HWND> gConsoleWindow{nullptr};
// Set once the window's message loop has ended: everything the exit writes is written.
HANDLE gLoopEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
// The system ends the process about 5 s after a console's close.
constexpr DWORD kCloseBoundMs = 4500;
constexpr DWORD kCloseRepostMs = 250;

// Thread descriptions came with Windows 10 1607; taken by name so that their
// absence costs only the names.
using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);

template <class F>
F lf_kernelFunction(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

// Runs on a thread the system starts for the event.
BOOL WINAPI lf_onConsoleEvent(DWORD event) {
  HWND window = gConsoleWindow.load();
  if (!window) return FALSE;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      PostMessageW(window, WM_CLOSE, 0, 0);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      // The system ends the process as soon as this returns: the close runs to
      // its end first. Posted again while a restart in place holds the exit.
      const ULONGLONG deadline = GetTickCount64() + kCloseBoundMs;
      for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(kCloseRepostMs, deadline - now));
        if (WaitForSingleObject(gLoopEnded, wait) == WAIT_OBJECT_0) break;
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

unsigned __stdcall lf_runDetached(void* parameter) {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  try {
    (*body)();
  } catch (...) {
    std::terminate();
  }
  return 0;
}

}  // namespace

void gf_startDetachedThread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  // The C library's own start, so that it may keep per-thread data there.
  const std::uintptr_t thread = _beginthreadex(nullptr, 0, lf_runDetached, owned.get(), 0, nullptr);
  if (thread == 0) throw std::system_error(errno, std::generic_category(), "_beginthreadex");
  owned.release();  // the thread's now
  CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void gf_setThreadName(const std::string& name) {
  static const auto setDescription = lf_kernelFunction<SetDescription>("SetThreadDescription");
  if (setDescription) setDescription(GetCurrentThread(), gf_wideFromUtf8(name.substr(0, 15)).c_str());
}

std::string gf_threadName() {
  static const auto getDescription = lf_kernelFunction<GetDescription>("GetThreadDescription");
  PWSTR description = nullptr;
  if (!getDescription || FAILED(getDescription(GetCurrentThread(), &description)) || !description) return {};
  const std::string name = gf_utf8FromWide(description);
  LocalFree(description);
  return name;
}

bool gf_processRunning(DWORD processId) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // another user's: it runs
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

void gf_closeWindowOnSignals(HWND window) {
  // A desktop program has no console of its own: started from one, it joins it,
  // so that Ctrl+C there closes it as the close button does.
  static const bool installed = [] {
    AttachConsole(ATTACH_PARENT_PROCESS);
    return SetConsoleCtrlHandler(lf_onConsoleEvent, TRUE) != FALSE;
  }();
  (void)installed;
  gConsoleWindow.store(window);
  if (window) {
    ResetEvent(gLoopEnded);
  } else {
    SetEvent(gLoopEnded);
  }
}
