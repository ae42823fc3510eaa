// The road of static parked aircraft end to end: the program's main-loop tick
// runs the engine and the 16-s control step against the simulator stand-in on
// the bed's clock; the park airport is chosen, loaded and planned from its
// learned use, its aircraft are created at their stands, and leaving it
// removes them and saves what changed exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <set>
#include <thread>

#include "airports/airport_list.h"
#include "airports/archived_files.h"
#include "airports/park_airports.h"
#include "airports/static_parking.h"
#include "core/paths.h"
#include "liveries/dbase.h"
#include "liveries/livery_tables.h"
#include "park_scenario.h"
#include "shell/commands.h"
#include "shell/main_loop.h"
#include "shell/rt_link.h"
#include "shell/startup.h"
#include "stand_test_support.h"
#include "tests/airports/park_apf_test_support.h"
#include "tests/platform/thread_state.h"
#include "tools/simstandin/standin.h"
#include "traffic/commands.h"
#include "traffic/readers.h"
#include "traffic/update_queue.h"
#include "traffic/user_aircraft.h"

namespace {

using namespace park;

constexpr int kStands = 24;
constexpr const char* kPublisher = "Road & Sons";

// A1 under the user aircraft, A3 40 m beyond A2 (adjacent), the others 150 m
// apart; each stand with its own heading and, on every weekday, one option for
// every half-hour with a registration and callsign of its own.
std::vector<Stand> lf_roadStands() {
  std::vector<Stand> stands;
  double metres = 0;
  for (int i = 0; i < kStands; ++i) {
    metres += i == 0 ? 0.0 : i == 2 ? 40.0 : 150.0;
    const LatLon at = lf_from(kPark, metres / 1852.0, 0.0);
    Stand& stand = stands.emplace_back(sk::format("A{}", i + 1), std::vector<StandOption>{},
                                       StandPosition{at.lat, at.lon, 0.1 * i}, 30.0, false, false, false);
    for (std::uint32_t day = 1; day <= 7; ++day) {
      StandOption option;
      option.operatorCode = "KLM";
      option.type = "B738";
      option.registration = sk::format("PH-{}{}", i + 1, day);
      option.firstCallsign = sk::format("KLM{}", (i + 1) * 10 + day);
      option.day = day;
      option.id = day;
      option.slots.set();
      stand.options.push_back(option);
    }
  }
  return stands;
}

// Every service is the program's own here: the data base and the livery
// tables are filled as their reads would fill them.
void lf_seedKlmB738() {
  gAircraftModels.insert("B738");
  gLargeModels.insert("B738");
  gWingspans["B738"] = 0.0097;
  gLiveriesByModelAirline[kPax]["KLM"]["B738"] = {kTitle};
}

// Whether a B738's report at the position, on the ground or at 2375 ft, gets
// through the program's traffic reader to the update queue (left empty).
bool lf_reachesEngine(const LatLon& at, bool onGround) {
  std::vector<std::string> fields = testing_traffic::baseFields();
  fields[2] = sk::format("{:.6f}", at.lat);
  fields[3] = sk::format("{:.6f}", at.lon);
  if (onGround) fields[4] = "0", fields[8] = "12.0";
  lf_onTrafficDatagram(gTrafficReader, testing_traffic::joinFields(fields));
  return !testing_traffic::takeQueued().empty();
}

class ParkAirportRoad : public stand_test::StandTest {
 protected:
  void SetUp() override {
    StandTest::SetUp();
    m_folder = std::make_unique<WorkFolder>();
    m_saved = {MAX_LIVE.value, LATERAL_RANGE.value, parking_percentage.value};
    m_flags = {AUTO_RANGE.value, PARK_SOFT.value, PARK_FAKE.value};
  }
  void TearDown() override {
    gParkAirportLoaded.store(0);
    gf_resetParkControl();
    gf_unblockParkingUi();
    gParkAirportCode.clear();
    gParkAirports.clear();
    gf_resetAirports();
    gLearnSoftLocked = 0;
    gf_clearDataBase();
    gLiveriesByModelAirline[kPax].clear();
    gAppState.reservedStand.set("");
    std::tie(MAX_LIVE.value, LATERAL_RANGE.value, parking_percentage.value) = std::tuple_cat(m_saved);
    std::tie(AUTO_RANGE.value, PARK_SOFT.value, PARK_FAKE.value) = std::tuple_cat(m_flags);
    m_folder.reset();
    StandTest::TearDown();
  }

