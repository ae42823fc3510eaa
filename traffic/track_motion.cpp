// Track following: segment starts, due ticks, invented points when the reports
// stop, the end of a track, and the per-tick pose step.
#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

#include "airports/stand.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/parameters.h"
#include "shell/auto_range.h"
#include "traffic/arbitration.h"
#include "traffic/engine.h"
#include "traffic/stand_choice.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"
#include "traffic/user_aircraft.h"

namespace {

constexpr std::int64_t kMinTravelTicks = 25;
constexpr double kTicksPerHour = 360000.0;
// Held this long without a report, the aircraft's reports have ended.
constexpr std::int64_t kReportsEndedTicks = 2000;
constexpr double kCatchUpMarginKts = 20.0;
constexpr std::int64_t kGroundSlackTicks = 100;
constexpr double kRollOutEndKts = 20.0;
constexpr double kFeetPerNm = 6076.11549;
constexpr AircraftCategory kRotorcraft = 5;

std::int64_t now() { return gTick.load(); }

LatLon at(const TrackPoint& p) { return {p.latitude, p.longitude}; }

double wrapHeading(double h) {
  h = std::fmod(h, TWO_PI);
  return h < 0.0 ? h + TWO_PI : h;
}

std::uint32_t tickAt(std::int64_t tick) { return static_cast<std::uint32_t>(std::max<std::int64_t>(tick, 0)); }

bool parked(const Act& a) { return a.phase == PHASE_PARKED; }

void endOfTrack(Act& a) {
  // A parked aircraft's stand is known; another teaches the stand it came from or went to.
  if (!parked(a)) lf_pickStandForAct(a, a.phase != PHASE_AIRBORNE);
  gf_removeAct(a);
}

// One turnRate step toward target by the shorter way, unless within 0.5 degrees.
void steerToward(Act& a, double target) {
  const double diff = gf_angleDifference(a.pose.heading, target);
  if (std::abs(diff) <= 0.5 * DEG_TO_RAD) return;
  a.pose.heading = wrapHeading(a.pose.heading + (diff > 0.0 ? a.turnRate : -a.turnRate));
}

bool otherStandingNear(const Act& a) {
  const LatLon here{a.pose.latitude, a.pose.longitude};
  for (const Act& other : gActs) {
    if (&other == &a || !other.onGround || other.phase != PHASE_GROUND || other.state != ACT_PRESENT ||
        other.objectId == a.objectId)
      continue;
    if (gf_distanceNm(here, {other.pose.latitude, other.pose.longitude}) <= 1.2 * (a.halfSpan + other.halfSpan))
      return true;
  }
  return false;
}

bool categoryGoesOn(AircraftCategory category) {
  switch (category) {
    case 0: return LIGHT_AIRCRAFT.value;
    case 4: return HIGH_PERF_AIRCRAFT.value;
    case 5: return HELICOPTERS.value;
    default: return true;
  }
}

// A point already due, or nearly, is not raced to on the ground: it is reached
// at no more than 1.5 times the speed the two points show plus 20 kt, as fast
// as a taxi or roll goes, and due when it is reached.
std::int64_t lf_catchUpTicks(Act& a, std::int64_t n) {
  TrackPoint& next = a.track[1];
  const double fastest =
      1.5 * std::max(gf_believedSpeed(a.track[0]), gf_believedSpeed(next)) + kCatchUpMarginKts;
  const double nm = gf_distanceNm({a.pose.latitude, a.pose.longitude}, at(next));
  const auto least = static_cast<std::int64_t>(std::ceil(nm * kTicksPerHour / fastest));
  if (least <= n) return n;
  next.dueTick = tickAt(now() + least);
  return least;
}

// A standing aircraft sets off when its reports do: the next of them is reached
// when it is shown, not at once. A wait whose reports were folded into one stop
// is due when the first of them was, and would leave half a minute early; so is
// a first report at 0 kt whose next ones, folded into it, began the roll. One
// that waited at its push-back spot until its reports were far is behind them.
bool lf_waitsToSetOff(Act& a) {
  TrackPoint& front = a.track[0];
  const TrackPoint& next = a.track[1];
  if (std::exchange(a.leftPushbackSpot, false)) return false;
  const bool standing = front.stationary || gf_believedSpeed(front) == 0.0;
  if (!a.onGround || a.extrapolationsLeft >= 1 ||
      (a.phase != PHASE_GROUND && a.phase != PHASE_TAXI_TO_STAND) || !standing || next.stationary)
    return false;
  const double nm = gf_distanceNm({a.pose.latitude, a.pose.longitude}, at(next));
  const auto travel = std::llround(nm * kTicksPerHour / lf_estimateSpeed(a));
  const std::int64_t setOff = static_cast<std::int64_t>(next.dueTick) - travel;
  if (setOff <= now()) return false;
  front.dueTick = tickAt(setOff);
  return true;
}

}  // namespace

