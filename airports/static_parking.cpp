#include "airports/static_parking.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>

#include "airports/airport_list.h"
#include "airports/apf_loading.h"
#include "airports/archived_files.h"
#include "airports/learned_save.h"
#include "airports/park_airports.h"
#include "airports/stand.h"
#include "airports/stand_options.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "core/random.h"
#include "core/util.h"
#include "liveries/dbase_lookups.h"
#include "platform/window.h"
#include "shell/app_state.h"
#include "shell/controls.h"
#include "shell/run_state.h"
#include "traffic/commands.h"
#include "traffic/engine.h"
#include "traffic/live_stayers.h"
#include "traffic/readers.h"
#include "traffic/stand_choice.h"
#include "traffic/stand_learning.h"
#include "traffic/user_aircraft.h"

std::atomic<std::int32_t> gUserMaxLive{-1};

namespace {

constexpr std::uint32_t kHalfHoursPerDay = 48;
constexpr std::int32_t kMaxFitLimit = 47;

// A static aircraft kept by the adjustment.
struct Stayer {
  std::string callsign;
  std::string firstCallsign;
  std::string secondCallsign;
  std::string registration;
  std::string airline;
  std::string type;
  DaySlot placed = 0;
  std::uint32_t standId = 0;
  bool leavesNextSlot = false;
};

struct Removal {
  std::string callsign;
  std::uint32_t standId = 0;
};

// The park airport's record beside its code (gParkAirportCode).
struct ParkAirportRecord {
  std::string iata;
  double latitude = 0.0;
  double longitude = 0.0;
  double altitude = 0.0;
};

// Main-loop state; the engine's guard covers the calls from other threads.
ParkAirportRecord gParkAirport;
bool gParkAirportChanged = false;
std::optional<LatLon> gLastUserPosition;
std::vector<Stayer> gStayers;
std::vector<Removal> gRemovals;
std::int32_t gRealPassFit = 0;
std::int32_t gSoftPassFit = -1;

float lf_hours(std::int64_t halfHours) { return static_cast<float>(halfHours) * 0.5F + 0.5F; }
std::string lf_hoursText(std::int64_t halfHours) { return gf_formatDecimal(lf_hours(halfHours)); }

void lf_repaint() {
  gf_invalidateMain(kStatusRect);
  gf_invalidateMain(kParkingRect);
}

std::int64_t lf_roundPercent(std::int64_t numerator, std::int64_t denominator) {
  return std::llround(static_cast<double>(numerator) / static_cast<double>(denominator));
}

void lf_setReservedStand(const std::string& name) {
  gReservedStand = name;
  gAppState.reservedStand.set(name);
}

void lf_setBusy(bool busy) { gAppState.staticParkingBusy.store(busy); }

void lf_block() {
  gf_blockParkingUi();
  lf_setBusy(true);
}

void lf_unblock() {
  gf_unblockParkingUi();
  lf_setBusy(false);
}

std::size_t lf_takenStands() {
  return static_cast<std::size_t>(std::count_if(gStands.begin(), gStands.end(), [](const Stand& s) { return s.taken; }));
}

void lf_appendWork(std::vector<StaticPlan>& work) {
  gStaticParkingList.insert(gStaticParkingList.end(), work.begin(), work.end());
  work.clear();
}

void lf_sortPlans(bool descending) {
  std::stable_sort(gStaticParkingList.begin(), gStaticParkingList.end(),
                   [descending](const StaticPlan& a, const StaticPlan& b) {
                     return descending ? a.startOffset > b.startOffset : a.startOffset < b.startOffset;
                   });
}

DaySlot lf_previousDay(DaySlot now) {
  const std::uint32_t day = gf_weekdayOf(now);
  return gf_makeDaySlot(day <= 1 ? 7 : day - 1, gf_slotOf(now));
}

// The weekday and half-hour at which a plan's stay began.
DaySlot lf_planBegin(DaySlot now, std::uint32_t startOffset) {
  std::uint32_t day = gf_weekdayOf(now);
  std::int64_t slot = static_cast<std::int64_t>(gf_slotOf(now)) - startOffset;
  while (slot < 0) {
    slot += kHalfHoursPerDay;
    day = day <= 1 ? 7 : day - 1;
  }
  return gf_makeDaySlot(day, static_cast<std::uint32_t>(slot));
}

// The aircraft was placed before the plan's stay began (a Monday begin comes
// after a Sunday placement, a Sunday begin before a Monday placement).
bool lf_placedBefore(DaySlot placed, DaySlot begin) {
  const std::uint32_t beginDay = gf_weekdayOf(begin);
  const std::uint32_t placedDay = gf_weekdayOf(placed);
  if (beginDay == 1 && placedDay == 7) return true;
  if (beginDay == 7 && placedDay == 1) return false;
  return beginDay > placedDay || (beginDay == placedDay && gf_slotOf(begin) > gf_slotOf(placed));
}

// Half-hours from the stamp back to now, within one week.
std::uint32_t lf_age(DaySlot now, DaySlot stamp) {
  const std::int64_t days = (static_cast<std::int64_t>(gf_weekdayOf(now)) - gf_weekdayOf(stamp) + 7) % 7;
  const std::int64_t age = days * kHalfHoursPerDay + gf_slotOf(now) - gf_slotOf(stamp);
  return static_cast<std::uint32_t>((age % 336 + 336) % 336);
}

Stayer lf_stayerOf(const StaticAct& aircraft) {
  return {aircraft.key.callsign,   aircraft.key.firstCallsign, aircraft.key.otherCallsign,
          aircraft.key.registration, aircraft.key.operatorCode, aircraft.key.type,
          aircraft.arrivalSlot,    aircraft.standId,           false};
}

void lf_remove(const StaticAct& aircraft) { gRemovals.push_back({aircraft.key.callsign, aircraft.standId}); }

struct ChooseContext {
  DaySlot now;
  std::vector<StaticPlan>& plans;
};

// Keeps or removes the aircraft for the first plan on an adjacent stand whose
// aircraft would touch it; false when no plan does.
bool lf_plannedNear(ChooseContext& context, const StaticAct& aircraft, std::uint32_t adjacentStand) {
  const Stand* stand = gf_standById(adjacentStand);
  if (!stand) return false;
  const double distance =
      gf_distanceNm({aircraft.standLatitude, aircraft.standLongitude}, {stand->latitude, stand->longitude});
  const auto plan = std::find_if(context.plans.begin(), context.plans.end(), [&](const StaticPlan& p) {
    return p.standId == adjacentStand && gf_wingspanOf(p.type) + aircraft.halfSpan > distance;
  });
  if (plan == context.plans.end()) return false;
  if (lf_placedBefore(aircraft.arrivalSlot, lf_planBegin(context.now, plan->startOffset))) {
    lf_remove(aircraft);
  } else {
    gStayers.push_back(lf_stayerOf(aircraft));
    context.plans.erase(plan);
  }
  return true;
}

bool lf_learnedHere(const Stand& stand, const StaticAct& aircraft, DaySlot now) {
  const std::int32_t limit = std::min(std::max(gRealPassFit, gSoftPassFit), kMaxFitLimit);
  const std::uint32_t today = gf_weekdayOf(now);
  const auto sameUse = [&](const StandOption& option, std::uint32_t day) {
    return option.id >= 1 && option.day == day && option.operatorCode == aircraft.key.operatorCode &&
           option.type == aircraft.key.type;
  };
  const std::int32_t slot = static_cast<std::int32_t>(gf_slotOf(now));
  std::int32_t unused = -1;
  for (const StandOption& option : stand.options) {
    if (sameUse(option, today) && testRange(option, slot, limit, unused)) return true;
  }
  // The look-back into yesterday depends on the slot and the limit alone, not
  // on whether today has an option of this airline and type: just after
  // midnight an aircraft of yesterday evening has none today.
  if (limit <= slot) return false;
  const std::int32_t remaining = std::min(limit - slot, 46);
  const std::uint32_t yesterday = gf_weekdayOf(lf_previousDay(now));
  for (const StandOption& option : stand.options)
    if (sameUse(option, yesterday) && testRange(option, kHalfHoursPerDay - 1, remaining, unused)) return true;
  return false;
}

// Puts a present static aircraft on the stayer list, on the removal list, or
// on neither.
void lf_chooseStands(ChooseContext& context, const StaticAct& aircraft) {
  if (aircraft.state != ACT_PRESENT) return;
  for (const std::string* callsign : {&aircraft.key.firstCallsign, &aircraft.key.otherCallsign}) {
    if (!callsign->empty() && gSeenCallsignSet.count(*callsign)) return lf_remove(aircraft);
  }
  const auto plan = std::find_if(context.plans.begin(), context.plans.end(),
                                 [&](const StaticPlan& p) { return p.standId == aircraft.standId; });
  if (plan != context.plans.end()) {
    const bool samePlan = plan->operatorCode == aircraft.key.operatorCode && plan->type == aircraft.key.type &&
                          (gf_equalsStarred(plan->firstCallsign, aircraft.key.callsign) ||
                           gf_equalsStarred(plan->secondCallsign, aircraft.key.callsign));
    if (!samePlan && lf_placedBefore(aircraft.arrivalSlot, lf_planBegin(context.now, plan->startOffset)))
      return lf_remove(aircraft);
    gStayers.push_back(lf_stayerOf(aircraft));
    context.plans.erase(plan);
    return;
  }
  const Stand* stand = gf_standById(aircraft.standId);
  if (stand) {
    for (std::uint32_t adjacent : stand->adjacent)
      if (lf_plannedNear(context, aircraft, adjacent)) return;
  }
  if (stand && lf_learnedHere(*stand, aircraft, context.now)) {
    gStayers.push_back(lf_stayerOf(aircraft));
    return;
  }
  lf_remove(aircraft);
}

// The stayer leaves in the next half-hour by its stand's learned use.
bool lf_leavesNextSlot(const Stayer& stayer, DaySlot now) {
  const Stand* stand = gf_standById(stayer.standId);
  if (!stand) return false;
  std::string callsign = stayer.callsign;
  if (!callsign.empty() && callsign.back() == '*') callsign.pop_back();
  const std::uint32_t today = gf_weekdayOf(now);
  const auto sameUse = [&](const StandOption& option) {
    return option.operatorCode == stayer.airline && option.type == stayer.type;
  };
  const auto own = std::find_if(stand->options.begin(), stand->options.end(), [&](const StandOption& option) {
    return option.id >= 1 && option.day == today && option.firstCallsign == callsign && sameUse(option);
  });
  if (own == stand->options.end()) return false;
  const std::uint32_t slot = gf_slotOf(now);
  if (slot + 1 < kHalfHoursPerDay) return !own->slots.test(slot + 1);
  const std::uint32_t tomorrow = today >= 7 ? 1 : today + 1;
  return std::none_of(stand->options.begin(), stand->options.end(), [&](const StandOption& option) {
    return option.id >= 1 && option.day == tomorrow && sameUse(option) && option.slots.test(0);
  });
}

void lf_unmarkStands() {
  for (Stand& stand : gStands) {
    stand.taken = false;
    stand.reserved = false;
    stand.nextToTaken = false;
  }
}

void lf_markStand(std::uint32_t standId) {
  if (Stand* stand = gf_standById(standId)) gf_markOptionStands(*stand);
}

// Static aircraft whose creation is queued count as standing: their stands
// must not be planned twice.
std::int32_t lf_markQueuedStatics() {
  std::int32_t queued = 0;
  for (const StaticAct& aircraft : gStaticActs) {
    if (aircraft.state != ACT_CREATION_REQUESTED || aircraft.eraseMark) continue;
    lf_markStand(aircraft.standId);
    ++queued;
  }
  return queued;
}

void lf_collectLiveStayers() {
  gLiveStayers.clear();
  gf_collectLiveStayers();
}

void lf_removeLiveAt(std::uint32_t standId) {
  for (Act& aircraft : gActs) {
    if (aircraft.standId == standId && aircraft.phase == PHASE_PARKED && aircraft.state == ACT_PRESENT) {
      gf_removeAct(aircraft);
      return;
    }
  }
}

// Runs one step of a sequence that must go on whatever an earlier step did.
template <typename Step>
void lf_guarded(const char* name, Step step) {
  try {
    step();
  } catch (const std::exception& error) {
    gf_log(sk::format("{}: {}", name, error.what()));
  }
}

void lf_applyQualityCheck() {
  const bool strict = gQualityFactor.real >= 45 && gStands.size() >= 20;
  gSoftLearningAllowed = !strict;
  if (!strict) {
    gf_enableControl(LEARN_SOFT, true);
    return;
  }
  if (!LEARN_SOFT.value) return;
  LEARN_SOFT.value = false;
  if (auto show = gf_parameterControlHooks().showCheck) show(LEARN_SOFT);
  gf_enableControl(LEARN_SOFT, false);
  gLearnSoftLocked = 1;
  gAirportParametersChanged.store(true);
}

// The park airport's entry of the user's list, with the stand the user
// aircraft stands on, at the front of the list.
void lf_recordUserStand() {
  if (!gUserStateKnown.load()) return;
  const std::string name = gf_standNameAt(gUserAc.latitude, gUserAc.longitude);
  const auto entry = std::find_if(gParkAirports.begin(), gParkAirports.end(),
                                  [](const ParkAirport& airport) { return airport.icao == gParkAirportCode; });
  if (entry == gParkAirports.end()) {
    gParkAirports.push_front({gParkAirportCode, name, gParkAirport.latitude, gParkAirport.longitude, 0.0});
    gf_saveMyParkAirport();
    return;
  }
  // A listed airport moves to the front with its reserved stand: a second entry
  // would stand beside it, and an empty stand name would be saved over the
  // user's reserved stand.
  gParkAirports.splice(gParkAirports.begin(), gParkAirports, entry);
  ParkAirport& first = gParkAirports.front();
  if (name.empty() || name == first.reservedStand) return;
  first.reservedStand = name;
  gf_saveMyParkAirport();
}

void lf_settleReservedStand() {
  const bool listedFirst = !gParkAirports.empty() && gParkAirports.front().icao == gParkAirportCode;
  const std::string name = listedFirst ? gParkAirports.front().reservedStand : std::string();
  if (!name.empty() && gf_findStand(name) != gStands.end()) {
    lf_setReservedStand(name);
    gAppState.reservedStandFound.store(true);
  } else {
    if (!name.empty()) gAppState.reservedStandFound.store(false);
    lf_setReservedStand({});
  }
}

void lf_clearParkAirport() {
  gParkAirportCode.clear();
  gParkAirport = {};
  gf_setTrafficParkAirport({});
  gAppState.parkAirportCode.clear();
  gAppState.parkAirportLabel.clear();
}

}  // namespace

