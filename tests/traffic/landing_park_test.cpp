// Live aircraft touching down, and the reports of aircraft standing at,
// leaving or taxiing off a stand as their tracks take them in.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "airports/stand.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "engine_placement.h"
#include "link_reset.h"
#include "traffic/engine.h"
#include "traffic/commands.h"
#include "traffic/engine_hooks.h"
#include "traffic/landing.h"
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

constexpr std::int64_t kStart = 100000;
constexpr LatLon kStandAt{50.0, 8.0};

class ScenarioPark : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_reserveSimQueueRoom();
    reset();
  }
  // No aircraft, no events, stand B free.
  static void reset() {
    testing_traffic::resetEngine();
    gTick = static_cast<std::int32_t>(kStart);
    gStands.emplace_back("B", std::vector<StandOption>{}, StandPosition{kStandAt.lat, kStandAt.lon, 0.0}, 20.0, false,
                         false, false);
    gStands.back().index = 1;
    clearEvents();
  }
  void TearDown() override {
    testing_traffic::resetEngine();
    gStands.clear();
    clearEvents();
    HOLDING_THRESHOLD_METERS.value = HOLDING_THRESHOLD_METERS.defaultValue;
  }
  static void clearEvents() {
    std::lock_guard lock(gScMutex);
    gEventCmds.clear();
  }

  static TrackPoint at(const LatLon& where, std::int64_t due, double knots = 0.0, bool airborne = false) {
    TrackPoint p;
    p.latitude = where.lat;
    p.longitude = where.lon;
    p.groundSpeed = knots;
    p.airborne = airborne ? 1 : 0;
    p.altitude = airborne ? 500.0 : 0.0;
    p.dueTick = static_cast<std::uint32_t>(due);
    return p;
  }
  static LatLon metresFrom(const LatLon& from, double bearingDeg, double metres) {
    return gf_destinationPoint(from, bearingDeg * kDeg, metres * kFeetPerMetre);
  }

  // A present ground aircraft (Large, half span 20 m) with its first point.
  Act& ground(ActPhase phase, const TrackPoint& first) {
    ActBase base;
    base.key.callsign = "DLH4";
    base.key.operatorCode = "DLH";
    base.halfSpan = 20.0 / 1852.0;
    Act a(std::move(base), first, 0.0);
    lf_setCategory(a, 2);
    a.hexid = 60001;
    a.objectId = 7;
    a.state = ACT_PRESENT;
    a.onGround = true;
    a.phase = phase;
    a.pose.latitude = first.latitude;
    a.pose.longitude = first.longitude;
    gf_appendAct(std::move(a));
    return gActs.back();
  }
  // Parked at stand B, its only point the stand.
  Act& parked() {
    TrackPoint stand = at(kStandAt, kStart);
    stand.stationary = 1;
    Act& a = ground(PHASE_PARKED, stand);
    a.standId = 1;
    a.standLatitude = kStandAt.lat;
    a.standLongitude = kStandAt.lon;
    a.standHeading = 0.0;
    a.previousPhase = PHASE_TAXI_TO_STAND;
    gStands[0].liveOccupied = true;
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
};

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
         gStands[0].liveOccupied = false;  // as the point a week ahead leaves it
         for (int i = 1; i <= 6; ++i)
           take(a, at({kStandAt.lat + (i % 2) * 0.0001, kStandAt.lon - (i % 3) * 0.0001}, t + 300 * i));
         ASSERT_EQ(a.track.size(), 1u);
         EXPECT_TRUE(a.track.front().stationary);
         EXPECT_EQ(a.phase, PHASE_PARKED);
         EXPECT_FALSE(a.leaveStand);
         EXPECT_TRUE(gStands[0].liveOccupied) << "it still stands there";
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
         EXPECT_FALSE(gStands[0].liveOccupied);
         take(a, at(metresFrom(kStandAt, 0, 17), t + 1500));
         EXPECT_FALSE(gStands[0].liveOccupied) << "its stay has ended";
         reset();
         Act& b = parked();
         take(b, at(metresFrom(kStandAt, 0, 1), t + 300));
         take(b, at(metresFrom(kStandAt, 0, 20), t + 600));  // one move of 19 m: not yet
         EXPECT_FALSE(b.leaveStand);
         take(b, at(metresFrom(kStandAt, 0, 24), t + 900));  // 23 m > 20 m
         EXPECT_TRUE(b.leaveStand);
       }},
      {"a report 250 m from the stand removes a parked aircraft",
       [&] {
         Act& a = parked();
         take(a, at(metresFrom(kStandAt, 90, 250), t + 300));
         EXPECT_EQ(a.state, ACT_REMOVAL_REQUESTED);
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
           take(a, at(metresFrom(kStandAt, 0, 30), t + 200));
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

}  // namespace
