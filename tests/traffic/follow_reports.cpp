#include "follow_reports.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <fstream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <numbers>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>

#include "airports/apf_loading.h"
#include "airports/bgl_airports.h"
#include "airports/stand.h"
#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "doubles.h"
#include "scenario_driver.h"
#include "test_support.h"
#include "tools/simstandin/scenario.h"
#include "traffic/arbitration.h"
#include "traffic/engine.h"
#include "traffic/readers.h"
#include "traffic/sim_queues.h"
#include "traffic/update_queue.h"

namespace sweep {
namespace {

constexpr double kMetresPerDegree = 111195.0;
constexpr double kKnotsPerMetrePerTick = 100.0 * 3600.0 / 1852.0;
constexpr std::int64_t kFirstLineTick = 100;
constexpr std::int64_t kShownAfter = kUpdateDueTicks;  // a report is shown this long after it came
constexpr std::int64_t kPlayTicks = 12000;             // 120 s past the entry
constexpr std::int64_t kPlayAfterEventTicks = 6000;    // 60 s past a lift-off or a parking
constexpr std::size_t kMutatedLine = 10;
constexpr double kPauseSeconds = 40.0;
constexpr double kAsideMetres = 80.0;
constexpr double kEntryCeilingFt = 3000.0;
constexpr double kEntryReachNm = 5.0;
constexpr double kFeetPerHpa = 27.3;
constexpr int kStandardQnh = 1013;
constexpr int kLowPressureDay = 990, kHighPressureDay = 1040;
constexpr std::size_t kThinnedEvery = 3;
constexpr std::size_t kSpoiltOnOtherDaysEvery = 5;

// The checks a user makes by eye.
constexpr double kGroundOffTrackM = 50.0;
constexpr double kAirOffTrackM = 300.0;
constexpr double kCreatedOffReportM = 100.0;
constexpr double kClimbingFpm = 256.0;
constexpr double kLiftOffPastAirborneM = 500.0;
constexpr double kReportsApartTicks = 500.0;
constexpr std::int64_t kSpeedWindowTicks = 300;  // speeds judged over 3 s
constexpr std::int64_t kSlowForTicks = 500;
constexpr double kStillMetres = 2.0;
constexpr double kMovedOnMetres = 50.0;
constexpr double kClaimReachM = 35.0;
constexpr double kCreatedParkedReachM = 55.0;
constexpr double kRestTicks = 30000;  // 5 minutes of reports at a stand
constexpr double kStandLeftM = 85.0;
constexpr std::int64_t kLeaveWithinTicks = 3000;
constexpr double kLeftMetres = 5.0;
constexpr std::int64_t kShortLifeTicks = 6000;
constexpr std::int64_t kRejoinTicks = 6000;  // a minute to rejoin its reports after a pause
constexpr const char* kThroughAPause = "flies on or waits through a pause, then rejoins";
constexpr double kFlyingAboveFieldFt = 300.0;
constexpr double kMostClimbFtPerS = 100.0;
constexpr double kEndReachM = 25.0;     // the last reports may fall within 20 m of the one before
constexpr std::size_t kSpeedSteps = 5;  // a jump aside and back is two steps of them
constexpr double kCreepingKts = 5.0;
constexpr std::int64_t kPullOutTicks = 2500;  // two spans at the stand speed
// The pull-out and push-back go their own way at the stand speed; then it
// catches up with its reports at no more than taxi speed.
constexpr std::int64_t kLeavingStandTicks = 6000;
constexpr const char* kLeavesStandItsOwnWay = "leaves its stand by a pull-out or push-back, then catches up";
constexpr const char* kThroughAShortStop =
    "rolls on through a short stop of its reports, as a ground track does";
constexpr std::int64_t kShortStopTicks = 1500;
constexpr double kSamePlaceMetres = 1.0;
constexpr std::int64_t kBrakingTicks = 1000;  // 30 kt lost within 10 s
constexpr double kBrakingKts = 30.0;
constexpr double kSpeedingUpKts = 10.0;
// Along its line, behind or ahead of where its reports were when shown.
constexpr double kGroundTimeOffS = 3.0;
constexpr double kAirTimeOffS = 5.0;
constexpr std::int64_t kSettleTicks = 500;  // its first 5 s on the ground
constexpr double kSameStretchM = 10.0;
constexpr double kAlongSlackM = 10.0;
// A report that only a day's high pressure puts on the ground: it flies this high.
constexpr double kTrulyFlyingFt = 50.0;
// Its wheels off by no more than this in a rotation, it is not yet flying.
constexpr double kRotatingFt = 10.0;
constexpr const char* kPressureAltitudeAtZero = "an arrival whose pressure altitude reaches 0 before the runway";
constexpr std::int64_t kCreationLeadTicks = 300;  // created up to 3 s before its first point is due
// Past a landing's touchdown report, the flare may float on before the wheels touch.
constexpr double kFlareFloatM = 500.0;
// Off its stand: its reports 10 m away for good, it 5 m within 30 s of their showing.
constexpr double kStandOffMetres = 10.0;
constexpr std::int64_t kRestAtStandTicks = 2000;
constexpr double kStandGoneMetres = 25.0;
constexpr double kTaxiMetresPerSecond = 30.0 * 1852.0 / 3600.0;

std::filesystem::path lf_data(const std::string& name) {
  return std::filesystem::path(SKLM_TEST_DATA_DIR) / name;
}
std::filesystem::path lf_demo(const std::string& name) {
  return std::filesystem::path(SKLM_TEST_DATA_DIR) / ".." / ".." / "demo" / name;
}

std::vector<std::string> lf_fields(const std::string& line, char separator = ',') {
  std::vector<std::string> fields;
  for (std::size_t at = 0;;) {
    const std::size_t next = line.find(separator, at);
    fields.push_back(line.substr(at, next - at));
    if (next == std::string::npos) return fields;
    at = next + 1;
  }
}

std::string lf_join(const std::vector<std::string>& fields) {
  std::string line;
  for (const std::string& field : fields) line += (line.empty() ? "" : ",") + field;
  return line;
}

double lf_number(const std::string& text) {
  try {
    return text.empty() ? 0.0 : std::stod(text);
  } catch (const std::exception&) {
    return 0.0;
  }
}

// Fields of a traffic line by index.
enum Field : std::size_t {
  kHexid = 1,
  kLat,
  kLon,
  kAlt,
  kVs,
  kOnGround,
  kTrack,
  kSpeed,
  kCallsign,
  kType,
  kStamp = 14,
  kWake = 28
};

double lf_stamp(const std::string& line) {
  return lf_number(lf_fields(line)[kStamp]);
}

LatLon lf_offset(LatLon from, double bearingDeg, double metres) {
  const double b = bearingDeg * std::numbers::pi / 180.0;
  return {
      from.lat + metres * std::cos(b) / kMetresPerDegree,
      from.lon + metres * std::sin(b) / (kMetresPerDegree * std::cos(from.lat * std::numbers::pi / 180.0))};
}

const std::vector<World>& lf_worlds() {
  // The fields of the demo's airport lists; the day's pressure of each recording.
  static const std::vector<World> worlds{
      {"ESSA",
       {59.651901245117, 17.918600082397},
       137.0,
       1031,
       lf_demo("essa_sim.json"),
       lf_demo("essa_airport.json")},
      {"LFBO", {43.629101, 1.36382}, 499.0, 1013, lf_demo("lfbo_sim.json"), lf_demo("lfbo_airport.json")},
  };
  return worlds;
}

// The world's stands as the scenery layout writes them, named and joined as a read of its file would.
std::vector<Stand> lf_stands(const World& world) {
  std::ifstream in(world.stands);
  const nlohmann::json layout = nlohmann::json::parse(in);
  std::vector<Stand> stands;
  for (const auto& section : layout["sections"])
    for (const auto& airport : section["records"])
      for (const auto& spot : airport["spots"]) {
        const std::string name =
            lf_parkingName(spot["name"].get<std::uint32_t>()) + std::to_string(spot["number"].get<int>());
        Stand& stand = stands.emplace_back(
            name, std::vector<StandOption>{},
            StandPosition{spot["lat"], spot["lon"], spot["heading"].get<double>() * DEG_TO_RAD},
            spot["radius"].get<double>(), false, false, false);
        stand.index = static_cast<std::uint32_t>(stands.size());
      }
  lf_findAdjacentStandsByPairs(stands);
  return stands;
}

// Splits a recording into one track per aircraft whose type the program can create.
void lf_addRecording(std::vector<Track>& tracks, const std::filesystem::path& file,
                     const std::string& world) {
  std::map<std::string, std::size_t> byHexid;
  for (const std::string& line : fileLines(file)) {
    const auto f = lf_fields(line);
    if (f.size() < 15 || f[0] != "RTTFC" || f[kType].empty() || f[kType] == "null") continue;
    auto [at, added] = byHexid.try_emplace(f[kHexid], tracks.size());
    if (added) {
      tracks.emplace_back().name = f[kCallsign];
      tracks.back().world = world;
    }
    tracks[at->second].lines.push_back(line);
  }
}

// ---------------------------------------------------------------------------
// A run: the feed, the engine's state tick by tick, the stand-in's trace.

struct Report {
  std::int64_t tick = 0;  // when it came
  LatLon at;
  double x = 0, y = 0;  // metres east and north of the field
  double verticalSpeed = 0;
  bool airborne = false;  // as the program reads the report played
  // As the program reads the report on its track's own day: where the aircraft
  // flies and climbs, whatever another day's pressure makes of its altitude.
  double dayAltitude = 0;
  bool dayAirborne = false;
  bool plausible = true;  // its altitude one an aircraft could reach from the report before
  // Above the field by its pressure altitude and the pressure the program is
  // given; 0 for a report that carries none.
  double heightFt = 0;
};

struct Seen {
  std::int64_t tick = 0;
  bool present = false;
  bool onGround = false;
  bool invented = false;  // flying or rolling on points of its own
  bool holding = false;   // standing on the ground for reports to come
  std::uint32_t phase = PHASE_NEW;
  std::uint32_t standId = 0;
  bool landed = false;
  LatLon at;
  double altitude = 0;
};

struct Event {
  std::int64_t tick;
  enum Kind { tookOff, landed, arrivedAtStand, parks, removedWhileHeld } kind;
  std::uint32_t standId = 0;
  LatLon at;
  double altitude = 0;
};

class Judge {
 public:
  Judge(const Case& c, const World& world, std::vector<Report> reports, std::vector<Seen> seen,
        std::vector<Event> events, std::map<std::uint32_t, scenario::TracedObject> objects,
        std::vector<Stand> stands, std::int64_t closeTick, int ticksPerFrame)
      : m_case(c),
        m_world(world),
        m_reports(std::move(reports)),
        m_seen(std::move(seen)),
        m_events(std::move(events)),
        m_objects(std::move(objects)),
        m_stands(std::move(stands)),
        m_closeTick(closeTick),
        m_ticksPerFrame(ticksPerFrame) {
    double s = 0;
    for (std::size_t i = 0; i < m_reports.size(); ++i) {
      const double step =
          i > 0 ? std::hypot(m_reports[i].x - m_reports[i - 1].x, m_reports[i].y - m_reports[i - 1].y) : 0;
      s += step;
      m_along.push_back(s);
      if (m_places.empty() || step > kSamePlaceMetres)
        m_places.push_back({s, m_reports[i].tick, m_reports[i].tick, i});
      else
        m_places.back().lastTick = m_reports[i].tick;
      m_reportTicks.push_back(static_cast<double>(m_reports[i].tick));
    }
    for (const Place& place : m_places) {
      m_placeAlongs.push_back(place.along);
      m_placeTicks.push_back(static_cast<double>(place.firstTick));
    }
  }

