#pragma once
// The feed builder of the scenario bed: an aircraft and its scripted legs become
// RealTraffic lines at their ticks, handed to the real parser at those ticks, and
// the tracks they report (for the checker and the map).
#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/geometry.h"

class TrafficReader;

namespace scenario {

struct Leg {
  // Where the leg goes: along the great circle to `to`, or on `headingDeg` for `distanceNm`.
  std::optional<LatLon> to;
  double headingDeg = 0;
  double distanceNm = 0;
  double speedStartKts = 0;
  double speedEndKts = 0;
  bool onGround = false;  // reported at altitude 0
  double altStartFt = 0;
  double altEndFt = 0;
  std::int64_t reportIntervalTicks = 500;
  std::optional<double> rollDeg;         // reported roll; none: 0 (not reported)
  std::optional<double> trueHeadingDeg;  // reported true heading; none: -1 (not reported)
};

struct ScriptedAircraft {
  std::uint32_t hexid = 0;
  std::string callsign, type, registration, origin, destination;
  LatLon start;
  std::int64_t startTick = 0;
  std::vector<Leg> legs;
  double jitterM = 0;  // seeded, uniform north and east within plus or minus this
  std::vector<std::pair<std::int64_t, std::int64_t>> gaps;  // [from, to) ticks without reports
};

struct ReportedPoint {
  std::int64_t tick = 0;
  std::uint32_t hexid = 0;
  std::string callsign;
  double lat = 0, lon = 0, altFt = 0, groundSpeedKts = 0, trackDeg = 0;
  bool onGround = false;
};

struct FeedLine {
  std::int64_t tick = 0;
  std::string text;
};

class FeedBuilder {
 public:
  // `epochAtTickZero`: the UTC clock at tick 0, seconds since 1970.
  FeedBuilder(double epochAtTickZero, std::uint64_t seed) : m_epoch(epochAtTickZero), m_random(seed) {}

  void add(const ScriptedAircraft& aircraft);
  // Recorded lines as they are, each at `startTick` plus its timestamp's distance
  // from the first line's.
  void addRecorded(const std::vector<std::string>& lines, std::int64_t startTick);

  // Every line, by tick (lines of one tick in the order the aircraft were added).
  const std::vector<FeedLine>& lines() const { return m_lines; }
  const std::vector<ReportedPoint>& reported() const { return m_reported; }

  // Hands every line due by `tick` and not yet handed to the reader's parser.
  void feed(TrafficReader& reader, std::int64_t tick);

  // The lines as a replay file for the RealTraffic stand-in.
  void writeReplay(const std::filesystem::path& path) const;

 private:
  void lf_sortByTick();  // the lines not yet fed and the reported points

  double m_epoch;
  std::mt19937_64 m_random;
  std::vector<FeedLine> m_lines;
  std::vector<ReportedPoint> m_reported;
  std::size_t m_next = 0;
};

}  // namespace scenario
