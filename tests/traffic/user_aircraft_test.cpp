// What the system learns of the user's own aircraft: blocks, beat, teleports,
// simulator time, title and model, and the stand under it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "core/clock.h"
#include "liveries/dbase.h"
#include "shell/app_state.h"
#include "sim_link_support.h"
#include "traffic/sim_ids.h"

using namespace simlink;
using namespace std::chrono_literals;

namespace {

UserAc block(double lat, double lon) {
  UserAc b;
  b.latitude = lat;
  b.longitude = lon;
  return b;
}

void sendBlock(const UserAc& b, DWORD objectId = 9) {
  auto a = dataAnswer(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, REQ_USER_BLOCK, objectId, &b, sizeof b);
  dispatch(a);
}

void sendOnGround(std::int64_t onGround) {
  auto a = dataAnswer(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, REQ_USER_ON_GROUND, 1, &onGround, sizeof onGround);
  dispatch(a);
}

// A text answer of exactly `text`'s bytes, followed in memory by bytes that
// are not zero: a reader that runs past the message would pick them up.
void sendText(DWORD requestId, const std::string& text, std::size_t field) {
  std::string bytes = text;
  bytes.resize(std::max(field, text.size()), '\0');
  DataAnswer a = dataAnswer(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, requestId, 1, bytes.data(), bytes.size());
  auto* raw = reinterpret_cast<char*>(a.storage.data());
  std::memset(raw + a.size, 'X', a.storage.size() * 8 - a.size);
  dispatch(a);
}

class UserAircraftTest : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    gf_resetUserAircraft();
  }
  void TearDown() override {
    // The link's thread stops first (and the link's reset clears the user
    // aircraft): it may still be handling a position block.
    SimLinkTest::TearDown();
    gRtProfessional = false;
    gAppState.userStand.clear();
    gAppState.userTitle.clear();
  }
};

TEST_F(UserAircraftTest, UserAircraftAnswersFromTheStandIn) {
  standin::Scenario sc;
  sc.userObjectId = 7;
  sc.user.altitudeFt = -40;
  sc.user.groundSpeedKts = 3;
  sc.user.lightStates = 5;
  gRtProfessional = true;
  startStandIn(sc);
  openInLockstep();

  gf_requestUserAcPosition();
  settle();
  const UserAc b = gf_latestUserAc();
  EXPECT_DOUBLE_EQ(b.latitude, 52.3);
  EXPECT_DOUBLE_EQ(b.longitude, 4.76);
  EXPECT_EQ(b.altitude, 0.0);
  EXPECT_DOUBLE_EQ(b.groundSpeed, 3.0);
  EXPECT_EQ(b.lightStates, 5);
  EXPECT_EQ(b.zuluYear, 2024);
  EXPECT_EQ(b.zuluDayOfYear, 183);
  EXPECT_EQ(gUserObjectId.load(), 7u);
  EXPECT_EQ(gSimTime.load(), 1719792000);

  // The once-a-second answer beats on the frames that begin a simulated second (30 per second).
  ASSERT_TRUE(gf_requestUserOnGround());
  settle();
  std::vector<int> beats;
  for (int f = 1; f <= 60; ++f) {
    frame();
    if (gSecondTick.exchange(false)) beats.push_back(f);
  }
  EXPECT_EQ(beats, (std::vector<int>{1, 30, 60}));
  EXPECT_TRUE(gUserStateKnown.load());
  EXPECT_TRUE(gUserOnGround.load());
}

TEST_F(UserAircraftTest, UserAircraftAtTheNullPositionHasNoStateThroughTheStandIn) {
  standin::Scenario sc;
  sc.user.latDeg = 0.0005;
  sc.user.lonDeg = 0.01;
  m_standIn = std::make_unique<standin::StandIn>(sc, standin::StandInOptions{0, m_scratch / "trace.jsonl"});
  gf_setSimConnectAddress(m_standIn->address());
  openInLockstep();
  ASSERT_TRUE(gf_requestUserOnGround());
  int beats = 0;
  for (int f = 1; f <= 31; ++f) {
    gf_requestUserAcPosition();
    frame();
    beats += gSecondTick.exchange(false) ? 1 : 0;
  }
  EXPECT_EQ(gf_latestUserAc().latitude, 0.0005);
  EXPECT_EQ(beats, 2);
  EXPECT_FALSE(gUserStateKnown.load());
  EXPECT_TRUE(doubles::exitCalls().empty());
}

