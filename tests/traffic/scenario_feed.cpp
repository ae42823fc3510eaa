#include "scenario_feed.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <optional>

#include "core/format.h"
#include "traffic/readers.h"

namespace scenario {
namespace {

constexpr double kRad = std::numbers::pi / 180;
constexpr double kEarthNm = 3440.065;
constexpr double kMetresPerDegree = 111195.0;

// The feed's own spherical sums, kept apart from the engine's so a fault there
// cannot hide itself in the script.
LatLon lf_destination(LatLon from, double bearingDeg, double nm) {
  double d = nm / kEarthNm, b = bearingDeg * kRad, la = from.lat * kRad, lo = from.lon * kRad;
  double lat = std::asin(std::sin(la) * std::cos(d) + std::cos(la) * std::sin(d) * std::cos(b));
  double lon = lo + std::atan2(std::sin(b) * std::sin(d) * std::cos(la), std::cos(d) - std::sin(la) * std::sin(lat));
  lon = std::remainder(lon, 2 * std::numbers::pi);
  return {lat / kRad, lon / kRad};
}
double lf_distanceNm(LatLon a, LatLon b) {
  double dLat = (b.lat - a.lat) * kRad, dLon = (b.lon - a.lon) * kRad;
  double h = std::pow(std::sin(dLat / 2), 2) + std::cos(a.lat * kRad) * std::cos(b.lat * kRad) * std::pow(std::sin(dLon / 2), 2);
  return 2 * kEarthNm * std::asin(std::min(1.0, std::sqrt(h)));
}
double lf_bearingDeg(LatLon a, LatLon b) {
  double dLon = (b.lon - a.lon) * kRad;
  double y = std::sin(dLon) * std::cos(b.lat * kRad);
  double x = std::cos(a.lat * kRad) * std::sin(b.lat * kRad) - std::sin(a.lat * kRad) * std::cos(b.lat * kRad) * std::cos(dLon);
  return std::fmod(std::atan2(y, x) / kRad + 360.0, 360.0);
}

}  // namespace

void FeedBuilder::add(const ScriptedAircraft& a) {
  std::uniform_real_distribution<double> jitter(-a.jitterM, a.jitterM);
  std::vector<FeedLine> lines;
  LatLon from = a.start;
  std::int64_t legStart = a.startTick;
  for (std::size_t li = 0; li < a.legs.size(); ++li) {
    const Leg& leg = a.legs[li];
    const double course0 = leg.to ? lf_bearingDeg(from, *leg.to) : leg.headingDeg;
    const double length = leg.to ? lf_distanceNm(from, *leg.to) : leg.distanceNm;
    const double meanKts = std::max((leg.speedStartKts + leg.speedEndKts) / 2, 1e-6);
    const auto ticks = static_cast<std::int64_t>(std::llround(length / meanKts * 360000.0));
    const bool last = li + 1 == a.legs.size();
    // Reports every interval from the leg's start; the last leg also reports its end.
    std::vector<std::int64_t> times;
    for (std::int64_t t = 0; t < ticks; t += std::max<std::int64_t>(leg.reportIntervalTicks, 1)) times.push_back(t);
    if (last) times.push_back(ticks);
    for (const std::int64_t t : times) {
      const std::int64_t tick = legStart + t;
      bool inGap = std::any_of(a.gaps.begin(), a.gaps.end(), [&](auto g) { return tick >= g.first && tick < g.second; });
      if (inGap) continue;
      // Even acceleration over the leg.
      const double f = ticks > 0 ? static_cast<double>(t) / static_cast<double>(ticks) : 1.0;
      const double speed = leg.speedStartKts + (leg.speedEndKts - leg.speedStartKts) * f;
      const double hours = static_cast<double>(t) / 360000.0;
      const double covered =
          leg.speedStartKts * hours + (leg.speedEndKts - leg.speedStartKts) * hours * f / 2;
      LatLon p = lf_destination(from, course0, covered);
      const double track = leg.to ? lf_bearingDeg(p, *leg.to) : leg.headingDeg;
      if (a.jitterM > 0) {
        p.lat += jitter(m_random) / kMetresPerDegree;
        p.lon += jitter(m_random) / (kMetresPerDegree * std::cos(p.lat * kRad));
      }
      const double alt = leg.onGround ? 0.0 : leg.altStartFt + (leg.altEndFt - leg.altStartFt) * f;
      const double verticalFpm =
          leg.onGround || ticks == 0 ? 0.0 : (leg.altEndFt - leg.altStartFt) / (static_cast<double>(ticks) / 6000.0);
      const double timestamp = m_epoch + static_cast<double>(tick) / 100.0;
      lines.push_back(
          {tick, sk::format("RTTFC,{},{:.6f},{:.6f},{:.0f},{:.0f},{},{:.1f},{:.1f},{},{},{},{},{},{:.2f},X,{},adsb_icao,"
                            "{:.0f},{:.0f},{:.0f},0.00,0.0,{:.1f},{:.1f},{:.1f},{:.0f},none,A3,1013.2",
                            a.hexid, p.lat, p.lon, alt, verticalFpm, leg.onGround ? 1 : 0, track, speed, a.callsign,
                            a.type, a.registration, a.origin, a.destination, timestamp, a.callsign, alt, speed, speed,
                            leg.rollDeg.value_or(0.0), track, leg.trueHeadingDeg.value_or(-1.0), verticalFpm)});
      m_reported.push_back({tick, a.hexid, a.callsign, p.lat, p.lon, alt, speed, track, leg.onGround});
    }
    from = leg.to ? *leg.to : lf_destination(from, leg.headingDeg, leg.distanceNm);
    legStart += ticks;
  }
  m_lines.insert(m_lines.end(), lines.begin(), lines.end());
  lf_sortByTick();
}

void FeedBuilder::addRecorded(const std::vector<std::string>& lines, std::int64_t startTick) {
  std::optional<double> first;
  for (const std::string& text : lines) {
    std::vector<std::string> f;
    for (std::size_t at = 0;;) {
      const std::size_t comma = text.find(',', at);
      f.push_back(text.substr(at, comma - at));
      if (comma == std::string::npos) break;
      at = comma + 1;
    }
    if (f.size() < 15 || f[0] != "RTTFC") continue;
    const double stamp = std::stod(f[14]);
    if (!first) first = stamp;
    const std::int64_t tick = startTick + std::llround((stamp - *first) * 100.0);
    m_lines.push_back({tick, text});
    const auto number = [](const std::string& t) { return t.empty() ? 0.0 : std::stod(t); };
    m_reported.push_back({tick, static_cast<std::uint32_t>(std::stoul(f[1])), f[9], number(f[2]), number(f[3]),
                          std::max(number(f[4]), 0.0), number(f[8]), number(f[7]), f[6] == "1"});
  }
  lf_sortByTick();
}

void FeedBuilder::lf_sortByTick() {
  std::stable_sort(m_lines.begin() + static_cast<std::ptrdiff_t>(m_next), m_lines.end(),
                   [](const FeedLine& x, const FeedLine& y) { return x.tick < y.tick; });
  std::stable_sort(m_reported.begin(), m_reported.end(),
                   [](const ReportedPoint& x, const ReportedPoint& y) { return x.tick < y.tick; });
}

void FeedBuilder::feed(TrafficReader& reader, std::int64_t tick) {
  while (m_next < m_lines.size() && m_lines[m_next].tick <= tick) lf_onTrafficDatagram(reader, m_lines[m_next++].text);
}

void FeedBuilder::writeReplay(const std::filesystem::path& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "# Written by the scenario bed's feed builder.\n";
  for (const auto& line : m_lines) out << line.text << '\n';
}

}  // namespace scenario
