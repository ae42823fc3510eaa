// Created-object placement: the engine tick's first step drains the objects
// the simulator reported, places new ones and settles them 200 ticks later.
#include <exception>
#include <filesystem>
#include <unordered_map>

#include "airports/stand.h"
#include "core/clock.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "traffic/commands.h"
#include "traffic/engine.h"
#include "traffic/engine_hooks.h"
#include "traffic/placement.h"
#include "traffic/sim_connection.h"
#include "traffic/sim_ids.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"

std::vector<ObjectEvent> gLightsQueue;

namespace {
using Index = std::unordered_map<std::uint32_t, std::size_t>;

constexpr std::int32_t kSettleTicks = 200;
constexpr double kDegree = 0.017453292519943295;
constexpr std::uint32_t kFirstAiObjectId = 3;
constexpr AircraftCategory kRotorcraft = 5;

std::vector<ObjectEvent> gDrained;
Index gActByObject;
Index gStaticByObject;
Index gStaticByHexid;

// The position of the first item with that key; a stale answer is mended by
// one scan, so the index stays exact across erases and compaction. Object id
// 0 means none yet; hexid 0 is a static aircraft's like any other.
template <typename T, typename KeyOf>
T* lf_findIndexed(std::vector<T>& items, Index& index, std::uint32_t key, KeyOf keyOf, bool zeroIsKey = false) {
  if (key == 0 && !zeroIsKey) return nullptr;
  auto found = index.find(key);
  if (found != index.end() && found->second < items.size() && keyOf(items[found->second]) == key) {
    return &items[found->second];
  }
  index.clear();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (keyOf(items[i]) != 0 || zeroIsKey) index.try_emplace(keyOf(items[i]), i);
  found = index.find(key);
  return found == index.end() ? nullptr : &items[found->second];
}

const auto kObjectOf = [](const PlacedAct& aircraft) { return aircraft.objectId; };
const auto kHexidOf = [](const PlacedAct& aircraft) { return aircraft.hexid; };

void lf_eraseAct(const Act& aircraft) {
  gf_freeStandOf(aircraft);
  gf_swapEraseAct(static_cast<std::size_t>(&aircraft - gActs.data()));
}

void lf_eraseStatic(const StaticAct& aircraft) {
  const auto position = static_cast<std::size_t>(&aircraft - gStaticActs.data());
  if (position + 1 != gStaticActs.size()) gStaticActs[position] = std::move(gStaticActs.back());
  gStaticActs.pop_back();
}

void lf_requestStaticCg(std::uint32_t objectId) {
  std::lock_guard lock(gScMutex);
  if (FAILED(SimConnect_RequestDataOnSimObject(gHSimConnect, REQ_STATIC_CG, DEF_STATIC_CG, objectId,
                                               SIMCONNECT_PERIOD_ONCE))) {
    gf_log("SimConnect request StaticCG fails");
    gf_simRequestError();
  }
}

void lf_onObjectRemoved(std::uint32_t objectId) {
  if (Act* aircraft = gf_findActByObject(objectId)) {
    if (aircraft->state == ACT_LIVERY_CHANGE) {
      aircraft->state = ACT_NOT_IN_SIM;
      aircraft->recreated = true;
      aircraft->throttleLevel = 5;
      aircraft->flapLevel = 4;
      aircraft->objectId = 0;
      return;
    }
    if (aircraft->hasFlightPlan) {
      const std::filesystem::path plan = gFlightPlanFolder / lf_planFileName(objectId);
      if (std::filesystem::exists(plan)) std::filesystem::remove(plan);
    }
    lf_eraseAct(*aircraft);
    return;
  }
  if (StaticAct* aircraft = gf_findStaticByObject(objectId)) lf_eraseStatic(*aircraft);
}

void lf_onCreationFailed(std::uint32_t hexid) {
  // Erased first: the 20th refusal of the process throws.
  if (hexid > 10000) {
    Act* aircraft = gf_findAct(hexid);
    if (!aircraft) return;
    const ActBase refused = *aircraft;
    lf_eraseAct(*aircraft);
    gf_noteCreationFailure(refused);
    return;
  }
  StaticAct* aircraft = gf_findStatic(hexid);
  if (!aircraft) return;
  const ActBase refused = *aircraft;
  lf_eraseStatic(*aircraft);
  gf_noteCreationFailure(refused);
}

void lf_onGroundData(const ObjectEvent& event) {
  Act* aircraft = gf_findActByObject(event.objectId);
  if (!aircraft) return;
  if (event.value == 1 && !aircraft->onGround && aircraft->rotationCountdown <= 1) lf_landed(*aircraft);
  aircraft->agl = event.second;
  if (aircraft->onGround || aircraft->rotationCountdown >= 2) aircraft->pose.altitude = aircraft->cgHeight + event.first;
}

void lf_onStaticCg(const ObjectEvent& event) {
  Act* aircraft = gf_findActByObject(event.objectId);
  if (!aircraft) return;
  if (event.first >= 1.0 && event.first <= 35.0) {
    aircraft->cgHeight = event.first;
  } else if (LOG.value) {
    gf_log(sk::format("{}: static CG {:.1F}ft wrong?", gf_aircraftDescription(*aircraft), event.first));
  }
  const bool implausible = event.second <= -kDegree || event.second > 2.5 * kDegree;
  aircraft->groundPitch = implausible ? 0.7 * kDegree : event.second;
}

void lf_onCreatedObject(ObjectEvent& event) {
  switch (event.kind) {
    case OBJ_CREATED_LIVE: {
      if (event.objectId < kFirstAiObjectId) return;
      Act* aircraft = gf_findAct(event.value);
      if (!aircraft || aircraft->state != ACT_CREATION_REQUESTED || aircraft->objectId != 0) {
        // Nobody waits for it any more (given up, erased): it must not stay.
        lf_queueRemoval(event.objectId);
        return;
      }
      event.counter = 0;
      if (lf_parks(*aircraft, event)) gLightsQueue.push_back(event);
      return;
    }
    case OBJ_CREATED_STATIC: {
      const StaticAct* aircraft = gf_findStatic(event.value);
      if (!aircraft || aircraft->state != ACT_CREATION_REQUESTED) {
        lf_queueRemoval(event.objectId);
        return;
      }
      event.counter = 0;
      gLightsQueue.push_back(event);
      return;
    }
    case OBJ_REMOVED: lf_onObjectRemoved(event.objectId); return;
    case OBJ_IN_RANGE: lf_onGroundData(event); return;
    case OBJ_STATIC_CG: lf_onStaticCg(event); return;
    case OBJ_CREATE_FAILED: lf_onCreationFailed(event.value); return;
    default: return;
  }
}

void lf_allLightsToggleEvent(std::uint32_t objectId) {
  std::lock_guard lock(gScMutex);
  if (FAILED(SimConnect_TransmitClientEvent(gHSimConnect, objectId, EV_ALL_LIGHTS_TOGGLE, 0, GROUP_AI, 0)))
    gf_log("SimConnect gf_allLightsToggle fails");
}

void lf_settleLiveAircraft(Act& aircraft) {
  const std::uint32_t id = aircraft.objectId;
  const bool rotorcraft = aircraft.category == kRotorcraft;
  const bool airborne = !aircraft.track.empty() && aircraft.track.front().airborne;
  if (airborne) {
    gf_queueEvent(id, EV_ENGINE_AUTO_START, 0);
    if (!rotorcraft) gf_queueEvent(id, EV_SPOILERS_SET, 0);
    const std::uint32_t low = aircraft.pose.altitude <= 10000.0 ? 1 : 0;
    lf_queueLights(id, {1, 1, low, 0, 1, low, aircraft.agl >= 2000.0 ? 1U : 0U});
  } else {
    const bool parked = aircraft.phase == PHASE_PARKED;
    if (!rotorcraft) gf_queueEvent(id, EV_SPOILERS_SET, 0);
    gf_queueEvent(id, parked ? EV_ENGINE_AUTO_SHUTDOWN : EV_ENGINE_AUTO_START, 0);
    const std::uint32_t nav = parked ? (NAV_LIGHTS_WHILE_PARKED.value ? 1 : 0) : 1;
    lf_queueLights(id, {nav, parked ? 0U : 1U, 0, aircraft.phase == PHASE_GROUND ? 1U : 0U, 0, 1, 1});
    lf_setThrottle(aircraft, rotorcraft ? 4 : 0);
    lf_setFlaps(aircraft, aircraft.phase == PHASE_GROUND ? 1 : 0);
    // Created in its take-off roll: the roll begins now.
    if (aircraft.takeOffRoll) lf_prepareTakeOff(aircraft);
  }
  aircraft.state = ACT_PRESENT;
}

// The settle only takes a record still waiting in state 1 for this very
// object; an entry nobody waits for any more takes its object out again.
template <typename T>
bool lf_waitsFor(const T* aircraft, const ObjectEvent& event) {
  if (aircraft && aircraft->state == ACT_CREATION_REQUESTED) return true;
  if (!aircraft || aircraft->objectId != event.objectId) lf_queueRemoval(event.objectId);
  return false;
}

void lf_staticSettled(StaticAct& aircraft, ObjectEvent& event) {
  aircraft.state = ACT_PRESENT;
  aircraft.objectId = event.objectId;
  lf_parkAtStand(aircraft);
  if (LOG.value) gf_log(sk::format("{:8}: {:8} parked", gf_standLabel(aircraft.standId), aircraft.key.callsign));
  if (aircraft.removeWhenCreated) gf_removeAct(aircraft);
}

void gf_allLightsToggle(bool& done, ObjectEvent& event) {
  if (event.counter < 0) return;
  if (event.counter < kSettleTicks) {
    ++event.counter;
    if (event.kind == OBJ_CREATED_LIVE && (event.counter == 50 || event.counter == 100))
      lf_allLightsToggleEvent(event.objectId);
    return;
  }
  event.counter = -1;
  done = true;
  if (event.kind == OBJ_CREATED_STATIC) {
    StaticAct* aircraft = gf_findStatic(event.value);
    if (lf_waitsFor(aircraft, event)) lf_staticSettled(*aircraft, event);
    return;
  }
  Act* aircraft = gf_findAct(event.value);
  if (!lf_waitsFor(aircraft, event)) return;
  lf_settleLiveAircraft(*aircraft);
  if (aircraft->removeWhenCreated) gf_removeAct(*aircraft);
}

// A creation whose object never appeared (the call failed, or no answer ever
// matched) would block its hexid for the run.
void lf_giveUpLostCreations() {
  const std::int64_t tick = gTick.load();
  for (Act& aircraft : gActs) {
    if (aircraft.state != ACT_CREATION_REQUESTED || aircraft.objectId != 0 || aircraft.eraseMark) continue;
    if (tick - aircraft.creationDecidedTick < kCreationTimeoutTicks) continue;
    gf_log(sk::format("{:8} not created after {} s, given up", aircraft.key.callsign, kCreationTimeoutTicks / 100));
    gf_freeStandOf(aircraft);
    gf_dropPendingCreation(aircraft.hexid);
    aircraft.eraseMark = 1;
  }
}
}  // namespace

