#pragma once
// Arbitration between live aircraft and the pieces of the motion and stand
// code it needs. Main-loop thread; the containers are the engine's.
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "traffic/records.h"

struct Stand;

// Callsigns (with their "_") of removed ghosts: never created again.
extern std::vector<std::string> gGhostCallsigns;
// The livery chosen for a hexid, kept for its creation again.
extern std::unordered_map<std::uint32_t, std::string_view> gLiveryMemo;
// Hexids of aircraft whose creation was decided or that landed; the
// once-a-second task takes one a second.
extern std::deque<std::uint32_t> gTwinCheckHexids;

// Livery, airborne or parked start, stand claim, pose, state 1.
void lf_decideCreation(Act& aircraft);
// True when a livery title is set: the memo of the hexid, else the matching.
bool lf_memoLivery(Act& aircraft);
// Removes the ghost (callsign + "_") of the callsign and never creates it again.
void lf_removeGhost(const std::string& callsign);
// An aircraft with the ghost's callsign less its "_" exists and is not being removed.
bool lf_ghostHasSource(const std::string& ghost);
// Static aircraft on the stand and on adjacent stands within reach make way.
void gf_clearStaticsForStand(const Act& aircraft, const Stand& stand);
// A ground aircraft coming to a stop claims the free stand nearest its last
// point (55 m when wide, else 20 m); true when it did.
bool gf_claimStandNear(Act& aircraft, bool wide);
// The object is removed and created again at the current pose (state 3).
void lf_prepareLiveryChange(Act& aircraft);
// The user aircraft lies near the course of an airborne aircraft's front point.
bool gf_userNearCourse(const Act& aircraft);
// A cargo aircraft at a stand without the cargo flag teaches the stand.
void gf_markCargoStand(const Act& aircraft, Stand& stand);
// Appends the stand as the final track point (ground movement).
void gf_addStandPoint(Act& aircraft);
// Removes static parked aircraft while more are parked than allowed, counting
// this many live aircraft more (removals and limits at the park airport).
void gf_enforceParkMax(std::int32_t extra);
