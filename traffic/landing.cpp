// Touchdown of a live aircraft and its stay at a stand: the derotation and
// landing roll it starts, the reports that tell whether a parked aircraft
// leaves, and what its stay taught the stand.
#include "traffic/landing.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "airports/airport_list.h"
#include "airports/stand.h"
#include "core/clock.h"
#include "core/geometry.h"
#include "core/log.h"
#include "traffic/arbitration.h"
#include "traffic/commands.h"
#include "traffic/engine.h"
#include "traffic/engine_hooks.h"
#include "traffic/sim_ids.h"
#include "traffic/sim_queues.h"
#include "traffic/stand_learning.h"
#include "traffic/update_queue.h"

namespace {
constexpr double kStandAreaNm = 85.0 / 1852.0;
constexpr double kMoveAwayNm = 3.0 / 1852.0;
constexpr double kStandReachNm = 200.0 / 1852.0;
// Faster than an aircraft taxies: a report it could not have reached from the one before.
constexpr double kTaxiKnots = 30.0;
// The front point of a parked aircraft without reports is due a week after it parked.
constexpr std::int64_t kWeekTicks = 60480000;
constexpr std::uint64_t kReportsLapse = 5ULL * 60 * 10'000'000;  // steady clock units of 100 ns
constexpr AircraftCategory kLight = 0;
constexpr AircraftCategory kRotorcraft = 5;

// A stay shorter than this (ticks) was a tow to another stand, by category; 0: never.
std::int64_t lf_towLimit(AircraftCategory category) {
  switch (category) {
    case 1: return 90000;
    case 2: return 150000;
    case 3: return 360000;
    default: return 0;
  }
}

std::string lf_landedFrom(const Act& aircraft) {
  const ModelKey& key = aircraft.key;
  if (key.origin.empty() || key.destination.empty()) return {};
  const auto park = gf_findAirport(gEngineParkAirport.code);
  if (!park || park->iata.empty() || key.destination != park->iata) return {};
  return " from " + key.origin;
}

// How a report moved from the one before it at the stand, taken or dropped, by
// the reports' own times: real surface positions of a standing aircraft jump
// tens of metres for a few seconds and come back, and reports bunched after a
// network stall arrive together though they were sent apart.
struct StandStep {
  bool jumped = false;  // farther than the aircraft could taxi in the time between
  bool moved = false;   // on from where the report before it was
};

StandStep lf_stepAtStand(Act& aircraft, const TrackPoint& point) {
  StandStep step;
  if (!std::isnan(aircraft.standFirstDistance)) {
    const double nm = gf_distanceNm({aircraft.standReportLatitude, aircraft.standReportLongitude},
                                    {point.latitude, point.longitude});
    const double seconds = std::max(point.timestamp - aircraft.standReportTime, 0.0);
    step.jumped = nm * 3600.0 > kTaxiKnots * seconds;
    step.moved = nm >= kMoveAwayNm;
  }
  aircraft.standReportLatitude = point.latitude;
  aircraft.standReportLongitude = point.longitude;
  aircraft.standReportTime = point.timestamp;
  return step;
}
}  // namespace

void lf_landed(Act& aircraft) {
  if (aircraft.state == ACT_REMOVAL_REQUESTED || aircraft.phase == PHASE_LIFTOFF) return;
  if (aircraft.flareStage != 0 || aircraft.approach) {
    // A landing ends whatever roll it took off from: a take-off roll still set
    // would turn the landing roll's braking off and invent take-off points.
    aircraft.takeOffRoll = aircraft.touchAndGo = false;
    aircraft.derotating = true;
    aircraft.landingRoll = true;
    aircraft.runwayHeading = aircraft.pose.heading;
    aircraft.approach = false;
    aircraft.landed = true;
    aircraft.arrived = true;
    gf_log(sk::format("{:8} landed{}", aircraft.key.callsign, lf_landedFrom(aircraft)));
    if (aircraft.category != kRotorcraft) gf_queueEvent(aircraft.objectId, EV_SPOILERS_SET, 16383);
    if (aircraft.category != kLight) lf_setAiControls(aircraft, 100.0, aircraft.fsltlLivery ? -100.0 : 100.0);
    const std::int64_t ticks = aircraft.derotationTicks;
    if (ticks > 0) {
      aircraft.pitchStep = (aircraft.groundPitch - aircraft.pose.pitch) / static_cast<double>(ticks);
      aircraft.bankStep = -aircraft.pose.bank / static_cast<double>(ticks);
    } else {
      gf_log(sk::format("{} ! onGround slots {:.1F}", aircraft.key.callsign, static_cast<double>(ticks)));
      aircraft.pitchStep = aircraft.groundPitch;
      aircraft.bankStep = 0.0;
    }
    gTwinCheckHexids.push_back(aircraft.hexid);
  }
  aircraft.onGround = true;
  aircraft.altStep = 0.0;
  aircraft.rotationCountdown = 1;
}

