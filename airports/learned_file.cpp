#include "airports/learned_file.h"

#include <unordered_map>

#include "airports/apf_file.h"
#include "core/file_read.h"
#include "core/format.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/message.h"
#include "core/meta.h"
#include "core/parameters.h"
#include "core/util.h"
#include "platform/window.h"
#include "shell/auto_range.h"
#include "shell/controls.h"

LearnedFileState gLearnedFile;

namespace {

constexpr std::int32_t kDefaultParkingPercentage = 30;

void lf_logSetting(const std::string& key, const std::string& value) {
  gf_logIndented(sk::format("{:24}: {}", key, value));
}

void lf_applyCheckbox(const pugi::xml_document& document, CheckboxParameter& parameter) {
  const std::optional<bool> value = lf_xmlValueBool(document, parameter.name);
  if (!value) return;
  parameter.value = *value;
  if (const auto& show = gf_parameterControlHooks().showCheck) show(parameter);
  lf_logSetting(parameter.name, *value ? "true" : "false");
}

void lf_applyAutoRange(const pugi::xml_document& document) {
  const std::optional<bool> value = lf_xmlValueBool(document, AUTO_RANGE.name);
  if (!value) return;
  AUTO_RANGE.value = *value;
  if (const auto& show = gf_parameterControlHooks().showCheck) show(AUTO_RANGE);
  lf_logSetting(AUTO_RANGE.name, *value ? "true" : "false");
  EnableWindow(LATERAL_RANGE.controlWindow, FALSE);
  if (*value) {
    gManualLateralRange.store(LATERAL_RANGE.value);
    gf_autoRange();
  } else {
    EnableWindow(LATERAL_RANGE.controlWindow, TRUE);
    if (const std::int32_t handSet = gManualLateralRange.load(); handSet > 0) gf_setLateralRange(handSet);
    gf_clearMessage();
  }
  gf_showIntParameter(LATERAL_RANGE);
  gAutoRangeAtTen.store(AUTO_RANGE.value && gLateralRangeNm.load() == 10.0);
}

// The settings last used at the airport, applied in memory only.
void lf_applySettings(const pugi::xml_document& document) {
  lf_applyCheckbox(document, LEARN_SOFT);
  if (const std::optional<int> maxLive = lf_xmlValueInt(document, MAX_LIVE.name)) {
    MAX_LIVE.value = MAX_LIVE.clamped(*maxLive);
    lf_logSetting(MAX_LIVE.name, std::to_string(*maxLive));
  } else {
    MAX_LIVE.value = -1;
  }
  gf_showIntParameter(MAX_LIVE);
  if (const std::optional<int> range = lf_xmlValueInt(document, LATERAL_RANGE.name)) {
    gf_setLateralRange(*range);
    gf_showIntParameter(LATERAL_RANGE);
    EnableWindow(LATERAL_RANGE.controlWindow, TRUE);
    lf_logSetting(LATERAL_RANGE.name, std::to_string(*range));
  }
  lf_applyAutoRange(document);
  lf_applyCheckbox(document, PARK_FAKE);
  lf_applyCheckbox(document, WEEK);
  lf_applyCheckbox(document, PARK_SOFT);
  if (const std::optional<int> percentage = lf_xmlValueInt(document, parking_percentage.name)) {
    parking_percentage.value = *percentage;
    lf_logSetting(parking_percentage.name, std::to_string(*percentage));
  } else {
    parking_percentage.value = kDefaultParkingPercentage;
  }
  gf_showIntParameter(parking_percentage);
  lf_applyCheckbox(document, INITIAL_LOAD_ONLY);
  if (const std::optional<int> maxFit = lf_xmlValueInt(document, MAX_FIT.name)) {
    lf_maxFitText(*maxFit);
  } else if (const std::optional<int> maxFitWeek = lf_xmlValueInt(document, "MAX_FIT_WEEK")) {
    lf_maxFitText(*maxFitWeek);
  }
}

// "EGLL.xml" -> "EGLL0.xml"
std::filesystem::path lf_zeroCopyName(const std::filesystem::path& path) {
  return path.parent_path() /
         gf_pathFromUtf8(gf_pathToUtf8(path.stem()) + "0" + gf_pathToUtf8(path.extension()));
}

void lf_mergeStands(const pugi::xml_node& parkpositions, const std::filesystem::path& path,
                    std::vector<Stand>& stands) {
  // The first stand of a name takes the merge, as a walk in list order would.
  std::unordered_map<std::string, std::size_t> byName;
  byName.reserve(stands.size() * 2);
  for (std::size_t i = 0; i < stands.size(); ++i) byName.try_emplace(stands[i].name, i);
  for (pugi::xml_node parkpos : parkpositions.children("parkpos")) {
    const std::string id = parkpos.attribute("id").as_string();
    const auto found = byName.find(id);
    if (!parkpos.attribute("manual").as_bool()) {
      if (found != byName.end()) {
        lf_readParkposAttributes(id, parkpos, stands[found->second]);
      } else {
        // A re-lettered or withdrawn stand: its learning waits in the file.
        gf_logText(sk::format("learned stand {} in {} not found?", id, gf_pathToUtf8(path)));
        gLearnedFile.keptParkpos.append_copy(parkpos);
      }
      continue;
    }
    if (found != byName.end()) {
      gf_log(sk::format("manually created standid {} already exists in {}", id, gf_pathToUtf8(path)));
      continue;
    }
    const double latitude = parkpos.attribute("latitude").as_double();
    const double longitude = parkpos.attribute("longitude").as_double();
    const double radius = parkpos.attribute("radius").as_double();
    if ((latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05) || radius == 0.0) {
      gf_log(
          sk::format("manually created standid {} misses correct attributes in {}", id, gf_pathToUtf8(path)));
      continue;
    }
    std::vector<StandOption> options;
    options.reserve(128);
    std::uint32_t nextId = 1;
    for (pugi::xml_node opt : parkpos.children("opt")) options.push_back(gf_readOption(opt, nextId++, 0));
    options.shrink_to_fit();
    Stand stand(id, std::move(options),
                {latitude, longitude, parkpos.attribute("heading").as_double() * DEG_TO_RAD}, radius,
                parkpos.attribute("cargo").as_bool(), parkpos.attribute("ramp").as_bool(),
                parkpos.attribute("heli").as_bool());
    stand.manual = true;
    stands.push_back(std::move(stand));
    byName.try_emplace(id, stands.size() - 1);
  }
}

}  // namespace

