#pragma once
// The automatic traffic range.
#include <atomic>
#include <cstdint>

// AUTO_RANGE is on and the automatic range is 10 nm. Written by the main loop
// and the window, read by the traffic reader thread.
extern std::atomic<bool> gAutoRangeAtTen;

// The range the user set by hand, kept while AUTO_RANGE is on; 0 until one is kept.
extern std::atomic<std::int32_t> gManualLateralRange;

// LATERAL_RANGE := n clamped to its limits; the traffic radius := n nm and
// n x 1852 m, not clamped.
void gf_setLateralRange(std::int32_t n);

// Sets LATERAL_RANGE and the traffic radius from the user aircraft's situation.
// The start-up thread and the main loop only (it reads the park-airport list);
// the window asks for it with gAutoRangeRequest.
void gf_autoRange();
