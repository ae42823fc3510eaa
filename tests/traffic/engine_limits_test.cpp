// The live-aircraft limit and the window's lookups, over aircraft that are
// really in the stand-in.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "airports/stand.h"
#include "core/parameters.h"
#include "engine_placement.h"
#include "shell/app_state.h"

using namespace simlink;

namespace {

class EngineLimits : public EnginePlacementTest {
 protected:
  void TearDown() override {
    MAX_LIVE.value = MAX_LIVE.defaultValue;
    CALLSIGN_2_OBJECTID.setValue("");
    gAppState.objectIdText.set("");
    gSelectedObjectId = 0;
    EnginePlacementTest::TearDown();
  }
};

TEST_F(EngineLimits, TrimRemovesTheFarthestOnePerTenTicks) {
  const struct {
    const char* what;
    std::vector<double> distances;  // nm north of the user, in gActs order
    int maxLive;
    std::vector<std::size_t> removed;  // positions in gActs, in removal order
  } rows[] = {
      {"13 present, 10 allowed",
       {5, 12, 1, 13, 2, 3, 11, 4, 6, 7, 8, 9, 10},
       10,
       {3, 1, 6}},
      {"30.00 before 30.05", {30.00, 30.05, 1}, 2, {0}},
      {"30.05 before 30.00", {30.05, 30.00, 1}, 2, {0}},
      {"no limit", {1, 2, 3}, -1, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    resetLink();
    resetEngine();
    openStandIn();
    for (std::size_t i = 0; i < row.distances.size(); ++i)
      gf_appendAct(liveAct(20000 + static_cast<std::uint32_t>(i), "KLM" + std::to_string(i), row.distances[i]));
    placeAll();
    gActs.push_back(liveAct(30000, "FAR", 90));  // farthest, but not present: never counted
    gActs.back().state = ACT_CREATION_REQUESTED;
    gf_rebuildActIndex();

    MAX_LIVE.value = row.maxLive;
    gf_trimLiveToMax();
    std::vector<DWORD> expected;
    for (std::size_t i : row.removed) expected.push_back(gActs[i].objectId);
    for (std::size_t i = 0; i < row.distances.size(); ++i) {
      const bool gone = std::find(row.removed.begin(), row.removed.end(), i) != row.removed.end();
      EXPECT_EQ(gActs[i].state, gone ? ACT_REMOVAL_REQUESTED : ACT_PRESENT) << i;
    }

    // The removals leave one per 10th tick, in the order they were decided.
    const std::int64_t firstFrame = m_standIn->frame();
    for (int tick = 0; tick < 30; ++tick) {
      gf_trafficTick();
      frame();
    }
    std::vector<DWORD> ids;
    std::vector<std::int64_t> frames;
    for (const auto& line : events("remove")) {
      ids.push_back(line["id"].get<DWORD>());
      frames.push_back(line["frame"].get<std::int64_t>() - firstFrame);
    }
    EXPECT_EQ(ids, expected);
    for (std::size_t i = 1; i < frames.size(); ++i) EXPECT_EQ(frames[i] - frames[i - 1], 10);
    EXPECT_EQ(aiObjects().size(), row.distances.size() - row.removed.size());
    MAX_LIVE.value = MAX_LIVE.defaultValue;
  }
  EXPECT_TRUE(lf_removeFarthest(1000.0));  // nothing that far: nothing removed
}

TEST_F(EngineLimits, LookupSelectsPresentAircraftAndTheListNamesTheirStands) {
  openStandIn();
  gStands.emplace_back("A1", std::vector<StandOption>{}, StandPosition{}, 20.0, false, false, false);
  gStands.emplace_back("B12", std::vector<StandOption>{}, StandPosition{}, 20.0, false, false, false);
  const struct {
    const char* callsign;
    const char* operatorCode;
    bool onGround;
    ActPhase phase;
    std::uint32_t standId;
  } aircraft[] = {
      {"KLM1641", "KLM", true, PHASE_PARKED, 2},
      {"AFR12", "AFR", true, PHASE_PARKED, 0},
      {"EZY9", "EZY", true, PHASE_PARKED, 7},
      {"BAW4", "BAW", false, PHASE_AIRBORNE, 1},
      {"DLH400", "DLH", true, PHASE_GROUND, 1},
  };
  for (std::size_t i = 0; i < std::size(aircraft); ++i) {
    Act a = liveAct(20000 + static_cast<std::uint32_t>(i), aircraft[i].callsign, 5);
    a.key.operatorCode = aircraft[i].operatorCode;
    a.onGround = aircraft[i].onGround;
    a.phase = aircraft[i].phase;
    a.standId = aircraft[i].standId;
    gf_appendAct(std::move(a));
  }
  placeAll();
  gf_appendAct(liveAct(30000, "CREATING", 5));
  gActs.back().state = ACT_CREATION_REQUESTED;

  const struct {
    const char* callsign;
    const char* text;     // the object-id text afterwards
    std::size_t message;  // "callsign ... is unknown" shown
  } lookups[] = {
      {"BAW4", "= {}", 0},
      {"CREATING", "", 1},
      {"NOBODY", "", 1},
  };
  for (const auto& lookup : lookups) {
    SCOPED_TRACE(lookup.callsign);
    CALLSIGN_2_OBJECTID.setValue(lookup.callsign);
    gf_findCallsign();
    const std::string expected = lookup.message ? "" : sk::format("= {}", gf_findAct(20003)->objectId);
    EXPECT_EQ(gAppState.objectIdText.get(), expected);
    EXPECT_EQ(m_sink.count(sk::format("callsign \"{}\" is unknown", lookup.callsign)), lookup.message);
  }

  gf_listParked();
  std::ifstream file("Callsign2ObjectId.txt", std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  const auto id = [](std::uint32_t hexid) { return gf_findAct(hexid)->objectId; };
  EXPECT_EQ(content.str(), sk::format("Air BAW4      BAW A320: {} \n"
                                      "Gnd AFR12     AFR A320: {} Parked at sid==0?\n"
                                      "Gnd DLH400    DLH A320: {} \n"
                                      "Gnd EZY9      EZY A320: {} Parked at unknown\n"
                                      "Gnd KLM1641   KLM A320: {} Parked at B12\n",
                                      id(20003), id(20001), id(20004), id(20002), id(20000)));

  // Removing the selected aircraft clears the selection and the edit box.
  CALLSIGN_2_OBJECTID.setValue("BAW4");
  gf_findCallsign();
  EXPECT_EQ(gSelectedObjectId.load(), id(20003));
  gf_removeAct(*gf_findAct(20003));
  EXPECT_EQ(gSelectedObjectId.load(), 0u);
  EXPECT_EQ(gAppState.objectIdText.get(), "");
  EXPECT_EQ(CALLSIGN_2_OBJECTID.value(), "");
}

}  // namespace
