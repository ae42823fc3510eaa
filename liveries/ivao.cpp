#include "liveries/ivao.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "core/format.h"
#include "core/log.h"
#include "core/util.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/dbase_lookups.h"
#include "liveries/livery_section.h"

namespace {

bool isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
// A registration that is never taken from these packages.
constexpr std::string_view kIgnoredRegistration = "G-BAFM";

// The registration of an atc_id value: exactly one faultless piece, else none.
std::string registrationOf(const std::string& value, const std::string& title) {
  const std::vector<std::string> pieces = gf_splitComma(value);
  for (const std::string& piece : pieces) {
    if (piece.empty()) {
      gf_logText(sk::format(" empty regcode in: {}", value));
      return {};
    }
    if (piece.size() > 12) {
      gf_logText(sk::format("regcode: {}, has more than 12 chars in title: {}", piece, title));
      return {};
    }
    if (lf_contains(piece, "*")) {
      gf_log(sk::format("{} {} wild cards no longer supported, atc_id skipped ", title, piece));
      return {};
    }
    if (piece == kIgnoredRegistration) return {};
  }
  return pieces.size() == 1 ? pieces.front() : std::string();
}

}  // namespace

std::optional<std::string> lf_ivaoPathModel(std::string_view path) {
  for (const std::string_view package : {"ivao_mtl", "ivao_x-csl"}) {
    std::string_view rest = path;
    auto cut = [&](std::string_view literal) {
      if (rest.size() < literal.size()) return false;
      const std::string_view end = rest.substr(rest.size() - literal.size());
      for (std::size_t i = 0; i < literal.size(); ++i) {
        if (lf_lowerAscii(end[i]) != literal[i]) return false;
      }
      rest.remove_suffix(literal.size());
      return true;
    };
    auto cutSeparator = [&] {
      if (rest.empty() || (rest.back() != '/' && rest.back() != '\\')) return false;
      rest.remove_suffix(1);
      return true;
    };
    // The '.' of "aircraft.cfg" is the pattern's any-character-but-a-line-end.
    if (!cut("cfg") || rest.empty() || rest.back() == '\n' || rest.back() == '\r') continue;
    rest.remove_suffix(1);
    if (!cut("aircraft") || !cutSeparator()) continue;
    std::size_t start = rest.size();
    while (start > 0 && isWordChar(rest[start - 1])) --start;
    const std::string_view folder = rest.substr(start);
    rest.remove_suffix(folder.size());
    std::string_view prefix = folder.substr(0, std::min<std::size_t>(folder.size(), 5));
    if (folder.size() <= 5 || lf_upper(std::string(prefix)) != "IVAO_") continue;
    if (!cutSeparator() || !cut("airplanes") || !cutSeparator() || !cut("simobjects") || !cutSeparator() ||
        !cut(package) || !cutSeparator()) {
      continue;
    }
    if (rest.empty() || rest.find_first_of("\r\n") != std::string_view::npos) continue;
    return std::string(folder.substr(5));
  }
  return std::nullopt;
}

std::string lf_ivaoModelFromPath(const std::string& path, std::vector<std::string>& fixes) {
  const auto model = lf_ivaoPathModel(path);
  if (!model) {
    lf_addInvalidModel("  ", path);
    return {};
  }
  return lf_validateModel(model->substr(0, 4), path, fixes);
}

IvaoTitlePattern lf_ivaoTitlePattern(const std::string& model, const std::string& path) {
  static constexpr std::array<std::string_view, 5> withW = {"IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM",
                                                            "IVAO_A320wIAE", "IVAO_A319fIAEw"};
  IvaoTitlePattern pattern{model};
  for (const std::string_view folder : withW) {
    if (lf_contains(path, folder)) {
      pattern.prefix += 'W';
      break;
    }
  }
  return pattern;
}

std::optional<std::string> IvaoTitlePattern::airlineOf(const std::string& title) const {
  if (title.size() < prefix.size()) return std::nullopt;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (lf_lowerAscii(title[i]) != lf_lowerAscii(prefix[i])) return std::nullopt;
  }
  std::size_t at = prefix.size();
  while (at < title.size() && lf_isBlank(title[at])) ++at;
  if (title.size() - at < 3 || !isWordChar(title[at]) || !isWordChar(title[at + 1]) || !isWordChar(title[at + 2])) {
    return std::nullopt;
  }
  if (title.find_first_of("\r\n", at + 3) != std::string::npos) return std::nullopt;
  return title.substr(at, 3);
}

