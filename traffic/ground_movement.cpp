// Ground movement: a ground segment's shape (midpoints, curves), its timing and
// turn rate, the throttle and lights of taxi, take-off roll and landing roll,
// the stand search at a stop, the start of a push-back's turn and its end, and
// the lift-off.
#include <algorithm>
#include <cmath>
#include <limits>

#include "airports/airport_list.h"
#include "airports/stand.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/parameters.h"
#include "traffic/arbitration.h"
#include "traffic/commands.h"
#include "traffic/engine.h"
#include "traffic/sim_ids.h"
#include "traffic/sim_queues.h"
#include "traffic/stand_choice.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"

namespace {

constexpr std::int64_t kMinTravelTicks = 25;
constexpr double kTicksPerHour = 360000.0;
constexpr double kMetresPerDegreeLat = 111132.95;
constexpr double kScatterDegrees = 20.0;
constexpr AircraftCategory kLight = 0;
constexpr AircraftCategory kRotorcraft = 5;

std::int64_t now() { return gTick.load(); }

LatLon at(const TrackPoint& p) { return {p.latitude, p.longitude}; }

double metres(const TrackPoint& a, const TrackPoint& b) { return gf_distanceNm(at(a), at(b)) * 1852.0; }

bool curveActive(const Act& a) { return !std::isnan(a.curveControlEast) && !std::isnan(a.curveControlNorth); }

double wrapLongitude(double lon) {
  if (lon > 180.0) return lon - 360.0;
  if (lon < -180.0) return lon + 360.0;
  return lon;
}

std::uint32_t taxiThrottle(const Act& a) { return a.category == kRotorcraft ? 4 : 0; }

void spoilersIn(const Act& a) {
  if (a.category != kRotorcraft) gf_queueEvent(a.objectId, EV_SPOILERS_SET, 0);
}

// The take-off roll's throttle by the speeds of the first two points.
std::uint32_t takeOffThrottle(const Act& a) {
  if (a.category == kRotorcraft) return 4;
  const double front = a.track[0].groundSpeed, second = a.track[1].groundSpeed;
  if (front >= 25.0 || second >= 30.0) return 4;
  if (front >= 20.0 || second >= 25.0) return 2;
  if (front >= 15.0 || second >= 20.0) return 1;
  return 0;
}

bool parkAirportLoaded() { return !gStands.empty() && !gEngineParkAirport.code.empty(); }

}  // namespace

bool gf_mayClaimStandAtStop(const Act& a) {
  if (a.phase != PHASE_GROUND || !parkAirportLoaded()) return false;
  const bool cameFromStand = a.previousPhase == PHASE_PARKED || a.previousPhase < PHASE_GROUND;
  return a.towed || !cameFromStand;
}

