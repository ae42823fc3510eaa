#include "liveries/similar_models.h"

#include <algorithm>

#include "core/format.h"
#include "core/log.h"
#include "core/random.h"
#include "core/util.h"
#include "liveries/dbase.h"
#include "liveries/dbase_lookups.h"

ModelLists gSimilarModels;
std::unordered_map<std::string, ModelLists> gSimilarModelsByAirline;

namespace {

const InstalledLiveries* gInstalled = nullptr;
const std::vector<std::string> kEmptyList;
std::vector<std::string> gOneModel = [] {
  std::vector<std::string> list;
  list.reserve(1);
  return list;
}();

std::vector<std::string> groupTexts(const InstalledLiveries& installed) {
  std::vector<std::string> texts;
  for (const auto& group : gSimilarTypes) {
    for (std::size_t i = 0; i < group.size(); ++i) {
      std::string text = group[i];
      bool added = false;
      for (std::size_t j = 0; j < group.size(); ++j) {
        if (j == i || !installed.isKnownModel(group[j])) continue;
        text += ',';
        text += group[j];
        added = true;
      }
      if (added) texts.push_back(std::move(text));
    }
  }
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  return texts;
}

}  // namespace

void gf_setInstalledLiveries(const InstalledLiveries* tables) { gInstalled = tables; }

void gf_readSimilarModels() {
  // A second processing (after a simulator switch) must not keep the first
  // one's lists: the first insert wins, so stale lists would win.
  gSimilarModels.clear();
  gSimilarModelsByAirline.clear();
  if (gInstalled) {
    for (const auto& text : groupTexts(*gInstalled)) {
      auto words = gf_splitComma(text);
      std::string key = std::move(words.front());
      words.erase(words.begin());
      gSimilarModels.try_emplace(std::move(key), std::move(words));
    }
    for (const auto& airline : gInstalled->airlineCodes()) {
      ModelLists byModel;
      for (const auto& [model, similar] : gSimilarModels) {
        if (gInstalled->hasLiveryForAirlineModel(airline, model)) continue;
        std::vector<std::string> withLiveries;
        withLiveries.reserve(64);
        for (const auto& other : similar) {
          if (gInstalled->hasLiveryForAirlineModel(airline, other)) withLiveries.push_back(other);
        }
        withLiveries.shrink_to_fit();
        if (!withLiveries.empty()) byModel.emplace(model, std::move(withLiveries));
      }
      if (!byModel.empty()) gSimilarModelsByAirline.try_emplace(airline, std::move(byModel));
    }
  }
  gf_logText(sk::format("{} similar model definitions", gSimilarModels.size()));
}

const std::vector<std::string>& lf_similarModelsOf(const std::string& airline, const std::string& type) {
  const auto byAirline = gSimilarModelsByAirline.find(airline);
  if (byAirline == gSimilarModelsByAirline.end()) return kEmptyList;
  const auto found = byAirline->second.find(type);
  if (found == byAirline->second.end()) return kEmptyList;
  gf_shuffle(found->second);
  return found->second;
}

const std::vector<std::string>& lf_similarModelsFor(const std::string& model) {
  const auto found = gSimilarModels.find(model);
  if (found != gSimilarModels.end()) {
    gf_shuffle(found->second);
    return found->second;
  }
  const int category = gf_categoryOf(model);
  if (!gInstalled || (category != 0 && category != 1 && category != 5)) return kEmptyList;
  const auto& models = gInstalled->categoryModels(category);
  if (models.empty()) return kEmptyList;
  const std::string& picked = models[gf_randomIndex(static_cast<std::int64_t>(models.size()))];
  if (picked.empty()) return kEmptyList;
  gOneModel.clear();
  gOneModel.push_back(picked);
  return gOneModel;
}
