#include <chrono>

#include "core/parameters.h"
#include "install_fixture.h"
#include "run_test_support.h"

namespace {

using namespace std::chrono_literals;
using StartUp = RunTest;

// What the start-up calls before the traffic phase, in order.
const std::vector<std::string> kBeforeTraffic{"gf_serveLiveryClearing", "gf_checkProgramUpdate", "gf_scanLiveries",
                                               "gf_createFlightPlanFolder"};

TEST_F(StartUp, FollowsTheOrderOfTheTrafficPhaseWithAndWithoutTheLink) {
  SKLM_SKIP_WITHOUT_FAKE_APPDATA();
  struct Case {
    bool aerowinx;
    bool rtLocal;
    bool linked;
  };
  for (const Case& c : {Case{false, false, false}, Case{false, true, true}, Case{true, false, false},
                        Case{true, true, false}}) {
    SCOPED_TRACE(sk::format("AEROWINX {} gRtLocal {}", c.aerowinx, c.rtLocal));
    run_doubles::clear();
    lf_resetRunState();
    gDataBaseRead = true;
    FakeInstallation install;
    if (c.rtLocal) install.realTraffic();
    storeParameters({{"MSFS_INSTALL_PATH", folder().string()},
                     {"AEROWINX", c.aerowinx ? "true" : "false"},
                     {"SCAN_AIRPORTS", "false"},
                     {"AUTO_RANGE", "true"},
                     {"LATERAL_RANGE", "40"}});
    gFlightRunning.store(true);
    gUserStateKnown.store(true);
    RunClock::TimePoint qnhStart{}, trafficStart{};
    double rangeAtTraffic = 0;
    run_doubles::behaviour().onCall = [&](const std::string& call) {
      // The simulator's answer: the user aircraft stands on the ground.
      if (call == "gf_requestUserOnGround") gUserOnGround.store(true);
      if (call == "reader(qnh,49004)") qnhStart = m_clock.now();
      if (call == "reader(traffic,49005)") {
        trafficStart = m_clock.now();
        rangeAtTraffic = gLateralRangeNm.load();
      }
      // The main loop began: end the run at its first tick.
      if (call == "gf_checkParkAirport(true)") gExitStarted.store(true);
    };

    lf_startUpSKLM();

    std::vector<std::string> expected = kBeforeTraffic;
    for (const char* call : {"gf_initTraffic", "gf_initLiveryMatching", "gf_reserveSimQueues", "gf_startSimconnect",
                             "gf_requestUserOnGround", "gf_requestUserAcPosition", "gf_requestUserAcTitle"}) {
      expected.push_back(call);
    }
    if (c.linked) {
      expected.push_back("lf_startServer(10747)");
      expected.push_back("lf_connectRealTraffic");
    }
    for (const char* call : {"reader(qnh,49004)", "reader(traffic,49005)", "gf_sendQs121",
                             "gf_checkParkAirport(true)", "gf_checkReaders@0"}) {
      expected.push_back(call);
    }
    EXPECT_EQ(run_doubles::calls(), expected);
    EXPECT_GE(trafficStart - qnhStart, 2s);
    // The first traffic meets the range the automatic range gives on the ground.
    EXPECT_EQ(rangeAtTraffic, 10.0);
    EXPECT_EQ(gRtProfessional.load(), false);
  }
  EXPECT_NE(logged().find("No traffic in this region?\n"), std::string::npos);
}

TEST_F(StartUp, WithoutADocsFolderStopsWithTheUserErrorAndStartsNoEngine) {
  std::filesystem::remove(folder() / "docs");
  gf_startUpThreadBody();
  EXPECT_EQ(gAppState.errorText, "41: Skylume must be run from the Skylume folder!");
  EXPECT_TRUE(run_doubles::calls().empty());
}

TEST_F(StartUp, TheUserPositionMustLeaveTheNullWindow) {
  struct Case {
    double latitude;
    double longitude;
    bool passes;
  };
  for (const Case& c : {Case{0.0005, 0.01, false}, Case{-0.0005, 0.01, true}}) {
    SCOPED_TRACE(c.latitude);
    run_doubles::clear();
    lf_resetRunState();
    gFlightRunning.store(true);
    gUserStateKnown.store(true);
    run_doubles::behaviour().position = UserAc{c.latitude, c.longitude};
    // Fifty polls stand for "waits on": then the run ends.
    int sleeps = 0;
    m_clock.setOnSleep([&] {
      if (++sleeps == 50) gExitStarted.store(true);
    });
    EXPECT_EQ(lf_requestUserOnGround(), c.passes);
    EXPECT_EQ(sleeps >= 50, !c.passes);
    m_clock.setOnSleep(nullptr);
  }
}

TEST_F(StartUp, AnExitDuringEachWaitEndsTheStartUpThreadWithinOnePoll) {
  // The call after which the wait is entered; the exit begins at its first poll.
  struct Case {
    const char* wait;
    const char* lastCallBefore;
    bool flight;
    bool userKnown;
  };
  const Case cases[] = {
      {"flight", "gf_startSimconnect", false, false},
      {"position", "gf_requestUserAcPosition", true, false},
      {"reader gap", "reader(qnh,49004)", true, true},
      {"traffic", "gf_sendQs121", true, true},
      {"running flight without beats", "gf_checkReaders@0", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wait);
    run_doubles::clear();
    lf_resetRunState();
    gFlightRunning.store(c.flight);
    gUserStateKnown.store(c.userKnown);
    std::atomic<bool> begun{false};
    std::atomic<int> pollsAfterExit{0};
    m_clock.setOnSleep([&] {
      if (begun.load()) {
        ++pollsAfterExit;
        return;
      }
      const auto calls = run_doubles::calls();
      if (!calls.empty() && calls.back() == c.lastCallBefore) {
        begun.store(true);
        gf_exit(ExitReason::USER_CLOSED_SIM, 0);
      }
    });
    std::thread startUp(gf_startUpThreadBody);
    ASSERT_TRUE(waitForExitPost());
    startUp.join();
    m_clock.setOnSleep(nullptr);
    // One poll may still be under way when the exit begins; the next test ends the thread.
    EXPECT_LE(pollsAfterExit.load(), 1);
    EXPECT_EQ(logged().find("did not end"), std::string::npos);
    const auto calls = run_doubles::calls();
    const auto removal = std::find(calls.begin(), calls.end(), "gf_removeAllForExit");
    ASSERT_NE(removal, calls.end());
    // The engine is touched by the exit only after the start-up thread ended.
    EXPECT_EQ(std::find(removal, calls.end(), "gf_checkReaders@0"), calls.end());
  }
}

TEST_F(StartUp, AnExitWhileWaitingForRealTrafficWakesTheAccept) {
  SKLM_SKIP_WITHOUT_FAKE_APPDATA();
  FakeInstallation install;
  install.realTraffic();
  gFlightRunning.store(true);
  gUserStateKnown.store(true);
  run_doubles::behaviour().connectBlocks = true;
  std::thread startUp(gf_startUpThreadBody);
  ASSERT_TRUE(run_doubles::waitForCall("lf_connectRealTraffic"));
  gf_exit(ExitReason::USER_CLOSED_SIM, 0);
  ASSERT_TRUE(waitForExitPost());
  startUp.join();
  const auto calls = callsFrom("lf_connectRealTraffic");
  // Woken by closing the link, ended before the removals, and no reader started.
  EXPECT_EQ(std::find(calls.begin(), calls.end(), "reader(qnh,49004)"), calls.end());
  EXPECT_LT(std::find(calls.begin(), calls.end(), "gf_wakeRtLink"),
            std::find(calls.begin(), calls.end(), "gf_removeAllForExit"));
  EXPECT_EQ(logged().find("did not end"), std::string::npos);
}

}  // namespace
