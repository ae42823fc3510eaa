#include "traffic/stand_learning.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "airports/learned_save.h"
#include "airports/stand_options.h"
#include "core/format.h"
#include "core/geometry.h"
#include "core/log.h"
#include "shell/app_state.h"
#include "shell/run_state.h"
#include "traffic/act_base.h"

std::vector<std::pair<std::uint32_t, std::uint32_t>> gLiveLearningList;

namespace {

constexpr std::uint32_t kHalfHours = 48;
constexpr std::uint32_t kLongestGap = 5;     // half-hours between two counts that still make one visit
constexpr std::uint32_t kTeachingPause = 3;  // half-hours before an aircraft teaches again
constexpr double kStandNameRadius = 55.0 * NM_PER_METRE;

// The last position gf_standNameAt was asked for and its answer.
struct StandNameCache {
  bool valid = false;
  double latitude = 0.0;
  double longitude = 0.0;
  std::string name;
};
StandNameCache gStandNameCache;

// The stand of that id (its 1-based place in gStands); null for none.
Stand* lf_stand(std::uint32_t standId) {
  return standId == 0 || standId > gStands.size() ? nullptr : &gStands[standId - 1];
}

constexpr std::uint32_t lf_previousWeekday(std::uint32_t weekday) { return weekday <= 1 ? 7 : weekday - 1; }

// The count - 1 half-hours before the slot, earliest first, going back across
// midnight into the previous weekday.
std::vector<DaySlot> lf_slotsBefore(DaySlot slot, std::uint32_t count) {
  std::vector<DaySlot> before;
  std::uint32_t weekday = gf_weekdayOf(slot);
  std::uint32_t halfHour = gf_slotOf(slot);
  for (std::uint32_t i = 1; i < count; ++i) {
    if (halfHour == 0) {
      halfHour = kHalfHours - 1;
      weekday = lf_previousWeekday(weekday);
    } else {
      --halfHour;
    }
    before.push_back(gf_makeDaySlot(weekday, halfHour));
  }
  std::reverse(before.begin(), before.end());
  return before;
}

// A later count of a visit at a new slot: up to five half-hours on it fills
// the gap (across midnight the earlier part into the entry's option of the
// previous weekday); a longer gap starts the visit again at this slot, so
// that the next counts of the stay still fill theirs.
void lf_countVisit(DaySlot slot, const ActBase& aircraft, const Stand& stand, std::uint32_t optionId,
                   StandVisit& visit) {
  const std::uint32_t weekday = gf_weekdayOf(slot);
  const std::uint32_t halfHour = gf_slotOf(slot);
  const std::uint32_t entryWeekday = gf_weekdayOf(visit.slot);
  const std::uint32_t entryHalfHour = gf_slotOf(visit.slot);
  for (std::uint32_t k = 1; k <= kLongestGap; ++k) {
    if (entryWeekday == weekday && (entryHalfHour + k) % kHalfHours == halfHour) {
      lf_markSlots(slot, aircraft, k, stand.index, optionId);
      break;
    }
    if (entryWeekday == lf_previousWeekday(weekday) && halfHour + kHalfHours - entryHalfHour == k) {
      lf_markSlotsBack(slot, aircraft, true, optionId, k, stand.index, visit.optionId);
      break;
    }
  }
  visit = StandVisit{slot, optionId};
}

// Both kinds of learning: real options with the real-visit map and leaving;
// soft ones with the soft-visit map, which only a counting call touches.
std::uint8_t lf_addOptionOfKind(std::uint32_t kind, std::uint32_t standId, const ActBase& aircraft,
                                std::uint8_t counting, DaySlot slot, std::uint8_t leaving) {
  const bool real = kind == OPTION_REAL;
  const ModelKey& key = aircraft.key;
  bool changed = false;
  try {
    if (gStands.empty() || key.registration.empty() || key.callsign.empty()) return 0;
    Stand* stand = lf_stand(standId);
    if (stand == nullptr) return 0;
    auto& visits = real ? stand->realVisits : stand->softVisits;
    auto found = std::find_if(stand->options.begin(), stand->options.end(), [&](const StandOption& option) {
      return option.id != 0 && option.day == gf_weekdayOf(slot) && option.registration == key.registration &&
             option.kind == kind;
    });
    if (found == stand->options.end()) {
      const std::uint32_t id = gf_addOption(stand->options, key, kind, slot, key.callsign, key.registration);
      changed = true;
      if (leaving == 0 && (real || counting != 0)) visits[aircraft.hexid] = StandVisit{slot, id};
    } else if (found->slots.test(gf_slotOf(slot)) || (!real && found->archived != 0)) {
      if (leaving != 0) visits.erase(aircraft.hexid);
      return 0;
    } else if (found->archived != 0) {
      return 0;
    } else {
      const std::uint32_t optionId = found->id;
      found->slots.set(gf_slotOf(slot));
      changed = true;
      if (counting != 0) {
        auto entry = visits.find(aircraft.hexid);
        if (entry == visits.end()) {
          if (leaving == 0) visits.emplace(aircraft.hexid, StandVisit{slot, optionId});
        } else if (entry->second.slot != slot) {
          lf_countVisit(slot, aircraft, *stand, optionId, entry->second);
        }
      }
      if (leaving != 0) visits.erase(aircraft.hexid);
    }
  } catch (const std::exception& error) {
    gf_log(sk::format("Add {} option exception, hh_now: {}, {}", real ? "real" : "soft", gf_slotOf(slot),
                      error.what()));
    if (!changed) return 0;
  }
  gf_noteStandUpdate();
  return 1;
}

// Marks the slots in the option of that id, earliest first, until one is not taken.
void lf_markEach(const std::vector<DaySlot>& slots, Stand& stand, std::uint32_t optionId, const std::string& callsign) {
  for (DaySlot slot : slots)
    if (!gf_updateOption(stand.options, slot, optionId, callsign)) return;
}

}  // namespace

