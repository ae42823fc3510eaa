#pragma once
// The traffic engine's live aircraft and the removals other rooms ask of it.
// The engine (its tick, queues and containers) defines these; the shell calls
// them when RealTraffic goes away and at the exit.
#include <string>
#include <vector>

#include "traffic/records.h"

// The live aircraft; owned by the main-loop thread.
extern std::vector<Act> gActs;

// Starts the removal of a live or static aircraft: frees its stand, sets its
// state to 4 and queues its object id (one that never reached the simulator
// only gets its erase mark).
void gf_removeAct(PlacedAct& aircraft);

// Withdraws the queued creations of live aircraft with that callsign and
// erases their records from gActs; true when one was found.
bool gf_withdrawQueuedCreation(const std::string& callsign);
