// Arbitration between live aircraft: whether a reported aircraft is created
// now, later or never, the stand it takes at the park airport and who makes
// way for it; ghosts, changes of callsign or route, stand claims.
#include "traffic/arbitration.h"

#include <algorithm>
#include <cmath>

#include "airports/airport_list.h"
#include "airports/stand.h"
#include "core/clock.h"
#include "core/format.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/parameters.h"
#include "liveries/dbase_lookups.h"
#include "liveries/matching_ladder.h"
#include "liveries/uncreatable_titles.h"
#include "shell/app_state.h"
#include "shell/run_state.h"
#include "traffic/engine.h"
#include "traffic/commands.h"
#include "traffic/engine_hooks.h"
#include "traffic/stand_choice.h"
#include "traffic/stand_learning.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"
#include "traffic/user_aircraft.h"

std::vector<std::string> gGhostCallsigns;
std::unordered_map<std::uint32_t, std::string_view> gLiveryMemo;
std::deque<std::uint32_t> gTwinCheckHexids;

namespace {
constexpr double kFeetPerNm = 6076.11549;
constexpr double kParkAirportReachNm = 5.0;
constexpr double kWideStandSearchNm = 0.029697624190064796;    // 55 m
constexpr double kNarrowStandSearchNm = 0.010799136069114472;  // 20 m
constexpr double kStandingStillNm = 0.018898488120950324;      // 35 m
constexpr double kUserGroundClearNm = 0.08099352051835854;     // 150 m
constexpr double kUserGroundConflictNm = 500.0 * NM_PER_METRE;
constexpr double kSpanMargin = 1.1;
constexpr std::size_t kPriorityQueueCap = 11;
constexpr double kRisingKnots = 10.0;

// The free stand a live aircraft may take; null when none.
Stand* lf_freeStandFor(const TrackPoint& point, const Act& aircraft, double maxDistance) {
  const auto stand = lf_freeStandNear({point.latitude, point.longitude}, aircraft, maxDistance, true);
  return stand == gStands.end() ? nullptr : &*stand;
}

// An aircraft created parked teaches its stand at the current slot.
void lf_learnParked(const Act& aircraft, const Stand& stand) {
  const DaySlot now = gf_currentSlot();
  if (!lf_addRealOption(stand.index, aircraft, 0, now, 0)) return;
  const auto entry = std::find_if(gLiveLearningList.begin(), gLiveLearningList.end(),
                                  [&](const auto& item) { return item.first == aircraft.hexid; });
  if (entry == gLiveLearningList.end()) {
    gLiveLearningList.emplace_back(aircraft.hexid, gf_slotOf(now));
  } else {
    entry->second = gf_slotOf(now);
  }
}

bool lf_isGhost(const std::string& callsign) { return !callsign.empty() && callsign.back() == '_'; }

std::string lf_withoutLast(const std::string& text) { return text.empty() ? text : text.substr(0, text.size() - 1); }

void lf_logged(const std::string& text) {
  if (LOG.value) gf_log(text);
}

LatLon lf_at(const TrackPoint& point) { return {point.latitude, point.longitude}; }
LatLon lf_at(const Stand& stand) { return {stand.latitude, stand.longitude}; }
LatLon lf_userAt() { return {gUserAc.latitude, gUserAc.longitude}; }

double lf_standDistance(const Stand& a, const Stand& b) { return gf_distanceNm(lf_at(a), lf_at(b)); }

// The reserved stand and the stand under the user aircraft are never taken.
bool lf_forbiddenStand(const Stand& stand) {
  return stand.name == gAppState.reservedStand.get() || stand.name == gf_standNameAt(gUserAc.latitude, gUserAc.longitude);
}

bool lf_mixedTrack(const Act& aircraft) {
  bool air = false;
  bool ground = false;
  for (const TrackPoint& point : aircraft.track) (point.airborne ? air : ground) = true;
  return air && ground;
}

// Ground points that show a roll (two or more, their speeds not falling and fast
// at the last, or rising), then only airborne ones: a departure seen in its
// take-off roll, which is shown from the roll, not from the first airborne
// report on. Below about 1009 hPa every pressure-altitude report above 35 kt
// reads airborne, so a roll's last ground report may be slow. One ground point
// among airborne ones is a 0-ft glitch of an aircraft in flight, and a level low
// pass whose speeds do not rise is no roll.
bool lf_takingOff(const Act& aircraft) {
  const auto& track = aircraft.track;
  const auto air =
      std::find_if(track.begin(), track.end(), [](const TrackPoint& p) { return p.airborne != 0; });
  if (air - track.begin() < 2 || air == track.end() ||
      !std::all_of(air, track.end(), [](const TrackPoint& p) { return p.airborne != 0; }))
    return false;
  const double lastGround = gf_believedSpeed(*(air - 1));
  const double first = gf_believedSpeed(track.front());
  const bool rising = lastGround > gf_believedSpeed(*(air - 2)) && lastGround - first >= kRisingKnots;
  return rising || (lastGround >= kLiftOffKnots && lastGround >= first);
}

// A roll first seen at speed whose speeds rise by 10 kt or more over its first
// three reports is a take-off, whatever its first speed.
bool lf_speedsRise(const Act& aircraft) {
  const auto& track = aircraft.track;
  if (track.size() < 3 || track[1].airborne || track[2].airborne) return false;
  // Both the speeds reported and those believed: a stale speed rises in neither,
  // and the positions a second apart of a landing roll may seem to.
  return track[2].groundSpeed - track[0].groundSpeed >= kRisingKnots &&
         gf_believedSpeed(track[2]) - gf_believedSpeed(track[0]) >= kRisingKnots;
}

// The user aircraft holds the creation back (the front point is dropped).
bool lf_userHoldsBack(Act& aircraft, const TrackPoint& front) {
  const LatLon user = lf_userAt();
  if (gUserOnGround.load()) {
    if (aircraft.userConflict &&
        (gUserAc.groundSpeed > 8.0 ||
         (!front.airborne && (front.groundSpeed > 8.0 || gf_distanceNm(lf_at(front), user) < kUserGroundConflictNm))))
      return true;
    return COLLISION_USER_GND.value && !front.airborne && gf_distanceNm(lf_at(front), user) < kUserGroundClearNm;
  }
  if (!COLLISION_USER_AIR.value) return false;
  if (front.airborne) {
    if (!gf_userNearCourse(aircraft)) return false;
    aircraft.userConflict = true;
    return true;
  }
  if (aircraft.userConflict) return true;
  const LatLon pose{aircraft.pose.latitude, aircraft.pose.longitude};
  const double distance = gf_distanceNm(user, pose);
  const double offsetFeet =
      std::abs(std::sin(gf_angleDifference(gf_bearing(user, pose), gUserAc.heading))) * distance * kFeetPerNm;
  if (distance > 1.5 || gUserAc.altitudeAboveGround >= 1000.0 || offsetFeet > 500.0) return false;
  aircraft.userConflict = true;
  return true;
}

// The data base's airline, type and cargo flag of the registration; an
// unusable callsign becomes the registration.
void lf_applyRegistration(Act& aircraft) {
  ModelKey& key = aircraft.key;
  if (key.registration.empty()) return;
  for (const std::string& candidate : gf_regcodeCandidates(key.registration)) {
    std::optional<DbaseRecord> record;
    if (!gf_findDbaseRecord(record, candidate)) continue;
    key.operatorCode = record->opr.empty() ? record->airl : record->opr;
    key.type = record->type;
    aircraft.cargo = record->cargo ? 1 : 0;
    break;
  }
  if (!lf_isPlaceholderName(key.callsign)) key.callsign = key.registration;
}

struct SameCallsignContext {
  bool ok = true;
  std::uint32_t standId = 0;
  std::string callsign;
};

bool lf_sameCallsignWants(SameCallsignContext& context, Act& other) {
  if (other.standId != context.standId || other.state != ACT_PRESENT) return false;
  if (other.phase != PHASE_PARKED && other.phase != PHASE_PUSHBACK && other.phase != PHASE_PUSHBACK_DONE) return false;
  const std::string stand = gf_standLabel(context.standId);
  const std::string& mine = context.callsign;
  const std::string& theirs = other.key.callsign;
  if (mine == theirs) {
    lf_logged(sk::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", stand, theirs, mine));
    gf_removeAct(other);
  } else if (lf_withoutLast(mine) == theirs) {
    context.ok = false;
  } else if (mine == lf_withoutLast(theirs) || (lf_isGhost(theirs) && !lf_isGhost(mine))) {
    lf_logged(sk::format("{:8}: {:8} ghost, replace by {}", stand, theirs, mine));
    gf_removeAct(other);
  } else if ((lf_isGhost(mine) && !lf_isGhost(theirs)) || other.reporting) {
    context.ok = false;
  } else {
    lf_logged(sk::format("{:8}: {:8} removed because another live {} wants the stand ...", stand, theirs, mine));
    gf_removeAct(other);
  }
  return true;
}

struct AdjacentContext {
  std::uint32_t adjacentId = 0;
  const Act* newcomer = nullptr;
  const Stand* stand = nullptr;
  bool ok = true;
};

bool lf_adjacentLiveCollides(AdjacentContext& context, const Act& other) {
  if (other.standId != context.adjacentId || other.state != ACT_PRESENT) return false;
  if (other.phase != PHASE_PARKED && other.phase != PHASE_PUSHBACK) return false;
  if (other.key.callsign == context.newcomer->key.callsign) return false;
  const Stand* adjacent = gf_standById(context.adjacentId);
  const double spans = (gf_wingspanOf(other.key.type) + gf_wingspanOf(context.newcomer->key.type)) * kSpanMargin;
  if (adjacent && spans >= lf_standDistance(*adjacent, *context.stand)) context.ok = false;
  return true;
}

// Parks the aircraft at the stand it is created on.
void lf_parkOnCreation(Act& aircraft, Stand& stand) {
  TrackPoint& front = aircraft.track.front();
  front.stationary = 1;
  front.groundSpeed = 0.0;
  aircraft.standLatitude = stand.latitude;
  aircraft.standLongitude = stand.longitude;
  aircraft.standHeading = stand.heading;
  aircraft.standId = stand.index;
  aircraft.standCargo = stand.cargo ? 1 : 0;
  aircraft.phase = PHASE_PARKED;
  stand.liveOccupied = true;
  aircraft.parkedSince = gf_steadyNow();
  aircraft.standFirstDistance = std::numeric_limits<double>::quiet_NaN();
  aircraft.standMovesAway = 0;
  gf_markCargoStand(aircraft, stand);
  aircraft.track.resize(1);
  front.latitude = stand.latitude;
  front.longitude = stand.longitude;
  front.track = stand.heading * RAD_TO_DEG;
  lf_learnParked(aircraft, stand);
  gf_enforceParkMax(1);
}

// Moving on the ground. First seen there at speed, it is in its take-off roll
// when its speeds rise or its reports go on airborne; else it is rolling out
// after a touchdown its reports did not show (approach reports below zero
// pressure altitude are ground reports), and the take-off rule is not applied to
// it. The roll's commands follow once its object is there.
void lf_startOnGround(Act& aircraft) {
  aircraft.phase = PHASE_GROUND;
  const TrackPoint& front = aircraft.track.front();
  if (gf_believedSpeed(front) < kLiftOffKnots) return;
  if (lf_takingOff(aircraft) || lf_speedsRise(aircraft)) {
    aircraft.takeOffRoll = true;
  } else {
    aircraft.landingRoll = true;
    aircraft.runwayHeading = front.track * DEG_TO_RAD;
  }
}

// The ground decision: parked at a stand, moving on the ground, or not yet
// (false: wait or never).
bool lf_decideGroundStart(Act& aircraft) {
  const TrackPoint& front = aircraft.track.front();
  const TrackPoint& last = aircraft.track.back();
  const bool second = aircraft.track.size() >= 2;
  const bool nearPark =
      !gStands.empty() && !gEngineParkAirport.code.empty() &&
      gf_distanceNm(lf_at(front), {gEngineParkAirport.latitude, gEngineParkAirport.longitude}) <= kParkAirportReachNm;
  const bool stillAtEnd =
      second && aircraft.track[1].groundSpeed <= 5.0 && gf_distanceNm(lf_at(front), lf_at(last)) <= kStandingStillNm;
  if (!nearPark || (!front.stationary && !stillAtEnd)) {
    lf_startOnGround(aircraft);
    return true;
  }
  const TrackPoint& search = front.stationary ? front : last;
  Stand* stand = lf_freeStandFor(search, aircraft, kWideStandSearchNm);
  if (!stand) {
    if (second && aircraft.track[1].stationary) {
      aircraft.track.pop_front();
      return false;
    }
    aircraft.phase = PHASE_GROUND;
    return true;
  }
  if (lf_forbiddenStand(*stand)) {
    aircraft.eraseMark = 1;
    return false;
  }
  SameCallsignContext same{true, stand->index, aircraft.key.callsign};
  for (Act& other : gActs)
    if (lf_sameCallsignWants(same, other)) break;
  if (!same.ok) {
    aircraft.eraseMark = 1;
    return false;
  }
  for (std::uint32_t adjacentId : stand->adjacent) {
    AdjacentContext context{adjacentId, &aircraft, stand, true};
    for (const Act& other : gActs)
      if (lf_adjacentLiveCollides(context, other)) break;
    if (!context.ok) {
      aircraft.eraseMark = 1;
      return false;
    }
  }
  gf_clearStaticsForStand(aircraft, *stand);
  lf_parkOnCreation(aircraft, *stand);
  return true;
}

void lf_setCreationPose(Act& aircraft) {
  const TrackPoint& front = aircraft.track.front();
  SimPose& pose = aircraft.pose;
  pose.latitude = front.latitude;
  pose.longitude = front.longitude;
  pose.altitude = front.altitude;
  if (front.airborne) {
    double climb = std::min(front.verticalSpeed, 2400.0);
    if (climb < 0.0) climb = std::max(climb, -3000.0) / 2.0;
    pose.pitch = (-3.0 - climb / 600.0 * 2.2) * DEG_TO_RAD;
  } else {
    pose.pitch = 0.010471975511965976;
  }
  pose.bank = front.roll.value_or(0.0);
  pose.verticalSpeed = front.verticalSpeed / 60.0;
  pose.trueAirspeed = front.trueAirspeed;
  double heading = 0.0;
  if (aircraft.creationHeading) {
    heading = *aircraft.creationHeading;
    aircraft.creationHeading.reset();
  } else if (aircraft.phase == PHASE_PARKED) {
    heading = aircraft.standHeading;
  } else if (aircraft.track.size() >= 2 && !aircraft.track[1].stationary) {
    heading = gf_bearing(lf_at(front), lf_at(aircraft.track[1]));
  } else {
    heading = front.headingValid && front.heading ? *front.heading : front.track * DEG_TO_RAD;
  }
  heading = std::fmod(heading, TWO_PI);
  pose.heading = heading < 0.0 ? heading + TWO_PI : heading;
  // A step per tick, never a heading: nothing turns until the motion code says so.
  aircraft.headingStep = 0.0;
}

// The route of a present aircraft follows the record; true when it changed.
bool lf_routeChanged(Act& aircraft, const ModelKey& record) {
  ModelKey& key = aircraft.key;
  bool changed = false;
  if (key.origin.empty() && !record.origin.empty()) {
    key.origin = record.origin;
    changed = true;
  }
  if (key.destination.empty() && !record.destination.empty()) {
    key.destination = record.destination;
    changed = true;
  }
  if (record.origin.empty() || record.destination.empty()) return changed;
  if (key.origin == record.origin || key.destination == record.destination) return changed;
  const auto park = gf_findAirport(gEngineParkAirport.code);
  if (park && !park->iata.empty() && key.origin == park->iata && key.origin == record.destination) return changed;
  key.origin = record.origin;
  key.destination = record.destination;
  if (aircraft.onGround && aircraft.phase != PHASE_TAXI_TO_STAND && aircraft.phase != PHASE_PARKED) {
    aircraft.phase = PHASE_GROUND;
    aircraft.targetHeading = aircraft.pose.heading;
  }
  return true;
}
}  // namespace

bool lf_memoLivery(Act& aircraft) {
  const auto memo = gLiveryMemo.find(aircraft.hexid);
  if (memo != gLiveryMemo.end()) {
    if (!gf_isUncreatableTitle(memo->second)) {
      aircraft.liveryTitle = memo->second;
      aircraft.fsltlLivery = memo->second.find("FSLTL_") != std::string_view::npos ? 1 : 0;
      return true;
    }
    gLiveryMemo.erase(memo);
  }
  gf_matchLiveryLive(aircraft);
  if (aircraft.liveryTitle.empty()) return false;
  gLiveryMemo[aircraft.hexid] = aircraft.liveryTitle;
  return true;
}

bool lf_ghostHasSource(const std::string& ghost) {
  const std::string source = lf_withoutLast(ghost);
  return std::any_of(gActs.begin(), gActs.end(), [&](const Act& aircraft) {
    return aircraft.key.callsign == source && aircraft.state != ACT_REMOVAL_REQUESTED;
  });
}

void lf_removeGhost(const std::string& callsign) {
  const std::string ghost = callsign + "_";
  for (Act& aircraft : gActs) {
    if (aircraft.key.callsign != ghost || aircraft.state == ACT_REMOVAL_REQUESTED) continue;
    if (aircraft.phase == PHASE_PARKED) {
      lf_logged(sk::format("{:8}: {:8} is a ghost and will be removed, continue with {}",
                           gf_standLabel(aircraft.standId), ghost, callsign));
    } else {
      lf_logged(sk::format("          {:8} is a ghost and will be removed, continue with {}", ghost, callsign));
    }
    gGhostCallsigns.push_back(ghost);
    gf_removeAct(aircraft);
    return;
  }
}

void lf_checkCreation(Act& aircraft) {
  if (aircraft.track.empty()) {
    aircraft.eraseMark = 1;
    return;
  }
  const TrackPoint& front = aircraft.track.front();
  const std::int64_t wait = !front.airborne && front.groundSpeed != 0.0 ? 300 : 100;
  if (gf_ticksUntil(front.dueTick, gTick.load()) > wait) return;
  ModelKey& key = aircraft.key;
  if (aircraft.track.size() == 1 ||
      (lf_isGhost(key.callsign) &&
       std::find(gGhostCallsigns.begin(), gGhostCallsigns.end(), key.callsign) != gGhostCallsigns.end())) {
    aircraft.eraseMark = 1;
    return;
  }
  if ((lf_mixedTrack(aircraft) && !lf_takingOff(aircraft)) || lf_userHoldsBack(aircraft, front) ||
      (gCreationQueuePrio.size() >= kPriorityQueueCap && aircraft.phase == PHASE_NEW)) {
    aircraft.track.pop_front();
    return;
  }
  if (MAX_LIVE.value != MAX_LIVE.defaultValue) {
    const auto present = std::count_if(gActs.begin(), gActs.end(),
                                       [](const Act& other) { return other.state == ACT_PRESENT; });
    const auto counted = static_cast<std::int64_t>(gCreateHexids.size() + gCreationQueuePrio.size()) + present;
    if (counted >= MAX_LIVE.value && lf_removeFarthest(gf_distanceNm(lf_userAt(), lf_at(front)))) {
      aircraft.eraseMark = 1;
      return;
    }
  }
  if (!BLOCK_CALLSIGN.value().empty() && BLOCK_CALLSIGN.value() == key.callsign) {
    aircraft.eraseMark = 1;
    return;
  }
  lf_applyRegistration(aircraft);
  if (!lf_isPlaceholderName(key.callsign)) {
    aircraft.eraseMark = 1;
    return;
  }
  if (key.operatorCode.empty() && !lf_airlineFromCallsign(key)) key.operatorCode = "PVT";
  if (gNoLiveryKeys.contains(lf_aircraftKeyText(key)) || (lf_isGhost(key.callsign) && lf_ghostHasSource(key.callsign))) {
    aircraft.eraseMark = 1;
    return;
  }
  lf_decideCreation(aircraft);
}

void lf_decideCreation(Act& aircraft) {
  std::deque<TrackPoint>& track = aircraft.track;
  // The first report had none before it to show a stale speed: a lower speed
  // the next one's positions show tells for it too (a transponder may keep
  // sending 100 kt for minutes of a taxi). A higher one may be no more than a
  // position it failed to update before.
  if (track.size() >= 2 && !track[0].airborne && track[0].positionSpeed < 0.0 &&
      track[1].positionSpeed >= 0.0 && track[1].positionSpeed < track[0].groundSpeed)
    track[0].positionSpeed = track[1].positionSpeed;
  if (track.size() >= 2 && track[1].stationary) {
    track[0].stationary = 1;
    track[0].groundSpeed = 0.0;
    track[1].groundSpeed = 0.0;
    if (track.size() >= 3 && track[2].stationary) track[2].groundSpeed = 0.0;
  } else {
    track[0].stationary = 0;
  }
  if (aircraft.phase == PHASE_NEW) {
    if (!lf_memoLivery(aircraft)) {
      gNoLiveryKeys.insert(lf_aircraftKeyText(aircraft.key));
      aircraft.eraseMark = 1;
      return;
    }
    if (track.front().airborne) {
      aircraft.phase = PHASE_AIRBORNE;
    } else if (!lf_decideGroundStart(aircraft)) {
      return;
    }
  }
  gTwinCheckHexids.push_back(aircraft.hexid);
  lf_setCreationPose(aircraft);
  aircraft.state = ACT_CREATION_REQUESTED;
  aircraft.creationDecidedTick = gTick.load();
  aircraft.userConflict = false;
  gCreateHexids.push_back(aircraft.hexid);
  if (!lf_isGhost(aircraft.key.callsign)) lf_removeGhost(aircraft.key.callsign);
}

void gf_clearStaticsForStand(const Act& aircraft, const Stand& stand) {
  const std::string& live = aircraft.key.callsign;
  const std::string& registration = aircraft.key.registration;
  for (StaticAct& parked : gStaticActs) {
    if (parked.standId != stand.index || parked.eraseMark ||
        (parked.state != ACT_PRESENT && parked.state != ACT_CREATION_REQUESTED))
      continue;
    // Texts first: a withdrawal may take the record away.
    const std::string line = sk::format(
        "{:8}: {:8} {} makes way for{} {} {}", stand.name, parked.key.callsign, parked.key.registration,
        parked.key.firstCallsign == live || parked.key.registration == registration ? " the same live version" : "",
        live, registration);
    if (parked.state == ACT_PRESENT) {
      lf_logged(line);
      gf_removeAct(parked);
    } else {
      lf_logged("queued " + line);
      if (gf_withdrawStaticCreation(parked.key.callsign) == 0) parked.removeWhenCreated = 1;
    }
    break;
  }
  for (std::uint32_t adjacentId : stand.adjacent) {
    const Stand* adjacent = gf_standById(adjacentId);
    if (!adjacent) continue;
    const double distance = lf_standDistance(*adjacent, stand);
    for (StaticAct& parked : gStaticActs) {
      if (parked.standId != adjacentId || parked.state != ACT_PRESENT) continue;
      if ((gf_wingspanOf(parked.key.type) + gf_wingspanOf(aircraft.key.type)) * kSpanMargin < distance) continue;
      lf_logged(sk::format("{:8}: {:8} removed by {} parking at adjacent stand {}", parked.key.callsign, live,
                           stand.name, gf_standLabel(parked.standId)));
      gf_removeAct(parked);
      break;
    }
  }
}

bool gf_claimStandNear(Act& aircraft, bool wide) {
  if (aircraft.track.empty()) return false;
  const TrackPoint& last = aircraft.track.back();
  if (last.latitude == aircraft.claimLatitude && last.longitude == aircraft.claimLongitude) return false;
  aircraft.claimLatitude = last.latitude;
  aircraft.claimLongitude = last.longitude;
  Stand* stand = lf_freeStandFor(last, aircraft, wide ? kWideStandSearchNm : kNarrowStandSearchNm);
  if (!stand || lf_forbiddenStand(*stand)) return false;
  const std::string& callsign = aircraft.key.callsign;
  for (Act& other : gActs) {
    if (&other == &aircraft || other.standId != stand->index || other.phase != PHASE_PARKED ||
        other.state != ACT_PRESENT)
      continue;
    lf_logged(sk::format("{:8}: {:8} removed, {} wants to park there", stand->name, other.key.callsign, callsign));
    gf_removeAct(other);
    break;
  }
  for (std::uint32_t adjacentId : stand->adjacent) {
    const Stand* adjacent = gf_standById(adjacentId);
    if (!adjacent) continue;
    const double distance = lf_standDistance(*adjacent, *stand);
    for (Act& other : gActs) {
      if (&other == &aircraft || other.standId != adjacentId || other.state != ACT_PRESENT ||
          (other.phase != PHASE_PARKED && other.phase != PHASE_PUSHBACK))
        continue;
      if ((other.halfSpan + aircraft.halfSpan) * kSpanMargin < distance) continue;
      lf_logged(sk::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                           adjacent->name, other.key.callsign, callsign, stand->name));
      gf_removeAct(other);
    }
  }
  gf_clearStaticsForStand(aircraft, *stand);
  aircraft.standLatitude = stand->latitude;
  aircraft.standLongitude = stand->longitude;
  aircraft.standHeading = stand->heading;
  aircraft.standId = stand->index;
  aircraft.standCargo = stand->cargo ? 1 : 0;
  aircraft.standFirstDistance = std::numeric_limits<double>::quiet_NaN();
  aircraft.standMovesAway = 0;
  aircraft.track.resize(1);
  if (aircraft.phase != PHASE_TAXI_TO_STAND) aircraft.previousPhase = aircraft.phase;
  aircraft.phase = PHASE_TAXI_TO_STAND;
  gf_addStandPoint(aircraft);
  return true;
}

