// Collision avoidance, once a second: an aircraft in the way of the user
// aircraft, or a static aircraft in the way of a live one on the ground, is
// removed (never moved), at most one per pass.
#include <cmath>

#include "core/format.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/parameters.h"
#include "traffic/engine.h"
#include "traffic/static_parked.h"
#include "traffic/user_aircraft.h"

namespace {

constexpr double kFeetPerNm = 6076.11549;
constexpr double kUserGroundMargin = 1.15;
constexpr double kSpanMargin = 1.1;
constexpr double kLowUserFeet = 500.0;
constexpr double kGroundLineNm = 1.0;
constexpr double kGroundLineFeet = 50.0;
constexpr double kAirborneReachNm = 4.0;
constexpr double kAirborneLayerFeet = 1000.0;
constexpr double kAirborneMissFeet = 700.0;
constexpr double kNmPerDegree = 60.0;

// The user position at the last static part of the ground pass.
LatLon gLastStaticCheck{0.0, 0.0};

LatLon lf_userAt() { return {gUserAc.latitude, gUserAc.longitude}; }
LatLon lf_poseAt(const Act& aircraft) { return {aircraft.pose.latitude, aircraft.pose.longitude}; }
LatLon lf_standAt(const PlacedAct& aircraft) { return {aircraft.standLatitude, aircraft.standLongitude}; }

// Cheaper than the distance: false only when the two positions lie farther
// apart than reach (nm) in latitude or longitude alone.
bool lf_mayReach(const LatLon& a, const LatLon& b, double reachNm) {
  const double degrees = reachNm / kNmPerDegree * 1.01 + 1e-9;
  if (std::abs(a.lat - b.lat) > degrees) return false;
  const double cosine = std::cos(a.lat * DEG_TO_RAD);
  if (cosine < 0.01) return true;
  double dLon = std::abs(a.lon - b.lon);
  if (dLon > 180.0) dLon = 360.0 - dLon;
  return dLon <= degrees / cosine;
}

}  // namespace

void gf_clearAroundUser() {
  std::lock_guard guard(gEngineMutex);
  const LatLon user = lf_userAt();
  const double userHalfSpan = gUserHalfSpan.load();
  for (Act& aircraft : gActs) {
    if (!aircraft.onGround || aircraft.state != ACT_PRESENT) continue;
    if (gf_distanceNm(user, lf_poseAt(aircraft)) > (userHalfSpan + aircraft.halfSpan) * kUserGroundMargin) continue;
    gf_removeAct(aircraft);
    return;
  }
  // Static aircraft do not move: their part runs again only once the user did.
  if (user.lat == gLastStaticCheck.lat && user.lon == gLastStaticCheck.lon) return;
  gLastStaticCheck = user;
  for (StaticAct& aircraft : gStaticActs) {
    if (aircraft.state != ACT_PRESENT) continue;
    if (gf_distanceNm(user, lf_standAt(aircraft)) > (userHalfSpan + aircraft.halfSpan) * kSpanMargin) continue;
    gf_removeAct(aircraft);
    return;
  }
}

bool gf_avoidUserCollision(Act& aircraft) {
  if (aircraft.state != ACT_PRESENT) return false;
  const LatLon user = lf_userAt();
  const LatLon at = lf_poseAt(aircraft);
  const double distance = gf_distanceNm(user, at);
  const double bearing = gf_bearing(user, at);
  bool inTheWay = false;
  if (aircraft.onGround) {
    // Off the user's heading line, ahead or behind: the sine of the angle is never negative.
    const double offset = std::sin(std::abs(gf_angleDifference(bearing, gUserAc.heading))) * distance * kFeetPerNm;
    inTheWay = gUserAc.altitudeAboveGround < kLowUserFeet && distance <= kGroundLineNm && offset <= kGroundLineFeet;
  } else if (distance <= kAirborneReachNm && std::abs(aircraft.pose.altitude - gUserAc.altitude) < kAirborneLayerFeet) {
    const double d = (aircraft.pose.heading - bearing) * RAD_TO_DEG;
    inTheWay = distance * std::abs(std::sin(d * DEG_TO_RAD)) * kFeetPerNm <= kAirborneMissFeet;
  }
  if (!inTheWay) return false;
  std::lock_guard guard(gEngineMutex);
  gf_removeAct(aircraft);
  return true;
}

bool gf_avoidCollisionWithLive(const Act& live, StaticAct& aircraft) {
  if (aircraft.state != ACT_PRESENT) return false;
  if (gf_distanceNm(lf_poseAt(live), lf_standAt(aircraft)) > (live.halfSpan + aircraft.halfSpan) * kSpanMargin)
    return false;
  if (LOG.value)
    gf_log(sk::format("{:8}: {:8} removed for collision avoidance with live {}", gf_standLabel(aircraft.standId),
                      aircraft.key.callsign, live.key.callsign));
  std::lock_guard guard(gEngineMutex);
  gf_removeAct(aircraft);
  return true;
}

void gf_avoidLiveParkedCollisions() {
  std::lock_guard guard(gEngineMutex);
  if (gActs.empty() || gStaticActs.empty()) return;
  for (Act& aircraft : gActs) {
    if (!aircraft.onGround || (aircraft.phase != PHASE_GROUND && aircraft.phase != PHASE_TAXI_TO_STAND) ||
        aircraft.state != ACT_PRESENT || aircraft.takeOffRoll || aircraft.landingRoll)
      continue;
    if (aircraft.pose.latitude == aircraft.collisionCheckLatitude &&
        aircraft.pose.longitude == aircraft.collisionCheckLongitude)
      continue;
    aircraft.collisionCheckLatitude = aircraft.pose.latitude;
    aircraft.collisionCheckLongitude = aircraft.pose.longitude;
    const Act& live = aircraft;
    const LatLon at = lf_poseAt(live);
    for (StaticAct& parked : gStaticActs) {
      if (!lf_mayReach(at, lf_standAt(parked), (live.halfSpan + parked.halfSpan) * kSpanMargin)) continue;
      if (gf_avoidCollisionWithLive(live, parked)) return;  // one removal a pass
    }
  }
}

void gf_collisionPasses(bool userOnGround) {
  if (userOnGround) {
    if (COLLISION_USER_GND.value) gf_clearAroundUser();
  } else if (COLLISION_USER_AIR.value) {
    for (Act& aircraft : gActs)
      if (gf_avoidUserCollision(aircraft)) break;
  }
  if (COLLISION_LIVE_PARKED_GND.value) gf_avoidLiveParkedCollisions();
}
