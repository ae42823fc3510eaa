// The link to the simulator: connection, dispatch and its end.
#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

#include "core/errors.h"
#include "core/parameters.h"
#include "airports/apf_loading.h"
#include "airports/park_airports.h"
#include "platform/simconnect_wire.h"
#include "platform/system.h"
#include "shell/app_state.h"
#include "sim_link_support.h"
#include "traffic/sim_ids.h"
#include "traffic/stand_handover.h"

using namespace simlink;
using namespace std::chrono_literals;

namespace {

// The retry sleep, stepped by the test: each call is counted and waits until
// the test lets it go (or the thread is stopped).
struct SteppedSleep {
  static inline std::mutex mutex;
  static inline std::condition_variable_any cv;
  static inline int calls = 0;
  static inline int released = 0;

  static void sleep(std::chrono::milliseconds pause, std::stop_token stop) {
    std::unique_lock lock(mutex);
    EXPECT_EQ(pause, 1000ms);
    int mine = ++calls;
    cv.notify_all();
    cv.wait(lock, stop, [&] { return released >= mine; });
  }
  static bool waitCalls(int n) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, 10s, [&] { return calls >= n; });
  }
  static void release(int n) {
    std::lock_guard lock(mutex);
    released = n;
    cv.notify_all();
  }
  static int count() {
    std::lock_guard lock(mutex);
    return calls;
  }
};

bool waitFor(const std::function<bool()>& condition) { return testing_traffic::waitUntil(condition); }

std::string userErrorText(int code, const std::string& text) { return qlx::UserErrorException(code, text).what(); }

TEST_F(SimLinkTest, SimLinkOpensOnceTheSimulatorProgramListens) {
  std::uint16_t port = simwire::Listener::listen(0).port();
  std::string address = "127.0.0.1:" + std::to_string(port);
  gf_setSimConnectAddress(address);
  gf_setSimconRetrySleep(&SteppedSleep::sleep);
  MSFS_2020.value = true;

  gf_startSimconnect();
  ASSERT_TRUE(SteppedSleep::waitCalls(1));  // the first open failed: nothing listens
  SteppedSleep::release(1);
  ASSERT_TRUE(SteppedSleep::waitCalls(2));
  auto program = simwire::ChildProcess::spawn(
      SKLM_SIMSTANDIN_EXE, {"--scenario", SKLM_TEST_DATA_DIR "/simstandin/schiphol.json", "--port",
                            std::to_string(port), "--app", "KittyHawk."});
  // Another process starts: it gives no signal, so look until it listens.
  ASSERT_TRUE(waitFor([&] { return simwire::Stream::connect("127.0.0.1", port).has_value(); }));
  SteppedSleep::release(2);
  ASSERT_TRUE(waitFor([] { return gAppState.simConnected.load(); }));
  ASSERT_TRUE(waitFor([&] { return m_log.contains("MSFS 2020 (11.0.282174.999) connected "); }));
  EXPECT_EQ(SteppedSleep::count(), 2);  // each failed open slept once; the next one opened
  EXPECT_EQ(m_sink.count("Waiting for MSFS 2020 ..."), 1u);
  EXPECT_EQ(gAppState.simName.get(), "MSFS 2020 (11.0.282174.999)");
  ASSERT_TRUE(waitFor([] { return gFlightRunning.load(); }));  // the "Sim" answer to the subscription
  gf_stopSimconnect();
  EXPECT_EQ(gHSimConnect, nullptr);
  EXPECT_TRUE(doubles::exitCalls().empty());
}

