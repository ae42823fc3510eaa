// 60 s of the main loop on the real steady clock with a running flight: an
// engine tick costing a random 0-4 ms, the simulator's beat every second and
// one 100 ms stall. Prints the tick period, how late ticks start and how the
// stall is caught up. Never fails.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "core/log.h"
#include "core/paths.h"
#include "run_doubles.h"
#include "shell/main_loop.h"
#include "shell/run_clock.h"
#include "shell/run_state.h"
#include "shell/startup.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kRun = 60s;
constexpr auto kStallAt = 30500ms;
constexpr auto kStall = 100ms;

// The program's own clock, noting the deadline of every sleep.
class WatchedClock : public RunClock {
 public:
  explicit WatchedClock(RunClock& real) : m_real(real) {}
  TimePoint now() override { return m_real.now(); }
  void sleepUntil(TimePoint deadline) override {
    lastDeadline = deadline;
    slept = true;
    m_real.sleepUntil(deadline);
  }
  TimePoint lastDeadline{};
  bool slept = false;

 private:
  RunClock& m_real;
};

double lf_ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Tick {
  Clock::time_point start;
  Clock::duration lateness;
};

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / ("sklm_main_loop_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  gf_setDataFolder(folder);
  gf_startLog(folder / "Log.txt");

  WatchedClock clock(gf_runClock());
  gf_setRunClock(&clock);
  std::vector<Tick> ticks;
  ticks.reserve(8000);
  std::mt19937 random(4711);
  std::uniform_int_distribution<int> costUs(0, 4000);
  const auto t0 = Clock::now();
  bool stallDone = false;
  std::size_t stallTick = 0;
  Clock::time_point deadline = t0;
  run_doubles::behaviour().trafficTick = [&] {
    const auto start = Clock::now();
    // A tick that did not sleep was due 10 ms after the one before.
    deadline = clock.slept ? clock.lastDeadline : deadline + 10ms;
    clock.slept = false;
    ticks.push_back({start, start - deadline});
    Clock::duration cost = std::chrono::microseconds(costUs(random));
    if (!stallDone && start - t0 >= kStallAt) {
      stallDone = true;
      stallTick = ticks.size() - 1;
      cost = kStall;
    }
    while (Clock::now() - start < cost) {
    }
  };

  gFlightRunning.store(true);
  std::thread beats([&] {
    for (int second = 1; second <= kRun / 1s; ++second) {
      std::this_thread::sleep_until(t0 + second * 1s);
      gSecondTick.store(true);
    }
    gExitStarted.store(true);
  });
  mainLoop();
  beats.join();
  gf_setRunClock(nullptr);

  // The first tick has no deadline of its own.
  ticks.erase(ticks.begin());
  --stallTick;
  const double period = lf_ms(ticks.back().start - ticks.front().start) / static_cast<double>(ticks.size() - 1);
  std::vector<double> late;
  for (const Tick& tick : ticks) late.push_back(lf_ms(tick.lateness));
  std::vector<double> sorted = late;
  std::sort(sorted.begin(), sorted.end());
  const auto at = [&](double q) { return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1))]; };

  // After the stall: ticks until one starts within 1 ms of its deadline again,
  // and the ticks of the stalled second (100 when none is lost).
  std::size_t caughtUp = stallTick + 1;
  while (caughtUp < late.size() && late[caughtUp] >= 1.0) ++caughtUp;
  const auto secondStart = t0 + std::chrono::duration_cast<Clock::duration>(kStallAt) - 500ms;
  const auto inSecond = std::count_if(ticks.begin(), ticks.end(), [&](const Tick& tick) {
    return tick.start >= secondStart && tick.start < secondStart + 1s;
  });
  double before = 0, after = 0;
  for (std::size_t k = 1; k <= 10; ++k) {
    before += late[stallTick - k] / 10;
    if (caughtUp + k < late.size()) after += late[caughtUp + k] / 10;
  }

  std::printf("main loop, %lld s, engine tick 0-4 ms, beat every second\n", static_cast<long long>(kRun / 1s));
  std::printf("ticks: %zu, mean period %.4f ms (%+.3f %% of 10 ms)\n", ticks.size(), period,
              (period - 10.0) / 10.0 * 100.0);
  std::printf("lateness: p50 %.3f ms, p99 %.3f ms, max %.3f ms (the stall included)\n", at(0.50), at(0.99),
              sorted.back());
  std::printf("100 ms stall: caught up after %zu ticks without sleep; %ld ticks in its second (100 on schedule)\n",
              caughtUp - stallTick - 1, static_cast<long>(inSecond));
  std::printf("mean lateness of 10 ticks before the stall %.3f ms, after catching up %.3f ms\n", before, after);

  gf_closeLog();
  std::filesystem::remove_all(folder);
  return 0;
}
