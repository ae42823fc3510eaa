// Live aircraft flying their reported tracks through the engine's motion pass:
// records put into the simulator's state directly, reports taken at their
// queue ticks, the pose read after every pass.
#include <gtest/gtest.h>

#include <cmath>
#include <pugixml.hpp>
#include <functional>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's allocation hooks (its header is not installed here).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, std::size_t),
                                                        void (*onFree)(const volatile void*));
#endif

#include "airports/apf_loading.h"
#include "airports/stand.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "doubles.h"
#include "link_reset.h"
#include "motion_support.h"
#include "scenario_driver.h"
#include "test_support.h"
#include "tools/tracemap/tracemap.h"
#include "traffic/arbitration.h"
#include "traffic/engine.h"
#include "traffic/engine_hooks.h"
#include "traffic/readers.h"
#include "traffic/sim_connection.h"
#include "traffic/sim_ids.h"
#include "traffic/sim_queues.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"
#include "traffic/user_aircraft.h"

namespace {

using namespace motion_test;

// An invented point of a flying aircraft lies 8 s on at 95 % of the speed and is
// timed at the mean of the two speeds, to the nearest tick: a little early.
const std::int64_t kInventedPointTicks = std::llround(800.0 * 0.95 / 0.975);

using ScenarioCruise = Flight;
using ScenarioApproach = Flight;
using ScenarioReportsStop = Flight;
using ScenarioAntimeridian = Flight;

TEST_F(ScenarioCruise, FollowsTheReportedLegsOnTimeWithinTheBankLimits) {
  const auto reports = legs({50.0, 8.0}, 450.0, 35000.0, 200, {{90.0, 40}, {120.0, 40}});
  add(presentAct(0x10001, 2, reports[0].point, 90.0 * kDeg));
  std::size_t next = 1;
  double prevBank = 0.0, worstOff = 0.0, worstBank = 0.0, worstBankStep = 0.0;
  std::vector<std::int64_t> closestTick(reports.size(), 0);
  std::vector<double> closest(reports.size(), 1e9);
  std::vector<double> headingAt(reports.size(), 0.0);
  const std::int64_t firstSegmentEnds = reports[1].point.dueTick;
  fly(0x10001, reports, next, reports.back().queueTick + 3000, [&](Act& a) {
    const LatLon p{a.pose.latitude, a.pose.longitude};
    if (gTick.load() > firstSegmentEnds) worstOff = std::max(worstOff, offTrack(p, reports));
    worstBank = std::max(worstBank, std::abs(a.pose.bank));
    worstBankStep = std::max(worstBankStep, std::abs(a.pose.bank - prevBank));
    prevBank = a.pose.bank;
    for (std::size_t i = 0; i < reports.size(); ++i) {
      const double d = gf_distanceNm(p, {reports[i].point.latitude, reports[i].point.longitude});
      if (d < closest[i]) closest[i] = d, closestTick[i] = gTick.load(), headingAt[i] = a.pose.heading;
    }
  });
  EXPECT_LT(worstOff, 0.01);
  EXPECT_LE(worstBank, 30.0 * kDeg + 1e-9);
  EXPECT_LE(worstBankStep, 0.02 * kDeg + 1e-9);
  for (std::size_t i = 2; i + 1 < reports.size(); ++i) {
    EXPECT_NEAR(closestTick[i], reports[i].queueTick + 3000, 1025) << "point " << i;
    const LatLon from{reports[i].point.latitude, reports[i].point.longitude};
    const double legBearing = gf_bearing(from, {reports[i + 1].point.latitude, reports[i + 1].point.longitude});
    EXPECT_LT(std::abs(gf_angleDifference(headingAt[i], legBearing)), 1.0 * kDeg) << "point " << i;
  }
}

TEST_F(ScenarioApproach, ConfiguresForTheParkAirportAndFlares) {
  {
    // 12 nm west of the airport at 100 ft, descending at 700 ft/min at 140 kt.
    const LatLon airport{50.0, 8.0};
    const LatLon start = gf_destinationPoint(airport, 270.0 * kDeg, 12.0 * 6076.11549);
    const double startAltitude = 100.0 + 12.0 * 300.0;
    auto reports = legs(start, 140.0, startAltitude, 200, {{90.0, 190}}, -700.0);
    for (auto& r : reports)
      if (r.point.altitude <= 100.0) r.point.altitude = 0.0, r.point.airborne = 0, r.point.verticalSpeed = 0.0;
    gEngineParkAirport.code = "EDDF";
    gEngineParkAirport.latitude = airport.lat;
    gEngineParkAirport.longitude = airport.lon;
    gEngineParkAirport.altitude = 100.0;
    Act& first = add(presentAct(0x10002, 2, reports[0].point, 90.0 * kDeg));
    first.agl = startAltitude - 100.0;
    gTwinCheckHexids.clear();
    std::size_t next = 1;
    int flaps3 = 0, throttle1 = 0;
    bool gearDown = false;
    std::vector<std::pair<double, double>> flare;  // agl at each new altStep of the flare
    double worstPitch = 0.0;
    fly(0x10002, reports, next, reports.back().queueTick + 3000, [&](Act& a) {
      a.agl = a.pose.altitude - 100.0;  // the simulator's report, every tick here
      const double nm = gf_distanceNm({a.pose.latitude, a.pose.longitude}, airport);
      for (const EventCmd& e : takeEvents()) {
        const bool inside = nm <= 10.0 && a.agl <= 2050.0;
        if (e.eventId == EV_FLAPS_SET && e.value == 16383) {
          ++flaps3;
          EXPECT_TRUE(inside);
        }
        if (e.eventId == EV_THROTTLE_SET && e.value == 4914) {
          ++throttle1;
          EXPECT_TRUE(inside);
        }
        if (e.eventId == EV_GEAR_SET && e.value == 1 && !gearDown) {
          gearDown = true;
          EXPECT_TRUE(inside);
        }
      }
      if (a.flareStage > 0 && (flare.empty() || flare.back().second != a.altStep))
        flare.emplace_back(a.agl + a.altStep * 0, a.altStep);
      worstPitch = std::min(worstPitch, a.pose.pitch);
    });
    EXPECT_EQ(flaps3, 1);
    EXPECT_EQ(throttle1, 1);
    EXPECT_TRUE(gearDown);
    EXPECT_EQ(gTwinCheckHexids, std::deque<std::uint32_t>{0x10002}) << "its coupled callsigns looked up once";
    ASSERT_EQ(flare.size(), 4u);
    const double steps[] = {-0.1, -0.075, -0.05, -0.025};
    const double heights[] = {30.0, 20.0, 10.0, 3.0};
    for (int i = 0; i < 4; ++i) {
      EXPECT_DOUBLE_EQ(flare[i].second, steps[i]);
      EXPECT_LE(flare[i].first, 10.0 + heights[i] + 0.2) << "stage " << i + 1;
      EXPECT_GT(flare[i].first, 10.0 + heights[i] - 0.2) << "stage " << i + 1;
    }
    EXPECT_GE(worstPitch, -4.0 * kDeg - 1e-9);
  }
}

TEST_F(ScenarioApproach, GoesAroundOnceWhenItFliesOutBeyondTenMiles) {
  const LatLon airport{50.0, 8.0};
  gEngineParkAirport.code = "EDDF";
  gEngineParkAirport.latitude = airport.lat;
  gEngineParkAirport.longitude = airport.lon;
  gEngineParkAirport.altitude = 100.0;
  const LatLon start = gf_destinationPoint(airport, 270.0 * kDeg, 9.5 * 6076.11549);
  const auto reports = legs(start, 140.0, 1600.0, 200, {{270.0, 60}});
  Act& a = add(presentAct(0x10003, 2, reports[0].point, 270.0 * kDeg));
  a.approach = true;
  a.agl = 1500.0;
  std::size_t next = 1;
  std::vector<EventCmd> events;
  fly(0x10003, reports, next, reports.back().queueTick + 3000, [&](Act& act) {
    for (const EventCmd& e : takeEvents())
      if (e.eventId == EV_THROTTLE_SET || e.eventId == EV_GEAR_SET || e.eventId == EV_FLAPS_SET) {
        EXPECT_GT(gf_distanceNm({act.pose.latitude, act.pose.longitude}, airport), 10.0);
        events.push_back(e);
      }
  });
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].eventId, EV_THROTTLE_SET);
  EXPECT_EQ(events[0].value, 16383u);
  EXPECT_EQ(events[1].eventId, EV_GEAR_SET);
  EXPECT_EQ(events[1].value, 0u);
  EXPECT_EQ(events[2].eventId, EV_FLAPS_SET);
  EXPECT_EQ(events[2].value, 0u);
  EXPECT_TRUE(gActs.front().goAroundDone);
  EXPECT_FALSE(gActs.front().approach);
}

