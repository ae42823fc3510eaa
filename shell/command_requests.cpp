// The window's requests as the main loop and the start-up serve them: on
// their own threads, where the engine's containers and the scan state are theirs.
#include <mutex>

#include "airports/airport_scan.h"
#include "core/parameters.h"
#include "shell/auto_range.h"
#include "shell/commands.h"
#include "traffic/engine.h"

void gf_setParkedNavLights(bool on) {
  std::lock_guard lock(gEngineMutex);
  const std::uint32_t value = on ? 1 : 0;
  for (const StaticAct& aircraft : gStaticActs) {
    if (aircraft.state == ACT_PRESENT) gf_setNavLights(aircraft.objectId, value);
  }
  for (const Act& aircraft : gActs) {
    if (aircraft.state == ACT_PRESENT && aircraft.phase == PHASE_PARKED) gf_setNavLights(aircraft.objectId, value);
  }
}

void gf_serveCommandRequests() {
  if (gNavLightsRequest.exchange(false)) gf_setParkedNavLights(NAV_LIGHTS_WHILE_PARKED.value);
  if (gTrimLiveRequest.exchange(false)) gf_trimLiveToMax();
  gf_serveParkAirportSelection();
  // Switched off again before it was served: the hand-set range already stands.
  if (gAutoRangeRequest.exchange(false) && AUTO_RANGE.value) gf_autoRange();
}

void gf_serveAirportScanReset() {
  if (gAirportScanResetRequest.exchange(false)) gf_resetAirportScan();
}
