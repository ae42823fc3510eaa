// Live aircraft touching down, and the reports of aircraft standing at,
// leaving or taxiing off a stand as their tracks take them in.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "airports/stand.h"
#include "core/clock.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "engine_placement.h"
#include "motion_support.h"
#include "park_scenario.h"
#include "scenario_driver.h"
#include "test_support.h"
#include "link_reset.h"
#include "traffic/engine.h"
#include "traffic/commands.h"
#include "traffic/engine_hooks.h"
#include "traffic/landing.h"
#include "traffic/live_stayers.h"
#include "traffic/sim_ids.h"
#include "traffic/sim_queues.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"

namespace {

constexpr double kDeg = DEG_TO_RAD;
constexpr double kFeetPerMetre = 3.280839895;

void lf_setCategory(Act& a, AircraftCategory category) {
  const CategoryPerformance& row = gf_categoryPerformance(category);
  a.category = category;
  a.derotationTicks = row.derotationTicks;
  a.baseTurnRate = a.turnRate = row.turnRate;
  a.standSpeed = row.standSpeed;
  a.maxClimbStep = row.maxClimbStep;
}

class ScenarioLanding : public simlink::EnginePlacementTest {};

TEST_F(ScenarioLanding, TouchdownSetsSpoilersAndControlsOnceAndDerotates) {
  struct Row {
    const char* name;
    AircraftCategory category;
    bool fsltl;
    std::optional<double> throttle;  // of the definition-401 set; none: no set
  };
  const std::vector<Row> rows = {{"Large", 2, false, 100.0}, {"FSLTL_ livery", 2, true, -100.0}, {"Light", 0, false, {}}};
  openStandIn();
  for (std::size_t i = 0; i < rows.size(); ++i) gf_appendAct(liveAct(50001 + i, "KLM" + std::to_string(10 + i), 1.0));
  placeAll();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    Act& a = gActs[i];
    lf_setCategory(a, rows[i].category);
    a.fsltlLivery = rows[i].fsltl ? 1 : 0;
    a.phase = PHASE_AIRBORNE;
    a.approach = true;
    a.flareStage = 4;
    a.groundPitch = 0.7 * kDeg;
    a.pose.pitch = -4.0 * kDeg;
    a.pose.bank = 2.0 * kDeg;
    a.pose.heading = 1.0;
    // Two on-ground answers in a row: only the first lands it.
    for (int answer = 0; answer < 2; ++answer) gf_pushObjectEvent({a.objectId, 1, 0, OBJ_IN_RANGE, 0.0, 0.0});
  }
  gf_processCreatedObjects();
  gf_processCreatedObjects();
  frame();
  waitHandled();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    Act& a = gActs[i];
    EXPECT_TRUE(a.onGround && a.landingRoll && a.derotating && a.landed && a.arrived);
    EXPECT_FALSE(a.approach);
    EXPECT_DOUBLE_EQ(a.runwayHeading, 1.0);
    int spoilers = 0;
    for (const auto& e : events("client_event"))
      if (e["id"] == a.objectId && e["name"] == "SPOILERS_SET") spoilers += e["value"] == 16383 ? 1 : 100;
    EXPECT_EQ(spoilers, 1);
    std::vector<std::vector<double>> sets;
    for (const auto& line : fileLines(m_scratch / "trace.jsonl")) {
      if (line.find("\"define\":401") == std::string::npos) continue;
      const auto j = nlohmann::ordered_json::parse(line);
      if (j["id"] != a.objectId) continue;
      sets.emplace_back();
      for (const auto& [key, value] : j["values"].items()) sets.back().push_back(value.get<double>());
    }
    if (!rows[i].throttle) {
      EXPECT_TRUE(sets.empty());
    } else {
      ASSERT_EQ(sets.size(), 1u);
      EXPECT_EQ(sets[0], (std::vector<double>{100.0, *rows[i].throttle, *rows[i].throttle}));
    }
    // The nose comes down to the ground pitch within the derotation ticks.
    for (std::uint32_t tick = 0; tick < a.derotationTicks && a.derotating; ++tick) lf_stepPose(a);
    EXPECT_FALSE(a.derotating);
    EXPECT_DOUBLE_EQ(a.pose.pitch, a.groundPitch);
    EXPECT_DOUBLE_EQ(a.pose.bank, 0.0);
  }
}

// ---- Reports of aircraft at and around a stand ----

