#include "liveries/livery_tables.h"

#include <algorithm>
#include <utility>

#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "liveries/dbase_lookups.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_data.h"
#include "liveries/livery_window.h"
#include "traffic/act_base.h"

std::unordered_map<std::string, ModelLiveries> gLiveriesByAirline;
std::array<TitlesByModel, 2> gLiveriesByModel;
std::array<std::unordered_map<std::string, TitlesByModel>, 2> gLiveriesByModelAirline;
std::unordered_map<std::string, std::string_view> gLiveriesByRegistration;
TitleViews gSpecialLiveries;
std::unordered_set<std::string_view> gSpecialLiveryIndex;
std::array<std::vector<std::string>, 3> gCategoryModels;
std::array<std::atomic<std::uint32_t>, 6> gMatchesPerStep{};

namespace {

LiveryWindow gWindow;
std::unordered_set<std::string_view> gTitleIndex;

constexpr std::size_t kModelsPerLogLine = 20;

void lf_logModel(std::vector<std::string>* list, const std::string& model, std::string& line) {
  if (list) list->push_back(model);
  line += model;
  line += ',';
}

// Two blanks, then the models 20 to a line without the last comma.
void lf_logModels(std::vector<std::string>* list, const std::vector<std::string>& models) {
  std::string line = "  ";
  std::size_t onLine = 0;
  for (const auto& model : models) {
    lf_logModel(list, model, line);
    if (++onLine == kModelsPerLogLine) {
      line.pop_back();
      gf_logText(line);
      line = "  ";
      onLine = 0;
    }
  }
  if (onLine > 0) {
    line.pop_back();
    gf_logText(line);
  }
}

using ModelTitlePairs = std::vector<std::pair<std::string, std::string_view>>;

std::size_t lf_collectCategoryLiveries(const TitlesByModel& table, int category, ModelTitlePairs& pairs) {
  std::size_t models = 0;
  for (const auto& [model, titles] : table) {
    if (gf_categoryOf(model) != category) continue;
    ++models;
    for (const auto title : titles) pairs.emplace_back(model, title);
  }
  return models;
}

void lf_logCategoryModels(std::vector<std::string>* list, const ModelTitlePairs& pax, const ModelTitlePairs& cargo) {
  std::vector<std::string> models;
  for (const auto* pairs : {&pax, &cargo}) {
    for (const auto& pair : *pairs) models.push_back(pair.first);
  }
  std::sort(models.begin(), models.end());
  models.erase(std::unique(models.begin(), models.end()), models.end());
  lf_logModels(list, models);
}

struct CategorySwitch {
  CheckboxParameter* setting;
  const char* lacking;
};

const CategorySwitch* categorySwitch(int category) {
  static const CategorySwitch light{&LIGHT_AIRCRAFT, "light aircraft"};
  static const CategorySwitch highPerf{&HIGH_PERF_AIRCRAFT, "High Perf aircraft"};
  static const CategorySwitch rotorcraft{&HELICOPTERS, "Helicopters"};
  switch (category) {
    case 0: return &light;
    case 4: return &highPerf;
    case 5: return &rotorcraft;
    default: return nullptr;
  }
}

void enableCheckbox(int category, bool enabled) {
  if (gWindow.enableCategoryCheckbox) gWindow.enableCategoryCheckbox(category, enabled);
}

}  // namespace

void gf_setLiveryWindow(LiveryWindow window) { gWindow = std::move(window); }

const LiveryWindow& gf_liveryWindow() { return gWindow; }

std::vector<std::string>* gf_categoryModelList(int category) {
  switch (category) {
    case 0: return &gCategoryModels[0];
    case 1: return &gCategoryModels[1];
    case 5: return &gCategoryModels[2];
    default: return nullptr;
  }
}

void lf_buildLiveriesByAirline() {
  std::string airline, model;
  ModelLiveries models;
  std::vector<LiveryEntry> entries;
  entries.reserve(512);
  const auto storeEntries = [&] {
    if (entries.empty()) return;
    entries.shrink_to_fit();
    models[model] = std::move(entries);
    entries = {};
    entries.reserve(512);
  };
  for (const LiveryData& livery : gScannedLiveries) {
    if (livery.type != model) {
      storeEntries();
      model = livery.type;
    }
    if (livery.airl != airline) {
      storeEntries();
      if (!models.empty()) gLiveriesByAirline[airline] = std::move(models);
      models = {};
      airline = livery.airl;
    }
    entries.push_back({livery.title, livery.cargo});
  }
  storeEntries();
  if (!models.empty()) gLiveriesByAirline[airline] = std::move(models);
  gTitleIndex.clear();
  for (const auto& [code, byModel] : gLiveriesByAirline) {
    for (const auto& [type, stored] : byModel) {
      for (const auto& entry : stored) gTitleIndex.insert(entry.title);
    }
  }
}