  std::unique_ptr<WorkFolder> m_folder;
  std::array<std::int32_t, 3> m_saved{};
  std::array<bool, 3> m_flags{};
};

TEST_F(ParkAirportRoad, ChosenLoadedPlannedCreatedAndLeft) {
  testing_traffic::LogCapture log;
  // The fixture: the airport list, the parking file and its learned file.
  m_folder->write("input/airports_msfs.xml",
                  sk::format("<airports><airport code=\"EHAM\" iata=\"AMS\" lat=\"{}\" lon=\"{}\" alt=\"0\"/></airports>",
                             kPark.lat, kPark.lon));
  gf_resetAirports();
  ASSERT_TRUE(gf_readAirports());
  const std::vector<Stand> stands = lf_roadStands();
  ApfAirport airport;
  airport.icao = "EHAM";
  airport.airport_name = "Schiphol";
  airport.publisher = kPublisher;
  airport.stands = stands;
  for (Stand& stand : airport.stands) stand.options.clear();  // the use is learned
  writeArchived("airports/my_thirdparty/EHAM.xml", airport);
  airport.stands = stands;
  const std::filesystem::path learned = LearnedThirdpartyFolder / gf_publisherFolderName(kPublisher) / "EHAM.xml";
  parking_percentage.value = 25;
  LEARN_SOFT.value = true;
  AUTO_RANGE.value = true;
  PARK_SOFT.value = PARK_FAKE.value = false;
  std::filesystem::create_directories(learned.parent_path());
  ASSERT_TRUE(gf_writeApf(airport, learned, APF_LEARNED));
  lf_seedKlmB738();
  gUserMaxLive.store(MAX_LIVE.value);

  scenario::DriverSetup setup = lf_parkSetup(m_folder->path() / "trace.jsonl");
  setup.park.reset();  // the control step chooses it
  setup.world.user.latDeg = kPark.lat;
  setup.world.user.lonDeg = kPark.lon;
  setup.world.user.onGround = true;
  setup.user = kPark;
  setup.engineTick = [] { lf_tick(); };
  scenario::Driver driver(setup);
  scenario::FeedBuilder feed(static_cast<double>(setup.epoch), 1);
  ASSERT_TRUE(gf_requestUserOnGround());  // the start-up's request: its answers beat the main loop's seconds
  gSeconds.store(0);
  gf_checkParkAirport(true);
  std::int64_t chosenTick = -1, loadTick = -1;
  while (loadTick < 0 && driver.tick() < 4000) {
    driver.run(feed, 1);
    if (chosenTick < 0 && !gParkAirportCode.empty()) {
      // The choice reaches the reader: ground reports within 5 nm of the
      // airport go on to the engine, those farther out do not, airborne ones there do.
      chosenTick = driver.tick();
      EXPECT_TRUE(lf_reachesEngine(lf_from(kPark, 4.5, 90.0), true));
      EXPECT_FALSE(lf_reachesEngine(lf_from(kPark, 6.0, 90.0), true));
      EXPECT_TRUE(lf_reachesEngine(lf_from(kPark, 6.0, 90.0), false));
    }
    if (gf_hasParkStands()) loadTick = driver.tick();
  }
  ASSERT_GE(loadTick, 0) << "never loaded";
  EXPECT_LT(chosenTick, loadTick);
  // 24 stands at a quality above 45 switch soft learning off.
  EXPECT_TRUE(gLearnSoftLocked);
  EXPECT_FALSE(LEARN_SOFT.value);
  EXPECT_EQ(gLearnedFile.learnedPath, learned);
  ASSERT_TRUE(lf_runUntilPresent(driver, feed, 1000));

  const auto creates = lf_traceEvents(driver.traceFile(), "create");
  ASSERT_EQ(creates.size(), 6U);
  std::set<std::string> used;
  for (std::size_t i = 0; i < creates.size(); ++i) {
    const std::int64_t tick = creates[i]["frame"].get<std::int64_t>() * setup.ticksPerFrame;
    EXPECT_GE(tick, loadTick - setup.ticksPerFrame) << i;  // the trace counts frames of 3 ticks
    EXPECT_LE(tick - loadTick, 400) << i;
    if (i > 0) {
      EXPECT_GE(tick - creates[i - 1]["frame"].get<std::int64_t>() * setup.ticksPerFrame, 48) << i;
    }
    // Within the parking file's precision: a metre and a hundredth of a radian.
    const auto stand = std::find_if(stands.begin(), stands.end(), [&](const Stand& s) {
      return std::abs(s.latitude - creates[i]["lat"].get<double>()) < 1e-5 &&
             std::abs(s.longitude - creates[i]["lon"].get<double>()) < 1e-5 &&
             std::abs(s.heading - creates[i]["heading"].get<double>()) < 0.01;
    });
    ASSERT_NE(stand, stands.end()) << creates[i].dump();
    used.insert(stand->name);
  }
  EXPECT_EQ(used.size(), 6U);
  EXPECT_FALSE(used.contains("A1"));
  EXPECT_FALSE(used.contains("A2") && used.contains("A3"));

  // Taking off and climbing away to 40 nm, 5 nm a second (a longer jump is a
  // teleport, which restarts the run): the next control step leaves the airport.
  for (int nm = 5; nm <= 40; nm += 5) {
    const LatLon away = lf_from(kPark, nm, 90.0);
    driver.standIn().setUser(away.lat, away.lon, 10000.0, false);
    driver.run(feed, 100);
  }
  const std::int64_t bound = driver.tick() + 1600;
  while (!gParkAirportCode.empty() && driver.tick() < bound) driver.run(feed, 1);
  ASSERT_TRUE(gParkAirportCode.empty()) << "never left";
  driver.run(feed, 300);
  // Left, no ground report gets through, not even one near the airport (once
  // the automatic range has widened to reach it from the user aircraft).
  const std::int64_t rangeBound = driver.tick() + 4000;
  while (gLateralRangeNm.load() < 40.0 && driver.tick() < rangeBound) driver.run(feed, 1);
  EXPECT_TRUE(lf_reachesEngine(lf_from(kPark, 4.5, 90.0), false));
  EXPECT_FALSE(lf_reachesEngine(lf_from(kPark, 4.5, 90.0), true));
  const auto removals = lf_removals(driver.traceFile());
  for (const auto& create : creates) {
    const auto removed = removals.find(create["id"].get<std::uint32_t>());
    EXPECT_TRUE(removed != removals.end() && removed->second == 1) << create.dump();
  }
  const auto saves = [&] {
    const auto lines = log.lines();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("saved with 0 updates and one or more parameter changes") != std::string::npos;
    });
  };
  EXPECT_EQ(saves(), 1);

  // The learned file: same path, soft learning off, every learned option kept.
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(learned.c_str()));
  EXPECT_EQ(lf_xmlValueBool(document, "LEARN_SOFT"), false);
  std::vector<Stand> saved;
  gf_readParkPositions(document, saved);
  std::set<std::string> before, after;
  for (const Stand& stand : stands)
    for (const StandOption& option : stand.options) before.insert(stand.name + option.registration + option.firstCallsign);
  for (const Stand& stand : saved)
    for (const StandOption& option : stand.options) after.insert(stand.name + option.registration + option.firstCallsign);
  EXPECT_EQ(after, before);

  // The shutdown finds nothing left to save.
  const std::string bytes = readBytes(learned);
  gf_leaveParkAirport();
  driver.finish();
  EXPECT_EQ(readBytes(learned), bytes);
  EXPECT_EQ(saves(), 1);
}