std::uint8_t lf_addRealOption(std::uint32_t standId, const ActBase& aircraft, std::uint8_t counting, DaySlot slot,
                              std::uint8_t leaving) {
  return lf_addOptionOfKind(OPTION_REAL, standId, aircraft, counting, slot, leaving);
}

std::uint8_t lf_addSoftOption(std::uint32_t standId, const ActBase& aircraft, std::uint8_t counting, DaySlot slot) {
  return lf_addOptionOfKind(OPTION_SOFT, standId, aircraft, counting, slot, 0);
}

void lf_markSlots(DaySlot slot, const ActBase& aircraft, std::uint32_t count, std::uint32_t standId,
                  std::uint32_t optionId) {
  Stand* stand = lf_stand(standId);
  if (stand == nullptr) return;
  std::vector<DaySlot> slots = lf_slotsBefore(slot, count);
  slots.push_back(slot);
  lf_markEach(slots, *stand, optionId, aircraft.key.callsign);
}

void lf_markSlotsBack(DaySlot slot, const ActBase& aircraft, bool crossing, std::uint32_t newOptionId,
                      std::uint32_t count, std::uint32_t standId, std::uint32_t optionId) {
  Stand* stand = lf_stand(standId);
  if (stand == nullptr) return;
  const std::vector<DaySlot> before = lf_slotsBefore(slot, count);
  // The half-hours up to 47 belong to the evening's option, the rest to the new day's.
  auto midnight = crossing ? std::find_if(before.begin(), before.end(),
                                          [](DaySlot s) { return gf_slotOf(s) == kHalfHours - 1; })
                           : before.end();
  if (midnight != before.end()) ++midnight;
  for (auto it = before.begin(); it != midnight; ++it)
    if (!gf_updateOption(stand->options, *it, optionId, std::string())) return;
  lf_markEach(std::vector<DaySlot>(midnight, before.end()), *stand, newOptionId, aircraft.key.callsign);
}

bool gf_recordLearnedSlot(DaySlot slot, std::uint32_t hexid, bool force) {
  const std::uint32_t halfHour = gf_slotOf(slot);
  for (auto& [learnedHexid, learnedHalfHour] : gLiveLearningList) {
    if (learnedHexid != hexid) continue;
    if (!force && (halfHour + kHalfHours - learnedHalfHour) % kHalfHours < kTeachingPause) return false;
    learnedHalfHour = halfHour;
    return true;
  }
  gLiveLearningList.emplace_back(hexid, halfHour);
  return true;
}

void gf_noteStandUpdate() {
  const std::int32_t count = gStandUpdateCount.fetch_add(1) + 1;
  if (gAppState.updateCount.exchange(count) != count) gf_invalidateMain(kParkingRect);
}

std::vector<Stand>::iterator gf_findStand(const std::string& name) {
  return std::find_if(gStands.begin(), gStands.end(), [&](const Stand& stand) { return stand.name == name; });
}

void gf_markOptionStands(Stand& stand) {
  stand.taken = true;
  for (std::uint32_t index : stand.adjacent)
    if (Stand* next = lf_stand(index)) next->nextToTaken = true;
}

std::string gf_nearestStandName(double latitude, double longitude) {
  if (gStands.empty() || !gUserOnGround.load()) return {};
  if (gStandNameCache.valid && gStandNameCache.latitude == latitude && gStandNameCache.longitude == longitude)
    return gStandNameCache.name;
  const LatLon position{latitude, longitude};
  double nearest = std::numeric_limits<double>::max();
  const Stand* found = nullptr;
  for (const Stand& stand : gStands) {
    const double distance = gf_distanceNm(position, {stand.latitude, stand.longitude});
    if (distance <= kStandNameRadius && distance < nearest) {
      nearest = distance;
      found = &stand;
    }
  }
  gStandNameCache = StandNameCache{true, latitude, longitude, found != nullptr ? found->name : std::string()};
  return gStandNameCache.name;
}

void gf_clearStandLearning() {
  gStandNameCache = StandNameCache{};
  gLiveLearningList.clear();
}
