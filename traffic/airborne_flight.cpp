// Airborne flight: a segment's climb or descent, pitch, heading and bank steps,
// the configuration by height and vertical speed, the approach to the park
// airport and the flare.
#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

#include "core/geometry.h"
#include "core/log.h"
#include "traffic/arbitration.h"
#include "traffic/commands.h"
#include "traffic/engine.h"
#include "traffic/readers.h"
#include "traffic/sim_queues.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"

namespace {

constexpr std::int64_t kMinTravelTicks = 25;
constexpr AircraftCategory kRotorcraft = 5;

const std::array<AirLimits, 6> kAirLimits{{
    {40.0 * DEG_TO_RAD, 0.035 * DEG_TO_RAD, 0.01 * DEG_TO_RAD, 90.0},
    {35.0 * DEG_TO_RAD, 0.0275 * DEG_TO_RAD, 0.0085 * DEG_TO_RAD, 110.0},
    {30.0 * DEG_TO_RAD, 0.02 * DEG_TO_RAD, 0.0075 * DEG_TO_RAD, 140.0},
    {20.0 * DEG_TO_RAD, 0.015 * DEG_TO_RAD, 0.005 * DEG_TO_RAD, 150.0},
    {90.0 * DEG_TO_RAD, 0.1 * DEG_TO_RAD, 0.03 * DEG_TO_RAD, 220.0},
    {75.0 * DEG_TO_RAD, 0.06 * DEG_TO_RAD, 0.03 * DEG_TO_RAD, 0.0},
}};

std::int64_t now() { return gTick.load(); }

LatLon at(const TrackPoint& p) { return {p.latitude, p.longitude}; }

double normalised(double angle) {
  angle = std::remainder(angle, TWO_PI);  // [-pi, pi]
  return angle == -PI ? PI : angle;
}

bool hasParkAirport() { return !gEngineParkAirport.code.empty(); }

double parkAirportDistance(const Act& a) {
  return gf_distanceNm({a.pose.latitude, a.pose.longitude},
                       {gEngineParkAirport.latitude, gEngineParkAirport.longitude});
}

void setFrontVerticalSpeed(Act& a, double fpm) {
  if (!a.track.empty()) a.track.front().verticalSpeed = fpm;
}

}  // namespace

const AirLimits& gf_airLimits(AircraftCategory category) {
  if (category >= kAirLimits.size()) throw std::out_of_range("invalid aircraft category");
  return kAirLimits[category];
}

