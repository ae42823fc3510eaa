// One virtual hour of ten scripted aircraft through parser, engine tick and link
// in lockstep with the stand-in: wall seconds, ticks and frames per second.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "scenario_driver.h"
#include "service_doubles.h"

int main() {
  using clock = std::chrono::steady_clock;
  constexpr std::int64_t kHour = 360000;
  doubles::setModel("A20N", 2, 0.009);
  const auto scratch = std::filesystem::temp_directory_path() / "sklm_scenario_bench";
  std::filesystem::create_directories(scratch);

  scenario::FeedBuilder feed(1733652000.0, 11);
  for (std::uint32_t i = 0; i < 10; ++i) {
    scenario::ScriptedAircraft a;
    a.hexid = 0x400000 + i;
    a.callsign = "BNC" + std::to_string(100 + i);
    a.type = "A20N";
    a.registration = "SE-R" + std::string(1, static_cast<char>('A' + i)) + "A";
    a.start = {50.0 + 0.3 * i, 2.0};
    a.startTick = 50 * i;
    a.jitterM = 5;
    scenario::Leg leg;
    leg.headingDeg = 90;
    leg.distanceNm = 440;
    leg.speedStartKts = leg.speedEndKts = 440;
    leg.altStartFt = leg.altEndFt = 35000;
    leg.reportIntervalTicks = 500;
    a.legs.push_back(leg);
    feed.add(a);
  }

  scenario::DriverSetup setup;
  setup.user = {51.5, 6.0};
  setup.rangeNm = 800;
  setup.world.user.latDeg = 51.5;
  setup.world.user.lonDeg = 6.0;
  setup.traceFile = scratch / "trace.jsonl";
  setup.keepSideLog = false;
  const auto start = clock::now();
  {
    scenario::Driver driver(setup);
    driver.run(feed, kHour);
    driver.finish();
  }
  const double seconds = std::chrono::duration<double>(clock::now() - start).count();
  const auto traceBytes = std::filesystem::file_size(setup.traceFile);
  std::filesystem::remove_all(scratch);
  std::printf("scenario_bench: one virtual hour, 10 aircraft, %zu lines, %lld ticks, %lld frames\n",
              feed.lines().size(), static_cast<long long>(kHour), static_cast<long long>(kHour / 3));
  std::printf("  %.2f s wall, %.0f ticks/s, %.1f us per frame, trace %.1f kB\n", seconds,
              static_cast<double>(kHour) / seconds, seconds * 1e6 / static_cast<double>(kHour / 3),
              static_cast<double>(traceBytes) / 1024.0);
  return 0;
}