TEST_F(ScenarioLanding, RollsOutAndLeavesTheRunway) {
  // Park airport at 100 ft; touchdown heading east at 140 kt, 5 kt less each
  // second down to 20 kt, then a 90-degree turn-off at 20 kt.
  doubles::setRealMotion(true);
  gEngineParkAirport.code = "EDDF";
  gEngineParkAirport.latitude = 50.0;
  gEngineParkAirport.longitude = 8.0;
  gEngineParkAirport.altitude = 100.0;
  std::vector<motion_test::Report> reports;
  LatLon at{50.0, 8.0};
  double knots = 140.0, heading = 90.0;
  for (int s = 0; s <= 60; ++s) {
    const std::int64_t tick = motion_test::kStart + 100 * s;
    TrackPoint p;
    p.latitude = at.lat;
    p.longitude = at.lon;
    p.groundSpeed = p.trueAirspeed = knots;
    p.dueTick = static_cast<std::uint32_t>(tick + kUpdateDueTicks);
    reports.push_back({tick, p});
    if (knots <= 20.0) heading = 180.0;
    const double next = std::max(knots - 5.0, 20.0);
    at = gf_destinationPoint(at, heading * kDeg, (knots + next) / 2.0 / 3600.0 * 6076.11549);
    knots = next;
  }
  gTick = static_cast<std::int32_t>(motion_test::kStart);
  Act a = motion_test::presentAct(50011, 2, reports[0].point, 90.0 * kDeg);
  lf_setCategory(a, 2);
  a.phase = PHASE_AIRBORNE;
  a.approach = true;
  a.flareStage = 4;
  a.groundPitch = 0.5 * kDeg;
  a.pose.pitch = -3.0 * kDeg;
  a.onGround = false;
  gf_appendAct(std::move(a));
  lf_landed(gActs.front());
  motion_test::takeEvents();
  struct Seen {
    EventCmd event;
    double knots;
    double offRunwayDeg;
  };
  std::vector<Seen> seen;
  const double runway = 90.0 * kDeg;
  std::size_t next = 1;
  while (gTick.load() < reports.back().queueTick + 4000) {
    Act* act = gf_findAct(50011);
    ASSERT_NE(act, nullptr);
    while (next < reports.size() && reports[next].queueTick <= gTick.load()) {
      TrackPoint p = reports[next++].point;
      gf_takeTrackPoint(*act, p);
    }
    lf_motionPass();
    for (const EventCmd& e : motion_test::takeEvents())
      seen.push_back({e, act->targetTas, std::abs(gf_angleDifference(runway, act->pose.heading)) * RAD_TO_DEG});
    ++gTick;
  }
  const auto first = [&](std::uint32_t id, std::uint32_t value) {
    return std::find_if(seen.begin(), seen.end(),
                        [&](const Seen& x) { return x.event.eventId == id && x.event.value == value; });
  };
  const auto spoilersIn = first(EV_SPOILERS_SET, 0);
  const auto flapsOne = first(EV_FLAPS_SET, 3072);
  const auto flapsUp = first(EV_FLAPS_SET, 0);
  const auto taxiLight = first(EV_TAXI_LIGHTS_SET, 1);
  ASSERT_TRUE(spoilersIn != seen.end() && flapsOne != seen.end() && flapsUp != seen.end() && taxiLight != seen.end());
  EXPECT_LE(spoilersIn->knots, 90.0);
  EXPECT_LE(flapsOne->knots, 90.0);
  EXPECT_LT(spoilersIn->offRunwayDeg, 15.0);
  EXPECT_GE(flapsUp->offRunwayDeg, 15.0);
  EXPECT_LT(flapsUp, taxiLight);
  EXPECT_FALSE(gActs.front().landingRoll);
  doubles::setRealMotion(false);
  gEngineParkAirport = {};
}

// ---- Reports of aircraft at and around a stand, and parking through the motion pass ----

using motion_test::Report;
using motion_test::kStart;

constexpr LatLon kStandAt{50.0, 8.0};
constexpr double kStandHeadingDeg = 30.0;
constexpr double kStandRadiusM = 20.0;

class ParkedFlight : public motion_test::Flight {
 protected:
  void SetUp() override {
    Flight::SetUp();
    reset();
  }
  void TearDown() override {
    gEngineParkAirport = {};
    HOLDING_THRESHOLD_METERS.value = HOLDING_THRESHOLD_METERS.defaultValue;
    Flight::TearDown();
  }
  // No aircraft, no events; the park airport with stands A, B and C free.
  static void reset() {
    testing_traffic::resetEngine();
    gTick = static_cast<std::int32_t>(kStart);
    motion_test::takeEvents();
    gEngineParkAirport.code = "EDDF";
    gEngineParkAirport.latitude = kStandAt.lat;
    gEngineParkAirport.longitude = kStandAt.lon;
    addStands(kStandAt, kStandHeadingDeg);
  }
  // Stands A, B and C side by side, 45 m apart west to east, B at `b`.
  static void addStands(const LatLon& b, double headingDeg) {
    for (const auto& [name, east] : std::vector<std::pair<const char*, double>>{{"A", -45}, {"B", 0}, {"C", 45}}) {
      const LatLon p = gf_destinationPoint(b, 90.0 * kDeg, east * kFeetPerMetre);
      gStands.emplace_back(name, std::vector<StandOption>{}, StandPosition{p.lat, p.lon, headingDeg * kDeg},
                           kStandRadiusM, false, false, false);
      gStands.back().index = static_cast<std::uint32_t>(gStands.size());
    }
    gStands[0].adjacent = {2};
    gStands[1].adjacent = {1, 3};
    gStands[2].adjacent = {2};
  }

  static Act taxiing(const TrackPoint& first) {
    Act a = motion_test::presentAct(70001, 2, first, 0.0);
    lf_setCategory(a, 2);
    a.key.operatorCode = "DLH";
    a.key.callsign = "DLH7";
    a.key.registration = "DAIPA";
    a.key.type = "A320";
    a.phase = PHASE_GROUND;
    a.groundPitch = 0.5 * kDeg;
    a.throttleLevel = 0;
    a.flapLevel = 1;
    return a;
  }
  static TrackPoint at(const LatLon& where, std::int64_t due, double knots = 0.0, bool airborne = false) {
    TrackPoint p;
    p.latitude = where.lat;
    p.longitude = where.lon;
    p.groundSpeed = knots;
    p.airborne = airborne ? 1 : 0;
    p.altitude = airborne ? 500.0 : 0.0;
    p.dueTick = static_cast<std::uint32_t>(due);
    p.timestamp = static_cast<double>(due - kUpdateDueTicks) / 100.0;  // sent when it was queued
    return p;
  }
  static LatLon metresFrom(const LatLon& from, double bearingDeg, double metres) {
    return gf_destinationPoint(from, bearingDeg * kDeg, metres * kFeetPerMetre);
  }
  // A present ground aircraft (Large, half span 20 m) with its first point.
  Act& ground(ActPhase phase, const TrackPoint& first) {
    Act a = taxiing(first);
    a.halfSpan = 20.0 / 1852.0;
    a.phase = phase;
    a.onGround = true;
    a.throttleLevel = 5;  // nothing sent yet
    a.flapLevel = 4;
    return add(std::move(a));
  }
  // Parked at stand B (heading north here), its only point the stand.
  Act& parked(const LatLon& b = kStandAt) {
    TrackPoint stand = at(b, kStart);
    stand.stationary = 1;
    Act& a = ground(PHASE_PARKED, stand);
    a.standId = 2;
    a.standLatitude = b.lat;
    a.standLongitude = b.lon;
    a.standHeading = 0.0;
    a.previousPhase = PHASE_TAXI_TO_STAND;
    gStands[1].liveOccupied = true;
    return a;
  }
  static void take(Act& a, TrackPoint p) { gf_takeTrackPoint(a, p); }
  static std::vector<std::uint32_t> eventValues(std::uint32_t eventId) {
    std::lock_guard lock(gScMutex);
    std::vector<std::uint32_t> values;
    for (const EventCmd& e : gEventCmds)
      if (e.eventId == eventId) values.push_back(e.value);
    return values;
  }
  static Report report(const LatLon& where, double knots, std::int64_t queueTick) {
    Report r{queueTick, {}};
    r.point.latitude = where.lat;
    r.point.longitude = where.lon;
    r.point.groundSpeed = r.point.trueAirspeed = knots;
    r.point.dueTick = static_cast<std::uint32_t>(queueTick + kUpdateDueTicks);
    r.point.timestamp = static_cast<double>(queueTick) / 100.0;
    return r;
  }

