// The whole engine in a dense area on the scenario bed: 500 live aircraft (200
// airborne, 300 taxiing on the ground, 200 of them to a stand), 300 static
// aircraft at a 500-stand park airport, each live aircraft reporting once a
// second. Everything is placed before the timing starts; then 60,000 ticks are
// timed: the engine tick, the once-a-second passes and the heap allocations.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "airports/stand.h"
#include "airports/static_parking.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "liveries/livery_tables.h"
#include "scenario_driver.h"
#include "service_doubles.h"
#include "shell/app_state.h"
#include "shell/run_state.h"
#include "traffic/engine.h"
#include "traffic/sim_queues.h"
#include "traffic/static_parked.h"

namespace {

// Only the engine tick's own thread counts: the simulator link's threads allocate beside it.
thread_local bool tCounting = false;
std::uint64_t gAllocations = 0;

}  // namespace

void* operator new(std::size_t size) {
  if (tCounting) ++gAllocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Clock = std::chrono::steady_clock;
constexpr LatLon kPark{52.3086, 4.7639};
constexpr double kFeetPerNm = 6076.11549;
constexpr int kStandRows = 20, kStandColumns = 25;
constexpr double kStandSpacingM = 100.0;  // taxi lanes between the rows stay clear of the spans
constexpr std::int64_t kTimedTicks = 60000;
constexpr const char* kTitle = "Boeing 737-800";

LatLon lf_from(const LatLon& origin, double nm, double bearingDeg) {
  return gf_destinationPoint(origin, bearingDeg * DEG_TO_RAD, nm * kFeetPerNm);
}

LatLon lf_standAt(int index) {
  const LatLon row = lf_from(kPark, (index / kStandColumns) * kStandSpacingM / 1852.0, 0.0);
  return lf_from(row, (index % kStandColumns) * kStandSpacingM / 1852.0, 90.0);
}

struct Timings {
  std::vector<double> samples;  // microseconds
  void add(Clock::duration d) { samples.push_back(std::chrono::duration<double, std::micro>(d).count()); }
  void print(const char* name) {
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples) sum += s;
    const std::size_t p99 = std::min(samples.size() - 1, samples.size() * 99 / 100);
    std::printf("  %-24s n=%-6zu mean %8.1f us  p50 %8.1f us  p99 %8.1f us  max %8.1f us\n", name, samples.size(),
                sum / static_cast<double>(samples.size()), samples[samples.size() / 2], samples[p99], samples.back());
  }
};

template <typename F>
void lf_timed(Timings& t, F&& f) {
  const auto start = Clock::now();
  f();
  t.add(Clock::now() - start);
}

}  // namespace