TEST_F(UserAircraftTest, UserAircraftPositionsTeleportsAndSimulatorTime) {
  // The simulator's null position is no position: no on-ground state, no teleport test.
  sendBlock(block(0.0005, 0.01));
  sendOnGround(1);
  EXPECT_TRUE(gSecondTick.exchange(false));
  EXPECT_FALSE(gUserStateKnown.load());
  sendBlock(block(52.0, 4.0));
  // Nor is a position that is not finite: the last one stays.
  sendBlock(block(std::numeric_limits<double>::quiet_NaN(), 4.0));
  sendBlock(block(52.0, std::numeric_limits<double>::infinity()));
  EXPECT_EQ(gf_latestUserAc().latitude, 52.0);
  EXPECT_TRUE(doubles::exitCalls().empty());

  struct Move {
    double toLat;
    bool teleport;
  } moves[] = {{52.0 + 9.5 / 60.0, false}, {52.0 + 9.5 / 60.0 + 10.5 / 60.0, true}};
  for (const auto& m : moves) {
    sendBlock(block(m.toLat, 4.0));
    auto calls = doubles::exitCalls();
    doubles::clearExitCalls();
    if (m.teleport) {
      EXPECT_EQ(calls, (std::vector<std::pair<ExitReason, int>>{{ExitReason::RESTART, 45}}));
      EXPECT_EQ(m_log.lines().back(), "Teleport");
    } else {
      EXPECT_TRUE(calls.empty()) << m.toLat;
    }
  }

  gRtProfessional = true;
  struct Time {
    std::int64_t year, day, seconds, expected;
  } times[] = {
      {2024, 183, 0, 1719792000},
      {2024, 366, 86399, 1735689599},
      {2024, 0, 5, 1735689599},    // day of year 0: the previous value stays
      {2023, 366, 5, 1735689599},  // no day 366 in 2023
      {1969, 1, 5, 1735689599},
      {2023, 365, 0, 1703980800},
  };
  for (const auto& t : times) {
    UserAc b = block(52.0, 4.0);
    b.zuluYear = t.year;
    b.zuluDayOfYear = t.day;
    b.zuluTime = t.seconds;
    sendBlock(b);
    EXPECT_EQ(gSimTime.load(), t.expected) << t.year << " " << t.day;
  }

  // The static CG of an AI object goes to the engine as a kind-4 event; other requests are ignored.
  const double cg[2] = {8.5, 0.02};
  auto answer = dataAnswer(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, REQ_STATIC_CG, 300, cg, sizeof cg);
  dispatch(answer);
  auto other = dataAnswer(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 150, 301, cg, sizeof cg);
  dispatch(other);
  const auto events = takeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].objectId, 300u);
  EXPECT_EQ(events[0].kind, OBJ_STATIC_CG);
  EXPECT_EQ(events[0].first, 8.5);
  EXPECT_EQ(events[0].second, 0.02);
}