void lf_shrinkWindows(Act& a) {
  if (a.earlyWindow > 1000) a.earlyWindow = std::max(a.earlyWindow - 100, 1000);
  if (a.lateWindow > 1000) a.lateWindow = std::max(a.lateWindow - 100, 1000);
}

void lf_followTrack(Act& a) {
  try {
    while (a.state == ACT_PRESENT) {
      if (a.track.size() < 2) {
        if (lf_extendTrack(a)) continue;
        endOfTrack(a);
        return;
      }
      if (!a.onGround && a.track[1].stationary && a.category != kRotorcraft) {
        a.track.erase(a.track.begin() + 1);
        continue;
      }
      if (!lf_waitsToSetOff(a)) lf_startSegment(a);
      return;
    }
  } catch (const std::exception& e) {
    gf_log(sk::format("nextPosMain: {}", e.what()));
    endOfTrack(a);
  }
}

void lf_startSegment(Act& a) {
  a.curveT0 = a.curveT1 = std::numeric_limits<double>::quiet_NaN();
  a.curveControlEast = a.curveControlNorth = std::numeric_limits<double>::quiet_NaN();
  a.curveT = 0.0;
  {
    TrackPoint& next = a.track[1];
    const TrackPoint& front = a.track[0];
    if (!next.stationary && next.latitude == front.latitude && next.longitude == front.longitude)
      next.stationary = 1;
    if (!next.stationary) a.targetHeading = gf_bearing(at(front), at(next));
  }
  if (a.onGround)
    lf_planGroundSegment(a);
  else
    lf_timeAirSegment(a);
  if (a.track.size() < 2) return;  // the planning left no segment; the next tick ends the track
  if (a.track[1].stationary) {
    a.latStep = a.lonStep = 0.0;
    if (!a.landingRoll && !a.takeOffRoll) lf_shrinkWindows(a);
  } else {
    std::int64_t n = std::max(gf_ticksUntil(a.track[1].dueTick, now()), kMinTravelTicks);
    // The air rules may erase the points before the first airborne one: the
    // steps aim at the second point as it is afterwards.
    if (!a.onGround) n = lf_startAirSegment(a, n);
    if (a.onGround) n = lf_catchUpTicks(a, n);
    const TrackPoint& next = a.track[1];
    a.latStep = (next.latitude - a.pose.latitude) / static_cast<double>(n);
    a.lonStep = lf_lonDelta(a.pose.longitude, next.longitude) / static_cast<double>(n);
    if (a.onGround) lf_groundConfig(a);
  }
  a.track.pop_front();
}

void lf_timeAirSegment(Act& a) {
  const TrackPoint& front = a.track[0];
  const TrackPoint& next = a.track[1];
  if (next.stationary) {
    if (a.category == kRotorcraft) lf_timeGroundSegment(a);
    return;
  }
  const double distance = gf_distanceNm(at(front), at(next));
  double speed;
  if (a.approach && !next.airborne)
    speed = front.groundSpeed > 0.0 ? front.groundSpeed : 100.0;
  else
    speed = lf_estimateSpeed(a);
  const auto ticks = std::max(std::llround(distance * kTicksPerHour / speed), static_cast<long long>(kMinTravelTicks));
  lf_setDueTick(a, ticks);
}

std::int64_t gf_dueWindow(const Act& a, std::int32_t window) {
  // The windows let a taxi on a stale speed run 10 s ahead of its reports, and
  // a take-off roll 50 s behind them.
  const bool onReports = a.onGround && (a.phase == PHASE_GROUND || a.phase == PHASE_TAXI_TO_STAND);
  return onReports ? std::min<std::int64_t>(window, kGroundSlackTicks) : window;
}

void lf_setDueTick(Act& a, std::int64_t ticks) {
  TrackPoint& next = a.track[1];
  const std::int64_t tick = now();
  std::int64_t candidate = tick + ticks;
  if (a.extrapolationsLeft < 1) {
    const std::int64_t reported = next.dueTick;
    candidate = std::clamp(candidate, reported - gf_dueWindow(a, a.earlyWindow),
                           reported + gf_dueWindow(a, a.lateWindow));
  }
  next.dueTick = tickAt(std::max(candidate, tick));
}