TEST_F(ScenarioReportsStop, AirborneFliesOnAndDisappears) {
  for (const double userNm : {5.0, 45.0}) {
    SCOPED_TRACE(userNm);
    testing_traffic::resetEngine();
    gTick = static_cast<std::int32_t>(kStart);
    const auto reports = legs({50.0, 8.0}, 300.0, 20000.0, 200, {{45.0, 10}});
    const LatLon user = gf_destinationPoint({50.0, 8.0}, 180.0 * kDeg, userNm * 6076.11549);
    gUserAc.latitude = user.lat;
    gUserAc.longitude = user.lon;
    add(presentAct(0x10004, 2, reports[0].point, 45.0 * kDeg));
    std::size_t next = 1;
    const std::int64_t lastDue = reports.back().point.dueTick;
    std::int64_t removedAt = 0, lastReached = 0;
    std::vector<double> speeds;
    double headingAfter = -1.0;
    fly(0x10004, reports, next, lastDue + 8000, [&](Act& a) {
      if (a.state == ACT_REMOVAL_REQUESTED && removedAt == 0) removedAt = gTick.load();
      if (a.extrapolationsLeft == 8 && lastReached == 0) lastReached = gTick.load();
      if (gTick.load() > lastDue && a.state == ACT_PRESENT) {
        if (headingAfter < 0) headingAfter = a.pose.heading;
        EXPECT_NEAR(a.pose.heading, headingAfter, 1e-9);
        if (!a.track.empty() && (speeds.empty() || speeds.back() != a.track.back().groundSpeed))
          speeds.push_back(a.track.back().groundSpeed);
      }
    });
    if (userNm > 39.5) {
      EXPECT_EQ(lastReached, 0);
      EXPECT_NEAR(removedAt, lastDue, 1000) << "at its first empty track";
      continue;
    }
    // The last point is reached within its windows of its due tick; then 8 points of 8 s.
    EXPECT_NEAR(lastReached, lastDue, 1000);
    EXPECT_EQ(removedAt, lastReached + 8 * kInventedPointTicks);
    ASSERT_EQ(speeds.size(), 8u);
    for (std::size_t i = 0; i < speeds.size(); ++i) EXPECT_NEAR(speeds[i], 300.0 * std::pow(0.95, i + 1), 1e-9);
  }
}

