// Live aircraft on the ground through the engine's motion pass: the take-off
// roll, rotation and lift-off; taxi corners, reversals and slow legs; tracks
// and turns across north and across +-180.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "airports/stand.h"
#include "core/format.h"
#include "motion_support.h"
#include "scenario_driver.h"
#include "test_support.h"
#include "traffic/arbitration.h"
#include "traffic/flight_plans.h"
#include "traffic/sim_ids.h"

namespace {

using namespace motion_test;

using ScenarioTakeOff = Flight;
using ScenarioTaxi = Flight;

constexpr double kFeetPerNm = 6076.11549;

Act groundAct(std::uint32_t hexid, AircraftCategory category, const TrackPoint& first, double headingDeg) {
  Act a = presentAct(hexid, category, first, headingDeg * kDeg);
  const CategoryPerformance& row = gf_categoryPerformance(category);
  a.rotationTicks = row.rotationTicks;
  a.pitchUpTicks = row.pitchUpTicks;
  a.rotationPitch = row.rotationPitchDegrees * kDeg;
  a.climbPitch = row.climbPitchDegrees * kDeg;
  a.standSpeed = row.standSpeed;
  a.groundPitch = 0.5 * kDeg;
  a.pose.pitch = a.groundPitch;
  a.phase = PHASE_GROUND;
  a.onGround = true;
  return a;
}

TrackPoint groundPoint(LatLon at, double knots, std::int64_t due) {
  TrackPoint p;
  p.latitude = at.lat;
  p.longitude = at.lon;
  p.groundSpeed = p.trueAirspeed = knots;
  p.dueTick = static_cast<std::uint32_t>(due);
  return p;
}

// The scenario bed near a park airport without stands: reports through the
// parser, creation, the engine's ticks and the stand-in's frames.
scenario::DriverSetup bedSetup(const std::filesystem::path& trace, LatLon park, double elevationFt = 0.0) {
  doubles::setModel("A20N", 2, 0.009);
  scenario::DriverSetup setup;
  setup.ticksPerFrame = 2;
  setup.world.createDelaySeconds = 0;
  setup.world.user.latDeg = park.lat;
  setup.world.user.lonDeg = park.lon;
  setup.world.knownTitles = std::vector<std::string>{"Known Livery"};
  setup.user = park;
  setup.park = scenario::ParkAirport{"EHAM", park, elevationFt};
  setup.world.groundElevationFt = elevationFt;
  setup.traceFile = trace;
  return setup;
}

constexpr LatLon kBedPark{52.3, 4.76};

// One aircraft's run through the bed, with the livery it is created with.
struct BedRun {
  BedRun(const char* trace, std::uint64_t seed, scenario::ScriptedAircraft aircraft)
      : BedRun(trace, seed, aircraft.hexid, kBedPark, 0.0) {
    feed.add(aircraft);
  }
  // Recorded lines of one aircraft at an airport of that elevation.
  BedRun(const char* trace, const std::vector<std::string>& lines, std::uint32_t hexid, LatLon park,
         double elevationFt)
      : BedRun(trace, 1, hexid, park, elevationFt) {
    feed.addRecorded(lines, 100);
  }
  BedRun(const char* trace, std::uint64_t seed, std::uint32_t hexid, LatLon park, double elevationFt)
      : driver(bedSetup(scratch / trace, park, elevationFt)), feed(1733652000.0, seed), hexid(hexid) {
    gFlightPlanFolder = scratch.path();  // its flight plan is written there
    gLiveryMemo[hexid] = "Known Livery";
  }
  ~BedRun() { gFlightPlanFolder = savedPlanFolder; }
  // Runs tick by tick to the end of the last report, showing each tick's present aircraft.
  void run(const std::function<void(const Act&)>& each) {
    const std::int64_t end = feed.reported().back().tick + kUpdateDueTicks + 300;
    while (driver.tick() < end) {
      driver.run(feed, 1);
      if (const Act* a = gf_findAct(hexid); a && a->state == ACT_PRESENT) each(*a);
    }
  }
  void expectCheckerPasses(const std::string& name) {
    driver.finish();
    if (const auto violation = scenario::gf_firstViolationKept(driver, feed, name))
      ADD_FAILURE() << scenario::gf_describe(*violation);
  }

