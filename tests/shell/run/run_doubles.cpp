// Recording doubles of the services the run calls in other rooms. Plain
// definitions: should a linked library define one of them too, the link fails
// loudly instead of a test quietly using the real service.
#include "run_doubles.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "airports/airport_scan.h"
#include "airports/static_parking.h"
#include "core/format.h"
#include "airports/park_airports.h"
#include "liveries/livery_matching.h"
#include "liveries/livery_processing.h"
#include "liveries/livery_scan.h"
#include "shell/auto_range.h"
#include "shell/commands.h"
#include "shell/update.h"
#include "shell/main_loop.h"
#include "shell/rt_link.h"
#include "shell/startup.h"
#include "traffic/engine.h"
#include "traffic/sim_connection.h"
#include "traffic/static_parked.h"
#include "traffic/user_aircraft.h"

namespace {

// Never destroyed: the program's detached exit thread may still record a call while
// the test program's statics are destroyed.
std::mutex& gMutex = *new std::mutex;
std::condition_variable& gChanged = *new std::condition_variable;
std::vector<std::string> gCalls;
std::vector<std::thread::id> gCallThreads;  // the thread of each call
run_doubles::Behaviour gBehaviour;
bool gServerStopped = false;  // the link was woken

void lf_record(const std::string& call) { run_doubles::record(call); }

std::string lf_atSecond(const std::string& name) { return sk::format("{}@{}", name, gSeconds.load()); }

}  // namespace

namespace run_doubles {

std::vector<std::string> calls() {
  std::lock_guard lock(gMutex);
  return gCalls;
}

void clear() {
  std::lock_guard lock(gMutex);
  gCalls.clear();
  gCallThreads.clear();
  gBehaviour = Behaviour{};
  gServerStopped = false;
}

void record(const std::string& call) {
  std::function<void(const std::string&)> onCall;
  {
    std::lock_guard lock(gMutex);
    gCalls.push_back(call);
    gCallThreads.push_back(std::this_thread::get_id());
    onCall = gBehaviour.onCall;
  }
  gChanged.notify_all();
  if (onCall) onCall(call);
}

bool waitForCall(const std::function<bool(const std::vector<std::string>&)>& predicate) {
  std::unique_lock lock(gMutex);
  return gChanged.wait_for(lock, std::chrono::seconds(10), [&] { return predicate(gCalls); });
}

bool waitForCall(const std::string& call) {
  return waitForCall([&](const std::vector<std::string>& calls) {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  });
}

std::vector<std::string> callsOn(std::thread::id thread) {
  std::lock_guard lock(gMutex);
  std::vector<std::string> found;
  for (std::size_t i = 0; i < gCalls.size(); ++i) {
    if (gCallThreads[i] == thread) found.push_back(gCalls[i]);
  }
  return found;
}

Behaviour& behaviour() { return gBehaviour; }

}  // namespace run_doubles

// ---- Engine ----
void gf_initTraffic() { lf_record("gf_initTraffic"); }
void gf_trafficTick() {
  if (gBehaviour.trafficTick) gBehaviour.trafficTick();
}
void gf_resetTraffic() { lf_record("gf_resetTraffic"); }
void gf_processCreatedObjects() {}
void gf_clearPositionSets() { lf_record("gf_clearPositionSets"); }
bool gf_createFlightPlanFolder() {
  lf_record("gf_createFlightPlanFolder");
  return true;
}
bool gf_removeFlightPlanFolder() {
  lf_record("gf_removeFlightPlanFolder");
  return true;
}
std::int32_t gf_countLivePresent() { return 0; }
std::int32_t gf_countLiveParkedAtSlot(bool) { return 0; }
std::int32_t gf_countStaticAtSlot(bool) { return 0; }
void gf_serveArrivedAircraft(DaySlot) {}
void gf_trimLiveToMax() { lf_record("gf_trimLiveToMax"); }
void gf_setNavLights(std::uint32_t objectId, std::uint32_t value) {
  lf_record(sk::format("gf_setNavLights({}, {})", objectId, value));
}
std::vector<Act> gActs;
std::vector<StaticAct> gStaticActs;
std::recursive_mutex gEngineMutex;
void gf_findCallsign() { lf_record("gf_findCallsign"); }
void gf_removeStaticParked() { lf_record("gf_removeStaticParked"); }
void gf_removeStaticTwin(const Act& aircraft) { lf_record(lf_atSecond("gf_removeStaticTwin " + aircraft.key.callsign)); }
void gf_listParked() { lf_record(lf_atSecond("gf_listParked")); }
void gf_blockParkingUi() { lf_record(lf_atSecond("gf_blockParkingUi")); }
void gf_collisionPasses(bool) {}
void gf_removeBlockedCallsign(const std::string& callsign) { lf_record("gf_removeBlockedCallsign(" + callsign + ")"); }
void gf_logNoMatch() { lf_record(lf_atSecond("gf_logNoMatch")); }
void gf_clearNoMatchList() {}
void gf_clearLiveryMemory() { lf_record("gf_clearLiveryMemory"); }
void gf_clearGhostCallsigns() { lf_record("gf_clearGhostCallsigns"); }
void gf_removeAllForExit() { lf_record("gf_removeAllForExit"); }
bool gf_waitExitRemovalsSent(std::chrono::milliseconds) {
  lf_record("gf_waitExitRemovalsSent");
  return gBehaviour.removalsSent;
}
void gf_removeExitObjectsDirectly() { lf_record("gf_removeExitObjectsDirectly"); }

