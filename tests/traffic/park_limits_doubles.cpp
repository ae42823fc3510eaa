// Stand-ins for the removals and limits at the park airport until the engine
// defines them (delete this file then): what static parking control reads of
// them, the live stayers and the static flush, done plainly.
#include "airports/static_parking.h"
#include "traffic/engine.h"
#include "traffic/live_stayers.h"

void gf_collectLiveStayers() {
  for (const Act& aircraft : gActs)
    if (aircraft.phase == PHASE_PARKED && aircraft.state == ACT_PRESENT)
      gLiveStayers.push_back({aircraft.key.callsign, aircraft.standId, 0});
}
void gf_removeLongestParked(std::int64_t) {}
void gf_removeStaticParked() {
  for (StaticAct& aircraft : gStaticActs)
    if (aircraft.state == ACT_PRESENT) gf_removeAct(aircraft);
}
std::int32_t gf_countLiveParkedAtSlot(bool) { return 0; }
void gf_freeReservedStand() {}
