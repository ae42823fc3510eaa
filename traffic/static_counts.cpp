// The count and mean stay of the static parked aircraft for the status area,
// in a unit of its own so that a test program may stand it in.
#include <gsl/narrow>

#include "core/clock.h"
#include "core/parameters.h"
#include "shell/app_state.h"
#include "traffic/engine.h"
#include "traffic/static_parked.h"

std::int32_t gf_countStaticAtSlot(bool withMeanStay) {
  const DaySlot now = gf_currentSlot();
  std::int64_t count = 0;
  std::int64_t sum = 0;
  for (const StaticAct& aircraft : gStaticActs) {
    if (aircraft.state != ACT_PRESENT && aircraft.state != ACT_REMOVAL_REQUESTED) continue;
    ++count;
    sum += gf_halfHoursParked(aircraft.arrivalSlot, now);
  }
  const auto counted = gsl::narrow<std::int32_t>(count);
  if (withMeanStay && !WEEK.value) {
    const float mean = count == 0 ? 0.0F : static_cast<float>(sum) / (2.0F * static_cast<float>(count)) + 0.5F;
    if (gAppState.staticAverageFit.exchange(mean) != mean) gf_invalidateMain(kParkingRect);
  }
  return counted;
}
