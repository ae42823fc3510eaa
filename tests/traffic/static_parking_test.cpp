// Static parking control: the wanted count, the control step that chooses,
// loads and leaves the park airport, the plans, bad parking files, the
// 20-minute adjustment and the leaving.
#include "airports/static_parking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <future>
#include <memory>
#include <thread>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "core/paths.h"
#include "doubles.h"
#include "shell/auto_range.h"
#include "shell/commands.h"
#include "stand_test_support.h"
#include "test_support.h"
#include "tests/airports/park_apf_test_support.h"
#include "traffic/commands.h"
#include "traffic/readers.h"
#include "traffic/stand_choice.h"
#include "traffic/user_aircraft.h"

namespace {

using namespace stand_test;

const LatLon kEham{52.3086, 4.7639};
const LatLon kEhle{52.3086, 4.9239};  // 5.9 nm east
const LatLon kEgll{51.4700, -0.4543};
const LatLon kEgkk{51.5000, -0.4543};  // 1.8 nm north
constexpr double kStandStep = 0.00135;  // 150 m of latitude

LatLon standAt(const LatLon& airport, int index) { return {airport.lat + index * kStandStep, airport.lon}; }

// A parking file in airports/my_thirdparty with count stands 150 m apart, each
// used by one option at Monday half-hour 20.
ApfAirport parkingFile(const std::string& icao, const LatLon& at, int count) {
  ApfAirport airport;
  airport.icao = icao;
  airport.publisher = "Pub";
  for (int i = 0; i < count; ++i) {
    airport.stands.push_back(bedStand(sk::format("A{}", i + 1), standAt(at, i).lat, at.lon, 20.0));
    airport.stands.back().options.push_back(option(1, 1, 20, sk::format("PH-{}", i), sk::format("KLM{}", i)));
  }
  return airport;
}

std::string localFile(const std::string& icao) { return "airports/my_thirdparty/" + icao + ".xml"; }

class StaticParking : public StandTest {
 protected:
  void SetUp() override {
    StandTest::SetUp();
    m_folder = std::make_unique<WorkFolder>();
    m_ints = {parking_percentage.value, CUSTOM_MAX_PARK.value, MAX_FIT.value, AIRPORT_RANGE.value,
              AIRPORT_HEIGHT.value, MAX_LIVE.value, CUSTOM_PARKING_PERCENTAGE.value};
    m_flags = {PARK_SOFT.value, PARK_FAKE.value, INITIAL_LOAD_ONLY.value};
    setClock(1, 20);
    gAirports = {{"EGKK", "", kEgkk.lat, kEgkk.lon, 200.0},
                 {"EGLL", "LHR", kEgll.lat, kEgll.lon, 83.0},
                 {"EHAM", "AMS", kEham.lat, kEham.lon, -11.0},
                 {"EHLE", "", kEhle.lat, kEhle.lon, -13.0}};
    gParkAirports.clear();
    gActs.clear();
    gRemovalQueue.clear();
    gUserAc = UserAc{};
    gUserStateKnown = true;
    gAirportParametersChanged = false;
    doubles::setStandName("");
    DESTINATION.setValue("");
    INITIAL_LOAD_ONLY.value = false;
    CUSTOM_PARKING_PERCENTAGE.value = -1;
    CUSTOM_MAX_PARK.value = -1;
  }
  void TearDown() override {
    gParkAirportLoaded.store(0);
    lf_saveApfIfChanged();
    gf_resetParkControl();
    gf_unblockParkingUi();
    gAirports.clear();
    gParkAirports.clear();
    gActs.clear();
    gRemovalQueue.clear();
    DESTINATION.setValue("");
    std::tie(parking_percentage.value, CUSTOM_MAX_PARK.value, MAX_FIT.value, AIRPORT_RANGE.value,
             AIRPORT_HEIGHT.value, MAX_LIVE.value, CUSTOM_PARKING_PERCENTAGE.value) =
        std::tuple_cat(m_ints);
    std::tie(PARK_SOFT.value, PARK_FAKE.value, INITIAL_LOAD_ONLY.value) = std::tuple_cat(m_flags);
    m_folder.reset();
    StandTest::TearDown();
  }

