#include "core/geometry.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr double FEET_PER_NM = 6076.115;
constexpr double HALF_CIRCUMFERENCE_NM = 180.0 * 60.0;

}  // namespace

TEST(Geometry, DistanceIsOneNauticalMilePerMinuteOfArc) {
  EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 1}), 60.0, 1e-9);
  EXPECT_NEAR(gf_distanceNm({0, 0}, {1, 0}), 60.0, 1e-9);
  EXPECT_EQ(gf_distanceNm({47.5, 8.5}, {47.5, 8.5}), 0.0);
  const LatLon zurich{47.4647, 8.5492}, lisbon{38.7813, -9.1359};
  EXPECT_DOUBLE_EQ(gf_distanceNm(zurich, lisbon), gf_distanceNm(lisbon, zurich));
  EXPECT_NEAR(gf_distanceNm(zurich, lisbon), 930.0, 10.0);
  // Across the antimeridian the short way is taken.
  EXPECT_NEAR(gf_distanceNm({0, 179.5}, {0, -179.5}), 60.0, 1e-9);
}

TEST(Geometry, AntipodalPointsGiveFiniteHalfCircumference) {
  EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 180}), HALF_CIRCUMFERENCE_NM, 1e-6);
  EXPECT_NEAR(gf_distanceNm({-87.5, -180}, {87.5, 0}), HALF_CIRCUMFERENCE_NM, 1e-6);
  // A garbled latitude from the feed: here the rounded haversine term is 1 + 2 ulp,
  // whose square root exceeds 1.
  const double d =
      gf_distanceNm({137.27278411785181, -351.60806317764815}, {-137.27278411785178, -171.60806317764815});
  ASSERT_TRUE(std::isfinite(d));
  EXPECT_NEAR(d, HALF_CIRCUMFERENCE_NM, 1e-6);
}

TEST(Geometry, BearingsToTheFourQuarters) {
  EXPECT_NEAR(gf_bearing({0, 0}, {1, 0}), 0.0, 1e-12);
  EXPECT_NEAR(gf_bearing({0, 0}, {0, 1}), PI / 2, 1e-12);
  EXPECT_NEAR(gf_bearing({0, 0}, {-1, 0}), PI, 1e-12);
  EXPECT_NEAR(gf_bearing({0, 0}, {0, -1}), 3 * PI / 2, 1e-12);
  // Just west of north stays below 2 pi rather than going negative.
  const double nearlyNorth = gf_bearing({0, 0}, {1, -1e-9});
  EXPECT_GT(nearlyNorth, 3 * PI / 2);
  EXPECT_LT(nearlyNorth, TWO_PI);
}

TEST(Geometry, DestinationWrapsAcrossTheAntimeridian) {
  const LatLon east = gf_destinationPoint({0, 179.9}, PI / 2, 20 * FEET_PER_NM);
  EXPECT_NEAR(east.lat, 0.0, 1e-9);
  EXPECT_NEAR(east.lon, -179.7667, 1e-3);
  const LatLon west = gf_destinationPoint({0, -179.9}, 3 * PI / 2, 20 * FEET_PER_NM);
  EXPECT_NEAR(west.lon, 179.7667, 1e-3);

  const LatLon same = gf_destinationPoint({12.5, 190.0}, 1.0, 0.0);
  EXPECT_NEAR(same.lat, 12.5, 1e-12);
  EXPECT_NEAR(same.lon, -170.0, 1e-9);
}

TEST(Geometry, DestinationAgreesWithDistanceAndBearing) {
  const LatLon start{51.47, -0.4543};
  for (double bearing : {0.3, 2.0, 4.0, 6.0}) {
    const LatLon end = gf_destinationPoint(start, bearing, 150 * FEET_PER_NM);
    // The feet-to-arc constant is rounded slightly differently from the distance factor.
    EXPECT_NEAR(gf_distanceNm(start, end), 150.0, 1e-4) << bearing;
    EXPECT_NEAR(gf_bearing(start, end), bearing, 1e-9) << bearing;
  }
}

