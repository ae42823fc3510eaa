// A new point of a live aircraft's track, tested against what the aircraft is
// doing: jitter of a standing aircraft folds into a stop, short stops in a
// ground track go, reports that turn back are dropped, a parked aircraft that
// starts to move is noticed, and a touch-and-go starts the take-off again.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "core/geometry.h"
#include "core/log.h"
#include "core/parameters.h"
#include "traffic/commands.h"
#include "traffic/engine.h"
#include "traffic/engine_hooks.h"
#include "traffic/landing.h"
#include "traffic/sim_ids.h"
#include "traffic/sim_queues.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"

namespace {
constexpr std::size_t kMaxTrackPoints = 200;
constexpr double kStopDegrees = 0.00015;

double offHeading(const Act& aircraft, const TrackPoint& from, const TrackPoint& to) {
  return std::abs(gf_angleDifference(aircraft.pose.heading,
                                     gf_bearing({from.latitude, from.longitude}, {to.latitude, to.longitude})));
}

// A landing roll whose reports climb again is a touch-and-go: it is not braked.
bool lf_goingAround(const Act& aircraft, const TrackPoint& point) {
  return aircraft.takeOffRoll || (aircraft.landingRoll && !aircraft.approach && point.airborne);
}

// The flying and rolling phases: false drops the point.
bool lf_movingFilter(Act& aircraft, TrackPoint& point) {
  if (aircraft.approach || aircraft.landingRoll) return lf_directionFilter(aircraft, point);
  if (!lf_stopTest(aircraft, point)) return false;
  if (aircraft.extrapolationsLeft > 0) {
    if (!aircraft.onGround && offHeading(aircraft, aircraft.track.back(), point) >= 100.0 * DEG_TO_RAD)
      return false;
    lf_resumeReports(aircraft);
  }
  return true;
}

constexpr std::size_t kStopLookBack = 7;
constexpr std::int64_t kShortStopTicks = 1500;
constexpr double kStopReachNm = 22.0 / 1852.0;
constexpr AircraftCategory kRotorcraft = 5;

// Signed: a point queued later is never given a tick before its predecessor's.
void lf_dueAfterLast(const Act& aircraft, TrackPoint& point) {
  const std::uint32_t lastDue = aircraft.track.back().dueTick;
  if (gf_ticksUntil(point.dueTick, lastDue) <= 0) point.dueTick = lastDue + 1;
}

// Being pushed back: a reported heading turn tells the side the push ends turning to.
void lf_notePushTurn(Act& aircraft, const TrackPoint& point) {
  if (STRAIGHT_PBS_ONLY.value || aircraft.pushLegs != 2) return;
  const double heading = point.heading ? *point.heading : point.track * DEG_TO_RAD;
  if (heading == 0.0) return;
  // Radians on both sides, and the shorter way round north.
  aircraft.pushTurnOtherSide = gf_angleDifference(aircraft.pose.heading, heading) > 0.0;
  aircraft.pushTurn = true;
}

// Pushed back and waiting: false while the reports stay near; else it taxies on.
bool lf_leavesPushbackSpot(Act& aircraft, TrackPoint& point) {
  const double d = gf_distanceNm({aircraft.pose.latitude, aircraft.pose.longitude}, {point.latitude, point.longitude});
  const bool gone = (d > 2.75 * aircraft.halfSpan && d > aircraft.leaveDistance) || d > 6.0 * aircraft.halfSpan;
  if (!gone) {
    if (!aircraft.holding) aircraft.holdStartTick = static_cast<std::uint32_t>(gTick.load());
    aircraft.holding = true;
    aircraft.leaveDistance = d;
    return false;
  }
  point.stationary = 0;
  if (aircraft.extrapolationsLeft > 0) lf_resumeReports(aircraft);
  aircraft.leftPushbackSpot = true;
  aircraft.pushTurn = false;
  aircraft.pushLegs = 0;
  aircraft.phase = PHASE_GROUND;
  aircraft.standLatitude = aircraft.standLongitude = aircraft.standHeading = 0.0;
  aircraft.standId = 0;
  aircraft.standCargo = 0;
  aircraft.holding = false;
  return true;
}

double lf_speedBothShow(const TrackPoint& point) {
  return point.positionSpeed >= 0.0 && !point.stationary ? std::min(point.positionSpeed, point.groundSpeed)
                                                         : point.groundSpeed;
}

// A touch-and-go: the landing roll becomes a take-off roll.
void lf_touchAndGo(Act& aircraft) {
  aircraft.phase = PHASE_GROUND;
  aircraft.takeOffRoll = true;
  aircraft.touchAndGo = true;
  lf_setThrottle(aircraft, 3);
  if (aircraft.category != kRotorcraft) gf_queueEvent(aircraft.objectId, EV_SPOILERS_SET, 16383);
  lf_setFlaps(aircraft, 1);
  aircraft.approach = false;
  aircraft.landed = false;
  aircraft.goAroundDone = false;
  lf_queueLights(aircraft.objectId, {1, 1, 1, 1, 1, 1, 0});
  aircraft.earlyWindow = 3000;
  aircraft.lateWindow = 5000;
}

// The take-off roll starts, or a touch-and-go restarts it.
void lf_checkTakeOff(Act& aircraft, const TrackPoint& last, const TrackPoint& point) {
  if (!aircraft.onGround || aircraft.state != ACT_PRESENT || aircraft.takeOffRoll) return;
  if (!aircraft.landingRoll) {
    // A stale take-off speed beside taxiing positions, or one outlying position
    // in a taxi, must not start the roll: only a speed both show counts.
    if (aircraft.phase == PHASE_GROUND &&
        (point.airborne || (lf_speedBothShow(point) >= 43.0 && lf_speedBothShow(last) >= 43.0)))
      lf_prepareTakeOff(aircraft);
  } else if (last.airborne && point.airborne) {
    lf_touchAndGo(aircraft);
  }
}

// In flight as at its creation, one ground point among airborne ones is a 0-ft
// glitch of the transponder, not a touchdown: taken, it would put the aircraft
// on the ground kilometres short of the runway. The point being flown to stays.
void lf_dropGroundGlitch(Act& aircraft, const TrackPoint& point) {
  const std::deque<TrackPoint>& track = aircraft.track;
  if (aircraft.onGround || !point.airborne || track.size() < 2 || track.back().airborne ||
      !track[track.size() - 2].airborne)
    return;
  aircraft.track.pop_back();
}

// The filter of the aircraft's phase: false drops the point.
bool lf_phaseFilter(Act& aircraft, TrackPoint& point) {
  switch (aircraft.phase) {
    case PHASE_TAXI_TO_STAND:
    case PHASE_PARKED: return aircraft.state >= ACT_PRESENT && lf_approachStand(aircraft, point);
    case PHASE_PUSHBACK: lf_notePushTurn(aircraft, point); return false;
    case PHASE_PUSHBACK_DONE: return lf_leavesPushbackSpot(aircraft, point);
    case PHASE_GROUND:
    case PHASE_LIFTOFF:
    case PHASE_AIRBORNE: return lf_movingFilter(aircraft, point);
    default: return true;
  }
}
}  // namespace