// ---- Loading and planning ----

std::string lf_loadParkAirport() {
  gStands.clear();
  gf_clearStandLearning();
  const std::string location = gf_stockApfExists(gParkAirportCode);
  if (location.empty()) return sk::format("{} not found", gParkAirportCode);
  gParkApfInfo = ApfInfo{};
  std::string error;
  try {
    error = gf_readApf(location, gParkApfInfo, gQualityFactor);
  } catch (const qlx::UserErrorException& refused) {
    // A duplicate id or a missing altitude refuses this file, not the run.
    error = refused.what();
  }
  if (error.empty()) {
    lf_applyQualityCheck();
    lf_recordUserStand();
    gStands.shrink_to_fit();
    lf_settleReservedStand();
  } else {
    // The reader may have set the active flag before it failed: a failed load
    // must never save its learned file when it is closed.
    gParkAirportLoaded.store(0);
  }
  gAppState.parkAirportActive.store(gParkAirportLoaded.load() != 0);
  gAppState.parkFileLoaded.store(error.empty());
  gAppState.parkAirportText1.set(location);
  lf_repaint();
  gStandUpdateCount.store(0);
  gAppState.updateCount.store(0);
  return error;
}

DaySlot lf_dayBanner() {
  const DaySlot now = gf_currentSlot();
  const std::uint32_t day = gf_weekdayOf(now);
  gf_log(sk::format("\n{} (utc) It is day {} ({}), {} hours", gf_timeOfDay(), day,
                    gf_dayName(static_cast<int>(day)), lf_hoursText(gf_slotOf(now))));
  return now;
}

