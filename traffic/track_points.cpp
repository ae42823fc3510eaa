// A new point of a live aircraft's track. The aircraft not yet created get the
// stop test; flying and rolling aircraft their intake filters; the stand
// phases get the due-tick rule and the append until their own filters are built.
#include <cmath>

#include "core/geometry.h"
#include "traffic/engine.h"
#include "traffic/engine_hooks.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"

namespace {
constexpr std::size_t kMaxTrackPoints = 200;
constexpr double kStopDegrees = 0.00015;

double offHeading(const Act& aircraft, const TrackPoint& from, const TrackPoint& to) {
  return std::abs(gf_angleDifference(aircraft.pose.heading,
                                     gf_bearing({from.latitude, from.longitude}, {to.latitude, to.longitude})));
}

// Reports arrive again after invented points: the track goes on from now.
void resumeReports(Act& aircraft) {
  aircraft.extrapolationsLeft = 0;
  aircraft.earlyWindow = 3000;
  aircraft.lateWindow = aircraft.takeOffRoll ? 5000 : 3000;
  aircraft.track.front().dueTick = static_cast<std::uint32_t>(gTick.load() + 1);
  aircraft.holding = false;
}

// The flying and rolling phases: false drops the point.
bool lf_movingFilter(Act& aircraft, TrackPoint& point) {
  if (aircraft.approach || aircraft.landingRoll) return lf_directionFilter(aircraft, point);
  if (!lf_stopTest(aircraft, point)) return false;
  if (aircraft.extrapolationsLeft > 0) {
    if (!aircraft.onGround && offHeading(aircraft, aircraft.track.back(), point) >= 100.0 * DEG_TO_RAD)
      return false;
    resumeReports(aircraft);
  }
  return true;
}
}  // namespace

bool lf_directionFilter(Act& aircraft, TrackPoint& point) {
  std::deque<TrackPoint>& track = aircraft.track;
  if (point.latitude == track.back().latitude && point.longitude == track.back().longitude) return false;
  if (track.size() < 2) {
    const double off = offHeading(aircraft, track.front(), point);
    if (aircraft.approach) {
      if (off >= 90.0 * DEG_TO_RAD) return false;
    } else if (off >= 150.0 * DEG_TO_RAD) {
      if (aircraft.extrapolationsLeft > 0) return false;
      TrackPoint restart = track.front();
      restart.latitude = aircraft.pose.latitude;
      restart.longitude = aircraft.pose.longitude;
      restart.dueTick = static_cast<std::uint32_t>(gTick.load() + 1);
      track.front() = restart;
    }
  } else if (offHeading(aircraft, track.back(), point) >= 90.0 * DEG_TO_RAD) {
    track.pop_back();
    if (track.size() >= 2 && offHeading(aircraft, track.back(), point) >= 90.0 * DEG_TO_RAD) track.pop_back();
  }
  if (aircraft.extrapolationsLeft > 0) resumeReports(aircraft);
  const TrackPoint& last = track.back();
  if (point.latitude == last.latitude && point.longitude == last.longitude)
    point.stationary = 1;
  else if (point.groundSpeed > last.groundSpeed && point.groundSpeed > 40.0)
    point.groundSpeed = last.groundSpeed;
  return true;
}

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
  const bool moving = aircraft.phase == PHASE_GROUND || aircraft.phase == PHASE_LIFTOFF ||
                      aircraft.phase == PHASE_AIRBORNE;
  if (moving && !aircraft.track.empty() && !lf_movingFilter(aircraft, point)) return;
  if (!aircraft.track.empty()) {
    const std::uint32_t lastDue = aircraft.track.back().dueTick;
    // Signed: a point queued later is never given a tick before its predecessor's.
    if (gf_ticksUntil(point.dueTick, lastDue) <= 0) point.dueTick = lastDue + 1;
  }
  aircraft.track.push_back(point);
}
