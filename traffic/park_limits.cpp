// Limits at the park airport: live and static parked aircraft within the
// wanted number and their stay times, the reserved stand kept clear, and the
// counts of live aircraft for the status area.
#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

#include <gsl/narrow>

#include "airports/stand.h"
#include "airports/static_parking.h"
#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "shell/app_state.h"
#include "traffic/arbitration.h"
#include "traffic/engine.h"
#include "traffic/live_stayers.h"
#include "traffic/stand_learning.h"
#include "traffic/static_parked.h"

namespace {

constexpr std::uint64_t kSteadyPerSecond = 10'000'000;  // 100 ns units
constexpr std::int64_t kHeavyStayMinutes = 180;
constexpr std::int64_t kOtherStayMinutes = 90;
constexpr AircraftCategory kHeavy = 3;

bool lf_parkedLive(const Act& aircraft) { return aircraft.phase == PHASE_PARKED && aircraft.state == ACT_PRESENT; }

std::int64_t lf_secondsParked(const Act& aircraft, std::uint64_t now) {
  return now > aircraft.parkedSince ? static_cast<std::int64_t>((now - aircraft.parkedSince) / kSteadyPerSecond) : 0;
}

// (hexid, seconds parked) of the live parked aircraft, longest parked first;
// equal times keep the order of gActs.
std::vector<std::pair<std::uint32_t, std::int64_t>> lf_longestParkedFirst() {
  const std::uint64_t now = gf_steadyNow();
  std::vector<std::pair<std::uint32_t, std::int64_t>> parked;
  for (const Act& aircraft : gActs)
    if (lf_parkedLive(aircraft)) parked.emplace_back(aircraft.hexid, lf_secondsParked(aircraft, now));
  std::stable_sort(parked.begin(), parked.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  return parked;
}

}  // namespace

std::int32_t gf_countLivePresent() {
  return gsl::narrow<std::int32_t>(std::count_if(gActs.begin(), gActs.end(), [](const Act& aircraft) {
    return aircraft.state == ACT_PRESENT && aircraft.phase != PHASE_PARKED;
  }));
}

std::int32_t gf_countLiveParkedAtSlot(bool updateStatus) {
  const DaySlot now = gf_currentSlot();
  std::int64_t count = 0;
  std::int64_t sum = 0;
  for (const Act& aircraft : gActs) {
    if (!lf_parkedLive(aircraft)) continue;
    ++count;
    sum += gf_halfHoursParked(aircraft.arrivalSlot, now);
  }
  if (updateStatus) {
    // No parked aircraft shows 0, not the quotient of nothing.
    const float average = count < 1 ? 0.0F : static_cast<float>(sum) / (2.0F * static_cast<float>(count)) + 0.5F;
    if (gAppState.liveAverageFit.exchange(average) != average) gf_invalidateMain(kParkingRect);
  }
  return gsl::narrow<std::int32_t>(count);
}

void gf_collectLiveStayers() {
  std::lock_guard guard(gEngineMutex);
  const std::uint64_t now = gf_steadyNow();
  for (Act& aircraft : gActs) {
    if (!lf_parkedLive(aircraft)) continue;
    std::int64_t minutes = 0;
    if (!aircraft.reporting) {
      minutes = lf_secondsParked(aircraft, now) / 60;
      const std::int64_t limit = aircraft.category == kHeavy ? kHeavyStayMinutes : kOtherStayMinutes;
      if (!INITIAL_LOAD_ONLY.value && minutes > limit) {
        gf_removeAct(aircraft);
        continue;
      }
    }
    gLiveStayers.push_back({aircraft.key.callsign, aircraft.standId, gsl::narrow<std::int32_t>(minutes)});
  }
  std::stable_sort(gLiveStayers.begin(), gLiveStayers.end(),
                   [](const LiveStayer& a, const LiveStayer& b) { return a.minutesParked < b.minutesParked; });
}

void gf_removeLongestParked(std::int64_t count) {
  if (count < 1) return;
  std::lock_guard guard(gEngineMutex);
  const auto parked = lf_longestParkedFirst();
  std::unordered_set<std::uint32_t> chosen;
  for (std::size_t i = 0; i < parked.size() && std::cmp_less(i, count); ++i) chosen.insert(parked[i].first);
  for (Act& aircraft : gActs) {
    if (!chosen.contains(aircraft.hexid)) continue;
    gf_log(sk::format("live parked {} at {} removed", gf_aircraftDescription(aircraft), gf_standLabel(aircraft.standId)));
    gf_removeAct(aircraft);
  }
}

void gf_enforceParkMax(std::int32_t extra) {
  std::lock_guard guard(gEngineMutex);
  const std::int64_t live = std::count_if(gActs.begin(), gActs.end(), lf_parkedLive);
  const std::int64_t wanted = gAppState.maxPark.load();
  if (!INITIAL_LOAD_ONLY.value && wanted >= 1 && live + extra > wanted) {
    const auto parked = lf_longestParkedFirst();
    if (Act* longest = parked.empty() ? nullptr : gf_findAct(parked.front().first)) {
      gf_log(sk::format("{:}: {:8} max park exceeded, removed", gf_standLabel(longest->standId), longest->key.callsign));
      gf_removeAct(*longest);
    }
  }
  const std::int64_t statics = std::count_if(gStaticActs.begin(), gStaticActs.end(), [](const StaticAct& aircraft) {
    return aircraft.state == ACT_PRESENT || aircraft.state == ACT_REMOVAL_REQUESTED;
  });
  if (statics < 1 || statics + live + extra <= wanted) return;
  // The earliest arrival by its age within the week: days compared around the
  // week, so any pair of arrivals orders the same way whatever the weekday.
  const DaySlot now = gf_currentSlot();
  StaticAct* earliest = nullptr;
  std::int64_t oldest = -1;
  for (StaticAct& aircraft : gStaticActs) {
    const std::int64_t age = gf_slotAge(aircraft.arrivalSlot, now);
    if (age > oldest) {
      oldest = age;
      earliest = &aircraft;
    }
  }
  if (earliest && earliest->state == ACT_PRESENT) gf_removeAct(*earliest);
}

void gf_freeReservedStand() {
  std::lock_guard guard(gEngineMutex);
  const auto stand = gf_findStand(gAppState.reservedStand.get());
  if (stand == gStands.end()) return;
  for (StaticAct& aircraft : gStaticActs) {
    if (aircraft.standId != stand->index || aircraft.state != ACT_PRESENT) continue;
    gf_removeAct(aircraft);
    return;
  }
  for (Act& aircraft : gActs) {
    if (aircraft.standId != stand->index || !lf_parkedLive(aircraft)) continue;
    gf_removeAct(aircraft);
    return;
  }
}