int main() {
  doubles::setModel("B738", 2, 0.0097);
  doubles::setRealMotion(true);
  doubles::setRealStaticCreation(true);
  LOG.value = false;
  COLLISION_LIVE_PARKED_GND.value = true;

  scenario::FeedBuilder feed(1733652000.0, 5);
  std::uint32_t hexid = 0x400000;
  // 200 airborne in a ring of 10 to 30 nm, cruising across the area.
  for (int i = 0; i < 200; ++i) {
    scenario::ScriptedAircraft a;
    a.hexid = hexid++;
    a.callsign = "KLM" + std::to_string(1000 + i);
    a.type = "B738";
    a.start = lf_from(kPark, 10.0 + (i % 20), i * 7.3);
    a.startTick = (i * 37) % 100;
    scenario::Leg leg;
    leg.headingDeg = (i * 53) % 360;
    leg.distanceNm = 120;
    leg.speedStartKts = leg.speedEndKts = 420;
    leg.altStartFt = leg.altEndFt = 10000 + (i % 25) * 1000;
    leg.reportIntervalTicks = 100;
    a.legs.push_back(leg);
    feed.add(a);
  }
  // 300 on the ground: 200 taxi 300 m north to a stand (301..500) and stand
  // there, 100 taxi on between the stand rows.
  for (int i = 0; i < 300; ++i) {
    scenario::ScriptedAircraft a;
    a.hexid = hexid++;
    a.callsign = "KLM" + std::to_string(3000 + i);
    a.type = "B738";
    a.startTick = (i * 41) % 100;
    scenario::Leg taxi;
    taxi.onGround = true;
    taxi.speedStartKts = taxi.speedEndKts = 15;
    taxi.reportIntervalTicks = 100;
    if (i < 200) {
      const LatLon stand = lf_standAt(300 + i);
      a.start = lf_from(stand, 300.0 / 1852, 0.0);  // from the north: no static stand on the way
      taxi.to = stand;
      scenario::Leg stay;
      stay.onGround = true;
      stay.headingDeg = 0;
      stay.speedStartKts = stay.speedEndKts = 0.001;
      stay.distanceNm = 0.001 * 700.0 / 3600.0;
      stay.reportIntervalTicks = 100;
      a.legs = {taxi, stay};
    } else {
      a.start = lf_from(lf_standAt((i - 200) * 5), 50.0 / 1852, 0.0);
      taxi.headingDeg = 90;
      taxi.distanceNm = 15.0 * 700.0 / 3600.0;
      a.legs = {taxi};
    }
    feed.add(a);
  }

  Timings tick, passes, arrived, collision, twins, counts;
  std::uint64_t tickAllocations = 0;
  scenario::DriverSetup setup;
  setup.world.createDelaySeconds = 0;
  setup.world.user.latDeg = kPark.lat - 0.05;
  setup.world.user.lonDeg = kPark.lon;
  setup.user = {kPark.lat - 0.05, kPark.lon};
  setup.park = scenario::ParkAirport{"EHAM", kPark, 0.0};
  setup.rangeNm = 100;
  setup.keepSideLog = false;
  bool timing = false;
  setup.engineTick = [&] {
    if (!timing) return gf_trafficTick();
    gAllocations = 0;
    tCounting = true;
    lf_timed(tick, [] { gf_trafficTick(); });
    tCounting = false;
    tickAllocations += gAllocations;
  };
  scenario::Driver driver(setup);
  for (int i = 0; i < kStandRows * kStandColumns; ++i) {
    const LatLon at = lf_standAt(i);
    Stand& stand = gStands.emplace_back("S" + std::to_string(i + 1), std::vector<StandOption>{},
                                        StandPosition{at.lat, at.lon, 0.0}, 30.0, false, false, false);
    stand.index = static_cast<std::uint32_t>(i + 1);
  }
  gLiveriesByModelAirline[kPax]["KLM"]["B738"] = {kTitle};
  gAppState.maxPark = 800;
  for (std::uint32_t stand = 300; stand >= 1; --stand)
    gStaticParkingList.push_back({stand, 0, "KLM", "B738", "KLM" + std::to_string(stand), "", "", 1});

  // The main loop's once-a-second work, each timed.
  driver.hooks().push_back({"passes", 1, [&] {
                              lf_timed(passes, [&] {
                                lf_timed(counts, [] {
                                  gf_countLivePresent();
                                  gf_countLiveParkedAtSlot(true);
                                  gf_countStaticAtSlot(true);
                                });
                                lf_timed(arrived, [] { gf_serveArrivedAircraft(gf_currentSlot()); });
                                lf_timed(collision, [] { gf_collisionPasses(gUserOnGround.load()); });
                              });
                            }});
  driver.hooks().push_back({"twins", 61, [&] {
                              lf_timed(twins, [] {
                                for (const Act& a : gActs) gf_removeStaticTwin(a);
                              });
                            }});

  // Placement at once, not at the creation pace: every queued creation goes out
  // with the next frame, static plans are all taken.
  const auto warmStart = Clock::now();
  std::int64_t warm = 0;
  for (; warm < 8000; ++warm) {
    while (!gStaticParkingList.empty()) lf_createStaticFromPlan();
    for (auto* queue : {&gCreationQueuePrio, &gCreationQueue}) {
      while (!queue->empty()) {
        lf_queueCreation(queue->front());
        queue->pop_front();
      }
    }
    driver.run(feed, 1);
    const auto present = std::count_if(gActs.begin(), gActs.end(), [](const Act& a) { return a.state == ACT_PRESENT; });
    const auto statics = std::count_if(gStaticActs.begin(), gStaticActs.end(),
                                       [](const StaticAct& a) { return a.state == ACT_PRESENT; });
    if (present >= 500 && statics >= 300) break;
  }
  const double warmSeconds = std::chrono::duration<double>(Clock::now() - warmStart).count();
  const auto count = [](auto& v, ActState s) {
    return std::count_if(v.begin(), v.end(), [s](const auto& a) { return a.state == s; });
  };
  std::printf("dense_area_bench: %zu stands; placed after %lld ticks (%.1f s wall): %ld live, %ld static present\n",
              gStands.size(), static_cast<long long>(warm), warmSeconds, count(gActs, ACT_PRESENT),
              count(gStaticActs, ACT_PRESENT));
  passes.samples.clear(), arrived.samples.clear(), collision.samples.clear(), twins.samples.clear();
  counts.samples.clear();

  timing = true;
  const auto start = Clock::now();
  driver.run(feed, kTimedTicks);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  timing = false;
  std::printf("  %lld ticks in %.1f s wall; at the end %ld live present (%ld parked), %ld static present\n",
              static_cast<long long>(kTimedTicks), seconds, count(gActs, ACT_PRESENT),
              std::count_if(gActs.begin(), gActs.end(), [](const Act& a) { return a.phase == PHASE_PARKED; }),
              count(gStaticActs, ACT_PRESENT));
  tick.print("gf_trafficTick");
  passes.print("per-second passes");
  counts.print("  counts");
  arrived.print("  arrived aircraft");
  collision.print("  collision passes");
  twins.print("static twins (61 s)");
  std::printf("  heap allocations per tick: %.2f\n", static_cast<double>(tickAllocations) / kTimedTicks);
  driver.finish();
  return 0;
}