namespace {

// Stand search at a stop ahead (the last point is stationary), judged at the
// second point, which still moves. A stop whose slow approach the track did not
// show claims a stand only once its reports have ended (lf_extendTrack): a wait
// beside a stand that its reports move on from would take the stand from
// whoever stands there and teach it as used.
void lf_searchStandAtStop(Act& a, const TrackPoint& arriving) {
  if (!a.track.back().stationary || !gf_mayClaimStandAtStop(a)) return;
  if (a.extrapolationsLeft < 1) {
    // The speed believed: a transponder may keep sending 100 kt for minutes
    // while its positions taxi in and stop.
    const LatLon here{a.pose.latitude, a.pose.longitude};
    if (gf_believedSpeed(arriving) <= 5.0 && gf_distanceNm(here, at(a.track.back())) <= 35.0 / 1852.0)
      gf_claimStandNear(a, false);
  } else {
    gf_claimStandNear(a, a.arrived);
  }
}

// Curve, midpoint or split before the next point (phases 2 to 5 and 7).
void lf_shapeAhead(Act& a) {
  if (a.track.size() < 3) {
    if (a.extrapolationsLeft <= 0) lf_splitOnSpeedChange(a);
    return;
  }
  if (a.track[2].stationary) {
    lf_splitOnSpeedChange(a);
    return;
  }
  const double turn = std::abs(lf_nextTurn(a)) * RAD_TO_DEG;
  if (turn <= 3.0) {
    lf_splitOnSpeedChange(a);
    return;
  }
  const TrackPoint& front = a.track[0];
  const TrackPoint& second = a.track[1];
  const std::int64_t legTicks =
      std::max<std::int64_t>(static_cast<std::int64_t>(second.dueTick) - front.dueTick, kMinTravelTicks);
  // A slow long leg gets its midpoint before any sharp turn, a reversal included.
  if (turn > 45.0 && metres(front, second) > 50.0 && front.groundSpeed <= kLiftOffKnots && legTicks >= 600) {
    lf_insertMidpoint(a);
    return;
  }
  // A roll at speed is on a runway, and a few degrees between its reports are
  // their scatter: a curve there, its speed set by how far apart its points lie,
  // swung a take-off roll from 179 to 91 kt within 3 s.
  if (turn > 160.0 || (gf_believedSpeed(front) >= kLiftOffKnots && turn <= kScatterDegrees)) {
    lf_splitOnSpeedChange(a);
    return;
  }
  const TrackPoint& third = a.track[2];
  if (front.latitude != third.latitude || front.longitude != third.longitude) {
    lf_startGroundCurve(a);
    a.curveTurnDeg = turn;
  } else {
    lf_splitOnSpeedChange(a);
  }
}

void lf_pushbackLeg(Act& a) {
  a.pushLegs -= 1;
  if (a.pushLegs == 1) {
    if (!a.pushTurn) {
      a.track.pop_back();
      return;
    }
    if (a.pushTurnOtherSide) a.track.back() = a.pushAltEnd;
    lf_startGroundCurve(a);
    a.curveStep = 1.0 / std::max<double>(std::llround(90.0 / a.turnRate / 100.0), 1.0);
    a.curveTurnDeg = 90.0;
    return;
  }
  if (a.pushLegs >= 1) return;
  a.targetHeading = a.pose.heading;
  gf_queueEvent(a.objectId, EV_ENGINE_AUTO_START, 0);
  lf_setThrottle(a, 0);
  lf_setFlaps(a, 1);
  a.phase = PHASE_PUSHBACK_DONE;
  a.pushLegs = 1;
  a.leaveDistance = 900.0;
  a.extrapolationsLeft = 0;
  a.leaveStand = false;
}

}  // namespace

void lf_planGroundSegment(Act& a) {
  if (a.phase == PHASE_PUSHBACK) {
    lf_pushbackLeg(a);
    if (a.phase == PHASE_PUSHBACK_DONE) {
      if (a.track.size() >= 2) lf_timeGroundSegment(a);
      return;
    }
  }
  const bool moving = a.phase == PHASE_GROUND || a.phase == PHASE_LIFTOFF || a.phase == PHASE_AIRBORNE ||
                      a.phase == PHASE_TAXI_TO_STAND || a.phase == PHASE_NEW;
  if (moving && a.track.size() >= 2 && !a.track[1].stationary) {
    lf_shapeAhead(a);
    if (curveActive(a)) {
      a.turnNeeded = false;
    } else {
      a.turnDeg = std::abs(gf_angleDifference(a.pose.heading, a.targetHeading)) * RAD_TO_DEG;
      a.turnNeeded = a.turnDeg > 3.0;
    }
    lf_searchStandAtStop(a, a.track[1]);
  }
  if (a.phase == PHASE_PARKED) {
    a.lateWindow = a.takeOffRoll ? 5000 : 3000;
    a.earlyWindow = 3000;
    if (a.leaveStand && !a.track.empty()) {
      const double bearing = gf_bearing({a.standLatitude, a.standLongitude}, at(a.track.back()));
      const double off = std::round(gf_angleDifference(a.standHeading, bearing) * RAD_TO_DEG);
      if (std::abs(off) < 90.0)
        lf_startPullOut(a);
      else
        lf_startPushback(a);
    }
  }
  if (a.track.size() >= 2) lf_timeGroundSegment(a);
}

