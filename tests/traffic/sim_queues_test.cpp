// The command queues, the Frame flush and the matching of created objects,
// against the in-process stand-in driven in lockstep.
#include <gtest/gtest.h>

#include <thread>

#include "sim_link_support.h"
#include "traffic/sim_ids.h"

using namespace simlink;
using namespace std::chrono_literals;

namespace {

standin::Scenario twoAircraft() {
  standin::Scenario sc;
  sc.firstAiObjectId = 100;
  standin::AircraftSpec a;
  a.atcId = "OTHER1";
  a.latDeg = 52.31;
  a.lonDeg = 4.77;
  sc.objects = {a, a};
  return sc;
}

CreateReq creation(const std::string& tail, std::uint32_t hexid, std::string_view title = "Known Livery") {
  CreateReq r;
  r.initPos = {52.3, 4.76, 0, 0, 0, 90, 1, 0};
  r.tailNumber = tail;
  r.liveryTitle = title;
  r.hexid = hexid;
  return r;
}

TEST_F(SimLinkTest, SimLinkFrameSendsEachQueueInOrderAndEmptiesThem) {
  startStandIn(twoAircraft());
  openInLockstep();
  gUserObjectId = 1;
  gPosSetsWrite->push_back({52.31, 4.77, 0, 0, 1.0, 500, 0, 150, 100});
  gPosSetsWrite->push_back({52.0, 4.0, 0, 0, 0, 0, 0, 0, 1});  // the user's: never sent
  gPosSetsWrite->push_back({52.32, 4.78, 0, 0, 1.0, 600, 0, 150, 101});
  gf_handOverPosSets();
  lf_queueLights(100, {1, 1, 0, 0, 1, 1, 0});
  {
    std::lock_guard lock(gScMutex);
    gEventCmds.push_back({101, EV_FLAPS_SET, 2});
    gEventCmds.push_back({101, EV_GEAR_SET, 1});
  }
  lf_queueCreation(creation("KLM12", 20000));
  lf_queueRemoval(101);
  lf_queueRemoval(1);  // the user aircraft: logged, nothing sent
  frame();

  std::vector<std::string> order;
  for (const auto& line : trace()) {
    std::string event = line["event"];
    if (event == "position") order.push_back("position " + std::to_string(line["id"].get<int>()));
    else if (event == "client_event") order.push_back(line["name"].get<std::string>() + " " + std::to_string(line["id"].get<int>()));
    else if (event == "release" || event == "remove" || event == "create")
      order.push_back(event + " " + std::to_string(line["id"].get<int>()));
  }
  std::vector<std::string> expected = {
      "position 100",       "position 101",          "NAV_LIGHTS_SET 100", "BEACON_LIGHTS_SET 100",
      "LANDING_LIGHTS_SET 100", "TAXI_LIGHTS_SET 100", "STROBES_SET 100",    "LOGO_LIGHTS_SET 100",
      "CABIN_LIGHTS_SET 100", "release 101",           "FLAPS_SET 101",      "release 101",
      "GEAR_SET 101",       "remove 101"};
  EXPECT_EQ(order, expected);
  ASSERT_EQ(gPendingCreations.size(), 1u);  // sent, awaiting its object
  EXPECT_EQ(gPendingCreations[0].tailNumber, "KLM12");
  EXPECT_EQ(gPendingCreations[0].hexid, 20000u);
  {
    std::lock_guard lock(gScMutex);
    EXPECT_TRUE(gPosSetsSend->empty());
    EXPECT_TRUE(gEventCmds.empty());
    EXPECT_TRUE(gCreateReqs.empty());
    EXPECT_TRUE(gRemoveIds.empty());
  }
  auto lines = m_log.lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
    return l.ends_with("!Simconnect call to remove AI ac with objectId 1");
  }));

  // A failing client event is shown and the flush goes on; it is no request error.
  gf_simConnectFailNextCalls("TransmitClientEvent", 1);
  gf_setNavLights(100, 0);
  lf_setCabinLights(100, 1);
  frame();
  EXPECT_EQ(m_sink.count("SimConnect TransmitClientEvent: 207 fails"), 1u);
  EXPECT_EQ(trace("client_event").back()["name"], "CABIN_LIGHTS_SET");
  EXPECT_EQ(gSimRequestErrors.load(), 0);

  // While another thread holds the mutex, the Frame sends nothing and the queue waits.
  {
    std::unique_lock held(gScMutex);
    gEventCmds.push_back({100, EV_NAV_LIGHTS_SET, 1});
    std::thread([] { lf_onFrame(); }).join();
    EXPECT_EQ(gEventCmds.size(), 1u);
  }
}

