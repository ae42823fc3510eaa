// Interim, linked into the program only, until the traffic engine lands with
// its containers, queues and removals (the engine's tick, per-aircraft
// commands and arbitration replace this file). No live aircraft exist before
// it, so nothing is ever queued or withdrawn here.
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
