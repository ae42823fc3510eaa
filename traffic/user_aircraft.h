#pragma once
// What the simulator tells of the user's own aircraft. The SimConnect thread
// stores the answers; the main loop and the start-up read them.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/simconnect.h"

// The answer to the user-aircraft block request (definition 403): twelve 8-byte fields.
struct UserAc {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double pitch = 0.0;      // radians
  double bank = 0.0;       // radians
  double heading = 0.0;    // radians, true
  double altitude = 0.0;   // feet, never negative
  double altitudeAboveGround = 0.0;  // feet
  double groundSpeed = 0.0;          // knots
  std::int64_t zuluTime = 0;         // seconds of the day
  std::int64_t zuluDayOfYear = 0;    // 1 = 1 January
  std::int64_t zuluYear = 0;
  std::int64_t lightStates = 0;
};
static_assert(sizeof(UserAc) == 96);
static_assert(offsetof(UserAc, groundSpeed) == 56 && offsetof(UserAc, zuluTime) == 64 &&
              offsetof(UserAc, lightStates) == 88);

// The simulator object id of the user aircraft: 2 until the first user block.
// An object id at or below it is never one of ours.
extern std::atomic<std::uint32_t> gUserObjectId;

// The simulator has no real position yet: the user aircraft stands in the box
// of latitude 0..0.0009 and longitude 0..0.05 degrees (bounds included).
bool gf_isNullPosition(double latitude, double longitude);

// A whole copy of the latest block received (never one torn by a concurrent answer).
UserAc gf_latestUserAc();

// The user aircraft as the start-up and the main loop last copied it from
// gf_requestUserAcPosition; main-loop thread only.
extern UserAc gUserAc;

// Requests a fresh block and returns the latest one received (the answer to
// this request arrives later). Nothing is requested while requests are paused
// or no simulator is connected.
UserAc gf_requestUserAcPosition();

// Requests the user aircraft's title and model once.
void gf_requestUserAcTitle();

// Asks for the user's on-ground state once a second (request 108); the
// answers beat the main loop. False when the request failed (counted).
bool gf_requestUserOnGround();

// The dispatch's handler of SIMOBJECT_DATA answers; `size` is the message's
// whole size as received.
void lf_onUserAcData(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, DWORD size);

// Back to the state before the first answer (the shutdown's reset): blocks,
// title, stand name and span; the status texts are the shutdown's.
void gf_resetUserAircraft();

class SharedText;  // shell/app_state.h

// The user aircraft's title, at most 48 characters; written on the SimConnect
// thread, read under its lock from any thread.
extern SharedText gUserTitle;

// Half the user aircraft's wing span in nautical miles, as the data base gives
// it; collision avoidance reads it on the main loop.
extern std::atomic<double> gUserHalfSpan;

// The stand under the user aircraft at the main loop's last copy of the block;
// empty on none. Main-loop thread only.
extern std::string gUserStandName;

// Main-loop thread, right after it copied the block: the stand under the user
// becomes gUserStandName and the window's user stand. The stands belong to the
// main loop, so the SimConnect thread never looks them up.
void gf_updateUserStand(const UserAc& user);

// The answers to the title (106) and model (107) requests, as texts read
// within their message; SimConnect thread.
void lf_onUserAcTitle(std::string title);
void lf_deduceUserAcModel(std::string model);