// ---- SimConnect side ----
void gf_simconThread(std::stop_token) {}
void gf_reserveSimQueues() { lf_record("gf_reserveSimQueues"); }
void gf_startSimconnect() { lf_record("gf_startSimconnect"); }
void gf_stopSimconnect() { lf_record("gf_stopSimconnect"); }
UserAc gf_requestUserAcPosition() {
  lf_record("gf_requestUserAcPosition");
  std::lock_guard lock(gMutex);
  return gBehaviour.position;
}
void gf_requestUserAcTitle() { lf_record("gf_requestUserAcTitle"); }
bool gf_requestUserOnGround() {
  lf_record("gf_requestUserOnGround");
  return true;
}
void gf_resetSimConnection() { lf_record("gf_resetSimConnection"); }
void gf_resetUserAircraft() {}

// ---- Airports ----
bool gf_reloadParkAirports(bool, std::string&) {
  lf_record(lf_atSecond("gf_reloadParkAirports"));
  return false;
}
void gf_checkParkAirport(bool first) {
  lf_record(first ? "gf_checkParkAirport(true)" : lf_atSecond("gf_checkParkAirport"));
  if (!first) gBehaviour.parkLoadPending = false;
}
bool gf_parkAirportLoadPending() { return gBehaviour.parkLoadPending; }
void gf_resetParkControl() { lf_record("gf_resetParkControl"); }
void gf_freeReservedStand() {}
void gf_parkingAdjustments() { lf_record(lf_atSecond("gf_parkingAdjustments")); }
void gf_leaveParkAirport() { lf_record("gf_leaveParkAirport"); }
bool gf_hasParkStands() { return gBehaviour.hasParkStands; }
void gf_scanAirports() { lf_record("gf_scanAirports"); }
void gf_resetAirportScan() { lf_record("gf_resetAirportScan"); }
void gf_selectParkAirport(const std::string& icao, double, double) { lf_record("gf_selectParkAirport(" + icao + ")"); }

// ---- Liveries ----
void gf_serveLiveryClearing() { lf_record("gf_serveLiveryClearing"); }
void gf_requestLiveryClearing() { lf_record("gf_requestLiveryClearing"); }
void gf_scanLiveries() { lf_record("gf_scanLiveries"); }
void gf_initLiveryMatching() { lf_record("gf_initLiveryMatching"); }
void gf_logLiveryMatchingSummary() { lf_record("gf_logLiveryMatchingSummary"); }

// ---- Shell services of other work ----
void gf_checkProgramUpdate() { lf_record("gf_checkProgramUpdate"); }
bool gf_updateCompanionPackage() {
  lf_record("gf_updateCompanionPackage");
  return false;
}
bool lf_companionFolderMissing() { return gBehaviour.companionMissing; }

// ---- Airports' copies of the user's values ----
std::atomic<std::int32_t> gUserMaxLive{-1};

// ---- RealTraffic link ----
std::atomic<bool> gRtClientConnected{false};
void gf_readerStopped(bool, const std::string&) {}
void lf_startServer(const std::string& port) { lf_record("lf_startServer(" + port + ")"); }
void lf_connectRealTraffic() {
  lf_record("lf_connectRealTraffic");
  std::unique_lock lock(gMutex);
  if (gBehaviour.connectBlocks) gChanged.wait(lock, [] { return gServerStopped; });
}
void gf_sendQs121() { lf_record("gf_sendQs121"); }
void lf_sendQs123(std::int64_t) { lf_record(lf_atSecond("lf_sendQs123")); }
void lf_stopServer() { lf_record("lf_stopServer"); }
void gf_wakeRtLink() {
  {
    std::lock_guard lock(gMutex);
    gServerStopped = true;
  }
  lf_record("gf_wakeRtLink");
}
