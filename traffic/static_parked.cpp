// Static parked aircraft: one created per eligible 50th tick from the plans of
// static parking, and the removals of those a live aircraft now stands for.
#include "traffic/static_parked.h"

#include <algorithm>

#include "airports/stand.h"
#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "liveries/matching_ladder.h"
#include "traffic/arbitration.h"
#include "traffic/commands.h"
#include "traffic/engine.h"
#include "traffic/placement.h"
#include "traffic/stand_choice.h"

std::uint32_t gStaticHexidCounter = 0;

namespace {

constexpr std::int64_t kHalfHoursPerDay = 48;
constexpr std::int64_t kHalfHoursPerWeek = 7 * kHalfHoursPerDay;
constexpr std::uint32_t kStaticHexids = 10000;
constexpr double kRadiansToDegrees = 57.29577951308232;

void lf_logged(const std::string& text) {
  if (LOG.value) gf_log(text);
}

// The next hexid after the counter, 9999 wrapping to 0, skipping the hexids of
// static aircraft still known: their placement and removal find them by hexid.
std::uint32_t lf_nextStaticHexid() {
  for (std::uint32_t tried = 0; tried < kStaticHexids; ++tried) {
    gStaticHexidCounter = (gStaticHexidCounter + 1) % kStaticHexids;
    if (!gf_findStatic(gStaticHexidCounter)) return gStaticHexidCounter;
  }
  return gStaticHexidCounter;
}

std::string lf_staticCallsign(const StaticPlan& plan, std::uint32_t hexid) {
  if (plan.firstCallsign.empty()) return sk::format("{}{}{}", plan.operatorCode, hexid, "*");
  std::string callsign = plan.firstCallsignUsed ? plan.firstCallsign : plan.secondCallsign;
  while (!callsign.empty() && callsign.back() == '_') callsign.pop_back();
  if (callsign.empty() || callsign.back() != '*') callsign += '*';
  return callsign;
}

// A live aircraft taxiing to or parked at the stand or beside it stops the plan.
bool lf_liveOnOrBeside(const StaticPlan& plan, const Stand* stand) {
  for (const Act& live : gActs) {
    if ((live.phase != PHASE_TAXI_TO_STAND && live.phase != PHASE_PARKED) || live.standId == 0) continue;
    if (live.standId == plan.standId) {
      lf_logged(sk::format("{:8}: no static parking for {}, live aircraft {} standing here",
                           gf_standLabel(plan.standId), plan.firstCallsign, live.key.callsign));
      return true;
    }
    if (stand && std::find(stand->adjacent.begin(), stand->adjacent.end(), live.standId) != stand->adjacent.end()) {
      lf_logged(sk::format("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding",
                           gf_standLabel(plan.standId), plan.firstCallsign, live.key.callsign,
                           gf_standLabel(live.standId)));
      return true;
    }
  }
  return false;
}

bool lf_sameText(const std::string& a, const std::string& b) { return !a.empty() && a == b; }

bool lf_isCoupled(const std::string& callsign, const StaticAct& aircraft) {
  return lf_sameText(callsign, aircraft.key.firstCallsign) || lf_sameText(callsign, aircraft.key.otherCallsign);
}

}  // namespace

std::int64_t gf_halfHoursParked(DaySlot arrival, DaySlot now) {
  const std::int64_t day = gf_weekdayOf(now);
  const std::int64_t arrivalDay = gf_weekdayOf(arrival);
  std::int64_t stay = (day - arrivalDay) * kHalfHoursPerDay + gf_slotOf(now) - gf_slotOf(arrival);
  if (day == 1 && arrivalDay == 7) stay += kHalfHoursPerWeek;
  return std::max<std::int64_t>(stay, 0);
}

std::int64_t gf_slotAge(DaySlot arrival, DaySlot now) {
  const auto positive = [](std::int64_t value, std::int64_t modulus) { return ((value % modulus) + modulus) % modulus; };
  const std::int64_t days = positive(std::int64_t{gf_weekdayOf(now)} - gf_weekdayOf(arrival), 7);
  return positive(days * kHalfHoursPerDay + gf_slotOf(now) - gf_slotOf(arrival), kHalfHoursPerWeek);
}

DaySlot gf_slotsBefore(DaySlot now, std::uint32_t halfHours) {
  std::int64_t day = gf_weekdayOf(now);
  std::int64_t slot = std::int64_t{gf_slotOf(now)} - halfHours;
  while (slot < 0) {
    slot += kHalfHoursPerDay;
    day = day == 1 ? 7 : day - 1;
  }
  return gf_makeDaySlot(static_cast<std::uint32_t>(day), static_cast<std::uint32_t>(slot));
}

