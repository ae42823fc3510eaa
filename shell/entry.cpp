#include "shell/entry.h"

#include <filesystem>
#include <system_error>

#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/paths.h"
#include "core/util.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/window.h"
#include "shell/app_state.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/run_state.h"
#include "shell/startup_thread.h"
#include "shell/status_area.h"

namespace {

constexpr int kClassNameLength = 100;

void lf_createDataFolder() {
  const std::filesystem::path folder = DataFolder();
  std::error_code error;
  const bool exists = std::filesystem::exists(folder, error);
  if (error) throw std::filesystem::filesystem_error("exists", folder, error);
  if (!exists && !std::filesystem::create_directories(folder, error) && error) {
    throw std::filesystem::filesystem_error("create_directory", folder, error);
  }
}

}  // namespace

void gf_installRunHooks() {
  WindowHooks hooks;
  hooks.onCommand = lf_onCommand;
  hooks.startUp = gf_startUpThreadBody;
  hooks.exit = [](int reason, int delaySeconds) { gf_exit(static_cast<ExitReason>(reason), delaySeconds); };
  gf_setWindowHooks(std::move(hooks));
  gf_setEditProcedures(gf_commandEditProcedures());
}

int gf_runMain(HINSTANCE instance) {
  WCHAR className[kClassNameLength + 1] = {};
  LoadStringW(instance, 101, className, kClassNameLength);
  // The system's structure has no defaults: every member given, cbSize first.
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.hInstance = instance;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = WndProc;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(100));
  windowClass.hIconSm = windowClass.hIcon;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
  windowClass.lpszClassName = className;
  RegisterClassExW(&windowClass);

  gf_installRunHooks();
  gf_followReaderLights();
  if (!initInstance(instance, className)) {
    gf_logText("initInstance failed");
    return kFailureStatus;
  }
  bool startUp = true;
  try {
    lf_createDataFolder();
  } catch (const std::exception& error) {
    // Nothing can be saved without it: the run never starts. The window shows
    // why until the user closes it, which ends the program as a failure.
    const std::string text =
        sk::format("The data folder {} could not be made: {}", gf_pathToUtf8(DataFolder()), error.what());
    gf_showError(text);
    gf_log(text);
    gf_installNoRunHooks();
    startUp = false;
  }
  HWND window = gAppState.mainWindow.load();
  if (window) {
    gf_closeWindowOnSignals(window);
    if (startUp) PostMessageW(window, WM_APP_STARTUP, 0, 0);
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  gf_closeWindowOnSignals(nullptr);
  return static_cast<int>(msg.wParam);
}

int gf_winMain(HINSTANCE instance) {
  CreateMutexW(nullptr, FALSE, L"Local\\$Skylume$");
  if (GetLastError() == ERROR_ALREADY_EXISTS) return kSecondInstanceStatus;
  gf_startLog();
  if (const DWORD refused = gf_keepTimerResolutionWhenHidden(); refused != ERROR_SUCCESS)
    gf_logText(sk::format("Timer resolution may fall while the window is hidden (error {})", refused));
  return gf_runMain(instance);
}
