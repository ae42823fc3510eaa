// The shutdown's removals end to end: aircraft really in the stand-in, the
// SimConnect thread running, the exit's calls in FinalExit's order.
#include <gtest/gtest.h>

#include <fstream>

#include "engine_placement.h"
#include "traffic/arbitration.h"

using namespace simlink;

namespace {

class EngineShutdown : public EnginePlacementTest {};

TEST_F(EngineShutdown, EveryObjectLeavesOnceWithRequestsRunningAndPaused) {
  const struct {
    const char* what;
    int live;
    int statics;
    int queuedRemovals;  // placed, then removed: their ids wait in gRemovalQueue
    bool paused;
    bool frames;    // false: no Frame comes, the direct removal runs
    bool answered;  // the sent creation was matched before the exit; its event was never drained
  } rows[] = {
      {"3 live, 2 static, 1 answered during the exit", 3, 2, 0, false, true, false},
      {"the same while requests are paused", 3, 2, 0, true, true, false},
      {"20 placed, 5 queued removals, 1 answered before", 15, 5, 5, false, true, true},
      {"the same while requests are paused", 15, 5, 5, true, true, true},
      {"no Frame: removed directly", 3, 2, 2, false, false, false},
      {"no Frame while paused", 3, 2, 2, true, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    resetLink();
    resetEngine();
    openStandIn();
    std::uint32_t hexid = 20000;
    for (int i = 0; i < row.live + row.queuedRemovals; ++i)
      gf_appendAct(liveAct(hexid++, "LIV" + std::to_string(i), 1.0 + i));
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(row.statics); ++i) {
      ModelKey key;
      key.callsign = "STA" + std::to_string(i) + "*";
      ActBase base(std::move(key));
      base.hexid = i;
      gStaticActs.emplace_back(std::move(base), i + 1, kUserLat - 0.01 * (i + 1), kUserLon, 0.0, false);
    }
    placeAll();
    for (int i = 0; i < row.queuedRemovals; ++i) gf_removeAct(gActs[static_cast<std::size_t>(row.live + i)]);
    ASSERT_EQ(gRemovalQueue.size(), static_cast<std::size_t>(row.queuedRemovals));

    // One creation queued in the engine, one already sent to the simulator.
    gf_appendAct(liveAct(40000, "QUEUED", 3));
    gActs.back().state = ACT_CREATION_REQUESTED;
    gCreationQueuePrio.push_back(creation(gActs.back(), kUserLat, kUserLon));
    gf_appendAct(liveAct(40001, "SENT", 3));
    gActs.back().state = ACT_CREATION_REQUESTED;
    lf_queueCreation(creation(gActs.back(), kUserLat + 0.02, kUserLon));
    frame();
    ASSERT_EQ(gPendingCreations.size(), 1u);
    if (row.answered) {
      frame();
      lf_requestAircraftInRange();
      settle();
      ASSERT_TRUE(gPendingCreations.empty());
    }
    gf_listParked();
    ASSERT_TRUE(std::filesystem::exists("Callsign2ObjectId.txt"));

    // The run's own SimConnect thread takes over the link, as in the program.
    gf_stopSimconnect();
    gf_startSimconnect();
    ASSERT_TRUE(testing_traffic::waitUntil([] {
      std::lock_guard lock(gScMutex);
      return gHSimConnect != nullptr;
    }));
    gSimRequestsPaused = row.paused;
    if (row.frames) m_standIn->startRealTime();

    gExitStarted = true;
    gf_removeAllForExit();
    const bool sent = gf_waitExitRemovalsSent(row.frames ? 2000ms : 300ms);
    EXPECT_EQ(sent, row.frames);
    if (!sent) gf_removeExitObjectsDirectly();
    waitHandled();
    gf_stopSimconnect();
    m_standIn->stop();

    // No object of ours is left, and each was removed exactly once.
    EXPECT_TRUE(aiObjects().empty());
    const auto counts = removals();
    const std::size_t created = events("create").size();
    EXPECT_EQ(counts.size(), created);
    EXPECT_EQ(created, static_cast<std::size_t>(row.live + row.queuedRemovals + row.statics + (row.frames || row.answered ? 1 : 0)));
    for (const auto& [id, count] : counts) EXPECT_EQ(count, 1) << id;
    for (const auto& line : events("create")) EXPECT_NE(line["tail"], "QUEUED");

    // The run's memories of removed ghosts, liveries not found and callsigns to
    // couple go too: a restarted run creates those aircraft again.
    gGhostCallsigns.push_back("LIV0_");
    gNoLiveryKeys.insert("KLM B738 PH-BXA");
    gTwinCheckHexids.push_back(20000);
    gf_resetTraffic();
    EXPECT_TRUE(gActs.empty() && gStaticActs.empty() && gRemovalQueue.empty() && gCreationQueuePrio.empty() &&
                gCreationQueue.empty() && gCreateHexids.empty() && gStaticParkingList.empty());
    EXPECT_TRUE(gGhostCallsigns.empty() && gNoLiveryKeys.empty() && gTwinCheckHexids.empty());
    EXPECT_FALSE(std::filesystem::exists("Callsign2ObjectId.txt"));
    gExitStarted = false;
  }
}

}  // namespace
