#include "liveries/livery_processing.h"

#include "core/format.h"
#include "core/log.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_tables.h"
#include "liveries/livery_window.h"
#include "liveries/matching_ladder.h"
#include "liveries/regcodes.h"
#include "liveries/similar_models.h"

namespace {

// The four questions the similar models ask, answered by the real tables.
class ScannedTables : public InstalledLiveries {
 public:
  bool isKnownModel(const std::string& model) const override { return gf_isKnownModel(model); }
  bool hasLiveryForAirlineModel(const std::string& airline, const std::string& model) const override {
    return gf_hasLiveryForAirlineModel(airline, model);
  }
  std::vector<std::string> airlineCodes() const override { return gf_getAirlineCodes(); }
  const std::vector<std::string>& categoryModels(int category) const override {
    static const std::vector<std::string> none;
    const auto* list = gf_categoryModelList(category);
    return list ? *list : none;
  }
};

const ScannedTables gScannedTables;

void redraw() {
  if (gf_liveryWindow().redrawStatus) gf_liveryWindow().redrawStatus();
}

}  // namespace

void gf_processScannedLiveries() {
  if (gLiveriesProcessed) {
    gf_logText("Processing scanned liveries skipped; already done in previous start-up");
    gScannedLiveries.clear();
    return;
  }
  lf_readLiveriesScanned();
  if (gf_liveryWindow().showLiveryCount) {
    gf_liveryWindow().showLiveryCount(static_cast<std::int64_t>(gScannedLiveries.size()));
  }
  redraw();
  lf_buildLiveriesByAirline();
  lf_buildModelAirlineMaps();
  lf_processInlineRegcodes();
  gf_processRegcodes();
  gf_logText(sk::format("{} registration codes", gLiveriesByRegistration.size()));
  lf_buildModelSets();
  gf_logText(sk::format("{} airlines, {} pax aircraft models and {} cargo aircraft models", gLiveriesByAirline.size(),
                        gLiveriesByModel[kPax].size(), gLiveriesByModel[kCargo].size()));
  gf_setInstalledLiveries(&gScannedTables);
  gf_readSimilarModels();
  lf_listGenericLiveries();
  for (int category = 0; category < 6; ++category) lf_summariseCategories(category);
  gLiveriesProcessed = true;
  redraw();
  gScannedLiveries.clear();
}