  static void user(const LatLon& at, bool onGround, double heightFeet = 0.0) {
    gUserAc.latitude = at.lat;
    gUserAc.longitude = at.lon;
    gUserAc.altitudeAboveGround = heightFeet;
    gUserOnGround = onGround;
  }
  // A quality factor goes into the header as an archive of the server carries it.
  static void write(const std::string& icao, const LatLon& at, int count, int quality = -1) {
    writeArchived(localFile(icao), parkingFile(icao, at, count));
    if (quality < 0) return;
    pugi::xml_document document;
    document.load_file(localFile(icao).c_str());
    pugi::xml_node node = document.child("parameters").append_child("parameter");
    node.append_attribute("name") = "Qf_real";
    node.append_attribute("value") = quality;
    document.save_file(localFile(icao).c_str());
  }

  std::unique_ptr<WorkFolder> m_folder;
  std::array<std::int32_t, 7> m_ints{};
  std::array<bool, 3> m_flags{};
};

TEST_F(StaticParking, WantedCount) {
  const struct {
    int stands, percent, customMax, wanted, shown;
  } rows[] = {{2, 30, -1, 1, 30}, {4, 30, -1, 1, 30}, {10, 25, -1, 3, 25},
              {1, 0, -1, 1, 0},   {0, 30, -1, 1, 30}, {40, 30, 5, 5, 13}};
  CUSTOM_PARKING_PERCENTAGE.value = -1;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stands);
    gStands.clear();
    for (int i = 0; i < row.stands; ++i) addStand(sk::format("S{}", i), standAt(kEham, i), 20.0);
    parking_percentage.value = row.percent;
    CUSTOM_MAX_PARK.value = row.customMax;
    EXPECT_EQ(lf_wantedParkedCount(), row.wanted);
    EXPECT_EQ(gAppState.maxParkPercentage.load(), row.shown);
  }
}

TEST_F(StaticParking, ControlStepChoosesLoadsAndKeepsTheAirportOnTheGround) {
  write("EHAM", kEham, 10);
  user(kEham, true);
  gf_checkParkAirport(true);
  EXPECT_TRUE(gf_parkAirportLoadPending());
  EXPECT_FALSE(gf_hasParkStands());
  gf_checkParkAirport(false);
  EXPECT_EQ(gStands.size(), 10U);
  EXPECT_EQ(gStaticParkingList.size(), 3U);  // 30 % without a learned file
  EXPECT_TRUE(gAppState.parkAirportActive.load());
  user(kEgll, true);
  gf_checkParkAirport(false);
  EXPECT_EQ(gParkAirportCode, "EHAM");
}

TEST_F(StaticParking, AnAirportWithoutFileAsksTheServerOnce) {
  for (const bool neighbour : {false, true}) {
    SCOPED_TRACE(neighbour);
    const std::filesystem::path served = m_folder->path() / "server";
    std::filesystem::remove_all(served);
    // The neighbour's file has no stand nearer than the airport itself.
    if (neighbour) m_folder->write("server/MSFS/archive/stock/EGKK.xml", "<parkpositions/>");
    DownloadDouble downloads(served);
    // A download may take as long as the server wants: never under the engine's guard.
    int guarded = 0;
    downloads.whileServing = [&guarded] {
      const bool free = std::async(std::launch::async, [] {
                          const bool taken = gEngineMutex.try_lock();
                          if (taken) gEngineMutex.unlock();
                          return taken;
                        }).get();
      if (!free) ++guarded;
    };
    RecordingSink sink;
    gf_resetParkControl();
    user(kEgll, true);
    gf_checkParkAirport(false);
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages.back(), "User aircraft on the ground at EGLL, no airport file found");
    const std::size_t asked = downloads.urls().size();
    EXPECT_EQ(asked, neighbour ? 3U : 2U);  // EGKK lies within 5 nm in both
    for (int step = 0; step < 10; ++step) gf_checkParkAirport(false);
    EXPECT_EQ(downloads.urls().size(), asked);
    EXPECT_TRUE(gParkAirportCode.empty());
    EXPECT_EQ(guarded, 0);
  }
  // A probe that an exit ended tells the user nothing.
  DownloadDouble downloads(m_folder->path() / "server");
  downloads.failing = ServerAnswer::Cancelled;
  RecordingSink sink;
  gf_resetParkControl();
  user(kEgll, true);
  gf_checkParkAirport(false);
  EXPECT_FALSE(downloads.urls().empty());
  for (const std::string& message : sink.messages)
    EXPECT_EQ(message.find("no airport file found"), std::string::npos) << message;
}

