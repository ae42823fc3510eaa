#pragma once
// Doubles of the traffic engine's live aircraft and removals for the shell's
// test programs. Include in exactly one file of each program.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "traffic/engine.h"

std::vector<Act> gActs;

namespace engine_doubles {

inline std::vector<std::uint32_t> removed;     // hexids handed to gf_removeAct
inline std::set<std::string> queuedCreations;  // callsigns with a creation in the queue
inline std::vector<std::string> withdrawals;   // callsigns asked to withdraw

inline void reset() {
  gActs.clear();
  removed.clear();
  queuedCreations.clear();
  withdrawals.clear();
}

inline Act liveAct(std::uint32_t hexid, const std::string& callsign, ActState state) {
  ActBase base;
  base.hexid = hexid;
  base.key.callsign = callsign;
  Act act(std::move(base), TrackPoint{}, 0.0);
  act.state = state;
  return act;
}

}  // namespace engine_doubles

void gf_removeAct(PlacedAct& aircraft) {
  engine_doubles::removed.push_back(aircraft.hexid);
  aircraft.state = ACT_REMOVAL_REQUESTED;
}

// As the engine does: the withdrawn aircraft's record leaves gActs, the last one taking its place.
bool gf_withdrawQueuedCreation(const std::string& callsign) {
  engine_doubles::withdrawals.push_back(callsign);
  if (engine_doubles::queuedCreations.erase(callsign) == 0) return false;
  for (std::size_t i = 0; i < gActs.size();) {
    if (gActs[i].key.callsign == callsign && gActs[i].state == ACT_CREATION_REQUESTED) {
      std::swap(gActs[i], gActs.back());
      gActs.pop_back();
    } else {
      ++i;
    }
  }
  return true;
}