// On the speeds believed: a roll reported at 0 kt timed by its due ticks alone
// races to catch up with a point that came late.
double lf_estimateSpeed(const Act& a) {
  const TrackPoint& front = a.track[0];
  const TrackPoint& next = a.track[1];
  const double g0 = gf_believedSpeed(front), g1 = gf_believedSpeed(next);
  if (g0 == 0.0 && g1 == 0.0) {
    const std::int64_t dueDiff = static_cast<std::int64_t>(next.dueTick) - front.dueTick;
    const double speed = gf_distanceNm(at(front), at(next)) * kTicksPerHour /
                         static_cast<double>(std::max(dueDiff, kMinTravelTicks));
    return std::max(speed, 1.0);
  }
  return (g0 + g1) / 2.0;
}

bool lf_extendTrack(Act& a) {
  if (a.track.empty()) return false;
  const bool waitingPhase = a.phase == PHASE_PUSHBACK_DONE ||
                            (a.phase == PHASE_GROUND && !a.takeOffRoll && !a.landingRoll);
  if (a.phase == PHASE_TAXI_TO_STAND) {
    lf_arriveAtStand(a);
  } else if (waitingPhase) {
    if (otherStandingNear(a)) {
      a.holding = false;
      a.holdStartTick = 0;
      return false;
    }
    const std::int64_t tick = now();
    if (a.holding) {
      const std::int64_t held = tick - static_cast<std::int64_t>(a.holdStartTick);
      if (held / 6000 > MAX_HOLDING_MINUTES.value) return false;
      // Where its reports end it parks, at a stand near enough; a stop that its
      // reports move on from claims nothing, however long it lasts. A report
      // ends the hold: a standing aircraft's come one in 15 s.
      if (held >= kReportsEndedTicks && gf_mayClaimStandAtStop(a) && gf_claimStandNear(a, a.arrived)) {
        a.holding = false;
        a.holdStartTick = 0;
        a.extrapolationsLeft = 0;
        return true;
      }
    } else {
      a.holdStartTick = tickAt(tick);
    }
    a.holding = true;
    a.extrapolationsLeft = 1;
    TrackPoint copy = a.track.front();
    copy.dueTick += 300;
    copy.groundSpeed = 0.0;
    copy.stationary = 1;
    a.track.push_back(copy);
    return true;
  }
  const std::int32_t n = a.extrapolationsLeft;
  if (n < 0) return false;
  if (n == 1) {
    a.extrapolationsLeft = -1;
    return false;
  }
  if (n > 1) {
    lf_addExtrapolatedPoint(a, n - 1);
    return true;
  }
  if (!categoryGoesOn(a.category)) return false;
  if (!a.onGround) {
    if (AUTO_RANGE.value && gAutoRangeAtTen.load()) return false;
    const UserAc& user = gUserAc;
    const bool noUserYet = user.latitude >= 0.0 && user.latitude <= 0.0009 && user.longitude >= 0.0 &&
                           user.longitude <= 0.05;
    if (!noUserYet && gf_distanceNm({user.latitude, user.longitude}, {a.pose.latitude, a.pose.longitude}) >=
                          LATERAL_RANGE.value - 0.5)
      return false;
    lf_addExtrapolatedPoint(a, 8);
    return true;
  }
  lf_addExtrapolatedPoint(a, parked(a) ? 1 : 10);
  return true;
}

