#include "core/parameters.h"
#include "core/parameters_xml.h"
#include "run_test_support.h"

namespace {

using ExitRestart = RunTest;

TEST_F(ExitRestart, OnlyTheFirstOfTwoConcurrentExitsRuns) {
  std::thread other([] { gf_exit(ExitReason::SYSTEM_ERROR, 0); });
  gf_exit(ExitReason::USER_CLOSED_SIM, 0);
  other.join();
  ASSERT_TRUE(waitForExitPost());
  const std::string log = logged();
  const auto first = log.find("Exiting: ");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(log.find("Exiting: ", first + 1), std::string::npos);
}

TEST_F(ExitRestart, RestartsResetTheRunAndFinalExitsEndIt) {
  struct Case {
    ExitReason reason;
    int delay;
    bool scansKept;
    bool restart;
    std::vector<std::string> countdown;
  };
  const Case cases[] = {
      {ExitReason::RESTART, 3, false, true,
       {"Prepare for a restart ...", "Restarting after 3 seconds", "Restarting after 2 seconds",
        "Restarting after 1 second"}},
      {ExitReason::RESTART_IPP, 2, true, true, {"Restarting after 2 seconds", "Restarting after 1 second"}},
      {ExitReason::USER_CLOSED_SIM, 3, true, false, {}},
      {ExitReason::SIM_WAS_CLOSED, 0, true, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(gf_exitReasonName(c.reason));
    run_doubles::clear();
    lf_resetRunState();
    RecordingSink sink;
    SCAN_LIVERIES.value = true;
    SCAN_AIRPORTS.value = true;
    DESTINATION.setAndSave("EHAM");
    BLOCK_CALLSIGN.setAndSave("KLM123");
    gFlightRunning.store(true);
    gSeconds.store(77);
    gUserAc = UserAc{52.0, 4.0};
    const auto generation = gRunGeneration.load();

    gf_exit(c.reason, c.delay);
    ASSERT_TRUE(waitForExitPost());

    std::vector<std::string> shown;
    for (const auto& message : sink.messages) {
      if (!message.empty()) shown.push_back(message);
    }
    EXPECT_EQ(shown, c.countdown);
    EXPECT_EQ(SCAN_LIVERIES.value, c.scansKept);
    EXPECT_EQ(SCAN_AIRPORTS.value, c.scansKept);
    EXPECT_EQ(saved("DESTINATION"), c.restart ? "EHAM" : "");
    EXPECT_EQ(saved("BLOCK_CALLSIGN"), c.restart ? "KLM123" : "");
    EXPECT_EQ(gRestart.load(), c.restart);
    EXPECT_EQ(gExitStarted.load(), !c.restart);
    const auto calls = run_doubles::calls();
    EXPECT_EQ(calls.back(), c.restart                                   ? "post(0x8001)"
                            : c.reason == ExitReason::SIM_WAS_CLOSED ? "post(0x8002, 2)"
                                                                      : "post(0x8002)");
    if (c.restart) {
      if (!c.scansKept) {
        EXPECT_EQ(saved("SCAN_LIVERIES"), "false");
        EXPECT_EQ(saved("SCAN_AIRPORTS"), "false");
      }
      EXPECT_FALSE(gFlightRunning.load());
      EXPECT_EQ(gSeconds.load(), 0);
      EXPECT_EQ(gUserAc.latitude, 0.0);
      EXPECT_EQ(gExitReason.load(), ExitReason::NOT_YET_SET);
      EXPECT_EQ(gRunGeneration.load(), generation + 1);
      EXPECT_NE(std::find(calls.begin(), calls.end(), "gf_resetTraffic"), calls.end());
    } else {
      // A later exit does nothing: no second shutdown races the process end.
      gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
      EXPECT_EQ(count("stopReaders"), 1);
      EXPECT_EQ(std::find(calls.begin(), calls.end(), "gf_resetTraffic"), calls.end());
    }
  }
}

// An exit that throws half-way, a restart's too, still ends the program as a
// failure: no later close could, as the exit stays begun. The destination and
// blocked callsign are emptied as by any end of the program.
TEST_F(ExitRestart, AFinalExitThatThrowsStillEndsTheProgram) {
  for (const ExitReason reason : {ExitReason::USER_CLOSED_SIM, ExitReason::RESTART}) {
    SCOPED_TRACE(gf_exitReasonName(reason));
    run_doubles::clear();
    lf_resetRunState();
    DESTINATION.setAndSave("EHAM");
    BLOCK_CALLSIGN.setAndSave("KLM123");
    run_doubles::behaviour().onCall = [](const std::string& call) {
      if (call == "gf_removeFlightPlanFolder") throw std::runtime_error("folder in use");
    };
    gf_exit(reason, 3);
    ASSERT_TRUE(waitForExitPost());
    EXPECT_EQ(run_doubles::calls().back(), "post(0x8002, 1)");
    EXPECT_NE(logged().find("FinalExit: folder in use"), std::string::npos) << logged();
    EXPECT_EQ(saved("DESTINATION"), "");
    EXPECT_EQ(saved("BLOCK_CALLSIGN"), "");
  }
  EXPECT_NE(logged().find("RESTART failed: the program ends"), std::string::npos) << logged();
  run_doubles::behaviour().onCall = {};
}

TEST_F(ExitRestart, RemovalsAreSentBeforeTheSimConnectThreadStopsAndTheStateIsReset) {
  // With requests running a Frame sends the removals; with requests paused no
  // Frame comes within the bound and the objects are removed directly.
  for (const bool sent : {true, false}) {
    SCOPED_TRACE(sent);
    run_doubles::clear();
    lf_resetRunState();
    run_doubles::behaviour().removalsSent = sent;
    gf_exit(ExitReason::RESTART, 0);
    ASSERT_TRUE(waitForExitPost());
    std::vector<std::string> expected{"stopReaders", "gf_wakeRtLink", "gf_removeAllForExit",
                                      "gf_waitExitRemovalsSent"};
    if (!sent) expected.push_back("gf_removeExitObjectsDirectly");
    for (const char* call : {"lf_stopServer", "gf_stopSimconnect", "gf_clearLiveryMemory",
                             "gf_removeFlightPlanFolder", "gf_resetSimConnection", "gf_resetTraffic",
                             "gf_resetParkControl", "post(0x8001)"}) {
      expected.push_back(call);
    }
    EXPECT_EQ(run_doubles::calls(), expected);
  }
}

TEST_F(ExitRestart, ACloseDuringTheCountdownEndsTheProgramInsteadOfRestarting) {
  // Two seconds into the countdown (the run already reset) the user closes the window.
  int countdownSleeps = 0;
  m_clock.setOnSleep([&] {
    if (count("gf_resetTraffic") == 1 && !gExitStarted.load() && ++countdownSleeps == 2) {
      gf_exit(ExitReason::USER_CLOSED_SIM, 0);
    }
  });
  gf_exit(ExitReason::RESTART, 45);
  ASSERT_TRUE(run_doubles::waitForCall("post(0x8002)"));
  EXPECT_TRUE(gf_waitStartUpEnded(std::chrono::seconds(30)));
  EXPECT_EQ(count("post(0x8001)"), 0);
  const std::string log = logged();
  EXPECT_NE(log.find("Exiting: RESTART\n"), std::string::npos);
  EXPECT_NE(log.find("Exiting: USER CLOSED SIM\n"), std::string::npos);
  EXPECT_NE(log.find("User closed Skylume\n"), std::string::npos);
}

}  // namespace