  std::vector<Finding> judge() {
    if (m_reports.empty()) return m_findings;
    m_climbs = climbs();
    for (const auto& [id, object] : m_objects) {
      judgePlace(object);
      judgeGroundSpeed(object);
      judgeShortLife(object);
    }
    judgeLiftOffs();
    judgeStands();
    return m_findings;
  }

  void add(const std::string& check, std::int64_t tick, double excess, const std::string& unit,
           const std::string& excusedBy = {}) {
    for (Finding& f : m_findings) {
      if (f.check != check || f.excusedBy != excusedBy) continue;
      const double was = lf_number(f.amount);
      if (excess > was) f.amount = sk::format("{:.1f} {}", excess, unit);
      return;
    }
    m_findings.push_back({m_case.track->name, m_case.entry + 1, m_case.mutation, m_case.conditions, check, tick,
                          sk::format("{:.1f} {}", excess, unit), excusedBy});
  }

 private:
  struct Near {
    double metres = std::numeric_limits<double>::infinity();
    double along = 0;  // metres along the reports' line
  };

  double x(const LatLon& p) const {
    return (p.lon - m_world.field.lon) * kMetresPerDegree *
           std::cos(m_world.field.lat * std::numbers::pi / 180.0);
  }
  double y(const LatLon& p) const { return (p.lat - m_world.field.lat) * kMetresPerDegree; }
  double metres(const LatLon& a, const LatLon& b) const { return std::hypot(x(a) - x(b), y(a) - y(b)); }

  // The place on the stretch from report i to the next nearest to p.
  Near onStretch(std::size_t i, const LatLon& p) const {
    const double px = x(p), py = y(p);
    const Report& a = m_reports[i];
    const Report& b = m_reports[std::min(i + 1, m_reports.size() - 1)];
    const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(((px - a.x) * dx + (py - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
    return {std::hypot(px - a.x - t * dx, py - a.y - t * dy), m_along[i] + t * std::sqrt(len2)};
  }

  // The stretches of the reports shown around the tick (the engine shows each
  // some 30 s after it came): [from, to).
  std::pair<std::size_t, std::size_t> shownAround(std::int64_t tick, std::int64_t around) const {
    const auto first = std::lower_bound(m_reports.begin(), m_reports.end(), tick - kShownAfter - around,
                                        [](const Report& r, std::int64_t t) { return r.tick < t; });
    const auto last = std::upper_bound(m_reports.begin(), m_reports.end(), tick - kShownAfter + around,
                                       [](std::int64_t t, const Report& r) { return t < r.tick; });
    const auto from = static_cast<std::size_t>(std::max<std::ptrdiff_t>(first - m_reports.begin() - 1, 0));
    return {from, std::max(static_cast<std::size_t>(last - m_reports.begin()), from + 1)};
  }

  // The nearest place on the line through the reports, searched among the reports shown around the tick.
  Near nearest(const LatLon& p, std::int64_t tick, std::int64_t around = 9000) const {
    const auto [from, to] = shownAround(tick, around);
    Near best;
    for (std::size_t i = from; i < to; ++i)
      if (const Near n = onStretch(i, p); n.metres < best.metres) best = n;
    return best;
  }

  // The tick a run of places along the line (non-decreasing) first, or last, stood at `along`.
  static double tickAt(const std::vector<double>& alongs, const std::vector<double>& ticks, double along,
                       bool latest) {
    const auto it = latest ? std::upper_bound(alongs.begin(), alongs.end(), along)
                           : std::lower_bound(alongs.begin(), alongs.end(), along);
    const auto i = static_cast<std::size_t>(it - alongs.begin());
    if (i == 0) return ticks.front();
    if (i == alongs.size()) return ticks.back();
    return ticks[i - 1] + (along - alongs[i - 1]) / (alongs[i] - alongs[i - 1]) * (ticks[i] - ticks[i - 1]);
  }

  // When the reports were at a place along their line, earliest and latest (ticks
  // they came). Read report by report, and from place to place: a position that
  // freezes for seconds and jumps on moved on all the while.
  std::pair<double, double> timesAt(double along) const {
    const double smooth = tickAt(m_placeAlongs, m_placeTicks, along, false);
    return {std::min(tickAt(m_along, m_reportTicks, along, false), smooth),
            std::max(tickAt(m_along, m_reportTicks, along, true), smooth)};
  }

  // Seconds the object at p is behind (positive) or ahead of (negative) where its
  // reports were when shown, along their line: the least over the stretches shown
  // around the tick that pass as near as the nearest (the line may cross itself).
  std::optional<double> secondsBehind(const LatLon& p, std::int64_t tick) const {
    const double shown = static_cast<double>(tick - kShownAfter);
    if (shown < static_cast<double>(m_reports.front().tick) || shown > static_cast<double>(m_reports.back().tick))
      return std::nullopt;
    const auto [from, to] = shownAround(tick, kSpeedWindowTicks * 10);
    std::vector<Near> near;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t i = from; i < to; ++i) {
      near.push_back(onStretch(i, p));
      best = std::min(best, near.back().metres);
    }
    std::optional<double> least;
    for (const Near& n : near) {
      if (n.metres > best + kSameStretchM) continue;
      // A few metres either way are no time: a stop the reports make is a place, not an instant.
      const double earliest = timesAt(n.along - kAlongSlackM).first, latest = timesAt(n.along + kAlongSlackM).second;
      const double off = shown < earliest ? shown - earliest : shown > latest ? shown - latest : 0.0;
      if (!least || std::abs(off) < std::abs(*least)) least = off;
    }
    if (least) *least /= 100.0;
    return least;
  }
  Near nearestAnywhere(const LatLon& p) const {
    return nearest(p, 0, std::numeric_limits<std::int32_t>::max());
  }

  // Whether it flew or rolled on points of its own, or stood waiting for
  // reports (`orHeld`), within the ticks before.
  bool inventedWithin(std::int64_t tick, std::int64_t ticks, bool orHeld = false) const {
    const auto from = std::lower_bound(m_seen.begin(), m_seen.end(), tick - ticks,
                                       [](const Seen& s, std::int64_t t) { return s.tick < t; });
    return std::any_of(from, m_seen.end(),
                       [&](const Seen& s) { return s.tick <= tick && (s.invented || (orHeld && s.holding)); });
  }

  // Whether it stood on a stand (or, `pushedBack`, was pushed back from one) within the ticks before.
  bool leftStandWithin(std::int64_t tick, std::int64_t ticks, bool pushedBack = false) const {
    return std::any_of(m_seen.begin(), m_seen.end(), [&](const Seen& s) {
      return s.tick <= tick && s.tick >= tick - ticks && s.present &&
             (s.phase == PHASE_PARKED ||
              (pushedBack && (s.phase == PHASE_PUSHBACK || s.phase == PHASE_PUSHBACK_DONE)));
    });
  }

  std::size_t indexAt(double along) const {
    const auto i =
        static_cast<std::size_t>(std::upper_bound(m_along.begin(), m_along.end(), along) - m_along.begin());
    return i == 0 ? 0 : i - 1;
  }

  const Seen* seenAt(std::int64_t tick) const {
    const auto it = std::upper_bound(m_seen.begin(), m_seen.end(), tick,
                                     [](std::int64_t t, const Seen& s) { return t < s.tick; });
    return it == m_seen.begin() ? nullptr : &*(it - 1);
  }

  std::int64_t tickOf(std::int64_t frame) const { return frame * m_ticksPerFrame - 1; }

  // The gap between the reports the engine shows at this tick.
  double reportGapAt(std::int64_t tick) const {
    const std::int64_t shown = tick - kShownAfter;
    const auto after = std::lower_bound(m_reports.begin(), m_reports.end(), shown,
                                        [](const Report& r, std::int64_t t) { return r.tick < t; });
    if (after == m_reports.begin() || after == m_reports.end())
      return std::numeric_limits<double>::infinity();
    return static_cast<double>(after->tick - (after - 1)->tick);
  }

  // The speeds the reports show at a place on their line, at least and at most.
  // Real surface positions freeze for seconds and jump on, and jump aside and
  // back: over at least 3 s around the place, the steps between the places they
  // move to (a repeated position is no place of its own) give a median and a
  // mean, and reports that stand at the place for 3 s may show a stop. Not known
  // across a pause in the reports.
  struct Speeds {
    double low = std::numeric_limits<double>::quiet_NaN();
    double high = std::numeric_limits<double>::quiet_NaN();
  };
  Speeds reportedSpeedsAt(double along) const {
    if (std::isnan(along) || m_places.size() < 2) return {};
    const auto at = std::upper_bound(m_places.begin(), m_places.end(), along,
                                     [](double a, const Place& p) { return a < p.along; });
    const std::size_t k = at == m_places.begin() ? 0 : static_cast<std::size_t>(at - m_places.begin()) - 1;
    const std::size_t last = m_places.size() - 1;
    std::size_t from = std::min(k, last - 1), to = from + 1;
    while (
        (m_places[to].firstTick - m_places[from].firstTick < kSpeedWindowTicks || to - from < kSpeedSteps) &&
        (from > 0 || to < last)) {
      if (from > 0) --from;
      if (to < last) ++to;
    }
    for (std::size_t i = m_places[from].firstReport; i < m_places[to].firstReport; ++i)
      if (m_reports[i + 1].tick - m_reports[i].tick > kReportsApartTicks) return {};
    auto knots = [&](std::size_t a, std::size_t b) {
      return (m_places[b].along - m_places[a].along) /
             static_cast<double>(std::max<std::int64_t>(m_places[b].firstTick - m_places[a].firstTick, 1)) *
             kKnotsPerMetrePerTick;
    };
    std::vector<double> steps;
    for (std::size_t i = from; i < to; ++i) steps.push_back(knots(i, i + 1));
    std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2),
                     steps.end());
    const double median = steps[steps.size() / 2], mean = knots(from, to);
    const Place& here = m_places[k];
    const bool stands =
        along - here.along <= kStillMetres && here.lastTick - here.firstTick >= kSpeedWindowTicks;
    return {stands ? 0.0 : std::min(median, mean), std::max(median, mean)};
  }