TEST_F(SimLinkTest, SimLinkRefusesASimulatorOtherThanTheChosenOne) {
  // On Windows each error is thrown inside the library's CallDispatch (the
  // stand-in's there, which ends the program should one cross it).
  struct Case {
    const char* app;
    bool msfs2020;
    std::string error;
    bool mismatch = false;  // the first registration call is answered with a version mismatch
  } cases[] = {
      {"SunRise", true,
       userErrorText(71, "MSFS 2024 is running ..., switch Sim or toggle the Install path checkbox of Skylume")},
      {"KittyHawk", false,
       userErrorText(71, "MSFS 2020 is running ..., switch Sim or toggle the Install path checkbox of Skylume")},
      {"Flight-Sim X!", true, userErrorText(77, "\"FlightSim X\" not being MSFS 2020 or MSFS 2024 connects ... ? ")},
      {"KittyHawk", true, userErrorText(95, "Simconnect Version Mismatch, dwindex: 0 "), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    standin::Scenario sc;
    sc.appName = c.app;
    standin::StandIn& sim = startStandIn(sc);
    if (c.mismatch) sim.failNextCalls(simwire::Call::SubscribeToSystemEvent, SIMCONNECT_EXCEPTION_VERSION_MISMATCH);
    MSFS_2020.value = c.msfs2020;
    Sink sink;
    gf_startSimconnect();
    ASSERT_TRUE(waitFor([&] { return !sink.errors().empty(); }));
    EXPECT_EQ(sink.errors(), std::vector<std::string>{c.error});
    gf_stopSimconnect();
    resetLink();
  }
  MSFS_2020.value = true;
}

#ifdef _WIN32
// A simulator's library that cannot be used is an error the user must mend:
// shown in the error line, in place of the waiting text. Not in the fixture,
// whose set-up loads the library; ctest gives each test a process of its own.
TEST(SimLinkLibrary, AMissingLibraryIsShownAsAnError) {
  const auto standin = gf_environmentVariable("SKLM_SIMCONNECT_DLL");
  ASSERT_TRUE(standin) << "ctest names the stand-in library";
  const std::string missing = *standin + ".gone";
  ASSERT_TRUE(gf_setEnvironmentVariable("SKLM_SIMCONNECT_DLL", missing));
  Sink sink;
  gf_startSimconnect();
  ASSERT_TRUE(waitFor([&] { return !sink.errors().empty(); }));
  gf_stopSimconnect();
  ASSERT_TRUE(gf_setEnvironmentVariable("SKLM_SIMCONNECT_DLL", *standin));
  EXPECT_EQ(sink.errors(), std::vector<std::string>{missing + " not found"});
  EXPECT_TRUE(sink.messages().empty());
}
#endif

TEST_F(SimLinkTest, SimLinkDispatchTable) {
  gUserObjectId = 50;
  // Sim 1 and 0.
  auto sim = systemEvent(EVENT_SIM, 1);
  dispatch(sim);
  EXPECT_TRUE(gFlightRunning.load());
  EXPECT_TRUE(gAppState.flightLight.load());
  sim.dwData = 0;
  dispatch(sim);
  EXPECT_FALSE(gFlightRunning.load());

  // ObjectAdded at or below the user id is ignored; ObjectRemoved passes any id on.
  for (DWORD id : {49u, 50u, 51u}) {
    auto added = objectEvent(EVENT_OBJECT_ADDED, id);
    dispatch(added);
  }
  EXPECT_EQ(gAddedObjectIds, std::vector<std::uint32_t>{51});
  for (DWORD id : {7u, 51u}) {
    auto removed = objectEvent(EVENT_OBJECT_REMOVED, id);
    dispatch(removed);
  }
  auto events = takeEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].objectId, 7u);
  EXPECT_EQ(events[0].kind, OBJ_REMOVED);
  EXPECT_EQ(events[1].objectId, 51u);
  EXPECT_TRUE(gAddedObjectIds.empty());  // dropped on its ObjectRemoved

  // Unused ids are silent, an unknown one is logged.
  for (DWORD id : {12u, 16u, 27u, 10u}) {
    auto m = message<SIMCONNECT_RECV>(id);
    dispatch(m);
  }
  EXPECT_EQ(m_log.lines(), std::vector<std::string>{"! Unknown Dispatch dwID 10"});

  // The frame rate is taken on every 30th Frame.
  auto frame = message<SIMCONNECT_RECV_EVENT_FRAME>(SIMCONNECT_RECV_ID_EVENT_FRAME);
  for (int i = 1; i <= 60; ++i) {
    frame.fFrameRate = static_cast<float>(i);
    dispatch(frame);
    if (i == 29) {
      EXPECT_EQ(gFrameRate.load(), 0.0F);
    }
  }
  EXPECT_EQ(gFrameRate.load(), 60.0F);

  // Exceptions.
  auto unrecognized = exception(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
  dispatch(unrecognized);  // no real user position yet: silent
  EXPECT_EQ(m_log.lines().size(), 1u);
  struct Case {
    DWORD code;
    std::string logged;
    std::string shown;
  } cases[] = {
      {11, "", "SimConnect: too many objects (max 1000)"},
      {19, "SIMCON EXCEP 19", ""},
      {23, "===> Simconnect Exception: load flight plan failed", ""},
      {24, "SIMCON EXCEP 24", ""},
      {31, "===> SIMCON EXCEP 31", ""},
  };
  for (const auto& c : cases) {
    auto e = exception(c.code);
    dispatch(e);
    if (!c.logged.empty()) {
      EXPECT_EQ(m_log.lines().back(), c.logged) << c.code;
    }
    if (!c.shown.empty()) {
      EXPECT_EQ(m_sink.messages().back(), c.shown);  // the line logs what it shows
    }
  }
  auto mismatch = exception(SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 0, 4);
  try {
    dispatch(mismatch);
    ADD_FAILURE() << "no exception";
  } catch (const qlx::UserErrorException& e) {
    EXPECT_STREQ(e.what(), "95: Simconnect Version Mismatch, dwindex: 4 ");
  }

  // A truncated message is dropped; the next one is still handled.
  auto shortRemoved = objectEvent(EVENT_OBJECT_REMOVED, 60);
  dispatch(shortRemoved, 20);
  EXPECT_EQ(m_log.lines().back(), "! SimConnect message dwID 5 too short: 20 bytes");
  auto shortFlight = systemEvent(EVENT_SIM, 1);
  dispatch(shortFlight, 16);
  EXPECT_FALSE(gFlightRunning.load());
  auto next = objectEvent(EVENT_OBJECT_REMOVED, 61);
  dispatch(next);
  events = takeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].objectId, 61u);
  EXPECT_TRUE(doubles::exitCalls().empty());
}

