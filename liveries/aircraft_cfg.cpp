#include "liveries/aircraft_cfg.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "core/file_read.h"
#include "core/format.h"
#include "core/log.h"
#include "core/util.h"
#include "liveries/scan_lists.h"

const std::unordered_map<std::string, std::string> gBaseContainerTypes = {
    {"Asobo_FlightDesignCT", "FDCT"},
    {"Asobo_Longitude", "C700"},
    {"Asobo_VL3", "VL3"},
    {"Asobo_Savage_Cub", "SAVG"},
    {"Asobo_Savage_ShockUltra", "SAVG"},
    {"Asobo_XCub", "CC19"},
    {"Asobo_Pitts", "PTS2"},
    {"Asobo_SR22", "SR22"},
    {"Asobo_Icon", "A5"},
    {"Asobo_TBM930", "TBM9"},
    {"Asobo_KingAir350", "B350"},
    {"Asobo_E330", "E300"},
    {"Asobo_DV20", "DV20"},
    {"Asobo_DR400", "DR40"},
    {"Asobo_DA62", "DA62"},
    {"Asobo_DA40_TDI", "DA40"},
    {"Asobo_DA40_NG", "DA40"},
    {"Asobo_Cap10C", "CP10"},
    {"Asobo_CJ4", "C25C"},
    {"Asobo_C152", "C152"},
    {"Asobo_C152_Aerobat", "C152"},
    {"Asobo_C172sp_AS1000", "C172"},
    {"Asobo_C172sp_classic", "C172"},
    {"Asobo_Bonanza_G36", "BE36"},
    {"Asobo_Baron_G58", "B58T"},
    {"Asobo_B747_8i", "B748"},
    {"Asobo_B787_10", "B78X"},
    {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
    {"Asobo_A320_NEO", "A20N"},
    {"FlyByWire_A320_NEO", "A20N"},
};

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && lf_isBlank(text[at])) ++at;
  return at;
}

// Compares a lower-case literal with text at `at` in any letter case.
bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view literal) {
  if (text.size() - at < literal.size()) return false;
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (lf_lowerAscii(text[at + i]) != literal[i]) return false;
  }
  return true;
}

std::optional<std::string> unquotedValue(const std::string& line, std::string_view key) {
  const auto raw = lf_matchKey(line, key);
  if (!raw) return std::nullopt;
  return gf_betweenQuotes(*raw);
}

}  // namespace

