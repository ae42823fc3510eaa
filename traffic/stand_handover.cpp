#include "traffic/stand_handover.h"

#include <mutex>

#include "airports/apf_loading.h"
#include "airports/park_airports.h"
#include "shell/run_state.h"
#include "traffic/stand_learning.h"
#include "traffic/user_aircraft.h"

namespace {

struct Handover {
  bool pending = false;
  double latitude = 0.0;
  double longitude = 0.0;
  double groundSpeed = 0.0;
  bool stateKnown = false;
};

constexpr double kStandStillKnots = 2.0;

std::mutex gHandoverMutex;
Handover gHandover;

void lf_recordHandover(bool keepPending) {
  UserAc latest = gf_latestUserAc();
  std::lock_guard lock(gHandoverMutex);
  if (keepPending && gHandover.pending) return;
  gHandover = {true, latest.latitude, latest.longitude, latest.groundSpeed, gUserStateKnown.load()};
}

}  // namespace

void gf_recordUserStandHandover() { lf_recordHandover(false); }

void gf_recordLinkEndHandover() { lf_recordHandover(true); }

void gf_takeUserStandHandover() {
  Handover seen;
  {
    std::lock_guard lock(gHandoverMutex);
    if (!gHandover.pending) return;
    seen = gHandover;
    gHandover.pending = false;
  }
  if (!seen.stateKnown || seen.groundSpeed > kStandStillKnots) return;
  std::string stand = gf_standNameAt(seen.latitude, seen.longitude);
  if (stand.empty() || gParkAirports.empty()) return;
  ParkAirport& first = gParkAirports.front();
  if (first.icao != gParkAirportCode || first.reservedStand == stand) return;
  first.reservedStand = stand;
  gf_saveMyParkAirport();
}