bool lf_collectPlans(DaySlot now, std::uint32_t kind, std::int64_t wanted, std::vector<StaticPlan>& work) {
  const std::size_t before = lf_takenStands();
  bool reached = false;
  std::int32_t fit = 0;
  for (;; ++fit) {
    lf_searchStands(now, kind, static_cast<std::uint32_t>(fit), work);
    if (static_cast<std::int64_t>(lf_takenStands()) >= wanted) {
      reached = true;
      break;
    }
    lf_appendWork(work);
    if (fit >= MAX_FIT.value) break;
  }
  if (kind == OPTION_REAL) {
    gRealPassFit = fit;
    gSoftPassFit = -1;
  } else {
    gSoftPassFit = fit;
  }
  const std::int64_t found = static_cast<std::int64_t>(lf_takenStands()) - static_cast<std::int64_t>(before);
  if (found >= 1) {
    const std::uint32_t slot = gf_slotOf(now);
    const std::string dayText = WEEK.value ? std::string(", week") : sk::format(", day {}", gf_weekdayOf(now));
    gf_log(sk::format("{} {} position{} found, Max fit={} hours{}{}", found, kind == OPTION_REAL ? "real" : "soft",
                      found > 1 ? "s" : "", lf_hoursText(MAX_FIT.value), dayText,
                      sk::format(", hh:{} or {} hrs", slot, lf_hoursText(slot)) +
                          sk::format(" fit: {} hour", lf_hoursText(fit))));
  }
  gAppState.staticMark.store(kind == OPTION_SOFT && found >= 1);
  lf_repaint();
  return reached;
}

