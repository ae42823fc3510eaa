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

// A record is due this many ticks (30 s, the display delay) after it was queued.
inline constexpr std::uint32_t kUpdateDueTicks = 3000;
// The engine takes at most two records a tick: a record deeper in the queue
// than two per tick of the display delay would be applied after it was due,
// which no aircraft can use. A full queue drops its oldest record.
inline constexpr std::size_t kMaxQueuedUpdates = 2 * kUpdateDueTicks;
// Records dropped from a full queue since the process started.
extern std::atomic<std::uint64_t> gDroppedUpdates;

// Sets gAcceptUpdates under gUpdateMutex.
void gf_setAcceptUpdates(bool accept);

// Queues the record with its due tick set, unless the queue does not accept
// records; true when queued. A full queue first drops its oldest record
// (counted, and logged at most once a second).
bool gf_queueUpdate(TrafficRecord&& record);
