// The shutdown's removal of every object of the run: nothing the program put
// into the simulator may stay there after it ends or restarts.
#include <algorithm>

#include "core/format.h"
#include "core/log.h"
#include "traffic/engine.h"
#include "traffic/object_events.h"
#include "traffic/placement.h"
#include "traffic/sim_connection.h"

namespace {

using namespace std::chrono_literals;

// How often the simulator is asked for the objects of creations still unanswered.
constexpr auto kSweepInterval = 200ms;

void lf_collectPlaced(PlacedAct& aircraft, std::vector<std::uint32_t>& ids) {
  // State 4 is not collected: its id waits in gRemovalQueue or was sent. An
  // object that appeared but has not settled yet is collected.
  const bool appeared = aircraft.state == ACT_CREATION_REQUESTED && aircraft.objectId != 0;
  if (aircraft.state != ACT_PRESENT && aircraft.state != ACT_LIVERY_CHANGE && !appeared) return;
  if (aircraft.objectId != 0) ids.push_back(aircraft.objectId);
  aircraft.state = ACT_REMOVAL_REQUESTED;
}

}  // namespace

void gf_removeAllForExit() {
  std::lock_guard guard(gEngineMutex);
  std::vector<std::uint32_t> ids;
  for (Act& aircraft : gActs) lf_collectPlaced(aircraft, ids);
  for (StaticAct& aircraft : gStaticActs) lf_collectPlaced(aircraft, ids);
  ids.insert(ids.end(), gRemovalQueue.begin(), gRemovalQueue.end());
  for (const ObjectEvent& event : gLightsQueue) ids.push_back(event.objectId);
  gLightsQueue.clear();
  gRemovalQueue.clear();
  // Creations not yet sent are dropped; nothing sends new ones any more.
  gCreationQueuePrio.clear();
  gCreationQueue.clear();
  gCreateHexids.clear();
  gStaticParkingList.clear();

  std::lock_guard events(gObjectAddedMutex);
  // From here the SimConnect thread turns each match into a removal; the
  // matches before it are the created-object events nobody drained.
  gExitRemovalsBegun.store(true);
  std::erase_if(gObjectAddedQueue, [&ids](const ObjectEvent& event) {
    if (event.kind != OBJ_CREATED_LIVE && event.kind != OBJ_CREATED_STATIC) return false;
    ids.push_back(event.objectId);
    return true;
  });
  std::lock_guard lock(gScMutex);
  gCreateReqs.clear();
  for (std::uint32_t id : ids) {
    if (id != 0 && std::find(gRemoveIds.begin(), gRemoveIds.end(), id) == gRemoveIds.end()) gRemoveIds.push_back(id);
  }
}

bool gf_waitExitRemovalsSent(std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  auto nextSweep = std::chrono::steady_clock::now();
  for (;;) {
    const std::uint64_t seen = gf_exitProgress();
    bool linked = false;
    bool listed = false;
    {
      std::lock_guard lock(gScMutex);
      linked = gHSimConnect != nullptr;
      listed = !gRemoveIds.empty();
    }
    const bool pending = gPendingCreationCount.load() > 0;
    if (!listed && !pending) return true;
    const auto now = std::chrono::steady_clock::now();
    if (!linked || now >= deadline) return false;
    if (pending && now >= nextSweep) {
      // Requests may be paused: the exit asks all the same.
      lf_requestAircraftInRange();
      nextSweep = now + kSweepInterval;
    }
    gf_waitExitProgress(seen, pending ? std::min(deadline, nextSweep) : deadline);
  }
}

void gf_removeExitObjectsDirectly() {
  std::lock_guard lock(gScMutex);
  if (gHSimConnect) {
    gf_sendRemovals();
    return;
  }
  if (!gRemoveIds.empty()) gf_log(sk::format("{} AI objects not removed: no link to the simulator", gRemoveIds.size()));
  gRemoveIds.clear();
}
