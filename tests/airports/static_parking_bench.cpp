// Static parking at a large airport: the initial planning and the 20-minute
// adjustment over 2,000 stands with 20,000 learned options (each set on one
// half-hour in four), MAX_FIT 47 and 300 static aircraft standing. Prints
// milliseconds; the goal is under 20 ms each on one core.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "airports/apf_loading.h"
#include "airports/static_parking.h"
#include "airports/stand.h"
#include "core/clock.h"
#include "core/format.h"
#include "core/parameters.h"
#include "core/random.h"
#include "traffic/engine.h"

namespace {

constexpr int kStands = 2000;
constexpr int kOptionsPerStand = 10;
constexpr int kStatics = 300;
constexpr int kRuns = 20;
// Monday 1970-01-05 12:00 UTC.
std::int64_t gClockSeconds = 4 * 86400 + 24 * 1800;

const char* const kAirlines[] = {"KLM", "DLH", "BAW", "AFR", "EZY", "RYR"};
const char* const kTypes[] = {"A320", "B738", "E190", "A21N"};

void lf_buildAirport(std::mt19937& random) {
  gStands.clear();
  gStands.reserve(kStands);
  for (int i = 0; i < kStands; ++i) {
    // 150 m apart on a 50-column grid.
    const StandPosition at{52.30 + (i / 50) * 0.00135, 4.76 + (i % 50) * 0.0022, 0.0};
    gStands.emplace_back(sk::format("S{}", i + 1), std::vector<StandOption>{}, at, 30.0, false, false, false);
    Stand& stand = gStands.back();
    stand.index = static_cast<std::uint32_t>(i + 1);
    for (int o = 0; o < kOptionsPerStand; ++o) {
      StandOption option;
      option.operatorCode = kAirlines[random() % std::size(kAirlines)];
      option.type = kTypes[random() % std::size(kTypes)];
      option.registration = sk::format("PH-{}", i * kOptionsPerStand + o);
      option.firstCallsign = sk::format("{}{}", option.operatorCode, i * kOptionsPerStand + o);
      option.id = static_cast<std::uint32_t>(o + 1);
      option.day = 1 + random() % 7;
      option.kind = o % 3 == 2 ? OPTION_SOFT : OPTION_REAL;
      const std::uint32_t phase = random() % 4;
      for (std::uint32_t slot = phase; slot < 48; slot += 4) option.slots.set(slot);
      stand.options.push_back(std::move(option));
    }
  }
  lf_findAdjacentStands();
}

void lf_placeStatics(std::mt19937& random) {
  gStaticActs.clear();
  std::vector<int> stands(kStands);
  for (int i = 0; i < kStands; ++i) stands[i] = i;
  std::shuffle(stands.begin(), stands.end(), random);
  for (int n = 0; n < kStatics; ++n) {
    const Stand& stand = gStands[stands[n]];
    const StandOption& option = stand.options[random() % stand.options.size()];
    ActBase base;
    base.key.operatorCode = option.operatorCode;
    base.key.type = option.type;
    base.key.firstCallsign = option.firstCallsign;
    base.key.callsign = option.firstCallsign + "*";
    base.key.registration = option.registration;
    base.hexid = static_cast<std::uint32_t>(n);
    gStaticActs.emplace_back(std::move(base), stand.index, stand.latitude, stand.longitude, 0.0, false);
    gStaticActs.back().state = ACT_PRESENT;
    gStaticActs.back().objectId = 1000 + n;
    gStaticActs.back().arrivalSlot = gf_makeDaySlot(1, 20 + random() % 4);
  }
}

template <typename Work>
void lf_time(const char* name, Work work) {
  std::vector<double> ms;
  for (int run = 0; run < kRuns; ++run) {
    std::mt19937 random(7);
    lf_buildAirport(random);
    lf_placeStatics(random);
    gRemovalQueue.clear();
    const auto start = std::chrono::steady_clock::now();
    work();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  double sum = 0.0;
  for (double value : ms) sum += value;
  std::printf("%-24s mean %7.2f ms  median %7.2f ms  max %7.2f ms  (%zu plans)\n", name, sum / ms.size(),
              ms[ms.size() / 2], ms.back(), gStaticParkingList.size());
}

}  // namespace

int main() {
  gf_setClockSource([] { return gClockSeconds; });
  gf_randomEngine().seed(11);
  RANDOM.value = true;
  WEEK.value = false;
  MAX_FIT.value = 47;
  parking_percentage.value = 30;
  PARK_SOFT.value = true;
  gParkAirportCode = "EHAM";
  std::printf("%d stands, %d options, %d static aircraft, MAX_FIT 47\n", kStands, kStands * kOptionsPerStand,
              kStatics);
  lf_time("lf_setupStaticParking", [] { lf_setupStaticParking(); });
  lf_time("gf_parkingAdjustments", [] { gf_parkingAdjustments(); });
  return 0;
}