void lf_shufflePlans(std::int64_t count, std::vector<StaticPlan>& work) {
  gf_shuffle(work);
  for (; count > 0 && !work.empty(); --count) work.pop_back();
}

void lf_dropPlans(std::int64_t count) {
  for (; count > 0 && !gStaticParkingList.empty(); --count) gStaticParkingList.pop_back();
}

void lf_fillStaticPlans(DaySlot now, std::int64_t wanted, std::int32_t present) {
  std::vector<StaticPlan> work;
  const auto settle = [&] {
    const std::int64_t excess = static_cast<std::int64_t>(gStaticParkingList.size()) - wanted + present;
    if (excess >= 1 && !work.empty()) lf_shufflePlans(excess, work);
    lf_appendWork(work);
    const std::int64_t over = static_cast<std::int64_t>(gStaticParkingList.size()) - wanted + present;
    if (over >= 1) lf_dropPlans(over);
  };
  if (lf_collectPlans(now, OPTION_REAL, wanted, work)) settle();
  const bool short_ = static_cast<std::int64_t>(gStaticParkingList.size()) + present < wanted;
  if (short_ && (PARK_SOFT.value || PARK_FAKE.value) && lf_collectPlans(now, OPTION_SOFT, wanted, work)) settle();
  work.clear();
}

