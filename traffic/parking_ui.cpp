// The block of the static-parking controls while static parking is worked
// out; a file of its own so the shell's tests may stand in for it.
#include <array>

#include "core/message.h"
#include "core/parameters.h"
#include "shell/app_state.h"
#include "shell/controls.h"
#include "traffic/commands.h"
#include "traffic/engine.h"

std::atomic<std::uint8_t> gParkingUiBlocked{0};

namespace {
// The nine controls static parking owns while it works.
void lf_enableParkingControls(bool enable) {
  for (const ControlBinding* control :
       std::array<const ControlBinding*, 9>{&parking_percentage, &INITIAL_LOAD_ONLY, &PARK_FAKE, &PARK_SOFT,
                                            &CUSTOM_MAX_PARK, &MAX_FIT_FL, &WEEK, &gFlushStaticButton,
                                            &gReReadButton})
    gf_enableControl(*control, enable);
}
}  // namespace

void gf_blockParkingUi() {
  gParkingUiBlocked.exchange(1);
  lf_enableParkingControls(false);
  gf_clearMessage();
  gf_invalidateMain(kStatusRect);
}

void gf_unblockParkingUi() {
  gParkingUiBlocked.store(0);
  gAppState.statusCode.store(19);
  gf_invalidateMain(kStatusRect);
  lf_enableParkingControls(true);
  gf_clearMessage();
  gf_invalidateMain(kStatusRect);
}
