#pragma once
// Process-level services: threads nobody joins, names of threads, whether
// another process runs, and the desktop's way of asking a program to close
// (SIGINT, SIGTERM on Linux; a console's Ctrl+C, Ctrl+Break or close on
// Windows) turned into the window's close message.
#include <functional>
#include <string>

#include "platform/win_types.h"

// Runs body on a new thread that nobody joins; throws std::system_error when
// no thread could be made. An exception out of body ends the process, as from
// a std::thread. On Windows it is a thread of the system's own: the C++
// library's threads there (winpthreads) can be detached before they have
// started, and then under load the new thread was handed no state and crashed,
// or detach() threw.
void gf_startDetachedThread(std::function<void()> body);

// Names the calling thread (at most 15 characters are kept), so that people
// and tests can find it in /proc/<pid>/task/*/comm.
void gf_setThreadName(const std::string& name);
// The calling thread's name.
std::string gf_threadName();

// Whether a process of that id runs (one that ended and was not yet waited
// for still counts).
bool gf_processRunning(DWORD processId);

// From now on SIGINT and SIGTERM (on Windows the console's control events,
// through SetConsoleCtrlHandler) post WM_CLOSE to the window, so that they
// close the program the way its close button does. A later call names
// another window; null lets the signals post nothing and tells that the
// window's message loop has ended. On Windows the console's close, log-off and
// shut-down end the process as soon as their handler returns: it returns once
// the loop has ended, or after 4.5 s.
void gf_closeWindowOnSignals(HWND window);
