#include "tools/rtplayer/convert.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

#include "core/format.h"
#include "tools/rtplayer/replay.h"

namespace rtplay {

namespace {

constexpr double kFeetPerMetre = 1.0 / 0.3048;
constexpr double kKnotsPerMetreSecond = 3600.0 / 1852.0;
constexpr double kFeetMinutePerMetreSecond = 60.0 / 0.3048;

enum Column {
  kTime,
  kHex,
  kCallsign,
  kLat,
  kLon,
  kAltitude,
  kSpeed,
  kTrack,
  kVerticalRate,
  kOnGround,
  kRegistration,
  kType,
  kRequiredColumns = kRegistration
};

struct Report {
  double time = 0.0;
  std::string line;
};

std::string_view lf_trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '"')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '"')) s.remove_suffix(1);
  return s;
}

std::string lf_lower(std::string_view s) {
  std::string lower;
  for (char c : s) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool lf_isMissing(std::string_view s) {
  const auto lower = lf_lower(s);
  return lower.empty() || lower == "null" || lower == "nan" || lower == "none";
}

std::optional<double> lf_number(std::string_view s) {
  if (lf_isMissing(s)) return std::nullopt;
  return gf_parseNumber(s);
}

// ICAO 24-bit address in hex; RealTraffic carries it in decimal.
std::optional<std::uint32_t> lf_hexId(std::string_view s) {
  if (s.empty() || s.size() > 6) return std::nullopt;
  std::uint32_t value = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

std::optional<bool> lf_flag(std::string_view s) {
  const auto lower = lf_lower(s);
  if (lower.empty() || lower == "false" || lower == "0") return false;
  if (lower == "true" || lower == "1") return true;
  return std::nullopt;
}

std::string lf_textOrNull(std::string_view s) {
  return lf_isMissing(s) ? "null" : std::string(s);
}

// Rounding can give -0, which reads oddly in a replay file.
double lf_rounded(double value) {
  return std::round(value) + 0.0;
}

struct RowOutcome {
  std::optional<Report> report;
  std::string problem;
};

RowOutcome lf_convertRow(const std::vector<std::string_view>& f, ReportUnits units) {
  if (f.size() < kRequiredColumns)
    return {std::nullopt, sk::format("{} columns, at least 10 needed", f.size())};
  const auto time = lf_number(f[kTime]);
  if (!time) return {std::nullopt, sk::format("time {}", f[kTime])};
  const auto hex = lf_hexId(f[kHex]);
  if (!hex) return {std::nullopt, sk::format("hex id {}", f[kHex])};
  const auto lat = lf_number(f[kLat]);
  const auto lon = lf_number(f[kLon]);
  if (!lat || !lon || std::abs(*lat) > 90.0 || std::abs(*lon) > 180.0)
    return {std::nullopt, sk::format("position {},{}", f[kLat], f[kLon])};
  const auto onGround = lf_flag(f[kOnGround]);
  if (!onGround) return {std::nullopt, sk::format("on-ground {}", f[kOnGround])};
  auto altitude = lf_number(f[kAltitude]);
  // On the ground the altitude says nothing the line needs, and ground reports often have none.
  if (*onGround) altitude = 0.0;
  if (!altitude) return {std::nullopt, sk::format("altitude {}", f[kAltitude])};
  const auto speed = lf_number(f[kSpeed]);
  if (!speed) return {std::nullopt, sk::format("ground speed {}", f[kSpeed])};
  const auto track = lf_number(f[kTrack]);
  if (!track && !lf_isMissing(f[kTrack])) return {std::nullopt, sk::format("track {}", f[kTrack])};
  const auto verticalRate = lf_number(f[kVerticalRate]);
  if (!verticalRate && !lf_isMissing(f[kVerticalRate]))
    return {std::nullopt, sk::format("vertical rate {}", f[kVerticalRate])};

  const bool metric = units == ReportUnits::Metric;
  const double feet = lf_rounded(*altitude * (metric ? kFeetPerMetre : 1.0));
  const double knots = *speed * (metric ? kKnotsPerMetreSecond : 1.0);
  const double fpm = lf_rounded(verticalRate.value_or(0.0) * (metric ? kFeetMinutePerMetreSecond : 1.0));
  const std::string trackText = track ? sk::format("{:.1f}", *track) : std::string();
  const auto registration = f.size() > kRegistration ? f[kRegistration] : std::string_view();
  const auto type = f.size() > kType ? f[kType] : std::string_view();

  // Fields by index as RealTraffic sends them; the ones nothing reads carry "no value".
  auto line =
      sk::format("RTTFC,{},{:.5f},{:.5f},{},{},{},{},{:.1f},{},{},{},null,null,{:.2f},X,null,replay,{},",
                 *hex, *lat, *lon, feet, fpm, *onGround ? 1 : 0, trackText, knots,
                 lf_textOrNull(f[kCallsign]), lf_textOrNull(type), lf_textOrNull(registration), *time, feet);
  line += sk::format("-1,-1,-1,-1,-1,-1,-1,{},none,A0,-1", fpm);
  return {Report{*time, std::move(line)}, {}};
}

}  // namespace

ConvertResult gf_convertPositionReports(std::string_view csv, ReportUnits units) {
  ConvertResult result;
  std::vector<Report> reports;
  int lineNumber = 0;
  bool firstRow = true;
  for (const auto line : gf_splitLines(csv)) {
    ++lineNumber;
    if (lf_trim(line).empty() || line.starts_with('#')) continue;

    auto fields = gf_splitFields(line);
    for (auto& field : fields) field = lf_trim(field);
    // A first row that does not start with a time is the column header.
    const bool header = firstRow && !lf_number(fields[kTime]);
    firstRow = false;
    if (header) continue;

    ++result.reports;
    auto outcome = lf_convertRow(fields, units);
    if (outcome.report)
      reports.push_back(std::move(*outcome.report));
    else
      result.warnings.push_back(sk::format("line {} skipped: {}", lineNumber, outcome.problem));
  }

  std::stable_sort(reports.begin(), reports.end(),
                   [](const Report& a, const Report& b) { return a.time < b.time; });
  result.replay = sk::format("# {} traffic lines from {} position reports\n", reports.size(), result.reports);
  for (const auto& report : reports) {
    result.replay += report.line;
    result.replay += '\n';
  }
  result.lines = static_cast<int>(reports.size());
  return result;
}

}  // namespace rtplay
