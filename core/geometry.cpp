#include "core/geometry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double EARTH_DIAMETER_NM = 6875.493541569878;
constexpr double RADIANS_PER_FOOT = 4.787404208238998e-8;
constexpr double METRES_PER_DEGREE_LAT = 111132.95;

// Wraps an angle into (-half, half], half being half a turn in the angle's unit.
double lf_wrapHalfTurn(double angle, double half) {
  double wrapped = half - std::fmod(half - angle, 2.0 * half);
  if (wrapped < -half) {
    wrapped += 2.0 * half;
  } else if (wrapped > half) {
    wrapped -= 2.0 * half;
  }
  return wrapped;
}

}  // namespace

double gf_distanceNm(const LatLon& a, const LatLon& b) {
  const double latA = a.lat * DEG_TO_RAD, latB = b.lat * DEG_TO_RAD;
  const double sinHalfDLat = std::sin((latA - latB) / 2.0);
  const double sinHalfDLon = std::sin((a.lon - b.lon) * DEG_TO_RAD / 2.0);
  const double h = sinHalfDLat * sinHalfDLat + std::cos(latA) * std::cos(latB) * sinHalfDLon * sinHalfDLon;
  // Rounding can push h just past 1 for (nearly) antipodal points; asin would give NaN.
  return std::asin(std::sqrt(std::clamp(h, 0.0, 1.0))) * EARTH_DIAMETER_NM;
}

double gf_bearing(const LatLon& from, const LatLon& to) {
  const double latFrom = from.lat * DEG_TO_RAD, latTo = to.lat * DEG_TO_RAD;
  const double dLon = (to.lon - from.lon) * DEG_TO_RAD;
  const double y = std::sin(dLon) * std::cos(latTo);
  const double x = std::cos(latFrom) * std::sin(latTo) - std::sin(latFrom) * std::cos(latTo) * std::cos(dLon);
  double theta = std::atan2(y, x);
  if (theta < 0.0) theta += TWO_PI;
  return theta;
}

LatLon gf_destinationPoint(const LatLon& start, double bearing, double distanceFeet) {
  const double lat1 = start.lat * DEG_TO_RAD, lon1 = start.lon * DEG_TO_RAD;
  const double d = distanceFeet * RADIANS_PER_FOOT;
  const double lat2 = std::asin(std::cos(bearing) * std::cos(lat1) * std::sin(d) + std::sin(lat1) * std::cos(d));
  const double dLon =
      std::atan2(std::sin(bearing) * std::sin(d) * std::cos(lat1), std::cos(d) - std::sin(lat2) * std::sin(lat1));
  const double lon2 = lf_wrapHalfTurn(lon1 + dLon, PI);
  return {lat2 * RAD_TO_DEG, lon2 * RAD_TO_DEG};
}

double gf_angleDifference(double a, double b) {
  if (b > a) {
    const double d = b - a;
    return d > PI ? d - TWO_PI : d;
  }
  if (a > b) return -gf_angleDifference(b, a);
  return 0.0;
}

bool gf_bezierPosition(const BezierPath& path, LatLon& position, double& heading, double t) {
  if (std::isnan(path.controlEast) || std::isnan(path.controlNorth) || t < path.t0 || t > path.t1) return false;
  const double u = (t - path.t0) / (path.t1 - path.t0);
  if (!(u >= 0.0 && u <= 1.0)) return false;  // also refuses NaN from an empty window
  const double w = 1.0 - u;

  const double dEast = 2.0 * u * (path.endEast - path.controlEast) + 2.0 * w * path.controlEast;
  const double dNorth = 2.0 * u * (path.endNorth - path.controlNorth) + 2.0 * w * path.controlNorth;
  double curveHeading = std::atan2(dEast, dNorth);
  if (curveHeading < 0.0) curveHeading += TWO_PI;

  const double east = 2.0 * w * u * path.controlEast + u * u * path.endEast;
  const double north = 2.0 * w * u * path.controlNorth + u * u * path.endNorth;
  double originLat = path.origin.lat;
  if (originLat > 180.0) originLat -= 360.0;
  const double metresPerDegreeLon = std::cos(originLat * DEG_TO_RAD) * METRES_PER_DEGREE_LAT;

  position = {path.origin.lat + north / METRES_PER_DEGREE_LAT,
              lf_wrapHalfTurn(path.origin.lon + east / metresPerDegreeLon, 180.0)};
  heading = curveHeading;
  return true;
}
