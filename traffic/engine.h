#pragma once
// The traffic engine as the shell drives it: its live aircraft and the
// removals other rooms ask of it, the start of a traffic phase, the 10 ms
// tick, the once-a-second services of the main loop and the shutdown's
// removals. Everything here runs on the start-up/main-loop thread unless it
// says otherwise; the engine's containers are never touched from another thread.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/clock.h"
#include "traffic/records.h"
#include "traffic/creation_failures.h"
#include "traffic/flight_plans.h"

// The live aircraft; owned by the main-loop thread.
extern std::vector<Act> gActs;

// Starts the removal of a live or static aircraft: frees its stand, sets its
// state to 4 and queues its object id (one that never reached the simulator
// only gets its erase mark).
void gf_removeAct(PlacedAct& aircraft);

// Withdraws the queued creations of live aircraft with that callsign and
// erases their records from gActs; true when one was found.
bool gf_withdrawQueuedCreation(const std::string& callsign);

// Prepares the engine at the start of each traffic phase (reserves its
// containers, checks its files).
void gf_initTraffic();
// One 10 ms tick: objects the simulator created, motion, hand-over of removals
// and creations, at most two traffic records, the in-range request, Qs121
// every 100th tick.
void gf_trafficTick();
// Empties every container and queue of the engine and of the SimConnect
// client (pending creations, outbound queues, position-set buffers, user
// blocks and texts, lowest object id back to 2, request-error count 0).
// Only once the SimConnect thread has been stopped and joined.
void gf_resetTraffic();
// Drains the queues of objects reported by the simulator and places them.
void gf_processCreatedObjects();
// Empties both position-set queues under the SimConnect mutex (the flight stopped).
void gf_clearPositionSets();

// The flight-plan folder: traffic/flight_plans.h.

// ---- Once-a-second services of the main loop ----

// Live aircraft present and not parked.
std::int32_t gf_countLivePresent();
// Live aircraft parked at stands of the park airport that pass the current
// half-hour test; stores the live average fit in the application state.
std::int32_t gf_countLiveParkedAtSlot(bool flag);
// Static parked aircraft that pass the current half-hour test; stores the
// static average fit.
std::int32_t gf_countStaticAtSlot(bool flag);

// One entry of the queue of aircraft that reached a stand or landed: the
// coupled-callsign search once per aircraft, then the removal of the first
// static aircraft that twins it (gf_replaceSameRegcode).
void gf_serveArrivedAircraft(DaySlot now);
// The window's object-id lookup of CALLSIGN_2_OBJECTID.
void gf_findCallsign();
// Removes every static parked aircraft present; marks those being created.
void gf_removeStaticParked();
// Whether any static parked aircraft exists.
bool gf_hasStaticParked();
// gf_removeStaticTwin for every live aircraft.
void gf_removeStaticTwins();
// "Parked at {}" list into the log.
void gf_listParked();
// Disables the parking controls while static parking is calculated.
void gf_blockParkingUi();

// Collision passes: aircraft on the ground around the user aircraft; the first
// live aircraft that would touch the airborne user aircraft; static aircraft
// touching live ones on the ground (each live aircraft once per new position).
void gf_clearAroundUser();
void gf_avoidUserCollisions();
void gf_avoidLiveParkedCollisions();
// Removes the first present live aircraft with this callsign.
void gf_removeBlockedCallsign(const std::string& callsign);

// The no-match list into the log and its emptying: traffic/creation_failures.h.
// The per-hexid livery memory; the ghost callsigns.
void gf_clearLiveryMemory();
void gf_clearGhostCallsigns();

// ---- Shutdown (the exit thread, once the main loop has ended) ----

// Puts every object id of the run on the SimConnect removal list: present live
// and static aircraft, queued removals, and from now on every object the
// simulator reports for a creation still pending. The list is sent by the next
// Frame flush even while requests are paused.
void gf_removeAllForExit();
// Waits, at most for the bound, until a Frame flush has sent every removal of
// gf_removeAllForExit, pending creations included; false when it did not.
bool gf_waitExitRemovalsSent(std::chrono::milliseconds bound);
// When no Frame came: removes the listed objects directly through SimConnect.
void gf_removeExitObjectsDirectly();
