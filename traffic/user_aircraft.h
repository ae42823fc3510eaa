#pragma once
// What the simulator tells of the user's own aircraft.
#include <cstdint>

// The answer to the user-aircraft block request: twelve 8-byte fields.
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

// The user aircraft as the start-up and the main loop last copied it from
// gf_requestUserAcPosition; main-loop thread only.
extern UserAc gUserAc;

// Requests a fresh block and returns the latest one received (the answer to
// this request arrives later).
UserAc gf_requestUserAcPosition();

// Requests the user aircraft's title and model once.
void gf_requestUserAcTitle();