TEST_F(UserAircraftTest, UserAircraftModelRules) {
  gCategoryWingspans.fill(0.0);  // an unknown code has no span
  gMaxWingspan = 0.05;
  const std::pair<const char*, double> spans[] = {{"A359", 0.0175}, {"B38M", 0.0097}, {"B77W", 0.0175},
                                                  {"DH8", 0.0075},  {"CRJ7", 0.0063}, {"E190", 0.0078},
                                                  {"B738", 0.0097}, {"A320", 0.0096}};
  for (const auto& [type, span] : spans) doubles::setModel(type, 2, span);
  const std::string raw32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // fills ATC MODEL without a zero

  struct Case {
    std::string title;
    std::string model;
    double span;
    bool known;
    std::string lastLine;  // after the ten blanks of an indented line
    std::string message;
  } cases[] = {
      {"", "A350-900", 0.0175, true, "SimConnect: User aircraft model: A359, half wing span: 32.4 meter, category: Large", ""},
      {"", "N738B", 0.0097, true, "SimConnect: User aircraft model: B38M, half wing span: 18.0 meter, category: Large", ""},
      {"", "SimObjects_B77W.0.text", 0.0175, true,
       "SimConnect: User aircraft model: B77W, half wing span: 32.4 meter, category: Large", ""},
      {"", "Sim_DH8.0.text", 0.0075, true, "SimConnect: User aircraft model: DH8, half wing span: 13.9 meter, category: Large", ""},
      {"", "ab.0.text", 0.05, false, "SimConnect: User aircraft model: ab.0.text, category: Light",
       "User aircraft wing span unknown, max is taken instead, please report in my Forum!"},
      {"", "$$:CRJ7", 0.0063, true, "SimConnect: User aircraft model: CRJ7, half wing span: 11.7 meter, category: Large", ""},
      {"", "$$:X", 0.0, true, "SimConnect: User aircraft model: $$:X, half wing span: 0.0 meter, category: Light", ""},
      {"PMDG DG 737-700 / DG 737-800", "737", 0.0097, true,
       "SimConnect: User aircraft model: B738, half wing span: 18.0 meter, category: Large", ""},
      {"", "camerapod", 0.0078, true, "model raw: camerapod ", ""},
      {"Aerosoft A320 CFM", "A320X", 0.0096, true,
       "SimConnect: User aircraft model deduced from title: A320, half wing span: 17.8 meter, category: Large", ""},
      {"", "A320X", 0.05, false, "SimConnect: User aircraft model: A320X, category: Light",
       "User aircraft wing span unknown, max is taken instead, please report in my Forum!"},
      {"", raw32, 0.05, false, "SimConnect: User aircraft model: " + raw32 + ", category: Light",
       "User aircraft wing span unknown, max is taken instead, please report in my Forum!"},
      {"", "", 0.0063, true, "",
       "171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    gf_resetUserAircraft();
    gAppState.userSpanKnown = !c.known;
    if (!c.title.empty()) sendText(REQ_USER_TITLE, c.title, 0);
    const std::size_t messages = m_sink.messages().size();
    sendText(REQ_USER_MODEL, c.model, 32);
    EXPECT_DOUBLE_EQ(gUserHalfSpan.load(), c.span);
    if (!c.model.empty()) {
      EXPECT_EQ(gAppState.userSpanKnown.load(), c.known);
    }
    if (!c.lastLine.empty()) {
      EXPECT_EQ(m_log.lines().back(), std::string(10, ' ') + c.lastLine);
    }
    const auto shown = m_sink.messages();
    if (c.message.empty()) {
      EXPECT_EQ(shown.size(), messages);
    } else {
      EXPECT_EQ(shown.back(), c.message);
    }
  }
  EXPECT_EQ(gAppState.userTitle.get(), "Unknown (encrypted?) aircraft");

  // Titles: kept to 48 characters, read within the message; an empty one changes nothing.
  const std::string long60 = std::string(48, 'T') + "123456789012";
  sendText(REQ_USER_TITLE, long60, 0);
  EXPECT_EQ(gUserTitle.get(), std::string(48, 'T'));
  EXPECT_EQ(gAppState.userTitle.get(), std::string(48, 'T'));
  EXPECT_EQ(m_log.lines().back(), std::string(10, ' ') + "SimConnect: User aircraft title: " + std::string(48, 'T'));
  sendText(REQ_USER_TITLE, "", 0);
  EXPECT_EQ(m_log.lines().back(), "! title of your ac is empty?");
  EXPECT_EQ(gUserTitle.get(), std::string(48, 'T'));
}

TEST_F(UserAircraftTest, UserAircraftCopiesAreNeverTorn) {
  // Every field of block k says k; a copy that mixes two blocks shows two numbers.
  auto blockOf = [](std::int64_t k) {
    const double d = static_cast<double>(k);
    UserAc b{50.0 + d * 1e-7, 4.0 + d * 1e-7, d, d, d, d, d, d, k, k, k, k};
    return b;
  };
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (std::int64_t k = 0; !done.load(); k = (k + 1) % 1000) sendBlock(blockOf(k));
  });
  std::size_t torn = 0;
  for (int i = 0; i < 1'000'000; ++i) {
    const UserAc c = gf_latestUserAc();
    if (c.latitude == 0.0) continue;  // before the first block
    const UserAc whole = blockOf(c.lightStates);
    if (std::memcmp(&c, &whole, sizeof c) != 0) ++torn;
  }
  done = true;
  writer.join();
  EXPECT_EQ(torn, 0u);
  EXPECT_TRUE(doubles::exitCalls().empty());
}

TEST_F(UserAircraftTest, UserAircraftStandIsWorkedOutOnTheMainLoop) {
  doubles::setStandName("A12");  // the stand-in's user starts on it
  standin::Scenario sc;
  sc.userObjectId = 7;
  sc.route = {{52.3, 4.76, 0}, {52.4, 4.76, 0}};
  sc.routeSpeedKts = 360;  // 185 m from the stand after one simulated second
  standin::StandIn& sim = startStandIn(sc);
  gf_startSimconnect();
  ASSERT_TRUE(testing_traffic::waitUntil([] { return gAppState.simConnected.load(); }));

  gf_requestUserAcPosition();
  ASSERT_TRUE(testing_traffic::waitUntil([] { return gUserObjectId.load() == 7; }));
  gf_updateUserStand(gf_requestUserAcPosition());
  EXPECT_EQ(gUserStandName, "A12");
  EXPECT_EQ(gAppState.userStand.get(), "A12");

  const std::vector<std::thread::id> mainLoop{std::this_thread::get_id()};
  EXPECT_EQ(doubles::standNameThreads(), mainLoop);  // never the SimConnect thread

  sim.step(30);
  doubles::setStandName("");
  gf_requestUserAcPosition();
  ASSERT_TRUE(testing_traffic::waitUntil([] { return gf_latestUserAc().latitude > 52.301; }));
  gf_updateUserStand(gf_requestUserAcPosition());
  EXPECT_EQ(gUserStandName, "");
  EXPECT_EQ(gAppState.userStand.get(), "");

  EXPECT_EQ(doubles::standNameThreads(), mainLoop);
}

}  // namespace
