#pragma once
// The 10 ms main loop: the engine tick while a flight runs, and on each
// one-second beat of the simulator the per-second step and the periodic tasks.
#include <atomic>
#include <cstdint>

#include "core/clock.h"

// Seconds of the run, advanced per beat; back to 0 every 86400 counts.
extern std::atomic<std::int32_t> gSeconds;
// The current weekday and half-hour slot, refreshed by the loop.
extern std::atomic<DaySlot> gNow;
// The flight-not-running step has run since the flight last ran.
extern std::atomic<bool> gFlightNotRunning;

// One-shot requests of the window, served and cleared (atomic exchange) by the loop.
extern std::atomic<bool> gRenewParkingRequest;
extern std::atomic<bool> gFlushStaticRequest;
extern std::atomic<bool> gCallsignBlockRequest;
extern std::atomic<bool> gObjectIdLookupRequest;
extern std::atomic<bool> gReReadRequest;
extern std::atomic<bool> gMatchingDepthRaised;
// Phase 1 of the static-parking renewal is done.
extern std::atomic<bool> gRenewParkingPhase;

void mainLoop();
// One tick; false ends the loop.
bool lf_tick();
void lf_secondTick();
void lf_flightNotRunning();
void lf_checkPendingParking();
void lf_checkRtError();