// The window never waits for the main loop: while the engine tick waits in a
// real accept for RealTraffic to come back, a new destination and AUTO_RANGE
// switched on return at once; the main loop's next second applies both.
TEST_F(ParkAirportRoad, TheWindowAnswersWhileTheTickWaitsForRealTraffic) {
  using namespace std::chrono_literals;
  m_folder->write(
      "input/airports_msfs.xml",
      sk::format("<airports><airport code=\"EHAM\" iata=\"AMS\" lat=\"{}\" lon=\"{}\" alt=\"0\"/></airports>",
                 kPark.lat, kPark.lon));
  gf_resetAirports();
  ASSERT_TRUE(gf_readAirports());
  const UserAc inTheAir{.latitude = kPark.lat + 12.0 / 60.0, .longitude = kPark.lon, .altitude = 1000.0};
  gUserAc = inTheAir;
  gUserOnGround = false;
  AUTO_RANGE.value = false;
  gRtLocal = true;
  lf_startServer("0");  // any free port: nothing connects
  gTick.store(100);     // the tick that sends the position request
  std::atomic<pid_t> tickThread{0};
  std::thread tick([&] {
    tickThread = gf_currentThreadId();
    gf_trafficTick();
  });
  ASSERT_TRUE(gf_waitUntilAsleep(tickThread));
  const auto start = std::chrono::steady_clock::now();
  auto window = std::async(std::launch::async, [] {
    lf_applyDestination("EHAM");
    lf_onCommand(nullptr, AUTO_RANGE.controlId);
    return std::chrono::steady_clock::now();
  });
  const bool answered = window.wait_for(5s) == std::future_status::ready;
  gf_wakeRtLink();
  tick.join();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(window.get() - start);
  gRtLocal = false;
  lf_stopServer();
  EXPECT_TRUE(answered) << "the window waited for the main loop";
  RecordProperty("window_ms", static_cast<int>(took.count()));
  EXPECT_TRUE(gParkAirports.empty());

  gUserAc = inTheAir;
  gf_serveCommandRequests();
  ASSERT_EQ(gParkAirports.size(), 1U);
  EXPECT_EQ(gParkAirports.front().icao, "EHAM");
  EXPECT_EQ(LATERAL_RANGE.value, 15) << "12 nm from the new first park airport";
  DESTINATION.setValue("");
}

}  // namespace
