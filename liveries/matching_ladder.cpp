#include "liveries/matching_ladder.h"

#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/random.h"
#include "liveries/dbase_lookups.h"
#include "liveries/livery_data.h"
#include "liveries/similar_models.h"
#include "liveries/uncreatable_titles.h"

namespace {

constexpr std::size_t kSpecialRoom = 4096;
constexpr int kRedraws = 5;
const std::string kPrivateAirline = "PVT";
const std::string kGeneric{kGenericAirline};

bool isSmall(AircraftCategory category) { return category == 0 || category == 1 || category == 5; }

bool isSpecial(std::string_view title) { return gSpecialLiveryIndex.contains(title); }

bool askTable(ActBase& aircraft, std::size_t kind, const std::string& airline, const std::string& type) {
  const auto byAirline = gLiveriesByModelAirline[kind].find(airline);
  if (byAirline == gLiveriesByModelAirline[kind].end()) return false;
  const auto titles = byAirline->second.find(type);
  if (titles == byAirline->second.end()) return false;
  lf_pickLivery(aircraft, titles->second);
  return !aircraft.liveryTitle.empty();
}

bool askSimilar(ActBase& aircraft, const std::string& airline) {
  for (const auto& type : lf_similarModelsOf(airline, aircraft.key.type)) {
    if (lf_matchModelAirline(aircraft, airline, type)) return true;
  }
  return false;
}

// Steps 2 to 6 for a depth of 2 or more; live and static differ only in
// whether an empty airline asks the airline questions.
int climb(ActBase& aircraft, int depth, bool askEmptyAirline) {
  const std::string& airline = aircraft.key.operatorCode;
  const std::string& type = aircraft.key.type;
  if (airline == kPrivateAirline && lf_matchModelAirline(aircraft, kGeneric, type)) return 4;
  const std::string& registration = aircraft.key.registration;
  const bool known = !gf_dbaseOperatorOf(registration).empty();
  const std::string dbaseAirline = known ? gf_dbaseAirlineOf(registration) : std::string();
  const bool askAirline = askEmptyAirline || !airline.empty();
  if (askAirline && (lf_matchModelAirline(aircraft, airline, type) ||
                     (known && lf_matchModelAirline(aircraft, dbaseAirline, type)))) {
    return 2;
  }
  if (depth < 3) return 0;
  if (askAirline && (askSimilar(aircraft, airline) || (known && askSimilar(aircraft, dbaseAirline)))) return 3;
  if (depth == 4 && lf_matchModelAirline(aircraft, kGeneric, type)) return 4;
  if (!isSmall(aircraft.category)) return 0;
  if (airline != kPrivateAirline && lf_matchModelAirline(aircraft, kGeneric, type)) return 4;
  if (lf_matchModel(aircraft, type)) return 5;
  for (const auto& similar : lf_similarModelsFor(type)) {
    if (lf_matchModel(aircraft, similar)) return 6;
  }
  return 0;
}

void logMatch(const ActBase& aircraft, int step) {
  if (LOG.value) {
    gf_logText(sk::format("          {} ={}= {}", gf_aircraftDescription(aircraft), step, aircraft.liveryTitle));
  }
}

}  // namespace

void gf_initLiveryMatching() {
  static bool reserved = false;
  if (reserved) return;
  gSpecialLiveries.reserve(kSpecialRoom);
  gCategoryModels[0].reserve(64);
  gCategoryModels[1].reserve(128);
  gCategoryModels[2].reserve(32);
  reserved = true;
}

void lf_buildModelAirlineMaps() {
  for (const auto& [airline, models] : gLiveriesByAirline) {
    std::array<TitlesByModel, 2> maps;
    for (const auto& [model, entries] : models) {
      std::array<TitleViews, 2> lists;
      for (const auto& entry : entries) lists[entry.cargo ? kCargo : kPax].push_back(entry.title);
      for (const std::size_t kind : {kPax, kCargo}) {
        if (lists[kind].empty()) continue;
        lists[kind].shrink_to_fit();
        maps[kind].emplace(model, std::move(lists[kind]));
      }
    }
    for (const std::size_t kind : {kPax, kCargo}) {
      if (!maps[kind].empty()) gLiveriesByModelAirline[kind].emplace(airline, std::move(maps[kind]));
    }
  }
}

