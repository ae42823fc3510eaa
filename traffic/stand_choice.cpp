#include "traffic/stand_choice.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "airports/apf_loading.h"
#include "airports/learned_save.h"
#include "airports/stand_options.h"
#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/random.h"
#include "liveries/dbase_lookups.h"
#include "shell/app_state.h"
#include "traffic/engine.h"
#include "traffic/live_stayers.h"
#include "traffic/stand_learning.h"

namespace {

constexpr double kFitMargin = 1.8 * NM_PER_METRE;        // an aircraft this much wider than a stand still fits it
constexpr double kOversizedReach = 20.0 * NM_PER_METRE;  // an aircraft too wide for a stand takes it this close
constexpr double kLearnedReach = 85.0 * NM_PER_METRE;
constexpr double kShrinkMargin = 1.0 * NM_PER_METRE;
constexpr double kNoDistance = 900.0;
constexpr double kSoftLearningReach = 5.0;   // nm from the park airport
constexpr double kSoftLearningAgl = 2500.0;  // feet
constexpr double kSmallHalfSpan = 17.8 * NM_PER_METRE;
constexpr double kSmallStep = 14.0 * NM_PER_METRE;
constexpr double kLargeStep = 21.0 * NM_PER_METRE;
constexpr AircraftCategory kRotorcraft = 5;
constexpr std::uint32_t kHalfHours = 48;
constexpr std::size_t kRetryStandLimit = 10;  // airports this small look one half-hour further

bool lf_fits(const ActBase& aircraft, const Stand& stand) { return aircraft.halfSpan - stand.radius <= kFitMargin; }

// One stand the recursive search may give: its place in gStands, size class and match.
struct Candidate {
  std::size_t index = 0;
  std::int64_t sizeClass = 0;
  int match = 0;
};

enum class SizeClasses { Step, Fallback };

// One pass over the stands of a kind, in list order: a stand no larger in
// class and no worse in match than the best so far joins the candidates.
template <typename Kind>
void lf_collectPass(std::vector<Candidate>& candidates, DaySlot slot, const ActBase& aircraft, SizeClasses classes,
                    bool fitNeeded, Kind kind) {
  const double step = aircraft.halfSpan <= kSmallHalfSpan ? kSmallStep : kLargeStep;
  std::int64_t bestClass = 100;
  int bestMatch = 0;
  for (std::size_t i = 0; i < gStands.size(); ++i) {
    const Stand& stand = gStands[i];
    if (!kind(stand) || (fitNeeded && !lf_fits(aircraft, stand)) || !gf_slotFreeForDay(stand.options, slot)) continue;
    const std::int64_t sizeClass = classes == SizeClasses::Step
                                       ? std::llround((stand.radius - aircraft.halfSpan) / step)
                                       : std::llround(std::fabs(aircraft.halfSpan - stand.radius));
    const int match = gf_anyOptionMatches(stand.options, aircraft.key.callsign, aircraft.key) ? 1 : 0;
    if (sizeClass <= bestClass && match >= bestMatch) {
      candidates.push_back({i, sizeClass, match});
      bestClass = sizeClass;
      bestMatch = match;
    }
  }
}

bool lf_gate(const Stand& stand) { return !stand.cargo && !stand.heli && !stand.ramp; }
bool lf_ramp(const Stand& stand) { return !stand.cargo && !stand.heli && stand.ramp; }

std::vector<Candidate> lf_collectCandidates(DaySlot slot, const ActBase& aircraft) {
  std::vector<Candidate> found;
  using enum SizeClasses;
  const auto pass = [&](SizeClasses classes, bool fitNeeded, auto kind) {
    if (found.empty()) lf_collectPass(found, slot, aircraft, classes, fitNeeded, kind);
  };
  const auto heli = [](const Stand& s) { return s.heli; };
  const auto anyRamp = [](const Stand& s) { return s.ramp; };
  const auto cargo = [](const Stand& s) { return s.cargo && !s.heli; };
  const auto fixedWing = [](const Stand& s) { return !s.heli; };
  if (aircraft.category == kRotorcraft) {
    pass(Step, true, heli);
    pass(Step, true, anyRamp);
    pass(Fallback, true, heli);
    pass(Fallback, true, anyRamp);
  } else if (aircraft.cargo != 0) {
    pass(Step, true, cargo);
    pass(Fallback, false, cargo);
    pass(Step, true, fixedWing);
    pass(Fallback, false, fixedWing);
  } else if (aircraft.category <= 1 || aircraft.key.operatorCode == "PVT") {
    pass(Step, true, lf_ramp);
    pass(Fallback, false, lf_ramp);
  } else {
    // A single draw, whatever RANDOM says: one airline aircraft in ten tries the ramp first.
    const bool gateFirst = gEngineParkAirport.code.starts_with('K') || gf_randomEngine()() % 100 >= 10;
    pass(Step, true, gateFirst ? lf_gate : lf_ramp);
    pass(Step, true, gateFirst ? lf_ramp : lf_gate);
  }
  return found;
}

DaySlot lf_nextHalfHour(DaySlot slot) {
  const std::uint32_t halfHour = gf_slotOf(slot) + 1;
  if (halfHour < kHalfHours) return gf_makeDaySlot(gf_weekdayOf(slot), halfHour);
  return gf_makeDaySlot(gf_weekdayOf(slot) >= 7 ? 1 : gf_weekdayOf(slot) + 1, 0);
}

bool lf_seen(const std::string& callsign) {
  return !callsign.empty() && (gSeenCallsignSet.contains(callsign) || gSeenCallsignSet.contains(callsign + "_"));
}

bool lf_sharesCallsign(const StandOption& option, const std::string& callsign) {
  return !callsign.empty() && (callsign == option.firstCallsign || callsign == option.secondCallsign);
}

// The option names an aircraft that is planned already, live now, or parked live.
bool lf_optionInUse(const StandOption& option, const std::vector<StaticPlan>& plans) {
  const auto planned = [&](const StaticPlan& plan) {
    return (!option.registration.empty() && plan.registration == option.registration) ||
           lf_sharesCallsign(option, plan.firstCallsign) || lf_sharesCallsign(option, plan.secondCallsign);
  };
  if (std::any_of(gStaticParkingList.begin(), gStaticParkingList.end(), planned) ||
      std::any_of(plans.begin(), plans.end(), planned))
    return true;
  if (lf_seen(option.firstCallsign) || lf_seen(option.secondCallsign)) return true;
  return std::any_of(gLiveStayers.begin(), gLiveStayers.end(),
                     [&](const LiveStayer& stayer) { return lf_sharesCallsign(option, stayer.callsign); });
}

std::string lf_withoutStaticMark(const std::string& callsign) {
  std::string plain = callsign;
  while (!plain.empty() && plain.back() == '*') plain.pop_back();
  return plain;
}

// The option's span would touch a static aircraft on an adjacent stand.
bool lf_blockedBeside(const Stand& stand, const StandOption& option,
                      const std::vector<std::vector<const StaticAct*>>& standing) {
  for (std::uint32_t index : stand.adjacent) {
    if (index >= standing.size()) continue;
    for (const StaticAct* aircraft : standing[index]) {
      const double distance =
          gf_distanceNm({aircraft->standLatitude, aircraft->standLongitude}, {stand.latitude, stand.longitude});
      if (gf_wingspanOf(option.type) + aircraft->halfSpan > distance) return true;
    }
  }
  return false;
}

}  // namespace

