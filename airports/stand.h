#pragma once
// A stand of an airport and the learned uses of it.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/clock.h"  // DaySlot
#include "core/util.h"   // SlotSet

enum OptionKind : std::uint32_t { OPTION_SOFT = 0, OPTION_REAL = 1 };

// One learned use of a stand. It begins like a ModelKey (operator code, then
// type), so the airline and type helpers take either record.
struct StandOption {
  std::string operatorCode;    // airline or operator; file attribute "airl"
  std::string type;            // file attribute "type"
  std::string registration;    // file attribute "reg"
  std::string firstCallsign;   // the callsign it was created with, or the first recorded
  std::string secondCallsign;  // the latest callsign seen that differs from the first
  SlotSet slots;               // half-hours 0..47 of the day it was seen in
  std::uint32_t id = 0;        // 1-based within the stand; 0 = deleted
  std::uint32_t day = 0;       // weekday 1..7
  std::uint32_t archived = 0;  // 1: read with a parking file's stands; run-time learning leaves it alone
  std::uint32_t kind = OPTION_REAL;
};

// Where a live aircraft was last counted in one of the stand's options.
struct StandVisit {
  DaySlot slot = 0;  // weekday and half-hour
  std::uint32_t optionId = 0;
};

struct StandPosition {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double heading = 0.0;    // radians
};

inline constexpr double NM_PER_METRE = 0.0005399568034557236;

struct Stand {
  Stand(std::string standName, std::vector<StandOption> standOptions, const StandPosition& position,
        double radiusMetres, bool isCargo, bool isRamp, bool isHeli)
      : options(std::move(standOptions)),
        name(std::move(standName)),
        latitude(position.latitude),
        longitude(position.longitude),
        heading(position.heading),
        radius(radiusMetres * NM_PER_METRE),
        cargo(isCargo),
        ramp(isRamp),
        heli(isHeli) {
    adjacent.reserve(8);
  }

  std::vector<StandOption> options;
  std::unordered_map<std::uint32_t, StandVisit> realVisits;  // by hexid
  std::unordered_map<std::uint32_t, StandVisit> softVisits;  // by hexid
  std::string name;                                          // the file's "id"
  std::vector<std::uint32_t> adjacent;                       // indices of adjacent stands
  double latitude;
  double longitude;
  double heading;
  double radius;            // nautical miles
  std::uint32_t index = 0;  // 1-based place in the park airport's list; 0 = none
  bool manual = false;
  bool radiusChanged = false;
  bool cargoChanged = false;
  bool suffixedDuplicate = false;  // never written
  bool taken = false;
  bool liveOccupied = false;
  bool reserved = false;
  bool nextToTaken = false;
  bool cargo;
  bool ramp;
  bool heli;
};

// The park airport's stands, in file order; owned by the main-loop thread.
extern std::vector<Stand> gStands;

// Airline (the operator code when the record has one) and type of a
// registration the data base knows, trying its lookup keys in order. False,
// with nothing changed, for an empty or unknown registration.
bool gf_dbaseAirlineType(const std::string& registration, std::string& airline, std::string& type);