TEST_F(StaticParking, InSightInTheAirUpToBothLimits) {
  AIRPORT_RANGE.value = 10;
  AIRPORT_HEIGHT.value = 3000;
  // The farthest latitude north of the airport still exactly within the range.
  double low = kEham.lat, high = kEham.lat + 1.0;
  while (std::nextafter(low, high) < high) {
    const double middle = low + (high - low) / 2;
    if (middle <= low || middle >= high) break;
    (gf_distanceNm({middle, kEham.lon}, kEham) <= 10.0 ? low : high) = middle;
  }
  const struct {
    double lat, height;
    bool chosen;
  } rows[] = {{low, 3000.0, true}, {high, 3000.0, false}, {low, 3001.0, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.lat - kEham.lat);
    gf_resetParkControl();
    gParkAirportCode.clear();
    gParkAirports = {{"EHAM", "", kEham.lat, kEham.lon, 0.0}};
    user({row.lat, kEham.lon}, false, row.height);
    gf_checkParkAirport(false);
    EXPECT_EQ(gf_parkAirportLoadPending(), row.chosen);
  }
}

TEST_F(StaticParking, ANearerListedAirportInSightTakesOver) {
  AIRPORT_RANGE.value = 10;
  AIRPORT_HEIGHT.value = 3000;
  write("EHAM", kEham, 4);
  write("EHLE", kEhle, 4);
  gParkAirports = {{"EHAM", "", kEham.lat, kEham.lon, 0.0}, {"EHLE", "", kEhle.lat, kEhle.lon, 0.0}};
  ASSERT_TRUE(lf_showParkAirport("EHAM"));
  user({kEham.lat, (kEham.lon + 2 * kEhle.lon) / 3}, false, 1000.0);  // nearer EHLE
  gf_checkParkAirport(false);
  EXPECT_TRUE(gParkAirportCode.empty());
  gf_checkParkAirport(false);
  EXPECT_EQ(gParkAirportCode, "EHLE");
  EXPECT_TRUE(gf_parkAirportLoadPending());
  gf_checkParkAirport(false);
  EXPECT_EQ(gStands.size(), 4U);
}

TEST_F(StaticParking, UnknownPositionDoesNothingAndDestinationKeepsTheOrder) {
  gParkAirports = {{"EGLL", "", kEgll.lat, kEgll.lon, 7.0}, {"EHAM", "", kEham.lat, kEham.lon, 7.0}};
  user({0.0005, 0.01}, true);
  gf_checkParkAirport(false);
  EXPECT_EQ(gParkAirports.front().distance, 7.0);
  EXPECT_FALSE(gf_parkAirportLoadPending());
  DESTINATION.setValue("EGLL");
  user(kEham, false, 50000.0);
  gf_checkParkAirport(false);
  EXPECT_EQ(gParkAirports.front().icao, "EGLL");
}

TEST_F(StaticParking, QualityCheckAndTheUserStandAtLoad) {
  for (const int stands : {20, 19}) {
    SCOPED_TRACE(stands);
    write("EHAM", kEham, stands, 45);
    LEARN_SOFT.value = true;
    gAirportParametersChanged = false;
    ASSERT_TRUE(lf_showParkAirport("EHAM"));
    ASSERT_EQ(lf_loadParkAirport(), "");
    EXPECT_EQ(LEARN_SOFT.value, stands == 19);
    EXPECT_EQ(gSoftLearningAllowed, stands == 19);
    EXPECT_EQ(gAirportParametersChanged.load(), stands == 20);
  }
  // The user aircraft on A1: reserved, saved, never planned.
  doubles::setStandName("A1");
  CUSTOM_PARKING_PERCENTAGE.value = 100;
  ASSERT_EQ(lf_loadParkAirport(), "");
  lf_setupStaticParking();
  EXPECT_EQ(gReservedStand, "A1");
  EXPECT_EQ(fileLines(MyParkAirportsPath), std::vector<std::string>{"EHAM,A1"});
  EXPECT_EQ(gStaticParkingList.size(), 18U);  // every stand but A1
  for (const StaticPlan& plan : gStaticParkingList) EXPECT_NE(plan.standId, 1U);
}