  void judgePlace(const scenario::TracedObject& object) {
    if (object.createFrame >= 0) {
      const std::int64_t createTick = tickOf(object.createFrame);
      const LatLon created{object.createLat, object.createLon};
      double best = std::numeric_limits<double>::infinity();
      for (const Report& r : m_reports)
        if (r.tick <= createTick) best = std::min(best, metres(created, r.at));
      if (best > kCreatedOffReportM)
        add("(a) created away from its reports", createTick, best - kCreatedOffReportM, "m");
      if (!object.createdOnGround) judgeCreatedInTheAir(object, createTick);
    }
    for (const auto& fix : object.path) {
      const std::int64_t tick = tickOf(fix.frame);
      const Seen* s = seenAt(tick);
      if (!s || !s->present || s->invented || tick >= m_closeTick) continue;
      const LatLon p{fix.lat, fix.lon};
      const double limit = s->onGround ? kGroundOffTrackM : kAirOffTrackM;
      Near n = nearest(p, tick);
      if (n.metres > limit) n = nearestAnywhere(p);
      if (n.metres > limit)
        add(s->onGround ? "(a) off its reports on the ground" : "(a) off its reports in the air", tick,
            n.metres - limit, "m",
            inventedWithin(tick, kRejoinTicks) ? kThroughAPause : "");
      const std::size_t i = indexAt(n.along);
      const Report& a = m_reports[i];
      const Report& b = m_reports[std::min(i + 1, m_reports.size() - 1)];
      if (s->onGround && s->phase != PHASE_LIFTOFF) {
        const double above = std::min(a.dayAltitude, b.dayAltitude) - m_world.elevationFt;
        // Read on the ground by a high pressure's altitudes, the program can only put it there.
        const bool readOnGround = !a.airborne || !b.airborne;
        if (a.dayAirborne && b.dayAirborne && a.plausible && b.plausible && above > kFlyingAboveFieldFt)
          add("(b) on the ground where its reports fly", tick, above, "ft",
              readOnGround ? kPressureAltitudeAtZero : "");
      }
      // In the air where its reports, as the program reads them, stand or roll on
      // the ground: not where they climb, nor in the flare past the last airborne one.
      const auto standsOrRolls = [](const Report& r) { return !r.airborne && r.verticalSpeed <= kClimbingFpm; };
      if (!s->onGround && fix.altitudeFt - m_world.elevationFt > kRotatingFt && standsOrRolls(a) &&
          standsOrRolls(b) && !inClimb(n.along) && n.along > touchdownBefore(i) + kFlareFloatM) {
        const bool flies = a.heightFt > kTrulyFlyingFt && b.heightFt > kTrulyFlyingFt;
        add("(b2) airborne where its reports are on the ground", tick, fix.altitudeFt - m_world.elevationFt,
            "ft", flies ? kPressureAltitudeAtZero : "");
      }
      judgeTimeAlong(object, *s, p, tick);
    }
  }

  // Created in the air after reports that stand or roll on the ground (two or
  // more: one is a 0-ft glitch of a flight) since it was last seen, up to the one
  // it is created from.
  void judgeCreatedInTheAir(const scenario::TracedObject& object, std::int64_t createTick) {
    std::int64_t since = 0;
    for (const auto& [id, other] : m_objects)
      for (const std::int64_t frame : other.removeFrames)
        if (tickOf(frame) < createTick) since = std::max(since, tickOf(frame) - kShownAfter);
    std::size_t onGround = 0, flying = 0;
    for (const Report& r : m_reports) {
      if (r.tick < since || r.tick > createTick - kShownAfter + kCreationLeadTicks) continue;
      if (r.airborne || r.verticalSpeed > kClimbingFpm) continue;
      ++onGround;
      if (r.heightFt > kTrulyFlyingFt) ++flying;
    }
    if (onGround < 2) return;
    const double above = object.path.empty() ? 0.0 : object.path.front().altitudeFt - m_world.elevationFt;
    add("(b2) created airborne, its reports on the ground", createTick, above, "ft",
        flying == onGround ? kPressureAltitudeAtZero : "");
  }

  // Along its line: behind or ahead of where its reports were when shown.
  void judgeTimeAlong(const scenario::TracedObject& object, const Seen& s, const LatLon& p, std::int64_t tick) {
    if (s.holding || s.phase == PHASE_PARKED || s.phase == PHASE_PUSHBACK || s.phase == PHASE_PUSHBACK_DONE ||
        reportGapAt(tick) > kReportsApartTicks)
      return;
    if (s.onGround ? tick - tickOf(object.createFrame) < kSettleTicks
                   : metres(p, m_world.field) > kEntryReachNm * 1852.0)
      return;
    const std::optional<double> behind = secondsBehind(p, tick);
    const double limit = s.onGround ? kGroundTimeOffS : kAirTimeOffS;
    if (!behind || std::abs(*behind) <= limit) return;
    const char* excuse = inventedWithin(tick, kRejoinTicks, true)            ? kThroughAPause
                         : leftStandWithin(tick, kLeavingStandTicks, true)   ? kLeavesStandItsOwnWay
                         : !s.onGround || !shortStopNear(tick - kShownAfter) ? ""
                                                                             : kThroughAShortStop;
    add(sk::format("(a2) {} its reports {}", *behind > 0 ? "behind" : "ahead of",
                   s.onGround ? "on the ground" : "in the air"),
        tick, std::abs(*behind) - limit, "s", excuse);
  }

