#pragma once
// Track following and airborne flight of a present live aircraft: its track of
// reported points turned into per-tick steps, invented points when the reports
// stop, and the climb, descent, turns, configuration and flare of a flight.
// Main-loop thread only, inside the engine tick. Tick differences are signed
// 64-bit: due ticks are u32 and the counter i32, and a point may be late.
#include <cstdint>

#include "traffic/records.h"

// Below it on the ground an aircraft taxies; a take-off roll is at or above it.
constexpr double kLiftOffKnots = 43.0;

// A longitude difference the short way across +-180, in (-180, 180].
inline double lf_lonDelta(double from, double to) {
  double d = to - from;
  if (d > 180.0) d -= 360.0;
  if (d <= -180.0) d += 360.0;
  return d;
}

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
// The due tick of a ground segment, with the turn rate scaled to the turn or curve ahead.
void lf_timeGroundSegment(Act& aircraft);
// A due-tick window as it holds: taxiing or rolling on its reports, it is shown
// where they were within a second of when it is shown.
std::int64_t gf_dueWindow(const Act& aircraft, std::int32_t window);

// Airborne flight.
struct AirLimits {
  double maxBank;       // radians
  double maxBankStep;   // radians per tick
  double maxPitchStep;  // radians per tick
  double takeOffSpeed;  // knots
};
// std::out_of_range outside categories 0..5.
const AirLimits& gf_airLimits(AircraftCategory category);

// The steps toward the second point over n ticks; answers the ticks of the
// segment, which change when the points before the first airborne one go.
std::int64_t lf_startAirSegment(Act& aircraft, std::int64_t n);
double lf_nextTurn(const Act& aircraft);
void lf_setBankStep(Act& aircraft, double turn, std::int64_t n);
bool findAirborneData(Act& aircraft, std::size_t i);
double lf_approachDescentRate(const Act& aircraft);
void lf_cruiseConfig(Act& aircraft);
void lf_approachConfig(Act& aircraft);
// True when it erased points so that the first airborne one is the second.
bool lf_lowLevelClimbOrDescent(Act& aircraft);
// One tick of the flare; lf_stepPose runs it below 400 ft on approach.
void lf_flareStep(Act& aircraft);

// Ground movement (traffic/ground_movement.cpp): the segment start on the
// ground, its configuration, the take-off and the per-tick lift-off step.
void lf_planGroundSegment(Act& aircraft);
// Whether a stop may claim a stand: moving on the ground at a loaded park
// airport, not just off a stand unless towed.
bool gf_mayClaimStandAtStop(const Act& aircraft);
void lf_groundConfig(Act& aircraft);
void lf_landingRollConfig(Act& aircraft);
void lf_prepareTakeOff(Act& aircraft);
void lf_tookOff(Act& aircraft);
void lf_liftOffStep(Act& aircraft);
// Track shaping: a midpoint between the first two points, one where their
// speeds differ much, and the curve through the second point to the third.
void lf_insertMidpoint(Act& aircraft);
void lf_splitOnSpeedChange(Act& aircraft);
void lf_startGroundCurve(Act& aircraft);
// Over the points after the front point.
bool lf_allAirborne(const Act& aircraft);
bool lf_allFastEnough(const Act& aircraft);

// Stands (traffic/ground_stands.cpp; gf_addStandPoint is in traffic/arbitration.h).
void lf_arriveAtStand(Act& aircraft);
void lf_startPullOut(Act& aircraft);
void lf_startPushback(Act& aircraft);

// The intake filter of a report while approaching or rolling out: false drops it.
bool lf_directionFilter(Act& aircraft, TrackPoint& point);
