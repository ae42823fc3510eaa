#pragma once
// The identity of one aircraft as live traffic, static parking and the livery
// matching all read it, with its one-line texts. Includes nothing else of
// traffic/, so that the livery and airport code below it may include it.
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/format.h"
#include "liveries/airline_type.h"

// Size category of an aircraft model: 0 Light, 1 Buzjets, 2 Large, 3 Heavy,
// 4 HighPerf, 5 Rotorcraft.
using AircraftCategory = std::uint32_t;

struct ModelKey {
  std::string operatorCode;  // airline or operator, three letters when known
  std::string type;          // ICAO type designator
  std::string origin;
  std::string destination;
  std::string callsign;
  std::string firstCallsign;  // first coupled callsign
  std::string otherCallsign;  // second coupled callsign
  std::string registration;   // at most 12 characters
  bool coupledSearched = false;
};

// Identity plus per-model performance, shared by live and static aircraft.
struct ActBase {
  ActBase() = default;
  // Looks up span and category of the type and takes the category's
  // take-off and landing values, the two pitches varied at random.
  explicit ActBase(ModelKey&& modelKey);

  ModelKey key;
  AircraftCategory category = 2;
  double halfSpan = 0.0;  // nautical miles
  double cgHeight = 0.0;
  double groundPitch = 0.0;
  double rotationPitch = 0.0;  // radians, negative is nose up
  double climbPitch = 0.0;     // radians
  double baseTurnRate = 0.0;   // radians per tick
  double turnRate = 0.0;       // radians per tick
  double maxClimbStep = 0.0;   // feet per tick
  double standSpeed = 0.0;     // knots
  std::string_view liveryTitle;  // owned by the scanned-livery tables
  std::uint32_t hexid = 0;
  std::uint32_t flareTicks = 0;
  std::uint32_t derotationTicks = 0;
  std::uint32_t rotationTicks = 0;
  std::uint32_t pitchUpTicks = 0;
  std::uint8_t cargo = 0;
  std::uint8_t fsltlLivery = 0;  // the matched title contains "FSLTL_"
};

// The text functions are inline: the livery and airport code below this
// library prints aircraft with them too.

// "Light" .. "Rotorcraft"; std::out_of_range outside 0..5.
inline std::string gf_categoryName(AircraftCategory category) {
  static constexpr std::string_view names[] = {"Light", "Buzjets",  "Large",
                                               "Heavy", "HighPerf", "Rotorcraft"};
  if (category >= std::size(names)) throw std::out_of_range("invalid aircraft category");
  return std::string(names[category]);
}

inline std::string lf_routeText(const ModelKey& key) {
  if (key.origin.empty() && key.destination.empty()) return std::string(8, ' ');
  return sk::format("{:3}->{:3}", key.origin, key.destination);
}

inline std::string lf_callsignText(const ModelKey& key) { return sk::format("{:8}", key.callsign); }

inline std::string gf_aircraftNames(const ActBase& aircraft) {
  return sk::format("{} {} {}", lf_callsignText(aircraft.key), aircraft.key.registration,
                    gf_airlineTypeLabel(aircraft.key));
}

inline std::string gf_aircraftDescription(const ActBase& aircraft) {
  const ModelKey& key = aircraft.key;
  return sk::format("{:8} {:8} {} {}", key.callsign, key.registration, lf_routeText(key),
                    gf_airlineTypeLabel(key));
}

inline std::string lf_aircraftKeyText(const ModelKey& key) {
  return sk::format("{} {}", gf_airlineTypeLabel(key), key.registration);
}
