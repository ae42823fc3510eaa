// The learned-use search of static parking and the free-stand search of a
// stopped aircraft at a 500-stand airport with 20,000 options. Static parking
// runs the search inside an engine tick, so a run must stay far below 5 ms.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/geometry.h"
#include "core/random.h"
#include "service_doubles.h"
#include "traffic/engine.h"
#include "traffic/live_stayers.h"
#include "traffic/stand_choice.h"

namespace {

constexpr int kStands = 500;
constexpr int kOptionsPerStand = 40;
const LatLon kOrigin{48.0, 11.0};

void lf_buildAirport() {
  gStands.clear();
  gf_randomEngine().seed(7);
  for (int i = 0; i < kStands; ++i) {
    const LatLon at = gf_destinationPoint(gf_destinationPoint(kOrigin, 0.0, (i / 25) * 60.0 / 0.3048), PI / 2,
                                          (i % 25) * 60.0 / 0.3048);
    std::vector<StandOption> options;
    for (int j = 0; j < kOptionsPerStand; ++j) {
      StandOption option;
      option.operatorCode = "DLH";
      option.type = "A320";
      option.registration = sk::format("D-A{:03}{:02}", i, j);
      option.firstCallsign = sk::format("DLH{}", i * 100 + j);
      option.slots.set(gf_randomEngine()() % 48);
      option.slots.set(gf_randomEngine()() % 48);
      option.id = static_cast<std::uint32_t>(j + 1);
      option.day = 1 + gf_randomEngine()() % 7;
      option.kind = j % 4 == 0 ? OPTION_SOFT : OPTION_REAL;
      options.push_back(option);
    }
    gStands.emplace_back(sk::format("S{}", i), std::move(options), StandPosition{at.lat, at.lon, 0.0}, 25.0, i % 10 == 0,
                         i % 7 == 0, false);
    gStands.back().index = static_cast<std::uint32_t>(i + 1);
    if (i % 25 != 0) gStands.back().adjacent.push_back(static_cast<std::uint32_t>(i));
  }
  for (int i = 0; i < 200; ++i)
    gStaticParkingList.push_back({1, 0, "AFR", "A320", sk::format("AFR{}", i), "", sk::format("F-G{:03}", i), 1});
  for (int i = 0; i < 50; ++i) gLiveStayers.push_back({sk::format("EZY{}", i), 0, 10});
}

}  // namespace

int main() {
  lf_buildAirport();
  using Clock = std::chrono::steady_clock;
  constexpr int kRuns = 200;
  double worst = 0.0;
  const auto start = Clock::now();
  std::size_t planned = 0;
  for (int run = 0; run < kRuns; ++run) {
    for (Stand& stand : gStands) stand.taken = stand.nextToTaken = false;
    std::vector<StaticPlan> plans;
    const auto one = Clock::now();
    lf_searchStands(gf_makeDaySlot(1 + run % 7, static_cast<std::uint32_t>(run % 48)), OPTION_REAL,
                    static_cast<std::uint32_t>(run % 3), plans);
    worst = std::max(worst, std::chrono::duration<double, std::micro>(Clock::now() - one).count());
    planned += plans.size();
  }
  const double perSearch = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kRuns;
  std::printf("lf_searchStands: %d stands, %d options: %.1f us per run (worst %.1f us), %.1f plans per run\n", kStands,
              kStands * kOptionsPerStand, perSearch, worst, static_cast<double>(planned) / kRuns);

  constexpr int kCalls = 10000;
  const ActBase who = [] {
    ActBase a;
    a.key.operatorCode = "DLH";
    a.key.type = "A320";
    a.key.callsign = "DLH4";
    a.category = 2;
    a.halfSpan = 17.0 * NM_PER_METRE;
    return a;
  }();
  std::size_t found = 0;
  const auto nearby = Clock::now();
  for (int i = 0; i < kCalls; ++i) {
    const LatLon at = gf_destinationPoint(kOrigin, (i % 360) * PI / 180.0, (i % 1200) / 0.3048);
    found += lf_freeStandNear(at, who, 55.0 * NM_PER_METRE, true) != gStands.end();
  }
  std::printf("lf_freeStandNear: %.2f us per call (%zu of %d found a stand)\n",
              std::chrono::duration<double, std::micro>(Clock::now() - nearby).count() / kCalls, found, kCalls);
  return 0;
}
