#include "tools/rtplayer/replay.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/errors.h"
#include "core/format.h"

namespace rtplay {

namespace {

std::string_view lf_trimBlanks(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

bool lf_parsePressureLine(std::string_view line, int lineNumber, Replay& replay) {
  constexpr std::string_view kPrefix = "QNH,";
  if (!line.starts_with(kPrefix)) return false;
  const auto rest = line.substr(kPrefix.size());
  const auto comma = rest.find(',');
  const auto time = gf_parseNumber(rest.substr(0, comma));
  if (comma == std::string_view::npos || !time) {
    replay.warnings.push_back(sk::format("line {}: a pressure line needs QNH,<time>,<value>", lineNumber));
    return true;
  }
  const auto value = lf_trimBlanks(rest.substr(comma + 1));
  if (value.empty() || !nlohmann::json::accept(value)) {
    replay.warnings.push_back(sk::format("line {}: the pressure value is not JSON: {}", lineNumber, value));
    return true;
  }
  replay.items.push_back({DatagramKind::Pressure, time, gf_pressureDatagram(value), lineNumber});
  return true;
}

}  // namespace

std::vector<std::string_view> gf_splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    auto line = text.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::vector<std::string_view> gf_splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const auto comma = line.find(',', start);
    if (comma == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
}

std::optional<double> gf_parseNumber(std::string_view field) {
  field = lf_trimBlanks(field);
  if (field.empty()) return std::nullopt;
  // from_chars refuses a leading '+', which hand-written files may carry.
  if (field.front() == '+') field.remove_prefix(1);
  double value = 0.0;
  const auto* end = field.data() + field.size();
  const auto [ptr, ec] = std::from_chars(field.data(), end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string gf_withTimestamp(std::string_view line, double time) {
  const auto fields = gf_splitFields(line);
  if (fields.size() <= kTimestampField) return std::string(line);
  std::string out;
  out.reserve(line.size() + 8);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    if (i == kTimestampField)
      out += sk::format("{:.2f}", time);
    else
      out += fields[i];
  }
  return out;
}

std::string gf_pressureDatagram(std::string_view jsonValue) {
  return sk::format("{{\"QNH\":{}}}", jsonValue);
}

Replay gf_parseReplay(std::string_view text) {
  Replay replay;
  int lineNumber = 0;
  for (const auto line : gf_splitLines(text)) {
    ++lineNumber;
    if (lf_trimBlanks(line).empty() || line.starts_with('#')) continue;
    if (lf_parsePressureLine(line, lineNumber, replay)) continue;

    const auto fields = gf_splitFields(line);
    std::optional<double> time;
    if (fields.size() > kTimestampField) time = gf_parseNumber(fields[kTimestampField]);
    replay.items.push_back({DatagramKind::Traffic, time, std::string(line), lineNumber});
  }
  return replay;
}

Replay gf_readReplayFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw qlx::UserErrorException(99, sk::format("cannot open the replay file {}", path.string()));
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad())
    throw qlx::UserErrorException(99, sk::format("cannot read the replay file {}", path.string()));
  return gf_parseReplay(content.str());
}

}  // namespace rtplay