void lf_timeGroundSegment(Act& a) {
  TrackPoint& next = a.track[1];
  const std::int64_t tick = now();
  if (!next.stationary) {
    a.turnRate = a.baseTurnRate;
    const double distance = gf_distanceNm(at(a.track[0]), at(next));
    const std::int64_t ticks = std::max<std::int64_t>(
        std::llround(distance * kTicksPerHour / lf_estimateSpeed(a)), kMinTravelTicks);
    if (curveActive(a) || a.turnNeeded) {
      const double t = a.turnNeeded ? a.turnDeg : a.curveTurnDeg;
      const double k = static_cast<double>(std::llround(t / a.turnRate / 100.0));
      const double r = static_cast<double>(ticks) / std::max(k, 1.0);
      if (t != 0.0 && distance != 0.0) {
        if (t <= 45.0) {
          const double q = r >= 1.2 ? std::min({r * 10.0 / t, r * (30.0 / 1852.0) / distance, r}) : r;
          if (q != 0.0) a.turnRate /= q;
        } else {
          a.turnRate *= std::min(r, std::min(t, 90.0) / 30.0);
          if (t >= 90.0) {
            a.earlyWindow = std::max(a.earlyWindow, 2000);
            a.lateWindow = std::max(a.lateWindow, 2000);
          }
        }
      }
    }
    lf_setDueTick(a, ticks);
    return;
  }
  // Tick differences in signed 64 bit: due ticks are u32 and may lie behind the counter.
  const std::int64_t f = a.track[0].dueTick;
  const std::int64_t s = next.dueTick;
  std::int64_t candidate = tick + std::max(std::max(s - f, kMinTravelTicks) + f - tick, kMinTravelTicks);
  if (a.extrapolationsLeft < 1) {
    candidate = std::min(candidate, s + gf_dueWindow(a, a.lateWindow));
    candidate = std::max(candidate, s - gf_dueWindow(a, a.earlyWindow));
  }
  next.dueTick = static_cast<std::uint32_t>(std::max(candidate, tick));
}

void lf_groundConfig(Act& a) {
  if (a.phase == PHASE_AIRBORNE || a.phase == PHASE_PARKED) {
    a.phase = PHASE_GROUND;
  } else if (!a.takeOffRoll) {
    if (a.landingRoll)
      lf_landingRollConfig(a);
    else
      lf_setThrottle(a, taxiThrottle(a));
  } else {
    lf_setThrottle(a, takeOffThrottle(a));
  }
  if (!a.landingRoll && !a.takeOffRoll) lf_shrinkWindows(a);
  if (a.flareStage == 0 && a.phase != PHASE_LIFTOFF) {
    a.pose.pitch = a.groundPitch;
    a.pose.bank = 0.0;
    a.pitchStep = a.bankStep = 0.0;
  }
  const TrackPoint& second = a.track[1];
  const std::int64_t tick = now();
  const std::int64_t secondTicks = std::max(gf_ticksUntil(second.dueTick, tick), kMinTravelTicks);
  if (curveActive(a)) a.curveStep = 1.0 / static_cast<double>(secondTicks);
  a.targetTas = a.phase == PHASE_PUSHBACK ? -second.groundSpeed : second.groundSpeed;
  if (!a.takeOffRoll || a.phase == PHASE_LIFTOFF || a.track[0].groundSpeed < kLiftOffKnots) return;
  const bool climbing = std::all_of(a.track.begin() + 1, a.track.end(),
                                    [](const TrackPoint& p) { return p.verticalSpeed > 256.0; });
  if (climbing) {
    a.altStep = lf_allAirborne(a)
                    ? std::max(second.altitude - a.pose.altitude, 0.1) / static_cast<double>(secondTicks)
                    : a.maxClimbStep;
    lf_tookOff(a);
  } else if (lf_allFastEnough(a) && lf_allAirborne(a)) {
    a.altStep = a.maxClimbStep;
    lf_tookOff(a);
  }
}

