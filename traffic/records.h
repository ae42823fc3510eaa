#pragma once
// The plain records that carry one aircraft along the live-traffic road and the
// static-parking road: identity, reported positions, the parsed traffic line,
// and the live and static aircraft built from them.
#include <array>
#include <cstdint>
#include <deque>
#include <limits>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "core/clock.h"
#include "core/format.h"
#include "core/geometry.h"
#include "liveries/airline_type.h"
#include "traffic/act_base.h"

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
  double timestamp = 0.0;  // the report's own time, seconds since 1970 UTC (0: an invented point)
  std::uint8_t airborne = 0;
  std::uint8_t stationary = 0;
  std::uint8_t headingValid = 0;
  // A ground report whose ground speed its position contradicts by more than
  // 25 kt (a transponder that kept sending a stale speed): the speed, in knots,
  // from its distance and time to the report before; negative otherwise.
  double positionSpeed = -1.0;
};

// The speed a point is believed to move at: the reported ground speed, unless
// the positions contradicted it; a stop is a stop.
inline double gf_believedSpeed(const TrackPoint& point) {
  return point.positionSpeed >= 0.0 && !point.stationary ? point.positionSpeed : point.groundSpeed;
}

// One accepted traffic line: the element of the update queue.
struct TrafficRecord {
  ModelKey key;
  TrackPoint point;
  double timestamp = 0.0;  // the feed's time of the line, seconds since 1970 UTC
  std::uint32_t hexid = 0;
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
  DaySlot arrivalSlot = 0;  // weekday and half-hour the aircraft parked or was planned at
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
      : PlacedAct(std::move(base)),
        track{first},
        lastUpdate(timestamp),
        recentFixes{{{{first.latitude, first.longitude}, timestamp}}},
        recentFixCount(1),
        lastSeen{{first.latitude, first.longitude}, timestamp} {}

  SimPose pose;
  std::deque<TrackPoint> track;
  double lastUpdate = 0.0;  // timestamp of the last applied record
  // The positions of the last records applied, as reported (the track may hold
  // them changed), oldest first: the speed they show is measured over seconds.
  struct ReportFix {
    LatLon at;
    double timestamp = 0.0;
  };
  std::array<ReportFix, 6> recentFixes{};
  std::uint8_t recentFixCount = 0;
  // The last report seen, taken or dropped; a standing aircraft's report it
  // could not have taxied to from there, until the next one tells whether it
  // moved there.
  ReportFix lastSeen;
  std::optional<TrafficRecord> heldAside;
  // Track following's targets and its count of invented points still ahead.
  double targetVs = 0.0;   // feet per minute
  double targetTas = 0.0;  // knots
  std::int32_t extrapolationsLeft = 0;
  // Track following: per-tick steps of the current segment, in degrees,
  // radians and feet per tick.
  double latStep = 0.0;
  double lonStep = 0.0;
  double pitchStep = 0.0;
  double bankStep = 0.0;
  double turnDeg = 0.0;
  bool turnNeeded = false;
  // The ground curve: origin, end offsets (m) and parameter; curveControlEast/North below.
  double curveOriginLatitude = 0.0;
  double curveOriginLongitude = 0.0;
  double curveT0 = 0.0;
  double curveEndNorth = 0.0;
  double curveEndEast = 0.0;
  double curveT1 = 1.0;
  double curveT = 0.0;
  double curveStep = 0.0;
  double curveTurnDeg = 0.0;
  bool holding = false;
  std::uint32_t holdStartTick = 0;
  std::uint32_t flareStage = 0;
  double flareAirportAltitude = std::numeric_limits<double>::quiet_NaN();  // NaN: none cached
  bool derotating = false;
  bool landingRoll = false;
  bool goAroundDone = false;
  bool landed = false;  // touched down here; its first stay at a stand may end as a tow
  bool touchAndGo = false;  // its take-off roll began in a landing roll, when its reports climbed again
  bool towed = false;
  bool lightsHigh = false;
  bool lightsLow = false;
  // Where the live-against-parked check last saw it (it is checked again only once it moved).
  double collisionCheckLatitude = 0.0;
  double collisionCheckLongitude = 0.0;

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
  double targetHeading = 0.0;  // radians
  double headingStep = 0.0;    // radians per tick
  double altStep = 0.0;        // feet per tick
  std::int32_t rotationCountdown = 0;
  bool takeOffRoll = false;
  bool approach = false;
  bool reporting = false;  // reports still arrive while it taxies to or stands at its stand
  bool leaveStand = false;
  bool hasFlightPlan = false;

  // Arbitration and placement.
  bool recreated = false;                 // created again after a livery change
  std::optional<double> creationHeading;  // radians; the heading a re-creation starts with
  // Where gf_claimStandNear last looked (NaN: never).
  double claimLatitude = std::numeric_limits<double>::quiet_NaN();
  double claimLongitude = std::numeric_limits<double>::quiet_NaN();
  // The stand approach: first and last distance (nm; the first NaN until a
  // report came near the stand) and the moves away counted.
  double standFirstDistance = std::numeric_limits<double>::quiet_NaN();
  double standLastDistance = 0.0;
  std::uint32_t standMovesAway = 0;
  // The last report seen at or near the stand, taken or dropped: where, and its timestamp.
  double standReportLatitude = 0.0;
  double standReportLongitude = 0.0;
  double standReportTime = 0.0;
  bool standAside = false;               // its reports jumped from the stand and have not come back
  std::int64_t creationDecidedTick = 0;  // gTick when it went to state 1
  // Ground movement: the push-back legs still to run, whether it ends with a
  // turn and to which side, and the end point of a turn to the other side.
  std::int32_t pushLegs = 0;
  bool leftPushbackSpot = false;  // set off behind its reports, which it waited at the spot for
  bool pushTurn = false;
  bool pushTurnOtherSide = false;
  TrackPoint pushAltEnd;
  double runwayHeading = 0.0;  // radians at touchdown; 0 once the runway is left
  bool arrived = false;        // landed here: handed to the stand search
  double leaveDistance = 0.0;  // nm: the farthest distance reached while leaving a stand
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
