// Stands of live aircraft: the last leg onto a claimed stand, arrival and
// parking, and leaving by pulling out forward or by being pushed back.
#include <cmath>
#include <limits>

#include "airports/stand.h"
#include "core/clock.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/parameters.h"
#include "traffic/arbitration.h"
#include "traffic/commands.h"
#include "traffic/engine.h"
#include "traffic/sim_ids.h"
#include "traffic/sim_queues.h"
#include "traffic/stand_learning.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"

namespace {

constexpr double kTicksPerHour = 360000.0;
constexpr double kFeetPerNm = 6076.11549;

LatLon at(const TrackPoint& p) { return {p.latitude, p.longitude}; }
LatLon standAt(const Act& a) { return {a.standLatitude, a.standLongitude}; }

// Ticks to roll the distance at the stand speed.
std::int64_t standTicks(const Act& a, double distanceNm) {
  return std::llround(distanceNm * kTicksPerHour / a.standSpeed);
}

std::string standLabel(const Act& a) {
  if (a.standId == 0) return "sid==0?";
  const Stand* stand = gf_standById(a.standId);
  return stand ? stand->name : "unknown";
}

// The track cut back to its front point, which rolls off at the stand speed.
void lf_restartFromFront(Act& a) {
  a.extrapolationsLeft = 0;
  a.track.resize(1);
  a.track.front().groundSpeed = a.standSpeed;
  a.targetHeading = a.pose.heading;
  a.turnNeeded = false;
}

TrackPoint rollingPoint(const Act& a, const LatLon& position, std::int64_t dueTick) {
  TrackPoint p = a.track.front();
  p.latitude = position.lat;
  p.longitude = position.lon;
  p.groundSpeed = a.standSpeed;
  p.stationary = 0;
  p.airborne = 0;
  p.dueTick = static_cast<std::uint32_t>(dueTick);
  return p;
}

void leavingLights(const Act& a) { lf_queueLights(a.objectId, {1, 1, 0, 1, 0, 1, 0}); }

}  // namespace

void gf_addStandPoint(Act& a) {
  TrackPoint& last = a.track.back();
  const std::int64_t t = std::max<std::int64_t>(standTicks(a, gf_distanceNm(at(last), standAt(a))), 100);
  last.groundSpeed = a.standSpeed;
  const TrackPoint& front = a.track.front();
  TrackPoint stand = last;
  stand.latitude = a.standLatitude;
  stand.longitude = a.standLongitude;
  stand.roll = a.pose.bank;
  stand.heading.reset();
  stand.altitude = a.pose.altitude;
  stand.track = a.standHeading * RAD_TO_DEG;
  stand.airborne = 0;
  stand.verticalSpeed = 0.0;
  stand.headingValid = front.headingValid;
  // Rolled onto at the stand speed; the arrival makes it the stationary parked point
  // (a stationary point here would keep the aircraft where it is).
  stand.stationary = 0;
  stand.groundSpeed = a.standSpeed;
  stand.trueAirspeed = 0.0;
  stand.dueTick = static_cast<std::uint32_t>(static_cast<std::int64_t>(front.dueTick) + t + 50);
  a.track.push_back(stand);
  a.targetHeading = a.standHeading;
  if (a.extrapolationsLeft > 0) {
    a.extrapolationsLeft = 0;
    a.earlyWindow = 3000;
    a.lateWindow = a.takeOffRoll ? 5000 : 3000;
  }
}

void lf_arriveAtStand(Act& a) {
  if (gf_distanceNm({a.pose.latitude, a.pose.longitude}, standAt(a)) > 2.0 / 1852.0) {
    a.phase = PHASE_GROUND;
    return;
  }
  a.phase = PHASE_PARKED;
  Stand* stand = gf_standById(a.standId);
  if (stand) stand->liveOccupied = true;
  a.arrivalSlot = gf_currentSlot();
  if (a.towed && LOG.value) gf_log(sk::format("          towed aircraft {} parks", gf_aircraftDescription(a)));
  a.track.front().stationary = 1;
  a.track.front().groundSpeed = 0.0;
  a.parkedSince = gf_steadyNow();
  // Leaving is measured from where it stands, not from the reports of its approach.
  a.standFirstDistance = std::numeric_limits<double>::quiet_NaN();
  a.standMovesAway = 0;
  if (stand) gf_markCargoStand(a, *stand);
  lf_parkAtStand(a);
  if (LOG.value) gf_log(sk::format("{:8}: {:8} arrived at stand", standLabel(a), a.key.callsign));
  gTwinCheckHexids.push_back(a.hexid);
  if (stand && !a.key.operatorCode.empty() && a.standCargo == a.cargo &&
      lf_addRealOption(a.standId, a, 0, a.arrivalSlot, 0)) {
    gf_recordLearnedSlot(a.arrivalSlot, a.hexid, true);
    gf_enforceParkMax(0);
  }
}

void lf_startPullOut(Act& a) {
  a.leaveStand = false;
  const LatLon target = gf_destinationPoint(standAt(a), a.standHeading, 2.0 * a.halfSpan * kFeetPerNm);
  lf_restartFromFront(a);
  const double distance = gf_distanceNm(at(a.track.front()), target);
  a.track.push_back(rollingPoint(a, target, gTick.load() + standTicks(a, distance)));
  a.phase = PHASE_GROUND;
  leavingLights(a);
  gf_queueEvent(a.objectId, EV_ENGINE_AUTO_START, 0);
  lf_setThrottle(a, 0);
  lf_setFlaps(a, 1);
  if (LOG.value) gf_log(sk::format("{:8}: {:8} pulling out", standLabel(a), a.key.callsign));
}

void lf_startPushback(Act& a) {
  const Stand* stand = gf_standById(a.standId);
  if (!stand) return;
  double back = a.standHeading + PI;
  if (back >= TWO_PI) back -= TWO_PI;
  const LatLon here{a.pose.latitude, a.pose.longitude};
  const LatLon p1 = gf_destinationPoint(here, back, stand->radius * 2.5 * kFeetPerNm);
  lf_restartFromFront(a);
  const std::int64_t tick = gTick.load();
  const std::int64_t u = standTicks(a, gf_distanceNm(here, p1));
  a.track.push_back(rollingPoint(a, p1, tick + u));
  lf_insertMidpoint(a);
  const double side = a.halfSpan * kFeetPerNm;
  const LatLon p2 = gf_destinationPoint(p1, back + PI / 2.0, side);
  const LatLon p3 = gf_destinationPoint(p1, back - PI / 2.0, side);
  const TrackPoint& mid = a.track[1];
  a.pushAltEnd = rollingPoint(a, p2, tick + u / 2 + standTicks(a, gf_distanceNm(at(mid), p2)));
  a.track.push_back(rollingPoint(a, p3, tick + u / 2 + standTicks(a, gf_distanceNm(at(mid), p3))));
  leavingLights(a);
  a.phase = PHASE_PUSHBACK;
  a.pushLegs = 2;
}