  std::filesystem::path savedPlanFolder = gFlightPlanFolder;
  ScratchFolder scratch;
  testing_traffic::LogCapture log;
  scenario::Driver driver;
  scenario::FeedBuilder feed;
  std::uint32_t hexid;
};

// One report a second: 0 to 160 kt over 40 s on the runway, then 2000 ft/min;
// the first `stillOnGround` climbing reports keep the on-ground flag.
std::vector<Report> takeOffReports(int stillOnGround = 0) {
  std::vector<Report> reports;
  LatLon at{50.0, 8.0};
  double knots = 0.0, altitude = 0.0;
  for (int s = 0; s <= 100; ++s) {
    const bool climbing = s > 40;
    const double next = climbing ? 160.0 : 4.0 * s;
    at = gf_destinationPoint(at, 90.0 * kDeg, (knots + next) / 2.0 / 3600.0 * kFeetPerNm);
    knots = next;
    if (climbing) altitude += 2000.0 / 60.0;
    TrackPoint p = groundPoint(at, knots, kStart + 100 * s + kUpdateDueTicks);
    p.altitude = altitude;
    p.airborne = climbing && s > 40 + stillOnGround ? 1 : 0;
    p.verticalSpeed = climbing ? 2000.0 : 0.0;
    reports.push_back({kStart + 100 * s, p});
  }
  return reports;
}

TEST_F(ScenarioTakeOff, RollsRotatesAndClimbsOut) {
  const std::vector<Report> reports = takeOffReports();
  Act& first = add(groundAct(0x10101, 2, reports[0].point, 90.0));
  lf_prepareTakeOff(first);  // as the intake does when the roll begins
  takeEvents();
  std::size_t next = 1;
  std::vector<std::uint32_t> throttles;
  std::vector<double> throttleSpeeds;  // the speed reported ahead when each throttle was set
  std::int64_t liftOff = 0, gearUp = 0, airborne = 0;
  double pitch0 = 0.0, prevPitch = 0.0, prevAltitude = 0.0;
  int rotationTicks = 0, climbTicks = 0;
  fly(0x10101, reports, next, kStart + 100 * 100 + kUpdateDueTicks, [&](Act& a) {
    a.agl = a.pose.altitude;  // the simulator's report, every tick here
    const std::int64_t tick = gTick.load();
    for (const EventCmd& e : takeEvents()) {
      if (e.eventId == EV_THROTTLE_SET) throttles.push_back(e.value), throttleSpeeds.push_back(a.targetTas);
      if (e.eventId == EV_GEAR_SET && e.value == 0) gearUp = tick;
    }
    if (a.phase == PHASE_LIFTOFF && liftOff == 0) {
      liftOff = tick;
      pitch0 = a.groundPitch;
    }
    if (liftOff == 0) {
      EXPECT_EQ(a.pose.pitch, a.groundPitch) << "tick " << tick;
    } else if (a.phase == PHASE_LIFTOFF) {
      const std::int32_t count = a.rotationCountdown;  // after this tick's step
      if (count >= 1) {
        EXPECT_NEAR(a.pose.pitch - prevPitch, (a.rotationPitch - pitch0) / a.rotationTicks, 1e-12);
        EXPECT_EQ(a.pose.altitude, prevAltitude);
        ++rotationTicks;
      } else if (count > -300) {
        const double share = count >= -99 ? 10.0 : count >= -199 ? 5.0 : 2.0;
        EXPECT_NEAR(a.pose.altitude - prevAltitude, a.altStep / share, 1e-9) << "count " << count;
        ++climbTicks;
      }
    }
    if (a.phase == PHASE_AIRBORNE && airborne == 0) {
      airborne = tick;
      EXPECT_GE(a.agl, 800.0);
      EXPECT_LE(a.pose.pitch, a.climbPitch);
      ASSERT_FALSE(throttles.empty());
      EXPECT_EQ(throttles.back(), 11468u);
    }
    prevPitch = a.pose.pitch;
    prevAltitude = a.pose.altitude;
  });
  ASSERT_GT(liftOff, 0);
  EXPECT_EQ(rotationTicks, static_cast<int>(gActs.front().rotationTicks) - 1);
  EXPECT_EQ(climbTicks, 300);
  EXPECT_NEAR(gearUp, liftOff + gActs.front().rotationTicks + 300, 1);
  EXPECT_GT(airborne, gearUp);
  const std::vector<std::uint32_t> expected{4914, 8191, 16383, 11468};
  EXPECT_EQ(throttles, expected);
  // Each roll throttle rose only once the speed ahead had passed its threshold.
  for (std::size_t i = 0; i < 3 && i < throttleSpeeds.size(); ++i)
    EXPECT_GE(throttleSpeeds[i], 15.0 + 5.0 * i) << "throttle " << throttles[i];
}

TEST_F(ScenarioTakeOff, ClimbsOutWhenTheFirstClimbingReportsStillSayOnTheGround) {
  // The first airborne report replaces those before it as the segment's end; the
  // deque's blocks hold five points, so each shift puts the track elsewhere in them.
  const std::vector<Report> reports = takeOffReports(3);
  for (int shift = 0; shift < 5; ++shift) {
    SCOPED_TRACE(shift);
    testing_traffic::resetEngine();
    gTick = static_cast<std::int32_t>(kStart);
    Act& first = add(groundAct(0x10103, 2, reports[0].point, 90.0));
    for (int i = 0; i < shift; ++i) {
      first.track.push_back(first.track.front());
      first.track.pop_front();
    }
    lf_prepareTakeOff(first);
    std::size_t next = 1;
    // The nose never comes down past the attitude of the reported 2000 ft/min.
    const double climbPitch = -3.0 * kDeg - 2000.0 / 600.0 * 2.2 * kDeg;
    double lowestStep = 0.0, highestPitch = -PI;
    fly(0x10103, reports, next, reports.back().point.dueTick, [&](Act& a) {
      a.agl = a.pose.altitude;
      if (a.onGround) return;
      lowestStep = std::min(lowestStep, a.altStep);
      if (a.phase == PHASE_AIRBORNE) highestPitch = std::max(highestPitch, a.pose.pitch);
    });
    ASSERT_EQ(gActs.size(), 1u);
    EXPECT_EQ(gActs.front().phase, PHASE_AIRBORNE);
    EXPECT_GE(lowestStep, 0.0) << "it never sinks";
    EXPECT_LE(highestPitch, climbPitch + 1e-9);
    EXPECT_NEAR(gActs.front().pose.altitude, reports.back().point.altitude, 100.0);
  }
}

TEST_F(ScenarioTakeOff, LiftsOffOnlyFromFortyThreeKnots) {
  // The front point's speed against reports that all climb (or are all fast and airborne).
  struct Case {
    double frontKnots;
    double verticalSpeed;
    double aheadKnots;
    bool liftOff;
  };
  const Case cases[] = {
      {42.0, 1000.0, 160.0, false}, {43.0, 1000.0, 60.0, true}, {43.0, 0.0, 139.0, false},
      {43.0, 0.0, 140.0, true},     {100.0, 256.0, 100.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frontKnots + c.verticalSpeed + c.aheadKnots);
    testing_traffic::resetEngine();
    gTick = static_cast<std::int32_t>(kStart);
    Act& a = add(groundAct(0x10102, 2, groundPoint({50.0, 8.0}, c.frontKnots, kStart), 90.0));
    a.takeOffRoll = true;
    for (int i = 1; i <= 3; ++i) {
      TrackPoint p = groundPoint({50.0, 8.0 + 0.001 * i}, c.aheadKnots, kStart + 100 * i);
      p.airborne = 1;
      p.altitude = 50.0 * i;
      p.verticalSpeed = c.verticalSpeed;
      a.track.push_back(p);
    }
    lf_groundConfig(a);
    EXPECT_EQ(a.phase == PHASE_LIFTOFF, c.liftOff);
  }
}

TEST_F(ScenarioTakeOff, ThroughTheBedTheRunPassesTheChecker) {
  scenario::ScriptedAircraft departure{50201, "KLM201", "A20N", "", "AMS", "LHR", kBedPark, 0, {}, 0, {}};
  departure.legs.push_back({{}, 90.0, 80.0 * 40.0 / 3600.0, 0.0, 160.0, true, 0, 0, 100, {}, {}});
  departure.legs.push_back({{}, 90.0, 160.0 * 60.0 / 3600.0, 160.0, 160.0, false, 30, 2030, 100, {}, {}});
  BedRun bed("takeoff.jsonl", 6, departure);
  bool rolled = false, climbedOut = false;
  bed.run([&](const Act& a) {
    rolled = rolled || a.takeOffRoll;
    climbedOut = climbedOut || a.phase == PHASE_AIRBORNE;
  });
  EXPECT_TRUE(rolled);
  EXPECT_TRUE(climbedOut);
  bed.expectCheckerPasses("TakeOffThroughTheBed");
}

// A real departure, from its first line or first seen at 98 kt (its 19th): created
// on the ground where it was first reported, it rolls and leaves the ground past its
// first report climbing faster than 256 ft/min (59.651321 N) and within 500 m past
// its first airborne one (150 ft, 59.656723 N; the runway runs north).
TEST_F(ScenarioTakeOff, ARecordedDepartureRollsFromWhereItIsFirstSeenAndLiftsOffWhereItsReportsClimb) {
  const auto all = fileLines(std::filesystem::path(SKLM_TEST_DATA_DIR) / "traffic" / "essa_20210824_0945_SAS69E_departure.txt");
  constexpr double kFieldFt = 137.0, kClimbLat = 59.651321, kAirborneLat = 59.656723;
  for (const std::size_t from : {0, 18}) {
    SCOPED_TRACE(from);
    const std::vector<std::string> lines(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    BedRun bed("sas69e.jsonl", lines, 4901349, {59.651944, 17.95}, kFieldFt);
    const scenario::ReportedPoint first = bed.feed.reported().front();
    std::optional<LatLon> created, leftGround;
    bed.run([&](const Act& a) {
      if (!created) {
        created = LatLon{a.pose.latitude, a.pose.longitude};
        EXPECT_TRUE(a.onGround);
      }
      if (!leftGround && a.pose.altitude > kFieldFt + 25.0) leftGround = LatLon{a.pose.latitude, a.pose.longitude};
    });
    ASSERT_TRUE(created && leftGround);
    EXPECT_LT(gf_distanceNm(*created, {first.lat, first.lon}) * 1852.0, 30.0);
    EXPECT_GT(leftGround->lat, kClimbLat);
    EXPECT_LT(gf_distanceNm(*leftGround, {kAirborneLat, leftGround->lon}) * 1852.0, 500.0);
    EXPECT_TRUE(bed.log.contains("===> SAS69E   took-off"));
    bed.expectCheckerPasses("RecordedDeparture");
  }
}

// First seen in its roll at 100 kt (a landing roll, by its speed), its reports
// pausing for 40 s, then back airborne: the touch-and-go takes off, and no longer
// brakes to the speed of the point before each report.
TEST_F(ScenarioTakeOff, ATakeOffRollFirstSeenAtSpeedLiftsOffAfterAGapInItsReports) {
  scenario::ScriptedAircraft departure{50203, "KLM203", "A20N", "", "AMS", "LHR", kBedPark, 0, {}, 0, {{3000, 7000}}};
  departure.legs.push_back({{}, 90.0, 120.0 * 40.0 / 3600.0, 100.0, 140.0, true, 0, 0, 100, {}, {}});
  departure.legs.push_back({{}, 90.0, 150.0 * 60.0 / 3600.0, 140.0, 160.0, false, 30, 2030, 100, {}, {}});
  BedRun bed("touchandgo.jsonl", 8, departure);
  bool rolledOut = false;
  std::int64_t liftOff = 0;
  bed.run([&](const Act& a) {
    rolledOut = rolledOut || a.landingRoll;
    if (!liftOff && a.phase == PHASE_LIFTOFF) liftOff = gTick.load();
  });
  EXPECT_TRUE(rolledOut);
  // Its first report after the gap, airborne, is due at tick 10000.
  EXPECT_GT(liftOff, 0);
  EXPECT_LT(liftOff, 11000);
  EXPECT_TRUE(bed.log.contains("===> KLM203   took-off"));
  bed.expectCheckerPasses("TouchAndGoAfterAGap");
}

// A 15-kt taxi reported every 3 s with one report 80 m to the side: its two legs
// show 54 kt, which the reports never say. It taxies on, no take-off roll.
TEST_F(ScenarioTakeOff, OneOutlyingReportInATaxiStartsNoTakeOffRoll) {
  scenario::ScriptedAircraft taxi{50204, "KLM204", "A20N", "", "AMS", "LHR", kBedPark, 0, {}, 0, {}};
  taxi.legs.push_back({{}, 0.0, 15.0 * 60.0 / 3600.0, 15.0, 15.0, true, 0, 0, 300, {}, {}});
  scenario::FeedBuilder script(1733652000.0, 1);
  script.add(taxi);
  std::vector<std::string> lines;
  for (const scenario::FeedLine& line : script.lines()) lines.push_back(line.text);
  // The 10th report's longitude, 80 m east.
  std::vector<std::string> fields;
  for (std::size_t at = 0, comma = 0; comma != std::string::npos; at = comma + 1)
    fields.push_back(lines[9].substr(at, (comma = lines[9].find(',', at)) - at));
  fields[3] = sk::format("{:.6f}", std::stod(fields[3]) + 80.0 / (111195.0 * std::cos(kBedPark.lat * kDeg)));
  lines[9].clear();
  for (const std::string& field : fields) lines[9] += (lines[9].empty() ? "" : ",") + field;
  BedRun bed("outlier.jsonl", lines, 50204, kBedPark, 0.0);
  bool rolled = false;
  bed.run([&](const Act& a) { rolled = rolled || a.takeOffRoll || !a.onGround; });
  EXPECT_FALSE(rolled);
  bed.expectCheckerPasses("OutlierInATaxi");
}

TEST_F(ScenarioTaxi, CutsACornerWithACurve) {
  // A report every 3 s: 23 m apart, beyond the stop test's fold of nearby reports.
  const auto reports = legs({50.0, 8.0}, 15.0, 0.0, 300, {{90.0, 13}, {180.0, 13}});
  add(groundAct(0x10201, 2, reports[0].point, 90.0));
  std::size_t next = 1;
  double worstOff = 0.0, worstTurn = 0.0, prevHeading = 90.0 * kDeg;
  bool curved = false;
  const double scaledLimit = 3.0 * gf_categoryPerformance(2).turnRate;  // the most a turn is sped up
  fly(0x10201, reports, next, reports.back().point.dueTick + 500, [&](Act& a) {
    worstOff = std::max(worstOff, offTrack({a.pose.latitude, a.pose.longitude}, reports));
    worstTurn = std::max(worstTurn, std::abs(gf_angleDifference(prevHeading, a.pose.heading)));
    prevHeading = a.pose.heading;
    curved = curved || !std::isnan(a.curveControlEast);
  });
  EXPECT_TRUE(curved);
  EXPECT_LE(worstOff * 1852.0, 30.0);
  EXPECT_LE(worstTurn, scaledLimit + 1e-12);
  ASSERT_FALSE(gActs.empty());
  EXPECT_LT(std::abs(gf_angleDifference(gActs.front().pose.heading, 180.0 * kDeg)), 1.0 * kDeg);
}

TEST_F(ScenarioTaxi, ThroughTheBedTheCornerRunPassesTheChecker) {
  const LatLon start = gf_destinationPoint(kBedPark, 0.0, 0.5 * kFeetPerNm);
  scenario::ScriptedAircraft taxi{50101, "KLM101", "A20N", "", "AMS", "LHR", start, 0, {}, 0, {}};
  const double legNm = 300.0 / 1852.0;
  taxi.legs.push_back({{}, 90.0, legNm, 15.0, 15.0, true, 0, 0, 300, {}, {}});
  taxi.legs.push_back({{}, 180.0, legNm, 15.0, 15.0, true, 0, 0, 300, {}, {}});
  BedRun bed("taxi.jsonl", 5, taxi);
  bool curved = false;
  bed.run([&](const Act& a) { curved = curved || !std::isnan(a.curveControlEast); });
  EXPECT_TRUE(curved);
  const Act* a = gf_findAct(taxi.hexid);
  ASSERT_NE(a, nullptr);
  const scenario::ReportedPoint& last = bed.feed.reported().back();
  EXPECT_LT(gf_distanceNm({a->pose.latitude, a->pose.longitude}, {last.lat, last.lon}) * 1852.0, 2.0);
  bed.expectCheckerPasses("TaxiCornerThroughTheBed");
}

TEST_F(ScenarioTaxi, ShapesTheLegBeforeATurn) {
  // A first leg east, then a turn; the first leg's length, duration and front speed.
  struct Case {
    const char* name;
    double legMetres;
    std::int64_t legTicks;
    double frontKnots;
    double turnDeg;
    std::size_t pointsAfter;  // 4: a midpoint; 2: a curve (the corner erased); 3: unchanged
  };
  const Case cases[] = {
      {"a slow 60 m leg of 6 s before 90 degrees gets a midpoint", 60.0, 600, 15.0, 90.0, 4},
      {"a leg under 6 s is curved instead", 60.0, 599, 15.0, 90.0, 2},
      {"a leg of 49 m is curved instead", 49.0, 700, 15.0, 90.0, 2},
      {"above 43 kt it is curved instead", 60.0, 700, 44.0, 90.0, 2},
      {"above 43 kt a turn of 20 degrees is a runway's scatter: no curve", 60.0, 700, 44.0, 20.0, 3},
      {"a turn of 44 degrees is curved", 60.0, 700, 15.0, 44.0, 2},
      {"a reversal of 170 degrees gets no curve", 49.0, 700, 15.0, 170.0, 3},
      {"a slow 60 m leg of 7 s before a reversal of 170 degrees gets a midpoint", 60.0, 700, 15.0, 170.0, 4},
      {"a turn of 2.5 degrees gets no curve", 60.0, 700, 15.0, 2.5, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_traffic::resetEngine();
    gTick = static_cast<std::int32_t>(kStart);
    const LatLon start{50.0, 8.0};
    const LatLon corner = gf_destinationPoint(start, 90.0 * kDeg, c.legMetres / 0.3048);
    const LatLon end = gf_destinationPoint(corner, (90.0 + c.turnDeg) * kDeg, 200.0 / 0.3048);
    Act& a = add(groundAct(0x10202, 2, groundPoint(start, c.frontKnots, kStart), 90.0));
    a.track.push_back(groundPoint(corner, c.frontKnots, kStart + c.legTicks));
    a.track.push_back(groundPoint(end, c.frontKnots, kStart + c.legTicks + 2000));
    lf_planGroundSegment(a);
    EXPECT_EQ(a.track.size(), c.pointsAfter);
    EXPECT_EQ(!std::isnan(a.curveControlEast), c.pointsAfter == 2);
    if (c.pointsAfter == 4) {
      EXPECT_NEAR(gf_distanceNm(start, {a.track[1].latitude, a.track[1].longitude}) * 1852.0, c.legMetres / 2.0,
                  0.1);
    }
  }
}

TEST_F(ScenarioTaxi, AnglesAcrossNorth) {
  // 359 to 1 degrees is a turn of 2, not 358: no turn is started.
  Act& a = add(groundAct(0x10301, 2, groundPoint({50.0, 8.0}, 15.0, kStart), 359.0));
  a.track.push_back(groundPoint(gf_destinationPoint({50.0, 8.0}, 1.0 * kDeg, 300.0), 15.0, kStart + 600));
  a.targetHeading = 1.0 * kDeg;
  lf_planGroundSegment(a);
  EXPECT_NEAR(a.turnDeg, 2.0, 1e-9);
  EXPECT_FALSE(a.turnNeeded);
  // Leaving a stand of heading 350: reports less than 90 degrees off it (bearing 010, 261) pull
  // out, others (190, 259) push back.
  for (const auto& [bearing, phase] : {std::pair{10.0, PHASE_GROUND}, std::pair{190.0, PHASE_PUSHBACK},
                                       std::pair{259.0, PHASE_PUSHBACK}, std::pair{261.0, PHASE_GROUND}}) {
    SCOPED_TRACE(bearing);
    testing_traffic::resetEngine();
    gStands.clear();
    gStands.emplace_back("B1", std::vector<StandOption>{}, StandPosition{50.0, 8.0, 350.0 * kDeg}, 20.0, false,
                         false, false);
    gStands.back().index = 1;
    TrackPoint parked = groundPoint({50.0, 8.0}, 0.0, kStart);
    parked.stationary = 1;
    Act& p = add(groundAct(0x10302, 2, parked, 350.0));
    p.phase = PHASE_PARKED;
    p.standId = 1;
    p.standLatitude = 50.0;
    p.standLongitude = 8.0;
    p.standHeading = 350.0 * kDeg;
    p.halfSpan = 0.01;
    p.leaveStand = true;
    p.track.push_back(groundPoint(gf_destinationPoint({50.0, 8.0}, bearing * kDeg, 200.0), 5.0, kStart + 3000));
    lf_planGroundSegment(p);
    EXPECT_EQ(p.phase, phase);
  }
  gStands.clear();
}

TEST_F(ScenarioTaxi, Antimeridian) {
  const TrackPoint east = groundPoint({-17.0, 179.999}, 15.0, kStart);
  const TrackPoint west = groundPoint({-17.0, -179.999}, 15.0, kStart + 100);
  Act& a = add(groundAct(0x10401, 2, east, 90.0));
  a.track.push_back(west);
  lf_insertMidpoint(a);
  ASSERT_EQ(a.track.size(), 3u);
  EXPECT_NEAR(std::abs(a.track[1].longitude), 180.0, 1e-9);
  // A curve from 179.9995E through 179.9995W to 179.999W: offsets of metres, not of the Earth.
  a.track.clear();
  a.pose.longitude = 179.9995;
  a.track.push_back(groundPoint({-17.0, 179.9995}, 15.0, kStart));
  a.track.push_back(groundPoint({-17.0, -179.9995}, 15.0, kStart + 100));
  a.track.push_back(groundPoint({-17.001, -179.999}, 15.0, kStart + 200));
  lf_startGroundCurve(a);
  EXPECT_LT(std::abs(a.curveControlEast), 1000.0);
  EXPECT_LT(std::abs(a.curveEndEast), 1000.0);
  EXPECT_GT(a.curveEndEast, 0.0);
}

}  // namespace
