#include "traffic/sim_queues.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "core/clock.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "shell/run_state.h"
#include "traffic/object_events.h"
#include "traffic/sim_connection.h"
#include "traffic/sim_ids.h"
#include "traffic/user_aircraft.h"

namespace {

std::vector<PosSet> gPosSetBuffers[2];
// Under gScMutex: hexids of creations the engine gave up.
std::vector<std::uint32_t> gDroppedCreations;
// Under gScMutex: the tail numbers of the creations given up, kept for the
// run. The simulator may still answer one of them long after; nothing would
// move or remove that object. Few, and out of the pending count: neither the
// widened in-range request nor the exit waits for them.
std::vector<std::string> gGivenUpTails;

std::mutex gExitProgressMutex;
std::condition_variable gExitProgressChanged;
std::uint64_t gExitProgressCount = 0;

constexpr double kInRangeMaxAglFt = 2500.0;
constexpr double kWaitForFlushAboveFps = 50.0;

// The by-type answer's block (definition 404).
struct InRangeBlock {
  double altitudeAboveGround;
  double groundAltitude;
  std::int64_t onGround;
  char atcId[32];
};
static_assert(sizeof(InRangeBlock) == 56);

template <typename T>
void lf_swapErase(std::vector<T>& v, typename std::vector<T>::iterator it) {
  *it = std::move(v.back());
  v.pop_back();
}

void lf_appendEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t value) {
  std::lock_guard lock(gScMutex);
  gEventCmds.push_back({objectId, eventId, value});
}

void lf_notePendingCount() { gPendingCreationCount.store(gPendingCreations.size()); }

// The SimConnect thread, under gScMutex.
void lf_forgetDroppedCreations() {
  if (gDroppedCreations.empty()) return;
  std::erase_if(gPendingCreations, [](const PendingCreation& p) {
    if (std::find(gDroppedCreations.begin(), gDroppedCreations.end(), p.hexid) == gDroppedCreations.end())
      return false;
    if (std::find(gGivenUpTails.begin(), gGivenUpTails.end(), p.tailNumber) == gGivenUpTails.end())
      gGivenUpTails.push_back(p.tailNumber);
    return true;
  });
  gDroppedCreations.clear();
  lf_notePendingCount();
}

// Matched after the pending creations: the aircraft created again under the
// same tail number waits for an object, and takes the first one that comes.
bool lf_removeIfGivenUp(const std::string& tailNumber, std::uint32_t objectId) {
  std::lock_guard lock(gScMutex);
  if (tailNumber.empty() || std::find(gGivenUpTails.begin(), gGivenUpTails.end(), tailNumber) == gGivenUpTails.end())
    return false;
  gRemoveIds.push_back(objectId);
  return true;
}

void lf_emptyQueues() {
  gPosSetsSend->clear();
  gEventCmds.clear();
  gCreateReqs.clear();
  gRemoveIds.clear();
}

}  // namespace

std::vector<PosSet>* gPosSetsWrite = &gPosSetBuffers[0];
std::vector<PosSet>* gPosSetsSend = &gPosSetBuffers[1];
std::vector<EventCmd> gEventCmds;
std::vector<CreateReq> gCreateReqs;
std::vector<std::uint32_t> gRemoveIds;
std::vector<PendingCreation> gPendingCreations;
std::vector<std::uint32_t> gAddedObjectIds;
std::atomic<bool> gExitRemovalsBegun{false};
std::atomic<std::size_t> gPendingCreationCount{0};

void gf_noteExitProgress() {
  {
    std::lock_guard lock(gExitProgressMutex);
    ++gExitProgressCount;
  }
  gExitProgressChanged.notify_all();
}

std::uint64_t gf_exitProgress() {
  std::lock_guard lock(gExitProgressMutex);
  return gExitProgressCount;
}

void gf_waitExitProgress(std::uint64_t seen, std::chrono::steady_clock::time_point until) {
  std::unique_lock lock(gExitProgressMutex);
  gExitProgressChanged.wait_until(lock, until, [seen] { return gExitProgressCount != seen; });
}

// ---- queueing ----

void lf_queueCreation(const CreateReq& request) {
  std::lock_guard lock(gScMutex);
  gCreateReqs.push_back(request);
}

void lf_queueRemoval(std::uint32_t objectId) {
  std::lock_guard lock(gScMutex);
  gRemoveIds.push_back(objectId);
}

void gf_queueEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t value) {
  lf_appendEvent(objectId, eventId, value);
}