bool gf_updateIdentity(Act& aircraft, const TrafficRecord& record) {
  if (aircraft.takeOffRoll || aircraft.approach) return true;
  ModelKey& key = aircraft.key;
  const ModelKey& reported = record.key;
  if (aircraft.state == ACT_NOT_IN_SIM) {
    if (!reported.origin.empty()) key.origin = reported.origin;
    if (!reported.destination.empty()) key.destination = reported.destination;
    if (key.registration.empty()) key.registration = reported.registration;
    if (key.callsign.empty()) key.callsign = reported.callsign;
    return true;
  }
  if (aircraft.state != ACT_PRESENT || aircraft.phase < PHASE_GROUND) return true;
  bool changed = lf_routeChanged(aircraft, reported);
  const std::string& callsign = reported.callsign;
  if (!callsign.empty() && callsign != key.callsign && callsign != key.registration) {
    key.callsign = callsign;
    key.firstCallsign = callsign;
    key.otherCallsign.clear();
    changed = true;
    if (lf_isGhost(callsign) && lf_ghostHasSource(callsign)) return false;
    lf_removeGhost(callsign);
  }
  if (!changed || !GUID_CHANGES.value) return true;
  lf_logged(sk::format("          {}", gf_aircraftDescription(aircraft)));
  lf_prepareLiveryChange(aircraft);
  aircraft.creationHeading = aircraft.pose.heading;
  if (aircraft.objectId != 0 && gSelectedObjectId.load() == aircraft.objectId) gf_clearObjectSelection();
  gRemovalQueue.push_back(aircraft.objectId);
  return false;
}

