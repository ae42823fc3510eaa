#pragma once
// Static parking control as the main loop and the shutdown drive it.
#include <cstdint>
#include <string>

// Reads my_park_airports.txt again; true with a message to show.
bool gf_reloadParkAirports(bool flag, std::string& message);
// One step of static parking control: with true once at the start of the main
// loop, then every 16 s with false.
void gf_checkParkAirport(bool first);
// Removes the aircraft standing on the stand reserved for the user aircraft.
void gf_freeReservedStand();
// Phase 2 of the renewal: removes or adds static aircraft to the wanted number.
void gf_parkingAdjustments();
// Leaves the park airport (its parking file saved when it changed).
void gf_leaveParkAirport();
// The current park airport has stands.
bool gf_hasParkStands();

// The user's own MAX_LIVE, stored by the start-up and restored by static
// parking control when it leaves a park airport.
extern std::int32_t gUserMaxLive;
