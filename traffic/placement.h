#pragma once
// The placement of created objects and what it calls of landing and parking.
// Main-loop thread.
#include <cstdint>
#include <vector>

#include "traffic/object_events.h"
#include "traffic/records.h"

// Created objects waiting for their settle, 200 ticks after they appeared.
extern std::vector<ObjectEvent> gLightsQueue;

// A record in state 1 whose object has not appeared after this many ticks is given up.
inline constexpr std::int64_t kCreationTimeoutTicks = 6000;

// Takes a newly created live object; false when its id is refused (below 3).
bool lf_parks(Act& aircraft, const ObjectEvent& event);
// Writes the aircraft's plan and hands it to the simulator in MSFS 2020 mode.
void lf_setFlightPlan(Act& aircraft);

// The live and static aircraft by their object id, the static ones by hexid.
Act* gf_findActByObject(std::uint32_t objectId);
StaticAct* gf_findStaticByObject(std::uint32_t objectId);
StaticAct* gf_findStatic(std::uint32_t hexid);