std::int64_t lf_startAirSegment(Act& a, std::int64_t n) {
  // A copy: the low-level climb may erase points, which moves or frees the front.
  const TrackPoint cur = a.track.front();
  const AirLimits& limits = gf_airLimits(a.category);
  if (a.phase != PHASE_LIFTOFF && a.phase != PHASE_AIRBORNE) {
    a.previousPhase = a.phase;
    a.phase = PHASE_AIRBORNE;
  }
  a.targetTas = a.track[1].trueAirspeed;
  a.targetVs = a.track[1].verticalSpeed;
  if (a.flareStage == 0) {
    const double altitude = a.pose.altitude;
    if (!cur.airborne && !a.track[1].airborne) {
      if (lf_lowLevelClimbOrDescent(a)) {
        // The first airborne point is the second now: the segment leads to it.
        n = std::max(gf_ticksUntil(a.track[1].dueTick, now()), kMinTravelTicks);
        a.targetTas = a.track[1].trueAirspeed;
        a.targetVs = a.track[1].verticalSpeed;
      }
    } else {
      TrackPoint& next = a.track[1];
      const double dn = static_cast<double>(n);
      if (!cur.airborne) {
        a.altStep = next.altitude <= altitude ? 0.0 : std::min((next.altitude - altitude) / dn, a.maxClimbStep);
      } else if (!next.airborne) {
        const std::int32_t qnh = gQnh.load();
        if (qnh > 1013 || !hasParkAirport()) {
          const double rate = qnh >= 1014 ? lf_approachDescentRate(a) : -601.0;
          next.verticalSpeed = rate;
          a.targetVs = rate;
          a.altStep = rate / 6000.0;
        } else {
          a.altStep = (gEngineParkAirport.altitude - altitude) / dn;
        }
        lf_setGear(a, 1);
      } else if (!a.approach) {
        const double r = (next.altitude - altitude) / dn;
        a.altStep = a.agl > 1000.0 ? std::min(r, a.maxClimbStep) : std::min(std::max(r, 0.2), a.maxClimbStep);
      } else if (cur.altitude != next.altitude || a.agl > 1000.0 || cur.verticalSpeed + next.verticalSpeed > 100.0) {
        a.altStep = (next.altitude - altitude) / dn;
      } else {
        const double rate = lf_approachDescentRate(a);
        next.verticalSpeed = rate;
        a.targetVs = rate;
        a.altStep = rate / 6000.0;
      }
    }
    if (a.phase != PHASE_LIFTOFF) {
      double v = a.track[1].verticalSpeed;
      if (v > 0.0) v = std::min(v, 2400.0);
      else v = std::max(v, -3000.0) / 2.0;
      const double targetPitch = -3.0 * DEG_TO_RAD - (v / 600.0) * 2.2 * DEG_TO_RAD;
      a.pitchStep = std::clamp((targetPitch - a.pose.pitch) / static_cast<double>(n), -limits.maxPitchStep,
                               limits.maxPitchStep);
    }
  }
  const TrackPoint& next = a.track[1];
  const double dn = static_cast<double>(n);
  double turn;
  const double reportedTurnBelow = a.approach ? 2000.0 : 1000.0;
  if (next.roll && next.heading && next.headingValid && a.agl < reportedTurnBelow)
    turn = normalised(*next.heading - a.pose.heading);
  else
    turn = lf_nextTurn(a);
  a.headingStep = turn / dn;
  if (next.roll)
    a.bankStep = (*next.roll - a.pose.bank) / dn;
  else
    lf_setBankStep(a, turn, n);

  if (cur.altitude < 10000.0) {
    if (!a.lightsLow) {
      a.lightsLow = true;
      a.lightsHigh = false;
      lf_queueLights(a.objectId, {1, 1, 1, 1, 1, 1, 1});
    }
    const double t = (a.category >= 1 && a.category <= 3) ? 2050.0 : 625.0;
    if (a.agl > t)
      lf_cruiseConfig(a);
    else
      lf_approachConfig(a);
  } else if (!a.lightsHigh) {
    a.lightsHigh = true;
    a.lightsLow = false;
    lf_queueLights(a.objectId, {1, 1, 0, 0, 0, 0, 1});
    lf_setThrottle(a, a.category == kRotorcraft ? 4 : 3);
    lf_setGear(a, 0);
    lf_setFlaps(a, 0);
  }
  return n;
}

double lf_nextTurn(const Act& a) {
  if (a.track.size() < 3) return 0.0;
  return normalised(gf_bearing(at(a.track[1]), at(a.track[2])) - a.pose.heading);
}

void lf_setBankStep(Act& a, double turn, std::int64_t n) {
  const AirLimits& limits = gf_airLimits(a.category);
  const double targetBank = -std::clamp(turn, -limits.maxBank, limits.maxBank);
  a.bankStep = std::clamp((targetBank - a.pose.bank) / static_cast<double>(n), -limits.maxBankStep,
                          limits.maxBankStep);
}

bool findAirborneData(Act& a, std::size_t i) {
  try {
    if (a.track.size() < i || i < 2) return false;
    if (!a.track.at(i - 1).airborne) return false;
    a.track.erase(a.track.begin() + 1, a.track.begin() + static_cast<std::ptrdiff_t>(i - 1));
    const std::int64_t tick = now();
    const double distance = gf_distanceNm(at(a.track[0]), at(a.track[1]));
    const std::int64_t ticks =
        std::max<std::int64_t>(std::llround(distance * 360000.0 / lf_estimateSpeed(a)), kMinTravelTicks);
    lf_setDueTick(a, ticks);  // its window holds only while no points are invented
    TrackPoint& next = a.track[1];
    const std::int64_t n = std::max(gf_ticksUntil(next.dueTick, tick), kMinTravelTicks);
    a.altStep = next.altitude > a.pose.altitude
                    ? std::min((next.altitude - a.pose.altitude) / static_cast<double>(n), a.maxClimbStep)
                    : 0.0;
    return true;
  } catch (const std::exception& e) {
    gf_log(sk::format("findAirborneData, index:{} {}", i, e.what()));
    return false;
  }
}

double lf_approachDescentRate(const Act& a) {
  if (a.agl <= 100.0 || a.track.size() < 2) return -600.0;
  const double mean = (a.track[0].verticalSpeed + a.track[1].verticalSpeed) / 2.0;
  return std::min(mean - (gQnh.load() - 1013) * 6.0, -601.0);
}

