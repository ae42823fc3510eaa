// The scenario bed itself: a scripted feed through parser, engine tick and link in
// lockstep with the stand-in, its clocks, its determinism and what a failing run keeps.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "core/clock.h"
#include "doubles.h"
#include "scenario_driver.h"
#include "test_support.h"
#include "traffic/engine.h"
#include "traffic/user_aircraft.h"

namespace scenario {
namespace {

constexpr LatLon kPark{52.3086, 4.7639};
constexpr double kParkElevationFt = -11.0;

DriverSetup lf_setup(const std::filesystem::path& trace) {
  doubles::setModel("A20N", 2, 0.009);
  doubles::setModel("B738", 2, 0.0097);
  DriverSetup setup;
  setup.seed = 7;
  setup.world.createDelaySeconds = 0;
  setup.world.user.latDeg = 52.3;
  setup.world.user.lonDeg = 4.76;
  setup.world.groundElevationFt = kParkElevationFt;
  setup.world.knownTitles = std::vector<std::string>{"Airbus A320neo", "Boeing 737-800"};
  setup.park = ParkAirport{"EHAM", kPark, kParkElevationFt};
  setup.traceFile = trace;
  return setup;
}

// One cruise leg, and a taxi near the park airport with a gap in its reports.
FeedBuilder lf_twoAircraft() {
  FeedBuilder feed(1733652000.0, 7);
  ScriptedAircraft cruise{4901457, "SAS1465", "A20N", "SE-ROH", "CPH", "LHR", {52.52, 5.2}, 100, {}, 0, {}};
  cruise.legs.push_back({LatLon{52.4, 4.9}, 0, 0, 465, 465, false, 37000, 36000, 1500, {}, {}});
  ScriptedAircraft taxi{4737937, "KLM1592", "B738", "PH-BXE", "AMS", "LHR", {52.3085, 4.764}, 0, {}, 0, {{3000, 4000}}};
  taxi.legs.push_back({{}, 180, 0.1, 10, 20, true, 0, 0, 1000, {}, 182.0});
  feed.add(cruise);
  feed.add(taxi);
  return feed;
}

std::string lf_read(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ScenarioBed, TwoAircraftGoThroughParserTickAndLinkAtTheirTicks) {
  ScratchFolder scratch;
  testing_traffic::LogCapture log;
  FeedBuilder feed = lf_twoAircraft();
  // Until the first point could be checked for creation (due - 300): the
  // aircraft wait in state 0 with every point.
  std::int64_t firstTick = feed.lines().back().tick;
  for (const ReportedPoint& point : feed.reported()) firstTick = std::min(firstTick, point.tick);
  const std::int64_t ticks = std::min(feed.lines().back().tick + 1, firstTick + 3000 - 300);
  std::size_t fed = 0;
  for (const ReportedPoint& point : feed.reported()) fed += point.tick < ticks ? 1 : 0;
  Driver driver(lf_setup(scratch / "trace.jsonl"));
  std::vector<std::pair<std::string, std::int64_t>> hookCalls;
  driver.hooks().push_back({"every second", 1, [&] { hookCalls.emplace_back("every second", gTick.load()); }});
  driver.hooks().push_back({"every 15 s", 15, [&] { hookCalls.emplace_back("every 15 s", gTick.load()); }});
  driver.run(feed, ticks);

  // Every line became a track point of its aircraft, waiting in state 0, taken
  // off the queue at its own tick (due 3000 ticks on) with the parser's conversions.
  ASSERT_EQ(gActs.size(), 2u);
  std::size_t matched = 0;
  for (const Act& aircraft : gActs) {
    SCOPED_TRACE(aircraft.key.callsign);
    EXPECT_EQ(aircraft.state, ACT_NOT_IN_SIM);
    std::size_t i = 0;
    for (const ReportedPoint& want : feed.reported()) {
      if (want.hexid != aircraft.hexid || want.tick >= ticks) continue;
      ASSERT_LT(i, aircraft.track.size());
      const TrackPoint& p = aircraft.track[i++];
      EXPECT_EQ(p.dueTick, static_cast<std::uint32_t>(want.tick + 3000));
      EXPECT_NEAR(p.latitude, want.lat, 1e-6);
      EXPECT_NEAR(p.longitude, want.lon, 1e-6);
      EXPECT_NEAR(p.groundSpeed, want.groundSpeedKts, 0.5);
      EXPECT_EQ(p.airborne, want.onGround ? 0 : 1);
      if (!want.onGround) {
        EXPECT_NEAR(p.altitude, want.altFt, 0.5);
      }
    }
    EXPECT_EQ(i, aircraft.track.size());
    matched += i;
  }
  EXPECT_EQ(matched, fed);
  // The side log saw each point at the tick its line was fed.
  ASSERT_EQ(driver.sideLog().points.size(), fed);
  for (const TrackPointAdded& point : driver.sideLog().points) EXPECT_EQ(point.dueTick, point.tick + 3000);

  // The once-a-second list ran every 100 ticks (seen after the tick's count), in its order.
  ASSERT_EQ(hookCalls.size(), static_cast<std::size_t>(ticks / 100 + ticks / 1500));
  EXPECT_EQ(hookCalls[0], std::make_pair(std::string("every second"), std::int64_t{100}));
  EXPECT_EQ(hookCalls[14], std::make_pair(std::string("every second"), std::int64_t{1500}));
  EXPECT_EQ(hookCalls[15], std::make_pair(std::string("every 15 s"), std::int64_t{1500}));

  driver.finish();
  if (const auto violation = gf_firstViolationKept(driver, feed, "TwoAircraftGoThroughParserTickAndLinkAtTheirTicks"))
    ADD_FAILURE() << gf_describe(*violation);
  // The trace carries the frames up to the close of the link.
  const auto lines = fileLines(driver.traceFile());
  ASSERT_FALSE(lines.empty());
  const auto last = nlohmann::json::parse(lines.back());
  EXPECT_EQ(last["event"], "close");
  EXPECT_EQ(last["frame"], driver.tick() / 3);
}

TEST(ScenarioBed, TheSameScriptAndSeedGiveAByteIdenticalTrace) {
  ScratchFolder scratch;
  testing_traffic::LogCapture log;
  for (const char* name : {"first.jsonl", "second.jsonl"}) {
    FeedBuilder feed = lf_twoAircraft();
    Driver driver(lf_setup(scratch / name));
    driver.run(feed, 6000);
  }
  const std::string first = lf_read(scratch / "first.jsonl");
  EXPECT_GT(first.size(), 1000u);
  EXPECT_EQ(first, lf_read(scratch / "second.jsonl"));
}

TEST(ScenarioClocks, HalfAnHourOfTicksMovesTheSlotTheSteadyClockAndTheSimulatorTogether) {
  ScratchFolder scratch;
  testing_traffic::LogCapture log;
  FeedBuilder none(1733652000.0, 1);
  Driver driver(lf_setup(scratch / "trace.jsonl"));  // Sunday 10:00:00, frames of 3 ticks
  const DaySlot slotBefore = gf_currentSlot();
  const std::uint64_t steadyBefore = gf_steadyNow();
  driver.run(none, 180000);
  EXPECT_EQ(slotBefore, gf_makeDaySlot(7, 20));
  EXPECT_EQ(gf_currentSlot(), gf_makeDaySlot(7, 21));
  EXPECT_EQ(gf_steadyNow() - steadyBefore, 18'000'000'000u);  // 30 minutes in 100 ns
  // The user block asked for on this tick is answered at the frame after it.
  driver.run(none, 3);
  const UserAc user = gf_latestUserAc();
  EXPECT_EQ(user.zuluYear, 2024);
  EXPECT_EQ(user.zuluDayOfYear, 343);
  EXPECT_EQ(user.zuluTime, 10 * 3600 + 30 * 60);
}

TEST(ScenarioBed, AFailingRunKeepsItsTraceItsFeedAndItsMap) {
  ScratchFolder scratch;
  FeedBuilder feed = lf_twoAircraft();
  gf_keepFailedRun(std::filesystem::path(SKLM_TEST_DATA_DIR) / "tracemap" / "two_aircraft.jsonl", feed,
                   scratch / "scenario-out", "SomeCase");
  EXPECT_EQ(lf_read(scratch / "scenario-out" / "SomeCase.jsonl"),
            lf_read(std::filesystem::path(SKLM_TEST_DATA_DIR) / "tracemap" / "two_aircraft.jsonl"));
  auto replay = fileLines(scratch / "scenario-out" / "SomeCase.replay");
  std::erase_if(replay, [](const std::string& line) { return line.empty() || line[0] == '#'; });
  EXPECT_EQ(replay.size(), feed.lines().size());
  const std::string svg = lf_read(scratch / "scenario-out" / "SomeCase.svg");
  EXPECT_NE(svg.find("<polyline"), std::string::npos);
  EXPECT_EQ(gf_scenarioOutDir(), std::filesystem::path(SKLM_BINARY_DIR) / "scenario-out");
}

}  // namespace
}  // namespace scenario
