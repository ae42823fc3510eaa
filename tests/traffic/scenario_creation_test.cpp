// Live aircraft coming into the simulator: the commands sent to one object,
// the placement of created objects and removals while a creation is under way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "airports/stand.h"
#include "core/errors.h"
#include "core/parameters.h"
#include "core/random.h"
#include "engine_placement.h"
#include "platform/window.h"
#include "shell/app_state.h"
#include "traffic/commands.h"
#include "airports/learned_save.h"
#include "core/geometry.h"
#include "liveries/dbase_lookups.h"
#include "liveries/uncreatable_titles.h"
#include "shell/run_state.h"
#include "traffic/arbitration.h"
#include "traffic/engine_hooks.h"
#include "traffic/placement.h"
#include "traffic/sim_ids.h"
#include "doubles.h"
#include "scenario_driver.h"
#include "tests/platform/lone_control.h"
#include "tools/simstandin/standin.h"

using namespace simlink;

namespace {

constexpr double kDegree = 0.017453292519943295;

std::vector<EventCmd> takeCommands() {
  std::lock_guard lock(gScMutex);
  std::vector<EventCmd> commands;
  commands.swap(gEventCmds);
  return commands;
}

std::vector<std::uint32_t> takeRemoveIds() {
  std::lock_guard lock(gScMutex);
  std::vector<std::uint32_t> ids;
  ids.swap(gRemoveIds);
  return ids;
}

// (event, value) pairs of the commands sent to one object.
std::vector<std::pair<std::uint32_t, std::uint32_t>> commandsOf(const std::vector<EventCmd>& commands,
                                                               std::uint32_t objectId) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> sent;
  for (const EventCmd& c : commands)
    if (c.objectId == objectId) sent.emplace_back(c.eventId, c.value);
  return sent;
}

class ScenarioCreation : public EnginePlacementTest {
 protected:
  void SetUp() override {
    EnginePlacementTest::SetUp();
    gf_clearSimQueues();
    gLightsQueue.clear();
    gFlightPlanFolder = m_scratch.path();
    openStandIn();
  }
  void TearDown() override {
    gf_clearSimQueues();
    gLiveryMemo.clear();
    gGhostCallsigns.clear();
    gNoLiveryKeys.clear();
    gStands.clear();
    gAppState.reservedStand.set("");
    BLOCK_CALLSIGN.setValue("");
    MAX_LIVE.value = MAX_LIVE.defaultValue;
    GUID_CHANGES.value = GUID_CHANGES.defaultValue;
    gUserOnGround = false;
    RANDOM.value = RANDOM.defaultValue;
    NAV_LIGHTS_WHILE_PARKED.value = NAV_LIGHTS_WHILE_PARKED.defaultValue;
    MSFS_2020.value = MSFS_2020.defaultValue;
    doubles::setRealMotion(false);
    EnginePlacementTest::TearDown();
  }

  static Stand& addStand(const std::string& name, double northNm, bool cargo = false) {
    Stand& stand = gStands.emplace_back(name, std::vector<StandOption>{},
                                        StandPosition{kUserLat + northNm / 60.0, kUserLon, 1.0}, 30.0, cargo, false,
                                        false);
    stand.index = static_cast<std::uint32_t>(gStands.size());
    return stand;
  }

  // A live aircraft whose creation was sent, standing on the ground.
  static Act& creatingAct(std::uint32_t hexid, const std::string& callsign, bool airborne = false) {
    Act a = liveAct(hexid, callsign, 1.0);
    a.state = ACT_CREATION_REQUESTED;
    a.creationDecidedTick = gTick.load();
    a.track.front().airborne = airborne ? 1 : 0;
    a.phase = airborne ? PHASE_AIRBORNE : PHASE_GROUND;
    gf_appendAct(std::move(a));
    return gActs.back();
  }

  static void push(std::uint32_t kind, std::uint32_t objectId, std::uint32_t value, double first = 0.0,
                   double second = 0.0) {
    gf_pushObjectEvent({objectId, value, 0, kind, first, second});
  }

  // A reported aircraft in state 0 whose points are due now; its livery is known.
  static Act& reported(std::uint32_t hexid, const std::string& callsign, std::vector<TrackPoint> points) {
    Act a = liveAct(hexid, callsign, 0.0);
    a.pose = SimPose{};  // never placed
    a.track.assign(points.begin(), points.end());
    for (TrackPoint& p : a.track) p.dueTick = static_cast<std::uint32_t>(gTick.load());
    gLiveryMemo[hexid] = "Known Livery";
    gf_appendAct(std::move(a));
    return gActs.back();
  }
  // A point at the distance (nm) and bearing (degrees) from the user aircraft.
  static TrackPoint at(double nm, double bearing, double altitude, double groundSpeed = 0.0) {
    const LatLon p = gf_destinationPoint({kUserLat, kUserLon}, bearing * DEG_TO_RAD, nm * 6076.11549);
    TrackPoint t;
    t.latitude = p.lat;
    t.longitude = p.lon;
    t.altitude = altitude;
    t.groundSpeed = groundSpeed;
    t.airborne = altitude > 0.0 ? 1 : 0;
    t.stationary = altitude > 0.0 || groundSpeed > 0.0 ? 0 : 1;
    return t;
  }

  static void ticks(int count) {
    for (int i = 0; i < count; ++i) {
      gf_processCreatedObjects();
      lf_motionPass();
      ++gTick;
    }
  }
};