bool lf_approachStand(Act& aircraft, TrackPoint& point) {
  aircraft.reporting = true;
  const double d =
      gf_distanceNm({aircraft.standLatitude, aircraft.standLongitude}, {point.latitude, point.longitude});
  const double area = aircraft.previousPhase == PHASE_TAXI_TO_STAND ? 2.0 * kStandAreaNm : kStandAreaNm;
  const StandStep step = lf_stepAtStand(aircraft, point);
  if (d <= area) {
    aircraft.parkedSince = gf_steadyNow();
    // Its reports are dropped here, so its track soon ends in the point a week
    // ahead, which frees the stand: while it reports from it, it occupies it.
    if (aircraft.phase == PHASE_PARKED && aircraft.previousPhase != PHASE_PARKED)
      if (Stand* stand = gf_standById(aircraft.standId)) stand->liveOccupied = true;
    if (std::isnan(aircraft.standFirstDistance)) {
      aircraft.standFirstDistance = aircraft.standLastDistance = d;
      aircraft.standMovesAway = 0;
      aircraft.standAside = false;
      aircraft.leaveStand = false;
      return false;
    }
    if (d < aircraft.standLastDistance + kMoveAwayNm) {
      if (d <= aircraft.standLastDistance - kMoveAwayNm) aircraft.standMovesAway = 0;
      aircraft.standAside = false;
      aircraft.leaveStand = false;
      return false;
    }
    // A jump, or reports staying where one jumped to, is no move away. A move
    // is counted against the last distance counted, not the report before, so
    // that a push-back at 2 kt with reports 2 s apart adds up.
    if (step.jumped) aircraft.standAside = true;
    if (aircraft.standAside) return false;
    ++aircraft.standMovesAway;
    aircraft.standLastDistance = d;
    const double away = d - aircraft.standFirstDistance;
    if (!((aircraft.standMovesAway >= 3 && away >= aircraft.halfSpan / 2.0) || away > aircraft.halfSpan)) {
      aircraft.leaveStand = false;
      return false;
    }
  } else if (aircraft.phase == PHASE_TAXI_TO_STAND) {
    // Its reports lead elsewhere: it taxies on and may claim another stand.
    aircraft.previousPhase = PHASE_TAXI_TO_STAND;
    aircraft.phase = PHASE_GROUND;
    point.stationary = 0;
    return true;
  } else if (d > kStandReachNm) {
    if (aircraft.state != ACT_PRESENT) return true;
    gf_removeAct(aircraft);
    return false;
  } else if (step.jumped || !step.moved) {
    return false;
  }
  point.stationary = 0;
  aircraft.leaveStand = true;
  if (aircraft.previousPhase != PHASE_PARKED) {
    lf_arrivedAtStand(aircraft);
    // Marks the stay as ended, so that it is counted once.
    aircraft.phase = PHASE_PARKED;
    aircraft.previousPhase = PHASE_PARKED;
  }
  return true;
}

void gf_lapseParkedReports(Act& aircraft, std::uint64_t now) {
  if (!aircraft.reporting || aircraft.phase != PHASE_PARKED || now < aircraft.parkedSince + kReportsLapse) return;
  aircraft.reporting = false;
  if (Stand* stand = gf_standById(aircraft.standId)) stand->liveOccupied = false;
}

void lf_arrivedAtStand(Act& aircraft) {
  if (aircraft.extrapolationsLeft >= 1) {
    if (aircraft.phase == PHASE_PARKED && aircraft.landed) {
      // Signed: the front point's due tick lies a week after the tick it parked at.
      const std::int64_t parked =
          gTick.load() - static_cast<std::int64_t>(aircraft.track.front().dueTick) + kWeekTicks;
      if (parked < lf_towLimit(aircraft.category)) aircraft.towed = true;
      aircraft.landed = false;
    }
    lf_resumeReports(aircraft);
  }
  if (!aircraft.key.operatorCode.empty() && aircraft.standCargo == aircraft.cargo) {
    const DaySlot slot = gf_currentSlot();
    if (lf_addRealOption(aircraft.standId, aircraft, 1, slot, 1)) gf_recordLearnedSlot(slot, aircraft.hexid, true);
  }
  if (Stand* stand = gf_standById(aircraft.standId)) stand->liveOccupied = false;
}
