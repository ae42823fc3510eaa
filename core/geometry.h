#pragma once
#include <limits>

// Great-circle geometry on a spherical Earth of one nautical mile per minute of arc.
// Positions are in degrees; bearings, headings and angle differences in radians.

struct LatLon {
  double lat = 0.0;
  double lon = 0.0;
};

inline constexpr double DEG_TO_RAD = 0.017453292519943295;
inline constexpr double RAD_TO_DEG = 57.29577951308232;
inline constexpr double PI = 3.141592653589793;
inline constexpr double TWO_PI = 6.283185307179586;

// A quadratic taxi curve starting at origin; offsets are metres north/east of it.
// The curve is not set while a control offset is NaN.
struct BezierPath {
  LatLon origin;
  double t0 = 0.0;
  double endNorth = 0.0;
  double endEast = 0.0;
  double t1 = 1.0;
  double controlEast = std::numeric_limits<double>::quiet_NaN();
  double controlNorth = std::numeric_limits<double>::quiet_NaN();
};

// Haversine distance in nautical miles; finite for every pair of real positions.
double gf_distanceNm(const LatLon& a, const LatLon& b);

// Initial bearing from `from` to `to`, in [0, 2 pi).
double gf_bearing(const LatLon& from, const LatLon& to);

// The point reached from start along the great circle of the given initial
// bearing after distanceFeet; its longitude lies in (-180, 180].
LatLon gf_destinationPoint(const LatLon& start, double bearing, double distanceFeet);

// The shorter signed turn from a to b (both in [0, 2 pi)), positive towards
// larger angles; exactly opposite angles give +pi when b > a, -pi when a > b.
double gf_angleDifference(double a, double b);

// Position and heading on the curve at parameter t in [t0, t1]. Returns false,
// leaving the outputs untouched, when the curve is not set or t is outside it.
bool gf_bezierPosition(const BezierPath& path, LatLon& position, double& heading, double t);