TEST_F(ScenarioCreation, CommandsSendWhatChangedAndParkingControlsFollowTheBlock) {
  struct Row {
    const char* what;
    AircraftCategory category;
    std::function<void(PlacedAct&)> act;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sent;
  };
  const Row rows[] = {
      {"a repeated flap level sends nothing", 2, [](PlacedAct& a) { lf_setFlaps(a, 2), lf_setFlaps(a, 2); },
       {{EV_FLAPS_SET, 10240}}},
      {"a repeated throttle level sends nothing", 2,
       [](PlacedAct& a) { lf_setThrottle(a, 3), lf_setThrottle(a, 3), lf_setThrottle(a, 5); },
       {{EV_THROTTLE_SET, 11468}}},
      {"gear is always sent", 2, [](PlacedAct& a) { lf_setGear(a, 1), lf_setGear(a, 1); },
       {{EV_GEAR_SET, 1}, {EV_GEAR_SET, 1}}},
      {"rotorcraft: throttle only", 5, [](PlacedAct& a) { lf_setFlaps(a, 1), lf_setGear(a, 0), lf_setThrottle(a, 4); },
       {{EV_THROTTLE_SET, 16383}}},
      {"parked at a cargo stand: cabin dark, also with RANDOM on", 2,
       [](PlacedAct& a) {
         RANDOM.value = true;
         NAV_LIGHTS_WHILE_PARKED.value = false;
         a.standCargo = 1;
         lf_parkAtStand(a);
       },
       {{EV_THROTTLE_SET, 0}, {EV_FLAPS_SET, 0}, {EV_ENGINE_AUTO_SHUTDOWN, 0}, {EV_NAV_LIGHTS_SET, 0},
        {EV_BEACON_LIGHTS_SET, 0}, {EV_LANDING_LIGHTS_SET, 0}, {EV_TAXI_LIGHTS_SET, 0}, {EV_STROBES_SET, 0},
        {EV_LOGO_LIGHTS_SET, 1}, {EV_CABIN_LIGHTS_SET, 0}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    StaticAct a(ActBase{}, 0, 0, 0, 0, false);
    a.objectId = 7;
    a.category = row.category;
    row.act(a);
    EXPECT_EQ(commandsOf(takeCommands(), 7), row.sent);
  }

  // RANDOM: the cabin light follows the seeded draw, nine in ten lit; never at a cargo stand.
  RANDOM.value = true;
  int lit = 0;
  for (int i = 0; i < 200; ++i) {
    StaticAct a(ActBase{}, 0, 0, 0, 0, false);
    a.objectId = 7;
    lf_parkAtStand(a);
    lit += static_cast<int>(commandsOf(takeCommands(), 7).back().second);
  }
  EXPECT_GT(lit, 160);
  EXPECT_LT(lit, 200);
  for (int i = 0; i < 20; ++i) {
    StaticAct a(ActBase{}, 0, 0, 0, 0, true);
    a.objectId = 7;
    lf_parkAtStand(a);
    EXPECT_EQ(commandsOf(takeCommands(), 7).back(), std::make_pair(EV_CABIN_LIGHTS_SET, 0u));
  }

  // Static withdrawals: by tail number, the others keep their order.
  for (std::uint32_t hexid : {1, 2, 3}) {
    gStaticActs.emplace_back(ActBase{}, 0, 0, 0, 0, false).hexid = hexid;
    gCreationQueue.push_back(creation(gStaticActs.back(), 0, 0));
    gCreationQueue.back().tailNumber = hexid == 2 ? "PHBXA*" : "OTHER*";
  }
  EXPECT_EQ(gf_withdrawStaticCreation("NONE*"), 0);
  EXPECT_EQ(gf_withdrawStaticCreation("PHBXA*"), 1);
  ASSERT_EQ(gCreationQueue.size(), 2u);
  EXPECT_EQ(gCreationQueue[0].hexid, 1u);
  EXPECT_EQ(gCreationQueue[1].hexid, 3u);
  lf_motionPass();
  ASSERT_EQ(gStaticActs.size(), 2u);
  EXPECT_EQ(gStaticActs[1].hexid, 3u);

  // Blocking and unblocking: exactly the nine parking controls.
  std::vector<std::pair<ControlBinding*, HWND>> controls;
  for (ControlBinding* c : std::initializer_list<ControlBinding*>{
           &parking_percentage, &INITIAL_LOAD_ONLY, &PARK_FAKE, &PARK_SOFT, &CUSTOM_MAX_PARK, &MAX_FIT_FL, &WEEK,
           &gFlushStaticButton, &gReReadButton, &LATERAL_RANGE, &MAX_LIVE}) {
    c->controlWindow = gf_loneControl(TEXT("button"));
    controls.emplace_back(c, c->controlWindow);
  }
  gAppState.statusCode = 0;
  for (const bool block : {true, false}) {
    block ? gf_blockParkingUi() : gf_unblockParkingUi();
    EXPECT_EQ(gParkingUiBlocked.load(), block ? 1 : 0);
    EXPECT_EQ(gAppState.statusCode.load(), block ? 0 : 19);
    for (std::size_t i = 0; i < controls.size(); ++i)
      EXPECT_EQ(IsWindowEnabled(controls[i].second) != FALSE, !block || i >= 9) << i;
  }
  for (auto& [binding, window] : controls) {
    binding->controlWindow = nullptr;
    DestroyWindow(window);
  }
}

TEST_F(ScenarioCreation, PlacedObjectsAreLitAndSettledAfterTwoHundredTicks) {
  MSFS_2020.value = false;
  Act& ground = creatingAct(20001, "KLM1");
  ground.key.origin = "AMS";
  ground.key.destination = "LHR";
  creatingAct(20002, "KLM2", true).pose.altitude = 12000.0;
  gStaticActs.emplace_back(ActBase{}, 0, 0, 0, 0, false).hexid = 5;
  gStaticActs.back().state = ACT_CREATION_REQUESTED;
  push(OBJ_CREATED_LIVE, 11, 20001, 0.0, 3.0);
  push(OBJ_CREATED_LIVE, 12, 20002, 0.0, 3000.0);
  push(OBJ_CREATED_STATIC, 13, 5);
  push(OBJ_CREATED_LIVE, 2, 20001);  // the user's id: refused
  ticks(1);
  auto first = takeCommands();
  EXPECT_EQ(commandsOf(first, 11), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{EV_GEAR_SET, 1}}));
  EXPECT_TRUE(commandsOf(first, 12).empty());
  EXPECT_TRUE(gf_findAct(20001)->hasFlightPlan);
  EXPECT_TRUE(std::filesystem::exists(m_scratch.path() / "11.pln"));
  EXPECT_FALSE(std::filesystem::exists(m_scratch.path() / "12.pln"));
  EXPECT_EQ(gf_findAct(20001)->objectId, 11u);

  ticks(199);
  EXPECT_TRUE(takeCommands().empty());
  for (const Act& a : gActs) EXPECT_EQ(a.state, ACT_CREATION_REQUESTED);
  ticks(1);
  const auto settled = takeCommands();
  EXPECT_EQ(commandsOf(settled, 11), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                                         {EV_SPOILERS_SET, 0}, {EV_ENGINE_AUTO_START, 0}, {EV_NAV_LIGHTS_SET, 1},
                                         {EV_BEACON_LIGHTS_SET, 1}, {EV_LANDING_LIGHTS_SET, 0},
                                         {EV_TAXI_LIGHTS_SET, 1}, {EV_STROBES_SET, 0}, {EV_LOGO_LIGHTS_SET, 1},
                                         {EV_CABIN_LIGHTS_SET, 1}, {EV_THROTTLE_SET, 0}, {EV_FLAPS_SET, 3072}}));
  EXPECT_EQ(commandsOf(settled, 12), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                                         {EV_ENGINE_AUTO_START, 0}, {EV_SPOILERS_SET, 0}, {EV_NAV_LIGHTS_SET, 1},
                                         {EV_BEACON_LIGHTS_SET, 1}, {EV_LANDING_LIGHTS_SET, 0},
                                         {EV_TAXI_LIGHTS_SET, 0}, {EV_STROBES_SET, 1}, {EV_LOGO_LIGHTS_SET, 0},
                                         {EV_CABIN_LIGHTS_SET, 1}}));
  EXPECT_EQ(commandsOf(settled, 13).size(), 10u);  // parked at its stand
  for (const Act& a : gActs) EXPECT_EQ(a.state, ACT_PRESENT);
  EXPECT_EQ(gStaticActs[0].state, ACT_PRESENT);
  EXPECT_EQ(gStaticActs[0].objectId, 13u);
  EXPECT_TRUE(gLightsQueue.empty());
  EXPECT_TRUE(takeRemoveIds().empty());
}