void lf_prepareLiveryChange(Act& aircraft) {
  try {
    if (aircraft.track.empty()) return;
    TrackPoint copy = aircraft.track.front();
    if (aircraft.phase != PHASE_PARKED) {
      const TrackPoint& front = aircraft.track.front();
      copy.latitude = aircraft.pose.latitude;
      copy.longitude = aircraft.pose.longitude;
      copy.roll = aircraft.pose.bank;
      copy.altitude = aircraft.pose.altitude;
      copy.stationary = copy.latitude == front.latitude && copy.longitude == front.longitude ? 1 : 0;
    } else {
      if (aircraft.track.size() >= 2) {
        gf_log(sk::format("{:8}: {} {} livery change stream.size: {} !", aircraft.key.callsign,
                          gf_standLabel(aircraft.standId), gf_utcNowString(), aircraft.track.size()));
        aircraft.track.resize(1);
      }
      aircraft.track.front().stationary = 1;
      aircraft.track.front().track = aircraft.pose.heading * RAD_TO_DEG;
      copy.stationary = 1;
    }
    copy.dueTick = static_cast<std::uint32_t>(gTick.load() + 1);
    aircraft.track.push_front(copy);
    aircraft.state = ACT_LIVERY_CHANGE;
  } catch (const std::exception&) {
    gf_log("hurry up");
  }
}

bool gf_userNearCourse(const Act& aircraft) {
  if (aircraft.track.empty()) return false;
  const TrackPoint& front = aircraft.track.front();
  const LatLon user = lf_userAt();
  const double distance = gf_distanceNm(user, lf_at(front));
  if (distance > 6.0 || std::abs(front.altitude - gUserAc.altitude) > 3000.0) return false;
  const double angle = gf_angleDifference(aircraft.targetHeading, gf_bearing(user, lf_at(front)));
  return distance * kFeetPerNm * std::abs(std::sin(angle)) <= 4000.0;
}

void gf_markCargoStand(const Act& aircraft, Stand& stand) {
  if (stand.cargo || !aircraft.cargo) return;
  stand.cargo = true;
  stand.cargoChanged = true;
  gf_noteStandUpdate();
  lf_logged(sk::format("{} stand: {}, cargo attribute set to true, {} parked here", gEngineParkAirport.code,
                       stand.name, gf_aircraftDescription(aircraft)));
}