LiveryCandidate lf_makeIvaoLivery(int priority, const std::string& airline, const std::string& model,
                                  const std::string& title, const std::string& registration,
                                  const std::string& folder, const std::string& header) {
  return LiveryCandidate{{airline, model, title, registration, priority, false}, folder, header, true};
}

std::optional<LiveryCandidate> lf_procesIvaoFltSimSection(int priority, std::vector<std::string>& section,
                                                          const IvaoTitlePattern& pattern,
                                                          const std::string& model, const std::string& path,
                                                          const std::string& folder) {
  lf_dropSectionTail(section);
  if (section.empty()) return std::nullopt;
  const std::string& header = section.front();
  auto reject = [&](const std::string& text) -> std::optional<LiveryCandidate> {
    lf_addIncompleteSection(text);
    return std::nullopt;
  };

  std::string title, parking, registration, texture, value;
  for (const std::string& line : section) {
    if (lf_parseTitle(line, value)) {
      if (!title.empty()) return reject(sk::format("{} {} has more than one title key", folder, header));
      title = gf_trim(value);
      if (title.size() < value.size()) {
        gf_logText(sk::format("removed spaces around title \"{}\" --> \"{}\"", value, title));
      }
      value.clear();
      continue;
    }
    if (!parking.empty()) {
      if (lf_hasParkingTypesKey(line)) {
        return reject(sk::format("{} {} has more than one atc_parking_types key", folder, header));
      }
    } else if (lf_parseAtcParkingTypes(line, value)) {
      gf_normalizeList(value);
      parking = lf_upper(value);
      value.clear();
      continue;
    }
    if (!registration.empty()) {
      if (lf_hasAtcIdKey(line)) return reject(sk::format("{}, {}, has more than one atc_id key", folder, header));
    } else if (lf_parseAtcId(line, value)) {
      registration = registrationOf(value, title);
      value.clear();
      continue;
    }
    if (texture.empty()) lf_parseTexture(line, texture);
  }

  const std::filesystem::path textureFolder = gf_pathFromUtf8(folder) / gf_pathFromUtf8("texture." + texture);
  std::error_code error;
  const auto status = std::filesystem::status(textureFolder, error);
  if (error && error != std::errc::no_such_file_or_directory) {
    throw std::filesystem::filesystem_error("texture folder", textureFolder, error);
  }
  if (!std::filesystem::is_directory(status)) {
    return reject(sk::format("{} {} does not exist", gf_pathToUtf8(textureFolder), header));
  }
  if (title.empty()) return reject(sk::format("{} {} misses title", folder, header));
  if (gDontUseTitles.contains(title)) return std::nullopt;

  if (const auto airline = pattern.airlineOf(title)) {
    if (!gf_isValidAirline(*airline)) {
      lf_addInvalidAirline(*airline, path, header);
      return std::nullopt;
    }
    if (*airline == kGenericAirline) registration.clear();
    return lf_makeIvaoLivery(priority, *airline, model, title, registration, folder, header);
  }
  if (registration.empty()) {
    return reject(sk::format("{} {} misses airlinecode in title: {}, and no regcode", folder, header, title));
  }
  if (const auto record = lf_airlineRecordOf(registration)) {
    return lf_makeIvaoLivery(priority, record->airl, model, title, registration, folder, header);
  }
  return reject(
      sk::format("{} {} misses airlinecode in title: {}, and regcode unknown{}", folder, header, title, registration));
}

ScannedCfgFile lf_searchLiveriesinIvaoFile(int priority, const std::filesystem::path& path) {
  ScannedCfgFile result;
  const std::string file = gf_pathToUtf8(path);
  const std::string model = lf_ivaoModelFromPath(file, result.fixes);
  if (model.empty()) return result;
  const std::string folder = gf_pathToUtf8(path.parent_path());
  std::vector<std::string> lines;
  const CfgRead read = lf_readAircraftCfg(path, lines);
  if (read == CfgRead::NotOpened) gf_log(sk::format("no character set found for {}", file));
  if (read != CfgRead::Ok || !lf_checkFltSimNumbers(lines, file)) return result;
  const IvaoTitlePattern pattern = lf_ivaoTitlePattern(model, file);
  lf_splitFltSimSections(lines, true, [&](std::vector<std::string>& section) {
    if (auto candidate = lf_procesIvaoFltSimSection(priority, section, pattern, model, file, folder)) {
      result.candidates.push_back(std::move(*candidate));
    }
  });
  return result;
}