void lf_markReservedStand() {
  if (!gReservedStand.empty()) {
    const auto reserved = gf_findStand(gReservedStand);
    if (reserved != gStands.end()) reserved->reserved = true;
  }
  const std::string under = gf_standNameAt(gUserAc.latitude, gUserAc.longitude);
  if (under.empty() || under == gReservedStand) return;
  const auto stand = gf_findStand(under);
  if (stand != gStands.end()) stand->reserved = true;
}

// ---- Control ----

std::int32_t lf_wantedParkedCount() {
  const std::int64_t percent =
      CUSTOM_PARKING_PERCENTAGE.value >= 0 ? CUSTOM_PARKING_PERCENTAGE.value : parking_percentage.value;
  const std::int64_t stands = static_cast<std::int64_t>(gStands.size());
  std::int64_t wanted = 1;
  if (stands > 1 && (stands > 3 || percent >= 50)) wanted = lf_roundPercent(percent * stands, 100);
  std::int64_t shown = percent;
  if (CUSTOM_MAX_PARK.value != CUSTOM_MAX_PARK.defaultValue) {
    wanted = std::min<std::int64_t>(CUSTOM_MAX_PARK.value, wanted);
    shown = stands < 1 ? 0 : lf_roundPercent(wanted * 100, stands);
  }
  gAppState.maxPark.store(static_cast<std::int32_t>(wanted));
  gAppState.maxParkPercentage.store(static_cast<std::int32_t>(shown));
  lf_repaint();
  return static_cast<std::int32_t>(wanted);
}

bool lf_showParkAirport(const std::string& icao) {
  const std::optional<Airport> airport = gf_findAirport(icao);
  if (!airport) return false;
  gParkAirportCode = airport->code;
  gParkAirport = {airport->iata, airport->lat, airport->lon, airport->alt};
  const std::string label = gf_airportLabel(*airport);
  gf_setTrafficParkAirport({airport->code, label, airport->lat, airport->lon, airport->alt});
  gAppState.parkAirportCode.set(airport->code);
  gAppState.parkAirportLabel.set(label);
  lf_repaint();
  gf_log(sk::format("The park airport is {}", label));
  return true;
}

void lf_calculatingStaticParking(bool showMessage) {
  lf_block();
  gTrafficReader.clearSeenCallsigns();
  gTrafficReader.setCollectCallsigns(true);
  if (showMessage) gf_showMessage("Calculating static parked aircraft ...", false);
}

void lf_userAtAirport(const LatLon& position, bool showCalculating) {
  if (gUserOnGround.load()) {
    const std::optional<Airport> airport = gf_findClosestAirport(position);
    ServerAnswer answer = ServerAnswer::Failed;
    if (!airport) {
      gf_showMessage("User aircraft on the ground, no airport in sight", true);
    } else if (lf_ensureAirportFile(airport->code, &answer)) {
      gf_log(sk::format("User aircraft on the ground at {}", airport->code));
      lf_showParkAirport(airport->code);
      gParkAirportChanged = true;
      lf_calculatingStaticParking(showCalculating);
    } else if (answer != ServerAnswer::Cancelled) {
      // A probe that an exit ended says nothing of the airport.
      gf_showMessage(sk::format("User aircraft on the ground at {}", airport->code) + ", no airport file found", true);
    }
    return;
  }
  gf_enableControl(DESTINATION, true);
  if (gParkAirports.empty()) return;
  const ParkAirport& first = gParkAirports.front();
  const double distance = gf_distanceNm(position, {first.lat, first.lon});
  if (distance <= AIRPORT_RANGE.value && gUserAc.altitudeAboveGround <= AIRPORT_HEIGHT.value &&
      lf_showParkAirport(first.icao)) {
    gf_showMessage(sk::format("{} in sight at {:.1F} nm", first.icao, distance), true);
    gParkAirportChanged = true;
    lf_calculatingStaticParking(false);
  }
}

void lf_parkAirportSight(const LatLon& position) {
  if (gUserOnGround.load()) return;
  const double parkDistance = gf_distanceNm(position, {gParkAirport.latitude, gParkAirport.longitude});
  const auto inSight = [](double distance) {
    return distance <= AIRPORT_RANGE.value && gUserAc.altitudeAboveGround <= AIRPORT_HEIGHT.value;
  };
  const std::string label =
      gf_airportLabel(Airport{gParkAirportCode, gParkAirport.iata, gParkAirport.latitude, gParkAirport.longitude, 0.0});
  if (!inSight(parkDistance)) {
    gf_log(sk::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed", gf_timeOfDay(), label,
                      parkDistance));
    gf_leaveParkAirport();
    return;
  }
  if (gParkAirports.empty() || gParkAirports.front().icao == gParkAirportCode) return;
  const ParkAirport& first = gParkAirports.front();
  const double firstDistance = gf_distanceNm(position, {first.lat, first.lon});
  if (!inSight(firstDistance) || parkDistance < firstDistance) return;
  gf_log(sk::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first", gf_timeOfDay(),
                    first.icao, firstDistance, label));
  gf_leaveParkAirport();
}