std::optional<std::string_view> lf_matchKey(std::string_view line, std::string_view key) {
  std::size_t at = skipBlanks(line, 0);
  if (!startsWithNoCase(line, at, key)) return std::nullopt;
  at = skipBlanks(line, at + key.size());
  if (at >= line.size() || line[at] != '=') return std::nullopt;
  const std::size_t start = skipBlanks(line, at + 1);
  std::size_t end = line.size();
  while (end > start && lf_isBlank(line[end - 1])) --end;
  if (end == start) return std::nullopt;
  const std::string_view value = line.substr(start, end - start);
  // '.' of the pattern takes neither CR nor LF.
  if (value.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
  return value;
}

std::string lf_parseFltSimHeader(const std::string& line) {
  if (line.size() >= 2 && line[0] == '/' && line[1] == '/') return {};
  std::size_t at = skipBlanks(line, 0);
  if (startsWithNoCase(line, at, "[fltsim.")) {
    const std::size_t digits = at + 8;
    std::size_t end = digits;
    while (end < line.size() && isDigit(line[end])) ++end;
    if (end > digits && end < line.size() && line[end] == ']' && skipBlanks(line, end + 1) == line.size()) {
      return line.substr(digits, end - digits);
    }
  }
  if (line.find("[fltsim.") != std::string::npos || line.find("[FLTSIM.") != std::string::npos) {
    return std::string(kHeaderWithoutNumber);
  }
  return {};
}

std::string lf_upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool lf_parseTitle(const std::string& line, std::string& out) {
  auto value = unquotedValue(line, "title");
  if (!value) return false;
  if (!value->empty()) out = std::move(*value);
  return true;
}

bool lf_parseTexture(const std::string& line, std::string& out) {
  auto value = unquotedValue(line, "texture");
  if (!value || value->empty()) return false;
  out = std::move(*value);
  return true;
}

std::string lf_parseBaseContainer(const std::string& line) {
  const auto value = unquotedValue(line, "base_container");
  if (!value) return {};
  // Drops the "..\" before the folder name; a shorter value throws out_of_range.
  const auto found = gBaseContainerTypes.find(value->substr(3));
  return found == gBaseContainerTypes.end() ? std::string() : lf_upper(found->second);
}

std::string lf_parseIcaoTypeDesignator(const std::string& line) {
  const auto value = unquotedValue(line, "icao_type_designator");
  if (!value) return {};
  return lf_upper(value->substr(0, 4));
}

bool lf_parseAtcId(const std::string& line, std::string& out) {
  auto value = unquotedValue(line, "atc_id");
  if (!value || value->size() < 5) return false;
  out = std::move(*value);
  return true;
}

bool lf_parseIcaoAirline(const std::string& line, std::string& out) {
  auto value = unquotedValue(line, "icao_airline");
  if (!value) return false;
  out = value->empty() || *value == "ZZZZ" ? std::string(kGenericAirline) : lf_upper(std::move(*value));
  return true;
}

bool lf_parseAtcParkingTypes(const std::string& line, std::string& out) {
  auto value = unquotedValue(line, "atc_parking_types");
  if (!value || value->empty()) return false;
  out = std::move(*value);
  return true;
}

CfgRead lf_readAircraftCfg(const std::filesystem::path& path, std::vector<std::string>& lines) {
  const int encoding = gf_detectEncoding(path);
  if (encoding == ENC_NONE_FOUND) return CfgRead::NotOpened;
  if (gf_tooLargeToRead(path)) {
    lf_addInvalidCfgFile(gf_tooLargeText(path));
    return CfgRead::NotRead;
  }
  return gf_readUtf16File(encoding, path, lines) ? CfgRead::Ok : CfgRead::NotRead;
}

bool lf_checkFltSimNumbers(const std::vector<std::string>& lines, const std::string& path) {
  std::vector<int> numbers;
  for (const std::string& line : lines) {
    const std::string number = lf_parseFltSimHeader(line);
    if (number.empty()) continue;
    int value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) {
      gf_log(sk::format("fltsim num {} incorrect", line));
      return false;
    }
    numbers.push_back(value);
  }
  if (numbers.empty()) {
    lf_addFileWithoutSections(path);
    return true;
  }
  std::sort(numbers.begin(), numbers.end());
  int expected = 0;
  for (const int number : numbers) {
    if (number == expected) {
      ++expected;
      continue;
    }
    const std::string reason = number == 10000 ? std::string("a [fltsim.] section without a number")
                                               : sk::format("non-consecutive [fltsim.x] numbers at .x={}", number);
    lf_addInvalidCfgFile(path + " contains " + reason);
    return false;
  }
  return true;
}

void lf_splitFltSimSections(const std::vector<std::string>& lines, bool anyBracketEnds,
                            const std::function<void(std::vector<std::string>&)>& process) {
  bool open = false;
  std::vector<std::string> section;
  for (const std::string& line : lines) {
    if (!lf_parseFltSimHeader(line).empty()) {
      open = true;
      if (!section.empty()) {
        process(section);
        section.clear();
      }
      section.push_back(line);
      continue;
    }
    const std::size_t bracket = line.find('[');
    if (bracket != std::string::npos && (anyBracketEnds || bracket <= 5)) {
      if (open) {
        process(section);
        section.clear();
        open = false;
      }
      continue;
    }
    if (open) section.push_back(line);
  }
  if (open) process(section);
}