TEST_F(SimLinkTest, SimLinkMatchesCreatedObjectsToTheirCreations) {
  startStandIn();
  openInLockstep();
  gUserObjectId = 1;
  // Live and static creations, one static with hexid 0; an unknown title is refused.
  gf_simConnectFailNextCalls("GetLastSentPacketID", 1);  // still matched by tail number
  lf_queueCreation(creation("LIVE1", 20000));
  lf_queueCreation(creation("PARK0*", 0));
  lf_queueCreation(creation("PARK9*", 9999));
  lf_queueCreation(creation("BAD0*", 0, "No Such Livery"));
  frame();  // sent; the refusal comes back as exception 22
  frame();  // the stand-in materialises them
  EXPECT_EQ(trace("create").size(), 3u);
  {
    std::lock_guard lock(gScMutex);
    SimConnect_RequestDataOnSimObjectType(gHSimConnect, REQ_IN_RANGE, DEF_IN_RANGE, 10000,
                                          SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
  }
  settle();
  auto events = takeEvents();
  std::map<std::uint32_t, ObjectEvent> byKind;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> kinds;  // (kind, hexid)
  for (const auto& e : events) kinds.emplace_back(e.kind, e.value);
  std::sort(kinds.begin(), kinds.end());
  EXPECT_EQ(kinds, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                       {OBJ_CREATED_LIVE, 20000}, {OBJ_CREATED_STATIC, 0}, {OBJ_CREATED_STATIC, 9999},
                       {OBJ_CREATE_FAILED, 0}}));
  for (const auto& e : events) {
    if (e.kind == OBJ_CREATED_LIVE) {
      EXPECT_GT(e.second, 0.0);  // its height above ground
    }
    if (e.kind == OBJ_CREATED_STATIC) {
      EXPECT_EQ(e.second, 0.0);
    }
  }
  EXPECT_TRUE(gPendingCreations.empty());
  EXPECT_TRUE(gAddedObjectIds.empty());
  frame();  // the freezes queued by the matching go out
  auto objects = m_standIn->objects();
  EXPECT_EQ(std::count_if(objects.begin(), objects.end(), [](const standin::ObjectState& o) {
              return !o.user && o.released && o.frozenLatLon && o.frozenAltitude && o.frozenAttitude;
            }),
            3);
}

TEST_F(SimLinkTest, SimLinkByTypeAnswersTable) {
  gUserObjectId = 50;
  // Two pending creations with one tail number match in list order.
  gPendingCreations = {{1, 20001, "DUP"}, {2, 20002, "DUP"}};
  gAddedObjectIds = {60, 61};
  struct Case {
    DWORD id;
    double agl;
    std::string atc;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> events;  // (kind, value)
  } cases[] = {
      {60, 5.0, "DUP", {{OBJ_CREATED_LIVE, 20001}}},
      {61, 5.0, "DUP", {{OBJ_CREATED_LIVE, 20002}}},
      {62, 2400.0, "DLH4", {{OBJ_IN_RANGE, 1}}},
      {63, 2600.0, "DLH5", {}},
      {64, 100.0, "PARK*", {}},
      {65, 100.0, "", {}},
      {50, 100.0, "USER", {}},  // the user's own
  };
  for (const auto& c : cases) {
    auto answer = inRange(c.id, c.agl, -11.0, 1, c.atc);
    dispatch(answer);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> got;
    for (const auto& e : takeEvents()) got.emplace_back(e.kind, e.value);
    EXPECT_EQ(got, c.events) << c.id;
  }
  // An added object no pending creation claims.
  gAddedObjectIds = {70};
  auto stranger = inRange(70, 5.0, 0.0, 1, "ZZZ9");
  dispatch(stranger);
  EXPECT_TRUE(takeEvents().empty());
  EXPECT_EQ(m_log.lines().back(), "===> just created, but not by Skylume, oid: 70, callsign \"ZZZ9\" unknown");
  // A truncated answer is dropped.
  auto truncated = inRange(71, 5.0, 0.0, 1, "DLH6");
  truncated.size -= 8;
  dispatch(truncated);
  EXPECT_TRUE(takeEvents().empty());
}

