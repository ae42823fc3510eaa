#pragma once
// One installed AI livery as the livery scan finds it in an aircraft.cfg
// section, and as LiveriesScanned.xml stores it.
#include <string>
#include <string_view>

// The airline code of a livery that belongs to no airline in particular.
inline constexpr std::string_view kGenericAirline = "ZZZ";

struct LiveryData {
  std::string airl;   // ICAO airline code, "ZZZ" generic, "PVT" private
  std::string type;   // model code
  std::string title;  // exactly as the simulator knows the aircraft
  std::string atcid;  // registration, empty when none
  int priority = 0;   // livery folder it was found in (1..10); 0 when read back from the file
  bool cargo = false;
};

// Equal in everything but the folder priority; strings compare by length first,
// which settles most unequal titles without reading them.
inline bool lf_liveryEquals(const LiveryData& a, const LiveryData& b) {
  return a.title == b.title && a.airl == b.airl && a.type == b.type && a.atcid == b.atcid &&
         a.cargo == b.cargo;
}