void lf_landingRollConfig(Act& a) {
  const bool offRunway = std::abs(gf_angleDifference(a.pose.heading, a.runwayHeading)) >= 15.0 * DEG_TO_RAD;
  if (!offRunway && a.track[0].groundSpeed > 90.0) return;
  if (offRunway) {
    lf_setFlaps(a, 0);
    a.landingRoll = false;
    a.runwayHeading = 0.0;
    lf_setThrottle(a, taxiThrottle(a));
  }
  spoilersIn(a);
  if (a.category != kLight) lf_setAiControls(a, 0.0, 0.0);
  if (offRunway)
    lf_queueLights(a.objectId, {1, 1, 0, 1, 0, 1, 1});
  else
    lf_setFlaps(a, 1);
}

void lf_prepareTakeOff(Act& a) {
  if (a.towed) gf_log(sk::format("towed aircraft takes-off? {}", gf_aircraftDescription(a)));
  a.takeOffRoll = true;
  a.touchAndGo = false;
  lf_setThrottle(a, 0);
  spoilersIn(a);
  lf_setFlaps(a, 1);
  a.approach = a.arrived = false;
  a.goAroundDone = false;
  lf_queueLights(a.objectId, {1, 1, 1, 1, 1, 1, 0});
  a.lateWindow = 5000;
  a.earlyWindow = 3000;
  if (!a.key.operatorCode.empty()) lf_pickStandForAct(a, true);
}

void lf_tookOff(Act& a) {
  a.rotationCountdown = static_cast<std::int32_t>(a.rotationTicks);
  a.pitchStep = (a.rotationPitch - a.pose.pitch) / static_cast<double>(std::max<std::uint32_t>(a.rotationTicks, 1));
  a.pose.bank = a.bankStep = 0.0;
  if (!a.takeOffRoll) lf_prepareTakeOff(a);
  a.phase = PHASE_LIFTOFF;
  if (LOG.value) {
    const auto park = gf_findAirport(gEngineParkAirport.code);
    const bool outbound = park && !park->iata.empty() && a.key.origin == park->iata;
    gf_log(sk::format("{:8} took-off{}", a.key.callsign, outbound ? " to " + a.key.destination : std::string()));
  }
  a.curveT0 = a.curveT1 = std::numeric_limits<double>::quiet_NaN();
  a.curveControlEast = a.curveControlNorth = std::numeric_limits<double>::quiet_NaN();
  a.headingStep = 0.0;
  if (a.landingRoll) {
    a.landingRoll = a.approach = a.arrived = false;
    lf_setThrottle(a, 4);
    spoilersIn(a);
    lf_setFlaps(a, 1);
  }
}

void lf_liftOffStep(Act& a) {
  SimPose& p = a.pose;
  a.rotationCountdown -= 1;
  if (a.rotationCountdown >= 1) {
    a.onGround = false;
    if (p.pitch > a.rotationPitch) p.pitch += a.pitchStep;
    return;
  }
  const double step = (a.climbPitch - a.rotationPitch) / static_cast<double>(std::max<std::uint32_t>(a.pitchUpTicks, 1));
  p.bank += a.bankStep;
  if (p.pitch > a.climbPitch) p.pitch += step;
  const std::int32_t count = a.rotationCountdown;
  if (count >= -99) {
    p.altitude += a.altStep / 10.0;
  } else if (count >= -199) {
    p.altitude += a.altStep / 5.0;
  } else if (count >= -299) {
    p.altitude += a.altStep / 2.0;
  } else if (count == -300) {
    lf_setGear(a, 0);
    p.altitude += a.altStep;
  } else {
    p.altitude += a.altStep;
    if (p.pitch <= a.climbPitch) {
      a.pitchStep = 0.0;
      if (a.agl >= 800.0) {
        lf_setThrottle(a, a.category == kRotorcraft ? 4 : 3);
        a.phase = PHASE_AIRBORNE;
        a.rotationCountdown = 1;
      }
    }
  }
}