TEST_F(StaticParking, PassesWidenTheFitAndCutTheSurplus) {
  // Stands 1-2 used now, 3-5 one half-hour ago, 6 only softly now.
  for (int i = 0; i < 6; ++i) {
    Stand& stand = addStand(sk::format("S{}", i + 1), standAt(kEham, i), 20.0);
    stand.options.push_back(option(1, 1, i < 2 || i == 5 ? 20 : 19, sk::format("D-A{}", i), sk::format("DLH{}", i),
                                   i == 5 ? OPTION_SOFT : OPTION_REAL));
  }
  const DaySlot now = gf_makeDaySlot(1, 20);
  std::vector<StaticPlan> work;
  MAX_FIT.value = 0;
  EXPECT_FALSE(lf_collectPlans(now, OPTION_REAL, 5, work));
  EXPECT_EQ(gStaticParkingList.size(), 2U);

  MAX_FIT.value = 3;
  PARK_SOFT.value = false;
  PARK_FAKE.value = false;
  gStaticParkingList.clear();
  for (Stand& stand : gStands) stand.taken = false;
  lf_fillStaticPlans(now, 6, 0);
  EXPECT_EQ(gStaticParkingList.size(), 5U);  // the soft stand stays empty

  parking_percentage.value = 50;  // 3 of 6
  CUSTOM_PARKING_PERCENTAGE.value = -1;
  CUSTOM_MAX_PARK.value = -1;
  lf_setupStaticParking();
  std::vector<std::uint32_t> offsets;
  for (const StaticPlan& plan : gStaticParkingList) offsets.push_back(plan.startOffset);
  EXPECT_EQ(offsets, (std::vector<std::uint32_t>{1, 0, 0}));
}

