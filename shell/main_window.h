#pragma once
// The main window: its creation at the saved position and its window procedure.
#include <functional>
#include <string_view>

#include "platform/window.h"

inline constexpr UINT WM_APP_STARTUP = WM_APP + 1;     // start a new start-up thread
// Save the position and leave the message loop; wParam is the process's exit status.
inline constexpr UINT WM_APP_FINAL_EXIT = WM_APP + 2;
// WM_APP+2's lParam when no run could start (no data folder): nothing is saved.
inline constexpr LPARAM kFinalExitWithoutRun = 1;

// Exit reasons the window itself gives.
inline constexpr int kExitUserClosed = 4;   // "USER CLOSED SIM"
inline constexpr int kExitSystemError = 5;  // "SYSTEM ERROR"

// What the window hands on to the rest of the program. Set on the window
// thread before the window is made. Without them a command is not handled,
// WM_APP+1 starts nothing, and an exit ends the window at once through WM_APP+2.
struct WindowHooks {
  std::function<bool(HWND, WPARAM)> onCommand;  // WM_COMMAND; true when handled
  std::function<void()> startUp;                // body of the start-up thread
  std::function<void(int reason, int delaySeconds)> exit;
};
void gf_setWindowHooks(WindowHooks hooks);
// The hooks of a window that shows why no run could start (no data folder):
// every exit, the close button's and a log-off's, ends the program at once as
// a failure, saving nothing.
void gf_installNoRunHooks();
// An exit or restart the window starts: through the exit hook.
void gf_windowExit(int reason, int delaySeconds);

// Creates and shows the main window at MAIN_WINDOW_X, MAIN_WINDOW_Y from
// parameters.xml; false when the application state never became ready or the
// window could not be made.
bool initInstance(HINSTANCE instance, LPCWSTR className);

LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Inside a catch-all handler at the top of a thread body: reports the
// exception in flight on the error line and ends the run for system failures.
void lf_onException(std::string_view functionName);

// Keeps a position stored at a limit (minimised, pushed off the screen) from
// replacing the previous one.
void lf_setWindowPosition(int previousX, int previousY);