TEST_F(ScenarioReportsStop, OnTheGroundHoldsThenGoes) {
  for (const bool neighbour : {false, true}) {
    SCOPED_TRACE(neighbour);
    testing_traffic::resetEngine();
    gTick = static_cast<std::int32_t>(kStart);
    TrackPoint standing;
    standing.latitude = 50.0;
    standing.longitude = 8.0;
    standing.dueTick = static_cast<std::uint32_t>(kStart + 10);
    Act own = presentAct(0x10005, 2, standing, 1.0);
    own.phase = PHASE_GROUND;
    add(std::move(own));
    if (neighbour) {
      standing.latitude += 0.01 / 60.0;  // 0.01 nm: within 1.2 x the two half spans
      standing.dueTick += 100000000;
      Act other = presentAct(0x10006, 2, standing, 1.0);
      other.phase = PHASE_GROUND;
      add(std::move(other));
    }
    std::int64_t removedAt = 0;
    const SimPose start = gActs.front().pose;
    std::size_t none = 0;
    fly(0x10005, {}, none, kStart + 22 * 6000, [&](Act& a) {
      if (a.state == ACT_REMOVAL_REQUESTED && removedAt == 0) removedAt = gTick.load();
      EXPECT_EQ(a.pose.latitude, start.latitude);
      EXPECT_EQ(a.pose.longitude, start.longitude);
      EXPECT_EQ(a.pose.heading, start.heading);
    });
    if (neighbour) {
      EXPECT_EQ(removedAt, kStart + 10);
    } else {
      EXPECT_GE(removedAt, kStart + 10 + 21 * 6000);
      EXPECT_LT(removedAt, kStart + 10 + 22 * 6000);
    }
  }
}

TEST_F(ScenarioAntimeridian, CrossesTheShortWay) {
  const auto reports = legs({10.0, 179.9}, 450.0, 35000.0, 200, {{90.0, 60}});
  ASSERT_LT(reports.back().point.longitude, -179.8);
  add(presentAct(0x10007, 2, reports[0].point, 90.0 * kDeg));
  std::size_t next = 1;
  double prevLon = reports[0].point.longitude, worstStep = 0.0, worstOff = 0.0;
  fly(0x10007, reports, next, reports.back().queueTick + 3000, [&](Act& a) {
    double step = std::abs(a.pose.longitude - prevLon);
    if (step > 180.0) step = 360.0 - step;
    worstStep = std::max(worstStep, step);
    prevLon = a.pose.longitude;
    worstOff = std::max(worstOff, offTrack({a.pose.latitude, a.pose.longitude}, reports));
  });
  EXPECT_LT(worstStep, 0.01);
  EXPECT_LT(worstOff, 0.05);
}

