#pragma once
// The operations on a stand's learned uses. Every option list belongs to the
// main-loop thread; nothing here locks.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "airports/stand.h"
#include "core/clock.h"
#include "liveries/airline_type.h"

// True when a slot of start, start - 1, ... max(start - offset, 0) is set.
// When none is and the range ran past slot 0, remaining = min(offset - start,
// 46) (the rest to test on the previous day, from slot 47); else -1.
bool testRange(const StandOption& option, std::int32_t start, std::int32_t offset, std::int32_t& remaining);

// A real, live option used by the callsign, or by the airline and type.
bool lf_optionMatches(const std::string& callsign, std::string_view airline, std::string_view type,
                      const StandOption& option);
template <AirlineTypeRecord Record>
bool gf_optionMatches(const std::string& callsign, const Record& aircraft, const StandOption& option) {
  return lf_optionMatches(callsign, gf_airlineOf(aircraft), aircraft.type, option);
}
template <AirlineTypeRecord Record>
bool gf_anyOptionMatches(const std::vector<StandOption>& options, const std::string& callsign, const Record& aircraft) {
  if (callsign.empty()) return false;
  for (const StandOption& option : options)
    if (gf_optionMatches(callsign, aircraft, option)) return true;
  return false;
}

// True when no live option of that day has the slot.
bool gf_slotFreeForDay(const std::vector<StandOption>& options, DaySlot daySlot);

// Appends a new option and returns its id. A slot outside 0..47 raises
// std::out_of_range "invalid bitset position".
std::uint32_t lf_addOption(std::vector<StandOption>& options, std::string_view airline, std::string_view type,
                           std::uint32_t kind, DaySlot daySlot, const std::string& callsign,
                           const std::string& registration);
template <AirlineTypeRecord Record>
std::uint32_t gf_addOption(std::vector<StandOption>& options, const Record& aircraft, std::uint32_t kind,
                           DaySlot daySlot, const std::string& callsign, const std::string& registration) {
  return lf_addOption(options, gf_airlineOf(aircraft), aircraft.type, kind, daySlot, callsign, registration);
}

// Marks the slot (and the callsign) on the live option of that id; false when
// none took it. Errors are logged, never raised.
bool gf_updateOption(std::vector<StandOption>& options, DaySlot daySlot, std::uint32_t id, const std::string& callsign);
bool lf_markOptionSlot(std::uint32_t slot, std::uint32_t id, const std::string& callsign, StandOption& option);

// The first real live option of the day and registration that has the slot or
// a neighbouring one (wrapping within the day); end() when none.
std::vector<StandOption>::iterator gf_findOptionNearSlot(std::vector<StandOption>& options, DaySlot daySlot,
                                                         const std::string& registration);

// "day={} hh={}"
std::string gf_daySlotText(DaySlot daySlot);
