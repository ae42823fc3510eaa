// Interim once-a-second services of the traffic engine, for the program until
// the engine's per-aircraft commands, arbitration, counting, collision
// avoidance and park-airport removals replace this file.
#include "airports/static_parking.h"
#include "traffic/engine.h"
#include "traffic/live_stayers.h"

void gf_clearPositionSets() {}
std::int32_t gf_countLivePresent() { return 0; }
std::int32_t gf_countLiveParkedAtSlot(bool) { return 0; }
void gf_serveArrivedAircraft(DaySlot) {}
void gf_removeStaticParked() {}
bool gf_hasStaticParked() { return false; }
void gf_removeStaticTwins() {}
void gf_clearAroundUser() {}
void gf_avoidUserCollisions() {}
void gf_avoidLiveParkedCollisions() {}
void gf_removeBlockedCallsign(const std::string&) {}
void gf_freeReservedStand() {}
void gf_collectLiveStayers() {}
void gf_removeLongestParked(std::int64_t) {}