void lf_insertMidpoint(Act& a) {
  const TrackPoint& front = a.track[0];
  const TrackPoint& second = a.track[1];
  TrackPoint mid = front;
  mid.latitude = (front.latitude + second.latitude) / 2.0;
  mid.longitude = wrapLongitude(front.longitude + lf_lonDelta(front.longitude, second.longitude) / 2.0);
  mid.groundSpeed = (front.groundSpeed + second.groundSpeed) / 2.0;
  // The speed its positions show halfway, where either end's stale speed is doubted.
  mid.positionSpeed = front.positionSpeed >= 0.0 || second.positionSpeed >= 0.0
                          ? (gf_believedSpeed(front) + gf_believedSpeed(second)) / 2.0
                          : -1.0;
  mid.altitude = (front.altitude + second.altitude) / 2.0;
  mid.dueTick = static_cast<std::uint32_t>((static_cast<std::uint64_t>(front.dueTick) + second.dueTick) / 2);
  mid.airborne = mid.altitude > 0.0 ? 1 : 0;
  if (!mid.airborne) mid.altitude = 0.0;
  mid.stationary = 0;
  a.track.insert(a.track.begin() + 1, mid);
}

void lf_splitOnSpeedChange(Act& a) {
  if (a.track.size() < 2) return;
  const TrackPoint& front = a.track[0];
  const TrackPoint& second = a.track[1];
  // By the speeds believed: a roll whose transponder sent 0.0 until 93 kt changes
  // no speed there. A take-off roll's reports scatter along the runway, and a
  // midpoint timed halfway would race it through the half after.
  const double v0 = gf_believedSpeed(front), v1 = gf_believedSpeed(second);
  if (!a.takeOffRoll && (v0 > 0.0 || v1 > 0.0) && std::abs(v0 - v1) > 5.0 && metres(front, second) >= 100.0)
    lf_insertMidpoint(a);
}

void lf_startGroundCurve(Act& a) {
  if (a.track.size() < 3) return;
  TrackPoint& third = a.track[2];
  if (third.groundSpeed == 0.0) third.groundSpeed = (a.track[0].groundSpeed + a.track[1].groundSpeed) / 2.0;
  const double eastPerDegree = kMetresPerDegreeLat * std::cos(a.pose.latitude * DEG_TO_RAD);
  const auto north = [&](const TrackPoint& p) { return (p.latitude - a.pose.latitude) * kMetresPerDegreeLat; };
  const auto east = [&](const TrackPoint& p) { return lf_lonDelta(a.pose.longitude, p.longitude) * eastPerDegree; };
  a.curveOriginLatitude = a.pose.latitude;
  a.curveOriginLongitude = a.pose.longitude;
  a.curveT0 = 0.0;
  a.curveT1 = 1.0;
  a.curveT = 0.0;
  a.curveControlNorth = north(a.track[1]);
  a.curveControlEast = east(a.track[1]);
  a.curveEndNorth = north(third);
  a.curveEndEast = east(third);
  a.track.erase(a.track.begin() + 1);
}

bool lf_allAirborne(const Act& a) {
  return std::all_of(a.track.begin() + 1, a.track.end(), [](const TrackPoint& p) { return p.airborne != 0; });
}

bool lf_allFastEnough(const Act& a) {
  const double takeOff = gf_airLimits(a.category).takeOffSpeed;
  return std::all_of(a.track.begin() + 1, a.track.end(),
                     [&](const TrackPoint& p) { return p.groundSpeed >= takeOff; });
}
