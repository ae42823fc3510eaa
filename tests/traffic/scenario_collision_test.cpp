// Collision avoidance on the scenario bed: the once-a-second passes remove the
// aircraft in the way of the user aircraft, on the ground and in the air, and
// static aircraft in the way of live ones taxiing, one a pass.
#include <gtest/gtest.h>

#include "link_reset.h"
#include "park_scenario.h"
#include "shell/run_state.h"

namespace {

using namespace park;

class ScenarioCollision : public testing::Test {
 protected:
  void SetUp() override { lf_resetPark(); }
  void TearDown() override {
    lf_resetPark();
    COLLISION_USER_AIR.value = COLLISION_USER_AIR.defaultValue;
    COLLISION_USER_GND.value = COLLISION_USER_GND.defaultValue;
    COLLISION_LIVE_PARKED_GND.value = COLLISION_LIVE_PARKED_GND.defaultValue;
    gUserOnGround = false;
    gUserHalfSpan = 0.0;
  }

  // The collision passes as the main loop's second runs them.
  static void lf_collisionHook(scenario::Driver& driver) {
    driver.hooks().push_back({"collision", 1, [] { gf_collisionPasses(gUserOnGround.load()); }});
  }

  static scenario::DriverSetup lf_userAt(const std::filesystem::path& trace, const LatLon& user, double headingDeg,
                                         double altitudeFt) {
    scenario::DriverSetup setup = lf_parkSetup(trace);
    setup.world.user.latDeg = user.lat;
    setup.world.user.lonDeg = user.lon;
    setup.world.user.headingRad = headingDeg * DEG_TO_RAD;
    setup.world.user.altitudeFt = altitudeFt;
    setup.world.user.onGround = altitudeFt <= 0.0;
    setup.user = user;
    return setup;
  }

  static ActState lf_stateOf(const std::string& callsign) {
    for (const Act& a : gActs)
      if (a.key.callsign == callsign) return a.state;
    for (const StaticAct& a : gStaticActs)
      if (a.key.callsign == callsign) return a.state;
    return ACT_NOT_IN_SIM;  // gone
  }