void lf_createStaticFromPlan() {
  if (gStands.empty()) return;
  const StaticPlan plan = std::move(gStaticParkingList.back());
  gStaticParkingList.pop_back();
  const Stand* stand = gf_standById(plan.standId);
  if (lf_liveOnOrBeside(plan, stand)) return;
  if (!stand) {
    gf_log(sk::format("stand with id {} not found", plan.standId));
    return;
  }
  const std::uint32_t hexid = lf_nextStaticHexid();
  ModelKey key;
  key.operatorCode = plan.operatorCode;
  key.type = plan.type;
  key.callsign = lf_staticCallsign(plan, hexid);
  key.firstCallsign = plan.firstCallsign;
  key.otherCallsign = plan.secondCallsign;
  key.registration = plan.registration;
  ActBase base(std::move(key));
  base.hexid = hexid;
  StaticAct& aircraft = gStaticActs.emplace_back(std::move(base), stand->index, stand->latitude, stand->longitude,
                                                 stand->heading, stand->cargo);
  if (!gf_matchLiveryStatic(aircraft, stand->name, stand->cargo)) {
    gStaticActs.pop_back();
    return;
  }
  aircraft.arrivalSlot = gf_slotsBefore(gf_currentSlot(), plan.startOffset);
  aircraft.state = ACT_CREATION_REQUESTED;
  CreateReq request;
  request.initPos.Latitude = stand->latitude;
  request.initPos.Longitude = stand->longitude;
  request.initPos.Heading = stand->heading * kRadiansToDegrees;
  request.initPos.OnGround = 1;
  request.tailNumber = aircraft.key.callsign;
  request.liveryTitle = aircraft.liveryTitle;
  request.hexid = hexid;
  gCreationQueue.push_back(std::move(request));
}

bool gf_replaceSameRegcode(const TwinKey& key, const StaticAct& aircraft) {
  if (aircraft.state != ACT_PRESENT) return false;
  const ModelKey& live = key.live.key;
  const char* where = key.onGround ? "on ground" : "airborne";
  if (lf_sameText(live.registration, aircraft.key.registration)) {
    lf_logged(sk::format("{:8}: {:8} {} removed, new {} {} has same regcode {}", gf_standLabel(aircraft.standId),
                         aircraft.key.callsign, aircraft.key.registration, where, live.callsign, live.registration,
                         live.registration));
    return true;
  }
  const bool ghost = !live.callsign.empty() && live.callsign.back() == '_';
  if (!lf_isCoupled(live.callsign, aircraft) && !lf_isCoupled(live.otherCallsign, aircraft) &&
      !(ghost && lf_isCoupled(key.callsignLessLast, aircraft)))
    return false;
  lf_logged(sk::format("{:8}: {:8} \"{} {}\" removed, new {} {} \"{} {}\" has {} callsign",
                       gf_standLabel(aircraft.standId), aircraft.key.callsign, aircraft.key.firstCallsign,
                       aircraft.key.otherCallsign, where, live.callsign, live.firstCallsign, live.otherCallsign,
                       aircraft.key.firstCallsign == live.callsign ? "same" : "coupled"));
  return true;
}

void gf_serveArrivedAircraft(DaySlot now) {
  std::lock_guard guard(gEngineMutex);
  if (gTwinCheckHexids.empty()) return;
  const std::uint32_t hexid = gTwinCheckHexids.front();
  gTwinCheckHexids.pop_front();
  Act* live = gf_findAct(hexid);
  if (!live) return;
  if (!live->key.coupledSearched) {
    lf_searchForCoupledCsAroundThisTime(now, *live);
    live->key.coupledSearched = true;
  }
  const std::string& callsign = live->key.callsign;
  if (callsign.empty()) return;
  const TwinKey key{*live, callsign.substr(0, callsign.size() - 1), live->onGround};
  for (StaticAct& aircraft : gStaticActs) {
    if (!gf_replaceSameRegcode(key, aircraft)) continue;
    gf_removeAct(aircraft);
    return;
  }
}

void gf_removeStaticTwin(const Act& live) {
  if (!live.onGround || live.state != ACT_PRESENT) return;
  std::lock_guard guard(gEngineMutex);
  const std::string twin = live.key.callsign + "*";
  for (StaticAct& aircraft : gStaticActs) {
    const bool hit = aircraft.key.callsign == twin || lf_sameText(live.key.registration, aircraft.key.registration);
    if (!hit || aircraft.state != ACT_PRESENT) continue;
    gf_removeAct(aircraft);
    return;
  }
}

void gf_removeStaticParked() {
  std::lock_guard guard(gEngineMutex);
  // Withdrawals only mark: the walk sees every aircraft once; the motion pass compacts.
  for (StaticAct& aircraft : gStaticActs) {
    if (aircraft.eraseMark) continue;
    if (aircraft.state == ACT_PRESENT) {
      gf_removeAct(aircraft);
    } else if (aircraft.state == ACT_CREATION_REQUESTED && gf_withdrawStaticCreation(aircraft.key.callsign) == 0) {
      aircraft.removeWhenCreated = 1;
    }
  }
}
