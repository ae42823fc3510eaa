#pragma once
// The engine's one link to the simulator: a thread of its own opens
// SimConnect, polls its dispatch and flushes the command queues on every Frame.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>

#include "platform/simconnect.h"

// The connection; null while none is open. Other threads use it only while
// holding gScMutex; the SimConnect thread sets and clears it under the mutex.
extern HANDLE gHSimConnect;
// Guards gHSimConnect for calls from other threads and the outbound queues.
// Plain, never taken twice on one thread; never taken before gObjectAddedMutex.
extern std::mutex gScMutex;

// The frame rate the simulator reported at the latest 30th Frame.
extern std::atomic<float> gFrameRate;

// Failed requests and commands of this run, and the pause the third one starts.
extern std::atomic<int> gSimRequestErrors;
extern std::atomic<bool> gSimRequestsPaused;

// Body of the SimConnect thread; ends when a stop is requested, an exit is
// seen before the link opens, or the link ends.
void gf_simconThread(std::stop_token stop);

// Sizes the command queues before the thread starts and lifts the pause.
void gf_reserveSimQueues();

// Starts the SimConnect thread, stopping and joining the thread of an earlier run first.
void gf_startSimconnect();

// From the shutdown: requests the stop, joins the thread, closes the
// connection (without treating it as the simulator leaving), then stores the
// user's stand the thread saw last (gf_takeUserStandHandover).
void gf_stopSimconnect();

// Called after every failed SimConnect request or command, from any thread:
// the third one of a run pauses all requests and restarts the program, once.
void gf_simRequestError();

// The steps of the thread body, callable on their own so that a test thread
// can drive them in lockstep with the stand-in:
// opens the link and registers every identifier under gScMutex, which the
// caller must not hold; false when the open failed.
bool gf_simconOpen();
// One call of the dispatch; false when the link has ended (QUIT or lost),
// in which case the caller runs lf_onSimconnectClose.
bool gf_simconDispatchPass();

// Where a data answer's block begins (dwData) and what the OPEN handler reads
// (the header, the 256-byte name and the four application version numbers).
inline constexpr std::size_t kSimDataOffset = sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) - sizeof(DWORD);
inline constexpr std::size_t kOpenNameOffset = sizeof(SIMCONNECT_RECV);
inline constexpr std::size_t kOpenReadSize = kOpenNameOffset + 256 + 4 * sizeof(DWORD);
static_assert(kSimDataOffset == 40);

// A message shorter than what its handler reads is logged plain with its id
// and size; the handler drops it.
bool gf_simMessageFits(const SIMCONNECT_RECV& message, DWORD size, std::size_t needed);

// The dispatch procedure handed to SimConnect_CallDispatch.
void lf_simconDispatch(SIMCONNECT_RECV* message, DWORD size, void* context);

// Unregisters and closes under gScMutex; unless an exit has begun, the program
// stops with SIM WAS CLOSED.
void lf_onSimconnectClose();

// Pause between two failed opens; tests count the calls instead of waiting.
// The default waits a second or until the stop is requested.
using SimconRetrySleep = void (*)(std::chrono::milliseconds pause, std::stop_token stop);
SimconRetrySleep gf_setSimconRetrySleep(SimconRetrySleep sleep);

// The shutdown's reset of the link's run state: counters, frame count, the
// user blocks and every queue.
void gf_resetSimConnection();
