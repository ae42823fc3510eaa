#pragma once
// Track following and airborne flight of a present live aircraft: its track of
// reported points turned into per-tick steps, invented points when the reports
// stop, and the climb, descent, turns, configuration and flare of a flight.
// Main-loop thread only, inside the engine tick. Tick differences are signed
// 64-bit: due ticks are u32 and the counter i32, and a point may be late.
#include <cstdint>

#include "traffic/records.h"

// The engine's hooks (traffic/engine_hooks.h) run these; the engine's tests
// double the hooks, so the motion is tested here.
void lf_followTrack(Act& aircraft);  // the body of nextPosMain
void lf_stepPose(Act& aircraft);     // the body of lf_advancePose

void lf_startSegment(Act& aircraft);
double lf_estimateSpeed(const Act& aircraft);
void lf_setDueTick(Act& aircraft, std::int64_t ticks);
bool lf_extendTrack(Act& aircraft);
void lf_addExtrapolatedPoint(Act& aircraft, std::int32_t stepsLeft);
void lf_timeAirSegment(Act& aircraft);
// Each of the early and late windows above 1000 ticks shrinks by 100, not below 1000.
void lf_shrinkWindows(Act& aircraft);
// Until the ground movement is built, a ground segment is timed without curve or turn.
void lf_timeGroundSegment(Act& aircraft);

// Airborne flight.
struct AirLimits {
  double maxBank;       // radians
  double maxBankStep;   // radians per tick
  double maxPitchStep;  // radians per tick
  double takeOffSpeed;  // knots
};
// std::out_of_range outside categories 0..5.
const AirLimits& gf_airLimits(AircraftCategory category);

void lf_startAirSegment(Act& aircraft, std::int64_t n, TrackPoint& next);
double lf_nextTurn(const Act& aircraft);
void lf_setBankStep(Act& aircraft, double turn, std::int64_t n);
bool findAirborneData(Act& aircraft, std::size_t i);
double lf_approachDescentRate(const Act& aircraft);
void lf_cruiseConfig(Act& aircraft);
void lf_approachConfig(Act& aircraft);
void lf_lowLevelClimbOrDescent(Act& aircraft);
// One tick of the flare; lf_stepPose runs it below 400 ft on approach.
void lf_flareStep(Act& aircraft);

// The ground movement's services (traffic/ground_movement.cpp), placeholders
// until it is built.
void lf_planGroundSegment(Act& aircraft);
void lf_groundConfig(Act& aircraft);
void lf_liftOffStep(Act& aircraft);
void lf_arriveAtStand(Act& aircraft);

// The intake filter of a report while approaching or rolling out: false drops it.
bool lf_directionFilter(Act& aircraft, TrackPoint& point);
