#pragma once
// The plain records that carry one aircraft along the live-traffic road and the
// static-parking road: identity, reported positions, the parsed traffic line,
// and the live and static aircraft built from them.
#include <cstdint>
#include <deque>
#include <limits>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "core/format.h"
#include "liveries/airline_type.h"

// Size category of an aircraft model: 0 Light, 1 Buzjets, 2 Large, 3 Heavy,
// 4 HighPerf, 5 Rotorcraft.
using AircraftCategory = std::uint32_t;

// Where a live or static aircraft stands in its life in the simulator.
enum ActState : std::uint32_t {
  ACT_NOT_IN_SIM = 0,
  ACT_CREATION_REQUESTED = 1,
  ACT_PRESENT = 2,
  ACT_LIVERY_CHANGE = 3,
  ACT_REMOVAL_REQUESTED = 4,
};

// What a live aircraft is doing, as the motion and parking code decide it.
enum ActPhase : std::uint32_t {
  PHASE_PUSHBACK = 0,
  PHASE_PUSHBACK_DONE = 1,
  PHASE_GROUND = 2,
  PHASE_LIFTOFF = 3,
  PHASE_AIRBORNE = 4,
  PHASE_TAXI_TO_STAND = 5,
  PHASE_PARKED = 6,
  PHASE_NEW = 7,
};

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

// One reported position of a live aircraft.
struct TrackPoint {
  double latitude = 0.0;
  double longitude = 0.0;
  std::optional<double> roll;     // radians, sign reversed against the feed
  std::optional<double> heading;  // true heading, radians in (0, 2 pi]
  double altitude = 0.0;          // feet; exactly 0 on the ground
  double groundSpeed = 0.0;       // knots
  double track = 0.0;             // degrees
  double verticalSpeed = 0.0;     // feet per minute
  double trueAirspeed = 0.0;      // knots
  std::uint32_t dueTick = 0;
  std::uint8_t airborne = 0;
  std::uint8_t stationary = 0;
  std::uint8_t headingValid = 0;
};

// One accepted traffic line: the element of the update queue.
struct TrafficRecord {
  ModelKey key;
  TrackPoint point;
  double timestamp = 0.0;  // the feed's time of the line, seconds since 1970 UTC
  std::uint32_t hexid = 0;
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

// The part of an aircraft in the simulator that live and static aircraft share:
// its object, its stand and the commands last sent to it.
struct PlacedAct : ActBase {
  PlacedAct() = default;
  explicit PlacedAct(ActBase&& base) : ActBase(std::move(base)) {}

  std::uint32_t objectId = 0;
  double standLatitude = 0.0;
  double standLongitude = 0.0;
  double standHeading = 0.0;  // radians
  std::uint32_t arrivalSlot = 0;
  std::uint32_t standId = 0;  // 0: none
  ActState state = ACT_NOT_IN_SIM;
  std::uint32_t throttleLevel = 5;  // 5: none sent yet
  std::uint32_t flapLevel = 4;      // 4: none sent yet
  std::uint8_t standCargo = 0;
  std::uint8_t removeWhenCreated = 0;
  std::uint8_t eraseMark = 0;
};

// One static parked aircraft.
struct StaticAct : PlacedAct {
  StaticAct(ActBase&& base, std::uint32_t stand, double latitude, double longitude,
            double heading, bool cargoStand)
      : PlacedAct(std::move(base)) {
    standId = stand;
    standLatitude = latitude;
    standLongitude = longitude;
    standHeading = heading;
    standCargo = cargoStand ? 1 : 0;
  }
};

// The position block sent with every position set: degrees, radians, feet,
// feet per second and knots.
struct SimPose {
  double latitude = 0.0;
  double longitude = 0.0;
  double pitch = 0.0;
  double bank = 0.0;
  double heading = 0.0;
  double altitude = 0.0;
  double verticalSpeed = 0.0;
  double trueAirspeed = 0.0;
};

// One live aircraft.
struct Act : PlacedAct {
  Act(ActBase&& base, const TrackPoint& first, double timestamp)
      : PlacedAct(std::move(base)), track{first}, lastUpdate(timestamp) {}

  SimPose pose;
  std::deque<TrackPoint> track;
  double lastUpdate = 0.0;  // timestamp of the last applied record
  // Track following's targets and its count of invented points still ahead.
  double targetVs = 0.0;   // feet per minute
  double targetTas = 0.0;  // knots
  std::int32_t extrapolationsLeft = 0;

  // Motion and phase state; the motion code owns their meaning.
  std::uint64_t parkedSince = 0;  // clock time in 100 ns units
  ActPhase phase = PHASE_NEW;
  ActPhase previousPhase = PHASE_NEW;
  bool onGround = false;
  bool userConflict = false;
  double curveControlEast = std::numeric_limits<double>::quiet_NaN();
  double curveControlNorth = std::numeric_limits<double>::quiet_NaN();
  std::int32_t earlyWindow = 1000;
  std::int32_t lateWindow = 1000;
  double agl = 2500.0;
  std::uint64_t motionCounter = 1;
};

// The per-category values of take-off, landing and ground movement.
struct CategoryPerformance {
  std::uint32_t flareTicks;
  std::uint32_t derotationTicks;
  std::uint32_t rotationTicks;
  std::uint32_t pitchUpTicks;
  double rotationPitchDegrees;
  double climbPitchDegrees;
  double turnRate;      // radians per tick
  double maxClimbStep;  // feet per tick
  double standSpeed;    // knots
};

// std::out_of_range for a category outside 0..5.
const CategoryPerformance& gf_categoryPerformance(AircraftCategory category);

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

// A usable callsign: non-empty, not "@@@@@@@@", at most 8 characters.
inline bool lf_isPlaceholderName(const std::string& callsign) {
  return !callsign.empty() && callsign != "@@@@@@@@" && callsign.size() <= 8;
}

// "KLM1234" sets the operator to "KLM"; anything else leaves it alone.
inline bool lf_airlineFromCallsign(ModelKey& key) {
  const std::string& cs = key.callsign;
  const auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  if (cs.size() < 4 || !upper(cs[0]) || !upper(cs[1]) || !upper(cs[2]) || cs[3] < '0' ||
      cs[3] > '9')
    return false;
  key.operatorCode = cs.substr(0, 3);
  return true;
}