TEST_F(ScenarioCreation, PlacementEventsOnKnownObjects) {
  Stand& stand = addStand("A1", 1.0);
  Act& a = creatingAct(20001, "KLM1");
  a.state = ACT_PRESENT;
  a.objectId = 11;
  a.cgHeight = 5.0;
  a.standId = stand.index;
  stand.liveOccupied = true;
  const struct {
    double cg, pitch;
    double cgHeight, groundPitch;
  } cgRows[] = {{40.0, 3 * kDegree, 5.0, 0.7 * kDegree},
                {8.0, 1 * kDegree, 8.0, 1 * kDegree},
                {8.0, -1 * kDegree, 8.0, 0.7 * kDegree}};
  for (const auto& row : cgRows) {
    push(OBJ_STATIC_CG, 11, 0, row.cg, row.pitch);
    ticks(1);
    EXPECT_DOUBLE_EQ(gf_findAct(20001)->cgHeight, row.cgHeight) << row.cg;
    EXPECT_DOUBLE_EQ(gf_findAct(20001)->groundPitch, row.groundPitch) << row.pitch;
  }
  gf_findAct(20001)->onGround = true;
  push(OBJ_IN_RANGE, 11, 1, 100.0, 4.0);
  ticks(1);
  EXPECT_DOUBLE_EQ(gf_findAct(20001)->pose.altitude, 108.0);
  EXPECT_DOUBLE_EQ(gf_findAct(20001)->agl, 4.0);

  // Removed by the simulator on its own: record, stand and plan go.
  gf_findAct(20001)->hasFlightPlan = true;
  std::ofstream(m_scratch.path() / "11.pln") << "plan";
  push(OBJ_REMOVED, 11, 0);
  ticks(1);
  EXPECT_EQ(gf_findAct(20001), nullptr);
  EXPECT_FALSE(stand.liveOccupied);
  EXPECT_FALSE(std::filesystem::exists(m_scratch.path() / "11.pln"));

  // Removed during a livery change: created again under the same hexid.
  Act& change = creatingAct(20002, "KLM2");
  change.state = ACT_LIVERY_CHANGE;
  change.objectId = 12;
  change.throttleLevel = 0;
  change.track.front().dueTick = static_cast<std::uint32_t>(gTick.load() + 100000);
  push(OBJ_REMOVED, 12, 0);
  ticks(1);
  ASSERT_NE(gf_findAct(20002), nullptr);
  EXPECT_EQ(gf_findAct(20002)->objectId, 0u);
  EXPECT_TRUE(gf_findAct(20002)->recreated);
  EXPECT_EQ(gf_findAct(20002)->throttleLevel, 5u);

  // Refused by the simulator: the refusal is noted, record and stand go.
  Act& refused = creatingAct(20003, "KLM3");
  refused.standId = stand.index;
  refused.liveryTitle = "Refused Livery";
  stand.liveOccupied = true;
  push(OBJ_CREATE_FAILED, 0, 20003);
  ticks(1);
  EXPECT_EQ(gf_findAct(20003), nullptr);
  EXPECT_FALSE(stand.liveOccupied);
  const auto told = m_sink.messages();
  EXPECT_NE(std::find(told.begin(), told.end(), "KLM3 \"Refused Livery\" could not be created by your Sim!"), told.end());

  // Back in state 0 with its stand (a new callsign): erased by the motion pass
  // (reported once) or removed before it is created again, it frees the stand.
  for (const std::uint32_t hexid : {20004u, 20005u}) {
    Act& waiting = creatingAct(hexid, "KLM4");
    waiting.state = ACT_NOT_IN_SIM;
    waiting.standId = stand.index;
    stand.liveOccupied = true;
    if (hexid == 20005u) gf_removeAct(waiting);
    ticks(1);
    EXPECT_EQ(gf_findAct(hexid), nullptr);
    EXPECT_FALSE(stand.liveOccupied) << hexid;
  }

  // The 20th refusal of the process stops the run, but the rest of its batch
  // is taken first: the object matched after it is known to the exit's removals.
  for (std::uint32_t hexid = 20010; hexid < 20028; ++hexid) {
    creatingAct(hexid, "REF" + std::to_string(hexid)).liveryTitle = "Refused Livery";
    push(OBJ_CREATE_FAILED, 0, hexid);
    ticks(1);
  }
  creatingAct(20030, "REF20030").liveryTitle = "Refused Livery";
  creatingAct(20031, "KLM31");
  push(OBJ_CREATE_FAILED, 0, 20030);
  push(OBJ_CREATED_LIVE, 31, 20031);
  EXPECT_THROW(ticks(1), qlx::UserErrorException);
  ASSERT_NE(gf_findAct(20031), nullptr);
  EXPECT_EQ(gf_findAct(20031)->objectId, 31u);
}