TEST_F(SimLinkTest, SimLinkReadsTextsWithinTheirField) {
  // An OPEN name filling its whole field without a terminating zero.
  auto open = message<SIMCONNECT_RECV_OPEN>(SIMCONNECT_RECV_ID_OPEN);
  std::memset(open.szApplicationName, 'A', sizeof open.szApplicationName);
  try {
    dispatch(open);
    ADD_FAILURE() << "no exception";
  } catch (const qlx::UserErrorException& e) {
    EXPECT_EQ(std::string(e.what()), userErrorText(77, "\"" + std::string(256, 'A') + "\" not being MSFS 2020 or MSFS 2024 connects ... ? "));
  }
  // An empty name.
  gAppState.simConnected = false;
  std::memset(open.szApplicationName, 0, sizeof open.szApplicationName);
  dispatch(open);
  EXPECT_EQ(m_log.lines().back(), "! Simulator name empty?");
  EXPECT_FALSE(gAppState.simConnected.load());
  // An ATC ID of 32 characters without a zero is matched whole.
  gUserObjectId = 2;
  auto added = objectEvent(EVENT_OBJECT_ADDED, 300);
  dispatch(added);
  gPendingCreations.push_back({7, 20000, std::string(32, 'C')});
  auto answer = inRange(300, 10.0, 0.0, 1, std::string(32, 'C'));
  dispatch(answer);
  auto events = takeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].value, 20000u);
}

TEST_F(SimLinkTest, SimLinkEndsWhenTheSimulatorLeavesButNotOnceAnExitBegan) {
  struct Case {
    const char* how;
    bool exitBegun;
  } cases[] = {{"quit", false}, {"drop", false}, {"quit", true}, {"drop", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.how) + (c.exitBegun ? " during an exit" : ""));
    standin::StandIn& sim = startStandIn();
    testing_traffic::LogCapture log;
    gf_startSimconnect();
    ASSERT_TRUE(waitFor([] { return gAppState.simConnected.load(); }));
    gExitStarted = c.exitBegun;
    std::string(c.how) == "quit" ? sim.quit() : sim.dropConnections();
    ASSERT_TRUE(waitFor([] { return !gAppState.simConnected.load(); }));
    gf_stopSimconnect();  // the thread has ended by itself
    auto lines = log.lines();
    bool told = std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
      return l.ends_with(" Flight Simulator no longer connected, Skylume will stop ...");
    });
    EXPECT_EQ(told, !c.exitBegun);
    auto calls = doubles::exitCalls();
    auto expected = c.exitBegun ? std::vector<std::pair<ExitReason, int>>{}
                                : std::vector<std::pair<ExitReason, int>>{{ExitReason::SIM_WAS_CLOSED, 0}};
    EXPECT_EQ(calls, expected);
    EXPECT_FALSE(gFlightRunning.load());
    resetLink();
  }
}