TEST(Geometry, AngleDifferenceTakesTheShorterTurn) {
  EXPECT_NEAR(gf_angleDifference(0.1, 6.2), 6.1 - TWO_PI, 1e-12);
  EXPECT_NEAR(gf_angleDifference(6.2, 0.1), TWO_PI - 6.1, 1e-12);
  EXPECT_NEAR(gf_angleDifference(1.0, 2.5), 1.5, 1e-12);
  EXPECT_NEAR(gf_angleDifference(2.5, 1.0), -1.5, 1e-12);
  EXPECT_EQ(gf_angleDifference(3.0, 3.0), 0.0);
  // Exactly opposite: the sign follows the order of the arguments.
  EXPECT_EQ(gf_angleDifference(0.0, PI), PI);
  EXPECT_EQ(gf_angleDifference(PI, 0.0), -PI);
}

TEST(Geometry, BezierRunsFromOriginAlongControlLegToEnd) {
  // North to the control point, then east to the end.
  const BezierPath path{.origin = {10.0, 20.0}, .t0 = 2.0, .endNorth = 100.0, .endEast = 100.0, .t1 = 4.0,
                        .controlEast = 0.0, .controlNorth = 100.0};

  LatLon position;
  double heading = -1;
  ASSERT_TRUE(gf_bezierPosition(path, position, heading, 2.0));
  EXPECT_DOUBLE_EQ(position.lat, 10.0);
  EXPECT_DOUBLE_EQ(position.lon, 20.0);
  EXPECT_NEAR(heading, 0.0, 1e-12);  // north, towards the control point

  ASSERT_TRUE(gf_bezierPosition(path, position, heading, 4.0));
  const double metresPerDegreeLat = 111132.95;
  EXPECT_NEAR(position.lat, 10.0 + 100.0 / metresPerDegreeLat, 1e-12);
  EXPECT_NEAR(position.lon, 20.0 + 100.0 / (std::cos(10.0 * DEG_TO_RAD) * metresPerDegreeLat), 1e-12);
  EXPECT_NEAR(heading, PI / 2, 1e-12);  // east, along the final leg

  ASSERT_TRUE(gf_bezierPosition(path, position, heading, 3.0));
  EXPECT_NEAR(heading, PI / 4, 1e-12);
}

TEST(Geometry, BezierRefusesUnsetCurveAndParametersOutsideItsWindow) {
  BezierPath path{.origin = {}, .endNorth = 20.0, .controlNorth = 10.0};
  const LatLon untouched{1.0, 2.0};
  LatLon position = untouched;
  double heading = 7.0;

  EXPECT_FALSE(gf_bezierPosition(path, position, heading, -0.01));
  EXPECT_FALSE(gf_bezierPosition(path, position, heading, 1.01));
  EXPECT_FALSE(gf_bezierPosition(path, position, heading, 0.5));  // east control still NaN
  path.controlEast = 0.0;
  path.t0 = path.t1 = 0.5;  // an empty window gives no parameter
  EXPECT_FALSE(gf_bezierPosition(path, position, heading, 0.5));
  EXPECT_EQ(position.lat, untouched.lat);
  EXPECT_EQ(position.lon, untouched.lon);
  EXPECT_EQ(heading, 7.0);
}

TEST(Geometry, BezierLongitudeWrapsAcrossTheAntimeridian) {
  const BezierPath path{.origin = {0.0, 179.9995}, .endEast = 200.0, .controlEast = 50.0, .controlNorth = 0.0};
  LatLon position;
  double heading;
  ASSERT_TRUE(gf_bezierPosition(path, position, heading, 1.0));
  EXPECT_NEAR(position.lon, 179.9995 + 200.0 / 111132.95 - 360.0, 1e-9);
  EXPECT_GT(position.lon, -180.0);
  EXPECT_NEAR(heading, PI / 2, 1e-12);
}