TEST_F(ScenarioCreation, RemovalsWhileTheCreationIsUnderWay) {
  // Queued: withdrawn, never sent.
  Act& queued = creatingAct(20001, "QUEUED");
  gCreationQueuePrio.push_back(creation(queued, 0, 0));
  gf_removeAct(queued);
  EXPECT_TRUE(gCreationQueuePrio.empty());
  ticks(1);
  EXPECT_EQ(gf_findAct(20001), nullptr);

  // In flight: removed once, 200 ticks after its object appeared.
  gf_removeAct(creatingAct(20002, "FLIGHT"));
  push(OBJ_CREATED_LIVE, 12, 20002);
  ticks(200);
  EXPECT_TRUE(gRemovalQueue.empty());
  ticks(1);
  EXPECT_EQ(gRemovalQueue, (std::deque<std::uint32_t>{12}));
  EXPECT_EQ(gf_findAct(20002)->state, ACT_REMOVAL_REQUESTED);

  // An orphaned settle entry, and an object nobody waits for.
  creatingAct(20003, "ORPHAN");
  push(OBJ_CREATED_LIVE, 13, 20003);
  ticks(1);
  gActs.pop_back();
  push(OBJ_CREATED_LIVE, 14, 29999);
  ticks(1);
  EXPECT_EQ(takeRemoveIds(), (std::vector<std::uint32_t>{14}));
  ticks(200);
  EXPECT_EQ(takeRemoveIds(), (std::vector<std::uint32_t>{13}));
  EXPECT_TRUE(gLightsQueue.empty());

  // A creation whose object never comes frees its hexid after 60 s.
  creatingAct(20004, "LOST");
  ticks(kCreationTimeoutTicks);
  EXPECT_NE(gf_findAct(20004), nullptr);
  ticks(1);
  EXPECT_EQ(gf_findAct(20004), nullptr);

  // Withdrawals during a walk over gActs (the shutdown's) skip no aircraft.
  gActs.clear();
  for (std::uint32_t i = 0; i < 6; ++i) {
    Act& a = creatingAct(20010 + i, "W" + std::to_string(i));
    if (i % 2 == 0) gCreationQueuePrio.push_back(creation(a, 0, 0));
  }
  std::vector<std::string> walked;
  for (Act& a : gActs) {
    walked.push_back(a.key.callsign);
    if (!gf_withdrawQueuedCreation(a.key.callsign)) gf_removeAct(a);
  }
  EXPECT_EQ(walked.size(), 6u);
  ticks(1);
  ASSERT_EQ(gActs.size(), 3u);
  for (const Act& a : gActs) EXPECT_TRUE(a.removeWhenCreated) << a.key.callsign;
}

enum Outcome { WAITS, DROPS_FRONT, ERASED, CREATED };