  // Taxies north at 15 kt, slows to 3 kt and stops 15 m south of B; the reports
  // go on from the stop for a minute. Runs until the aircraft stands at B.
  void parkAtB(const std::function<void(Act&)>& each = {}) {
    const LatLon stop = gf_destinationPoint(kStandAt, PI, 15.0 * kFeetPerMetre);
    std::vector<Report> reports;
    std::int64_t tick = motion_test::kStart;
    for (int i = 8; i >= 1; --i, tick += 500)
      reports.push_back(report(gf_destinationPoint(stop, PI, (10.0 + 38.0 * i) * kFeetPerMetre), 15.0, tick));
    reports.push_back(report(gf_destinationPoint(stop, PI, 25.0 * kFeetPerMetre), 3.0, tick));
    for (int i = 0; i < 14; ++i) reports.push_back(report(stop, 0.0, tick += 500));
    add(taxiing(reports.front().point));
    std::size_t next = 1;
    fly(70001, reports, next, tick + 3000, each);
  }
  // After parkAtB: reports along `bearingDeg` from B, 10 m to 46 m out every
  // 3 s with their track, then a minute more.
  void leaveB(double bearingDeg, double trackDeg, const std::function<void(Act&)>& each) {
    const LatLon b{gStands[1].latitude, gStands[1].longitude};
    std::vector<Report> reports;
    std::int64_t tick = gTick.load();
    for (double metres = 10.0; metres <= 46.0; metres += 4.0, tick += 300) {
      reports.push_back(report(metresFrom(b, bearingDeg, metres), 2.0, tick));
      reports.back().point.track = trackDeg;
    }
    std::size_t next = 0;
    fly(70001, reports, next, tick + 6000, each);
  }
};

using ScenarioPark = ParkedFlight;
using ScenarioPushback = ParkedFlight;

using ScenarioPark = ParkedFlight;
using ScenarioPushback = ParkedFlight;