void lf_buildModelSets() {
  struct Record {
    std::string_view model;
    std::string_view title;
    bool cargo;
  };
  std::vector<Record> records;
  for (const auto& [airline, models] : gLiveriesByAirline) {
    for (const auto& [model, entries] : models) {
      for (const auto& entry : entries) records.push_back({model, entry.title, entry.cargo});
    }
  }
  std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) { return a.model < b.model; });
  std::array<TitleViews, 2> lists;
  for (auto& list : lists) list.reserve(15000);
  std::string_view current;
  const auto store = [&] {
    for (const std::size_t kind : {kCargo, kPax}) {
      if (lists[kind].empty()) continue;
      gLiveriesByModel[kind][std::string(current)] = TitleViews(lists[kind].begin(), lists[kind].end());
      lists[kind].clear();
    }
  };
  for (const Record& record : records) {
    if (record.model != current) {
      store();
      current = record.model;
    }
    lists[record.cargo ? kCargo : kPax].push_back(record.title);
  }
  store();
}

std::string_view gf_findStoredTitle(const std::string& title) {
  const auto found = gTitleIndex.find(title);
  return found == gTitleIndex.end() ? std::string_view() : *found;
}

bool gf_hasLiveryForAirlineModel(const std::string& airline, const std::string& model) {
  const auto found = gLiveriesByAirline.find(airline);
  return found != gLiveriesByAirline.end() && found->second.contains(model);
}

bool gf_isKnownModel(const std::string& model) {
  return gLiveriesByModel[kPax].contains(model) || gLiveriesByModel[kCargo].contains(model);
}

std::vector<std::string> gf_getAirlineCodes() {
  std::vector<std::string> codes;
  codes.reserve(gLiveriesByAirline.size());
  for (const auto& entry : gLiveriesByAirline) codes.push_back(entry.first.substr(0, 3));
  return codes;
}

void gf_clearLiveryCodeLists() {
  for (auto& list : gCategoryModels) list.clear();
  gSpecialLiveries.clear();  // keeps its reserved room
  gSpecialLiveryIndex.clear();
  gLiveriesByRegistration.clear();
  for (auto& table : gLiveriesByModel) table.clear();
  for (auto& table : gLiveriesByModelAirline) table.clear();
  gTitleIndex.clear();
  gLiveriesByAirline.clear();
}

void lf_listGenericLiveries() {
  std::vector<std::string> models;
  if (const auto generic = gLiveriesByAirline.find(std::string(kGenericAirline)); generic != gLiveriesByAirline.end()) {
    for (const auto& entry : generic->second) models.push_back(entry.first);
  }
  if (models.empty()) {
    gf_logText("No generic liveries");
    return;
  }
  std::sort(models.begin(), models.end());
  models.erase(std::unique(models.begin(), models.end()), models.end());
  gf_logText(sk::format("{} model{} have a generic livery", models.size(), models.size() == 1 ? "" : "s"));
  lf_logModels(nullptr, models);
}

void lf_summariseCategories(int category) {
  ModelTitlePairs pax, cargo;
  const std::size_t models = lf_collectCategoryLiveries(gLiveriesByModel[kPax], category, pax) +
                             lf_collectCategoryLiveries(gLiveriesByModel[kCargo], category, cargo);
  const std::string name = gf_categoryName(static_cast<AircraftCategory>(category));
  const CategorySwitch* setting = categorySwitch(category);
  if (pax.empty() && cargo.empty()) {
    gf_logText(sk::format("Category {}: No livery found", name));
    if (!setting) return;
    if (setting->setting->value) {
      setting->setting->value = false;
      setting->setting->save();
      gf_logText(sk::format("{} temporary switched off because you do not have {} installed", setting->setting->name,
                            setting->lacking));
    }
    enableCheckbox(category, false);
    return;
  }
  std::string line = sk::format("Category {}: {} pax liverie{}", name, pax.size(), pax.size() == 1 ? "" : "s");
  if (!cargo.empty()) line += sk::format(" and {} cargo liverie{}", cargo.size(), cargo.size() > 1 ? "s" : "");
  gf_logText(line);
  if (models > 0) lf_logCategoryModels(gf_categoryModelList(category), pax, cargo);
  if (setting) enableCheckbox(category, true);
}