std::vector<Stand>::iterator lf_freeStandNear(const LatLon& position, const ActBase& aircraft, double maxDistance,
                                              bool acceptLearned) {
  auto taken = gStands.end();
  bool oversized = false;
  double best = kNoDistance;
  auto learned = gStands.end();
  double bestLearned = kNoDistance;
  for (auto stand = gStands.begin(); stand != gStands.end(); ++stand) {
    if (stand->liveOccupied) continue;
    const double distance = gf_distanceNm(position, {stand->latitude, stand->longitude});
    if (distance <= maxDistance && distance < best) {
      const bool tooSmall = !lf_fits(aircraft, *stand);
      if (tooSmall && distance > kOversizedReach) continue;
      taken = stand;
      oversized = tooSmall;
      best = distance;
    } else if (acceptLearned && taken == gStands.end() && distance <= kLearnedReach && distance < bestLearned &&
               lf_fits(aircraft, *stand) &&
               gf_anyOptionMatches(stand->options, aircraft.key.callsign, aircraft.key)) {
      learned = stand;
      bestLearned = distance;
    }
  }
  const auto result = taken != gStands.end() ? taken : learned;
  if (result == gStands.end() || result->heli != (aircraft.category == kRotorcraft)) return gStands.end();
  if (result == taken && oversized) {
    result->radius = aircraft.halfSpan - kShrinkMargin;
    result->radiusChanged = true;
    gf_noteStandUpdate();
  }
  return result;
}