void lf_setupStaticParking() {
  const DaySlot now = lf_dayBanner();
  gf_showMessage("Making changes to airport parking parameters is disabled while static parking takes place ...", false);
  gStaticParkingList.clear();
  gStayers.clear();
  gLiveStayers.clear();
  gAppState.staticAverageFit.store(-1.0F);
  gAppState.liveAverageFit.store(-1.0F);
  gAppState.staticMark.store(false);
  lf_repaint();
  lf_resetStandUsage();
  lf_unmarkStands();
  lf_markReservedStand();
  const std::int32_t wanted = lf_wantedParkedCount();
  if (wanted > static_cast<std::int64_t>(gStaticParkingList.size()))
    lf_fillStaticPlans(now, wanted, static_cast<std::int32_t>(gStaticParkingList.size()));
  lf_sortPlans(false);
  while (static_cast<std::int64_t>(gStaticParkingList.size()) > wanted) gStaticParkingList.pop_back();
  const std::int64_t entries = static_cast<std::int64_t>(gStaticParkingList.size());
  const std::int64_t ratio = gStands.empty() ? 0 : lf_roundPercent(entries * 100, static_cast<std::int64_t>(gStands.size()));
  if (entries >= 1) {
    gf_log(sk::format("{} positions ({}% vs wanted {}%, with Max fit={} hours)\n", entries, ratio,
                      parking_percentage.value, lf_hoursText(MAX_FIT.value)));
    lf_sortPlans(true);
    lf_block();
  } else {
    gf_log("no parking positions found");
    lf_unblock();
  }
}

void gf_parkingAdjustments() {
  std::lock_guard guard(gEngineMutex);
  const DaySlot now = lf_dayBanner();
  lf_resetStandUsage();
  lf_block();
  gAppState.staticMark.store(false);
  lf_repaint();

  gRemovals.clear();
  gStayers.clear();
  gLiveStayers.clear();
  gStaticParkingList.clear();
  for (Stand& stand : gStands) {
    stand.taken = false;
    stand.reserved = false;
    stand.nextToTaken = false;
    std::uint32_t id = 0;
    for (StandOption& option : stand.options) option.id = ++id;
  }
  lf_markReservedStand();

  const std::int32_t wanted = lf_wantedParkedCount();
  lf_collectLiveStayers();
  if (wanted >= 1 && static_cast<std::int64_t>(gLiveStayers.size()) > wanted) {
    const std::int64_t more = static_cast<std::int64_t>(gLiveStayers.size()) - wanted;
    gf_showMessage(sk::format("Parking adjustments: {} more live ac than wanted", more), true);
    gf_removeLongestParked(more);
    lf_collectLiveStayers();
  }
  for (const LiveStayer& stayer : gLiveStayers) lf_markStand(stayer.standId);
  const std::int32_t queued = lf_markQueuedStatics();

  const std::int32_t present = static_cast<std::int32_t>(gLiveStayers.size()) + queued;
  if (wanted > present) lf_fillStaticPlans(now, wanted, present);

  ChooseContext context{now, gStaticParkingList};
  for (const StaticAct& aircraft : gStaticActs) lf_chooseStands(context, aircraft);

  // Most recent first, by age against now: a weekday order that wraps from
  // Sunday to Monday is no strict order and cannot be sorted by.
  std::stable_sort(gStayers.begin(), gStayers.end(),
                   [now](const Stayer& a, const Stayer& b) { return lf_age(now, a.placed) < lf_age(now, b.placed); });

  for (Stayer& stayer : gStayers) {
    if (stayer.secondCallsign.empty() || stayer.callsign.find(stayer.firstCallsign) == std::string::npos) continue;
    stayer.leavesNextSlot = lf_leavesNextSlot(stayer, now);
  }
  for (const Stayer& stayer : gStayers) {
    if (!stayer.leavesNextSlot) continue;
    gStaticParkingList.push_back(StaticPlan{stayer.standId, gf_slotOf(stayer.placed), stayer.airline, stayer.type,
                                            stayer.firstCallsign, stayer.secondCallsign, stayer.registration, 0});
    gRemovals.push_back({stayer.callsign, stayer.standId});
  }
  std::erase_if(gStayers, [](const Stayer& stayer) { return stayer.leavesNextSlot; });

  lf_sortPlans(false);
  std::int64_t excess = static_cast<std::int64_t>(gStaticParkingList.size() + gLiveStayers.size() + gStayers.size()) +
                        queued - wanted;
  for (; excess >= 1; --excess) {
    if (!gStaticParkingList.empty()) {
      gStaticParkingList.pop_back();
    } else if (!gStayers.empty()) {
      gRemovals.push_back({gStayers.back().callsign, gStayers.back().standId});
      gStayers.pop_back();
    } else {
      break;
    }
  }
  if (!INITIAL_LOAD_ONLY.value) {
    for (; excess >= 1 && !gLiveStayers.empty(); --excess) {
      lf_removeLiveAt(gLiveStayers.back().standId);
      gLiveStayers.pop_back();
    }
  }

  lf_sortPlans(true);
  gf_showMessage(sk::format("Parking adjustments: {} to be removed, {} to be added\n", gRemovals.size(),
                            gStaticParkingList.size()),
                 true);
  // Only aircraft still in the simulator: one whose removal was already
  // requested would have its object queued twice, and the one meant to go stay.
  for (auto removal = gRemovals.rbegin(); removal != gRemovals.rend(); ++removal) {
    const auto aircraft = std::find_if(gStaticActs.begin(), gStaticActs.end(), [&](const StaticAct& a) {
      return a.standId == removal->standId && a.state == ACT_PRESENT;
    });
    if (aircraft != gStaticActs.end()) gf_removeAct(*aircraft);
  }
  if (!gStaticParkingList.empty()) lf_block();
}

