#pragma once
// Stand choice at the park airport from the learned stand use: a free stand
// for a live aircraft that stopped, the stand credited with a soft option for
// an aircraft that starts or ends its track nearby, the search of the learned
// use for static parked aircraft, and the counts of the status area.
// Main-loop thread only.
#include <cstdint>
#include <vector>

#include "airports/stand.h"
#include "core/clock.h"
#include "core/geometry.h"

struct ActBase;
struct Act;
struct StaticPlan;

// The free (not live-occupied) stand nearest the position within maxDistance
// (nm) that the aircraft fits, or within 20 m one it is too large for (that
// stand then grows to fit); without one, when acceptLearned, the nearest stand
// within 85 m whose learned use matches the aircraft. gStands.end() when none.
std::vector<Stand>::iterator lf_freeStandNear(const LatLon& position, const ActBase& aircraft, double maxDistance,
                                              bool acceptLearned);

// Soft learning of the stand an aircraft near the park airport used, for one
// whose track starts or ends without being seen at a stand. onGround: the
// aircraft is on the ground or leaving (false: airborne).
void lf_pickStandForAct(Act& aircraft, bool onGround);

// The stand the learned use gives the aircraft at the slot, free at that slot;
// with retry at an airport of at most 10 stands the next half-hour is tried
// once more. gStands.end() when none.
std::vector<Stand>::iterator lf_searchStandRecursive(DaySlot slot, const ActBase& aircraft, bool retry);

// One plan per stand whose learned options of the kind (OPTION_REAL or
// OPTION_SOFT) hold the slot's half-hour less offset; planned stands are
// marked taken (gf_markOptionStands).
void lf_searchStands(DaySlot slot, std::uint32_t kind, std::uint32_t offset, std::vector<StaticPlan>& plans);

// Takes the coupled callsigns of the aircraft from an option of the slot's
// weekday within 14 (Heavy) or 10 half-hours whose callsigns hold its own.
void lf_searchForCoupledCsAroundThisTime(DaySlot slot, Act& aircraft);

// gf_countStaticAtSlot(bool withMeanStay) is declared in traffic/engine.h.