Act* gf_findActByObject(std::uint32_t objectId) { return lf_findIndexed(gActs, gActByObject, objectId, kObjectOf); }
StaticAct* gf_findStaticByObject(std::uint32_t objectId) {
  return lf_findIndexed(gStaticActs, gStaticByObject, objectId, kObjectOf);
}
StaticAct* gf_findStatic(std::uint32_t hexid) {
  return lf_findIndexed(gStaticActs, gStaticByHexid, hexid, kHexidOf, true);
}

void lf_setFlightPlan(Act& aircraft) {
  if (aircraft.key.origin.empty() || aircraft.key.destination.empty()) return;
  const std::filesystem::path file = gFlightPlanFolder / lf_planFileName(aircraft.objectId);
  bool handed = gf_writeFlightPlan(file, aircraft);
  if (handed && MSFS_2020.value) {
    std::lock_guard lock(gScMutex);
    handed = SUCCEEDED(SimConnect_AISetAircraftFlightPlan(gHSimConnect, aircraft.objectId,
                                                          gf_pathToUtf8(file).c_str(), REQ_FLIGHT_PLAN));
  }
  aircraft.hasFlightPlan = handed;
  if (!handed) gf_showMessage(gf_aircraftDescription(aircraft) + " creating a flight plan failed !", true);
}