void lf_resumeReports(Act& aircraft) {
  aircraft.extrapolationsLeft = 0;
  aircraft.earlyWindow = 3000;
  aircraft.lateWindow = aircraft.takeOffRoll ? 5000 : 3000;
  aircraft.track.front().dueTick = static_cast<std::uint32_t>(gTick.load() + 1);
  aircraft.holding = false;
}

void removeSmallStop(Act& aircraft, const TrackPoint& point) {
  try {
    const std::deque<TrackPoint>& track = aircraft.track;
    const std::size_t size = track.size();
    if (size < 3) return;
    for (std::size_t k = 3; k <= std::min(kStopLookBack, size); ++k) {
      if (track[size - k].stationary) continue;
      checkstops(aircraft, k - 1, point);
      return;
    }
  } catch (const std::exception& e) {
    gf_log(sk::format("removeSmallStop {}", e.what()));
  }
}

void checkstops(Act& aircraft, std::size_t n, const TrackPoint& point) {
  try {
    std::deque<TrackPoint>& track = aircraft.track;
    if (n < 1 || n > track.size()) throw std::out_of_range(sk::format("{} of {}", n, track.size()));
    const std::size_t at = track.size() - n;
    const TrackPoint& stop = track[at];
    // Signed: due ticks are u32 and may lie on either side of a wrap.
    const std::int64_t lasted = static_cast<std::int64_t>(track.back().dueTick) - stop.dueTick;
    if (lasted < kShortStopTicks ||
        gf_distanceNm({stop.latitude, stop.longitude}, {point.latitude, point.longitude}) <= kStopReachNm)
      track.erase(track.begin() + static_cast<std::ptrdiff_t>(at + 1), track.end());
  } catch (const std::exception& e) {
    gf_log(sk::format("checkstops, num:{} {}", n, e.what()));
  }
}

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
  // Back after a pause: the last point is one of the invented braking, no report
  // whose speed a later one could outrun.
  const bool resumed = aircraft.extrapolationsLeft > 0;
  if (resumed) {
    // Reports back in the air after a landing roll's invented braking: the roll
    // goes on from the point reached at the speed they show.
    if (lf_goingAround(aircraft, point)) {
      track.front().groundSpeed = point.groundSpeed;
      track.front().positionSpeed = -1.0;
    }
    lf_resumeReports(aircraft);
  }
  const TrackPoint& last = track.back();
  if (point.latitude == last.latitude && point.longitude == last.longitude)
    point.stationary = 1;
  else if (!resumed && point.groundSpeed > last.groundSpeed && point.groundSpeed > 40.0 &&
           !lf_goingAround(aircraft, point)) {
    // Braking: the cut speed is the point's believed one.
    point.groundSpeed = last.groundSpeed;
    point.positionSpeed = -1.0;
  }
  return true;
}

