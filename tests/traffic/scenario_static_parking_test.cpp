// Static parked aircraft at the park airport: plans become aircraft one per
// eligible 50th tick, are placed at their stands, make way for live aircraft
// and leave with the flush; and the limits of parked aircraft.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "core/clock.h"
#include "engine_placement.h"
#include "link_reset.h"
#include "park_scenario.h"
#include "airports/static_parking.h"
#include "traffic/commands.h"
#include "traffic/placement.h"

namespace {

using namespace park;

constexpr std::int64_t kMondayHalfPastMidnight = 1733704200;  // Monday 9 December 2024, 00:30 UTC
constexpr std::int64_t kMonday5 = kMondayHalfPastMidnight + 4 * 1800;
std::int64_t gFixedUtc = kMondayHalfPastMidnight;
std::int64_t lf_fixedUtc() { return gFixedUtc; }
std::uint64_t gFixedSteady = 1'000'000'000'000;
std::uint64_t lf_fixedSteady() { return gFixedSteady; }
constexpr std::uint64_t kSteadyPerMinute = 600'000'000;

class ScenarioStaticParking : public testing::Test {
 protected:
  void SetUp() override {
    testing_traffic::resetEngine();
    lf_resetPark();
  }
  void TearDown() override {
    testing_traffic::resetEngine();
    lf_resetPark();
    gf_setClockSource(nullptr);
    gf_setSteadySource(nullptr);
  }

  static std::uint32_t lf_countCreated(const scenario::Driver& driver) {
    std::uint32_t count = 0;
    for (const auto& line : lf_traceEvents(driver.traceFile(), "create"))
      count += line["tail"].get<std::string>().ends_with("*") ? 1 : 0;
    return count;
  }

