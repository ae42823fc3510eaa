#pragma once
// The small commands the engine sends to one simulator object, the removal
// of a static creation still queued and the block of the static-parking
// controls while static parking is being worked out. Every command goes onto
// the client-event queue under gScMutex; nothing here calls SimConnect.
#include <atomic>
#include <cstdint>
#include <string>

#include "traffic/records.h"

// Flap level 0..3; nothing for rotorcraft or when the level is already set.
void lf_setFlaps(PlacedAct& aircraft, std::uint32_t level);
// 1 down, 0 up; always sent (the gear is not remembered), never to rotorcraft.
void lf_setGear(const PlacedAct& aircraft, std::uint8_t value);
// Throttle level 0..4 (5: nothing sent); nothing when the level is already set.
void lf_setThrottle(PlacedAct& aircraft, std::uint32_t level);
// Engines off, throttle and flaps at 0, the parked set of lights.
void lf_parkAtStand(PlacedAct& aircraft);
// Sets the spoilers handle and both throttle levers (percent) on the object
// directly under gScMutex; a failed call counts as a request error.
void lf_setAiControls(const PlacedAct& aircraft, double spoilers, double throttle);

// Drops the queued static creations with this tail number and their static
// aircraft; 1 when one was found, else 0 (the caller then sets the creation mark).
int gf_withdrawStaticCreation(const std::string& callsign);

// 1 while static parking is being worked out.
extern std::atomic<std::uint8_t> gParkingUiBlocked;
void gf_unblockParkingUi();

// The value FLAPS_SET and THROTTLE_SET carry for a level.
std::uint32_t gf_flapValue(std::uint32_t level);
std::uint32_t gf_throttleValue(std::uint32_t level);