bool lf_stopTest(Act& aircraft, TrackPoint& point) {
  const TrackPoint& last = aircraft.track.back();
  const bool samePosition = point.latitude == last.latitude && point.longitude == last.longitude;
  point.stationary = samePosition ? 1 : 0;
  if (aircraft.category == 5) return true;
  const bool presentAirborne = aircraft.state == ACT_PRESENT && !aircraft.onGround;
  // A report that stands still while it and the last one show a roll is a
  // position the transponder failed to update: taken, it would stop the roll
  // dead, a take-off roll or one first seen before its creation says which.
  const bool rolling = aircraft.takeOffRoll ? point.groundSpeed > 0.0 : gf_believedSpeed(point) > 0.0;
  const double lastSpeed = aircraft.takeOffRoll ? last.groundSpeed : gf_believedSpeed(last);
  if (samePosition) {
    if (point.airborne || presentAirborne || (rolling && lastSpeed >= 30.0)) return false;
    point.groundSpeed = 0.0;
    return true;
  }
  if (std::abs(point.latitude - last.latitude) <= kStopDegrees &&
      std::abs(point.longitude - last.longitude) <= kStopDegrees) {
    if (point.airborne || presentAirborne || (rolling && lastSpeed >= 50.0)) return false;
    point = last;
    point.groundSpeed = 0.0;
    point.stationary = 1;
    return true;
  }
  if (point.groundSpeed != 0.0 || (!aircraft.takeOffRoll && !point.airborne)) return true;
  return last.groundSpeed < 50.0;
}

void gf_takeTrackPoint(Act& aircraft, TrackPoint& point) {
  std::deque<TrackPoint>& track = aircraft.track;
  if (track.size() > kMaxTrackPoints) {
    gf_removeAct(aircraft);
    return;
  }
  if (track.empty()) {
    track.push_back(point);
    return;
  }
  if (aircraft.holding) {
    const TrackPoint& front = track.front();
    const double metres =
        gf_distanceNm({front.latitude, front.longitude}, {point.latitude, point.longitude}) * 1852.0;
    if (metres > HOLDING_THRESHOLD_METERS.value) {
      aircraft.holding = false;
      aircraft.holdStartTick = 0;
      gf_removeAct(aircraft);
      return;
    }
  }
  if (aircraft.phase == PHASE_NEW) {
    if (!lf_stopTest(aircraft, point)) return;
    lf_dueAfterLast(aircraft, point);
    track.push_back(point);
    return;
  }
  if (!lf_phaseFilter(aircraft, point)) return;
  lf_dropGroundGlitch(aircraft, point);
  if (!point.airborne && track.back().stationary) {
    if (!point.stationary) {
      removeSmallStop(aircraft, point);
    } else if (std::all_of(track.begin(), track.end(), [](const TrackPoint& p) { return p.stationary != 0; })) {
      track.resize(1);
    }
  }
  lf_dueAfterLast(aircraft, point);
  lf_checkTakeOff(aircraft, track.back(), point);
  track.push_back(point);
  if (track.size() == 2 && track[0].stationary && track[1].stationary) {
    track[0].dueTick = static_cast<std::uint32_t>(gTick.load() + 1);
    track[0].groundSpeed = track[1].groundSpeed;
  }
}