void lf_maxFitText(std::int32_t value) {
  MAX_FIT.value = MAX_FIT.clamped(value);
  const float hours = static_cast<float>(MAX_FIT.value) * 0.5F + 0.5F;
  MAX_FIT_FL.value = MAX_FIT_FL.clamped(hours);
  gf_showFloatParameter(MAX_FIT_FL);
  gf_logIndented(sk::format("{:24}: {} (max number of half hours, is {} hrs decimal)", MAX_FIT.name, MAX_FIT.value,
                            gf_formatDecimal(hours)));
}

bool lf_sameOptionUse(const StandOption& candidate, const StandOption& option) {
  return candidate.day == option.day && candidate.kind == option.kind &&
         candidate.registration == option.registration && candidate.operatorCode == option.operatorCode &&
         candidate.type == option.type && (candidate.slots & option.slots).any();
}

bool lf_readParkposAttributes(const std::string& id, const pugi::xml_node& parkpos, Stand& stand) {
  if (stand.name != id) return false;
  if (parkpos.attribute("radius_change").as_bool()) {
    stand.radius = parkpos.attribute("radius").as_double() * NM_PER_METRE;
    stand.radiusChanged = true;
  }
  if (parkpos.attribute("cargo_change").as_bool()) {
    stand.cargo = parkpos.attribute("cargo").as_bool();
    stand.cargoChanged = true;
  }
  std::uint32_t nextId = stand.options.empty() ? 1 : stand.options.back().id + 1;
  for (pugi::xml_node opt : parkpos.children("opt")) {
    // Merged uses carry archived flag 0, so that run-time learning extends
    // them and the next save keeps them.
    StandOption option = gf_readOption(opt, nextId, 0);
    bool known = false;
    for (const StandOption& existing : stand.options)
      if (lf_sameOptionUse(option, existing)) {
        known = true;
        break;
      }
    if (known) continue;
    stand.options.push_back(std::move(option));
    ++nextId;
  }
  return true;
}

void lf_readLearned(const std::filesystem::path& path, const ApfInfo& info, std::vector<Stand>& stands,
                    bool& handmade) {
  // Cleared only once the file has been read through.
  gLearnedFile.notFullyRead = true;
  pugi::xml_document document;
  const XmlFileLoad loaded = gf_loadXmlFile(document, path);
  try {
    if (!loaded) {
      if (std::filesystem::is_regular_file(path)) {
        gf_copyFileReplacing(path, lf_zeroCopyName(path));
        gf_logText(sk::format("{} found, but could not be loaded, saved as *.0.xml: {}", gf_pathToUtf8(path),
                              loaded.description()));
      } else if (std::filesystem::exists(path)) {
        gf_logText(
            sk::format("{} found, but could not be loaded: {}", gf_pathToUtf8(path), loaded.description()));
      }
      return;
    }
    gf_logText(sk::format("Read from learned airport file: \"{}\"", gf_pathToUtf8(path)));
    if (!gf_checkMeta(document)) return;
    const std::string learnedName = lf_xmlValueString(document, "airport_name").value_or("");
    if (learnedName != info.airportName)
      gf_showMessage(sk::format("Warning: learned file airport name: \"{}\" differs from archived file airport name: "
                                "\"{}\"",
                                learnedName, info.airportName),
                     true);
    lf_applySettings(document);
    if (const std::optional<std::string> handmadeValue = lf_xmlValueString(document, "handmade")) {
      // Read aside: a duplicate id part-way must not leave half a stand list
      // that the next save would write over the hand-made file.
      std::vector<Stand> ownStands;
      handmade = false;
      gf_readParkPositions(document, ownStands);
      stands.swap(ownStands);
      handmade = true;
      gf_logIndented(sk::format("{:24}: {}", "handmade", *handmadeValue));
      gLearnedFile.notFullyRead = false;
      return;
    }
    handmade = false;
    if (const pugi::xml_node parkpositions = gf_topLevelElement(document, "parkpositions")) lf_mergeStands(parkpositions, path, stands);
    gLearnedFile.notFullyRead = false;
  } catch (const std::exception& error) {
    gf_logText(sk::format("exception in lf_readLearned: {}", error.what()));
  }
}
