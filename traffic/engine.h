#pragma once
// The traffic engine as the shell drives it: its live aircraft and the
// removals other rooms ask of it, the start of a traffic phase, the 10 ms
// tick, the once-a-second services of the main loop and the shutdown's
// removals. Everything here runs on the start-up/main-loop thread unless it
// says otherwise; the engine's containers are never touched from another thread.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "core/clock.h"
#include "traffic/records.h"
#include "traffic/creation_failures.h"
#include "traffic/flight_plans.h"
#include "traffic/sim_queues.h"

// The live aircraft; owned by the main-loop thread.
extern std::vector<Act> gActs;

// The static parked aircraft.
extern std::vector<StaticAct> gStaticActs;
// Object ids waiting to be handed to the SimConnect removal queue, one per 10 ticks.
extern std::deque<std::uint32_t> gRemovalQueue;
// Creation entries, one handed per 50 ticks: live ones first, then static ones.
extern std::deque<CreateReq> gCreationQueuePrio;
extern std::deque<CreateReq> gCreationQueue;
// Hexids whose creation the arbitration has decided.
extern std::vector<std::uint32_t> gCreateHexids;

// A static parked aircraft still to be created at the park airport.
struct StaticPlan {
  std::uint32_t standId = 0;      // the planned stand's index
  std::uint32_t startOffset = 0;  // half-hours before now at which the stay began; planning orders by it
  std::string operatorCode;
  std::string type;
  std::string firstCallsign;
  std::string secondCallsign;
  std::string registration;
  // Set by the stand search: the aircraft takes the first callsign, else the second.
  std::uint8_t firstCallsignUsed = 0;
};
extern std::vector<StaticPlan> gStaticParkingList;

// The park airport as the engine sees it; empty code: none.
struct EngineParkAirport {
  std::string code;
  std::string name;
  double latitude = 0.0;
  double longitude = 0.0;
  double altitude = 0.0;  // feet
};
extern EngineParkAirport gEngineParkAirport;
// Sets (an empty code: clears) the park airport as the engine and the traffic
// reader's ground filter see it, under the engine's guard. The reader's park
// elevation is forgotten with it: it is known again once the new airport's
// parking file is loaded.
void gf_setTrafficParkAirport(const EngineParkAirport& airport);

// Held by the tick; the window and shutdown threads take it around their calls
// into the engine. Lock order: this, then gObjectAddedMutex, then gScMutex.
extern std::recursive_mutex gEngineMutex;

// Starts the removal of a live or static aircraft: frees its stand, sets its
// state to 4 and queues its object id (one that never reached the simulator
// only gets its erase mark).
void gf_removeAct(PlacedAct& aircraft);
// Clears the live-occupied flag of the stand a live aircraft holds.
void gf_freeStandOf(const PlacedAct& aircraft);

// The object the window's lookup selected; 0: none. gf_removeAct clears it
// when that object leaves.
extern std::atomic<std::uint32_t> gSelectedObjectId;

// Removes the present live aircraft farthest from the user aircraft when it is
// farther than minDistance (nm); true when none was.
bool lf_removeFarthest(double minDistance);
// The selection, its text and a non-empty CALLSIGN_2_OBJECTID emptied.
void gf_clearObjectSelection();
// The park airport's stand with this id (its 1-based place); null for 0 or none.
struct Stand;
Stand* gf_standById(std::uint32_t standId);
// The stand's name for log lines: "sid==0?" for 0, "unknown" when not found.
std::string gf_standLabel(std::uint32_t standId);
// Removes the farthest present live aircraft until MAX_LIVE are left (no limit
// while it holds its default).
void gf_trimLiveToMax();

// Withdraws the queued creations of live aircraft with that callsign and
// erases their records from gActs; true when one was found.
bool gf_withdrawQueuedCreation(const std::string& callsign);

// Reserves the containers and removes Callsign2ObjectId.txt; once per process.
void gf_initTraffic();
// One 10 ms step of the engine; main-loop thread, while a flight runs.
void gf_trafficTick();
void lf_motionPass();
// Request 101: every aircraft within the lateral range, or within the
// simulator's widest radius while a creation is unanswered (under gScMutex; a
// failure is logged and counted).
void lf_requestAircraftInRange();
// Empties the engine's queues and gActs for an in-process restart, once the
// SimConnect thread has been joined and the shutdown has handed every object
// to the simulator's removal (the client's own state is gf_resetSimConnection's).
void gf_resetTraffic();
// Drains the queues of objects reported by the simulator and places them.
void gf_processCreatedObjects();
// Empties both position-set queues under the SimConnect mutex (the flight stopped).
void gf_clearPositionSets();

// The flight-plan folder: traffic/flight_plans.h.

// Records taken off the update queue in one tick when len are queued: at least
// two, and a sixteenth of the queue, so a backlog never outgrows the display delay.
std::size_t gf_updatesPerTick(std::size_t queued);
// The Part-literal intake (two a tick) for the backlog benchmark's comparison.
extern bool gIntakeBacklogMend;

// Ticks from tick to due; due ticks are u32 and the counter i32, so every
// comparison goes through signed 64 bits.
inline std::int64_t gf_ticksUntil(std::uint32_t due, std::int64_t tick) {
  return static_cast<std::int64_t>(due) - tick;
}

// The hexid index over gActs: the position of the first Act with that hexid.
// It follows appends, swap-erases and compaction; code that changes gActs by
// hand calls gf_rebuildActIndex.
Act* gf_findAct(std::uint32_t hexid);
void gf_appendAct(Act&& aircraft);
void gf_swapEraseAct(std::size_t position);
void gf_rebuildActIndex();
// True when the index answers as a linear scan does (debug checks of the scenario driver).
bool gf_actIndexExact();

// Applying traffic records to gActs.
void lf_applyUpdate(TrafficRecord& record);
bool lf_updateAct(TrafficRecord& record, Act& aircraft);
void lf_checkTypeAndCreate(TrafficRecord& record);
void lf_newLiveAct(TrafficRecord& record);

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
// The removal of a static aircraft twinning a live one: gf_removeStaticTwin
// (traffic/static_parked.h), called for every live aircraft.
// Callsign2ObjectId.txt: one sorted line per present live aircraft.
void gf_listParked();
// Disables the parking controls while static parking is calculated.
void gf_blockParkingUi();

// The collision passes each switched on by its setting: around the user
// aircraft on the ground (gf_clearAroundUser) or against it in the air
// (gf_avoidUserCollision for each live aircraft until one is removed), then
// static aircraft touching live ones on the ground (gf_avoidLiveParkedCollisions,
// each live aircraft once per new position). At most one removal a pass.
void gf_collisionPasses(bool userOnGround);
void gf_clearAroundUser();
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
