// Per-aircraft commands and the static-parking control block.
#include "traffic/commands.h"

#include <array>
#include <deque>
#include <mutex>

#include "core/parameters.h"
#include "core/random.h"
#include "traffic/engine.h"
#include "traffic/sim_connection.h"
#include "traffic/sim_ids.h"

namespace {
constexpr AircraftCategory kRotorcraft = 5;
constexpr std::array<std::uint32_t, 4> kFlapValues{0, 3072, 10240, 16383};
constexpr std::array<std::uint32_t, 5> kThrottleValues{0, 4914, 8191, 11468, 16383};


}  // namespace

std::uint32_t gf_flapValue(std::uint32_t level) { return kFlapValues.at(level); }
std::uint32_t gf_throttleValue(std::uint32_t level) { return kThrottleValues.at(level); }

void lf_setFlaps(PlacedAct& aircraft, std::uint32_t level) {
  if (aircraft.category == kRotorcraft || aircraft.flapLevel == level) return;
  gf_queueEvent(aircraft.objectId, EV_FLAPS_SET, gf_flapValue(level));
  aircraft.flapLevel = level;
}

void lf_setGear(const PlacedAct& aircraft, std::uint8_t value) {
  if (aircraft.category == kRotorcraft) return;
  gf_queueEvent(aircraft.objectId, EV_GEAR_SET, value);
}

void lf_setThrottle(PlacedAct& aircraft, std::uint32_t level) {
  if (aircraft.throttleLevel == level) return;
  if (level < kThrottleValues.size()) gf_queueEvent(aircraft.objectId, EV_THROTTLE_SET, gf_throttleValue(level));
  aircraft.throttleLevel = level;
}

void lf_parkAtStand(PlacedAct& aircraft) {
  lf_setThrottle(aircraft, 0);
  lf_setFlaps(aircraft, 0);
  gf_queueEvent(aircraft.objectId, EV_ENGINE_AUTO_SHUTDOWN, 0);
  // A cargo stand stays dark whatever the draw.
  std::uint32_t cabin = 0;
  if (!aircraft.standCargo) cabin = RANDOM.value ? (gf_randomEngine()() % 10 <= 8 ? 1 : 0) : 1;
  const std::uint32_t nav = NAV_LIGHTS_WHILE_PARKED.value ? 1 : 0;
  lf_queueLights(aircraft.objectId, {nav, 0, 0, 0, 0, 1, cabin});
}

void lf_setAiControls(const PlacedAct& aircraft, double spoilers, double throttle) {
  const double block[3] = {spoilers, throttle, throttle};
  std::lock_guard lock(gScMutex);
  if (!gHSimConnect) return;
  if (FAILED(SimConnect_SetDataOnSimObject(gHSimConnect, DEF_AI_CONTROLS, aircraft.objectId, 0, 0, sizeof block, block)))
    gf_simRequestError();
}

int gf_withdrawStaticCreation(const std::string& callsign) {
  int found = 0;
  std::deque<CreateReq> kept;
  for (CreateReq& entry : gCreationQueue) {
    if (entry.tailNumber != callsign) {
      kept.push_back(std::move(entry));
      continue;
    }
    found = 1;
    for (StaticAct& aircraft : gStaticActs)
      if (aircraft.hexid == entry.hexid) aircraft.eraseMark = 1;
  }
  gCreationQueue = std::move(kept);
  // Callers may be walking gStaticActs: the marked ones leave at the next compaction.
  return found;
}