TEST_F(SimLinkTest, SimLinkThirdRequestErrorPausesAndRestartsOnce) {
  startStandIn();
  openInLockstep();
  gUserObjectId = 1;
  gf_simConnectFailNextCalls("AICreateNonATCAircraft", 2);
  gf_simConnectFailNextCalls("AIRemoveObject", 1);
  lf_queueCreation(creation("A1", 20001));
  lf_queueCreation(creation("A2", 20002));
  lf_queueRemoval(100);
  frame();
  EXPECT_TRUE(gSimRequestsPaused.load());
  EXPECT_EQ(m_sink.count("SimConnect request error 3, see Log.txt"), 1u);
  EXPECT_EQ(doubles::exitCalls(), (std::vector<std::pair<ExitReason, int>>{{ExitReason::RESTART, 10}}));

  // Paused Frames send nothing and empty the queues under the mutex while
  // another thread keeps appending.
  std::atomic<bool> done{false};
  std::thread appender([&] {
    while (!done) {
      gf_setNavLights(100, 1);
      lf_queueRemoval(100);
    }
  });
  std::size_t before = trace().size();
  for (int i = 0; i < 20; ++i) frame();
  done = true;
  appender.join();
  lf_onFrame();
  {
    std::lock_guard lock(gScMutex);
    EXPECT_TRUE(gEventCmds.empty());
    EXPECT_TRUE(gRemoveIds.empty());
  }
  auto after = trace();
  EXPECT_TRUE(std::none_of(after.begin() + static_cast<std::ptrdiff_t>(before), after.end(), [](const auto& l) {
    return l["event"] == "client_event" || l["event"] == "remove";
  }));
  EXPECT_EQ(doubles::exitCalls().size(), 1u);
}

TEST_F(SimLinkTest, SimLinkErrorsFromTwoThreadsRestartExactlyOnce) {
  for (int round = 0; round < 20; ++round) {
    resetLink();
    std::thread a([] { gf_simRequestError(); gf_simRequestError(); });
    std::thread b([] { gf_simRequestError(); gf_simRequestError(); });
    a.join();
    b.join();
    EXPECT_TRUE(gSimRequestsPaused.load());
    ASSERT_EQ(doubles::exitCalls().size(), 1u);
  }
  EXPECT_EQ(m_sink.count("SimConnect request error 3, see Log.txt"), 20u);
}

TEST_F(SimLinkTest, SimLinkObjectGoneOnTheSimulatorsOwnAccount) {
  startStandIn(twoAircraft());
  openInLockstep();
  gUserObjectId = 1;
  ASSERT_TRUE(m_standIn->removeObject(100));
  settle();
  auto events = takeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, OBJ_REMOVED);
  EXPECT_EQ(events[0].objectId, 100u);
  // The engine has not drained it yet: a set still queued for it draws exception 3.
  gf_setNavLights(100, 1);  // user position is real from the scenario's block
  {
    std::lock_guard lock(gScMutex);
    SimConnect_RequestDataOnSimObject(gHSimConnect, REQ_USER_BLOCK, DEF_USER_BLOCK, SIMCONNECT_OBJECT_ID_USER,
                                      SIMCONNECT_PERIOD_ONCE, 0);
  }
  settle();
  frame();
  EXPECT_EQ(trace("exception").back()["code"], 3);
  EXPECT_EQ(m_log.lines().back(), "===> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
}

}  // namespace

namespace {

// The motion pass's hand-over: a busy mutex drops the tick's sets at 50 frames
// per second or less and waits above; the Frame sends only the newest tick's sets.
TEST_F(SimLinkTest, EngineTickHandOverDropsAtThirtyAndWaitsAtSixty) {
  startStandIn(twoAircraft());
  openInLockstep();
  gUserObjectId = 1;
  for (float rate : {30.0F, 60.0F}) {
    SCOPED_TRACE(rate);
    gFrameRate = rate;
    gPosSetsWrite->push_back({52.0, 4.0, 0, 0, 0, 100, 0, 0, 100});  // an older tick, handed over
    gf_handOverPosSets();
    std::atomic<bool> handed{false};
    std::thread tick;
    {
      std::unique_lock held(gScMutex);
      tick = std::thread([&] {
        gPosSetsWrite->push_back({52.1, 4.1, 0, 0, 0, 200, 0, 0, 100});  // this tick
        gf_handOverPosSets();
        handed = true;
      });
      if (rate <= 50.0F) {
        tick.join();  // it did not wait for the mutex
        EXPECT_TRUE(gPosSetsWrite->empty());
      }
    }
    if (tick.joinable()) tick.join();
    EXPECT_TRUE(handed.load());
    std::size_t before = trace("position").size();
    frame();
    auto sent = trace("position");
    ASSERT_EQ(sent.size(), before + 1);  // one set: never two ticks' worth
    double altitude = sent.back()["values"]["Plane Altitude"];
    EXPECT_EQ(altitude, rate <= 50.0F ? 100.0 : 200.0);
  }
}

}  // namespace