TEST_F(StaticParking, BadParkingFilesCloseTheAirportAndKeepTheLearnedFile) {
  const std::string learned = "airports/learned/thirdparty/Pub/EHAM.xml";
  const struct {
    const char* what;
    std::string message;
  } rows[] = {{"duplicate", "94: Parking position A1 appears more than once?"},
              {"altitude", "65: Parameter altitude not found"},
              {"stands", "no stands found"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ApfAirport airport = parkingFile("EHAM", kEham, row.message == "no stands found" ? 0 : 3);
    if (row.message.starts_with("94")) airport.stands[1].name = "A1";
    writeArchived(localFile("EHAM"), airport);
    if (row.message.starts_with("65")) {
      pugi::xml_document document;
      document.load_file(localFile("EHAM").c_str());
      pugi::xml_node parameters = document.child("parameters");
      parameters.remove_child(parameters.find_child_by_attribute("parameter", "name", "altitude"));
      document.save_file(localFile("EHAM").c_str());
    }
    m_folder->write(learned, "<learned bytes/>");
    RecordingSink sink;
    gAirportParametersChanged = true;
    user(kEham, true);
    gf_checkParkAirport(false);
    ASSERT_TRUE(gf_parkAirportLoadPending());
    gf_checkParkAirport(false);
    EXPECT_NE(std::find(sink.messages.begin(), sink.messages.end(), row.message), sink.messages.end());
    EXPECT_TRUE(gParkAirportCode.empty());
    EXPECT_EQ(gParkAirportLoaded.load(), 0);
    EXPECT_EQ(readBytes(learned), "<learned bytes/>");
    gf_checkParkAirport(false);
    EXPECT_TRUE(gf_parkAirportLoadPending());  // tried again
    gf_resetParkControl();
    lf_saveApfIfChanged();
  }
}

TEST_F(StaticParking, AListedAirportMovesToTheFrontWithItsStand) {
  write("EGLL", kEgll, 3);
  writeBytes(MyParkAirportsPath, "EGLL,27L\nEHAM\n");
  gParkAirports = {{"EHAM", "", kEham.lat, kEham.lon, 0.0}, {"EGLL", "27L", kEgll.lat, kEgll.lon, 0.0}};
  DESTINATION.setValue("EHAM");
  user(kEgll, true);
  gf_checkParkAirport(false);
  gf_checkParkAirport(false);
  EXPECT_EQ(gParkAirports.front().icao, "EGLL");
  EXPECT_EQ(std::count_if(gParkAirports.begin(), gParkAirports.end(), [](const ParkAirport& a) { return a.icao == "EGLL"; }), 1);
  EXPECT_EQ(fileLines(MyParkAirportsPath), (std::vector<std::string>{"EGLL,27L", "EHAM"}));
}

// "Re-read" with the park airport not on the first line of the file (the
// program saves it sorted by code): the changed reserved stand is applied,
// whether the park airport came first by distance or as the destination.
TEST_F(StaticParking, ReReadAppliesTheChangedReservedStand) {
  setClock(3, 5);  // nothing to plan: the parking controls are not blocked
  write("EHAM", kEham, 4);
  for (const std::string destination : {"", "EHAM"}) {
    SCOPED_TRACE(destination);
    writeBytes(MyParkAirportsPath, "EGLL\nEHAM,A2\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    DESTINATION.setValue(destination);
    if (!destination.empty()) gf_selectParkAirport(destination, kEham.lat, kEham.lon);
    user(kEham, true);
    gf_checkParkAirport(false);
    gf_checkParkAirport(false);
    ASSERT_EQ(gParkAirportCode, "EHAM");
    ASSERT_FALSE(gParkingUiBlocked.load());
    ASSERT_EQ(gAppState.reservedStand.get(), "A2");
    writeBytes(MyParkAirportsPath, "EGLL\nEHAM,A3\n");
    std::string message;
    ASSERT_TRUE(gf_reloadParkAirports(true, message));
    EXPECT_EQ(message, "reserved stand changed from \"A2\" to \"A3\"");
    EXPECT_EQ(gAppState.reservedStand.get(), "A3");
    EXPECT_EQ(gParkAirports.front().icao, "EHAM") << "as the automatic range and the next choice read it";
    gf_resetParkControl();
    lf_saveApfIfChanged();
  }
}

// ---- The adjustment over engine containers ----

StaticAct& addStatic(std::uint32_t standId, const std::string& callsign, ActState state, std::uint32_t objectId,
                     DaySlot placed) {
  ActBase base = aircraft(10 + objectId, callsign, "", 2, 15.0);
  const Stand& stand = gStands[standId - 1];
  gStaticActs.emplace_back(std::move(base), standId, stand.latitude, stand.longitude, 0.0, false);
  gStaticActs.back().state = state;
  gStaticActs.back().objectId = objectId;
  gStaticActs.back().arrivalSlot = placed;
  return gStaticActs.back();
}

TEST_F(StaticParking, AdjustmentRemovesSeenAndDoubledAircraftAndSparesQueuedStands) {
  for (int i = 0; i < 6; ++i) addStand(sk::format("S{}", i + 1), standAt(kEham, i), 20.0);
  for (int i = 0; i < 5; ++i) gStands[i].adjacent = {static_cast<std::uint32_t>(i + 2)};
  // A live callsign seen since the renewal began removes its static aircraft.
  gTrafficReader.setUserPosition(kEham);
  gTrafficReader.clearSeenCallsigns();
  gTrafficReader.setCollectCallsigns(true);
  gTrafficReader.onDatagram(testing_traffic::joinFields(testing_traffic::baseFields()));
  const std::set<std::string> seen = gTrafficReader.seenCallsigns();
  {
    std::lock_guard lock(gUpdateMutex);
    gUpdateQueue.clear();
  }
  ASSERT_EQ(seen.size(), 1U);
  StaticAct& twin = addStatic(1, "X1*", ACT_PRESENT, 101, gf_makeDaySlot(1, 20));
  twin.key.firstCallsign = *seen.begin();
  // State 4 first, then state 2, on stand 2.
  addStatic(2, "X2*", ACT_REMOVAL_REQUESTED, 102, gf_makeDaySlot(1, 20));
  addStatic(2, "X3*", ACT_PRESENT, 103, gf_makeDaySlot(1, 20));
  // Three creations still queued on stands 4-6, whose options would plan them.
  for (std::uint32_t id = 4; id <= 6; ++id) {
    gStands[id - 1].options.push_back(option(1, 1, 20, sk::format("D-B{}", id), sk::format("DLH{}", id)));
    addStatic(id, sk::format("Q{}*", id), ACT_CREATION_REQUESTED, 0, gf_makeDaySlot(1, 20));
  }
  gRemovalQueue.push_back(102);
  parking_percentage.value = 100;
  gf_parkingAdjustments();
  EXPECT_EQ(gStaticActs[0].state, ACT_REMOVAL_REQUESTED);
  EXPECT_EQ(gStaticActs[2].state, ACT_REMOVAL_REQUESTED);
  EXPECT_EQ(std::vector<std::uint32_t>(gRemovalQueue.begin(), gRemovalQueue.end()),
            (std::vector<std::uint32_t>{102, 103, 101}));
  EXPECT_TRUE(gStaticParkingList.empty());
}

TEST_F(StaticParking, AStayerLeavingAtMidnightIsReplacedByItsSecondCallsign) {
  setClock(7, 47);
  for (const bool sundayOption : {true, false}) {
    SCOPED_TRACE(sundayOption);
    gStands.clear();
    gStaticActs.clear();
    Stand& stand = addStand("S1", kEham, 20.0);
    StandOption sunday = option(1, 7, 40, "D-AIBA", "DLH4");
    sunday.slots.set(47);
    if (sundayOption) stand.options.push_back(sunday);
    StandOption monday = option(2, 1, 5, "D-AIBA", "DLH4");  // no slot 0
    stand.options.push_back(monday);
    StaticAct& stayer = addStatic(1, "DLH4*", ACT_PRESENT, 7, gf_makeDaySlot(7, 40));
    stayer.key.firstCallsign = "DLH4";
    stayer.key.otherCallsign = "DLH4X";
    parking_percentage.value = 100;
    gf_parkingAdjustments();
    const auto replacing = std::count_if(gStaticParkingList.begin(), gStaticParkingList.end(), [](const StaticPlan& p) {
      return p.firstCallsignUsed == 0 && p.secondCallsign == "DLH4X" && p.startOffset == 40;
    });
    EXPECT_EQ(replacing, sundayOption ? 1 : 0);
    if (sundayOption) {
      EXPECT_EQ(gStaticActs[0].state, ACT_REMOVAL_REQUESTED);
    }
  }
}

// Just after midnight an aircraft of yesterday evening stays within the fit
// of the last pass, though its stand has no option of its airline and type today.
TEST_F(StaticParking, YesterdaysAircraftStaysJustAfterMidnight) {
  setClock(1, 0);
  addStand("S1", standAt(kEham, 0), 20.0).options.push_back(option(1, 7, 46, "D-AIBA", "DLH4"));
  // The pass reaches its one wanted stand at fit 1, through Sunday 47.
  addStand("S2", standAt(kEham, 1), 20.0).options.push_back(option(1, 7, 47, "D-AIBB", "DLH5"));
  addStatic(1, "DLH4*", ACT_PRESENT, 7, gf_makeDaySlot(7, 46));
  parking_percentage.value = 50;
  gf_parkingAdjustments();
  EXPECT_EQ(gStaticActs[0].state, ACT_PRESENT);
  EXPECT_TRUE(gStaticParkingList.empty()) << "the stayer fills the wanted count";
}

TEST_F(StaticParking, TheExcessDropsPlansThenStayersThenLiveStayers) {
  // Stands 1-2 hold stayers (placed 1 and 3 half-hours ago), 3 a live stayer,
  // 4-5 are planned now.
  for (int i = 0; i < 5; ++i) {
    Stand& stand = addStand(sk::format("S{}", i + 1), standAt(kEham, i), 20.0);
    stand.options.push_back(option(1, 1, 20, sk::format("D-A{}", i), sk::format("DLH{}", i)));
    if (i < 2)
      for (int slot : {17, 18, 19}) stand.options.back().slots.set(slot);
  }
  // A custom maximum of 0 leaves the live stayer over the wanted number.
  const struct {
    int percent, customMax;
    bool initialOnly;
    std::size_t plans;
    std::vector<std::uint32_t> removed;
    bool liveRemoved;
  } rows[] = {{100, -1, false, 2, {}, false},        {60, -1, false, 0, {}, false},
              {40, -1, false, 0, {202}, false},      {20, -1, false, 0, {201, 202}, false},
              {100, 0, false, 0, {201, 202}, true}, {100, 0, true, 0, {201, 202}, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.percent + row.customMax);
    CUSTOM_MAX_PARK.value = row.customMax;
    gStaticActs.clear();
    gActs.clear();
    gRemovalQueue.clear();
    addStatic(1, "DLH0*", ACT_PRESENT, 201, gf_makeDaySlot(1, 19));
    addStatic(2, "DLH1*", ACT_PRESENT, 202, gf_makeDaySlot(1, 17));
    gActs.push_back(liveAircraft(30000, standAt(kEham, 2)));
    gActs.back().standId = 3;
    gActs.back().reporting = true;  // never parked too long
    gActs.back().phase = PHASE_PARKED;
    gActs.back().state = ACT_PRESENT;
    gActs.back().objectId = 300;
    parking_percentage.value = row.percent;
    INITIAL_LOAD_ONLY.value = row.initialOnly;
    gf_parkingAdjustments();
    EXPECT_EQ(gStaticParkingList.size(), row.plans);
    std::vector<std::uint32_t> removed(gRemovalQueue.begin(), gRemovalQueue.end());
    std::erase(removed, 300U);
    EXPECT_EQ(removed, row.removed);
    EXPECT_EQ(gActs[0].state == ACT_REMOVAL_REQUESTED, row.liveRemoved);
  }
}

TEST_F(StaticParking, LeavingRemovesEverythingEvenWhenTheSaveFails) {
  write("EHAM", kEham, 4);
  MAX_LIVE.value = 50;
  gUserMaxLive = 80;
  ASSERT_TRUE(lf_showParkAirport("EHAM"));
  ASSERT_EQ(lf_loadParkAirport(), "");
  gAirportParametersChanged = true;
  std::filesystem::create_directories(LearnedThirdpartyFolder);
  writeBytes(LearnedThirdpartyFolder / "Pub", "a file where the folder should be");
  addStatic(1, "S1*", ACT_PRESENT, 401, gf_makeDaySlot(1, 20));
  gActs.push_back(liveAircraft(30000, standAt(kEham, 2)));
  gActs.back().phase = PHASE_PARKED;
  gActs.back().state = ACT_PRESENT;
  gActs.back().objectId = 402;
  gStaticParkingList.push_back(StaticPlan{2, 0, "DLH", "A320", "DLH1", "", "", 1});
  RecordingSink sink;
  gf_leaveParkAirport();
  EXPECT_TRUE(std::any_of(sink.messages.begin(), sink.messages.end(),
                          [](const std::string& m) { return m.find("did not succeed") != std::string::npos; }));
  EXPECT_EQ(std::vector<std::uint32_t>(gRemovalQueue.begin(), gRemovalQueue.end()),
            (std::vector<std::uint32_t>{401, 402}));
  EXPECT_TRUE(gStands.empty());
  EXPECT_TRUE(gStaticParkingList.empty());
  EXPECT_TRUE(gParkAirportCode.empty());
  EXPECT_EQ(MAX_LIVE.value, 80);
  gUserMaxLive = -1;
}

// Run under -DSKLM_TSAN=ON: the window thread's choice never races the steps.
TEST_F(StaticParking, SelectingFromTheWindowIsServedByTheMainLoop) {
  write("EHAM", kEham, 6);
  write("EHLE", kEhle, 6);
  user(kEham, true);
  // Relaxed flags order nothing: the window only asks, and the list is read
  // and changed on this thread alone. The window starts once the list is being read.
  std::atomic<bool> reading{false};
  std::atomic<int> selections{0};
  std::atomic<bool> selecting{true};
  std::thread window([&] {
    while (!reading.load(std::memory_order_relaxed)) std::this_thread::yield();
    for (int i = 0; i < 10000; ++i) {
      DESTINATION.setValue(i % 2 ? "EHAM" : "EHLE");
      gParkAirportSelectRequest.store(true);
      selections.fetch_add(1, std::memory_order_relaxed);
    }
    selecting = false;
  });
  const std::int32_t range = LATERAL_RANGE.value;
  for (int step = 0; step < 50 || selecting.load(); ++step) {
    gf_checkParkAirport(false);
    if (gf_hasParkStands()) gf_parkingAdjustments();
    gf_serveParkAirportSelection();
    // The automatic range of an aircraft low in the air reads the list's first
    // airport, until a selection came while it read.
    gUserOnGround = false;
    const int seen = selections.load(std::memory_order_relaxed);
    reading.store(true, std::memory_order_relaxed);
    do gf_autoRange();
    while (selections.load(std::memory_order_relaxed) == seen && selecting.load(std::memory_order_relaxed));
    gUserOnGround = true;
  }
  window.join();
  gf_serveParkAirportSelection();
  gf_setLateralRange(range);
  // Each selection served moved or added one entry: no doubles, the last one first.
  ASSERT_FALSE(gParkAirports.empty());
  EXPECT_EQ(gParkAirports.front().icao, "EHAM");
  EXPECT_EQ(std::count_if(gParkAirports.begin(), gParkAirports.end(),
                          [](const ParkAirport& a) { return a.icao == "EHAM"; }),
            1);
  EXPECT_LE(gParkAirports.size(), 2U);
  EXPECT_EQ(gParkAirportCode, "EHAM");
}

}  // namespace
