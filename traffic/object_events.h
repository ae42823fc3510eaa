#pragma once
// Objects the simulator reports, on their way from the SimConnect thread to
// the traffic engine, which drains them once per tick.
#include <cstdint>
#include <mutex>
#include <vector>

enum ObjectEventKind : std::uint32_t {
  OBJ_CREATED_LIVE = 0,
  OBJ_CREATED_STATIC = 1,
  OBJ_REMOVED = 2,
  OBJ_IN_RANGE = 3,
  OBJ_STATIC_CG = 4,
  OBJ_CREATE_FAILED = 6,
};

struct ObjectEvent {
  std::uint32_t objectId = 0;  // 0 for a failed creation
  std::uint32_t value = 0;     // hexid of the matched creation, or SIM ON GROUND of an aircraft in range
  std::int32_t counter = 0;    // ticks counted by the placement
  std::uint32_t kind = 0;      // ObjectEventKind
  double first = 0.0;          // ground altitude (3), static CG to ground (4)
  double second = 0.0;         // altitude above ground (0, 3), static pitch (4)
};

// Guards gObjectAddedQueue. A thread holding it may take gScMutex, never the reverse.
extern std::mutex gObjectAddedMutex;
extern std::vector<ObjectEvent> gObjectAddedQueue;

// The one way to append an event: under gObjectAddedMutex.
void gf_pushObjectEvent(const ObjectEvent& event);