void lf_queueLights(std::uint32_t objectId, const std::array<std::uint32_t, 7>& lights) {
  static constexpr std::uint32_t kOrder[7] = {EV_NAV_LIGHTS_SET,     EV_BEACON_LIGHTS_SET, EV_LANDING_LIGHTS_SET,
                                              EV_TAXI_LIGHTS_SET,    EV_STROBES_SET,       EV_LOGO_LIGHTS_SET,
                                              EV_CABIN_LIGHTS_SET};
  std::lock_guard lock(gScMutex);
  for (std::size_t i = 0; i < 7; ++i) gEventCmds.push_back({objectId, kOrder[i], lights[i]});
}

void gf_setNavLights(std::uint32_t objectId, std::uint32_t value) { lf_appendEvent(objectId, EV_NAV_LIGHTS_SET, value); }

void lf_setCabinLights(std::uint32_t objectId, std::uint32_t value) {
  lf_appendEvent(objectId, EV_CABIN_LIGHTS_SET, value);
}

void gf_handOverPosSets() {
  std::unique_lock lock(gScMutex, std::try_to_lock);
  if (!lock.owns_lock()) {
    if (gFrameRate.load() <= kWaitForFlushAboveFps) {
      gPosSetsWrite->clear();
      return;
    }
    lock.lock();
  }
  std::swap(gPosSetsWrite, gPosSetsSend);
  gPosSetsWrite->clear();
}

// ---- the flush ----

void lf_onFrame() {
  std::unique_lock lock(gScMutex, std::try_to_lock);
  if (!lock.owns_lock()) return;  // the queues wait for the next Frame
  lf_forgetDroppedCreations();
  const bool exiting = gExitStarted.load() || gExitRemovalsBegun.load();
  if (gSimRequestsPaused.load()) {
    // Objects left behind would outlive the program: an exit still removes them.
    if (exiting) gf_sendRemovals();
    lf_emptyQueues();
    if (exiting) gf_noteExitProgress();
    return;
  }
  HANDLE h = gHSimConnect;
  std::uint32_t user = gUserObjectId.load();
  for (const PosSet& set : *gPosSetsSend) {
    if (set.objectId <= user) continue;
    gf_simConnectNoteDataTime(set.tick);
    SimConnect_SetDataOnSimObject(h, DEF_POSITION, set.objectId, 0, 0, kPosSetBlockSize, &set);
  }
  gPosSetsSend->clear();

  for (const EventCmd& cmd : gEventCmds) {
    bool flaps = cmd.eventId == EV_FLAPS_SET;
    if (flaps) SimConnect_AIReleaseControl(h, cmd.objectId, REQ_RELEASE);
    if (FAILED(SimConnect_TransmitClientEvent(h, cmd.objectId, cmd.eventId, cmd.value, GROUP_AI, 0)))
      gf_showMessage(sk::format("SimConnect TransmitClientEvent: {} fails", cmd.eventId), true);
    else if (flaps)
      SimConnect_AIReleaseControl(h, cmd.objectId, REQ_RELEASE);
  }
  gEventCmds.clear();

  for (const CreateReq& request : gCreateReqs) lf_createAiAircraft(request);
  gCreateReqs.clear();

  gf_sendRemovals();
  if (exiting) gf_noteExitProgress();
}

void gf_sendRemovals() {
  for (std::uint32_t id : gRemoveIds) lf_removeAiObject(id);
  gRemoveIds.clear();
}

void lf_createAiAircraft(const CreateReq& request) {
  std::string title(request.liveryTitle);
  if (FAILED(SimConnect_AICreateNonATCAircraft(gHSimConnect, title.c_str(), request.tailNumber.c_str(),
                                               request.initPos, REQ_CREATE))) {
    gf_logText(sk::format("! Simcon call to create ac in sim failed, hexid:{}, liv: \"{}\", callsign: {}",
                          request.hexid, title, request.tailNumber));
    gf_simRequestError();
    return;
  }
  DWORD packetId = 0;
  if (FAILED(SimConnect_GetLastSentPacketID(gHSimConnect, &packetId))) {
    gf_log("GetLastSentPacketID");
    packetId = 0;
  }
  gPendingCreations.push_back({packetId, request.hexid, request.tailNumber});
  lf_notePendingCount();
}

void lf_removeAiObject(std::uint32_t objectId) {
  if (objectId <= gUserObjectId.load()) {
    gf_logText(sk::format("{}!Simconnect call to remove AI ac with objectId {}", gf_utcNowString(), objectId));
    return;
  }
  if (FAILED(SimConnect_AIRemoveObject(gHSimConnect, objectId, REQ_REMOVE))) {
    gf_logText(sk::format("{}!Simconnect call to remove AI ac from sim failed, id {}?", gf_utcNowString(), objectId));
    gf_simRequestError();
  }
}