TEST_F(ScenarioCreation, ReportedAircraftAreCheckedBeforeTheyAreCreated) {
  const TrackPoint high = at(20, 90, 5000), higher = at(19, 90, 5100);
  struct Row {
    const char* what;
    std::function<void(Act&)> setup;
    Outcome outcome;
  };
  const auto due = [](std::int64_t ahead) {
    return [ahead](Act& a) { a.track.front().dueTick = static_cast<std::uint32_t>(gTick.load() + ahead); };
  };
  const auto prioQueue = [](std::size_t n) {
    return [n](Act& a) { gCreationQueuePrio.assign(n, creation(a, 0, 0)); };
  };
  const auto userAirborne = [](double bearing) {
    return [bearing](Act& a) {
      gUserAc.heading = 10 * DEG_TO_RAD;
      gUserAc.altitudeAboveGround = 500;
      a.track = {at(0.6, 200, 0), at(0.6, 200, 0)};
      const TrackPoint pose = at(0.5, bearing, 0);
      a.pose.latitude = pose.latitude;
      a.pose.longitude = pose.longitude;
    };
  };
  const auto course = [](double offsetFeet) {
    return [offsetFeet](Act& a) {
      a.track = {at(5, 0, 2000), at(4.9, 0, 2000)};
      a.targetHeading = std::asin(offsetFeet / (5 * 6076.11549));
    };
  };
  const Row rows[] = {
      {"reported once", [](Act& a) { a.track.pop_back(); }, ERASED},
      {"due in 101 ticks: waits", due(101), WAITS},
      {"due in 100 ticks", due(100), CREATED},
      {"moving on the ground, due in 301", [&](Act& a) { a.track = {at(20, 90, 0, 10), at(20, 91, 0, 10)}; due(301)(a); }, WAITS},
      {"moving on the ground, due in 300", [&](Act& a) { a.track = {at(20, 90, 0, 10), at(20, 91, 0, 10)}; due(300)(a); }, CREATED},
      {"moving on the ground at 119 kt: rolling out", [&](Act& a) { a.track = {at(20, 90, 0, 119), at(20, 91, 0, 119)}; due(300)(a); }, CREATED},
      {"11 creations queued", prioQueue(11), DROPS_FRONT},
      {"10 creations queued", prioQueue(10), CREATED},
      {"blocked callsign", [](Act&) { BLOCK_CALLSIGN.setValue("KLM1"); }, ERASED},
      {"air, then ground points", [&](Act& a) { a.track.push_back(at(20, 90, 0)); }, DROPS_FRONT},
      {"ground, air and ground points", [&](Act& a) { a.track = {at(20, 89, 0), high, at(20, 90, 0)}; }, DROPS_FRONT},
      {"moving on the ground at 119 kt, then airborne: taking off",
       [&](Act& a) { a.track = {at(20, 90, 0, 119), at(20, 91, 0, 119), higher}; due(300)(a); }, CREATED},
      {"no livery", [](Act&) { gLiveryMemo.clear(); }, ERASED},
      {"uncreatable remembered livery", [](Act&) { gUncreatableTitles.insert("Known Livery"); }, ERASED},
      {"a removed ghost", [](Act& a) { a.key.callsign = "KLM1_", gGhostCallsigns.push_back("KLM1_"); }, ERASED},
      {"a ghost whose source exists",
       [](Act& a) {
         a.key.callsign = "KLM1_";
         gActs.push_back(liveAct(20002, "KLM1", 30));
         gActs.back().state = ACT_PRESENT;
       },
       ERASED},
      {"user airborne, ground pose at 350", userAirborne(350), CREATED},
      {"user airborne, ground pose at 010", userAirborne(10), DROPS_FRONT},
      {"course 3000 ft from the user", course(3000), DROPS_FRONT},
      {"course 5000 ft from the user", course(5000), CREATED},
      {"an unusable callsign becomes the registration",
       [](Act& a) { a.key.callsign = "@@@@@@@@", a.key.registration = "PHBXA"; }, CREATED},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    gActs.clear();
    gNoLiveryKeys.clear();
    gCreateHexids.clear();
    gCreationQueuePrio.clear();
    gGhostCallsigns.clear();
    gLiveryMemo.clear();
    gUncreatableTitles.clear();
    BLOCK_CALLSIGN.setValue("");
    gUserAc = UserAc{};
    gUserAc.latitude = kUserLat;
    gUserAc.longitude = kUserLon;
    Act& made = reported(20001, "KLM1", {high, higher});
    made.headingStep = 1.0;
    row.setup(made);
    gf_rebuildActIndex();
    Act& a = *gf_findAct(20001);
    const std::size_t points = a.track.size();
    lf_checkCreation(a);
    const bool created = a.state == ACT_CREATION_REQUESTED && gCreateHexids == std::vector<std::uint32_t>{20001};
    const Outcome got = a.eraseMark ? ERASED
                        : created   ? CREATED
                        : a.track.size() + 1 == points ? DROPS_FRONT
                        : a.track.size() == points && a.state == ACT_NOT_IN_SIM ? WAITS
                                                                                 : Outcome(-1);
    EXPECT_EQ(got, row.outcome);
    if (created) {
      EXPECT_EQ(a.headingStep, 0.0);
      EXPECT_FALSE(a.key.callsign.empty() || a.key.callsign == "@@@@@@@@");
    }
    const std::string what = row.what;
    if (what == "no livery") {
      EXPECT_TRUE(gNoLiveryKeys.contains(lf_aircraftKeyText(a.key)));
    }
    if (what.starts_with("moving on the ground")) {
      EXPECT_EQ(a.landingRoll != 0, what.ends_with("rolling out"));
    }
  }
  gUncreatableTitles.clear();

  // MAX_LIVE 10 with ten present at 1..10 nm: a newcomer more than 0.1 nm
  // nearer than the farthest replaces it, otherwise it is erased.
  MAX_LIVE.value = 10;
  for (const double newcomer : {5.0, 9.95}) {
    SCOPED_TRACE(newcomer);
    gActs.clear();
    gNoLiveryKeys.clear();
    gCreateHexids.clear();
    gCreationQueuePrio.clear();
    gRemovalQueue.clear();
    for (std::uint32_t i = 1; i <= 10; ++i) {
      gActs.push_back(liveAct(30000 + i, "P" + std::to_string(i), i));
      gActs.back().state = ACT_PRESENT;
      gActs.back().objectId = 100 + i;
    }
    Act& a = reported(20001, "KLM1", {at(newcomer, 0, 5000), at(newcomer, 1, 5000)});
    gf_rebuildActIndex();
    lf_checkCreation(a);
    EXPECT_EQ(gRemovalQueue, newcomer < 9.0 ? std::deque<std::uint32_t>{110} : std::deque<std::uint32_t>{});
    EXPECT_EQ(gf_findAct(20001)->eraseMark, newcomer < 9.0 ? 0 : 1);
  }
}

