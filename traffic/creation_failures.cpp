#include "traffic/creation_failures.h"

#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "liveries/uncreatable_models.h"
#include "liveries/uncreatable_titles.h"

std::set<std::string> gNoLiveryKeys;

namespace {

// The record of refused titles holds each title once; the limit counts refusals.
std::size_t gCreationRefusals = 0;

}  // namespace

void gf_noteCreationFailure(const ActBase& aircraft) {
  const std::string title(aircraft.liveryTitle);
  gf_showMessage(sk::format("{} \"{}\" could not be created by your Sim!", aircraft.key.callsign, title), true);
  gUncreatableTitles.insert(title);
  gf_noteUncreatableModel(aircraft.key.type + " " + aircraft.key.operatorCode);
  if (++gCreationRefusals < kMaxCreationRefusals) return;
  const std::string text = sk::format("there are too many liveries that could not be created by {}!", "MSFS");
  gf_logText(sk::format("\n{}Error 81, {}\n", "===> ", text));
  throw qlx::UserErrorException(81, text + ", see Log.txt");
}

void gf_forgetCreationRefusals() { gCreationRefusals = 0; }

void gf_logNoMatch() {
  if (!LOG.value || gNoLiveryKeys.empty()) return;
  gf_logText("\nNo match found for: ");
  for (const auto& key : gNoLiveryKeys) gf_logText(key);
  gf_logText("");
}

void gf_clearNoMatchList() { gNoLiveryKeys.clear(); }
