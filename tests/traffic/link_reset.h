#pragma once
// Puts the engine's link and containers back as a new run finds them, for the
// tests and the scenario bed that drive them on the test thread.
#include "platform/simconnect.h"
#include "shell/run_state.h"
#include "traffic/creation_failures.h"
#include "traffic/engine.h"
#include "traffic/sim_connection.h"
#include "traffic/update_queue.h"

namespace testing_traffic {

inline void resetSimLink() {
  gf_stopSimconnect();
  gf_resetSimConnection();
  gf_reserveSimQueues();
  gExitStarted = false;
  gStopRequested = false;
  gSecondTick = false;
  gf_setSimConnectAddress("");
}

inline void resetEngine() {
  gActs.clear();
  gf_rebuildActIndex();
  gf_resetTraffic();
  gf_forgetCreationRefusals();
  gSimRequestsPaused = false;
  gTick = 0;
}

}  // namespace testing_traffic