TEST_F(ScenarioCreation, AnAircraftStandingAtTheParkAirportIsCreatedParked) {
  gEngineParkAirport.code = "EHAM";
  gEngineParkAirport.latitude = kUserLat;
  gEngineParkAirport.longitude = kUserLon;
  const auto standAt = [](const std::string& name, double metresEast) {
    Stand& s = addStand(name, 2.0);
    const LatLon p = gf_destinationPoint({s.latitude, s.longitude}, PI / 2, metresEast / 0.3048);
    s.longitude = p.lon;
    s.heading = 2.0;
    return s.index;
  };
  const auto setUpStands = [&] {
    gStands.clear();
    gActs.clear();
    gStaticActs.clear();
    gRemovalQueue.clear();
    gCreateHexids.clear();
    standAt("A1", 0);
    standAt("A2", 40);
    standAt("A3", 200);
    gStands[0].adjacent = {2};
    gStands[1].adjacent = {1};
  };
  // Standing 20 m from A1 (and 20 m from A2).
  const auto standing = [&](std::uint32_t hexid, const std::string& callsign) -> Act& {
    const Stand& a1 = gStands[0];
    const LatLon p = gf_destinationPoint({a1.latitude, a1.longitude}, PI / 2, 15 / 0.3048);
    TrackPoint t;
    t.latitude = p.lat;
    t.longitude = p.lon;
    t.stationary = 1;
    Act& a = reported(hexid, callsign, {t, t});
    a.key.type = "B738";
    return a;
  };
  const auto parkedOn = [&](std::uint32_t standId, const std::string& callsign, bool reporting = false) {
    Act a = liveAct(40000 + standId * 10 + static_cast<std::uint32_t>(gActs.size()), callsign, 2);
    a.standId = standId;
    a.phase = PHASE_PARKED;
    a.state = ACT_PRESENT;
    a.objectId = 500 + static_cast<std::uint32_t>(gActs.size());
    a.reporting = reporting;
    gf_appendAct(std::move(a));
  };

  setUpStands();
  gStandUpdateCount = 0;
  Act& cargo = standing(20001, "KLM1");
  cargo.cargo = 1;
  lf_checkCreation(cargo);
  EXPECT_EQ(cargo.state, ACT_CREATION_REQUESTED);
  EXPECT_EQ(cargo.phase, PHASE_PARKED);
  EXPECT_EQ(cargo.standId, 1u);
  EXPECT_DOUBLE_EQ(cargo.pose.heading, 2.0);
  EXPECT_DOUBLE_EQ(cargo.pose.latitude, gStands[0].latitude);
  EXPECT_TRUE(gStands[0].liveOccupied);
  EXPECT_TRUE(gStands[0].cargo && gStands[0].cargoChanged);
  EXPECT_GE(gStandUpdateCount.load(), 1);

  // The reserved stand and the stand under the user are never taken.
  for (const bool reserved : {true, false}) {
    setUpStands();
    gAppState.reservedStand.set(reserved ? "A1" : "");
    doubles::setStandName(reserved ? "" : "A1");
    Act& a = standing(20001, "KLM1");
    lf_checkCreation(a);
    EXPECT_TRUE(a.eraseMark) << reserved;
  }
  gAppState.reservedStand.set("");
  doubles::setStandName("");

  // Someone already at A1: the seven same-callsign rules, first match wins.
  const struct {
    const char* mine;
    const char* theirs;
    bool reporting;
    bool created;  // else erased
  } same[] = {
      {"KLM1", "KLM1", false, true},     {"KLM1_", "KLM1", false, false}, {"KLM1", "KLM1_", false, true},
      {"KLM1", "BAW2_", false, true},    {"KLM1_", "BAW2", false, false}, {"KLM1", "BAW2", true, false},
      {"KLM1", "BAW2", false, true},
  };
  for (const auto& row : same) {
    SCOPED_TRACE(std::string(row.mine) + " / " + row.theirs);
    setUpStands();
    parkedOn(1, row.theirs, row.reporting);
    Act& a = standing(20001, row.mine);
    lf_checkCreation(a);
    const Act& other = gActs.front();
    EXPECT_EQ(a.state == ACT_CREATION_REQUESTED, row.created);
    EXPECT_EQ(a.eraseMark != 0, !row.created);
    EXPECT_EQ(other.state == ACT_REMOVAL_REQUESTED, row.created);
  }

  // A parked neighbour whose spans x 1.1 reach the stand distance blocks it.
  gWingspans["A388"] = 40.0 / 1852;
  gWingspans["C172"] = 5.5 / 1852;
  gWingspans["B738"] = 18.0 / 1852;
  for (const char* type : {"A388", "C172"}) {
    setUpStands();
    parkedOn(2, "BAW9");
    gActs.front().key.type = type;
    Act& a = standing(20001, "KLM1");
    lf_checkCreation(a);
    const bool reach = (gf_wingspanOf(type) + gf_wingspanOf("B738")) * 1.1 >=
                       gf_distanceNm({gStands[0].latitude, gStands[0].longitude}, {gStands[1].latitude, gStands[1].longitude});
    EXPECT_EQ(a.eraseMark != 0, reach) << type;
    EXPECT_EQ(reach, std::string(type) == "A388");
  }

  // Static aircraft on the stand and beside it make way, named in the log.
  setUpStands();
  LOG.value = true;
  gWingspans["A388"] = 40.0 / 1852;
  gWingspans["B738"] = 18.0 / 1852;
  const auto staticOn = [](std::uint32_t standId, const std::string& callsign, ActState state) {
    ActBase base;
    base.key.callsign = callsign;
    base.key.registration = "REG" + callsign;
    base.key.type = "A388";
    base.hexid = static_cast<std::uint32_t>(gStaticActs.size() + 1);
    StaticAct& s = gStaticActs.emplace_back(std::move(base), standId, 0, 0, 0, false);
    s.state = state;
    s.objectId = state == ACT_PRESENT ? 600 + s.hexid : 0;
  };
  staticOn(1, "ON1*", ACT_CREATION_REQUESTED);
  gCreationQueue.push_back(creation(gStaticActs.back(), 0, 0));
  staticOn(2, "BESIDE*", ACT_PRESENT);
  staticOn(3, "FAR*", ACT_PRESENT);
  Act& a = standing(20001, "KLM1");
  a.key.registration = "PHBXA";
  lf_checkCreation(a);
  EXPECT_EQ(a.state, ACT_CREATION_REQUESTED);
  EXPECT_TRUE(m_log.contains("===> queued A1      : ON1*     REGON1* makes way for KLM1 PHBXA"));
  EXPECT_TRUE(m_log.contains("===> BESIDE* : KLM1     removed by A1 parking at adjacent stand A2"));
  EXPECT_TRUE(gCreationQueue.empty());
  EXPECT_EQ(gStaticActs[1].state, ACT_REMOVAL_REQUESTED);
  EXPECT_EQ(gStaticActs[2].state, ACT_PRESENT);
  LOG.value = LOG.defaultValue;
}

// Through the scenario bed: reports fed to the parser, the engine's own ticks
// and the stand-in's frames, two ticks a frame so that the trace's frames
// count ticks by twos.
scenario::DriverSetup creationRun(const std::filesystem::path& trace) {
  doubles::setModel("A20N", 2, 0.009);
  doubles::setRealMotion(true);
  scenario::DriverSetup setup;
  setup.ticksPerFrame = 2;
  setup.world.createDelaySeconds = 0;
  setup.world.user.latDeg = kUserLat;
  setup.world.user.lonDeg = kUserLon;
  setup.world.knownTitles = std::vector<std::string>{"Known Livery"};
  setup.world.staticCgFt = 7.0;
  setup.user = {kUserLat, kUserLon};
  setup.park = scenario::ParkAirport{"EHAM", {kUserLat, kUserLon}, 0.0};  // ground reports count only nearby it
  setup.traceFile = trace;
  return setup;
}

