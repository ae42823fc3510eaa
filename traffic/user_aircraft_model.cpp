// The user aircraft's title and model answers: the model text the simulator
// reports is turned into a type code whose half wing span collision avoidance
// keeps clear of. SimConnect thread.
#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "liveries/dbase.h"
#include "liveries/dbase_lookups.h"
#include "shell/app_state.h"
#include "traffic/records.h"
#include "traffic/user_aircraft.h"

namespace {

constexpr std::size_t kMaxTitleLength = 48;

void lf_setSpanKnown(bool known) {
  gAppState.userSpanKnown = known;
  gf_invalidateMain(kStatusRect);
}

// The model after the first rule that applies to it.
std::string lf_normalisedModel(std::string model, const std::string& title) {
  if (model == "A350-900") return "A359";
  if (model == "N738B") return "B38M";
  if (const auto p = model.find(".0.text"); p != std::string::npos) {
    // The type code stands right before the suffix; a short model has fewer
    // characters there than the longer candidates need.
    for (std::size_t length : {4U, 3U, 2U}) {
      if (length > p) continue;
      std::string candidate = model.substr(p - length, length);
      if (gf_wingspanOf(candidate) != 0.0) return candidate;
    }
    return model;
  }
  if (model.starts_with("$$:") && model.size() >= 5) return model.substr(3);
  if (model == "737") {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kVariants{
        {{"DG 737-800", "B738"}, {"DG 737-700", "B737"}, {"DG 737-600", "B736"}, {"DG 737-900", "B739"}}};
    for (const auto& [mark, type] : kVariants) {
      if (title.find(mark) != std::string::npos) return std::string(type);
    }
  }
  return model;
}

}  // namespace

void lf_onUserAcTitle(std::string title) {
  if (title.empty()) {
    gf_logText("! title of your ac is empty?");
    return;
  }
  if (title.size() > kMaxTitleLength) title.resize(kMaxTitleLength);
  if (title == gUserTitle.get()) return;
  gAppState.userTitle.set(title);
  gf_invalidateMain(kStatusRect);
  gUserTitle.set(title);
  gf_logIndented("SimConnect: User aircraft title: " + title);
}

void lf_deduceUserAcModel(std::string model) {
  if (model.empty()) {
    gAppState.userTitle.set("Unknown (encrypted?) aircraft");
    gf_invalidateMain(kStatusRect);
    gf_showMessage("171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead", true);
    const double span = gf_wingspanOf("CRJ7");
    gUserHalfSpan = span == 0.0 ? gMaxWingspan : span;
    return;
  }
  gf_logIndented(sk::format("model raw: {} ", model));
  const std::string title = gUserTitle.get();
  model = lf_normalisedModel(std::move(model), title);
  std::string line = "SimConnect: User aircraft model: " + model;
  if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
    lf_setSpanKnown(true);
    gUserHalfSpan = gf_wingspanOf("E190");
    return;
  }
  double span = model.size() < 5 ? gf_wingspanOf(model) : gMaxWingspan;
  bool known = span != gMaxWingspan;
  if (!known && title.size() >= 13) {
    for (std::string_view type : {"A319", "A320", "A321"}) {
      if (!title.starts_with(sk::format("Aerosoft {}", type))) continue;
      model = std::string(type);
      line = "SimConnect: User aircraft model deduced from title: " + model;
      span = gf_wingspanOf(model);
      known = span != 0.0;
      if (!known) span = gMaxWingspan;
      break;
    }
  }
  gUserHalfSpan = span;
  lf_setSpanKnown(known);
  if (known) {
    line += sk::format(", half wing span: {:.1F} meter", span * 1852.0);
  } else {
    gf_showMessage("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
  }
  line += sk::format(", category: {}", gf_categoryName(static_cast<AircraftCategory>(gf_categoryOf(model))));
  gf_logIndented(line);
}
