#pragma once
// The process entry: the single-instance guard, the log, and the window
// thread's message loop that starts every run.
#include "platform/win_types.h"

// Exit status of a second instance (-1 as the process sees it: 255).
inline constexpr int kSecondInstanceStatus = -1;
// Exit status of a run ended by a failure: "SYSTEM ERROR" (a start-up that
// failed, such as a data base that could not be downloaded, included) or a
// window that could not be made. The user's close ends with 0.
inline constexpr int kFailureStatus = 1;
// Exit status of a run ended because the simulator closed ("SIM WAS CLOSED").
inline constexpr int kSimClosedStatus = 2;

// Points the main window's hooks at the run: WM_APP+1 starts a start-up
// thread, the close button and the window's own failures call gf_exit.
void gf_installRunHooks();

// Window class, main window, data folder, the first WM_APP+1 and the message
// loop; returns the WM_QUIT message's wParam.
int gf_runMain(HINSTANCE instance);

// The whole program: the named mutex "Local\$Skylume$" (a second instance
// returns kSecondInstanceStatus at once, with no window and no log line), the
// log, then gf_runMain.
int gf_winMain(HINSTANCE instance);