// Reports every 2 s from tick 0 for `seconds`: at 300 kt in the air, else taxiing at 12 kt.
scenario::ScriptedAircraft flying(std::uint32_t hexid, double bearing, double nm, double altitude, double seconds) {
  const double knots = altitude > 0 ? 300.0 : 12.0;
  const LatLon start = gf_destinationPoint({kUserLat, kUserLon}, bearing * DEG_TO_RAD, nm * 6076.11549);
  scenario::ScriptedAircraft a{hexid, sk::format("KLM{}", hexid % 1000), "A20N", "", "AMS", "LHR", start, 0, {}, 0, {}};
  a.legs.push_back({{}, bearing + 90.0, knots * seconds / 3600.0, knots, knots, altitude <= 0, altitude, altitude, 200,
                    {}, {}});
  gLiveryMemo[hexid] = "Known Livery";
  return a;
}

// The first tick after which the engine held each object.
std::map<std::uint32_t, std::int64_t> takenAt(const scenario::Driver& driver) {
  std::map<std::uint32_t, std::int64_t> ticks;
  for (const scenario::ObjectTick& state : driver.sideLog().states) ticks.try_emplace(state.objectId, state.tick);
  return ticks;
}

TEST_F(ScenarioCreation, TwelveReportedAndTwoStaticAreCreatedPlacedLitAndRemovedOnce) {
  MSFS_2020.value = true;
  scenario::Driver driver(creationRun(m_scratch / "run.jsonl"));
  scenario::FeedBuilder feed(1733652000.0, 3);
  std::map<std::string, bool> ground;  // tail -> created on the ground
  for (std::uint32_t i = 0; i < 12; ++i) {
    const bool air = i < 8;
    const auto a = flying(50001 + i, i * 30.0, air ? 15.0 + i : 3.0, air ? 4000.0 + 3000.0 * i : 0.0, 100);
    ground[a.callsign] = !air;
    feed.add(a);
  }
  while (gCreationQueuePrio.empty()) driver.run(feed, 1);
  // Queued while live creations wait: those go first.
  for (std::uint32_t hexid : {1u, 2u}) {
    ActBase base;
    base.key.callsign = sk::format("STAT{}*", hexid);
    base.hexid = hexid;
    StaticAct& parked = gStaticActs.emplace_back(std::move(base), 0, kUserLat + hexid * 0.01, kUserLon, 0.0, false);
    parked.state = ACT_CREATION_REQUESTED;
    gCreationQueue.push_back(creation(parked, parked.standLatitude, parked.standLongitude));
    gCreationQueue.back().initPos.OnGround = 1;
  }
  driver.run(feed, 1200);
  for (const Act& a : gActs) {
    EXPECT_EQ(a.state, ACT_PRESENT) << a.key.callsign;
    EXPECT_DOUBLE_EQ(a.cgHeight, 7.0) << a.key.callsign << ": the static CG asked for with request 102";
  }
  for (const StaticAct& a : gStaticActs) EXPECT_EQ(a.state, ACT_PRESENT) << a.key.callsign;
  const std::int64_t lastFrame = driver.tick() / 2;
  const auto taken = takenAt(driver);
  driver.finish();
  if (const auto violation = scenario::gf_firstViolationKept(driver, feed, "TwelveReportedAndTwoStatic"))
    ADD_FAILURE() << scenario::gf_describe(*violation);

  const auto objects = scenario::gf_tracedObjects(driver.traceFile());
  ASSERT_EQ(objects.size(), 14u);
  std::int64_t previous = -1000;
  int seen = 0;
  for (const auto& [id, object] : objects) {  // ids in creation order
    SCOPED_TRACE(object.tail);
    EXPECT_GE((object.createFrame - previous) * 2, 50);
    previous = object.createFrame;
    EXPECT_EQ(object.tail.ends_with('*'), ++seen > 12) << "live before static";
    EXPECT_EQ(object.removeFrames, std::vector<std::int64_t>{lastFrame + 1}) << "removed once, at shutdown";
    if (object.tail.ends_with('*')) continue;
    EXPECT_EQ(object.flightPlans, 1);
    const std::int64_t t0 = taken.at(id);
    const auto nearby = [&](std::int64_t frame, std::int64_t after) { return std::abs(frame * 2 - (t0 + after)) <= 2; };
    std::vector<std::int64_t> toggles;
    std::set<std::string> settled;
    bool gearDown = false;
    for (const auto& e : object.events) {
      if (e.name == "ALL_LIGHTS_TOGGLE") toggles.push_back(e.frame);
      if (nearby(e.frame, 200)) settled.insert(e.name);
      gearDown = gearDown || (e.name == "GEAR_SET" && e.value == 1 && nearby(e.frame, 0));
    }
    ASSERT_EQ(toggles.size(), 2u);
    EXPECT_TRUE(nearby(toggles[0], 50) && nearby(toggles[1], 100)) << t0 << " " << toggles[0] << " " << toggles[1];
    EXPECT_EQ(gearDown, ground.at(object.tail));
    EXPECT_EQ(object.createdOnGround, ground.at(object.tail)) << "reported on the ground, created on it";
    for (const char* name : {"ENGINE_AUTO_START", "NAV_LIGHTS_SET", "BEACON_LIGHTS_SET", "CABIN_LIGHTS_SET"})
      EXPECT_TRUE(settled.contains(name)) << name;
    if (ground.at(object.tail)) {
      EXPECT_TRUE(settled.contains("THROTTLE_SET") && settled.contains("FLAPS_SET"));
    }
    ASSERT_FALSE(object.path.empty());
    EXPECT_TRUE(nearby(object.path.front().frame, 200)) << "moved from state 2 on";
  }
}