void lf_saveApfIfChanged() {
  if (gParkAirportLoaded.load() && (gAirportParametersChanged.load() || gStandUpdateCount.load() >= 1)) {
    lf_saveParkAirportFile();
    gStandUpdateCount.store(0);
  }
  gHandmadeAirport = false;
  gParkAirportLoaded.store(0);
  gAppState.parkAirportActive.store(false);
  gAppState.handMadeMark.store(false);
  gAppState.qualityText.clear();
  gf_enableControl(gFlushStaticButton, false);
  gf_enableControl(parking_percentage, false);
  lf_clearParkAirport();
  gParkAirportChanged = false;

  gAppState.maxPark.store(0);
  gAppState.maxParkPercentage.store(0);
  gAppState.standCount.store(0);
  gAppState.updateCount.store(0);
  gAppState.staticMark.store(false);
  gAppState.reservedStandFound.store(false);
  gAppState.parkFileLoaded.store(false);
  gAppState.staticAverageFit.store(-1.0F);
  gAppState.liveAverageFit.store(-1.0F);
  gRemovals.clear();
  gStaticParkingList.clear();
  gStands.clear();
  gf_clearStandLearning();
  gAppState.parkAirportText1.clear();
  gAppState.parkAirportText2.clear();
  lf_repaint();
}

void gf_leaveParkAirport() {
  std::lock_guard guard(gEngineMutex);
  lf_guarded("gf_leaveParkAirport, static", [] {
    gStaticParkingList.clear();
    gf_removeStaticParked();
  });
  lf_guarded("gf_leaveParkAirport, live", [] {
    std::vector<std::string> queued;
    for (Act& aircraft : gActs) {
      if (aircraft.phase != PHASE_PARKED && aircraft.phase > PHASE_LIFTOFF) continue;
      gf_freeStandOf(aircraft);
      aircraft.standId = 0;
      if (aircraft.state == ACT_PRESENT) gf_removeAct(aircraft);
      if (aircraft.state == ACT_CREATION_REQUESTED) queued.push_back(aircraft.key.callsign);
    }
    // A withdrawal may take records out of gActs: each callsign is looked up again.
    for (const std::string& callsign : queued) {
      if (gf_withdrawQueuedCreation(callsign)) continue;
      for (Act& aircraft : gActs)
        if (aircraft.key.callsign == callsign && aircraft.state == ACT_CREATION_REQUESTED) aircraft.removeWhenCreated = 1;
    }
  });
  lf_guarded("gf_leaveParkAirport, save", [] { lf_saveApfIfChanged(); });
  lf_guarded("gf_leaveParkAirport, MAX_LIVE", [] {
    const std::int32_t own = gUserMaxLive.load();
    if (MAX_LIVE.value == own) return;
    MAX_LIVE.value = own;
    gf_showIntParameter(MAX_LIVE);
    gf_trimLiveToMax();
  });
}

namespace {
// Nearest first, unless a destination holds the front.
void lf_orderParkAirports(const LatLon& position) {
  if (!DESTINATION.value().empty()) return;
  for (ParkAirport& airport : gParkAirports)
    airport.distance = gf_distanceNm(position, {airport.lat, airport.lon});
  gParkAirports.sort([](const ParkAirport& a, const ParkAirport& b) { return a.distance < b.distance; });
}
}  // namespace

