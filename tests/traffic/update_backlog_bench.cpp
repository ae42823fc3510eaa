// The update intake under a dense area: 600 aircraft reporting for 10 virtual
// minutes through gf_queueUpdate and the engine tick, at the measured real rate
// (one report each every 2.4 s) and at one a second. For the Part-literal two
// records a tick and for the intake that takes a sixteenth of the queue, it
// prints the queue length and the record age (queued tick to applied tick) as
// p50, p99 and max, the records dropped from a full queue, and the time a tick takes.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "service_doubles.h"
#include "traffic/engine.h"
#include "traffic/sim_connection.h"
#include "traffic/update_queue.h"

namespace {

constexpr int kAircraft = 600;
constexpr std::int32_t kTicks = 60'000;  // 10 minutes of 10 ms ticks
constexpr double kEpoch = 1'719'792'000.0;

struct Figures {
  std::int64_t p50 = 0;
  std::int64_t p99 = 0;
  std::int64_t max = 0;
};

Figures lf_figures(std::vector<std::int64_t>& values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const auto at = [&](double q) { return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))]; };
  return {at(0.5), at(0.99), values.back()};
}

TrafficRecord lf_report(int aircraft, double seconds) {
  TrafficRecord r;
  r.hexid = 0x400000 + static_cast<std::uint32_t>(aircraft);
  r.key.callsign = "BCH" + std::to_string(aircraft);
  r.key.type = "A320";
  r.key.registration = "F-B" + std::to_string(aircraft);
  r.timestamp = kEpoch + seconds;
  // Eastbound at 450 kt on its own latitude, all within a 100 nm square.
  r.point.latitude = 42.0 + (aircraft % 100) * 0.016;
  r.point.longitude = 0.5 + (aircraft / 100) * 0.2 + seconds * 450.0 / 3600.0 / 60.0 / std::cos(0.74);
  r.point.altitude = 20'000.0 + 50.0 * (aircraft % 40);
  r.point.groundSpeed = 450.0;
  r.point.track = 90.0;
  r.point.airborne = 1;
  return r;
}

void lf_run(double periodSeconds, bool mend) {
  gActs.clear();
  gf_resetTraffic();
  gIntakeBacklogMend = mend;
  gTick = 0;
  const std::uint64_t droppedBefore = gDroppedUpdates.load();
  std::vector<double> next(kAircraft);
  for (int i = 0; i < kAircraft; ++i) next[static_cast<std::size_t>(i)] = periodSeconds * i / kAircraft;

  std::vector<std::int64_t> lengths;
  std::vector<std::int64_t> ages;
  lengths.reserve(kTicks);
  std::chrono::duration<double, std::micro> tickTime{0};
  std::int32_t capReached = -1;  // first tick with a full queue
  for (std::int32_t tick = 0; tick < kTicks; ++tick) {
    const double now = tick * 0.01;
    for (int i = 0; i < kAircraft; ++i) {
      double& due = next[static_cast<std::size_t>(i)];
      while (due < now + 0.01) {
        gf_queueUpdate(lf_report(i, due));
        due += periodSeconds;
      }
    }
    {
      // The tick takes these from the front of the queue: their ages now.
      std::lock_guard lock(gUpdateMutex);
      lengths.push_back(static_cast<std::int64_t>(gUpdateQueue.size()));
      if (capReached < 0 && gUpdateQueue.size() >= kMaxQueuedUpdates) capReached = tick;
      const std::size_t taken = gf_updatesPerTick(gUpdateQueue.size());
      for (std::size_t k = 0; k < taken; ++k)
        ages.push_back(tick - (static_cast<std::int64_t>(gUpdateQueue[k].point.dueTick) - kUpdateDueTicks));
    }
    const auto start = std::chrono::steady_clock::now();
    gf_trafficTick();
    tickTime += std::chrono::steady_clock::now() - start;
  }
  const Figures length = lf_figures(lengths);
  const Figures age = lf_figures(ages);
  std::printf("%4.0f records/s  %-22s queue length p50 %5lld p99 %5lld max %5lld | age (ticks) p50 %5lld p99 %5lld "
              "max %5lld | dropped %7llu (%s) | %.1f us/tick\n",
              kAircraft / periodSeconds, mend ? "sixteenth of the queue" : "two a tick",
              static_cast<long long>(length.p50), static_cast<long long>(length.p99),
              static_cast<long long>(length.max), static_cast<long long>(age.p50), static_cast<long long>(age.p99),
              static_cast<long long>(age.max),
              static_cast<unsigned long long>(gDroppedUpdates.load() - droppedBefore),
              capReached < 0 ? "never full" : ("full at " + std::to_string(capReached / 100) + " s").c_str(), tickTime.count() / kTicks);
}

}  // namespace

int main() {
  doubles::setModel("A320", 2, 0.0097);
  gSimRequestsPaused = true;  // no simulator: the tick makes no requests
  gf_setAcceptUpdates(true);
  std::printf("%d aircraft, %d ticks (10 virtual minutes)\n", kAircraft, kTicks);
  for (double period : {2.4, 1.0})
    for (bool mend : {false, true}) lf_run(period, mend);
  return 0;
}
