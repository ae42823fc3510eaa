// The live-aircraft limit and the window's lookups over gActs.
#include <algorithm>
#include <optional>

#include "airports/stand.h"
#include "core/file_save.h"
#include "core/format.h"
#include "core/geometry.h"
#include "core/message.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "shell/app_state.h"
#include "traffic/engine.h"
#include "traffic/user_aircraft.h"

std::atomic<std::uint32_t> gSelectedObjectId{0};

namespace {
// The user aircraft must be this much farther than the best so far to win,
// so the first of two nearly equal aircraft is the one removed.
constexpr double kFartherMarginNm = 0.1;

void lf_showObjectIdText(const std::string& text) {
  gAppState.objectIdText.set(text);
  gf_invalidateMain(kSettingsRect);
}
}  // namespace

Stand* gf_standById(std::uint32_t standId) {
  if (standId == 0 || standId > gStands.size()) return nullptr;
  return &gStands[standId - 1];
}

std::string gf_standLabel(std::uint32_t standId) {
  if (standId == 0) return "sid==0?";
  const Stand* stand = gf_standById(standId);
  return stand ? stand->name : "unknown";
}

void gf_clearObjectSelection() {
  gSelectedObjectId.store(0);
  lf_showObjectIdText("");
  if (!CALLSIGN_2_OBJECTID.value().empty()) {
    CALLSIGN_2_OBJECTID.setValue("");
    if (auto show = gf_parameterControlHooks().showText) show(CALLSIGN_2_OBJECTID);
  }
}

bool lf_removeFarthest(double minDistance) {
  double best = minDistance;
  std::optional<std::uint32_t> candidate;
  const LatLon user{gUserAc.latitude, gUserAc.longitude};
  for (const Act& aircraft : gActs) {
    if (aircraft.state != ACT_PRESENT) continue;
    const double d = gf_distanceNm(user, {aircraft.pose.latitude, aircraft.pose.longitude});
    if (d > best + kFartherMarginNm) {
      candidate = aircraft.hexid;
      best = d;
    }
  }
  if (!candidate) return true;
  gf_removeAct(*gf_findAct(*candidate));
  return false;
}

void gf_trimLiveToMax() {
  const std::int32_t limit = MAX_LIVE.value;
  if (limit == MAX_LIVE.defaultValue) return;
  const auto present = std::count_if(gActs.begin(), gActs.end(),
                                     [](const Act& aircraft) { return aircraft.state == ACT_PRESENT; });
  for (auto excess = present - limit; excess > 0; --excess) lf_removeFarthest(-1.0);
}

void gf_findCallsign() {
  const std::string callsign = CALLSIGN_2_OBJECTID.value();
  const auto match = std::find_if(gActs.begin(), gActs.end(), [&](const Act& aircraft) {
    return aircraft.key.callsign == callsign && aircraft.state == ACT_PRESENT;
  });
  if (match == gActs.end()) {
    lf_showObjectIdText("");
    gf_showMessage(sk::format("callsign \"{}\" is unknown", callsign), true);
    return;
  }
  gSelectedObjectId.store(match->objectId);
  lf_showObjectIdText(sk::format("= {}", match->objectId));
}

void gf_listParked() {
  std::vector<std::string> lines;
  for (const Act& aircraft : gActs) {
    if (aircraft.state != ACT_PRESENT) continue;
    std::string stand;
    if (aircraft.phase == PHASE_PARKED) {
      stand = sk::format("Parked at {}", gf_standLabel(aircraft.standId));
    }
    lines.push_back(sk::format("{} {:9} {} {}: {} {}", aircraft.onGround ? "Gnd" : "Air", aircraft.key.callsign,
                               aircraft.key.operatorCode, aircraft.key.type, aircraft.objectId, stand));
  }
  std::sort(lines.begin(), lines.end());
  std::string content;
  for (const std::string& line : lines) content += line + '\n';
  gf_replaceFile(Callsign2ObjectIdPath, content);
}

void gf_removeBlockedCallsign(const std::string& callsign) {
  std::lock_guard guard(gEngineMutex);
  const auto found = std::find_if(gActs.begin(), gActs.end(), [&](const Act& aircraft) {
    return aircraft.key.callsign == callsign && aircraft.state == ACT_PRESENT;
  });
  if (found != gActs.end()) gf_removeAct(*found);
}