  // Reports that repeat one position for less than 15 s between moves (a
  // transponder that updates its position rarely): the engine lets such a
  // short stop of a ground track go, and the aircraft rolls on through it.
  bool shortStopNear(std::int64_t reportTick) const {
    for (std::size_t i = 1; i < m_reports.size(); ++i) {
      if (metres(m_reports[i].at, m_reports[i - 1].at) > kStillMetres) continue;
      std::size_t end = i;
      while (end + 1 < m_reports.size() && metres(m_reports[end + 1].at, m_reports[i - 1].at) <= kStillMetres)
        ++end;
      const std::int64_t from = m_reports[i - 1].tick, to = m_reports[end].tick;
      if (end + 1 < m_reports.size() && to - from < kShortStopTicks && reportTick >= from - kShortStopTicks &&
          reportTick <= to + kShortStopTicks)
        return true;
      i = end;
    }
    return false;
  }

  // Along the line, the first report on the ground after the last one before
  // report i that the program reads airborne (its touchdown); -inf when none.
  double touchdownBefore(std::size_t i) const {
    for (std::size_t j = i + 1; j-- > 0;)
      if (m_reports[j].airborne) return m_along[std::min(j + 1, i)];
    return -std::numeric_limits<double>::infinity();
  }

  bool inClimb(double along) const {
    return std::any_of(m_climbs.begin(), m_climbs.end(),
                       [&](const Climb& c) { return along >= c.from && along <= c.to; });
  }

  // Positions of the object on the ground, by tick.
  struct Fix {
    std::int64_t tick;
    LatLon at;
  };

  void judgeGroundSpeed(const scenario::TracedObject& object) {
    std::vector<Fix> fixes;
    for (const auto& fix : object.path) fixes.push_back({tickOf(fix.frame), {fix.lat, fix.lon}});
    auto at = [&](std::int64_t tick) {
      const auto it = std::lower_bound(fixes.begin(), fixes.end(), tick,
                                       [](const Fix& f, std::int64_t t) { return f.tick < t; });
      return it == fixes.end() ? fixes.back() : *it;
    };
    std::int64_t slowSince = -1, stillSince = -1;
    struct Sample {
      std::int64_t tick;
      double shownKts, reportedKts;
    };
    std::deque<Sample> history;
    for (const Fix& fix : fixes) {
      const std::int64_t tick = fix.tick;
      const Seen* s = seenAt(tick);
      const bool judged = s && s->present && s->onGround && !s->invented && s->phase != PHASE_PARKED &&
                          s->phase != PHASE_PUSHBACK && s->phase != PHASE_PUSHBACK_DONE &&
                          tick < m_closeTick && reportGapAt(tick) <= kReportsApartTicks &&
                          tick - kSpeedWindowTicks >= fixes.front().tick &&
                          tick + kSpeedWindowTicks <= fixes.back().tick;
      if (!judged) {
        slowSince = stillSince = -1;
        history.clear();
        continue;
      }
      const Fix before = at(tick - kSpeedWindowTicks / 2), after = at(tick + kSpeedWindowTicks / 2);
      const double shownKts =
          metres(before.at, after.at) / static_cast<double>(after.tick - before.tick) * kKnotsPerMetrePerTick;
      const Near n = nearest(fix.at, tick);
      const Speeds reported = reportedSpeedsAt(n.along);
      const Speeds ahead =
          reportedSpeedsAt(n.along + reported.high / kKnotsPerMetrePerTick * kSpeedWindowTicks);
      // Where its reports end it stands, as they do.
      if (std::isnan(reported.low) || std::isnan(ahead.low) || n.along > m_along.back() - kEndReachM) {
        slowSince = stillSince = -1;
        history.clear();
        continue;
      }
      if (shownKts > 1.5 * reported.high + 20.0)
        add("(c) faster than its reports on the ground", tick, shownKts - 1.5 * reported.high - 20.0, "kt");
      // Braking hard while its reports clearly speed up (the least they show now is
      // 10 kt above the most they showed then).
      history.push_back({tick, shownKts, reported.high});
      while (history.front().tick < tick - kBrakingTicks) history.pop_front();
      const Sample& earlier = history.front();
      if (tick - earlier.tick >= kBrakingTicks - kSpeedWindowTicks &&
          earlier.shownKts - shownKts > kBrakingKts && reported.low >= earlier.reportedKts + kSpeedingUpKts)
        add("(c) slowing while its reports speed up", tick, earlier.shownKts - shownKts, "kt");
      const double reportedKts = reported.low;
      const double aheadKts = ahead.low;
      // Below a walking pace reports creep and jitter: standing there is no fault.
      const bool slow =
          reportedKts > kCreepingKts && shownKts < 0.5 * reportedKts && aheadKts >= reportedKts - 1.0;
      if (!slow) {
        slowSince = -1;
      } else if (slowSince < 0) {
        slowSince = tick;
      } else if (tick - slowSince > kSlowForTicks) {
        // Pushed back, it starts its engines where the push ended and sets off
        // once its reports are clear of the spot, as its rule asks.
        add("(c) slower than half its reports on the ground", slowSince, reportedKts - shownKts, "kt",
            leftStandWithin(slowSince, kPullOutTicks) ? "pulls out of its stand at the stand speed"
            : leftStandWithin(slowSince, kPullOutTicks, true)
                ? "sets off from its push-back spot once its reports are clear of it"
                : "");
      }
      // Standing still while the reports it shows move on past it.
      const Fix still = at(tick + kSpeedWindowTicks);
      if (metres(fix.at, still.at) > kStillMetres) {
        stillSince = -1;
        continue;
      }
      if (stillSince < 0) stillSince = tick;
      if (tick - stillSince < kSlowForTicks - kSpeedWindowTicks) continue;
      const auto shownFrom = std::lower_bound(m_reports.begin(), m_reports.end(), stillSince - kShownAfter,
                                              [](const Report& r, std::int64_t t) { return r.tick < t; });
      const auto shownTo =
          std::upper_bound(m_reports.begin(), m_reports.end(), tick + kSpeedWindowTicks - kShownAfter,
                           [](std::int64_t t, const Report& r) { return t < r.tick; });
      if (shownTo - shownFrom < 2) continue;
      const double movedOn = std::hypot((shownTo - 1)->x - shownFrom->x, (shownTo - 1)->y - shownFrom->y);
      // One report out there, or one place repeated, is a jump: moving on is two places past it.
      std::set<std::pair<double, double>> beyond;
      for (auto r = shownFrom; r != shownTo; ++r)
        if (m_along[static_cast<std::size_t>(r - m_reports.begin())] - n.along > kMovedOnMetres)
          beyond.insert({r->at.lat, r->at.lon});
      if (movedOn > kMovedOnMetres && beyond.size() >= 2)
        add("(c) standing still while its reports move on", stillSince, movedOn, "m");
    }
  }

  // Its track has run out: no report came in the time it takes to show one.
  bool reportsPausedAt(std::int64_t tick) const {
    return std::none_of(m_reports.begin(), m_reports.end(), [&](const Report& r) {
      return r.tick > tick - kShownAfter - static_cast<std::int64_t>(kReportsApartTicks) && r.tick <= tick;
    });
  }

  void judgeShortLife(const scenario::TracedObject& object) {
    if (object.removeFrames.empty() || object.createFrame < 0) return;
    const std::int64_t created = tickOf(object.createFrame), removed = tickOf(object.removeFrames.front());
    if (removed >= m_closeTick || removed - created >= kShortLifeTicks) return;
    if (reportsPausedAt(removed)) return;
    const bool held = std::any_of(m_events.begin(), m_events.end(), [&](const Event& e) {
      return e.kind == Event::removedWhileHeld && e.tick >= created && e.tick <= removed;
    });
    add("(e) removed within 60 s of its creation", removed, static_cast<double>(removed - created) / 100.0,
        "s", held ? "a held aircraft whose reports come back far away is removed" : "");
  }

  // Climbs in the reports: after two ground reports or more, reports airborne or
  // climbing faster than 256 ft/min (pressure altitudes lag the climb on a
  // high-pressure day). A lift-off belongs between the last report before the
  // first one climbing that fast and 500 m past the first airborne one (or the
  // last report, when none came airborne).
  struct Climb {
    double from;  // along its line: no lift-off before
    double to;    // no lift-off past
    bool used = false;
  };
  std::vector<Climb> climbs() const {
    std::vector<Climb> out;
    auto rising = [&](std::size_t i) {
      return m_reports[i].dayAirborne || m_reports[i].verticalSpeed > kClimbingFpm;
    };
    for (std::size_t i = 0; i < m_reports.size(); ++i) {
      if (!rising(i) || (i > 0 && rising(i - 1))) continue;
      // First seen in its climb, its reports still on the ground; else after a
      // roll: one ground report among airborne ones is a glitch, not a roll.
      const bool onTheGround = !m_reports[i].dayAirborne;
      if (i == 0 ? !onTheGround : (i == 1 ? !onTheGround : rising(i - 2))) continue;
      std::size_t airborne = i;
      while (airborne + 1 < m_reports.size() && !m_reports[airborne].dayAirborne) ++airborne;
      out.push_back({m_along[i == 0 ? 0 : i - 1], m_along[airborne] + kLiftOffPastAirborneM});
    }
    return out;
  }