void lf_releaseAndFreeze(std::uint32_t objectId) {
  std::lock_guard lock(gScMutex);
  SimConnect_AIReleaseControl(gHSimConnect, objectId, REQ_RELEASE);
  for (std::uint32_t ev : {EV_FREEZE_LATITUDE_LONGITUDE_SET, EV_FREEZE_ALTITUDE_SET, EV_FREEZE_ATTITUDE_SET})
    gEventCmds.push_back({objectId, ev, 1});
}

void gf_dropPendingCreation(std::uint32_t hexid) {
  std::lock_guard lock(gScMutex);
  gDroppedCreations.push_back(hexid);
}

bool gf_takePendingCreation(std::uint32_t packetId, std::uint32_t& hexid) {
  auto it = std::find_if(gPendingCreations.begin(), gPendingCreations.end(),
                         [&](const PendingCreation& p) { return p.packetId == packetId; });
  if (it == gPendingCreations.end()) return false;
  hexid = it->hexid;
  lf_swapErase(gPendingCreations, it);
  lf_notePendingCount();
  return true;
}

void lf_onObjectsByType(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, DWORD size) {
  std::uint32_t id = data.dwObjectID;
  if (data.dwRequestID != REQ_IN_RANGE || id <= gUserObjectId.load()) return;
  constexpr std::size_t kOffset = kSimDataOffset;
  if (!gf_simMessageFits(data, size, kOffset + sizeof(InRangeBlock))) return;
  InRangeBlock b;
  std::memcpy(&b, reinterpret_cast<const std::byte*>(&data) + kOffset, sizeof b);
  std::string atcId(b.atcId, strnlen(b.atcId, sizeof b.atcId));

  if (auto added = std::find(gAddedObjectIds.begin(), gAddedObjectIds.end(), id); added != gAddedObjectIds.end()) {
    lf_swapErase(gAddedObjectIds, added);
    auto pending = atcId.empty() ? gPendingCreations.end()
                                 : std::find_if(gPendingCreations.begin(), gPendingCreations.end(),
                                                [&](const PendingCreation& p) { return p.tailNumber == atcId; });
    if (pending == gPendingCreations.end()) {
      // A creation answered after it was given up: unwanted, like any object nobody waits for.
      if (lf_removeIfGivenUp(atcId, id)) return;
      gf_log(sk::format("just created, but not by {}, oid: {}, callsign \"{}\" unknown", "Skylume", id, atcId));
      return;
    }
    std::uint32_t hexid = pending->hexid;
    lf_swapErase(gPendingCreations, pending);
    lf_notePendingCount();
    // The exit's sweep of the event queue and this choice exclude each other,
    // so a match is either an event the sweep finds or a removal.
    std::lock_guard events(gObjectAddedMutex);
    if (gExitRemovalsBegun.load()) {
      {
        std::lock_guard lock(gScMutex);
        gRemoveIds.push_back(id);
      }
      gf_noteExitProgress();
      return;
    }
    lf_releaseAndFreeze(id);
    bool live = hexid > 10000;
    gObjectAddedQueue.push_back({id, hexid, 0, live ? OBJ_CREATED_LIVE : OBJ_CREATED_STATIC, 0.0,
                                 live ? b.altitudeAboveGround : 0.0});
    return;
  }
  if (b.altitudeAboveGround <= kInRangeMaxAglFt && !atcId.empty() && atcId.back() != '*')
    gf_pushObjectEvent({id, static_cast<std::uint32_t>(b.onGround), 0, OBJ_IN_RANGE, b.groundAltitude,
                        b.altitudeAboveGround});
}

// ---- start and reset ----

void gf_reserveSimQueueRoom() {
  std::lock_guard lock(gScMutex);
  gPosSetBuffers[0].reserve(kPosSetReserve);
  gPosSetBuffers[1].reserve(kPosSetReserve);
  gCreateReqs.reserve(kSimQueueReserve);
  gRemoveIds.reserve(kSimQueueReserve);
  gPendingCreations.reserve(kSimQueueReserve);
  gAddedObjectIds.reserve(kSimQueueReserve);
}

void gf_clearSimQueues() {
  std::lock_guard lock(gScMutex);
  gPosSetBuffers[0].clear();
  gPosSetBuffers[1].clear();
  gPosSetsWrite = &gPosSetBuffers[0];
  gPosSetsSend = &gPosSetBuffers[1];
  gEventCmds.clear();
  gCreateReqs.clear();
  gRemoveIds.clear();
  gPendingCreations.clear();
  gDroppedCreations.clear();
  gGivenUpTails.clear();
  lf_notePendingCount();
  gAddedObjectIds.clear();
  gExitRemovalsBegun.store(false);
}