bool lf_parks(Act& aircraft, const ObjectEvent& event) {
  if (event.objectId < kFirstAiObjectId) return false;
  aircraft.objectId = event.objectId;
  aircraft.agl = event.second;
  if (!aircraft.track.empty() && !aircraft.track.front().airborne) {
    aircraft.onGround = true;
    lf_setGear(aircraft, 1);
    aircraft.altStep = 0.0;
    if (aircraft.phase == PHASE_PARKED) {
      aircraft.arrivalSlot = gf_currentSlot();
      if (!aircraft.recreated)
        gf_log(sk::format("{:8}: {:8} parks", gf_standLabel(aircraft.standId), aircraft.key.callsign));
      std::erase_if(gStaticParkingList, [&](const StaticPlan& plan) { return plan.standId == aircraft.standId; });
    }
    aircraft.recreated = false;
    aircraft.rotationCountdown = 1;
  }
  lf_setFlightPlan(aircraft);
  lf_requestStaticCg(aircraft.objectId);
  return true;
}

void gf_processCreatedObjects() {
  // Handled after unlocking: writing plans and calling the simulator must not
  // stall the SimConnect thread's pushes.
  gDrained.clear();
  {
    std::lock_guard lock(gObjectAddedMutex);
    gDrained.swap(gObjectAddedQueue);
  }
  // Error 81 (the 20th refusal) ends the run: the rest of the batch is taken
  // first, so that an object matched in it is one the exit removes.
  std::exception_ptr refusal;
  for (ObjectEvent& event : gDrained) {
    try {
      lf_onCreatedObject(event);
    } catch (...) {
      if (!refusal) refusal = std::current_exception();
    }
  }
  gDrained.clear();
  if (refusal) std::rethrow_exception(refusal);
  bool done = false;
  for (ObjectEvent& event : gLightsQueue) gf_allLightsToggle(done, event);
  if (done) std::erase_if(gLightsQueue, [](const ObjectEvent& event) { return event.counter < 0; });
  lf_giveUpLostCreations();
}