void lf_pickStandForAct(Act& aircraft, bool onGround) {
  if (!LEARN_SOFT.value || !gSoftLearningAllowed || gEngineParkAirport.code.empty() || aircraft.standId != 0) return;
  if (!onGround && aircraft.agl >= kSoftLearningAgl) return;
  const LatLon airport{gEngineParkAirport.latitude, gEngineParkAirport.longitude};
  if (gf_distanceNm({aircraft.pose.latitude, aircraft.pose.longitude}, airport) > kSoftLearningReach) return;
  const DaySlot slot = gf_currentSlot();
  const auto visited = std::find_if(gStands.begin(), gStands.end(),
                                    [&](const Stand& stand) { return stand.softVisits.contains(aircraft.hexid); });
  if (visited != gStands.end()) {
    if (visited->softVisits.at(aircraft.hexid).slot != slot && lf_addSoftOption(visited->index, aircraft, 1, slot) == 1)
      gf_recordLearnedSlot(slot, aircraft.hexid, true);
    return;
  }
  if (!gf_recordLearnedSlot(slot, aircraft.hexid, false)) return;
  for (Stand& stand : gStands)
    if (gf_findOptionNearSlot(stand.options, slot, aircraft.key.registration) != stand.options.end()) return;
  const auto stand = lf_searchStandRecursive(slot, aircraft, true);
  if (stand == gStands.end() || lf_addSoftOption(stand->index, aircraft, 0, slot) == 1) return;
  const auto entry = std::find_if(gLiveLearningList.begin(), gLiveLearningList.end(),
                                  [&](const auto& learned) { return learned.first == aircraft.hexid; });
  if (entry == gLiveLearningList.end()) return;
  *entry = gLiveLearningList.back();
  gLiveLearningList.pop_back();
}

std::vector<Stand>::iterator lf_searchStandRecursive(DaySlot slot, const ActBase& aircraft, bool retry) {
  std::vector<Candidate> candidates = lf_collectCandidates(slot, aircraft);
  if (candidates.empty()) {
    if (retry && gStands.size() <= kRetryStandLimit) return lf_searchStandRecursive(lf_nextHalfHour(slot), aircraft, false);
    return gStands.end();
  }
  gf_shuffle(candidates);
  // Better match first, then the closer size; every candidate at least as good in both stays ahead.
  std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    return a.match != b.match ? a.match > b.match : a.sizeClass < b.sizeClass;
  });
  return gStands.begin() + static_cast<std::ptrdiff_t>(candidates.front().index);
}