  ScratchFolder m_scratch;
  testing_traffic::LogCapture m_log;
};

class ScenarioParkLimits : public ScenarioStaticParking {};

TEST_F(ScenarioStaticParking, CreationTable) {
  gf_setClockSource(&lf_fixedUtc);
  const DaySlot monday1 = gf_makeDaySlot(1, 1);
  const auto liveOn = [](std::uint32_t standId, ActPhase phase) {
    return [=] {
      Act live(ActBase{}, TrackPoint{}, 0.0);
      live.hexid = 20001;
      live.key.callsign = "KLM900";
      live.halfSpan = 0.0001;  // spans play no part
      live.standId = standId;
      live.phase = phase;
      gf_appendAct(std::move(live));
    };
  };
  const auto standing = [](std::vector<std::uint32_t> hexids) {
    return [=] {
      for (std::uint32_t hexid : hexids) {
        gStaticActs.emplace_back(ActBase{}, 3, 0, 0, 0, false).hexid = hexid;
        gStaticActs.back().state = ACT_PRESENT;
      }
    };
  };
  struct Row {
    const char* what;
    StaticPlan plan;
    std::uint32_t counter;
    std::function<void()> setup;
    std::string callsign;  // empty: the plan is dropped
    std::uint32_t hexid;
    DaySlot arrival;
  };
  const Row rows[] = {
      {"ghost mark stripped, star added, 3 half-hours back", lf_plan(1, "EZY", "EZY12_", "EZY34", 1, 3), 0, [] {},
       "EZY12*", 1, gf_makeDaySlot(7, 46)},
      {"the second callsign, already starred", lf_plan(1, "KLM", "KLM1", "KLM77*", 0), 5, [] {}, "KLM77*", 6, monday1},
      {"no callsigns: airline and hexid", lf_plan(1, "DLH", ""), 41, [] {}, "DLH42*", 42, monday1},
      {"after 9999 comes 0", lf_plan(1, "DLH", ""), 9999, [] {}, "DLH0*", 0, monday1},
      {"hexids of standing statics are skipped", lf_plan(1, "DLH", ""), 9999, standing(std::vector<std::uint32_t>{0, 1}), "DLH2*", 2, monday1},
      {"a live aircraft taxiing to the stand", lf_plan(1, "KLM", "KLM1"), 0, liveOn(1, PHASE_TAXI_TO_STAND), "", 0, 0},
      {"a live aircraft parked beside", lf_plan(1, "KLM", "KLM1"), 0, liveOn(2, PHASE_PARKED), "", 0, 0},
      {"a live aircraft parked two stands away", lf_plan(1, "KLM", "KLM1"), 0, liveOn(3, PHASE_PARKED), "KLM1*", 1,
       monday1},
      {"a live aircraft beside but airborne", lf_plan(1, "KLM", "KLM1"), 0, liveOn(2, PHASE_AIRBORNE), "KLM1*", 1,
       monday1},
      {"a missing stand", lf_plan(99, "KLM", "KLM1"), 0, [] {}, "", 0, 0},
      {"no livery", lf_plan(1, "XXX", "XXX1"), 0, [] {}, "", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testing_traffic::resetEngine();
    lf_standRow(3);
    lf_installLiveries({"EZY", "KLM", "DLH"});
    gStaticHexidCounter = row.counter;
    row.setup();
    const std::size_t before = gStaticActs.size();
    gStaticParkingList = {lf_plan(2, "KLM", "KLM2"), row.plan};
    lf_createStaticFromPlan();
    ASSERT_EQ(gStaticParkingList.size(), 1u);  // one plan consumed, the last
    if (row.callsign.empty()) {
      EXPECT_EQ(gStaticActs.size(), before);
      EXPECT_TRUE(gCreationQueue.empty());
      continue;
    }
    ASSERT_EQ(gStaticActs.size(), before + 1);
    const StaticAct& made = gStaticActs.back();
    EXPECT_EQ(made.key.callsign, row.callsign);
    EXPECT_EQ(made.hexid, row.hexid);
    EXPECT_EQ(made.arrivalSlot, row.arrival);
    EXPECT_EQ(made.state, ACT_CREATION_REQUESTED);
    EXPECT_EQ(made.standId, 1u);
    ASSERT_EQ(gCreationQueue.size(), 1u);
    const CreateReq& request = gCreationQueue.front();
    EXPECT_DOUBLE_EQ(request.initPos.Latitude, gStands[0].latitude);
    EXPECT_DOUBLE_EQ(request.initPos.Longitude, gStands[0].longitude);
    EXPECT_DOUBLE_EQ(request.initPos.Heading, 90.0);
    EXPECT_EQ(request.initPos.Altitude, 0.0);
    EXPECT_EQ(request.initPos.OnGround, 1u);
    EXPECT_EQ(request.tailNumber, row.callsign);
    EXPECT_EQ(request.liveryTitle, kTitle);
    EXPECT_EQ(request.hexid, row.hexid);
  }
  // Without stands the plans wait.
  gStands.clear();
  lf_createStaticFromPlan();
  EXPECT_EQ(gStaticParkingList.size(), 1u);
}

TEST_F(ScenarioStaticParking, PlansArePlacedOnePerEligibleFiftiethTickAndTheFlushTakesEveryOne) {
  scenario::Driver driver(lf_parkSetup(m_scratch / "trace.jsonl"));
  scenario::FeedBuilder feed(1733652000.0, 1);
  lf_standRow(36);
  lf_installLiveries({"KLM"});
  doubles::setRealStaticCreation(true);
  for (std::uint32_t stand = 30; stand >= 1; --stand)
    gStaticParkingList.push_back(lf_plan(stand, "KLM", "KLM" + std::to_string(stand)));
  std::vector<std::int64_t> consumedAt;
  std::map<std::string, std::int64_t> madeAt, placedAt;
  const auto step = [&] {
    driver.run(feed, 1);
    for (const StaticAct& parked : gStaticActs) {
      madeAt.try_emplace(parked.key.callsign, driver.tick());
      if (parked.state == ACT_PRESENT) placedAt.try_emplace(parked.key.callsign, driver.tick());
    }
  };
  while (!gStaticParkingList.empty() && driver.tick() < 3000) {
    const std::int64_t tick = driver.tick();
    if (tick == 140) lf_queueLive(20001, "KLM900", lf_from(kPark, 1.0, 0.0), 0.0, 0.0, PHASE_GROUND);
    const std::size_t before = gStaticParkingList.size();
    step();
    if (gStaticParkingList.size() != before) consumedAt.push_back(tick);
  }
  // Every 50th tick but the one at which the live creation waited.
  ASSERT_EQ(consumedAt.size(), 30u);
  for (std::size_t i = 0; i < consumedAt.size(); ++i)
    EXPECT_EQ(consumedAt[i], static_cast<std::int64_t>(i < 3 ? i * 50 : (i + 1) * 50)) << i;
  while (placedAt.size() < 30 && driver.tick() < 4000) step();
  ASSERT_EQ(gStaticActs.size(), 30u);
  ASSERT_EQ(placedAt.size(), 30u);
  // Placed once settled: 200 ticks after its object came, a round trip after the creation.
  for (const auto& [callsign, tick] : placedAt) {
    EXPECT_GE(tick - madeAt[callsign], 200) << callsign;
    EXPECT_LE(tick - madeAt[callsign], 350) << callsign;
  }
  const auto events = lf_traceEvents(driver.traceFile(), "client_event");
  for (const StaticAct& parked : gStaticActs) {
    SCOPED_TRACE(parked.key.callsign);
    const Stand& stand = gStands[parked.standId - 1];
    EXPECT_EQ(parked.key.callsign, "KLM" + std::to_string(parked.standId) + "*");
    const auto shutDown = std::count_if(events.begin(), events.end(), [&](const nlohmann::json& e) {
      return e["id"] == parked.objectId && e["name"] == "ENGINE_AUTO_SHUTDOWN";
    });
    EXPECT_EQ(shutDown, 1);
    for (const auto& object : driver.standIn().objects()) {
      if (object.id != parked.objectId) continue;
      EXPECT_NEAR(object.latDeg, stand.latitude, 1e-9);
      EXPECT_EQ(object.atcId, parked.key.callsign);
    }
  }

  // Six more: the flush comes with one queued, one sent and the rest present.
  for (std::uint32_t stand = 36; stand >= 31; --stand) gStaticParkingList.push_back(lf_plan(stand, "KLM", "K" + std::to_string(stand)));
  while (gStaticParkingList.size() > 2) driver.run(feed, 1);
  driver.run(feed, 1);
  ASSERT_EQ(gCreationQueue.size(), 1u);
  gStaticParkingList.clear();
  gf_removeStaticParked();
  driver.run(feed, 1000);
  EXPECT_TRUE(gStaticActs.empty());
  EXPECT_EQ(driver.standIn().objects().size(), 2u);  // the user and the live aircraft
  EXPECT_EQ(lf_countCreated(driver), 33u);           // the queued one never reached the simulator
  lf_finishClean(driver, feed, "PlansArePlacedOnePerEligibleFiftiethTickAndTheFlushTakesEveryOne");
}

TEST_F(ScenarioStaticParking, HexidsWrapToZeroPastTheStandingOnes) {
  scenario::Driver driver(lf_parkSetup(m_scratch / "trace.jsonl"));
  scenario::FeedBuilder feed(1733652000.0, 1);
  lf_standRow(40);
  lf_installLiveries({"KLM"});
  doubles::setRealStaticCreation(true);
  // Two aircraft stand with hexids 9995 and 1 when the counter is at 9990.
  for (const auto& [counter, stand] : {std::pair{9994u, 39u}, std::pair{0u, 40u}}) {
    gStaticHexidCounter = counter;
    gStaticParkingList.push_back(lf_plan(stand, "KLM", ""));
    ASSERT_TRUE(lf_runUntilPresent(driver, feed, 1000));
  }
  gStaticHexidCounter = 9990;
  const std::vector<std::vector<std::uint32_t>> wanted = {
      {9991, 9992, 9993, 9994, 9996, 9997, 9998, 9999, 0, 2}, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
      {13, 14, 15, 16, 17, 18, 19, 20, 21, 22}};
  for (std::size_t round = 0; round < wanted.size(); ++round) {
    SCOPED_TRACE(round);
    std::set<std::uint32_t> held;  // standing, or flushed and still holding their hexids
    for (const StaticAct& parked : gStaticActs) held.insert(parked.hexid);
    // Fed right after the flush.
    for (std::uint32_t i = 10; i >= 1; --i) gStaticParkingList.push_back(lf_plan(i + 10 * round, "KLM", ""));
    while (!gStaticParkingList.empty()) driver.run(feed, 1);
    ASSERT_TRUE(lf_runUntilPresent(driver, feed, 1000));
    std::vector<std::uint32_t> made;
    for (const StaticAct& parked : gStaticActs)
      if (parked.state == ACT_PRESENT && !held.contains(parked.hexid)) made.push_back(parked.hexid);
    std::vector<std::uint32_t> sortedWanted = wanted[round];
    std::sort(made.begin(), made.end());
    std::sort(sortedWanted.begin(), sortedWanted.end());
    EXPECT_EQ(made, sortedWanted);
    gf_removeStaticParked();
  }
  driver.run(feed, 1000);
  EXPECT_TRUE(gStaticActs.empty());
  EXPECT_EQ(lf_countCreated(driver), 32u);
  lf_finishClean(driver, feed, "HexidsWrapToZeroPastTheStandingOnes");
}

TEST_F(ScenarioStaticParking, ALiveAircraftParkedBesideWithLargeSpansRemovesTheStatic) {
  scenario::Driver driver(lf_parkSetup(m_scratch / "trace.jsonl"));
  lf_standRow(4);
  lf_installLiveries({"KLM"});
  gAppState.maxPark = 10;  // room for all: only the spans remove
  doubles::setModel("A388", 3, 40.0 / 1852);
  gLiveriesByModelAirline[kPax]["BAW"]["A388"] = {kTitle};
  doubles::setRealStaticCreation(true);
  gStaticParkingList.push_back(lf_plan(1, "KLM", "KLM1"));
  gStaticParkingList.push_back(lf_plan(4, "KLM", "KLM4"));
  // Reported standing at S2 from tick 0: created parked there once its points are due.
  scenario::FeedBuilder feed(1733652000.0, 1);
  scenario::ScriptedAircraft a380{0x4CA001, "BAW1", "A388", "G-XLEA", "", "", {gStands[1].latitude, gStands[1].longitude},
                                  0, {}, 0, {}};
  a380.legs.push_back({{}, 90, 0.00001, 0.001, 0.001, true, 0, 0, 500, {}, 90.0});
  feed.add(a380);
  driver.run(feed, 4000);
  const Act* live = gf_findAct(0x4CA001);
  ASSERT_NE(live, nullptr);
  EXPECT_EQ(live->phase, PHASE_PARKED);
  EXPECT_EQ(live->standId, 2u);
  ASSERT_EQ(gStaticActs.size(), 1u);  // S1 beside it removed; S4 two stands away stays
  EXPECT_EQ(gStaticActs[0].key.callsign, "KLM4*");
  lf_finishClean(driver, feed, "ALiveAircraftParkedBesideWithLargeSpansRemovesTheStatic");
}

TEST_F(ScenarioParkLimits, Table) {
  gf_setClockSource(&lf_fixedUtc);
  gf_setSteadySource(&lf_fixedSteady);
  const auto live = [](std::uint32_t hexid, std::uint32_t standId, std::uint64_t minutes, AircraftCategory category = 2,
                       std::uint32_t halfHours = 0) {
    Act a(ActBase{}, TrackPoint{}, 0.0);
    a.hexid = hexid;
    a.key.callsign = "L" + std::to_string(hexid);
    a.category = category;
    a.standId = standId;
    a.phase = PHASE_PARKED;
    a.state = ACT_PRESENT;
    a.objectId = hexid;
    a.parkedSince = gFixedSteady - minutes * kSteadyPerMinute;
    a.arrivalSlot = gf_slotsBefore(gf_currentSlot(), halfHours);
    gf_appendAct(std::move(a));
  };
  const auto parked = [](std::uint32_t hexid, std::uint32_t standId, DaySlot arrival, const std::string& registration = "") {
    StaticAct& s = gStaticActs.emplace_back(ActBase{}, standId, 0, 0, 0, false);
    s.hexid = hexid;
    s.key.callsign = "S" + std::to_string(hexid) + "*";
    s.key.registration = registration;
    s.arrivalSlot = arrival;
    s.state = ACT_PRESENT;
    s.objectId = 100 + hexid;
  };
  const DaySlot saturday40 = gf_makeDaySlot(6, 40), sunday10 = gf_makeDaySlot(7, 10), monday2 = gf_makeDaySlot(1, 2);
  // Six live aircraft parked 10..60 minutes and four statics, the earliest (Saturday) third.
  const auto sixAndFour = [&] {
    for (std::uint32_t i = 1; i <= 6; ++i) live(20000 + i, i, 10 * i);
    parked(1, 11, sunday10), parked(2, 12, monday2), parked(3, 13, saturday40), parked(4, 14, monday2);
  };
  struct Row {
    const char* what;
    std::int32_t wanted;
    bool initialLoadOnly;
    std::int64_t utc;
    std::function<void()> setup;
    std::function<void()> act;
    std::vector<std::string> removed;
  };
  const std::int64_t tuesday5 = kMondayHalfPastMidnight + 86400 + 4 * 1800;
  const Row rows[] = {
      {"W 10: one more parking removes the earliest static", 10, false, 0, sixAndFour, [] { gf_enforceParkMax(1); },
       {"S3*"}},
      {"W 6: the longest parked live aircraft too", 6, false, 0, sixAndFour, [] { gf_enforceParkMax(1); },
       {"L20006", "S3*"}},
      {"W 6, initial load only: no live aircraft", 6, true, 0, sixAndFour, [] { gf_enforceParkMax(1); }, {"S3*"}},
      {"W 10 without the newcomer: nothing", 10, false, 0, sixAndFour, [] { gf_enforceParkMax(0); }, {}},
      {"Saturday is earliest at Monday 5", 1, false, kMonday5,
       [&] { parked(1, 1, sunday10), parked(2, 2, monday2), parked(3, 3, saturday40); }, [] { gf_enforceParkMax(0); },
       {"S3*"}},
      {"and at Tuesday 5", 1, false, tuesday5,
       [&] { parked(1, 1, monday2), parked(3, 3, saturday40), parked(2, 2, sunday10); }, [] { gf_enforceParkMax(0); },
       {"S3*"}},
      {"stays: Heavy 179 minutes stays, 181 goes, Large 91 goes", 0, false, 0,
       [&] { live(20001, 1, 179, 3), live(20002, 2, 181, 3), live(20003, 3, 91, 2), live(20004, 4, 90, 2); },
       [] { gf_collectLiveStayers(); }, {"L20002", "L20003"}},
      {"stays, initial load only: none goes", 0, true, 0,
       [&] { live(20001, 1, 181, 3), live(20002, 2, 91, 2); }, [] { gf_collectLiveStayers(); }, {}},
      {"the reserved stand loses its static", 0, false, 0, [&] { live(20001, 2, 5), parked(1, 2, monday2); },
       [] { gf_freeReservedStand(); }, {"S1*"}},
      {"else its live aircraft", 0, false, 0, [&] { live(20001, 2, 5), parked(1, 1, monday2); },
       [] { gf_freeReservedStand(); }, {"L20001"}},
      {"the two longest parked", 0, false, 0, [&] { live(20001, 1, 5), live(20002, 2, 50), live(20003, 3, 30); },
       [] { gf_removeLongestParked(2); }, {"L20002", "L20003"}},
      {"a live twin on the ground: its starred callsign, else its registration", 0, false, 0,
       [&] { parked(1, 1, monday2, "PH-BXA"), parked(2, 2, monday2, "G-EUPT"), parked(7, 3, monday2); },
       [] {
         Act twin(ActBase{}, TrackPoint{}, 0.0);
         twin.key.callsign = "S7";
         twin.onGround = true;
         twin.state = ACT_PRESENT;
         gf_removeStaticTwin(twin);
         twin.key.callsign = "NONE";
         twin.key.registration = "G-EUPT";
         gf_removeStaticTwin(twin);
         twin.onGround = false;  // airborne: no twin
         twin.key.registration = "PH-BXA";
         gf_removeStaticTwin(twin);
       },
       {"S2*", "S7*"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testing_traffic::resetEngine();
    lf_standRow(14);
    gLiveStayers.clear();
    gFixedUtc = row.utc != 0 ? row.utc : kMonday5;
    gAppState.maxPark = row.wanted;
    gAppState.reservedStand.set("S2");
    INITIAL_LOAD_ONLY.value = row.initialLoadOnly;
    row.setup();
    row.act();
    std::vector<std::string> removed;
    for (const Act& a : gActs)
      if (a.state == ACT_REMOVAL_REQUESTED) removed.push_back(a.key.callsign);
    for (const StaticAct& s : gStaticActs)
      if (s.state == ACT_REMOVAL_REQUESTED) removed.push_back(s.key.callsign);
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, row.removed);
  }
  // The stayers of the last collection, by minutes; a reporting one at 0.
  testing_traffic::resetEngine();
  gLiveStayers.clear();
  INITIAL_LOAD_ONLY.value = false;
  live(20001, 1, 80), live(20002, 2, 179, 3), live(20003, 3, 40);
  gActs[2].reporting = true;
  gf_collectLiveStayers();
  ASSERT_EQ(gLiveStayers.size(), 3u);
  EXPECT_EQ(gLiveStayers[0].callsign, "L20003");
  EXPECT_EQ(gLiveStayers[0].minutesParked, 0);
  EXPECT_EQ(gLiveStayers[2].minutesParked, 179);
  EXPECT_EQ(gLiveStayers[2].standId, 2u);

  // Ages within the week at Tuesday 5; the slot distance would call Sunday the earliest.
  const DaySlot tuesday = gf_makeDaySlot(2, 5);
  EXPECT_EQ(gf_slotAge(saturday40, tuesday), 109);
  EXPECT_EQ(gf_slotAge(sunday10, tuesday), 91);
  EXPECT_EQ(gf_slotAge(monday2, tuesday), 51);
  EXPECT_GT(gf_slotDistance(sunday10, tuesday), gf_slotDistance(saturday40, tuesday));

  // Three live aircraft parked 2, 4 and 6 half-hours show 2.5 hours; none shows 0.
  testing_traffic::resetEngine();
  live(20001, 1, 60, 2, 2), live(20002, 2, 120, 2, 4), live(20003, 3, 180, 2, 6);
  EXPECT_EQ(gf_countLiveParkedAtSlot(true), 3);
  EXPECT_FLOAT_EQ(gAppState.liveAverageFit.load(), 2.5F);
  gActs.clear();
  EXPECT_EQ(gf_countLiveParkedAtSlot(true), 0);
  EXPECT_FLOAT_EQ(gAppState.liveAverageFit.load(), 0.0F);
}

TEST_F(ScenarioParkLimits, ALiveAircraftRemovesItsStaticTwinWithinSixtyOneSeconds) {
  scenario::Driver driver(lf_parkSetup(m_scratch / "trace.jsonl"));
  scenario::FeedBuilder feed(1733652000.0, 1);
  lf_standRow(3);
  lf_installLiveries({"KLM"});
  doubles::setRealStaticCreation(true);
  gStaticParkingList.push_back(lf_plan(1, "KLM", "KLM1"));
  gStaticParkingList.push_back(lf_plan(3, "KLM", "KLM3"));
  ASSERT_TRUE(lf_runUntilPresent(driver, feed, 1000));
  // The main loop's order: the arrival queue each second, twins every 61 s, the reserved stand every 15 s.
  driver.hooks().push_back({"arrived", 1, [] { gf_serveArrivedAircraft(gf_currentSlot()); }});
  driver.hooks().push_back({"twins", 61, [] {
                              if (gStaticActs.empty()) return;
                              for (const Act& a : gActs) gf_removeStaticTwin(a);
                            }});
  driver.hooks().push_back({"reserved", 15, [] {
                              if (!gAppState.reservedStand.empty()) gf_freeReservedStand();
                            }});
  const auto stateOf = [](const std::string& callsign) {
    for (const StaticAct& s : gStaticActs)
      if (s.key.callsign == callsign) return s.state;
    return ACT_NOT_IN_SIM;  // gone
  };
  lf_queueLive(20001, "KLM1", lf_from(kPark, 0.5, 0.0), 0.0, 0.0, PHASE_GROUND);
  ASSERT_TRUE(lf_runUntilPresent(driver, feed, 1000));
  const std::int64_t present = driver.tick();
  while (stateOf("KLM1*") == ACT_PRESENT && driver.tick() < present + 6200) driver.run(feed, 1);
  EXPECT_LE(driver.tick() - present, 6100);
  EXPECT_EQ(stateOf("KLM1*"), ACT_REMOVAL_REQUESTED);
  EXPECT_EQ(stateOf("KLM3*"), ACT_PRESENT);
  gAppState.reservedStand.set("S3");
  driver.run(feed, 1600);
  EXPECT_TRUE(gStaticActs.empty());
  lf_finishClean(driver, feed, "ALiveAircraftRemovesItsStaticTwinWithinSixtyOneSeconds");
}

}  // namespace
