// Run-time learning of stand use: real options by visit, soft learning of
// aircraft that end their track near the park airport, and the stand look-ups.
#include <gtest/gtest.h>

#include <set>

#include "airports/apf_loading.h"
#include "airports/learned_save.h"
#include "core/clock.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "shell/run_state.h"
#include "stand_test_support.h"
#include "traffic/engine.h"
#include "traffic/stand_choice.h"
#include "traffic/stand_learning.h"

namespace {

using namespace stand_test;

std::set<std::uint32_t> slotsOf(const StandOption& option) {
  std::set<std::uint32_t> set;
  for (std::uint32_t h = 0; h < 48; ++h)
    if (option.slots.test(h)) set.insert(h);
  return set;
}

class StandLearning : public StandTest {};

TEST_F(StandLearning, RealOptionsFollowAVisit) {
  addStand("A1", {48.0, 11.0}, 20.0);
  ActBase visitor = aircraft(7, "DLH4", "D-AIBA", 2, 15.0);
  ActBase sameRegistration = aircraft(8, "DLH9", "D-AIBA", 2, 15.0);
  ActBase anonymous = aircraft(9, "DLH5", "", 2, 15.0);
  ActBase noCallsign = aircraft(10, "", "D-AIBC", 2, 15.0);
  const struct {
    const char* what;
    const ActBase* who;
    std::uint32_t weekday;
    std::uint32_t halfHour;
    int changed;
    // Slots of the stand's options (by id) afterwards.
    std::vector<std::set<std::uint32_t>> slots;
  } rows[] = {
      {"first park", &visitor, 1, 20, 1, {{20}}},
      {"three later fills the gap", &visitor, 1, 23, 1, {{20, 21, 22, 23}}},
      {"same slot again", &visitor, 1, 23, 0, {{20, 21, 22, 23}}},
      {"seven later marks itself alone", &visitor, 1, 30, 1, {{20, 21, 22, 23, 30}}},
      {"the stay goes on from there", &visitor, 1, 32, 1, {{20, 21, 22, 23, 30, 31, 32}}},
      {"no registration", &anonymous, 1, 33, 0, {{20, 21, 22, 23, 30, 31, 32}}},
      {"no callsign", &noCallsign, 1, 33, 0, {{20, 21, 22, 23, 30, 31, 32}}},
      {"Sunday evening opens a Sunday option", &sameRegistration, 7, 46, 1,
       {{20, 21, 22, 23, 30, 31, 32}, {46}}},
      {"after midnight: 47 in Sunday's, 0 and 1 in Monday's", &sameRegistration, 1, 1, 1,
       {{0, 1, 20, 21, 22, 23, 30, 31, 32}, {46, 47}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    setClock(row.weekday, row.halfHour);
    const std::int32_t updates = gStandUpdateCount.load();
    EXPECT_EQ(lf_addRealOption(1, *row.who, 1, gf_currentSlot(), 0), row.changed);
    EXPECT_EQ(gStandUpdateCount.load(), updates + row.changed);
    const auto& options = gStands[0].options;
    ASSERT_EQ(options.size(), row.slots.size());
    for (std::size_t i = 0; i < options.size(); ++i) EXPECT_EQ(slotsOf(options[i]), row.slots[i]) << i;
  }
  EXPECT_EQ(gStands[0].options[0].secondCallsign, "DLH9");  // the Monday half-hours after midnight carry it
  EXPECT_EQ(gAppState.updateCount.load(), gStandUpdateCount.load());

  // Archived options are the file's: nothing is learned into them.
  gStands[0].options[0].archived = 1;
  EXPECT_EQ(lf_addRealOption(1, visitor, 1, gf_makeDaySlot(1, 40), 0), 0);
  EXPECT_FALSE(gStands[0].options[0].slots.test(40));
  // Leaving ends the visit: the next count opens no gap.
  lf_addRealOption(1, sameRegistration, 1, gf_makeDaySlot(7, 10), 1);
  EXPECT_FALSE(gStands[0].realVisits.contains(sameRegistration.hexid));
}

TEST_F(StandLearning, SoftLearningOnlyNearTheParkAirportAndNotTooOften) {
  const LatLon airport{48.0, 11.0};
  setParkAirport("KXYZ", airport);
  addStand("G1", airport, 25.0);
  const struct {
    const char* what;
    bool learnSoft;
    bool allowed;
    const char* park;
    double distanceNm;
    bool onGround;
    double agl;
    bool teaches;
  } rows[] = {
      {"on the ground nearby", true, true, "KXYZ", 1.0, true, 0.0, true},
      {"LEARN_SOFT off", false, true, "KXYZ", 1.0, true, 0.0, false},
      {"not allowed at this airport", true, false, "KXYZ", 1.0, true, 0.0, false},
      {"no park airport", true, true, "", 1.0, true, 0.0, false},
      {"vanishes 6 nm out", true, true, "KXYZ", 6.0, true, 0.0, false},
      {"airborne at 3000 ft", true, true, "KXYZ", 1.0, false, 3000.0, false},
      {"airborne at 2000 ft", true, true, "KXYZ", 1.0, false, 2000.0, true},
  };
  std::uint32_t hexid = 100;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    gStands[0].options.clear();
    LEARN_SOFT.value = row.learnSoft;
    gSoftLearningAllowed = row.allowed;
    gEngineParkAirport.code = row.park;
    setClock(2, 20);
    Act live = liveAircraft(++hexid, gf_destinationPoint(airport, 1.0, row.distanceNm * 6076.12));
    live.agl = row.agl;
    lf_pickStandForAct(live, row.onGround);
    ASSERT_EQ(gStands[0].options.size(), row.teaches ? 1u : 0u);
    if (row.teaches) {
      EXPECT_EQ(gStands[0].options[0].kind, OPTION_SOFT);
    }
  }

  // One aircraft teaches once per three half-hours.
  gStands[0].options.clear();
  Act live = liveAircraft(500, airport);
  for (const auto& [halfHour, slots] : std::vector<std::pair<std::uint32_t, std::set<std::uint32_t>>>{
           {20, {20}}, {21, {20}}, {22, {20}}, {23, {20, 23}}}) {
    setClock(3, halfHour);
    lf_pickStandForAct(live, true);
    ASSERT_EQ(gStands[0].options.size(), 1u);
    EXPECT_EQ(slotsOf(gStands[0].options[0]), slots) << halfHour;
  }
  EXPECT_FALSE(gf_recordLearnedSlot(gf_makeDaySlot(3, 24), 500, false));
  EXPECT_TRUE(gf_recordLearnedSlot(gf_makeDaySlot(3, 24), 500, true));
  EXPECT_TRUE(gf_recordLearnedSlot(gf_makeDaySlot(3, 24), 501, false));  // a new aircraft
}

TEST_F(StandLearning, StandNameAtPosition) {
  const LatLon airport{48.0, 11.0};
  addStand("A1", airport, 20.0);
  addStand("A2", gf_destinationPoint(airport, 0.0, 30.0 / 0.3048), 20.0);
  const LatLon nearA2 = gf_destinationPoint(airport, 0.0, 40.0 / 0.3048);
  const LatLon distant = gf_destinationPoint(airport, PI, 60.0 / 0.3048);
  gUserOnGround = true;
  EXPECT_EQ(gf_nearestStandName(airport.lat, airport.lon), "A1");
  EXPECT_EQ(gf_nearestStandName(nearA2.lat, nearA2.lon), "A2");
  EXPECT_EQ(gf_nearestStandName(distant.lat, distant.lon), "");
  gUserOnGround = false;
  EXPECT_EQ(gf_nearestStandName(airport.lat, airport.lon), "");
  gUserOnGround = true;

  // Another park airport: the same position names its stand, not the old one's.
  EXPECT_EQ(gf_nearestStandName(airport.lat, airport.lon), "A1");
  gf_resetTraffic();
  addStand("B7", airport, 20.0);
  EXPECT_EQ(gf_nearestStandName(airport.lat, airport.lon), "B7");

  // Static parking's marks: the stand taken, its neighbours next to it.
  addStand("B8", gf_destinationPoint(airport, 0.0, 20.0 / 0.3048), 20.0);
  gStands[0].adjacent = {2};
  gf_markOptionStands(*gf_findStand("B7"));
  EXPECT_TRUE(gStands[0].taken);
  EXPECT_TRUE(gStands[1].nextToTaken);
  EXPECT_EQ(gf_findStand("Z9"), gStands.end());
}

}  // namespace