void lf_searchStands(DaySlot slot, std::uint32_t kind, std::uint32_t offset, std::vector<StaticPlan>& plans) {
  std::uint32_t weekday = gf_weekdayOf(slot);
  std::int64_t halfHour = static_cast<std::int64_t>(gf_slotOf(slot)) - offset;
  try {
    while (halfHour < 0) {
      halfHour += kHalfHours;
      weekday = weekday <= 1 ? 7 : weekday - 1;
    }
    // The static aircraft standing, by stand index.
    std::vector<std::vector<const StaticAct*>> standing(gStands.size() + 1);
    for (const StaticAct& aircraft : gStaticActs)
      if (aircraft.state == ACT_PRESENT && aircraft.standId < standing.size())
        standing[aircraft.standId].push_back(&aircraft);
    std::vector<std::size_t> candidates;
    for (Stand& stand : gStands) {
      if (stand.taken || stand.reserved || stand.nextToTaken || (stand.heli && !HELICOPTERS.value)) continue;
      candidates.clear();
      for (std::size_t i = 0; i < stand.options.size(); ++i) {
        const StandOption& option = stand.options[i];
        if (option.id == 0 || option.kind != kind || (!WEEK.value && option.day != weekday) ||
            !option.slots.test(static_cast<std::size_t>(halfHour)) || lf_blockedBeside(stand, option, standing))
          continue;
        candidates.push_back(i);
      }
      if (candidates.empty()) continue;
      if (candidates.size() >= 2 && RANDOM.value) {
        // An option of the static aircraft already standing here keeps it here.
        const auto own = std::find_if(candidates.begin(), candidates.end(), [&](std::size_t i) {
          return std::any_of(standing[stand.index].begin(), standing[stand.index].end(), [&](const StaticAct* a) {
            return lf_sharesCallsign(stand.options[i], lf_withoutStaticMark(a->key.callsign));
          });
        });
        if (own != candidates.end()) {
          std::iter_swap(candidates.begin(), own);
          std::vector<std::size_t> rest(candidates.begin() + 1, candidates.end());
          gf_shuffle(rest);
          std::copy(rest.begin(), rest.end(), candidates.begin() + 1);
        } else {
          gf_shuffle(candidates);
        }
      }
      StandOption& option = stand.options[candidates.front()];
      if (lf_optionInUse(option, plans)) {
        option.id = 0;
        continue;
      }
      plans.push_back(StaticPlan{stand.index, offset, option.operatorCode, option.type, option.firstCallsign,
                                 option.secondCallsign, option.registration, 1});
      gf_markOptionStands(stand);
    }
  } catch (const std::exception& error) {
    gf_log(sk::format("exception in lf_searchStands, day: {}, offset {}: {}", weekday, offset, error.what()));
  }
}

void lf_searchForCoupledCsAroundThisTime(DaySlot slot, Act& aircraft) {
  try {
    const std::int64_t window = aircraft.category == 3 ? 14 : 10;
    const std::int64_t halfHour = gf_slotOf(slot);
    SlotSet mask;
    for (std::int64_t h = std::max<std::int64_t>(halfHour - window, 0);
         h <= std::min<std::int64_t>(halfHour + window, kHalfHours - 1); ++h)
      mask.set(static_cast<std::size_t>(h));
    std::string callsign = aircraft.key.callsign;
    if (!callsign.empty() && callsign.back() == '_') callsign.pop_back();
    for (const Stand& stand : gStands) {
      for (const StandOption& option : stand.options) {
        if (option.id == 0 || option.day != gf_weekdayOf(slot) || (option.slots & mask).none() ||
            option.operatorCode != aircraft.key.operatorCode || option.secondCallsign.empty() ||
            !lf_sharesCallsign(option, callsign))
          continue;
        aircraft.key.firstCallsign = option.firstCallsign;
        aircraft.key.otherCallsign = option.secondCallsign;
        return;
      }
    }
  } catch (const std::exception& error) {
    gf_log(sk::format("lf_searchForCoupledCsAroundThisTime {}", error.what()));
  }
}
