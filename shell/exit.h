#pragma once
// The one way out of a run: gf_exit starts FinalExit once, which stops the
// readers and the start-up thread, removes every AI object of the run, closes
// the RealTraffic link and the SimConnect thread, and then ends the process or
// restarts the run in place.
#include <functional>
#include <string>

#include "platform/win_types.h"
#include "shell/run_state.h"

// The logged name of a reason; std::out_of_range for a value outside the table.
const std::string& gf_exitReasonName(ExitReason reason);

// The process's exit status after a final exit for that reason: 0 for the
// user's close, kFailureStatus or kSimClosedStatus (shell/entry.h) otherwise.
int gf_exitStatus(ExitReason reason);

// Body of the shutdown thread.
void FinalExit(int delaySeconds);
// "Restarting after {} second{}" once a second, down to 1; ends early when a
// new exit begins.
void lf_restartCountdown(int seconds);

// Where FinalExit's last message (WM_APP+1 or WM_APP+2) goes: the main window
// by default. Tests take it to learn that the exit is done.
using ExitPost = std::function<void(UINT message, WPARAM status)>;
void gf_setExitPost(ExitPost post);
