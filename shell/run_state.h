#pragma once
// Run state that crosses threads and rooms: the exit flags every wait tests,
// and what the SimConnect thread learns of the flight and the user aircraft.
// Plain atomics only, so that lower rooms (traffic, liveries) can read them
// without pulling in the shell.
#include <atomic>
#include <cstdint>

// An exit or restart is under way.
extern std::atomic<bool> gExitStarted;
// The user closed the program; cleared on a restart.
extern std::atomic<bool> gStopRequested;

// The simulator runs a flight (its "Sim" event).
extern std::atomic<bool> gFlightRunning;
// One-second beat: set on each once-per-second answer for the user aircraft,
// consumed by the main loop.
extern std::atomic<bool> gSecondTick;
// A first on-ground answer with a real position has arrived.
extern std::atomic<bool> gUserStateKnown;
extern std::atomic<bool> gUserOnGround;
// Simulator UTC time in seconds since 1970.
extern std::atomic<std::int64_t> gSimTime;

// Until RealTraffic has connected (always in Aerowinx mode).
extern std::atomic<bool> gStartupPhase;
// gRtProfessional (the connected RealTraffic is the professional edition)
// lives with the slot clock in core/clock.h, which reads it.
