#include <map>

#include "core/parameters.h"
#include "run_test_support.h"

namespace {

using MainLoop = RunTest;

std::vector<std::string> lf_matching(const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& call : run_doubles::calls()) {
    if (call.rfind(prefix, 0) == 0) found.push_back(call);
  }
  return found;
}

TEST_F(MainLoop, PeriodicTasksFollowTheBeatsOfARunningFlight) {
  struct Case {
    int renewalAt;  // 0: no renewal requested
    bool parkLoadPending;  // the start's check chose a park airport, loaded at the next
    std::vector<std::string> parkChecks;
    std::vector<std::string> renewal;
    int groundAt = 0;  // the beat after which the user stands on the ground; 0: never
  };
  const std::vector<std::string> everySixteen = {"gf_checkParkAirport@16", "gf_checkParkAirport@32",
                                                 "gf_checkParkAirport@48", "gf_checkParkAirport@64"};
  const Case cases[] = {
      {0, false, everySixteen, {}},
      {0, true, everySixteen, {}},
      {14, false,
       {"gf_checkParkAirport@32", "gf_checkParkAirport@48", "gf_checkParkAirport@64"},
       {"gf_blockParkingUi@15", "gf_parkingAdjustments@30"}},
      // Seen on the ground at the 16th beat: the position catches up two beats later.
      {0, false, {"gf_checkParkAirport@18", "gf_checkParkAirport@32", "gf_checkParkAirport@48",
                   "gf_checkParkAirport@64"},
       {}, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.renewalAt << (c.parkLoadPending ? ", park airport loading" : "")
                                    << ", on the ground after " << c.groundAt);
    run_doubles::clear();
    lf_resetRunState();
    run_doubles::behaviour().hasParkStands = true;
    run_doubles::behaviour().parkLoadPending = c.parkLoadPending;
    std::map<int, bool> accepting;  // by second
    gAppState.parkAirportCode.set("EHAM");
    gFlightRunning.store(true);
    gRtProfessional.store(true);
    gSimTime.store(1000);
    int minutesAt60 = -1;
    m_clock.setOnSleep([&] {
      const int n = gSeconds.load();
      if (n == 60) minutesAt60 = gAppState.minutesToRenewal.load();
      if (n == 15 || n == 17) {
        std::lock_guard lock(gUpdateMutex);
        accepting[n] = gAcceptUpdates;
      }
      if (n == c.renewalAt && n > 0) gRenewParkingRequest.store(true);
      if (n == c.groundAt && n > 0) gUserOnGround.store(true);
      if (n < 64) {
        gSecondTick.store(true);
      } else {
        gExitStarted.store(true);
      }
    });
    mainLoop();
    EXPECT_EQ(lf_matching("gf_checkParkAirport"),
              [&] {
                std::vector<std::string> all{"gf_checkParkAirport(true)"};
                all.insert(all.end(), c.parkChecks.begin(), c.parkChecks.end());
                return all;
              }());
    EXPECT_EQ(lf_matching("gf_checkReaders"), (std::vector<std::string>{"gf_checkReaders@0", "gf_checkReaders@59"}));
    EXPECT_EQ(lf_matching("lf_sendQs123"), (std::vector<std::string>{"lf_sendQs123@15", "lf_sendQs123@30",
                                                                      "lf_sendQs123@45", "lf_sendQs123@60"}));
    std::vector<std::string> renewal = lf_matching("gf_blockParkingUi");
    for (const auto& call : lf_matching("gf_parkingAdjustments")) renewal.push_back(call);
    EXPECT_EQ(renewal, c.renewal);
    EXPECT_EQ(minutesAt60, 19);
    // Traffic waits for the park airport the start chose until its file is loaded.
    EXPECT_EQ(accepting, (std::map<int, bool>{{15, !c.parkLoadPending}, {17, true}}));
    EXPECT_FALSE(gRenewParkingRequest.load());
    EXPECT_EQ(gSeconds.load(), 64);
  }
  gAppState.parkAirportCode.clear();
}

TEST_F(MainLoop, WithoutAFlightItKeepsTheLinkAliveAndResumesWithTheFlight) {
  int ticks = 0;
  m_clock.setOnSleep([&] {
    ++ticks;
    if (ticks == 250) {
      gFlightRunning.store(true);
      gSecondTick.store(true);
    }
    if (ticks == 251) gExitStarted.store(true);
  });
  mainLoop();
  const std::string log = logged();
  const auto notRunning = log.find(" Flight not running\n");
  ASSERT_NE(notRunning, std::string::npos);
  EXPECT_EQ(log.find(" Flight not running\n", notRunning + 1), std::string::npos);
  EXPECT_NE(log.find(" Flight resumed\n"), std::string::npos);
  EXPECT_EQ(count("gf_sendQs121"), 2);
  EXPECT_EQ(count("gf_clearPositionSets"), 1);
  std::lock_guard lock(gUpdateMutex);
  EXPECT_TRUE(gAcceptUpdates);
}

TEST_F(MainLoop, KeepsItsTenMillisecondScheduleAndRebasesAtABeat) {
  using std::chrono::milliseconds;
  int sleeps = 0;
  m_clock.setOnSleep([&] {
    ++sleeps;
    // The tick after the 5th sleep overruns by 35 ms.
    if (sleeps == 5) m_clock.advance(milliseconds(45));
    // A beat arrives 3 ms after the 10th sleep's deadline.
    if (sleeps == 10) {
      m_clock.advance(milliseconds(13));
      gSecondTick.store(true);
    }
    if (sleeps == 14) gExitStarted.store(true);
  });
  gFlightRunning.store(true);
  mainLoop();
  const auto start = m_clock.start();
  std::vector<long> deadlines;
  for (const auto& deadline : m_clock.deadlines()) {
    deadlines.push_back(std::chrono::duration_cast<milliseconds>(deadline - start).count());
  }
  // 60, 70 and 80 are caught up without sleeping; after the beat at 133 the
  // schedule runs from there.
  EXPECT_EQ(deadlines, (std::vector<long>{10, 20, 30, 40, 50, 90, 100, 110, 120, 130, 143, 153, 163, 173}));
}

}  // namespace