void lf_addExtrapolatedPoint(Act& a, std::int32_t stepsLeft) {
  a.extrapolationsLeft = stepsLeft;
  const TrackPoint& front = a.track.front();
  TrackPoint point = front;
  if (front.stationary || parked(a)) {
    point.groundSpeed = 0.0;
    point.stationary = 1;
  }
  // A touch-and-go's take-off roll accelerates, though its landing roll stays
  // set until lift-off, while its reports go on; when they end, it stops where
  // they do: only reports that climb take a landed aircraft off again.
  if (a.onGround && (!a.landingRoll || a.takeOffRoll)) {
    if (!a.takeOffRoll || a.touchAndGo) {
      point.stationary = 1;
      point.groundSpeed = 0.0;
    } else {
      const double v = front.groundSpeed;
      if (v <= 30.0) point.groundSpeed = 40.0;
      else if (v <= 60.0) point.groundSpeed = 80.0;
      else if (v <= 100.0) point.groundSpeed = 110.0;
      else if (v <= 140.0) point.groundSpeed = 150.0, point.verticalSpeed = 600.0;
      else if (v <= 160.0) point.groundSpeed = 170.0, point.verticalSpeed = 1200.0;
      else point.groundSpeed = 180.0, point.verticalSpeed = 2400.0;
    }
  } else if (a.onGround) {
    // A landing roll whose reports end rolls out, braking to 20 kt; one they
    // stopped before they ended (0 kt, its last metres no faster than that)
    // stands, and rolls no more on points of its own.
    const double v = front.groundSpeed;
    const bool stopped = point.stationary || (v == 0.0 && gf_believedSpeed(front) <= kRollOutEndKts);
    point.groundSpeed = stopped      ? 0.0
                        : v >= 140.0 ? 100.0
                        : v >= 100.0 ? 80.0
                        : v >= 80.0  ? 60.0
                        : v >= 60.0  ? 30.0
                                     : kRollOutEndKts;
    point.stationary = stopped ? 1 : 0;
    point.verticalSpeed = 0.0;
  } else if (!(a.approach && stepsLeft < 4)) {
    point.groundSpeed = a.approach ? std::max(point.groundSpeed * 90.0 / 100.0, 1.0)
                                   : std::max(point.groundSpeed * 95.0 / 100.0, 1.0);
  }
  point.positionSpeed = -1.0;  // an invented point moves at the speed given it
  const bool moves = !point.stationary && point.groundSpeed > 0.0;
  const double seconds = a.onGround ? 3.0 : 8.0;
  if (moves) {
    const LatLon to = gf_destinationPoint(at(front), a.pose.heading, seconds * point.groundSpeed * kFeetPerNm / 3600.0);
    point.latitude = to.lat;
    point.longitude = to.lon;
    if (point.latitude == front.latitude && point.longitude == front.longitude) point.stationary = 1;
    if (a.approach && a.flareStage == 0) {
      point.verticalSpeed = -667.0;
      point.altitude -= seconds * 10.005;
    } else if (a.phase == PHASE_LIFTOFF) {
      point.verticalSpeed = 1500.0;
      point.altitude += seconds * 25.0;
    }
    if ((a.approach && a.flareStage == 0) || a.phase == PHASE_LIFTOFF) {
      point.airborne = point.altitude > 0.0 ? 1 : 0;
      if (point.altitude < 0.0) point.altitude = 0.0;
    }
  }
  const std::int64_t stepTicks = parked(a) ? 60480000 : 100 * static_cast<std::int64_t>(seconds);
  point.dueTick = tickAt(static_cast<std::int64_t>(front.dueTick) + stepTicks);
  if (parked(a)) {
    if (Stand* stand = gf_standById(a.standId)) stand->liveOccupied = false;
    // Its reports have stopped: the long-stay removal and the stand rules may take it now.
    a.reporting = false;
  }
  a.track.push_back(point);
}

void lf_stepPose(Act& a) {
  SimPose& p = a.pose;
  const bool curveActive = !std::isnan(a.curveControlEast) && !std::isnan(a.curveControlNorth);
  if (curveActive) {
    a.curveT = std::min(a.curveT + a.curveStep, 0.999999);
    const BezierPath path{{a.curveOriginLatitude, a.curveOriginLongitude}, a.curveT0, a.curveEndNorth,
                          a.curveEndEast, a.curveT1, a.curveControlEast, a.curveControlNorth};
    LatLon position;
    double heading = 0.0;
    if (!gf_bezierPosition(path, position, heading, a.curveT)) {
      gf_log(sk::format("{} error in curve at index: {:.2F}", a.key.callsign, a.curveT));
    } else {
      p.latitude = position.lat;
      p.longitude = position.lon;
      if (a.phase == PHASE_PUSHBACK) heading = wrapHeading(heading + PI);
      steerToward(a, heading);
    }
  } else {
    if (a.phase == PHASE_TAXI_TO_STAND || (a.phase <= PHASE_GROUND && a.turnNeeded))
      steerToward(a, a.targetHeading);
    else if (a.phase >= PHASE_LIFTOFF && a.phase != PHASE_TAXI_TO_STAND)
      p.heading = wrapHeading(p.heading + a.headingStep);
    if (a.phase != PHASE_PUSHBACK_DONE) {
      p.latitude += a.latStep;
      p.longitude += a.lonStep;
    }
  }
  if (a.phase == PHASE_LIFTOFF) {
    lf_liftOffStep(a);
  } else {
    if (a.agl <= 400.0 && a.approach && !a.onGround) lf_flareStep(a);
    if (a.derotating) {
      p.pitch += a.pitchStep;
      if (p.pitch > a.groundPitch) {
        p.pitch = a.groundPitch;
        a.pitchStep = p.bank = a.bankStep = 0.0;
        a.derotating = false;
        a.flareStage = 0;
      }
      p.bank += a.bankStep;
    } else if (a.flareStage == 0 && a.onGround) {
      p.pitch = a.groundPitch;
      p.bank = 0.0;
    } else {
      p.bank += a.bankStep;
      p.altitude += a.altStep;
      p.pitch += a.pitchStep;
      if (a.flareStage > 0) p.pitch = std::max(p.pitch, -4.0 * DEG_TO_RAD);
    }
  }
  if (p.longitude > 180.0) p.longitude -= 360.0;
  if (p.longitude < -180.0) p.longitude += 360.0;
}
