// The engine tick's metering of removals, creations and requests, against the
// in-process stand-in driven in lockstep.
#include <gtest/gtest.h>

#include <map>

#include "core/parameters.h"
#include "sim_link_support.h"
#include "traffic/engine.h"
#include "traffic/engine_stats.h"
#include "traffic/update_queue.h"

using namespace simlink;

namespace {

using testing_traffic::resetEngine;

class EngineTick : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    resetEngine();
  }
  void TearDown() override {
    resetEngine();
    SimLinkTest::TearDown();
  }
};

CreateReq entry(const std::string& tail, std::uint32_t hexid) {
  CreateReq r;
  r.tailNumber = tail;
  r.hexid = hexid;
  return r;
}

Act waitingAct(std::uint32_t hexid, const std::string& callsign) {
  ModelKey key;
  key.callsign = callsign;
  Act a(ActBase(std::move(key)), TrackPoint{}, 0.0);
  a.hexid = hexid;
  a.pose.latitude = 52.5;
  a.pose.heading = 3.14159265358979323846;
  return a;
}

TEST_F(EngineTick, MetersRemovalsCreationsAndRequestsOverTwoHundredTicks) {
  standin::Scenario sc;
  sc.firstAiObjectId = 100;
  startStandIn(sc);
  openInLockstep();
  gUserObjectId = 1;
  gLateralRangeMeters = 20 * 1852;

  for (std::uint32_t id = 1; id <= 25; ++id) gRemovalQueue.push_back(id);
  gCreationQueuePrio.push_back(entry("LIVE1", 0x10001));
  gCreationQueue.push_back(entry("STAT1", 7));
  gStaticParkingList.push_back(StaticPlan{});
  gf_appendAct(waitingAct(0x10002, "DECIDED"));
  gActs.back().state = ACT_CREATION_REQUESTED;  // decided: the arbitration leaves it alone
  gCreateHexids = {0x10002, 0x20003};  // the last is taken first; 0x20003 is gone
  gf_setTrafficParkAirport({"EHAM", "EHAM", 52.3, 4.76, -11.0});
  const int qs121Before = doubles::qs121Sends();
  const int staticBefore = doubles::staticCreations();

  std::vector<std::uint32_t> removals;
  std::map<int, std::string> creations;  // tick -> tail number
  std::map<int, int> staticRuns;         // tick -> lf_createStaticParked calls
  for (int tick = 0; tick < 200; ++tick) {
    gSimRequestsPaused = tick >= 100 && tick < 140;
    const int staticSoFar = doubles::staticCreations();
    gf_trafficTick();
    std::lock_guard lock(gScMutex);
    removals.insert(removals.end(), gRemoveIds.begin(), gRemoveIds.end());
    gRemoveIds.clear();
    for (const CreateReq& r : gCreateReqs) {
      creations[tick] = r.tailNumber;
      if (r.tailNumber == "DECIDED") {
        EXPECT_EQ(r.initPos.Latitude, 52.5);
        EXPECT_NEAR(r.initPos.Heading, 180.0, 1e-9);
        EXPECT_EQ(r.hexid, 0x10002u);
        // Reported on the ground: created on it, at the park airport's elevation.
        EXPECT_EQ(r.initPos.OnGround, 1u);
        EXPECT_EQ(r.initPos.Altitude, -11.0);
      }
    }
    gCreateReqs.clear();
    if (doubles::staticCreations() != staticSoFar) staticRuns[tick] = doubles::staticCreations() - staticSoFar;
  }
  gSimRequestsPaused = false;
  settle();

  EXPECT_EQ(gTick.load(), 200);
  std::vector<std::uint32_t> firstTwenty;
  for (std::uint32_t id = 1; id <= 20; ++id) firstTwenty.push_back(id);
  EXPECT_EQ(removals, firstTwenty);  // one per 10th tick
  EXPECT_EQ(gRemovalQueue.size(), 5u);
  // Live before static; lf_createStaticParked on every 50th tick with no live entry.
  EXPECT_EQ(creations, (std::map<int, std::string>{{0, "LIVE1"}, {50, "DECIDED"}, {100, "STAT1"}}));
  EXPECT_EQ(staticRuns, (std::map<int, int>{{100, 1}, {150, 1}}));
  EXPECT_EQ(doubles::staticCreations() - staticBefore, 2);
  EXPECT_TRUE(gCreationQueuePrio.empty() && gCreateHexids.empty());  // the gone hexid gave nothing
  EXPECT_EQ(doubles::qs121Sends() - qs121Before, 2);

  const auto byType = trace("by_type");
  ASSERT_EQ(byType.size(), 8u);  // ticks 0..80 and 140..180: none while paused
  for (const auto& line : byType) {
    EXPECT_EQ(line["request"], 101);
    EXPECT_EQ(line["radius"], 37040.0);
  }
}

TEST_F(EngineTick, IntakeTakesASixteenthOfABacklogAndTwoAtLeast) {
  const struct {
    std::size_t queued;
    std::size_t taken;
    std::size_t partRule;
  } rows[] = {{0, 0, 0}, {1, 1, 1}, {5, 2, 2}, {32, 2, 2}, {33, 3, 2}, {600, 38, 2}, {6000, 375, 2}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.queued);
    EXPECT_EQ(gf_updatesPerTick(row.queued), row.taken);
    gIntakeBacklogMend = false;
    EXPECT_EQ(gf_updatesPerTick(row.queued), row.partRule);
    gIntakeBacklogMend = true;
  }
  // Five queued records are applied over three ticks: 2, 2, 1, their ages in
  // the load runs' measurements as they wait.
  gf_startEngineStats(m_scratch / "stats.txt");
  gTick = 1;  // clear of the request ticks: no simulator here
  gf_setAcceptUpdates(true);
  for (int i = 0; i < 5; ++i) gf_queueUpdate(TrafficRecord{});
  std::vector<std::size_t> left;
  for (int i = 0; i < 3; ++i) {
    gf_trafficTick();
    std::lock_guard lock(gUpdateMutex);
    left.push_back(gUpdateQueue.size());
  }
  gf_setAcceptUpdates(false);
  EXPECT_EQ(left, (std::vector<std::size_t>{3, 1, 0}));
  gf_noteTickTime(std::chrono::microseconds(1500));
  gf_writeEngineStats();
  gEngineStatsOn = false;
  gf_noteQueueAge(9);
  gf_writeEngineStats();
  EXPECT_EQ(fileLines(m_scratch / "stats.txt"), (std::vector<std::string>{"ages 0 0 1 1 2", "ticks_us 1500"}));
}

}  // namespace