TEST_F(ScenarioCreation, ACreateCallThatFailsFreesTheHexidAfterAMinuteAndTheNextReportsCreateIt) {
  // The call fails here, or the simulator answers the sent creation with an
  // exception that names no failed creation: its pending entry goes with it.
  // Or the simulator answers after 75 s, past the give-up of every creation:
  // each late object is taken out at once.
  enum Case { SENT, CALL_FAILED, ANSWERED_LATE };
  for (const Case c : {SENT, ANSWERED_LATE, CALL_FAILED}) {  // the log keeps the lines of every run
    SCOPED_TRACE(c == SENT ? "sent, never answered" : c == CALL_FAILED ? "the call failed" : "answered after 75 s");
    scenario::DriverSetup setup = creationRun(m_scratch / "run.jsonl");
    if (c == ANSWERED_LATE) setup.world.createDelaySeconds = 75;
    scenario::Driver driver(std::move(setup));
    scenario::FeedBuilder feed(1733652000.0, 4);
    feed.add(flying(50001, 0.0, 15.0, 9000.0, c == ANSWERED_LATE ? 300 : 150));
    if (c == SENT)
      driver.standIn().failNextCalls(simwire::Call::AICreateNonATCAircraft, SIMCONNECT_EXCEPTION_ERROR);
    else if (c == CALL_FAILED)
      gf_simConnectFailNextCalls("AICreateNonATCAircraft", 1);
    while (!gf_findAct(50001) || gf_findAct(50001)->state != ACT_CREATION_REQUESTED) driver.run(feed, 1);
    const std::int64_t decided = driver.tick();
    driver.run(feed, kCreationTimeoutTicks + (c == ANSWERED_LATE ? 12000 : 4000));
    ASSERT_NE(gf_findAct(50001), nullptr);
    if (c != ANSWERED_LATE) {
      EXPECT_EQ(gf_findAct(50001)->state, ACT_PRESENT);
      EXPECT_EQ(gPendingCreationCount.load(), 0u) << "the in-range request keeps asking for 200 km";
    }
    const auto lines = m_log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                              return line.starts_with("! Simcon call to create ac in sim failed, hexid:50001");
                            }),
              c == CALL_FAILED ? 1 : 0);
    driver.finish();
    if (const auto violation = scenario::gf_firstViolationKept(driver, feed, "ACreateCallThatFails"))
      ADD_FAILURE() << scenario::gf_describe(*violation);
    const auto objects = scenario::gf_tracedObjects(driver.traceFile());
    ASSERT_EQ(objects.size(), c == ANSWERED_LATE ? 2u : 1u);
    EXPECT_GE(objects.begin()->second.createFrame * 2, decided + kCreationTimeoutTicks);
    for (const auto& [id, object] : objects) EXPECT_EQ(object.removeFrames.size(), 1u) << id;
  }
}

// The user lands: the range falls to 10 nm while an aircraft 30 nm out waits
// for its creation. Its object must be taken and moved, and removed at the
// close even when the close comes before any answer listed it.
TEST_F(ScenarioCreation, AnAircraftQueuedBeforeTheRangeShrinksIsTakenAndRemovedOnce) {
  for (const bool closeAtOnce : {false, true}) {
    SCOPED_TRACE(closeAtOnce ? "closed while its creation is unanswered" : "taken");
    scenario::Driver driver(creationRun(m_scratch / "run.jsonl"));
    scenario::FeedBuilder feed(1733652000.0, 5);
    feed.add(flying(50001, 0.0, 30.0, 9000.0, 60));
    feed.add(flying(50002, 90.0, 5.0, 5000.0, 60));
    while (!gf_findAct(50001) || gf_findAct(50001)->state != ACT_CREATION_REQUESTED) driver.run(feed, 1);
    gLateralRangeNm = 10.0;
    gLateralRangeMeters = 10 * 1852;
    if (closeAtOnce) {
      const auto farSent = [] {
        return std::ranges::any_of(gPendingCreations, [](const PendingCreation& p) { return p.hexid == 50001; });
      };
      while (!farSent()) driver.run(feed, 1);
    } else {
      driver.run(feed, 600);
      for (std::uint32_t hexid : {50001u, 50002u}) {
        ASSERT_NE(gf_findAct(hexid), nullptr) << hexid;
        EXPECT_EQ(gf_findAct(hexid)->state, ACT_PRESENT) << hexid;
      }
    }
    driver.finish();
    if (const auto violation = scenario::gf_firstViolationKept(driver, feed, "RangeShrinks"))
      ADD_FAILURE() << scenario::gf_describe(*violation);
    const auto objects = scenario::gf_tracedObjects(driver.traceFile());
    ASSERT_EQ(objects.size(), 2u);
    for (const auto& [id, object] : objects) {
      EXPECT_TRUE(closeAtOnce || !object.path.empty()) << object.tail;
      EXPECT_EQ(object.removeFrames.size(), 1u) << object.tail;
    }
  }
}

class ScenarioLiveryChange : public ScenarioCreation {};

TEST_F(ScenarioLiveryChange, ANewCallsignRemovesTheObjectAndCreatesItAgainWhereItWas) {
  for (const bool changes : {true, false}) {
    SCOPED_TRACE(changes);
    gActs.clear();
    gRemovalQueue.clear();
    gCreateHexids.clear();
    GUID_CHANGES.value = changes;
    Act& a = reported(20001, "KLM1", {at(20, 90, 5000), at(19, 90, 5000)});
    a.state = ACT_PRESENT;
    a.phase = PHASE_AIRBORNE;
    a.objectId = 11;
    const TrackPoint last = at(19.5, 91, 5200);  // the last position set
    a.pose.latitude = last.latitude;
    a.pose.longitude = last.longitude;
    a.pose.altitude = 5200;
    a.pose.heading = 4.0;
    TrafficRecord record;
    record.hexid = 20001;
    record.key.callsign = "KLM2";
    EXPECT_EQ(gf_updateIdentity(a, record), !changes);
    EXPECT_EQ(a.key.callsign, "KLM2");
    if (!changes) {
      EXPECT_EQ(a.state, ACT_PRESENT);
      EXPECT_TRUE(gRemovalQueue.empty());
      continue;
    }
    EXPECT_EQ(a.state, ACT_LIVERY_CHANGE);
    EXPECT_EQ(gRemovalQueue, (std::deque<std::uint32_t>{11}));
    push(OBJ_REMOVED, 11, 0);
    gf_processCreatedObjects();
    EXPECT_EQ(a.state, ACT_NOT_IN_SIM);
    lf_checkCreation(a);
    ASSERT_EQ(a.state, ACT_CREATION_REQUESTED);
    EXPECT_LT(gf_distanceNm({a.pose.latitude, a.pose.longitude}, {last.latitude, last.longitude}), 1.0 / 1852);
    EXPECT_DOUBLE_EQ(a.pose.heading, 4.0);
    EXPECT_DOUBLE_EQ(a.pose.altitude, 5200);
  }
}

}  // namespace