  // Where it leaves the ground after a take-off: the first frame 10 ft above where it rolled.
  std::pair<LatLon, std::int64_t> liftOffAfter(const Event& e) const {
    for (const auto& [id, object] : m_objects)
      for (const auto& fix : object.path)
        if (tickOf(fix.frame) >= e.tick && fix.altitudeFt > e.altitude + 10.0)
          return {{fix.lat, fix.lon}, tickOf(fix.frame)};
    return {e.at, e.tick};
  }

  void judgeLiftOffs() {
    std::vector<Climb> open = climbs();
    for (const Event& e : m_events) {
      if (e.kind != Event::tookOff) continue;
      const auto [off, offTick] = liftOffAfter(e);
      const double along = nearest(off, offTick).along;
      const auto climb = std::find_if(open.begin(), open.end(), [](const Climb& c) { return !c.used; });
      if (climb == open.end()) {
        // A take-off roll whose reports stop rolls on, and lifts off, on points of
        // its own. A departure first seen climbing, whose pressure altitudes a
        // high pressure reads as 0, is created on the ground and lifts off where they climb.
        // A roll after a landing is no take-off roll whose reports stopped.
        const Seen* s = seenAt(e.tick);
        const bool afterLanding = std::any_of(m_events.begin(), m_events.end(), [&](const Event& landing) {
          return landing.kind == Event::landed && landing.tick < e.tick;
        });
        const Report& r = m_reports[indexAt(along)];
        const bool readOnGround = !r.airborne && r.verticalSpeed > kClimbingFpm && r.heightFt > kTrulyFlyingFt;
        add("(b) took off where its reports do not climb", e.tick, 0, "",
            s && s->invented && !afterLanding
                ? "a take-off roll whose reports stop lifts off on invented points"
            : readOnGround ? "a departure whose pressure altitude reads 0 lifts off where it climbs"
                           : "");
        continue;
      }
      climb->used = true;
      if (along < climb->from)
        add("(b) lifted off before its reports climb", offTick, climb->from - along, "m");
      if (along > climb->to)
        add("(b) lifted off 500 m past its first airborne report", offTick, along - climb->to, "m");
    }
    // Off the ground after a landing: only where its reports climb again.
    for (const Event& landing : m_events) {
      if (landing.kind != Event::landed) continue;
      const double landedAlong = nearest(landing.at, landing.tick).along;
      const bool climbsAgain = std::any_of(open.begin(), open.end(), [&](const Climb& c) {
        return c.to - kLiftOffPastAirborneM > landedAlong;
      });
      const auto airborne = std::find_if(m_seen.begin(), m_seen.end(), [&](const Seen& s) {
        return s.tick > landing.tick && s.present && !s.onGround && s.tick < m_closeTick;
      });
      if (!climbsAgain && airborne != m_seen.end())
        add("(b) airborne again after landing", airborne->tick, 0, "");
    }
  }

  // Reports of the whole recording, so that a stand is judged on where the
  // aircraft really stops, not on where this run stops playing it.
  bool reportsEndOrRestAt(const LatLon& stand, double reach) const {
    const auto& lines = m_case.track->lines;
    auto position = [&](const std::string& line) {
      const auto f = lf_fields(line);
      return LatLon{lf_number(f[kLat]), lf_number(f[kLon])};
    };
    if (metres(position(lines.back()), stand) <= reach) return true;
    double since = -1;
    for (const std::string& line : lines) {
      if (metres(position(line), stand) > reach) {
        since = -1;
        continue;
      }
      const double stamp = lf_stamp(line);
      if (since < 0) since = stamp;
      if ((stamp - since) * 100.0 >= kRestTicks) return true;
    }
    return false;
  }

  void judgeStands() {
    for (const Event& e : m_events) {
      if (e.kind != Event::arrivedAtStand && e.kind != Event::parks) continue;
      const Stand* stand =
          e.standId >= 1 && e.standId <= m_stands.size() ? &m_stands[e.standId - 1] : nullptr;
      if (!stand) continue;
      const LatLon at{stand->latitude, stand->longitude};
      const double reach = e.kind == Event::parks ? kCreatedParkedReachM : kClaimReachM;
      judgeOffStand(e);
      if (!reportsEndOrRestAt(at, reach)) {
        // With its reports paused the track ends in a stop, which may claim the
        // stand it stops at; reports that end there do not pause.
        const bool paused = e.kind == Event::arrivedAtStand && reportsPausedAt(e.tick) &&
                            std::any_of(m_reports.begin(), m_reports.end(),
                                        [&](const Report& r) { return r.tick > e.tick - kShownAfter; });
        add("(d) claimed a stand its reports only pass", e.tick, 0, stand->name,
            paused ? "a stop claims a stand while its reports pause" : "");
      }
      // Its reports leave the stand: so does it, within 30 s.
      // Two reports in a row out there: one is an outlier.
      auto out = [&](const Report& r) {
        return r.tick >= e.tick - kShownAfter && metres(r.at, at) > kStandLeftM;
      };
      const auto gone =
          std::adjacent_find(m_reports.begin(), m_reports.end(),
                             [&](const Report& a, const Report& b) { return out(a) && out(b); });
      if (gone == m_reports.end()) continue;
      const std::int64_t deadline = std::max(gone->tick, e.tick) + kLeaveWithinTicks;
      if (deadline >= m_closeTick) continue;
      bool left = false;
      for (const Seen& s : m_seen)
        if (s.tick >= e.tick && s.tick <= deadline && s.present && metres(s.at, e.at) > kLeftMetres)
          left = true;
      if (!left) add("(d) stayed on a stand its reports left", deadline, 0, stand->name);
    }
  }

  // Its reports rest at the stand and then move off it for good: so does it, 5 m
  // within 30 s of their showing 10 m away. A jump out there and back is no move.
  void judgeOffStand(const Event& e) {
    const auto shownFrom = std::lower_bound(m_reports.begin(), m_reports.end(), e.tick - kShownAfter,
                                            [](const Report& r, std::int64_t t) { return r.tick < t; });
    auto rest = m_reports.end();
    for (auto r = shownFrom; r != m_reports.end() && rest == m_reports.end(); ++r) {
      const auto left = std::find_if(r, m_reports.end(), [&](const Report& q) {
        return q.tick - r->tick > kRestAtStandTicks || metres(q.at, r->at) > kStandOffMetres;
      });
      if (left == m_reports.end() || left->tick - r->tick > kRestAtStandTicks) rest = r;
    }
    if (rest == m_reports.end()) return;
    auto off = rest;
    for (auto r = rest; r != m_reports.end(); ++r)
      if (metres(r->at, rest->at) <= kStandOffMetres) off = r + 1;
    if (off == m_reports.end()) return;
    // A move goes on, at no more than taxi speed from where it stood: a position
    // that jumps to another place and stays there is no aircraft leaving.
    const double seconds = static_cast<double>(off->tick - (off - 1)->tick) / 100.0;
    const bool goesOn = std::any_of(off, m_reports.end(), [&](const Report& r) {
      return metres(r.at, rest->at) > kStandGoneMetres;
    });
    if (!goesOn || metres(off->at, (off - 1)->at) > kTaxiMetresPerSecond * std::max(seconds, 1.0)) return;
    const std::int64_t deadline = std::max(off->tick + kShownAfter, e.tick) + kLeaveWithinTicks;
    if (deadline >= m_closeTick) return;
    const auto moved = std::find_if(m_seen.begin(), m_seen.end(), [&](const Seen& s) {
      return s.tick >= e.tick && s.present && metres(s.at, e.at) > kLeftMetres;
    });
    const std::int64_t late = (moved == m_seen.end() ? m_closeTick : moved->tick) - deadline;
    if (late > 0) add("(d2) on its stand while its reports move off it", deadline, static_cast<double>(late) / 100.0, "s");
  }

