#pragma once
// The steady clock and the sleeps of the run (start-up waits, the exit's
// pauses, the restart countdown, the main loop's schedule), behind one seam:
// tests run the 45-s countdown and the 15-s traffic wait in milliseconds.
#include <chrono>

class RunClock {
 public:
  using Duration = std::chrono::steady_clock::duration;
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~RunClock() = default;
  virtual TimePoint now() = 0;
  virtual void sleepUntil(TimePoint deadline) = 0;
  void sleepFor(Duration duration) { sleepUntil(now() + duration); }
};

// The clock in use: the real steady clock unless a test installed another.
RunClock& gf_runClock();
// Installs a clock (null: the real one again); the clock must outlive its use.
void gf_setRunClock(RunClock* clock);
