#pragma once
// Static parked aircraft at the park airport: their creation from the plans,
// the removals that keep them apart from live aircraft and from the user
// aircraft, and the limits of both kinds of parked aircraft. Main-loop thread;
// the containers are the engine's (traffic/engine.h).
#include <cstdint>
#include <string>

#include "core/clock.h"
#include "traffic/records.h"

// The last hexid given to a static aircraft (0..9999).
extern std::uint32_t gStaticHexidCounter;

// Takes the last plan of gStaticParkingList and, when nothing stops it,
// queues the creation of its static aircraft (lf_createStaticParked's body).
void lf_createStaticFromPlan();

// Half-hours from an arrival to now when now is later, else 0; Sunday is
// followed by Monday.
std::int64_t gf_halfHoursParked(DaySlot arrival, DaySlot now);
// Half-hours from an arrival to now, going back at most one week (0..335):
// the week wraps whatever the two days are.
std::int64_t gf_slotAge(DaySlot arrival, DaySlot now);
// The weekday and half-hour this many half-hours before now.
DaySlot gf_slotsBefore(DaySlot now, std::uint32_t halfHours);

// What a live aircraft that was just created or landed is matched with.
struct TwinKey {
  const Act& live;
  std::string callsignLessLast;
  bool onGround = false;
};
// True when the present static aircraft has the live aircraft's registration,
// or its callsign or a coupled one.
bool gf_replaceSameRegcode(const TwinKey& key, const StaticAct& aircraft);
// Removes the first static aircraft that twins a present live aircraft on the
// ground: its callsign with "*", or its registration.
void gf_removeStaticTwin(const Act& live);

// gf_collectLiveStayers and gf_removeLongestParked: traffic/live_stayers.h.

// Collision passes of one live aircraft: against the airborne user aircraft,
// and against one static aircraft while it moves on the ground. True when
// the aircraft in the way was removed.
bool gf_avoidUserCollision(Act& aircraft);
bool gf_avoidCollisionWithLive(const Act& live, StaticAct& aircraft);