  ScratchFolder m_scratch;
  testing_traffic::LogCapture m_log;
};

TEST_F(ScenarioCollision, OnTheGroundAroundTheUser) {
  const LatLon user = lf_from(kPark, 20.0 / 1852, 0.0);  // 20 m north of stand S1
  scenario::Driver driver(lf_userAt(m_scratch / "trace.jsonl", user, 0.0, 0.0));
  scenario::FeedBuilder feed(1733652000.0, 1);
  lf_standRow(2);
  lf_installLiveries({"KLM"});
  doubles::setRealStaticCreation(true);
  gUserOnGround = true;
  gUserHalfSpan = 0.0097;
  gStaticParkingList.push_back(lf_plan(1, "KLM", "KLM1"));
  ASSERT_TRUE(lf_runUntilPresent(driver, feed, 1000));
  lf_collisionHook(driver);

  // Switched off, the pass removes nothing; on, the static aircraft beside the user goes.
  COLLISION_USER_GND.value = false;
  driver.run(feed, 200);
  EXPECT_EQ(lf_stateOf("KLM1*"), ACT_PRESENT);
  COLLISION_USER_GND.value = true;
  driver.run(feed, 100);
  EXPECT_NE(lf_stateOf("KLM1*"), ACT_PRESENT);
  driver.run(feed, 300);
  ASSERT_TRUE(gStaticActs.empty());

  // One placed there while the user stands still stays: the static part does not run again.
  gStaticParkingList.push_back(lf_plan(1, "KLM", "KLM2"));
  ASSERT_TRUE(lf_runUntilPresent(driver, feed, 1000));
  driver.run(feed, 300);
  EXPECT_EQ(lf_stateOf("KLM2*"), ACT_PRESENT);

  // A live aircraft taxiing at the user at 10 kt goes within 100 ticks of touching.
  lf_queueLive(20001, "KLM5", lf_from(user, 80.0 / 1852, 270.0), 90.0, 0.0, PHASE_GROUND);
  ASSERT_TRUE(lf_runUntilPresent(driver, feed, 1000));
  const double reach = (gUserHalfSpan.load() + gf_findAct(20001)->halfSpan) * 1.15;
  std::int64_t touching = -1;
  while (lf_stateOf("KLM5") == ACT_PRESENT && driver.tick() < 20000) {
    Act& live = *gf_findAct(20001);
    const LatLon next = lf_from({live.pose.latitude, live.pose.longitude}, 10.0 / 360000.0, 90.0);
    live.pose.latitude = next.lat;
    live.pose.longitude = next.lon;
    if (touching < 0 && gf_distanceNm(user, next) <= reach) touching = driver.tick();
    driver.run(feed, 1);
  }
  ASSERT_GE(touching, 0);
  EXPECT_EQ(lf_stateOf("KLM5"), ACT_REMOVAL_REQUESTED);
  EXPECT_LE(driver.tick() - touching, 100);
  EXPECT_EQ(lf_stateOf("KLM2*"), ACT_PRESENT);
  lf_finishClean(driver, feed, "OnTheGroundAroundTheUser");
}

TEST_F(ScenarioCollision, AgainstTheAirborneUserOnePerPass) {
  const LatLon user = lf_from(kPark, 2.0, 180.0);
  scenario::Driver driver(lf_userAt(m_scratch / "trace.jsonl", user, 10.0, 400.0));
  scenario::FeedBuilder feed(1733652000.0, 1);
  gUserOnGround = false;
  const struct {
    const char* callsign;
    double nm, bearing, heading, altitude;
    bool removed;
  } rows[] = {
      {"KLM1", 0.8, 10.0, 0.0, 0.0, true},       // on the ground ahead on the user's line
      {"KLM2", 0.5, 350.0, 0.0, 0.0, false},     // 20 degrees left of the nose
      {"KLM3", 3.0, 100.0, 280.0, 400.0, true},  // heading at the user
      {"KLM4", 5.0, 100.0, 280.0, 400.0, false},
      {"KLM5", 3.0, 200.0, 200.0, 400.0, true},  // heading straight away
      {"KLM6", 3.0, 100.0, 280.0, 1500.0, false},
  };
  for (std::uint32_t i = 0; i < std::size(rows); ++i)
    lf_queueLive(20001 + i, rows[i].callsign, lf_from(user, rows[i].nm, rows[i].bearing), rows[i].heading,
                 rows[i].altitude, rows[i].altitude > 0.0 ? PHASE_AIRBORNE : PHASE_GROUND);
  ASSERT_TRUE(lf_runUntilPresent(driver, feed, 2000));
  lf_collisionHook(driver);
  COLLISION_USER_AIR.value = false;
  driver.run(feed, 200);
  for (const Act& a : gActs) EXPECT_EQ(a.state, ACT_PRESENT) << a.key.callsign;
  COLLISION_USER_AIR.value = true;
  const std::int64_t start = driver.tick();
  int removed = 0;
  for (int second = 1; second <= 4; ++second) {
    driver.run(feed, 100);
    const int now = static_cast<int>(std::count_if(gActs.begin(), gActs.end(), [](const Act& a) {
      return a.state == ACT_REMOVAL_REQUESTED;
    }));
    EXPECT_LE(now - removed, 1) << "second " << second << " after tick " << start;
    removed = now;
  }
  for (const auto& row : rows) EXPECT_EQ(lf_stateOf(row.callsign) != ACT_PRESENT, row.removed) << row.callsign;
  lf_finishClean(driver, feed, "AgainstTheAirborneUserOnePerPass");
}

TEST_F(ScenarioCollision, ALiveAircraftTaxiingThroughOccupiedStandsRemovesOneStaticAPass) {
  scenario::Driver driver(lf_parkSetup(m_scratch / "trace.jsonl"));
  scenario::FeedBuilder feed(1733652000.0, 1);
  lf_standRow(2);
  lf_installLiveries({"KLM"});
  doubles::setRealStaticCreation(true);
  gStaticParkingList.push_back(lf_plan(1, "KLM", "KLM1"));
  gStaticParkingList.push_back(lf_plan(2, "KLM", "KLM2"));
  // Between the two stands, 30 m from each: both within the spans x 1.1.
  lf_queueLive(20001, "BAW5", lf_from(kPark, 30.0 / 1852, 90.0), 90.0, 0.0, PHASE_GROUND);
  ASSERT_TRUE(lf_runUntilPresent(driver, feed, 1000));
  lf_collisionHook(driver);
  driver.run(feed, 200);
  EXPECT_EQ(lf_stateOf("KLM1*"), ACT_PRESENT);
  EXPECT_EQ(lf_stateOf("KLM2*"), ACT_PRESENT);
  COLLISION_LIVE_PARKED_GND.value = true;
  driver.run(feed, 300);
  // One removed at the first pass; the aircraft has not moved since, so no second.
  EXPECT_EQ((lf_stateOf("KLM1*") == ACT_PRESENT) + (lf_stateOf("KLM2*") == ACT_PRESENT), 1);
  Act& live = *gf_findAct(20001);
  const LatLon next = lf_from({live.pose.latitude, live.pose.longitude}, 0.05 / 1852, 90.0);
  live.pose.latitude = next.lat;
  live.pose.longitude = next.lon;
  driver.run(feed, 100);
  EXPECT_NE(lf_stateOf("KLM1*"), ACT_PRESENT);
  EXPECT_NE(lf_stateOf("KLM2*"), ACT_PRESENT);
  lf_finishClean(driver, feed, "ALiveAircraftTaxiingThroughOccupiedStandsRemovesOneStaticAPass");
}

TEST_F(ScenarioCollision, ALiveAircraftTaxiingInRemovesTheStaticInItsWayAndParksBesideAnother) {
  scenario::Driver driver(lf_parkSetup(m_scratch / "trace.jsonl"));
  lf_standRow(3);
  lf_installLiveries({"KLM"});
  doubles::setRealStaticCreation(true);
  doubles::setRealMotion(true);
  gAppState.maxPark = 10;  // room for all: only the way and the spans remove
  COLLISION_LIVE_PARKED_GND.value = true;
  gStaticParkingList.push_back(lf_plan(1, "KLM", "KLM1"));
  gStaticParkingList.push_back(lf_plan(3, "KLM", "KLM3"));
  lf_collisionHook(driver);
  // Taxiing east along the row through S1 at 15 kt, reported every 5 s, then 9 s
  // later at 5 kt 25 m before its stop 14 m short of S2, where it stands. The
  // reported track swings a few degrees at the stop, so the intake takes its
  // reports 5 s apart rather than waiting out the interval of slow reports.
  scenario::FeedBuilder feed(1733652000.0, 1);
  const double still = 0.00001;  // knots
  scenario::ScriptedAircraft taxi{50301, "KLM55", "B738", "PH-BXA", "", "", lf_from(kPark, 333.7 / 1852, 270.0),
                                  1000, {}, 0, {}};
  taxi.legs.push_back({{}, 90.0, 15.0 * 40.0 / 3600.0, 15.0, 15.0, true, 0, 0, 500, {}, {}});
  taxi.legs.push_back({{}, 90.0, 46.0 / 1852, 15.0, 5.0, true, 0, 0, 2000, {}, {}});
  taxi.legs.push_back({{}, 90.0, 25.0 / 1852, 5.0, 14.4, true, 0, 0, 2000, {}, {}});
  taxi.legs.push_back({{}, 96.0, still * 5.0 / 3600.0, still, still, true, 0, 0, 2000, {}, {}});
  taxi.legs.push_back({{}, 90.0, still * 90.0 / 3600.0, still, still, true, 0, 0, 500, {}, {}});
  feed.add(taxi);
  // The live aircraft's phase when S1's static aircraft went.
  ActPhase phaseAtRemoval = PHASE_NEW;
  bool staticOnS1 = false;
  const std::int64_t end = feed.reported().back().tick;
  while (driver.tick() < end) {
    driver.run(feed, 1);
    const Act* live = gf_findAct(taxi.hexid);
    const bool present = lf_stateOf("KLM1*") == ACT_PRESENT;
    if (staticOnS1 && !present && live) phaseAtRemoval = live->phase;
    staticOnS1 = present;
    if (live && live->phase == PHASE_PARKED) break;
  }
  const Act* live = gf_findAct(taxi.hexid);
  ASSERT_NE(live, nullptr);
  EXPECT_EQ(live->phase, PHASE_PARKED);
  EXPECT_EQ(live->standId, 2u);
  EXPECT_LE(gf_distanceNm({live->pose.latitude, live->pose.longitude}, {gStands[1].latitude, gStands[1].longitude}) *
                1852.0,
            2.0);
  EXPECT_EQ(phaseAtRemoval, PHASE_GROUND);  // in its way while taxiing, not made way for at the stand claim
  EXPECT_EQ(lf_stateOf("KLM3*"), ACT_PRESENT);  // beside S2, out of reach of both spans
  lf_finishClean(driver, feed, "ALiveAircraftTaxiingInRemovesTheStaticInItsWayAndParksBesideAnother");
}

}  // namespace
