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

// Why the run ends or restarts; the names are logged ("Exiting: {}").
enum class ExitReason : std::int32_t {
  NOT_YET_SET = 0,
  SIM_WAS_CLOSED = 1,
  RESTART = 2,
  RESTART_IPP = 3,  // restart keeping the scan settings
  USER_CLOSED_SIM = 4,
  SYSTEM_ERROR = 5,
};

// The reason of the exit under way.
extern std::atomic<ExitReason> gExitReason;
// The exit under way is a restart; read by the next start-up to skip the update checks.
extern std::atomic<bool> gRestart;
// Counts the runs of this process; a start-up thread that finds a newer run
// than its own stops, so that no thread of an old run works on in a new one.
extern std::atomic<std::uint32_t> gRunGeneration;

// Starts the shutdown (or restart) on its first call from any thread; later
// calls do nothing until a restart has reset the run.
void gf_exit(ExitReason reason, int delaySeconds);
