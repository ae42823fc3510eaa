#include "airports/stand_options.h"

#include <algorithm>
#include <stdexcept>

#include "core/format.h"
#include "core/log.h"

namespace {

// A ghost's callsign ends in "_": it is learned under its own aircraft's.
std::string lf_withoutGhostMark(const std::string& callsign) {
  if (!callsign.empty() && callsign.back() == '_') return callsign.substr(0, callsign.size() - 1);
  return callsign;
}

void lf_checkSlot(std::uint32_t slot) {
  if (slot >= 48) throw std::out_of_range("invalid bitset position");
}

bool lf_live(const StandOption& option) { return option.id != 0; }

}  // namespace

bool testRange(const StandOption& option, std::int32_t start, std::int32_t offset, std::int32_t& remaining) {
  remaining = -1;
  try {
    const std::int32_t end = std::max(start - offset, 0);
    for (std::int32_t slot = start; slot >= end; --slot) {
      if (slot < 0 || slot >= 48) throw std::out_of_range("invalid bitset position");
      if (option.slots.test(static_cast<std::size_t>(slot))) return true;
    }
    if (start - offset < 0) remaining = std::min(offset - start, 46);
    return false;
  } catch (const std::exception& error) {
    gf_logLine(sk::format("{}exception {} in testRange, start: {}, offset: {}", "===> ", error.what(), start, offset));
    return false;
  }
}

bool lf_optionMatches(const std::string& callsign, std::string_view airline, std::string_view type,
                      const StandOption& option) {
  if (!lf_live(option) || option.kind != OPTION_REAL) return false;
  if (callsign == option.firstCallsign || callsign == option.secondCallsign) return true;
  return airline == option.operatorCode && type == option.type;
}

bool gf_slotFreeForDay(const std::vector<StandOption>& options, DaySlot daySlot) {
  const std::uint32_t day = gf_weekdayOf(daySlot);
  const std::uint32_t slot = gf_slotOf(daySlot);
  for (const StandOption& option : options) {
    if (!lf_live(option) || option.day != day) continue;
    lf_checkSlot(slot);
    if (option.slots.test(slot)) return false;
  }
  return true;
}

std::uint32_t lf_addOption(std::vector<StandOption>& options, std::string_view airline, std::string_view type,
                           std::uint32_t kind, DaySlot daySlot, const std::string& callsign,
                           const std::string& registration) {
  const std::string trimmed = lf_withoutGhostMark(callsign);
  const std::uint32_t slot = gf_slotOf(daySlot);
  lf_checkSlot(slot);
  while (!options.empty() && !lf_live(options.back())) options.pop_back();
  const std::uint32_t id = options.empty() ? 1 : options.back().id + 1;
  StandOption option;
  if (!gf_dbaseAirlineType(registration, option.operatorCode, option.type)) {
    option.operatorCode = airline;
    option.type = type;
  }
  option.registration = registration;
  option.firstCallsign = trimmed;
  option.slots.set(slot);
  option.id = id;
  option.day = gf_weekdayOf(daySlot);
  option.archived = 0;
  option.kind = kind;
  options.push_back(std::move(option));
  return id;
}

bool lf_markOptionSlot(std::uint32_t slot, std::uint32_t id, const std::string& callsign, StandOption& option) {
  if (!lf_live(option) || option.id != id) return false;
  lf_checkSlot(slot);
  option.slots.set(slot);
  if (callsign.empty()) return true;
  if (option.firstCallsign.empty()) {
    option.firstCallsign = callsign;
  } else if (callsign != option.firstCallsign && callsign != option.secondCallsign) {
    option.secondCallsign = callsign;
  }
  return true;
}

bool gf_updateOption(std::vector<StandOption>& options, DaySlot daySlot, std::uint32_t id, const std::string& callsign) {
  try {
    const std::string trimmed = lf_withoutGhostMark(callsign);
    for (StandOption& option : options)
      if (lf_markOptionSlot(gf_slotOf(daySlot), id, trimmed, option)) return true;
    return false;
  } catch (const std::exception& error) {
    gf_log(sk::format("Update Option exception {} {}", gf_daySlotText(daySlot), error.what()));
    return false;
  }
}

std::vector<StandOption>::iterator gf_findOptionNearSlot(std::vector<StandOption>& options, DaySlot daySlot,
                                                         const std::string& registration) {
  const std::uint32_t day = gf_weekdayOf(daySlot);
  const std::uint32_t slot = gf_slotOf(daySlot);
  lf_checkSlot(slot);
  const std::uint32_t before = slot == 0 ? 47 : slot - 1;
  const std::uint32_t after = slot == 47 ? 0 : slot + 1;
  return std::find_if(options.begin(), options.end(), [&](const StandOption& option) {
    return lf_live(option) && option.day == day && option.kind == OPTION_REAL && option.registration == registration &&
           (option.slots.test(slot) || option.slots.test(before) || option.slots.test(after));
  });
}

std::string gf_daySlotText(DaySlot daySlot) {
  return sk::format("day={} hh={}", gf_weekdayOf(daySlot), gf_slotOf(daySlot));
}
