#pragma once
// Static parking control as the main loop and the shutdown drive it: which
// airport is the park airport, loading its stands with their learned use, the
// static parked aircraft planned stand by stand, their 20-minute renewal and
// the leaving of the airport. Main-loop thread, except gf_leaveParkAirport
// (shutdown thread, once the main loop has ended). Nothing that may download
// runs under the engine's guard.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/geometry.h"

struct StaticPlan;
struct StaticAct;

// Reads my_park_airports.txt again; true with a message to show.
bool gf_reloadParkAirports(bool applyReservedStand, std::string& message);
// One step of static parking control: with true once at the start of the main
// loop, then every 16 s with false.
void gf_checkParkAirport(bool atStart);
// A park airport has been chosen and its file waits for the next step to load it.
bool gf_parkAirportLoadPending();
// Removes the aircraft standing on the stand reserved for the user aircraft.
void gf_freeReservedStand();
// Phase 2 of the renewal: removes or adds static aircraft to the wanted number.
void gf_parkingAdjustments();
// Leaves the park airport (its parking file saved when it changed).
void gf_leaveParkAirport();
// The current park airport has stands.
bool gf_hasParkStands();

// The user's own MAX_LIVE, stored by the start-up and the window and restored
// by static parking control (main loop) when it leaves a park airport.
extern std::atomic<std::int32_t> gUserMaxLive;

// ---- Loading and planning ----

// Loads the park airport's stands; empty on success, else the reason.
std::string lf_loadParkAirport();
// Logs the day banner and returns the current weekday and half-hour.
DaySlot lf_dayBanner();
// One pass over the options of a kind (OPTION_REAL, OPTION_SOFT), widening the
// fit until wanted stands are taken; true when they are (work then holds the
// last step's plans).
bool lf_collectPlans(DaySlot now, std::uint32_t kind, std::int64_t wanted, std::vector<StaticPlan>& work);
// present: aircraft already counted against wanted.
void lf_fillStaticPlans(DaySlot now, std::int64_t wanted, std::int32_t present);
void lf_shufflePlans(std::int64_t count, std::vector<StaticPlan>& work);
void lf_dropPlans(std::int64_t count);
// The reserved stand and the stand under the user aircraft are never planned.
void lf_markReservedStand();

// ---- Control ----

void lf_userAtAirport(const LatLon& position, bool showCalculating);
void lf_parkAirportSight(const LatLon& position);
// False when the code is not in the airport list.
bool lf_showParkAirport(const std::string& icao);
void lf_calculatingStaticParking(bool showMessage);
void lf_setupStaticParking();
std::int32_t lf_wantedParkedCount();
// Closes the park airport, its learned file saved when it changed.
void lf_saveApfIfChanged();

// Forgets what the control step keeps between its runs (the park airport chosen
// but not yet loaded, the last user position, the pass fits and the stayers):
// an in-process restart starts from nothing.
void gf_resetParkControl();
