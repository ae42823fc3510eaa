#include "traffic/stand_handover.h"

#include <mutex>

#include "shell/run_state.h"
#include "traffic/user_aircraft.h"

namespace {

struct Handover {
  bool pending = false;
  double latitude = 0.0;
  double longitude = 0.0;
  double groundSpeed = 0.0;
  bool stateKnown = false;
};

std::mutex gHandoverMutex;
Handover gHandover;

}  // namespace

void gf_recordUserStandHandover() {
  UserAc latest = gf_latestUserAc();
  std::lock_guard lock(gHandoverMutex);
  gHandover = {true, latest.latitude, latest.longitude, latest.groundSpeed, gUserStateKnown.load()};
}
