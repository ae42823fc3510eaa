#pragma once
// The outbound command queues to the simulator and the Frame flush that sends
// them; created objects matched back to their creations.
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/simconnect.h"

// One position set of one AI object; its first 64 bytes are the data block of
// definition 402 and are sent as such.
struct PosSet {
  double latitude = 0.0;       // degrees
  double longitude = 0.0;      // degrees
  double pitch = 0.0;          // radians
  double bank = 0.0;           // radians
  double heading = 0.0;        // radians, true
  double altitude = 0.0;       // feet
  double verticalSpeed = 0.0;  // feet per second
  double trueAirspeed = 0.0;   // knots
  std::uint32_t objectId = 0;
  std::int64_t tick = 0;  // the engine tick it was made in: not sent to the simulator
};
inline constexpr std::size_t kPosSetBlockSize = 64;
static_assert(offsetof(PosSet, latitude) == 0 && offsetof(PosSet, trueAirspeed) == 56 &&
              offsetof(PosSet, objectId) == kPosSetBlockSize);

// One client event for one AI object.
struct EventCmd {
  std::uint32_t objectId = 0;
  std::uint32_t eventId = 0;  // 206..222
  std::uint32_t value = 0;
};

// One creation.
struct CreateReq {
  SIMCONNECT_DATA_INITPOSITION initPos{};
  std::string tailNumber;        // the callsign; static parked aircraft end in "*"
  std::string_view liveryTitle;  // into the scanned-livery data base, which outlives the request
  std::uint32_t hexid = 0;       // above 10000 live, else static
};

// A creation that was sent and awaits its object.
struct PendingCreation {
  std::uint32_t packetId = 0;
  std::uint32_t hexid = 0;
  std::string tailNumber;
};

// The motion pass fills the buffer behind gPosSetsWrite without a lock and
// hands it over with gf_handOverPosSets; the flush sends gPosSetsSend.
extern std::vector<PosSet>* gPosSetsWrite;
extern std::vector<PosSet>* gPosSetsSend;
// Under gScMutex.
extern std::vector<EventCmd> gEventCmds;
extern std::vector<CreateReq> gCreateReqs;
extern std::vector<std::uint32_t> gRemoveIds;
// SimConnect thread only.
extern std::vector<PendingCreation> gPendingCreations;
extern std::vector<std::uint32_t> gAddedObjectIds;

// Entries reserved at each start; as many as the engine keeps live aircraft.
inline constexpr std::size_t kPosSetReserve = 512;
inline constexpr std::size_t kSimQueueReserve = 256;

// Queueing; each locks gScMutex for the append.
void lf_queueCreation(const CreateReq& request);
void lf_queueRemoval(std::uint32_t objectId);
// One client event for one object.
void gf_queueEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t value);
// NAV, BEACON, LANDING, TAXI, STROBES, LOGO, CABIN in that order.
void lf_queueLights(std::uint32_t objectId, const std::array<std::uint32_t, 7>& lights);
void gf_setNavLights(std::uint32_t objectId, std::uint32_t value);
void lf_setCabinLights(std::uint32_t objectId, std::uint32_t value);

// The motion pass's hand-over of this tick's sets: exchanges the buffers when
// gScMutex is free; when it is busy, drops them at 50 frames per second or
// less, else waits for it.
void gf_handOverPosSets();

// SimConnect thread.
void lf_onFrame();
void lf_createAiAircraft(const CreateReq& request);
void lf_removeAiObject(std::uint32_t objectId);
// Sends and empties gRemoveIds; the caller holds gScMutex.
void gf_sendRemovals();
void lf_releaseAndFreeze(std::uint32_t objectId);
void lf_onObjectsByType(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, DWORD size);
// The pending creation sent as this packet, taken out of the list; false when none.
bool gf_takePendingCreation(std::uint32_t packetId, std::uint32_t& hexid);
// Main-loop thread: the creation of this hexid was given up; the next Frame
// takes its pending entry out, so that the widened in-range request and the
// exit's wait for pending creations end.
void gf_dropPendingCreation(std::uint32_t hexid);

// The shutdown's removals (traffic/exit_removals.cpp): once begun, an object
// matched to a pending creation goes straight onto gRemoveIds, and the flush
// sends gRemoveIds even while requests are paused.
extern std::atomic<bool> gExitRemovalsBegun;
// gPendingCreations.size() for other threads; the SimConnect thread keeps it.
extern std::atomic<std::size_t> gPendingCreationCount;
// Counts the flushes and matches that happened since the exit began, and
// wakes a thread waiting for one (gf_waitExitProgress).
void gf_noteExitProgress();
std::uint64_t gf_exitProgress();
// Waits until the count differs from seen or the time is reached.
void gf_waitExitProgress(std::uint64_t seen, std::chrono::steady_clock::time_point until);

// Reserves the queues' room (gf_reserveSimQueues) and empties them all (the shutdown's reset).
void gf_reserveSimQueueRoom();
void gf_clearSimQueues();
