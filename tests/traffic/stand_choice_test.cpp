// Stand choice from the learned use: a free stand for a stopped aircraft, the
// recursive search, the plans of static parking and the counts.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "core/random.h"
#include "stand_test_support.h"
#include "traffic/stand_choice.h"

namespace {

using namespace stand_test;

class StandChoice : public StandTest {};

LatLon metresFrom(const LatLon& from, double metres, double bearing = 0.0) {
  return gf_destinationPoint(from, bearing, metres / 0.3048);
}

TEST_F(StandChoice, FreeStandNearFitsOrGrowsAStand) {
  const LatLon stand{48.0, 11.0};
  const struct {
    const char* what;
    double excessMetres;  // half span over the stand's radius
    double distanceMetres;
    double searchMetres;
    bool acceptLearned;
    AircraftCategory category;
    bool heliStand;
    bool found;
    bool grows;
  } rows[] = {
      {"1.7 m too wide, 50 m away", 1.7, 50.0, 55.0, false, 2, false, true, false},
      {"2.0 m too wide, 50 m away", 2.0, 50.0, 55.0, false, 2, false, false, false},
      {"2.0 m too wide, 15 m away", 2.0, 15.0, 55.0, false, 2, false, true, true},
      {"beyond the search, learned match", 0.0, 60.0, 20.0, true, 2, false, true, false},
      {"beyond the search, no learned match asked", 0.0, 60.0, 20.0, false, 2, false, false, false},
      {"learned match beyond 85 m", 0.0, 90.0, 20.0, true, 2, false, false, false},
      {"helicopter at an aeroplane stand", 0.0, 10.0, 55.0, false, 5, false, false, false},
      {"aeroplane at a helicopter stand", 0.0, 10.0, 55.0, false, 2, true, false, false},
      {"helicopter at a helicopter stand", 0.0, 10.0, 55.0, false, 5, true, true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    gStands.clear();
    Stand& only = addStand("S1", stand, 20.0, false, false, row.heliStand);
    only.options.push_back(option(1, 1, 10, "D-AIBA", "DLH4"));
    const ActBase who = aircraft(1, "DLH4", "D-AIBA", row.category, 20.0 + row.excessMetres);
    const std::int32_t updates = gStandUpdateCount.load();
    const auto chosen =
        lf_freeStandNear(metresFrom(stand, row.distanceMetres), who, row.searchMetres * NM_PER_METRE, row.acceptLearned);
    ASSERT_EQ(chosen != gStands.end(), row.found);
    EXPECT_EQ(gStands[0].radiusChanged, row.grows);
    EXPECT_EQ(gStandUpdateCount.load(), updates + (row.grows ? 1 : 0));
    if (row.grows) {
      EXPECT_NEAR(gStands[0].radius, who.halfSpan - NM_PER_METRE, 1e-12);
    }
  }
  // An occupied stand is passed over for the next free one.
  gStands.clear();
  addStand("S1", stand, 20.0).liveOccupied = true;
  addStand("S2", metresFrom(stand, 30.0), 20.0);
  const auto chosen = lf_freeStandNear(stand, aircraft(1, "DLH4", "D-AIBA", 2, 15.0), 55.0 * NM_PER_METRE, false);
  ASSERT_NE(chosen, gStands.end());
  EXPECT_EQ(chosen->name, "S2");
}

// The first draw of the generator seeded with the seed, modulo 100.
std::uint32_t firstDraw(std::uint32_t seed) { return std::mt19937(seed)() % 100; }

TEST_F(StandChoice, RecursiveSearchGivesEachKindItsStand) {
  std::uint32_t rampSeed = 0;
  while (firstDraw(rampSeed) >= 10) ++rampSeed;
  std::uint32_t gateSeed = 0;
  while (firstDraw(gateSeed) < 10) ++gateSeed;
  const LatLon origin{48.0, 11.0};
  const std::function<void()> airport = [&] {
    addStand("G1", metresFrom(origin, 0), 25.0);
    addStand("R1", metresFrom(origin, 100), 8.0, false, true);
    addStand("R2", metresFrom(origin, 200), 25.0, false, true);
    addStand("C1", metresFrom(origin, 300), 35.0, true);
    addStand("H1", metresFrom(origin, 400), 9.0, false, false, true);
    addStand("G2", metresFrom(origin, 500), 60.0);
  };
  // Ten stands all in use at Sunday 47; only the last is free at Monday 0.
  const std::function<void()> busy = [&] {
    for (int i = 0; i < 10; ++i) {
      Stand& stand = addStand(sk::format("B{}", i), metresFrom(origin, 100.0 * i), 25.0);
      stand.options.push_back(option(1, 7, 47, "F-GKXA", "AFR1"));
      if (i < 9) stand.options.push_back(option(2, 1, 0, "F-GKXB", "AFR2"));
    }
  };
  const struct {
    const char* what;
    std::function<void()> stands;
    const char* code;
    std::uint32_t seed;
    ActBase who;
    const char* expected;  // "" for none
  } rows[] = {
      {"helicopter", airport, "EDDM", 0, aircraft(1, "CHX1", "D-HXXA", 5, 6.0), "H1"},
      {"cargo aircraft", airport, "EDDM", 0, [] {
         ActBase a = aircraft(2, "BOX1", "D-AALA", 3, 30.0, "BOX");
         a.cargo = 1;
         return a;
       }(), "C1"},
      {"light aircraft", airport, "EDDM", 0, aircraft(3, "DEABC", "D-EABC", 0, 5.0, "XXX"), "R1"},
      {"private jet", airport, "EDDM", 0, aircraft(4, "DCXYZ", "D-CXYZ", 2, 10.0, "PVT"), "R2"},
      {"airline at a K airport", airport, "KBOS", rampSeed, aircraft(5, "DLH4", "D-AIBA", 2, 17.0), "G1"},
      {"airline drawn to the gates", airport, "EDDM", gateSeed, aircraft(5, "DLH4", "D-AIBA", 2, 17.0), "G1"},
      {"airline drawn to the ramp", airport, "EDDM", rampSeed, aircraft(5, "DLH4", "D-AIBA", 2, 17.0), "R2"},
      {"ten stands busy: the next half-hour", busy, "EDDM", gateSeed, aircraft(6, "DLH6", "D-AIBB", 2, 17.0), "B9"},
      {"eleven stands busy: none", [&] {
         busy();
         addStand("B10", origin, 25.0).options.push_back(option(1, 7, 47, "F-GKXC", "AFR3"));
       }, "EDDM", gateSeed, aircraft(6, "DLH6", "D-AIBB", 2, 17.0), ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    gStands.clear();
    row.stands();
    gEngineParkAirport.code = row.code;
    gf_randomEngine().seed(row.seed);
    const auto chosen = lf_searchStandRecursive(gf_makeDaySlot(7, 47), row.who, true);
    EXPECT_EQ(chosen == gStands.end() ? std::string() : chosen->name, row.expected);
  }
  // The walk keeps the first best: a learned match listed first holds against
  // a closer size after it; listed after it, it never joins.
  for (const bool knownFirst : {true, false}) {
    gStands.clear();
    gEngineParkAirport.code = "KBOS";
    const auto known = [&] {
      addStand("Known", metresFrom(origin, 100), 60.0).options.push_back(option(1, 2, 5, "D-AIBA", "DLH4"));
    };
    if (knownFirst) known();
    addStand("Close", origin, 18.0);
    if (!knownFirst) known();
    const auto chosen = lf_searchStandRecursive(gf_makeDaySlot(1, 10), aircraft(5, "DLH4", "D-AIBA", 2, 17.0), true);
    ASSERT_NE(chosen, gStands.end());
    EXPECT_EQ(chosen->name, knownFirst ? "Known" : "Close");
  }
}

TEST_F(StandChoice, SearchStandsPlansFreeOptionsOnce) {
  const LatLon origin{48.0, 11.0};
  const struct {
    const char* what;
    std::function<void()> setUp;
    std::uint32_t offset;
    bool planned;
    bool deleted;
  } rows[] = {
      {"the searched half-hour", [] {}, 0, true, false},
      {"offset into Sunday", [] { gStands[0].options[0] = option(1, 7, 46, "D-AIBA", "DLH4"); }, 3, true, false},
      {"another weekday", [] { gStands[0].options[0].day = 3; }, 0, false, false},
      {"another weekday with WEEK", [] {
         gStands[0].options[0].day = 3;
         WEEK.value = true;
       }, 0, true, false},
      {"soft option", [] { gStands[0].options[0].kind = OPTION_SOFT; }, 0, false, false},
      {"registration planned", [] { gStaticParkingList.push_back({9, 0, "DLH", "A320", "X", "", "D-AIBA", 1}); }, 0,
       false, true},
      {"callsign planned", [] { gStaticParkingList.push_back({9, 0, "DLH", "A320", "", "DLH4", "", 1}); }, 0, false,
       true},
      {"callsign seen", [] { gSeenCallsignSet.insert("DLH4"); }, 0, false, true},
      {"callsign seen as a ghost", [] { gSeenCallsignSet.insert("DLH4_"); }, 0, false, true},
      {"live stayer", [] { gLiveStayers.push_back({"DLH4", 2, 30}); }, 0, false, true},
      {"taken", [] { gStands[0].taken = true; }, 0, false, false},
      {"reserved", [] { gStands[0].reserved = true; }, 0, false, false},
      {"next to taken", [] { gStands[0].nextToTaken = true; }, 0, false, false},
      {"helicopter stand", [] {
         gStands[0].heli = true;
         HELICOPTERS.value = false;
       }, 0, false, false},
      {"helicopter stand with HELICOPTERS", [] { gStands[0].heli = true; }, 0, true, false},
      {"static aircraft beside, spans overlapping", [] {
         StaticAct beside(aircraft(9, "AFR1*", "F-GKXA", 2, 40.0), 2, gStands[1].latitude, gStands[1].longitude, 0.0,
                          false);
         beside.state = ACT_PRESENT;
         gStaticActs.push_back(std::move(beside));
       }, 0, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    StandTest::TearDown();
    StandTest::SetUp();
    addStand("P1", origin, 25.0).options.push_back(option(1, 1, 1, "D-AIBA", "DLH4"));
    addStand("N1", metresFrom(origin, 30.0), 25.0);
    gStands[0].adjacent = {2};
    row.setUp();
    std::vector<StaticPlan> plans;
    lf_searchStands(gf_makeDaySlot(1, 1), OPTION_REAL, row.offset, plans);
    ASSERT_EQ(plans.size(), row.planned ? 1u : 0u);
    EXPECT_EQ(gStands[0].options[0].id == 0, row.deleted);
    if (!row.planned) continue;
    EXPECT_EQ(plans[0].standId, 1u);
    EXPECT_EQ(plans[0].startOffset, row.offset);
    EXPECT_EQ(plans[0].registration, "D-AIBA");
    EXPECT_EQ(plans[0].firstCallsign, "DLH4");
    EXPECT_TRUE(gStands[0].taken);
    EXPECT_TRUE(gStands[1].nextToTaken);
  }
}

TEST_F(StandChoice, CoupledCallsignsAndStaticCounts) {
  addStand("A1", {48.0, 11.0}, 30.0);
  StandOption coupled = option(1, 2, 6, "D-AIBA", "DLH4");
  coupled.secondCallsign = "DLH4X";
  gStands[0].options.push_back(coupled);
  const struct {
    const char* what;
    AircraftCategory category;
    std::uint32_t halfHour;
    const char* callsign;
    bool found;
  } rows[] = {
      {"Heavy 14 half-hours later", 3, 20, "DLH4", true},
      {"Large 14 half-hours later", 2, 20, "DLH4", false},
      {"Large 10 half-hours later", 2, 16, "DLH4", true},
      {"a ghost of the second callsign", 2, 16, "DLH4X_", true},
      {"another callsign", 3, 20, "DLH5", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Act live(aircraft(1, row.callsign, "D-AIBA", row.category, 20.0), TrackPoint{}, 0.0);
    lf_searchForCoupledCsAroundThisTime(gf_makeDaySlot(2, row.halfHour), live);
    EXPECT_EQ(live.key.firstCallsign, row.found ? "DLH4" : "");
    EXPECT_EQ(live.key.otherCallsign, row.found ? "DLH4X" : "");
  }

  // Stays counted across Sunday -> Monday; aircraft not yet in the simulator are not counted.
  const struct {
    DaySlot arrival;
    ActState state;
  } parked[] = {{gf_makeDaySlot(7, 46), ACT_PRESENT},
                {gf_makeDaySlot(1, 0), ACT_REMOVAL_REQUESTED},
                {gf_makeDaySlot(1, 0), ACT_CREATION_REQUESTED}};
  for (const auto& p : parked) {
    StaticAct aircraftParked(aircraft(2, "AFR1*", "F-GKXA", 2, 20.0), 1, 48.0, 11.0, 0.0, false);
    aircraftParked.arrivalSlot = p.arrival;
    aircraftParked.state = p.state;
    gStaticActs.push_back(std::move(aircraftParked));
  }
  setClock(1, 1);
  EXPECT_EQ(gf_countStaticAtSlot(true), 2);
  EXPECT_FLOAT_EQ(gAppState.staticAverageFit.load(), 4.0F / 4.0F + 0.5F);  // stays of 3 and 1 half-hours
  WEEK.value = true;
  gAppState.staticAverageFit = -1.0F;
  EXPECT_EQ(gf_countStaticAtSlot(true), 2);
  EXPECT_FLOAT_EQ(gAppState.staticAverageFit.load(), -1.0F);
}

}  // namespace
