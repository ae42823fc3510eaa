#include "shell/auto_range.h"

#include <cmath>
#include <optional>

#include "airports/park_airports.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "shell/controls.h"
#include "shell/run_state.h"
#include "traffic/user_aircraft.h"

std::atomic<bool> gAutoRangeAtTen{false};
std::atomic<std::int32_t> gManualLateralRange{0};

namespace {

constexpr double kNoParkAirportNm = 10000.0;

std::int32_t lf_rangeFromSituation() {
  if (gUserOnGround.load()) return 10;
  if (gUserAc.altitude > AUTO_RANGE_ABOVE_HEIGHT.value) return 100;
  if (gUserAc.altitude > AIRPORT_HEIGHT.value) return 40;
  std::optional<LatLon> park;
  if (!gParkAirports.empty()) park = LatLon{gParkAirports.front().lat, gParkAirports.front().lon};
  const double distance = park ? gf_distanceNm({gUserAc.latitude, gUserAc.longitude}, *park) : kNoParkAirportNm;
  if (distance <= 7.0) return 10;
  if (distance < 37.0) return static_cast<std::int32_t>(std::lround(distance)) + 3;
  return 40;
}

}  // namespace

void gf_setLateralRange(std::int32_t n) {
  LATERAL_RANGE.value = LATERAL_RANGE.clamped(n);
  gLateralRangeNm.store(static_cast<double>(n));
  gLateralRangeMeters.store(static_cast<std::uint32_t>(static_cast<std::int64_t>(n) * 1852));
}

void gf_autoRange() {
  const std::int32_t old = LATERAL_RANGE.value;
  const std::int32_t range = lf_rangeFromSituation();
  gf_setLateralRange(range);
  if (LATERAL_RANGE.value != old) gf_showIntParameter(LATERAL_RANGE);
  gAutoRangeAtTen.store(AUTO_RANGE.value && range == 10);
}
