// Interim traffic engine for the program until the engine lands; the engine
// tick, its containers and queues, per-aircraft commands, arbitration and the
// shutdown removals replace this file. It creates no AI object, so it has
// nothing to count, serve, withdraw or remove.
#include "traffic/engine.h"

std::vector<Act> gActs;

void gf_removeAct(PlacedAct& aircraft) {
  if (aircraft.state == ACT_NOT_IN_SIM) {
    aircraft.eraseMark = 1;
  } else {
    aircraft.state = ACT_REMOVAL_REQUESTED;
  }
}

bool gf_withdrawQueuedCreation(const std::string&) { return false; }

void gf_initTraffic() {}
void gf_trafficTick() {}
void gf_resetTraffic() {}
void gf_processCreatedObjects() {}
void gf_clearPositionSets() {}
std::int32_t gf_countLivePresent() { return 0; }
std::int32_t gf_countLiveParkedAtSlot(bool) { return 0; }
std::int32_t gf_countStaticAtSlot(bool) { return 0; }
void gf_serveArrivedAircraft(DaySlot) {}
void gf_findCallsign() {}
void gf_removeStaticParked() {}
bool gf_hasStaticParked() { return false; }
void gf_removeStaticTwins() {}
void gf_listParked() {}
void gf_blockParkingUi() {}
void gf_clearAroundUser() {}
void gf_avoidUserCollisions() {}
void gf_avoidLiveParkedCollisions() {}
void gf_removeBlockedCallsign(const std::string&) {}
void gf_clearLiveryMemory() {}
void gf_clearGhostCallsigns() {}
void gf_removeAllForExit() {}
bool gf_waitExitRemovalsSent(std::chrono::milliseconds) { return true; }
void gf_removeExitObjectsDirectly() {}
