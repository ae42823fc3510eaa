#pragma once
// The automatic traffic range.
#include <atomic>

// AUTO_RANGE is on and the automatic range is 10 nm. Written by the main loop
// and the window, read by the traffic reader thread.
extern std::atomic<bool> gAutoRangeAtTen;