void lf_pickLivery(ActBase& aircraft, const TitleViews& candidates) {
  if (candidates.empty()) return;
  const auto draw = [&] { return candidates[gf_randomIndex(static_cast<std::int64_t>(candidates.size()))]; };
  std::string_view candidate = draw();
  for (int redraw = 0; redraw <= kRedraws; ++redraw) {
    if (gSpecialLiveryIndex.empty() || !isSpecial(candidate)) {
      aircraft.liveryTitle = candidate;
      return;
    }
    if (redraw < kRedraws) candidate = draw();
  }
  TitleViews plain;
  for (const auto title : candidates) {
    if (!isSpecial(title)) plain.push_back(title);
  }
  aircraft.liveryTitle =
      plain.empty() ? std::string_view() : plain[gf_randomIndex(static_cast<std::int64_t>(plain.size()))];
}

bool lf_matchRegcode(ActBase& aircraft) {
  const std::string& registration = aircraft.key.registration;
  if (registration.empty()) return false;
  for (const auto& key : gf_regcodeCandidates(registration)) {
    const auto found = gLiveriesByRegistration.find(key);
    if (found != gLiveriesByRegistration.end()) {
      aircraft.liveryTitle = found->second;
      return true;
    }
  }
  return false;
}

bool lf_matchModelAirline(ActBase& aircraft, const std::string& airline, const std::string& type) {
  if (askTable(aircraft, aircraft.cargo ? kCargo : kPax, airline, type)) return true;
  // A cargo aircraft falls back on a passenger livery of its airline and type.
  return aircraft.cargo && askTable(aircraft, kPax, airline, type);
}

bool lf_matchModel(ActBase& aircraft, const std::string& type) {
  const auto& table = gLiveriesByModel[aircraft.cargo ? kCargo : kPax];
  const auto found = table.find(type);
  if (found != table.end()) lf_pickLivery(aircraft, found->second);
  return !aircraft.liveryTitle.empty();
}

void gf_matchLiveryLive(ActBase& aircraft) {
  const int depth = MATCHING_DEPTH.value;
  aircraft.liveryTitle = {};
  int step = lf_matchRegcode(aircraft) ? 1 : 0;
  if (step == 0 && depth >= 2) step = climb(aircraft, depth, false);
  if (aircraft.liveryTitle.empty()) return;
  if (gf_isUncreatableTitle(aircraft.liveryTitle)) {
    aircraft.liveryTitle = {};
    return;
  }
  ++gMatchesPerStep[static_cast<std::size_t>(step - 1)];
  logMatch(aircraft, step);
  aircraft.fsltlLivery = aircraft.liveryTitle.find("FSLTL_") != std::string_view::npos ? 1 : 0;
}

bool gf_matchLiveryStatic(ActBase& aircraft, std::string_view standName, bool standCargo) {
  if (!aircraft.liveryTitle.empty()) {
    if (LOG.value) {
      gf_logText(sk::format("          {} =s= {}", gf_aircraftDescription(aircraft), aircraft.liveryTitle));
    }
    return true;
  }
  const int depth = MATCHING_DEPTH.value;
  int step = lf_matchRegcode(aircraft) ? 1 : 0;
  if (step == 0) {
    aircraft.cargo = standCargo ? 1 : 0;
    if (depth >= 2) step = climb(aircraft, depth, true);
  }
  if (!aircraft.liveryTitle.empty() && gf_isUncreatableTitle(aircraft.liveryTitle)) {
    aircraft.liveryTitle = {};
    return false;
  }
  if (aircraft.liveryTitle.empty()) {
    if (LOG.value) gf_logText(sk::format("{:8}: {} no livery match ...", standName, gf_aircraftNames(aircraft)));
    return false;
  }
  logMatch(aircraft, step);
  return true;
}
