// Live aircraft coming into the simulator: the commands sent to one object,
// the placement of created objects and removals while a creation is under way.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "airports/stand.h"
#include "core/parameters.h"
#include "core/random.h"
#include "engine_placement.h"
#include "platform/window.h"
#include "shell/app_state.h"
#include "traffic/commands.h"
#include "traffic/placement.h"
#include "traffic/sim_ids.h"

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
    RANDOM.value = RANDOM.defaultValue;
    NAV_LIGHTS_WHILE_PARKED.value = NAV_LIGHTS_WHILE_PARKED.defaultValue;
    MSFS_2020.value = MSFS_2020.defaultValue;
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
      {"parked at a cargo stand: cabin dark", 2,
       [](PlacedAct& a) {
         RANDOM.value = false;
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

  // RANDOM: the cabin light follows the seeded draw, nine in ten lit.
  RANDOM.value = true;
  int lit = 0;
  for (int i = 0; i < 200; ++i) {
    StaticAct a(ActBase{}, 0, 0, 0, 0, true);
    a.objectId = 7;
    lf_parkAtStand(a);
    lit += static_cast<int>(commandsOf(takeCommands(), 7).back().second);
  }
  EXPECT_GT(lit, 160);
  EXPECT_LT(lit, 200);

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
    c->controlWindow = CreateWindowExW(0, u"button", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
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

}  // namespace
