// The reader lights and the QNH belong to the UDP readers; the status area
// draws its own copies, refreshed whenever the readers report a change.
#include "shell/app_state.h"
#include "shell/status_area.h"
#include "traffic/readers.h"

namespace {

void lf_copyReaderState() {
  gAppState.trafficReaderStatus.store(gTrafficReaderStatus.load());
  gAppState.qnhReaderStatus.store(gQnhReaderStatus.load());
  gAppState.qnh.store(gQnh.load());
  gf_invalidateMain(kStatusRect);
}

}  // namespace

void gf_followReaderLights() {
  lf_copyReaderState();
  gf_setReaderRepaintHook(&lf_copyReaderState);
}
