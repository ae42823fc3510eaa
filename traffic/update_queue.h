#pragma once
// The queue of parsed traffic records between the traffic reader thread, which
// appends, and the engine tick on the main loop, which takes them.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include "traffic/records.h"

// Guards gUpdateQueue and gAcceptUpdates.
extern std::mutex gUpdateMutex;
extern std::deque<TrafficRecord> gUpdateQueue;
// While false, parsed records are discarded instead of queued.
extern bool gAcceptUpdates;

// The engine's tick counter (10 ms ticks); incremented only by the engine tick,
// read by the traffic reader to stamp the due tick of a record.
extern std::atomic<std::int32_t> gTick;

// Sets gAcceptUpdates under gUpdateMutex.
void gf_setAcceptUpdates(bool accept);

// Queues the record with its due tick set, unless the queue does not accept
// records; true when queued.
bool gf_queueUpdate(TrafficRecord&& record);