TEST_F(ScenarioPark, TrackIntake) {
  struct Row {
    const char* name;
    std::function<void()> run;
  };
  const std::int64_t t = kStart;
  const std::vector<Row> rows = {
      {"a holding jump beyond the threshold removes the aircraft",
       [&] {
         HOLDING_THRESHOLD_METERS.value = 100;
         Act& a = ground(PHASE_GROUND, at(kStandAt, t));
         a.holding = true;
         take(a, at(metresFrom(kStandAt, 90, 90), t + 300));
         EXPECT_EQ(a.state, ACT_PRESENT);
         take(a, at(metresFrom(kStandAt, 90, 110), t + 600));
         EXPECT_EQ(a.state, ACT_REMOVAL_REQUESTED);
         EXPECT_FALSE(a.holding);
       }},
      {"a parked aircraft whose reports wander keeps one stationary point",
       [&] {
         Act& a = parked();
         gStands[1].liveOccupied = false;  // as the point a week ahead leaves it
         for (int i = 1; i <= 6; ++i)
           take(a, at({kStandAt.lat + (i % 2) * 0.0001, kStandAt.lon - (i % 3) * 0.0001}, t + 300 * i));
         ASSERT_EQ(a.track.size(), 1u);
         EXPECT_TRUE(a.track.front().stationary);
         EXPECT_EQ(a.phase, PHASE_PARKED);
         EXPECT_FALSE(a.leaveStand);
         EXPECT_TRUE(gStands[1].liveOccupied) << "it still stands there";
       }},
      {"a stop shorter than 15 s vanishes once the aircraft moves on, a long one stays",
       [&] {
         for (const std::int64_t stopTicks : {1000, 4000}) {
           SCOPED_TRACE(stopTicks);
           reset();
           const LatLon stop = metresFrom(kStandAt, 0, 200);
           Act& a = ground(PHASE_GROUND, at(kStandAt, t, 10));
           take(a, at(metresFrom(kStandAt, 0, 100), t + 1000, 10));
           take(a, at(stop, t + 2000, 0));  // arrives at the stop
           take(a, at(stop, t + 2000 + stopTicks / 2, 0));
           take(a, at(stop, t + 2000 + stopTicks, 0));
           ASSERT_EQ(a.track.size(), 5u);
           take(a, at(metresFrom(stop, 0, 60), t + 2500 + stopTicks, 10));
           EXPECT_EQ(a.track.size(), stopTicks < 3000 ? 5u : 6u);
           EXPECT_FALSE(a.track.back().stationary);
         }
       }},
      {"leaving a stand takes three moves of 3 m and half the half span, or more than the half span",
       [&] {
         Act& a = parked();
         take(a, at(metresFrom(kStandAt, 0, 1), t + 300));  // the first report near the stand
         take(a, at(metresFrom(kStandAt, 0, 5), t + 600));
         take(a, at(metresFrom(kStandAt, 0, 9), t + 900));
         EXPECT_FALSE(a.leaveStand);
         EXPECT_EQ(a.track.size(), 1u);
         take(a, at(metresFrom(kStandAt, 0, 13), t + 1200));  // third move, 12 m >= 10 m
         EXPECT_TRUE(a.leaveStand);
         EXPECT_EQ(a.track.size(), 2u);
         EXPECT_EQ(a.previousPhase, PHASE_PARKED);
         EXPECT_FALSE(gStands[1].liveOccupied);
         take(a, at(metresFrom(kStandAt, 0, 17), t + 1500));
         EXPECT_FALSE(gStands[1].liveOccupied) << "its stay has ended";
         reset();
         Act& b = parked();
         take(b, at(metresFrom(kStandAt, 0, 1), t + 300));
         take(b, at(metresFrom(kStandAt, 0, 20), t + 600));  // one move of 19 m: not yet
         EXPECT_FALSE(b.leaveStand);
         take(b, at(metresFrom(kStandAt, 0, 24), t + 900));  // 23 m > 20 m
         EXPECT_TRUE(b.leaveStand);
       }},
      {"an A20N parked at Arlanda whose reports jump 63 m for 5 s and come back, then shift 17 m, stays",
       [&] {
         // Its real reports, one a second, queued as they came; B lies under the first.
         std::vector<Report> reports;
         double firstSecond = 0.0;
         for (const std::string& line : fileLines(SKLM_TEST_DATA_DIR "/traffic/essa_20210824_sas2023_parked.txt")) {
           std::vector<std::string> f;
           for (std::size_t from = 0, comma = 0; comma != std::string::npos; from = comma + 1)
             f.push_back(line.substr(from, (comma = line.find(',', from)) - from));
           if (reports.empty()) firstSecond = std::stod(f[14]);
           const auto tick = static_cast<std::int64_t>(t + std::llround((std::stod(f[14]) - firstSecond) * 100));
           reports.push_back(report({std::stod(f[2]), std::stod(f[3])}, 0.0, tick));
         }
         ASSERT_EQ(reports.size(), 103u);
         gStands.clear();
         addStands({reports[0].point.latitude, reports[0].point.longitude}, 11.0);
         Act& a = parked({reports[0].point.latitude, reports[0].point.longitude});
         a.halfSpan = 35.8 / 2.0 / 1852.0;
         std::size_t next = 1;
         bool left = false;
         fly(a.hexid, reports, next, reports.back().queueTick + 3000, [&](Act& each) {
           left |= each.leaveStand || each.phase != PHASE_PARKED;
         });
         EXPECT_FALSE(left) << "no report took it off its stand";
       }},
      {"a report 250 m from the stand removes a parked aircraft",
       [&] {
         Act& a = parked();
         take(a, at(metresFrom(kStandAt, 90, 250), t + 300));
         EXPECT_EQ(a.state, ACT_REMOVAL_REQUESTED);
       }},
      {"a taxi whose reports keep a stale 104 kt does not take off; at 104 kt by its positions it does",
       [&] {
         for (const double shownKnots : {20.0, 104.0}) {
           SCOPED_TRACE(shownKnots);
           reset();
           Act& a = ground(PHASE_GROUND, at(kStandAt, t, 104));
           for (int i = 1; i <= 2; ++i) {
             TrafficRecord r;
             r.hexid = a.hexid;
             r.key = a.key;
             r.timestamp = a.lastUpdate + 4.0;
             r.point = at(metresFrom(kStandAt, 0, shownKnots * 1852.0 / 3600.0 * 4.0 * i), t + 400 * i, 104);
             lf_updateAct(r, a);
           }
           EXPECT_EQ(a.track.size(), 3u);
           EXPECT_EQ(a.takeOffRoll, shownKnots > 43.0);
         }
       }},
      {"a touch-and-go restarts the take-off roll",
       [&] {
         Act& a = ground(PHASE_GROUND, at(kStandAt, t, 120, true));
         a.landingRoll = true;
         a.landed = true;
         a.pose.heading = 0.0;
         take(a, at(metresFrom(kStandAt, 0, 300), t + 500, 125, true));
         EXPECT_TRUE(a.takeOffRoll);
         EXPECT_FALSE(a.landed);
         EXPECT_EQ(a.earlyWindow, 3000);
         EXPECT_EQ(a.lateWindow, 5000);
         EXPECT_EQ(eventValues(EV_THROTTLE_SET), std::vector<std::uint32_t>{gf_throttleValue(3)});
         EXPECT_EQ(eventValues(EV_FLAPS_SET), std::vector<std::uint32_t>{gf_flapValue(1)});
       }},
      {"mid take-off roll a report of 0 kt, or one standing still with speed, is dropped",
       [&] {
         Act& a = ground(PHASE_GROUND, at(kStandAt, t, 80));
         a.takeOffRoll = true;
         take(a, at(metresFrom(kStandAt, 0, 80), t + 200, 0));
         take(a, at(kStandAt, t + 200, 60));
         take(a, at(metresFrom(kStandAt, 0, 10), t + 200, 60));  // within the fold of a stop
         EXPECT_EQ(a.track.size(), 1u);
         take(a, at(metresFrom(kStandAt, 0, 80), t + 200, 84));
         ASSERT_EQ(a.track.size(), 2u);
         EXPECT_EQ(a.track.back().groundSpeed, 84.0);
       }},
      {"a Heavy parked 59 minutes counts as towed, 61 minutes not",
       [&] {
         for (const int minutes : {59, 61}) {
           SCOPED_TRACE(minutes);
           reset();
           Act& a = parked();
           lf_setCategory(a, 3);
           a.landed = true;
           a.extrapolationsLeft = 1;
           // Its reports stopped: the front point is the invented one, a week after it parked.
           a.track.front().dueTick = static_cast<std::uint32_t>(t - minutes * 6000 + 60480000);
           take(a, at(metresFrom(kStandAt, 0, 1), t + 100));
           take(a, at(metresFrom(kStandAt, 0, 30), t + 1100));  // towed off at 6 kt
           EXPECT_TRUE(a.leaveStand);
           EXPECT_EQ(a.towed, minutes < 60);
           EXPECT_FALSE(a.landed);
           EXPECT_EQ(a.extrapolationsLeft, 0);
         }
       }},
      {"a push-back turns to the side of the reported heading, also across north",
       [&] {
         for (const auto& [poseDeg, reportedDeg, otherSide] :
              std::vector<std::tuple<double, double, bool>>{{350, 10, true}, {10, 350, false}, {90, 120, true}}) {
           reset();
           Act& a = ground(PHASE_PUSHBACK, at(kStandAt, t));
           a.pushLegs = 2;
           a.pose.heading = poseDeg * kDeg;
           TrackPoint p = at(metresFrom(kStandAt, 180, 30), t + 300);
           p.track = reportedDeg;
           take(a, p);
           EXPECT_TRUE(a.pushTurn);
           EXPECT_EQ(a.pushTurnOtherSide, otherSide) << poseDeg << " -> " << reportedDeg;
           EXPECT_EQ(a.track.size(), 1u);
         }
       }},
      {"pushed back, it waits until the reports lie 2.75 half spans off and farther, or 6",
       [&] {
         Act& a = ground(PHASE_PUSHBACK_DONE, at(kStandAt, t));
         a.leaveDistance = 900.0;
         a.standId = 1;
         take(a, at(metresFrom(kStandAt, 0, 60), t + 300));  // 3 half spans, but not beyond 900 nm
         EXPECT_EQ(a.phase, PHASE_PUSHBACK_DONE);
         EXPECT_TRUE(a.holding);
         take(a, at(metresFrom(kStandAt, 0, 58), t + 600));  // nearer than before
         EXPECT_EQ(a.phase, PHASE_PUSHBACK_DONE);
         take(a, at(metresFrom(kStandAt, 0, 62), t + 900));  // beyond 2.75 and farther
         EXPECT_EQ(a.phase, PHASE_GROUND);
         EXPECT_EQ(a.standId, 0u);
         EXPECT_FALSE(a.holding);
         reset();
         Act& b = ground(PHASE_PUSHBACK_DONE, at(kStandAt, t));
         b.leaveDistance = 900.0;
         take(b, at(metresFrom(kStandAt, 0, 125), t + 300));  // beyond 6 half spans at once
         EXPECT_EQ(b.phase, PHASE_GROUND);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    reset();
    row.run();
  }
}

std::uint64_t lf_steadyFollowsTicks() { return static_cast<std::uint64_t>(gTick.load()) * 100'000; }

TEST_F(ScenarioPark, ReportsFromTheStandHoldItUntilFiveMinutesAfterTheLast) {
  gf_setSteadySource(&lf_steadyFollowsTicks);
  parkAtB();
  ASSERT_EQ(gActs.size(), 1u);
  ASSERT_EQ(gActs.front().phase, PHASE_PARKED);
  // Reported at B every 5 s for 10 minutes, then silent.
  std::vector<Report> reports;
  for (std::int64_t i = 0, tick = gTick.load(); i <= 120; ++i) reports.push_back(report(kStandAt, 0.0, tick + 500 * i));
  std::size_t next = 0;
  fly(70001, reports, next, reports.back().queueTick + 1);
  EXPECT_TRUE(gActs.front().reporting);
  EXPECT_TRUE(gStands[1].liveOccupied);
  const std::int64_t lastReport = reports.back().queueTick;
  fly(70001, reports, next, lastReport + 29990);
  EXPECT_TRUE(gStands[1].liveOccupied) << "silent for less than five minutes";
  fly(70001, reports, next, lastReport + 30010);
  EXPECT_FALSE(gActs.front().reporting);
  EXPECT_FALSE(gStands[1].liveOccupied);
  // A Large aircraft stays 90 minutes from its last report.
  gTick = static_cast<std::int32_t>(lastReport + 89 * 6000);
  gf_collectLiveStayers();
  EXPECT_EQ(gActs.front().state, ACT_PRESENT);
  gTick = static_cast<std::int32_t>(lastReport + 92 * 6000);
  gf_collectLiveStayers();
  EXPECT_EQ(gActs.front().state, ACT_REMOVAL_REQUESTED);
  gLiveStayers.clear();
  gf_setSteadySource(nullptr);
}

TEST_F(ScenarioPark, RollsOntoTheClaimedStandAndShutsDown) {
  std::vector<ActPhase> phases;
  double fastest = 0.0;
  LatLon previous{0, 0};
  bool shutdown = false;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> lights, configuration;
  parkAtB([&](Act& a) {
    if (phases.empty() || phases.back() != a.phase) phases.push_back(a.phase);
    const LatLon here{a.pose.latitude, a.pose.longitude};
    if (a.phase == PHASE_TAXI_TO_STAND) fastest = std::max(fastest, gf_distanceNm(previous, here) * 360000.0);
    previous = here;
    for (const EventCmd& e : motion_test::takeEvents()) {
      shutdown |= e.eventId == EV_ENGINE_AUTO_SHUTDOWN;
      if (e.eventId >= EV_BEACON_LIGHTS_SET && e.eventId <= EV_LOGO_LIGHTS_SET) lights.emplace_back(e.eventId, e.value);
      if (e.eventId == EV_THROTTLE_SET || e.eventId == EV_FLAPS_SET) configuration.emplace_back(e.eventId, e.value);
    }
  });
  const Act& a = gActs.front();
  ASSERT_GE(phases.size(), 3u);
  EXPECT_EQ(phases[phases.size() - 2], PHASE_TAXI_TO_STAND);
  EXPECT_EQ(phases.back(), PHASE_PARKED);
  EXPECT_EQ(a.standId, 2u);
  EXPECT_LE(gf_distanceNm({a.pose.latitude, a.pose.longitude}, {gStands[1].latitude, gStands[1].longitude}) * 1852.0,
            2.0);
  EXPECT_LE(std::abs(gf_angleDifference(a.pose.heading, kStandHeadingDeg * kDeg)), 0.5 * kDeg);
  EXPECT_LE(fastest, a.standSpeed * 1.05);
  EXPECT_TRUE(shutdown);
  ASSERT_GE(lights.size(), 7u);
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> parkedLights(lights.end() - 7, lights.end());
  // Nav, beacon, landing, taxi, strobes, logo, cabin.
  EXPECT_EQ(parkedLights[1], std::make_pair(EV_BEACON_LIGHTS_SET, 0u));
  EXPECT_EQ(parkedLights[5], std::make_pair(EV_LOGO_LIGHTS_SET, 1u));
  // Throttle already at 0: only the flaps are sent.
  EXPECT_EQ(configuration, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{EV_FLAPS_SET, 0u}}));
  EXPECT_TRUE(gStands[1].liveOccupied);
  ASSERT_EQ(gStands[1].options.size(), 1u);
  EXPECT_EQ(gStands[1].options[0].kind, OPTION_REAL);
  EXPECT_TRUE(gStands[1].options[0].slots.test(gf_slotOf(gf_currentSlot())));
}


TEST_F(ScenarioPushback, LeavesTheStandBackwardsOrForwards) {
  struct Row {
    const char* name;
    double standHeadingDeg;
    double bearingDeg;  // of the reports from the stand
    double trackDeg;    // their reported track while it is pushed
    bool pushed;
    double turnDeg;     // heading change of the push
  };
  const std::vector<Row> rows = {
      {"straight push-back", 30, 210, 0, true, 0},
      {"push-back turning to the reported heading", 30, 210, 120, true, 90},
      {"pull-out", 30, 30, 0, false, 0},
      {"pull-out across north", 350, 10, 0, false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    reset();
    gStands[1].heading = row.standHeadingDeg * kDeg;
    parkAtB();
    ASSERT_EQ(gActs.front().phase, PHASE_PARKED);
    const LatLon b{gStands[1].latitude, gStands[1].longitude};
    const double headingAtStand = gActs.front().pose.heading;
    bool sawPush = false, autoStart = false, leftPushSpot = false;
    double fastest = 0.0;
    LatLon previous{gActs.front().pose.latitude, gActs.front().pose.longitude};
    LatLon pushEnd{0, 0}, pullTarget{0, 0};
    double pushEndHeading = 0.0;
    ActPhase lastPhase = PHASE_PARKED;
    leaveB(row.bearingDeg, row.trackDeg, [&](Act& a) {
      const LatLon here{a.pose.latitude, a.pose.longitude};
      fastest = std::max(fastest, gf_distanceNm(previous, here) * 360000.0);
      previous = here;
      sawPush |= a.phase == PHASE_PUSHBACK;
      if (lastPhase == PHASE_PARKED && a.phase == PHASE_GROUND)
        pullTarget = {a.track.front().latitude, a.track.front().longitude};
      lastPhase = a.phase;
      for (const EventCmd& e : motion_test::takeEvents()) autoStart |= e.eventId == EV_ENGINE_AUTO_START;
      if (a.phase == PHASE_PUSHBACK_DONE && pushEnd.lat == 0) {
        pushEnd = here;
        pushEndHeading = a.pose.heading;
        EXPECT_TRUE(autoStart) << "at the end of the push";
      }
      leftPushSpot |= a.phase == PHASE_GROUND && pushEnd.lat != 0;
    });
    EXPECT_EQ(sawPush, row.pushed);
    if (!row.pushed) {
      // Forward along the stand heading by a span, at the stand speed.
      const Act& a = gActs.front();
      EXPECT_NEAR(gf_distanceNm(b, pullTarget), 2.0 * a.halfSpan, 1.0 / 1852.0);
      EXPECT_LE(std::abs(gf_angleDifference(gf_bearing(b, pullTarget), row.standHeadingDeg * kDeg)), 5.0 * kDeg);
      EXPECT_LE(fastest, a.standSpeed * 1.05);
      continue;
    }
    ASSERT_NE(pushEnd.lat, 0.0);
    EXPECT_FALSE(leftPushSpot) << "the reports stay within 2.75 half spans of where it stands";
    const double back = row.standHeadingDeg + 180.0;
    if (row.turnDeg == 0.0) {
      EXPECT_NEAR(gf_distanceNm(b, pushEnd) * 1852.0, 2.5 * kStandRadiusM, 1.0);
      EXPECT_LE(std::abs(gf_angleDifference(gf_bearing(b, pushEnd), back * kDeg)), 5.0 * kDeg);
    } else {
      EXPECT_NEAR(gf_angleDifference(headingAtStand, pushEndHeading) * RAD_TO_DEG, row.turnDeg, 10.0);
    }
    // Reports beyond six half spans let it taxi.
    Act& a = gActs.front();
    TrackPoint distant = at(metresFrom(pushEnd, back, 6.5 * a.halfSpan * 1852.0), gTick.load() + 3000, 5);
    take(a, distant);
    EXPECT_EQ(a.phase, PHASE_GROUND);
  }
}

}  // namespace

// ---- Through the scenario bed: reports to the parser, the engine's ticks and
// the stand-in's frames, the checker over the whole trace. One aircraft lands
// at the park airport, rolls out and turns off, taxies to a stop 15 m short of
// stand B and is reported standing there: it takes B, rolls onto it and shuts
// down. Its reports end, and come again from the stand: it is pushed back with
// a turn to the side its nose is reported, waits, and taxies away.

constexpr std::uint32_t kBedHexid = 0x10501;
constexpr int kBedTicksPerFrame = 3;

struct BedTick {
  ActPhase phase;
  double frontKnots;
  double headingRad;
  LatLon at;
  bool derotating;
};

TEST_F(ScenarioPark, ThroughTheBedLandsParksAndIsPushedBack) {
  const LatLon runway{50.0, 8.0};
  const auto metres = [](const LatLon& from, double bearingDeg, double m) {
    return gf_destinationPoint(from, bearingDeg * kDeg, m * kFeetPerMetre);
  };
  const auto nm = [](const LatLon& from, double bearingDeg, double n) {
    return gf_destinationPoint(from, bearingDeg * kDeg, n * 6076.11549);
  };
  const LatLon rollEnd = nm(runway, 90.0, 80.0 * 40.0 / 3600.0);
  const LatLon turnedOff = metres(rollEnd, 180.0, 100.0);
  // 39 s at 15 kt: the leg's last report comes 3 s before the next leg's first.
  const LatLon taxied = metres(turnedOff, 180.0, 15.0 * 39.0 / 3600.0 * 1852.0);
  const LatLon stop = metres(taxied, 180.0, 25.0);
  const LatLon b = metres(stop, 180.0, 15.0);
  constexpr double kBedStandHeadingDeg = 210.0;

  ScratchFolder scratch;
  testing_traffic::LogCapture log;
  const std::filesystem::path plans = gFlightPlanFolder;
  gFlightPlanFolder = scratch.path();
  doubles::setModel("A20N", 2, 0.009);
  scenario::DriverSetup setup;
  setup.ticksPerFrame = kBedTicksPerFrame;
  setup.world.createDelaySeconds = 0;
  setup.world.user.latDeg = runway.lat;
  setup.world.user.lonDeg = runway.lon - 0.05;
  setup.world.knownTitles = std::vector<std::string>{"Stand-in A320"};
  setup.world.groundElevationFt = 100.0;
  setup.user = {runway.lat, runway.lon - 0.05};
  setup.park = scenario::ParkAirport{"EDDF", runway, 100.0};
  setup.traceFile = scratch / "trace.jsonl";
  scenario::Driver driver(std::move(setup));
  gLiveryMemo[kBedHexid] = "Stand-in A320";
  addStands(b, kBedStandHeadingDeg);

  using scenario::Leg;
  scenario::FeedBuilder feed(1733652000.0, 7);
  scenario::ScriptedAircraft arrival{kBedHexid, "DLH7", "A20N", "DAIPA", "FRA", "FRA", nm(runway, 270.0, 3.0), 0, {},
                                     0, {}};
  arrival.legs = {
      Leg{{}, 90.0, 3.0, 140.0, 140.0, false, 1000.0, 100.0, 200, {}, {}},
      Leg{{}, 90.0, 80.0 * 40.0 / 3600.0, 140.0, 20.0, true, 0, 0, 200, {}, {}},
      Leg{turnedOff, 0, 0, 20.0, 15.0, true, 0, 0, 200, {}, {}},
      Leg{taxied, 0, 0, 15.0, 15.0, true, 0, 0, 300, {}, {}},
      // Reported 25 m before the stop at 3 kt, then at the stop.
      Leg{stop, 0, 0, 3.0, 3.0, true, 0, 0, 100000, {}, {}},
  };
  feed.add(arrival);
  // Reported standing at the stop (within a fraction of a metre) for two minutes.
  scenario::ScriptedAircraft standing = arrival;
  standing.start = stop;
  standing.startTick = feed.lines().back().tick + 300;
  standing.legs = {Leg{{}, 180.0, 0.3 / 1852.0, 0.005, 0.005, true, 0, 0, 300, {}, {}}};
  feed.add(standing);
  const std::int64_t standingEnd = feed.lines().back().tick;
  // Reported again from the stand a while after: pushed towards bearing 030
  // with the nose turned to 300, then taxiing away.
  scenario::ScriptedAircraft departure = arrival;
  departure.start = b;
  departure.startTick = standingEnd + 4000;
  departure.legs = {
      Leg{metres(b, 30.0, 46.0), 0, 0, 2.5, 2.5, true, 0, 0, 300, {}, 300.0},
      Leg{{}, 300.0, 150.0 / 1852.0, 10.0, 10.0, true, 0, 0, 300, {}, {}},
  };
  feed.add(departure);

  std::map<std::int64_t, BedTick> ticks;
  std::vector<ActPhase> phases;
  bool occupiedWhileReported = false;
  const std::int64_t end = feed.lines().back().tick + kUpdateDueTicks + 1500;
  while (driver.tick() < end) {
    driver.run(feed, 1);
    const Act* a = gf_findAct(kBedHexid);
    if (!a || a->state != ACT_PRESENT) continue;
    ticks[driver.tick() - 1] = {a->phase, a->track.empty() ? 0.0 : a->track.front().groundSpeed, a->pose.heading,
                                {a->pose.latitude, a->pose.longitude}, a->derotating};
    if (phases.empty() || phases.back() != a->phase) phases.push_back(a->phase);
    occupiedWhileReported |= a->phase == PHASE_PARKED && driver.tick() < standingEnd && gStands[1].liveOccupied;
  }
  const Act* a = gf_findAct(kBedHexid);
  ASSERT_NE(a, nullptr);
  const std::uint32_t derotationTicks = a->derotationTicks;
  const double standSpeed = a->standSpeed;
  driver.finish();
  if (const auto violation = scenario::gf_firstViolationKept(driver, feed, "ParkThroughTheBed"))
    ADD_FAILURE() << scenario::gf_describe(*violation);
  gFlightPlanFolder = plans;

  const auto objects = scenario::gf_tracedObjects(driver.traceFile());
  ASSERT_EQ(objects.size(), 1u);
  const auto& [objectId, object] = *objects.begin();
  const auto tickOf = [](std::int64_t frame) { return frame * kBedTicksPerFrame - 1; };
  const auto firstEvent = [&](const std::string& name, std::uint32_t value, std::int64_t after = 0) {
    for (const auto& e : object.events)
      if (e.name == name && e.value == value && tickOf(e.frame) >= after) return tickOf(e.frame);
    return std::int64_t{-1};
  };
  const auto count = [&](const std::string& name, std::uint32_t value) {
    return std::count_if(object.events.begin(), object.events.end(),
                         [&](const auto& e) { return e.name == name && e.value == value; });
  };

  // Landing: one spoiler deployment and one control set at touchdown, the nose
  // down within the derotation ticks, spoilers in and flaps 1 at 90 kt or less,
  // flaps up and the taxi light 15 degrees off the runway.
  EXPECT_EQ(count("SPOILERS_SET", 16383), 1);
  std::vector<std::vector<double>> controlSets;
  for (const auto& line : park::lf_traceEvents(driver.traceFile(), "set_data")) {
    if (line.value("define", 0) != 401 || line["id"] != objectId) continue;
    controlSets.emplace_back();
    for (const auto& [key, value] : line["values"].items()) controlSets.back().push_back(value.get<double>());
  }
  const std::vector<double> deployed{100.0, 100.0, 100.0}, retracted{0.0, 0.0, 0.0};
  ASSERT_FALSE(controlSets.empty());
  EXPECT_EQ(controlSets.front(), deployed);
  EXPECT_EQ(std::count(controlSets.begin(), controlSets.end(), deployed), 1);
  EXPECT_NE(std::find(controlSets.begin(), controlSets.end(), retracted), controlSets.end());
  const auto derotating = std::count_if(ticks.begin(), ticks.end(), [](const auto& t) { return t.second.derotating; });
  EXPECT_GT(derotating, 0);
  EXPECT_LE(derotating, static_cast<std::ptrdiff_t>(derotationTicks));
  const std::int64_t spoilersIn = firstEvent("SPOILERS_SET", 0, firstEvent("SPOILERS_SET", 16383));
  const std::int64_t flapsOne = firstEvent("FLAPS_SET", 3072, spoilersIn);
  ASSERT_GE(spoilersIn, 0);
  ASSERT_GE(flapsOne, 0);
  EXPECT_LE(ticks.at(spoilersIn).frontKnots, 90.0);
  const double runwayHeading = 90.0 * kDeg;
  const auto offRunwayDeg = [&](std::int64_t tick) {
    return std::abs(gf_angleDifference(runwayHeading, ticks.at(tick).headingRad)) * RAD_TO_DEG;
  };
  EXPECT_LT(offRunwayDeg(spoilersIn), 15.0);
  const std::int64_t flapsUp = firstEvent("FLAPS_SET", 0, flapsOne);
  const std::int64_t taxiLight = firstEvent("TAXI_LIGHTS_SET", 1, flapsUp);
  ASSERT_GE(flapsUp, 0);
  EXPECT_GE(offRunwayDeg(flapsUp), 15.0);
  EXPECT_GE(taxiLight, flapsUp);

  // Parking: the stand 15 m from the stop is found while it is reported there,
  // and the aircraft rolls onto it at the stand speed and shuts down.
  const auto phase = [&](ActPhase p) { return std::find(phases.begin(), phases.end(), p); };
  ASSERT_NE(phase(PHASE_TAXI_TO_STAND), phases.end());
  ASSERT_EQ(std::next(phase(PHASE_TAXI_TO_STAND)), phase(PHASE_PARKED));
  std::int64_t parkedAt = -1;
  double fastest = 0.0;
  for (auto it = std::next(ticks.begin()); it != ticks.end(); ++it) {
    const BedTick& before = std::prev(it)->second;
    if (it->second.phase == PHASE_TAXI_TO_STAND)
      fastest = std::max(fastest, gf_distanceNm(before.at, it->second.at) * 360000.0);
    if (it->second.phase == PHASE_PARKED && parkedAt < 0) parkedAt = it->first;
  }
  ASSERT_GE(parkedAt, 0);
  const BedTick& atStand = ticks.at(parkedAt);
  EXPECT_LE(gf_distanceNm(atStand.at, b) * 1852.0, 2.0);
  EXPECT_LE(std::abs(gf_angleDifference(atStand.headingRad, kBedStandHeadingDeg * kDeg)), 0.5 * kDeg);
  EXPECT_LE(fastest, standSpeed * 1.05);
  EXPECT_GE(firstEvent("ENGINE_AUTO_SHUTDOWN", 0, parkedAt - 1), 0);
  EXPECT_GE(firstEvent("LOGO_LIGHTS_SET", 1, parkedAt - 1), 0);
  EXPECT_GE(firstEvent("BEACON_LIGHTS_SET", 0, parkedAt - 1), 0);
  EXPECT_TRUE(occupiedWhileReported) << "B is live-occupied while it is reported standing there";
  ASSERT_EQ(gStands[1].options.size(), 1u);
  EXPECT_EQ(gStands[1].options[0].kind, OPTION_REAL);

  // Push-back: the nose turned to the reported side by about 90 degrees, the
  // engines started at its end, then standing until the reports lie far enough.
  ASSERT_NE(phase(PHASE_PUSHBACK), phases.end());
  ASSERT_EQ(std::next(phase(PHASE_PUSHBACK)), phase(PHASE_PUSHBACK_DONE));
  ASSERT_EQ(std::next(phase(PHASE_PUSHBACK_DONE)), std::prev(phases.end()));
  EXPECT_EQ(phases.back(), PHASE_GROUND);
  std::int64_t pushDone = -1;
  for (const auto& [tick, state] : ticks)
    if (state.phase == PHASE_PUSHBACK_DONE && pushDone < 0) pushDone = tick;
  EXPECT_NEAR(gf_angleDifference(atStand.headingRad, ticks.at(pushDone).headingRad) * RAD_TO_DEG, 90.0, 10.0);
  const std::int64_t started = firstEvent("ENGINE_AUTO_START", 0, pushDone - 1);
  EXPECT_GE(started, 0);
  EXPECT_LE(started, pushDone + kBedTicksPerFrame);
  EXPECT_GT(gf_distanceNm(ticks.at(pushDone).at, b), 2.0 * kStandRadiusM / 1852.0);
}
