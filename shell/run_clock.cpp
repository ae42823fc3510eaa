#include "shell/run_clock.h"

#include <atomic>
#include <thread>

namespace {

class SteadyRunClock final : public RunClock {
 public:
  TimePoint now() override { return std::chrono::steady_clock::now(); }
  void sleepUntil(TimePoint deadline) override { std::this_thread::sleep_until(deadline); }
};

SteadyRunClock gSteadyClock;
std::atomic<RunClock*> gClock{&gSteadyClock};

}  // namespace

RunClock& gf_runClock() { return *gClock.load(); }

void gf_setRunClock(RunClock* clock) { gClock.store(clock ? clock : &gSteadyClock); }