bool lf_lowLevelClimbOrDescent(Act& a) {
  if (!a.approach) {
    double sum = 0.0;
    for (const TrackPoint& p : a.track) sum += p.verticalSpeed;
    if (sum > 100.0) {
      const std::size_t last = std::min<std::size_t>(a.track.size() - 1, 10);
      for (std::size_t i = 3; i <= last; ++i) {
        if (findAirborneData(a, i)) {
          lf_setGear(a, 1);
          return true;
        }
      }
    }
    TrackPoint& second = a.track[1];
    second.verticalSpeed = std::max(second.verticalSpeed, 601.0);
    a.targetVs = second.verticalSpeed;
    a.altStep = second.verticalSpeed / 6000.0;
    lf_setGear(a, 1);
    return false;
  }
  const double rate = lf_approachDescentRate(a);
  a.track[1].verticalSpeed = rate;
  a.targetVs = rate;
  a.altStep = rate / 6000.0;
  lf_setGear(a, 1);
  return false;
}

void lf_cruiseConfig(Act& a) {
  lf_shrinkWindows(a);
  lf_setCabinLights(a.objectId, 1);
  a.takeOffRoll = false;
  a.approach = false;
  const double vs = a.track.front().verticalSpeed;
  if (vs <= -250.0 && a.throttleLevel == 3) lf_setThrottle(a, a.category == kRotorcraft ? 4 : 2);
  else if (vs > 400.0 && a.throttleLevel == 4) lf_setThrottle(a, a.category == kRotorcraft ? 4 : 3);
  if (a.agl >= 2400.0) {
    lf_setGear(a, 0);
    lf_setFlaps(a, 0);
  } else if (a.agl >= 2000.0) {
    if (vs <= 100.0 && a.flapLevel == 0) lf_setFlaps(a, 1);
  } else if (vs <= 100.0) {
    if (a.flapLevel == 0) lf_setFlaps(a, 1);
    else if (a.flapLevel == 1) lf_setFlaps(a, 2);
  }
}

void lf_approachConfig(Act& a) {
  lf_setCabinLights(a.objectId, 0);
  const double vs = a.track.front().verticalSpeed;
  if (vs <= -250.0) {
    if (!a.approach && hasParkAirport() && parkAirportDistance(a) <= 10.0) {
      lf_setThrottle(a, a.category == kRotorcraft ? 4 : 1);
      lf_setFlaps(a, 3);
      lf_setGear(a, 1);
      gTwinCheckHexids.push_back(a.hexid);  // its coupled callsigns are looked up
      a.approach = true;
      a.goAroundDone = false;
      a.standId = 0;
      a.standLatitude = a.standLongitude = 0.0;
      a.standCargo = 0;
      a.rotationCountdown = 1;
      a.lateWindow = a.takeOffRoll ? 5000 : 3000;
      a.earlyWindow = 3000;
      a.flareAirportAltitude = std::numeric_limits<double>::quiet_NaN();
    }
    return;
  }
  const bool lostAirport = a.approach && (!hasParkAirport() || parkAirportDistance(a) > 10.0);
  if ((vs > 600.0 || lostAirport) && !a.goAroundDone) {
    lf_shrinkWindows(a);
    lf_setThrottle(a, 4);
    lf_setGear(a, 0);
    a.goAroundDone = true;
    a.approach = false;
    lf_setFlaps(a, 0);
    a.flareStage = 0;
  }
}

void lf_flareStep(Act& a) {
  switch (a.flareStage) {
    case 0: {
      if (std::isnan(a.flareAirportAltitude) && hasParkAirport())
        a.flareAirportAltitude = gEngineParkAirport.altitude;
      const double aboveAirport =
          std::isnan(a.flareAirportAltitude) ? a.agl : a.pose.altitude - a.flareAirportAltitude;
      if (std::min(a.agl, aboveAirport) <= a.cgHeight + 30.0) {
        a.pitchStep = (-4.0 * DEG_TO_RAD - a.pose.pitch) / std::max<double>(a.flareTicks, 1.0);
        a.altStep = -0.1;
        setFrontVerticalSpeed(a, -601.0);
        a.flareStage = 1;
      }
      return;
    }
    case 1:
      if (a.agl > a.cgHeight + 20.0) return;
      a.altStep = -0.075;
      setFrontVerticalSpeed(a, -450.0);
      break;
    case 2:
      if (a.agl > a.cgHeight + 10.0) return;
      lf_setThrottle(a, 0);
      a.altStep = -0.05;
      setFrontVerticalSpeed(a, -300.0);
      break;
    case 3:
      if (a.agl > a.cgHeight + 3.0) return;
      a.altStep = -0.025;
      setFrontVerticalSpeed(a, -150.0);
      break;
    default:
      return;
  }
  ++a.flareStage;
  a.flareAirportAltitude = std::numeric_limits<double>::quiet_NaN();
}
