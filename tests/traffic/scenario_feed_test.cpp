#include "scenario_feed.h"

#include <gtest/gtest.h>

#include <cmath>

#include "airports/apf_loading.h"
#include "core/parameters.h"
#include "shell/auto_range.h"
#include "test_support.h"
#include "tools/rtplayer/replay.h"
#include "traffic/readers.h"
#include "traffic/update_queue.h"

namespace scenario {
namespace {

using testing_traffic::takeQueued;

constexpr LatLon kUser{52.3, 4.76};
constexpr LatLon kPark{52.3086, 4.7639};
constexpr double kEpoch = 1733652000.0;

// A cruise along a great circle and a taxi near the park airport with a gap in its
// reports, a reported roll and a true heading.
std::vector<ScriptedAircraft> lf_twoAircraft() {
  ScriptedAircraft cruise{4901457, "SAS1465", "A20N", "SE-ROH", "CPH", "LHR", {52.52, 5.2}, 100, {}, 0, {}};
  cruise.legs.push_back({LatLon{52.2, 4.3}, 0, 0, 465, 465, false, 37000, 36000, 1500, 2.5, {}});
  ScriptedAircraft taxi{4737937, "KLM1592", "B738", "PH-BXE", "AMS", "LHR", {52.3085, 4.764}, 0, {}, 3.0, {{3000, 6000}}};
  taxi.legs.push_back({{}, 180, 0.5, 5, 20, true, 0, 0, 1000, {}, 182.0});
  taxi.legs.push_back({{}, 270, 0.3, 20, 20, true, 0, 0, 1000, {}, 271.0});
  return {cruise, taxi};
}

TEST(ScenarioFeed, EveryLineReachesTheQueueAtItsTickAndTheReplayHoldsThemAll) {
  ScratchFolder scratch;
  gLateralRangeNm = 40.0;
  gAutoRangeAtTen.store(false);
  gParkAirportLoaded.store(0);
  takeQueued();
  gf_setAcceptUpdates(true);
  TrafficReader reader;
  reader.setUserPosition(kUser);
  reader.setParkAirport(kPark);
  reader.setParkElevation(-11.0);

  FeedBuilder feed(kEpoch, 7);
  for (const auto& a : lf_twoAircraft()) feed.add(a);
  const auto& reported = feed.reported();
  ASSERT_EQ(reported.size(), feed.lines().size());
  std::vector<TrafficRecord> records;
  std::vector<std::int64_t> queuedAt;
  for (std::int64_t tick = 0; tick <= feed.lines().back().tick; ++tick) {
    gTick.store(static_cast<std::int32_t>(tick));
    feed.feed(reader, tick);
    for (auto& r : takeQueued()) {
      records.push_back(std::move(r));
      queuedAt.push_back(tick);
    }
  }
  ASSERT_EQ(records.size(), reported.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const ReportedPoint& want = reported[i];
    const TrackPoint& p = records[i].point;
    SCOPED_TRACE(feed.lines()[i].text);
    EXPECT_EQ(queuedAt[i], want.tick);
    EXPECT_EQ(p.dueTick, static_cast<std::uint32_t>(want.tick + 3000));
    EXPECT_EQ(records[i].hexid, want.hexid);
    EXPECT_EQ(records[i].key.callsign, want.callsign);
    EXPECT_NEAR(records[i].timestamp, kEpoch + static_cast<double>(want.tick) / 100.0, 0.006);
    EXPECT_NEAR(p.latitude, want.lat, 1e-6);
    EXPECT_NEAR(p.longitude, want.lon, 1e-6);
    EXPECT_EQ(p.airborne, want.onGround ? 0 : 1);
    if (want.hexid == 4901457) {
      EXPECT_NEAR(p.altitude, want.altFt, 0.5);
      EXPECT_NEAR(p.verticalSpeed, -1000.0 / (static_cast<double>(reported.back().tick) / 6000.0), 200.0);
      ASSERT_TRUE(p.roll.has_value());  // reported roll, in the parser's sign
      EXPECT_NEAR(*p.roll, -2.5 * DEG_TO_RAD, 1e-9);
    } else {
      EXPECT_FALSE(want.tick >= 3000 && want.tick < 6000) << "a report inside the gap";
      ASSERT_TRUE(p.heading.has_value());
    }
  }
  // The cruise is 465 kt all along; the taxi speeds up 5 -> 20 kt and turns west.
  std::size_t taxiPoints = 0;
  for (const auto& r : reported) {
    if (r.hexid == 4901457) {
      EXPECT_DOUBLE_EQ(r.groundSpeedKts, 465.0);
    } else {
      ++taxiPoints;
    }
  }
  EXPECT_GT(taxiPoints, 5u);
  EXPECT_EQ(reported.back().callsign, "SAS1465");
  EXPECT_NEAR(reported.back().lat, 52.2, 2e-5);  // the leg lasts whole ticks

  feed.writeReplay(scratch / "two.replay");
  auto replay = rtplay::gf_readReplayFile(scratch / "two.replay");
  EXPECT_TRUE(replay.warnings.empty());
  ASSERT_EQ(replay.items.size(), feed.lines().size());
  for (std::size_t i = 0; i < replay.items.size(); ++i)
    EXPECT_NEAR(*replay.items[i].time, kEpoch + static_cast<double>(feed.lines()[i].tick) / 100.0, 0.006);
  gTick.store(0);
}

}  // namespace
}  // namespace scenario
