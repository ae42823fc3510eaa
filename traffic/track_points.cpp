// A new point of a live aircraft's track. Only the aircraft not yet created
// get the stop test; the phases of a present aircraft get the due-tick rule
// and the append until their own filters are built.
#include <cmath>

#include "traffic/engine.h"
#include "traffic/engine_hooks.h"

namespace {
constexpr std::size_t kMaxTrackPoints = 200;
constexpr double kStopDegrees = 0.00015;
}  // namespace

bool lf_stopTest(Act& aircraft, TrackPoint& point) {
  const TrackPoint& last = aircraft.track.back();
  const bool samePosition = point.latitude == last.latitude && point.longitude == last.longitude;
  point.stationary = samePosition ? 1 : 0;
  if (aircraft.category == 5) return true;
  const bool presentAirborne = aircraft.state == ACT_PRESENT && !aircraft.onGround;
  if (samePosition) {
    if (point.airborne || presentAirborne) return false;
    point.groundSpeed = 0.0;
    return true;
  }
  if (std::abs(point.latitude - last.latitude) <= kStopDegrees &&
      std::abs(point.longitude - last.longitude) <= kStopDegrees) {
    if (point.airborne || presentAirborne) return false;
    point = last;
    point.groundSpeed = 0.0;
    point.stationary = 1;
    return true;
  }
  return point.groundSpeed != 0.0 || !point.airborne || last.groundSpeed < 50.0;
}

void gf_takeTrackPoint(Act& aircraft, TrackPoint& point) {
  if (aircraft.track.size() > kMaxTrackPoints) {
    gf_removeAct(aircraft);
    return;
  }
  if (aircraft.phase == PHASE_NEW && !aircraft.track.empty() && !lf_stopTest(aircraft, point)) return;
  if (!aircraft.track.empty()) {
    const std::uint32_t lastDue = aircraft.track.back().dueTick;
    // Signed: a point queued later is never given a tick before its predecessor's.
    if (gf_ticksUntil(point.dueTick, lastDue) <= 0) point.dueTick = lastDue + 1;
  }
  aircraft.track.push_back(point);
}