// One row per timing or air rule: a set-up on a fresh aircraft and its check.
TEST_F(ScenarioCruise, TimingAndAirRules) {
  struct Row {
    const char* name;
    std::function<void()> run;
  };
  auto airborne = [](double lat, double lon, std::int64_t due, double knots = 300.0) {
    TrackPoint p;
    p.latitude = lat;
    p.longitude = lon;
    p.altitude = 20000.0;
    p.groundSpeed = knots;
    p.airborne = 1;
    p.dueTick = static_cast<std::uint32_t>(due);
    return p;
  };
  const std::int64_t t = kStart;
  const std::vector<Row> rows = {
      {"a point due in under 25 ticks gets 25",
       [&] {
         Act& a = add(presentAct(1, 2, airborne(50, 8, t), 0));
         a.track.push_back(airborne(50, 8.001, t + 5, 0.0));
         a.track.back().groundSpeed = 1e6;  // so fast that it would be due at once
         a.track.front().groundSpeed = 1e6;
         lf_followTrack(a);
         EXPECT_GE(a.track.front().dueTick, t);
         EXPECT_NEAR(a.lonStep, 0.001 / 25.0, 1e-12);
       }},
      {"due ticks stay within the windows and never before now",
       [&] {
         Act& a = add(presentAct(1, 2, airborne(50, 8, t), 0));
         a.track.push_back(airborne(50, 9, t + 100));  // 38 nm at 300 kt: 46000 ticks
         lf_followTrack(a);
         EXPECT_EQ(a.track.front().dueTick, t + 100 + 1000);
         a.track.clear();
         a.track.push_back(airborne(50, 9, t));
         a.track.push_back(airborne(50, 9.00001, t - 5000));  // long overdue
         lf_followTrack(a);
         EXPECT_EQ(a.track.front().dueTick, t);
         EXPECT_GT(a.lonStep, 0.0) << "a late report still moves it";
       }},
      {"two 0 kt reports give at least 1 kt",
       [&] {
         Act& a = add(presentAct(1, 2, airborne(50, 8, t, 0.0), 0));
         a.track.push_back(airborne(50, 8.0000001, t + 10, 0.0));
         EXPECT_GE(lf_estimateSpeed(a), 1.0);
         a.track.back().longitude = 8.1;
         a.track.back().dueTick = static_cast<std::uint32_t>(t + 36000);
         EXPECT_NEAR(lf_estimateSpeed(a), gf_distanceNm({50, 8}, {50, 8.1}) * 10.0, 1e-9);
       }},
      {"a stationary airborne point is skipped, not by a helicopter",
       [&] {
         for (AircraftCategory category : {2u, 5u}) {
           Act& a = add(presentAct(category, category, airborne(50, 8, t), 0));
           a.track.push_back(airborne(50, 8, t + 200));
           a.track.back().stationary = 1;
           a.track.push_back(airborne(50, 8.01, t + 400));
           lf_followTrack(a);
           EXPECT_EQ(a.track.front().longitude, category == 5 ? 8.0 : 8.01) << category;
         }
       }},
      {"on approach a report 90 degrees behind is dropped",
       [&] {
         Act& a = add(presentAct(1, 2, airborne(50, 8, t), 90.0 * kDeg));
         a.approach = true;
         TrackPoint behind = airborne(50, 7.99, t + 200);
         EXPECT_FALSE(lf_directionFilter(a, behind));
         TrackPoint ahead = airborne(50, 8.01, t + 200);
         EXPECT_TRUE(lf_directionFilter(a, ahead));
         a.phase = PHASE_AIRBORNE;
         gf_takeTrackPoint(a, behind);
         EXPECT_EQ(a.track.size(), 1u);
       }},
      {"bank, bank step and pitch step limits by category; a reported roll bypasses them",
       [&] {
         for (AircraftCategory category = 0; category < 6; ++category) {
           const AirLimits& limits = gf_airLimits(category);
           Act& a = add(presentAct(10 + category, category, airborne(50, 8, t), 0));
           lf_setBankStep(a, PI, 1);
           EXPECT_DOUBLE_EQ(a.bankStep, -limits.maxBankStep);
           a.pose.bank = -limits.maxBank + 1e-6;
           lf_setBankStep(a, PI, 1);
           EXPECT_NEAR(a.pose.bank + a.bankStep, -limits.maxBank, 1e-12);
           TrackPoint next = airborne(50, 8.1, t + 100);
           next.verticalSpeed = 3000.0;
           a.track.push_back(next);
           lf_startAirSegment(a, 25);
           EXPECT_DOUBLE_EQ(std::abs(a.pitchStep), limits.maxPitchStep);
           a.track[1].roll = 1.0;
           lf_startAirSegment(a, 25);
           EXPECT_DOUBLE_EQ(a.bankStep, (1.0 - a.pose.bank) / 25.0);
         }
       }},
      {"below 1000 ft and not on approach a descending report still climbs",
       [&] {
         Act& a = add(presentAct(1, 2, airborne(50, 8, t), 0));
         a.agl = 900.0;
         a.pose.altitude = 20000.0;
         a.track.push_back(airborne(50, 8.1, t + 1000));
         a.track[1].altitude = 19000.0;
         lf_startAirSegment(a, 1000);
         EXPECT_DOUBLE_EQ(a.altStep, 0.2);
       }},
      {"the descent to the runway: the park airport, 601 ft/min without one, the pressure above standard",
       [&] {
         Act& a = add(presentAct(1, 2, airborne(50, 8, t), 0));
         a.pose.altitude = 1100.0;
         a.agl = 1000.0;
         a.track.front().verticalSpeed = -700.0;
         TrackPoint ground = airborne(50, 8.1, t + 1000);
         ground.airborne = 0;
         ground.altitude = 0.0;
         ground.verticalSpeed = -700.0;
         a.track.push_back(ground);
         lf_startAirSegment(a, 1000);
         EXPECT_DOUBLE_EQ(a.altStep, -601.0 / 6000.0) << "no park airport";
         gEngineParkAirport.code = "EDDF";
         gEngineParkAirport.altitude = 100.0;
         lf_startAirSegment(a, 1000);
         EXPECT_DOUBLE_EQ(a.altStep, -1.0);
         gQnh = 1020;  // 7 hPa above standard: 42 ft/min steeper than reported
         a.track[1].verticalSpeed = -700.0;  // the first descent stored its rate there
         lf_startAirSegment(a, 1000);
         EXPECT_DOUBLE_EQ(a.targetVs, -742.0);
         EXPECT_DOUBLE_EQ(a.altStep, -742.0 / 6000.0);
         gQnh = 1013;
       }},
      {"crossing 10000 ft switches the lights once each way",
       [&] {
         Act& a = add(presentAct(1, 2, airborne(50, 8, t), 0));
         takeEvents();
         auto lightEvents = [] {
           int n = 0;
           for (const EventCmd& e : takeEvents()) n += e.eventId == EV_NAV_LIGHTS_SET;
           return n;
         };
         a.track.push_back(airborne(50, 8.1, t + 1000));
         // One set down, one up, one at the first segment: three.
         a.lightsHigh = a.lightsLow = false;
         int sets = 0;
         for (double altitude : {12000.0, 11000.0, 9000.0, 8000.0, 11000.0, 12000.0}) {
           a.track[0].altitude = altitude;
           lf_startAirSegment(a, 100);
           sets += lightEvents();
         }
         EXPECT_EQ(sets, 3);
       }},
      {"a parked aircraft whose reports stop gets a point a week ahead and frees its stand",
       [&] {
         TrackPoint p = airborne(50, 8, t, 0.0);
         p.airborne = 0;
         p.altitude = 0.0;
         p.stationary = 1;
         Act& a = add(presentAct(1, 2, p, 0));
         a.phase = PHASE_PARKED;
         a.reporting = true;
         gStands.clear();
         gStands.emplace_back("A1", std::vector<StandOption>{}, StandPosition{50, 8, 0}, 30.0, false, false, false);
         gStands.back().liveOccupied = true;
         a.standId = 1;
         lf_followTrack(a);
         EXPECT_EQ(a.state, ACT_PRESENT);
         EXPECT_EQ(a.track.front().dueTick, t + 60480000);
         EXPECT_FALSE(gf_standById(1)->liveOccupied);
         EXPECT_FALSE(a.reporting);
         gStands.clear();
       }},
      {"a landing roll its reports stopped stands when they end; one they leave at 60 kt rolls out at 30",
       [&] {
         for (const double knots : {0.0, 60.0}) {
           TrackPoint last = airborne(50, 8, t, knots);
           last.airborne = 0;
           last.altitude = 0.0;
           Act& a = add(presentAct(1, 2, last, 0));
           a.phase = PHASE_GROUND;
           a.landingRoll = true;
           ASSERT_TRUE(lf_extendTrack(a));
           EXPECT_EQ(a.track.back().stationary, knots == 0.0 ? 1 : 0) << knots;
           EXPECT_EQ(a.track.back().groundSpeed, knots == 0.0 ? 0.0 : 30.0) << knots;
           testing_traffic::resetEngine();
         }
       }},
      {"a track ending near the park airport teaches the stand it used, a parked one does not",
       [&] {
         const bool learnSoft = LEARN_SOFT.value, allowed = gSoftLearningAllowed;
         LEARN_SOFT.value = true;
         gSoftLearningAllowed = true;
         gEngineParkAirport.code = "EDDF";
         gEngineParkAirport.latitude = 50.0;
         gEngineParkAirport.longitude = 8.0;
         gStands.emplace_back("A1", std::vector<StandOption>{}, StandPosition{50, 8, 0}, 25.0, false, false, false);
         gStands.back().index = 1;
         for (const ActPhase phase : {PHASE_PARKED, PHASE_AIRBORNE}) {
           Act& a = add(presentAct(phase, 2, airborne(50, 8.001, t), 0));
           a.phase = phase;
           a.agl = 1000.0;
           a.halfSpan = 15.0 * NM_PER_METRE;  // fits the stand
           a.key.registration = "D-AIBA";
           a.extrapolationsLeft = -1;
           lf_followTrack(a);
           EXPECT_EQ(a.state, ACT_REMOVAL_REQUESTED);
           EXPECT_EQ(gStands[0].options.size(), phase == PHASE_PARKED ? 0u : 1u) << phase;
         }
         LEARN_SOFT.value = learnSoft;
         gSoftLearningAllowed = allowed;
         gStands.clear();
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing_traffic::resetEngine();
    gTick = static_cast<std::int32_t>(t);
    row.run();
  }
}

#if defined(__SANITIZE_ADDRESS__)
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
void countMalloc(const volatile void*, std::size_t) {
  if (gCounting.load()) ++gAllocations;
}
void countFree(const volatile void*) {}
#endif

TEST_F(ScenarioCruise, MotionPassesAllocateNothing) {
#if !defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the allocation hooks come with the address sanitizer";
#else
  static const int installed = __sanitizer_install_malloc_and_free_hooks(countMalloc, countFree);
  ASSERT_NE(installed, 0);
  for (std::uint32_t i = 0; i < 200; ++i) {
    TrackPoint first;
    first.latitude = 50.0 + i * 0.01;
    first.longitude = 8.0;
    first.altitude = 30000.0;
    first.airborne = 1;
    first.groundSpeed = 400.0;
    first.dueTick = static_cast<std::uint32_t>(kStart + 1000000);
    Act a = presentAct(0x20000 + i, 2, first, 1.0);
    a.latStep = 1e-5;
    a.bankStep = 1e-6;
    a.altStep = 0.1;
    add(std::move(a));
  }
  gAllocations = 0;
  gCounting = true;
  for (int pass = 0; pass < 1000; ++pass) {
    lf_motionPass();
    ++gTick;
  }
  gCounting = false;
  EXPECT_EQ(gAllocations.load(), 0);
  EXPECT_NEAR(gActs.front().pose.latitude, 50.0 + 1000 * 1e-5, 1e-9) << "the passes moved them";
#endif
}

// ---- The same scenarios through the scenario bed: reported to the parser,
// created by the engine and flown against the stand-in, the checker over the trace.

// Reports every 2 s from tick 0 along legs of {heading, nm}, climbing or descending at verticalFpm.
scenario::ScriptedAircraft bedAircraft(std::uint32_t hexid, LatLon start, double knots, double altitude,
                                       const std::vector<std::pair<double, double>>& plan, double verticalFpm = 0.0) {
  scenario::ScriptedAircraft a{hexid, sk::format("TST{}", hexid & 0xff), "A20N", "", "AMS", "LHR", start, 0, {}, 0, {}};
  for (auto [heading, nm] : plan) {
    const double end = altitude + verticalFpm * nm / knots * 60.0;
    a.legs.push_back({{}, heading, nm, knots, knots, altitude <= 0.0, altitude, end, 200, {}, {}});
    altitude = end;
  }
  gLiveryMemo[hexid] = "Stand-in A320";
  return a;
}

struct BedRun {
  ScratchFolder scratch;
  std::map<std::uint32_t, scenario::TracedObject> objects;
  scenario::SideLog log;
  std::int64_t ticksPerFrame = 3;

  std::filesystem::path trace() const { return scratch / "trace.jsonl"; }
  // The tick after which a frame's sets were sent.
  std::int64_t tickOf(std::int64_t frame) const { return frame * ticksPerFrame - 1; }
  std::vector<scenario::TrackPointAdded> invented(std::uint32_t objectId) const {
    std::vector<scenario::TrackPointAdded> points;
    for (const auto& p : log.points)
      if (p.objectId == objectId && p.invented) points.push_back(p);
    return points;
  }
};

// Runs the feed for `ticks` and the shutdown; the checker must find nothing.
void runBed(BedRun& run, scenario::FeedBuilder& feed, std::int64_t ticks, LatLon user,
            std::optional<scenario::ParkAirport> park = std::nullopt) {
  testing_traffic::LogCapture log;
  doubles::setModel("A20N", 2, 0.009);
  scenario::DriverSetup setup;
  setup.world.createDelaySeconds = 0;
  setup.world.user.latDeg = user.lat;
  setup.world.user.lonDeg = user.lon;
  setup.world.knownTitles = std::vector<std::string>{"Stand-in A320"};
  setup.world.groundElevationFt = park ? park->elevationFt : 0.0;
  setup.user = user;
  setup.park = std::move(park);
  setup.traceFile = run.trace();
  const std::filesystem::path plans = gFlightPlanFolder;
  gFlightPlanFolder = run.scratch.path();
  scenario::Driver driver(std::move(setup));
  driver.run(feed, ticks);
  driver.finish();
  if (const auto violation = scenario::gf_firstViolationKept(
          driver, feed, ::testing::UnitTest::GetInstance()->current_test_info()->name()))
    ADD_FAILURE() << scenario::gf_describe(*violation);
  run.objects = scenario::gf_tracedObjects(run.trace());
  run.log = driver.sideLog();
  gLiveryMemo.clear();
  gFlightPlanFolder = plans;
}

std::vector<LatLon> reportedLine(const scenario::FeedBuilder& feed, std::uint32_t hexid) {
  std::vector<LatLon> line;
  for (const auto& r : feed.reported())
    if (r.hexid == hexid) line.push_back({r.lat, r.lon});
  return line;
}

// Worst distance (nm) from the reported line of the positions set once the
// first segment after the creation has been flown.
double worstOffTrack(const BedRun& run, const scenario::FeedBuilder& feed, std::uint32_t hexid) {
  const auto line = reportedLine(feed, hexid);
  const auto& object = run.objects.begin()->second;
  const std::int64_t settled = run.tickOf(object.path.front().frame) + 1000;
  double worst = 0.0;
  for (const auto& fix : object.path)
    if (run.tickOf(fix.frame) > settled) worst = std::max(worst, offTrack({fix.lat, fix.lon}, line));
  return worst;
}

TEST_F(ScenarioCruise, ThroughTheBed) {
  scenario::FeedBuilder feed(1733652000.0, 1);
  feed.add(bedAircraft(0x10011, {52.0, 4.0}, 450.0, 35000.0, {{90.0, 6.0}, {120.0, 6.0}}));
  BedRun run;
  runBed(run, feed, feed.lines().back().tick + 3000, {52.0, 4.2});
  ASSERT_EQ(run.objects.size(), 1u);
  EXPECT_GT(run.objects.begin()->second.path.size(), 2000u);
  EXPECT_LT(worstOffTrack(run, feed, 0x10011), 0.01);
}

TEST_F(ScenarioApproach, ThroughTheBed) {
  const LatLon airport{50.0, 8.0};
  const LatLon start = gf_destinationPoint(airport, 270.0 * kDeg, 12.0 * 6076.11549);
  scenario::FeedBuilder feed(1733652000.0, 2);
  feed.add(bedAircraft(0x10012, start, 140.0, 100.0 + 12.0 * 300.0, {{90.0, 12.0}}, -700.0));
  BedRun run;
  // On until the flare has run its course onto the runway.
  runBed(run, feed, feed.lines().back().tick + 3000 + 1500, airport, scenario::ParkAirport{"EDDF", airport, 100.0});
  ASSERT_EQ(run.objects.size(), 1u);
  const auto& object = run.objects.begin()->second;
  // Where the aircraft was when a command went out: the last set before it.
  const auto at = [&](std::int64_t frame) {
    auto fix = object.path.begin();
    while (std::next(fix) != object.path.end() && std::next(fix)->frame <= frame) ++fix;
    return *fix;
  };
  std::map<std::pair<std::string, std::uint32_t>, int> sent;
  for (const auto& e : object.events) {
    if (e.value != 16383 && e.value != 4914 && !(e.name == "GEAR_SET" && e.value == 1)) continue;
    if (sent[{e.name, e.value}]++ > 0) continue;
    const auto fix = at(e.frame);
    EXPECT_LE(gf_distanceNm({fix.lat, fix.lon}, airport), 10.0) << e.name;
    EXPECT_LE(fix.altitudeFt - 100.0, 2050.0) << e.name;
  }
  EXPECT_EQ((sent[{"FLAPS_SET", 16383}]), 1);
  EXPECT_EQ((sent[{"THROTTLE_SET", 4914}]), 1);
  EXPECT_GE((sent[{"GEAR_SET", 1}]), 1);
  std::vector<int> stages{0};
  for (const auto& state : run.log.states)
    if (state.flareStage != stages.back()) stages.push_back(state.flareStage);
  EXPECT_TRUE(stages == std::vector<int>({0, 1, 2, 3, 4}) || stages == std::vector<int>({0, 1, 2, 3, 4, 0}))
      << "1 to 4 in order, ended by the derotation on the runway";
  for (const auto& fix : object.path) EXPECT_GE(fix.pitchRad, -4.0 * kDeg - 1e-9);
}

TEST_F(ScenarioReportsStop, ThroughTheBed) {
  MAX_HOLDING_MINUTES.value = 1;
  const LatLon user{52.3, 4.76};
  scenario::FeedBuilder feed(1733652000.0, 3);
  feed.add(bedAircraft(0x10013, gf_destinationPoint(user, 0.0, 10.0 * 6076.11549), 300.0, 20000.0, {{45.0, 2.5}}));
  feed.add(bedAircraft(0x10014, gf_destinationPoint(user, 0.0, 37.5 * 6076.11549), 300.0, 20000.0, {{0.0, 2.5}}));
  feed.add(bedAircraft(0x10015, gf_destinationPoint(user, 90.0, 2.0 * 6076.11549), 10.0, 0.0, {{180.0, 0.1}}));
  BedRun run;
  runBed(run, feed, 22000, user, scenario::ParkAirport{"EHAM", user, 0.0});
  ASSERT_EQ(run.objects.size(), 3u);
  std::map<std::string, std::pair<std::uint32_t, const scenario::TracedObject*>> byTail;
  for (const auto& [id, object] : run.objects) byTail[object.tail] = {id, &object};

  // In range: eight invented points, each 5 % slower.
  const auto [nearId, nearObject] = byTail.at("TST19");
  const auto invented = run.invented(nearId);
  ASSERT_EQ(invented.size(), 8u);
  for (std::size_t i = 0; i < invented.size(); ++i)
    EXPECT_NEAR(invented[i].groundSpeedKts, 300.0 * std::pow(0.95, i + 1), 0.5);
  ASSERT_EQ(nearObject->removeFrames.size(), 1u);
  const std::int64_t removed = run.tickOf(nearObject->removeFrames[0]);
  EXPECT_GE(removed, invented.front().tick + 8 * kInventedPointTicks);
  EXPECT_LE(removed, invented.front().tick + 8 * kInventedPointTicks + 10 + 3) << "the removal queue goes every 10 ticks";

  // Beyond LATERAL_RANGE - 0.5 nm: gone at its first empty track.
  const auto [farId, farObject] = byTail.at("TST20");
  EXPECT_TRUE(run.invented(farId).empty());
  ASSERT_EQ(farObject->removeFrames.size(), 1u);
  const auto farLine = std::find_if(feed.reported().rbegin(), feed.reported().rend(),
                                    [](const auto& r) { return r.hexid == 0x10014; });
  EXPECT_LE(run.tickOf(farObject->removeFrames[0]), farLine->tick + kUpdateDueTicks + 1000 + 13);

  // On the ground: it holds where it stopped, and goes in the minute after MAX_HOLDING_MINUTES.
  const auto [groundId, groundObject] = byTail.at("TST21");
  const auto held = run.invented(groundId);
  ASSERT_FALSE(held.empty());
  const std::int64_t holdStart = held.front().tick;
  const auto& path = groundObject->path;
  const auto still = std::find_if(path.begin(), path.end(), [&](const auto& f) { return run.tickOf(f.frame) > holdStart; });
  ASSERT_NE(still, path.end());
  for (auto fix = still; fix != path.end(); ++fix) {
    EXPECT_EQ(fix->lat, still->lat);
    EXPECT_EQ(fix->lon, still->lon);
  }
  ASSERT_EQ(groundObject->removeFrames.size(), 1u);
  const std::int64_t gone = run.tickOf(groundObject->removeFrames[0]);
  EXPECT_GE(gone, holdStart + 2 * 6000);
  EXPECT_LT(gone, holdStart + 3 * 6000);
}

TEST_F(ScenarioAntimeridian, ThroughTheBed) {
  scenario::FeedBuilder feed(1733652000.0, 4);
  feed.add(bedAircraft(0x10016, {10.0, 179.9}, 450.0, 35000.0, {{90.0, 15.0}}));
  BedRun run;
  runBed(run, feed, feed.lines().back().tick + 3000, {10.0, 179.99});
  ASSERT_EQ(run.objects.size(), 1u);
  const auto& path = run.objects.begin()->second.path;
  ASSERT_LT(path.back().lon, -179.8);
  double worstStep = 0.0;
  for (std::size_t i = 1; i < path.size(); ++i) {
    const double step = std::abs(std::remainder(path[i].lon - path[i - 1].lon, 360.0));
    worstStep = std::max(worstStep, step / static_cast<double>((path[i].frame - path[i - 1].frame) * 3));
  }
  EXPECT_LT(worstStep, 0.01);
  EXPECT_LT(worstOffTrack(run, feed, 0x10016), 0.05);

  // The map draws one line, eastward without a jump across the picture.
  std::ostringstream errors;
  ASSERT_EQ(tracemap::gf_runTracemap({run.trace().string(), "-o", (run.scratch / "map.svg").string()}, errors), 0)
      << errors.str();
  pugi::xml_document svg;
  ASSERT_TRUE(svg.load_file((run.scratch / "map.svg").c_str()));
  const double width = svg.child("svg").attribute("width").as_double();
  const auto lines = svg.select_nodes("//polyline[@class='object']");
  ASSERT_EQ(lines.size(), 1u);
  std::istringstream points(lines.first().node().attribute("points").value());
  double x = 0, y = 0, lastX = -1;
  char comma = 0;
  int drawn = 0;
  while (points >> x >> comma >> y) {
    if (drawn++ > 0) {
      EXPECT_GT(x, lastX);
      EXPECT_LT(x - lastX, width / 10);
    }
    lastX = x;
  }
  EXPECT_GT(drawn, 10);
}

}  // namespace