// Finding and loading an airport's file may download it, which holds this
// loop for the transfer's limits at most (and not again before the file's
// back-off ends, airports/archived_files.h): that runs outside the engine's
// guard, which only the planning and the counts take (the removals take it
// themselves).
void gf_checkParkAirport(bool atStart) {
  if (gParkingUiBlocked.load() && gStaticParkingList.empty()) {
    std::lock_guard guard(gEngineMutex);
    lf_unblock();
    gf_clearMessage();
    gf_countStaticAtSlot(true);
    gf_countLiveParkedAtSlot(true);
  }
  if (gParkAirportChanged) {
    gf_clearMessage();
    gParkAirportChanged = false;
    const std::string error = lf_loadParkAirport();
    std::lock_guard guard(gEngineMutex);
    if (error.empty()) {
      lf_setupStaticParking();
    } else {
      gf_showMessage(error, true);
      lf_saveApfIfChanged();
    }
    gf_enableControl(DESTINATION, true);
    return;
  }
  const LatLon position{gUserAc.latitude, gUserAc.longitude};
  if (gf_isNullPosition(position.lat, position.lon)) return;
  if (!gParkAirports.empty()) {
    const bool unchanged = gLastUserPosition && gLastUserPosition->lat == position.lat &&
                           gLastUserPosition->lon == position.lon;
    if (unchanged) {
      ParkAirport& first = gParkAirports.front();
      first.distance = gf_distanceNm(position, {first.lat, first.lon});
    } else {
      gLastUserPosition = position;
      lf_orderParkAirports(position);
    }
  }
  if (!gParkAirportCode.empty()) {
    lf_parkAirportSight(position);
  } else {
    lf_userAtAirport(position, atStart);
  }
}

bool gf_parkAirportLoadPending() { return gParkAirportChanged; }

namespace {
bool lf_moveToFront(const std::string& icao) {
  const auto entry = std::find_if(gParkAirports.begin(), gParkAirports.end(),
                                  [&](const ParkAirport& airport) { return airport.icao == icao; });
  if (entry == gParkAirports.end()) return false;
  gParkAirports.splice(gParkAirports.begin(), gParkAirports, entry);
  return true;
}

// The destination holds the front of the list; one not listed is added, and
// the file saved.
void lf_putFirst(const std::string& icao, double latitude, double longitude) {
  if (lf_moveToFront(icao)) return;
  gParkAirports.push_front({icao, std::string(), latitude, longitude, 0.0});
  gf_saveMyParkAirport();
}
}  // namespace

bool gf_reloadParkAirports(bool applyReservedStand, std::string& message) {
  std::lock_guard guard(gEngineMutex);
  if (!lf_readMyParkAirports()) return false;
  // The file keeps its lines sorted by code: the list goes back to the order
  // the control step keeps, or the park airport is seldom found first.
  const std::string destination = DESTINATION.value();
  const LatLon position{gUserAc.latitude, gUserAc.longitude};
  // As choosing the destination put it: an unknown code is not added.
  if (!destination.empty()) {
    if (const std::optional<Airport> airport = gf_findAirport(destination))
      lf_putFirst(destination, airport->lat, airport->lon);
    else
      lf_moveToFront(destination);
  } else if (!gf_isNullPosition(position.lat, position.lon)) {
    lf_orderParkAirports(position);
  }
  if (applyReservedStand && gUserStateKnown.load() && !gParkingUiBlocked.load() && !gParkAirports.empty() &&
      !gParkAirportCode.empty() && gParkAirports.front().icao == gParkAirportCode) {
    const std::string wanted = gParkAirports.front().reservedStand;
    if (gAppState.userStand.empty() && !wanted.empty() && wanted != gReservedStand) {
      message = sk::format("reserved stand changed from \"{}\" to \"{}\"", gReservedStand, wanted);
      if (const auto old = gf_findStand(gReservedStand); old != gStands.end()) old->reserved = false;
      lf_setReservedStand(wanted);
      gf_freeReservedStand();
      const auto stand = gf_findStand(wanted);
      if (stand != gStands.end()) stand->reserved = true;
      gAppState.reservedStandFound.store(stand != gStands.end());
      lf_repaint();
    }
  }
  if (message.empty()) message = "park airports and stands are okay";
  return true;
}

void gf_selectParkAirport(const std::string& icao, double latitude, double longitude) {
  std::lock_guard guard(gEngineMutex);
  lf_putFirst(icao, latitude, longitude);
}

bool gf_hasParkStands() { return !gStands.empty(); }

void gf_resetParkControl() {
  std::lock_guard guard(gEngineMutex);
  gParkAirportChanged = false;
  gLastUserPosition.reset();
  gStayers.clear();
  gRemovals.clear();
  gRealPassFit = 0;
  gSoftPassFit = -1;
}
