#pragma once
// Services the engine tick calls whose own code lives beside it: arbitration,
// track following and static creation (created objects: traffic/engine.h).
// Each file defining one holds only its first, empty form until its issue fills it.
#include "traffic/records.h"

// The creation pre-check of an aircraft in state 0 (traffic/arbitration.cpp).
void lf_checkCreation(Act& aircraft);
// False when the update must not be applied (traffic/arbitration.cpp).
bool gf_updateIdentity(Act& aircraft, const TrafficRecord& record);
// Advances an aircraft to its next track segment (traffic/track_following.cpp).
void nextPosMain(Act& aircraft);
// The per-tick pose step (traffic/track_following.cpp).
void lf_advancePose(Act& aircraft);
// The simulator reports a live aircraft on the ground (traffic/landing.cpp).
void lf_landed(Act& aircraft);
// Creates the next static parked aircraft of the plan (traffic/static_creation.cpp).
void lf_createStaticParked();
// Appends a record's point to the track (traffic/track_points.cpp).
void gf_takeTrackPoint(Act& aircraft, TrackPoint& point);
bool lf_stopTest(Act& aircraft, TrackPoint& point);