  const Case& m_case;
  const World& m_world;
  std::vector<Report> m_reports;
  std::vector<double> m_along;
  // Runs of reports at one position, along their line.
  struct Place {
    double along;
    std::int64_t firstTick, lastTick;
    std::size_t firstReport;
  };
  std::vector<Place> m_places;
  std::vector<double> m_reportTicks, m_placeAlongs, m_placeTicks;  // for times along the line
  std::vector<Climb> m_climbs;
  std::vector<Seen> m_seen;
  std::vector<Event> m_events;
  std::map<std::uint32_t, scenario::TracedObject> m_objects;
  std::vector<Stand> m_stands;
  std::int64_t m_closeTick;
  int m_ticksPerFrame;
  std::vector<Finding> m_findings;
};

// A spoilt report: the tenth after the entry (the pause starts there).
std::string lf_spoilt(const std::string& line, const std::string& before, Mutation mutation) {
  auto f = lf_fields(line);
  switch (mutation) {
    case Mutation::none:
    case Mutation::pause:
      return line;
    case Mutation::zeroAltitude:
      f[kAlt] = "0";
      break;
    case Mutation::repeatedPosition: {
      const auto b = lf_fields(before);
      f[kLat] = b[kLat];
      f[kLon] = b[kLon];
      break;
    }
    case Mutation::aside: {
      const LatLon moved =
          lf_offset({lf_number(f[kLat]), lf_number(f[kLon])}, lf_number(f[kTrack]) + 90.0, kAsideMetres);
      f[kLat] = sk::format("{:.6f}", moved.lat);
      f[kLon] = sk::format("{:.6f}", moved.lon);
      break;
    }
  }
  return lf_join(f);
}

// A pressure altitude read on a day whose pressure is `lowerHpa` below the
// recorded day's: about 27.3 ft higher a hectopascal. A transponder that sends
// 0 on the ground still does.
std::string lf_onOtherDay(const std::string& line, int lowerHpa) {
  auto f = lf_fields(line);
  const double altitude = lf_number(f[kAlt]);
  if (altitude == 0.0) return line;
  f[kAlt] = sk::format("{:.0f}", altitude + lowerHpa * kFeetPerHpa);
  return lf_join(f);
}

// A line as it is played, and as its track's own day had it.
struct PlayedLine {
  std::string text, day;
};

// The lines played from the entry under the case's conditions, with the tenth spoilt.
std::vector<PlayedLine> lf_playedLines(const Case& c) {
  const auto& all = c.track->lines;
  const int lowerHpa = c.conditions.qnh == 0 ? 0 : gf_world(c.track->world).qnh - c.conditions.qnh;
  std::vector<PlayedLine> lines;
  for (std::size_t i = c.entry; i < all.size(); i += c.conditions.every)
    lines.push_back({lowerHpa == 0 ? all[i] : lf_onOtherDay(all[i], lowerHpa), all[i]});
  if (lines.size() <= kMutatedLine) return lines;
  if (c.mutation == Mutation::pause) {
    const double from = lf_stamp(lines[kMutatedLine].text);
    std::erase_if(lines, [&](const PlayedLine& line) {
      const double stamp = lf_stamp(line.text);
      return stamp >= from && stamp < from + kPauseSeconds;
    });
    return lines;
  }
  PlayedLine& spoilt = lines[kMutatedLine];
  const PlayedLine& before = lines[kMutatedLine - 1];
  spoilt.text = lf_spoilt(spoilt.text, before.text, c.mutation);
  spoilt.day = lf_spoilt(spoilt.day, before.day, c.mutation);
  return lines;
}

// The data base's category and half span of a type, from the wake class of its lines.
void lf_knowType(const std::string& line) {
  const auto f = lf_fields(line);
  const std::string wake = f.size() > kWake ? f[kWake] : "A3";
  const int category = wake == "A1" ? 0 : wake == "A5" ? 3 : 2;
  static const std::map<std::string, double> kSpanMetres{
      {"A20N", 35.8}, {"A21N", 35.8}, {"A319", 35.8}, {"A320", 35.8}, {"A321", 35.8}, {"A333", 60.3},
      {"A3ST", 44.8}, {"AT76", 27.0}, {"B738", 35.8}, {"E190", 28.7}, {"SIRA", 10.0}};
  const auto span = kSpanMetres.find(f[kType]);
  doubles::setModel(f[kType], category, (span == kSpanMetres.end() ? 35.8 : span->second) / 2.0 / 1852.0);
}

}  // namespace

const char* gf_mutationName(Mutation mutation) {
  switch (mutation) {
    case Mutation::none:
      return "plain";
    case Mutation::zeroAltitude:
      return "0 ft";
    case Mutation::repeatedPosition:
      return "repeated";
    case Mutation::pause:
      return "40-s pause";
    case Mutation::aside:
      return "80 m aside";
  }
  return "?";
}

const World& gf_world(const std::string& code) {
  for (const World& world : lf_worlds())
    if (world.code == code) return world;
  throw std::invalid_argument("no world " + code);
}

std::vector<Track> gf_recordedTracks() {
  std::vector<Track> tracks;
  lf_addRecording(tracks, lf_demo("essa_20210824_0900-0910.replay"), "ESSA");
  lf_addRecording(tracks, lf_demo("lfbo_20191111_1000-1010.replay"), "LFBO");
  lf_addRecording(tracks, lf_data("traffic/essa_20210824_0945_SAS69E_departure.txt"), "ESSA");
  for (Track& track : tracks) {
    track.otherDays = {kLowPressureDay, kHighPressureDay};
    track.thinned = true;
    if (track.name == "SAS69E") {
      // Seen in each moment of its roll: it braked mid-runway when first taken at its 19th line.
      for (std::size_t line = 14; line < 25; ++line) track.alwaysEntered.push_back(line);
    } else if (track.name == "SAS1136") {
      // Its landing roll and first taxi, where stale speeds once made take-offs of it.
      for (std::size_t line = 0; line < track.lines.size() && track.alwaysEntered.size() < 30; ++line)
        if (lf_number(lf_fields(track.lines[line])[kAlt]) <= 0.0) track.alwaysEntered.push_back(line);
    }
  }
  return tracks;
}

namespace {

// A scripted aircraft's lines, stamped from the world's clock.
Track lf_scripted(const std::string& name, const scenario::ScriptedAircraft& aircraft) {
  const auto simulator = standin::gf_loadScenario(gf_world("LFBO").simulator);
  scenario::FeedBuilder feed(static_cast<double>(simulator.startEpochSeconds), 1);
  feed.add(aircraft);
  Track track;
  track.name = name;
  track.world = "LFBO";
  for (const scenario::FeedLine& line : feed.lines()) track.lines.push_back(line.text);
  track.scripted = true;
  return track;
}

scenario::Leg lf_leg(double headingDeg, double metres, double fromKts, double toKts, double fromFt,
                     double toFt, bool onGround) {
  scenario::Leg leg;
  leg.headingDeg = headingDeg;
  leg.distanceNm = metres / 1852.0;
  leg.speedStartKts = fromKts;
  leg.speedEndKts = toKts;
  leg.altStartFt = fromFt;
  leg.altEndFt = toFt;
  leg.onGround = onGround;
  leg.reportIntervalTicks = 100;
  return leg;
}

// The ticks FeedBuilder gives a leg.
std::int64_t lf_legTicks(const scenario::Leg& leg) {
  return std::llround(leg.distanceNm / std::max((leg.speedStartKts + leg.speedEndKts) / 2, 1e-6) * 360000.0);
}

// A stand standing still: minutes of reports a hair apart at 0.0 kt.
scenario::Leg lf_standing(double seconds) {
  constexpr double kCreepKts = 0.01;
  return lf_leg(0, kCreepKts * seconds / 3600.0 * 1852.0, kCreepKts, kCreepKts, 0, 0, true);
}

// The reports of a stop take the position of the last moving report before them.
void lf_stopWhereItWas(Track& track) {
  std::vector<std::string> moving;
  for (std::string& line : track.lines) {
    auto f = lf_fields(line);
    if (lf_number(f[kSpeed]) >= 1.0) {
      moving = f;
    } else if (!moving.empty()) {
      f[kLat] = moving[kLat];
      f[kLon] = moving[kLon];
      line = lf_join(f);
    }
  }
}

}  // namespace

std::vector<Track> gf_scriptedTracks() {
  const World& world = gf_world("LFBO");
  const std::vector<Stand> stands = lf_stands(world);
  // The runway its recorded roll-out gives, and the row of stands beside it.
  const LatLon runway{43.625713, 1.365099};
  constexpr double kRunwayDeg = 142.9, kRowDeg = 142.9;
  std::vector<Track> tracks;
  auto aircraft = [](std::uint32_t hexid, const std::string& callsign, LatLon start) {
    return scenario::ScriptedAircraft{hexid, callsign, "A20N", "F-HSKL", "", "", start, 0, {}, 0, {}};
  };

  // A circuit at 1,000 ft after a take-off from standstill, a full-stop landing
  // whose roll-out reports pause for 40 s at 60 kt and come back on the ground.
  {
    auto a =
        aircraft(0x39E001, "SKL301", gf_destinationPoint(runway, (kRunwayDeg + 180) * DEG_TO_RAD, 6076.0));
    const double field = world.elevationFt;
    a.legs = {lf_leg(kRunwayDeg, 1500, 0, 150, 0, 0, true),
              lf_leg(kRunwayDeg, 4500, 150, 160, field + 200, field + 1000, false),
              lf_leg(kRunwayDeg - 90, 2800, 160, 160, field + 1000, field + 1000, false),
              lf_leg(kRunwayDeg + 180, 10500, 160, 160, field + 1000, field + 1000, false),
              lf_leg(kRunwayDeg + 90, 2800, 160, 150, field + 1000, field + 800, false),
              lf_leg(kRunwayDeg, 5600, 150, 140, field + 800, field + 130, false),
              lf_leg(kRunwayDeg, 800, 140, 60, 0, 0, true),
              lf_leg(kRunwayDeg, 700, 60, 20, 0, 0, true),
              lf_leg(kRunwayDeg, 200, 20, 20, 0, 0, true)};
    std::int64_t rollOut = 0;
    for (std::size_t i = 0; i + 2 < a.legs.size(); ++i) rollOut += lf_legTicks(a.legs[i]);
    a.gaps = {{rollOut, rollOut + 4000}};
    tracks.push_back(lf_scripted("CIRCUIT", a));
  }
  // Parked at A3, then off at a brisk taxi speed.
  constexpr double kStandingS = 360;
  for (const double knots : {18.0, 25.0}) {
    const Stand& stand = stands[2];
    auto a = aircraft(knots == 18.0 ? 0x39E002 : 0x39E003, knots == 18.0 ? "SKL302" : "SKL303",
                      {stand.latitude, stand.longitude});
    a.legs = {lf_standing(kStandingS), lf_leg(stand.heading * RAD_TO_DEG, 400, knots, knots, 0, 0, true)};
    Track track = lf_scripted(sk::format("SETOFF{:.0f}", knots), a);
    // Parked for six minutes, it comes into range half a minute before it sets off.
    track.alwaysEntered = {static_cast<std::size_t>(kStandingS - 30)};
    tracks.push_back(std::move(track));
  }
  // A 15-kt taxi along the row that waits abeam A5 on its way.
  for (const auto& [abeamM, waitS] : {std::pair{10.0, 40.0}, std::pair{18.0, 120.0}}) {
    const Stand& stand = stands[4];
    const LatLon lane =
        gf_destinationPoint({stand.latitude, stand.longitude}, stand.heading + PI, abeamM * 3.28084);
    auto a = aircraft(waitS == 40.0 ? 0x39E004 : 0x39E005, waitS == 40.0 ? "SKL304" : "SKL305",
                      gf_destinationPoint(lane, (kRowDeg + 180) * DEG_TO_RAD, 300 * 3.28084));
    a.legs = {lf_leg(kRowDeg, 300, 15, 15, 0, 0, true), lf_standing(waitS),
              lf_leg(kRowDeg, 300, 15, 15, 0, 0, true)};
    Track track = lf_scripted(sk::format("WAIT{:.0f}", waitS), a);
    // It stops where its last moving report put it: the stand search of a slow
    // approach to a stop sees no stop coming.
    lf_stopWhereItWas(track);
    tracks.push_back(std::move(track));
  }
  // Parked at A3, then pushed back 50 m (its reports' track the way it moves,
  // or 0 from a transponder that sends none), 30 s of engine start, and a 10-kt
  // taxi away; or the same leaving forwards.
  struct Leaving {
    const char* name;
    double knots;
    bool backwards;
    bool trackZero;
  };
  std::uint32_t hexid = 0x39E010;
  int callsign = 310;
  for (const Leaving& leaving : {Leaving{"PUSH1.5", 1.5, true, false}, Leaving{"PUSH2", 2, true, false},
                                 Leaving{"PUSH3", 3, true, false}, Leaving{"PUSH5", 5, true, false},
                                 Leaving{"PUSH2T0", 2, true, true}, Leaving{"PULL3", 3, false, false},
                                 Leaving{"PULL8", 8, false, false}}) {
    const Stand& stand = stands[2];
    const double standDeg = stand.heading * RAD_TO_DEG;
    auto a = aircraft(hexid++, sk::format("SKL{}", callsign++), {stand.latitude, stand.longitude});
    a.legs = {lf_standing(kStandingS),
              lf_leg(leaving.backwards ? standDeg + 180 : standDeg, 50, leaving.knots, leaving.knots, 0, 0, true),
              lf_standing(30), lf_leg(kRowDeg, 300, 10, 10, 0, 0, true)};
    Track track = lf_scripted(leaving.name, a);
    if (leaving.trackZero)
      for (std::string& line : track.lines) {
        auto f = lf_fields(line);
        f[kTrack] = "0.0";
        line = lf_join(f);
      }
    track.alwaysEntered = {static_cast<std::size_t>(kStandingS - 30)};
    tracks.push_back(std::move(track));
  }
  // Lined up at the runway's start 10 s before its roll; its transponder sends
  // its pressure altitude from 36 kt on. Also played on a low-pressure day,
  // where every one of those reads airborne.
  {
    auto a = aircraft(hexid, sk::format("SKL{}", callsign),
                      gf_destinationPoint(runway, (kRunwayDeg + 180) * DEG_TO_RAD, 6076.0));
    const double field = world.elevationFt;
    a.legs = {lf_standing(10), lf_leg(kRunwayDeg, 150, 0, 36, 0, 0, true),
              lf_leg(kRunwayDeg, 1600, 36, 150, field, field, false),
              lf_leg(kRunwayDeg, 6000, 150, 165, field, field + 1200, false)};
    Track track = lf_scripted("LINEUP", a);
    track.otherDays = {kLowPressureDay};
    tracks.push_back(std::move(track));
  }
  // An arrival whose transponder sends 0 ft for one line 2.1 km before the
  // runway, amid reports 400 ft above the field; it lands, slows and stands
  // where its reports end. Also played on a low-pressure day, where the
  // approach reads 600 ft higher and the 0-ft line stays 0.
  {
    constexpr double kShortM = 2100;
    auto a =
        aircraft(hexid + 1, sk::format("SKL{}", callsign + 1),
                 gf_destinationPoint(runway, (kRunwayDeg + 180) * DEG_TO_RAD, (5300 + kShortM) * 3.28084));
    const double field = world.elevationFt;
    a.legs = {lf_leg(kRunwayDeg, 5300, 150, 145, field + 1150, field + 400, false),
              lf_leg(kRunwayDeg, kShortM, 145, 140, field + 400, field + 20, false),
              lf_leg(kRunwayDeg, 1200, 140, 20, 0, 0, true), lf_leg(kRunwayDeg, 150, 20, 10, 0, 0, true),
              lf_standing(30)};
    Track track = lf_scripted("ARRIVE0FT", a);
    const auto glitch = static_cast<std::size_t>(lf_legTicks(a.legs[0]) / 100);
    auto f = lf_fields(track.lines.at(glitch));
    f[kAlt] = "0";
    track.lines[glitch] = lf_join(f);
    track.otherDays = {kLowPressureDay};
    tracks.push_back(std::move(track));
  }
  return tracks;
}

std::vector<std::size_t> gf_entries(const Track& track, std::size_t k) {
  const World& world = gf_world(track.world);
  if (track.scripted) return track.alwaysEntered.empty() ? std::vector<std::size_t>{0} : track.alwaysEntered;
  std::set<std::size_t> entries(track.alwaysEntered.begin(), track.alwaysEntered.end());
  entries.insert(0);
  for (std::size_t i = k; i < track.lines.size(); i += std::max<std::size_t>(k, 1)) {
    const auto f = lf_fields(track.lines[i]);
    const LatLon at{lf_number(f[kLat]), lf_number(f[kLon])};
    if (lf_number(f[kAlt]) < kEntryCeilingFt && gf_distanceNm(at, world.field) <= kEntryReachNm)
      entries.insert(i);
  }
  return {entries.begin(), entries.end()};
}

std::vector<Finding> gf_runCase(const Case& c, const std::filesystem::path& scratch) {
  const World& world = gf_world(c.track->world);
  const int qnh = c.conditions.qnh == 0 ? world.qnh : c.conditions.qnh;
  const std::vector<PlayedLine> played = lf_playedLines(c);
  std::vector<std::string> lines;
  std::map<std::string, std::string> dayOf;
  for (const PlayedLine& line : played) {
    lines.push_back(line.text);
    dayOf.emplace(line.text, line.day);
  }
  const auto first = lf_fields(lines.front());
  const auto hexid = static_cast<std::uint32_t>(std::stoul(first[kHexid]));
  const auto epoch = static_cast<std::int64_t>(std::floor(lf_number(first[kStamp]))) - kFirstLineTick / 100;
  lf_knowType(lines.front());

  gf_startLog(scratch / "Log.txt");
  doubles::setRealMotion(true);
  standin::Scenario simulator = standin::gf_loadScenario(world.simulator);
  scenario::DriverSetup setup;
  setup.epoch = epoch;
  setup.ticksPerFrame = 3;
  setup.world = simulator;
  setup.user = {simulator.user.latDeg, simulator.user.lonDeg};
  setup.park = scenario::ParkAirport{world.code, world.field, world.elevationFt};
  setup.traceFile = scratch / "trace.jsonl";
  std::vector<Finding> findings;
  auto failed = [&](const std::string& what) {
    findings.push_back({c.track->name, c.entry + 1, c.mutation, c.conditions, "run failed", 0, what, {}});
  };
  try {
    scenario::Driver driver(setup);
    gStands = lf_stands(world);
    lf_onQnhDatagram(gWeatherReader, sk::format("{{\"QNH\":{}}}", qnh));
    gLiveryMemo[hexid] = "Known Livery";

    // What the parser takes of each line, at the tick it comes.
    scenario::FeedBuilder feed(static_cast<double>(epoch), 1);
    feed.addRecorded(lines, kFirstLineTick);
    std::vector<Report> reports;
    // The spoilt report is judged by the one it stands for: the aircraft was where
    // the report before and after it say, not 80 m aside or on the ground.
    const bool spoilt = c.mutation == Mutation::zeroAltitude || c.mutation == Mutation::repeatedPosition ||
                        c.mutation == Mutation::aside;
    const std::string spoiltLine = spoilt && lines.size() > kMutatedLine ? lines[kMutatedLine] : std::string();
    for (const scenario::FeedLine& line : feed.lines()) {
      if (!spoiltLine.empty() && line.text == spoiltLine) continue;
      lf_onTrafficDatagram(driver.reader(), line.text);
      const std::vector<TrafficRecord> records = testing_traffic::takeQueued();
      if (records.empty()) continue;
      const TrackPoint& point = records.front().point;
      Report r{line.tick, {point.latitude, point.longitude}};
      r.verticalSpeed = point.verticalSpeed;
      r.airborne = point.airborne != 0;
      r.dayAltitude = point.altitude;
      r.dayAirborne = r.airborne;
      lf_onTrafficDatagram(driver.reader(), dayOf.at(line.text));
      for (const TrafficRecord& day : testing_traffic::takeQueued()) {
        r.dayAltitude = day.point.altitude;
        r.dayAirborne = day.point.airborne != 0;
      }
      if (const double sent = lf_number(lf_fields(line.text)[kAlt]); sent != 0.0)
        r.heightFt = sent + (qnh - kStandardQnh) * kFeetPerHpa - world.elevationFt;
      reports.push_back(r);
    }
    for (std::size_t i = 1; i < reports.size(); ++i) {
      const double seconds =
          std::max(static_cast<double>(reports[i].tick - reports[i - 1].tick) / 100.0, 1.0);
      reports[i].plausible =
          std::abs(reports[i].dayAltitude - reports[i - 1].dayAltitude) <= kMostClimbFtPerS * seconds;
    }
    for (Report& r : reports) {
      r.x = (r.at.lon - world.field.lon) * kMetresPerDegree *
            std::cos(world.field.lat * std::numbers::pi / 180.0);
      r.y = (r.at.lat - world.field.lat) * kMetresPerDegree;
    }

    std::vector<Seen> seen;
    std::vector<Event> events;
    Seen last;
    // A script plays its whole story, till its last report is shown.
    std::int64_t end = c.track->scripted ? feed.lines().back().tick + kShownAfter + kReportsApartTicks * 2
                                         : kFirstLineTick + kPlayTicks;
    while (driver.tick() < end) {
      driver.run(feed, 1);
      const Act* a = gf_findAct(hexid);
      Seen now;
      now.tick = driver.tick() - 1;
      if (a) {
        now.present = a->state == ACT_PRESENT;
        now.onGround = a->onGround;
        now.invented = a->extrapolationsLeft > 0 && !a->holding;
        now.holding = a->holding;
        now.phase = a->phase;
        now.standId = a->standId;
        now.landed = a->landed;
        now.at = {a->pose.latitude, a->pose.longitude};
        now.altitude = a->pose.altitude;
        const bool created = a->state >= ACT_CREATION_REQUESTED && last.phase == PHASE_NEW;
        if (created && a->phase == PHASE_PARKED)
          events.push_back({now.tick, Event::parks, a->standId, now.at, now.altitude});
        if (now.present && a->phase == PHASE_LIFTOFF && last.phase != PHASE_LIFTOFF) {
          events.push_back({now.tick, Event::tookOff, 0, now.at, last.altitude});
          end = std::max(end, now.tick + kPlayAfterEventTicks);
        }
        if (a->state == ACT_REMOVAL_REQUESTED && last.present && last.holding)
          events.push_back({now.tick, Event::removedWhileHeld, 0, now.at, now.altitude});
        if (now.landed && !last.landed) events.push_back({now.tick, Event::landed, 0, now.at, now.altitude});
        if (now.present && a->phase == PHASE_PARKED && last.phase == PHASE_TAXI_TO_STAND) {
          events.push_back({now.tick, Event::arrivedAtStand, a->standId, now.at, now.altitude});
          end = std::max(end, now.tick + kPlayAfterEventTicks);
        }
      }
      if (!a) now.phase = last.phase == PHASE_NEW ? PHASE_NEW : last.phase;
      seen.push_back(now);
      last = now;
      // Its reports are over and it is gone: nothing more to see.
      if (!a && feed.lines().back().tick < driver.tick() && gPendingCreationCount.load() == 0 &&
          std::any_of(seen.begin(), seen.end(), [](const Seen& s) { return s.present; }))
        break;
    }
    const std::int64_t closeTick = driver.tick();
    driver.finish();
    // One row a rule, at its first frame.
    std::set<std::string> rules;
    for (const scenario::Violation& v : driver.check())
      if (rules.insert(v.rule).second)
        findings.push_back({c.track->name,
                            c.entry + 1,
                            c.mutation,
                            c.conditions,
                            "(e) trace checker: " + v.rule,
                            v.frame * setup.ticksPerFrame - 1,
                            v.detail,
                            {}});
    auto objects = scenario::gf_tracedObjects(setup.traceFile);
    Judge judge(c, world, std::move(reports), std::move(seen), std::move(events), std::move(objects), gStands,
                closeTick, setup.ticksPerFrame);
    for (Finding& f : judge.judge()) findings.push_back(std::move(f));
  } catch (const std::exception& e) {
    failed(e.what());
  }
  gStands.clear();
  gLiveryMemo.clear();
  doubles::setRealMotion(false);
  gf_closeLog();
  return findings;
}

std::vector<Case> gf_cases(const Track& track, std::size_t k) {
  const std::vector<std::size_t> entries = gf_entries(track, k);
  std::vector<Case> cases;
  for (const std::size_t entry : entries)
    for (const Mutation mutation : kMutations) cases.push_back({&track, entry, mutation, {}});
  // Spoilt on other days at one line in five, chosen by the line, not by its
  // place among the entries: the test's every 50th line and the whole sweep
  // play the same cases there, so the known rows of the one hold for the other.
  const auto spoiltOnOtherDays = [](std::size_t line) {
    return (line + line / kTestEveryKth) % kSpoiltOnOtherDaysEvery == 0;
  };
  for (const int qnh : track.otherDays)
    for (const std::size_t entry : entries)
      for (const Mutation mutation : kMutations)
        if (mutation == Mutation::none || spoiltOnOtherDays(entry))
          cases.push_back({&track, entry, mutation, {qnh, 1}});
  if (track.thinned)
    for (const std::size_t entry : entries) cases.push_back({&track, entry, Mutation::none, {0, kThinnedEvery}});
  return cases;
}

std::string gf_playedName(Mutation mutation, const Conditions& conditions) {
  std::string name;
  if (conditions.qnh != 0) name = sk::format("{} hPa", conditions.qnh);
  if (conditions.every == kThinnedEvery) name = "every 3rd";
  else if (conditions.every != 1) name = sk::format("every {}th", conditions.every);
  if (mutation != Mutation::none || name.empty()) name += (name.empty() ? "" : ", ") + std::string(gf_mutationName(mutation));
  return name;
}

void gf_printTable(std::ostream& out, const std::vector<Finding>& findings) {
  out << sk::format("{:<9} {:>5} {:<20} {:<50} {:>7} {:>12}  {}\n", "track", "entry", "played", "check broken",
                    "tick", "by", "excused by");
  for (const Finding& f : findings)
    out << sk::format("{:<9} {:>5} {:<20} {:<50} {:>7} {:>12}  {}\n", f.track, f.entryLine,
                      gf_playedName(f.mutation, f.conditions), f.check, f.tick, f.amount, f.excusedBy);
}

std::vector<KnownRow> gf_readKnownRows(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::vector<KnownRow> rows;
  std::string line;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line.front() == '#') continue;
    const std::vector<std::string> f = lf_fields(line, '\t');
    if (f.size() != 5 || f[4].empty())
      throw std::runtime_error(sk::format("{}:{}: a row is track, entry, played, check and cause", file.string(), number));
    rows.push_back({f[0], std::stoul(f[1]), f[2], f[3], f[4]});
  }
  return rows;
}

std::filesystem::path gf_knownRowsFile() { return lf_data("traffic/follow_reports_known.tsv"); }

bool gf_matches(const KnownRow& row, const Finding& finding) {
  return row.track == finding.track && row.entryLine == finding.entryLine && row.check == finding.check &&
         row.played == gf_playedName(finding.mutation, finding.conditions);
}

}  // namespace sweep