TEST_F(SimLinkTest, SimLinkStopJoinsAndClosesEveryRestart) {
  standin::StandIn& sim = startStandIn();
  for (int cycle = 1; cycle <= 3; ++cycle) {
    gf_startSimconnect();
    ASSERT_TRUE(sim.waitConnections(cycle, 30s));
    ASSERT_TRUE(waitFor([] { return gAppState.simConnected.load(); }));
    EXPECT_EQ(sim.openSessions(), 1u);
    auto start = std::chrono::steady_clock::now();
    gf_stopSimconnect();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(gHSimConnect, nullptr);
    ASSERT_TRUE(waitFor([&] { return sim.openSessions() == 0; }));  // the stand-in saw the close
  }
  // A Close still in flight when the socket goes can reach the stand-in as a reset.
  EXPECT_EQ(trace("close").size() + trace("disconnect").size(), 3u);
  EXPECT_TRUE(doubles::exitCalls().empty());
}

}  // namespace

namespace {

// Runs in a scratch folder holding airports/, so that the park-airport list saves there.
struct AirportsFolder {
  AirportsFolder() : previous(std::filesystem::current_path()) {
    std::filesystem::create_directories(scratch / "airports");
    std::filesystem::current_path(scratch.path());
  }
  ~AirportsFolder() { std::filesystem::current_path(previous); }
  ScratchFolder scratch;
  std::filesystem::path previous;
};

TEST_F(SimLinkTest, SimLinkFlightLoadedStoresTheUserStandOffTheSimConnectThread) {
  struct Case {
    double groundSpeed;
    bool stateKnown;
    bool atThreadEnd;  // else on FlightLoaded, taken by the main loop
    bool stored;
  } cases[] = {{0.0, true, false, true}, {0.0, true, true, true}, {2.5, true, false, false},
               {0.0, false, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(sk::format("{} kt, known {}, at end {}", c.groundSpeed, c.stateKnown, c.atThreadEnd));
    AirportsFolder folder;
    standin::Scenario sc;
    sc.user.groundSpeedKts = c.groundSpeed;
    // The new flight starts off the stand: the user moves once frames come.
    sc.route = {{52.3, 4.76, 0.0}, {52.5, 4.76, 3000.0}};
    sc.routeSpeedKts = 160.0;
    startStandIn(sc);
    gParkAirports = {{"EHAM", "", 52.3, 4.76, 0.0}};
    gParkAirportCode = "EHAM";
    doubles::setStandName("D7");
    gf_startSimconnect();
    ASSERT_TRUE(waitFor([] { return gAppState.simConnected.load(); }));
    gf_requestUserAcPosition();
    ASSERT_TRUE(waitFor([] { return gf_latestUserAc().latitude != 0.0; }));
    gUserStateKnown = c.stateKnown;
    if (!c.atThreadEnd) {
      m_standIn->loadFlight("flight.FLT");
      ASSERT_TRUE(waitFor([] { return !doubles::exitCalls().empty(); }));
      EXPECT_EQ(doubles::exitCalls()[0], (std::pair<ExitReason, int>{ExitReason::RESTART, 45}));
      EXPECT_TRUE(doubles::standNameThreads().empty());  // nothing worked out on the SimConnect thread
      m_standIn->step(20);
      gf_requestUserAcPosition();
      ASSERT_TRUE(waitFor([] { return gf_latestUserAc().groundSpeed > 100.0; }));
    }
    gf_stopSimconnect();
    auto threads = doubles::standNameThreads();
    EXPECT_TRUE(std::all_of(threads.begin(), threads.end(), [](auto id) { return id == std::this_thread::get_id(); }));
    EXPECT_EQ(gParkAirports.front().reservedStand, c.stored ? "D7" : "");
    EXPECT_EQ(std::filesystem::exists("airports/my_park_airports.txt"), c.stored);
    gParkAirports.clear();
    gParkAirportCode.clear();
    resetLink();
  }
}

}  // namespace
