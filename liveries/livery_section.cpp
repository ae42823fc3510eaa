#include "liveries/livery_section.h"

#include <stdexcept>
#include <system_error>

#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/util.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/dbase_lookups.h"

namespace {

constexpr int kLarge = 2;
constexpr int kHeavy = 3;

bool isLargeOrHeavy(const std::string& model) {
  const int category = gf_categoryOf(model);
  return category == kLarge || category == kHeavy;
}

// The registration of an atc_id value: exactly one faultless piece, else none.
std::string registrationOf(const std::string& value, const std::string& title) {
  const std::vector<std::string> pieces = gf_splitComma(value.substr(0, value.find(';')));
  if (pieces.empty()) {
    gf_logText(sk::format("invalid atc_id={} ==> in: {}", value, title));
    return {};
  }
  for (const std::string& piece : pieces) {
    if (piece.empty()) {
      gf_logText(sk::format("empty regcode in {} {}", title, value));
      return {};
    }
    if (piece.size() > 12) {
      gf_logText(sk::format("regcode: {}, has more than 12 chars or contains UTF16 chars in \"{}\"?", piece, title));
      return {};
    }
    if (lf_contains(piece, "*")) {
      gf_log(sk::format("{} {} wild cards no longer supported, atc_id skipped ", title, piece));
      return {};
    }
  }
  return pieces.size() == 1 ? pieces.front() : std::string();
}

}  // namespace

std::optional<DbaseRecord> lf_airlineRecordOf(const std::string& registration) {
  if (registration.empty()) return std::nullopt;
  // A record without airline would give a livery without airline: it counts as none.
  for (const std::string& key : gf_regcodeCandidates(registration)) {
    std::optional<DbaseRecord> record;
    if (gf_findDbaseRecord(record, key) && !record->airl.empty()) return record;
  }
  return std::nullopt;
}

std::string lf_validateModel(const std::string& code, const std::string& path, std::vector<std::string>& fixes) {
  if (gAircraftModels.contains(code)) return code;
  if (const auto fix = gModelFixes.find(code); fix != gModelFixes.end()) {
    fixes.push_back(sk::format("Model fix: {} found in {} changed into {}", code, path, fix->second));
    return fix->second;
  }
  lf_addInvalidModel(code, path);
  return {};
}

std::string lf_fixModel(const std::string& path, const std::vector<std::string>& lines,
                        std::vector<std::string>& fixes) {
  for (const std::string& line : lines) {
    const std::string code = lf_parseBaseContainer(line);
    if (!code.empty()) return lf_validateModel(code, path, fixes);
  }
  // These packages hold the simulator's own airliners, which never name a type.
  if (!lf_contains(path, "pmdg-aircraft-7") && !lf_contains(path, "fnx-aircraft-3")) {
    lf_addInvalidCfgFile("Line icao_type_designator= is missing in [General] section of " + path);
  }
  return {};
}

std::string lf_modelOfFile(const std::string& path, const std::vector<std::string>& lines,
                           std::vector<std::string>& fixes) {
  for (const std::string& line : lines) {
    const std::string code = lf_parseIcaoTypeDesignator(line);
    if (!code.empty()) return lf_validateModel(code, path, fixes);
  }
  return lf_fixModel(path, lines, fixes);
}

std::optional<LiveryCandidate> lf_procesFltSimSection(int priority, std::vector<std::string>& section,
                                                      const std::string& model, const std::string& path,
                                                      const std::string& folder) {
  lf_dropSectionTail(section);
  if (section.empty()) return std::nullopt;
  const std::string& header = section.front();
  auto reject = [&](const std::string& text) -> std::optional<LiveryCandidate> {
    lf_addIncompleteSection(text);
    return std::nullopt;
  };

  std::string title, airline, parking, registration, value;
  for (const std::string& line : section) {
    if (lf_parseTitle(line, value)) {
      if (!title.empty()) return reject(sk::format("{} {} has more than one title key", folder, header));
      title = gf_trim(value);
      value.clear();
      if (lf_contains(title, "FenixA320") || lf_contains(title, "PMDG 737") ||
          (SUPPRESS_STUB.value && title.ends_with("-STUB"))) {
        return std::nullopt;
      }
      continue;
    }
    if (!airline.empty()) {
      if (lf_contains(line, "icao_airline")) {
        return reject(sk::format("{} {} has more than one icao_airline key", folder, header));
      }
    } else if (lf_parseIcaoAirline(line, value)) {
      gf_normalizeList(value);
      if (value.size() == 4 && (value[3] == 'X' || value[3] == 'C')) value.resize(3);
      if (gAirlineCodes.contains(value)) {
        airline = value;
      } else if (value == "RFO") {
        return std::nullopt;
      } else {
        lf_addInvalidAirline(value, path, header);
      }
      value.clear();
      continue;
    }
    if (parking.empty()) {
      if (lf_parseAtcParkingTypes(line, value)) {
        gf_normalizeList(value);
        parking = lf_upper(value);
        value.clear();
        continue;
      }
    } else if (lf_hasParkingTypesKey(line)) {
      return reject(sk::format("{} {} has more than one atc_parking_types key", folder, header));
    }
    if (!registration.empty()) {
      if (lf_hasAtcIdKey(line)) return reject(sk::format("{}, {}, has more than one atc_id key", folder, header));
    } else if (lf_parseAtcId(line, value)) {
      registration = registrationOf(value, title);
      value.clear();
    }
  }

  if (title.empty()) return reject(sk::format("{} {} misses title", folder, header));
  if (gDontUseTitles.contains(title)) return std::nullopt;
  if (airline == kGenericAirline) registration.clear();
  if (airline.empty()) {
    if (registration.empty()) {
      if (isLargeOrHeavy(model)) {
        return reject(sk::format("\"{}\" \"{}\" has no airline and no regcode info", folder, header));
      }
      airline = "PVT";
      registration = gf_privateRegcodeIn(title);
    } else if (const auto record = lf_airlineRecordOf(registration)) {
      airline = record->airl;
    } else if (isLargeOrHeavy(model)) {
      return reject(sk::format("\"{}\" \"{}\" has no airline and its regcode is not in my dbase (very old liv?)",
                               folder, header));
    } else {
      airline = "PVT";
    }
  }
  const bool cargo = lf_contains(parking, "CARGO") && !lf_contains(parking, "GATE");
  return LiveryCandidate{{airline, model, title, registration, priority, cargo}, folder, header, false};
}

ScannedCfgFile lf_searchLiveriesinFile(int priority, const std::filesystem::path& path) {
  ScannedCfgFile result;
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return result;
  const std::string file = gf_pathToUtf8(path);
  try {
    const std::string folder = gf_pathToUtf8(path.parent_path());
    std::vector<std::string> lines;
    if (lf_readAircraftCfg(path, lines) != CfgRead::Ok) return result;
    if (!lf_checkFltSimNumbers(lines, file)) return result;
    const std::string model = lf_modelOfFile(file, lines, result.fixes);
    if (model.empty()) return result;
    lf_splitFltSimSections(lines, false, [&](std::vector<std::string>& section) {
      try {
        if (auto candidate = lf_procesFltSimSection(priority, section, model, file, folder)) {
          result.candidates.push_back(std::move(*candidate));
        }
      } catch (const std::exception& e) {
        gf_logText(sk::format("exception in lf_procesFltSimSection: {}, file: {}", e.what(), file));
        throw;
      }
    });
  } catch (const std::exception& e) {
    gf_logText(sk::format("exception in lf_searchLiveriesinFile {}: {}", file, e.what()));
    throw;
  }
  return result;
}
