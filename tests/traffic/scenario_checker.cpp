#include "scenario_checker.h"

#include <algorithm>
#include <cmath>
#include <istream>
#include <numbers>

#include <nlohmann/json.hpp>

#include "core/format.h"

namespace scenario {
namespace {

constexpr double kMetresPerNm = 1852.0;
constexpr double kEarthRadiusM = 6371008.8;
constexpr std::int64_t kSpeedWindowTicks = 3000;  // 30 s either side
constexpr int kMinSegmentTicks = 25;              // a late point is covered in 25 ticks
constexpr double kStepSlackM = 0.5;
constexpr double kAngleSlackDeg = 1e-6;
constexpr double kAltitudeSlackFt = 1e-3;

constexpr CategoryLimits kLimits[] = {
    {40, 0.035, 0.01, 0.5}, {35, 0.0275, 0.0085, 0.75}, {30, 0.02, 0.0075, 0.6},
    {20, 0.015, 0.005, 0.5}, {90, 0.1, 0.03, 1.0},      {75, 0.06, 0.03, 0.75},
};

double lf_degrees(double radians) { return radians * 180.0 / std::numbers::pi; }

double lf_distanceM(double lat1, double lon1, double lat2, double lon2) {
  const double r = std::numbers::pi / 180.0;
  double dLat = (lat2 - lat1) * r, dLon = (lon2 - lon1) * r;
  double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
             std::cos(lat1 * r) * std::cos(lat2 * r) * std::sin(dLon / 2) * std::sin(dLon / 2);
  return 2 * kEarthRadiusM * std::asin(std::min(1.0, std::sqrt(a)));
}

struct Pose {
  std::int64_t frame = 0;
  double lat = 0, lon = 0, alt = 0;
  std::optional<double> pitch, bank;
  std::optional<std::int64_t> tick;  // the program's own time of the set, when the trace carries it
};

struct Life {
  bool created = false;
  int removals = 0;
  std::string tail;
  std::optional<Pose> last;
};

// The side log sorted for lookups by object and tick.
class SideIndex {
 public:
  explicit SideIndex(const SideLog& log) {
    for (const auto& s : log.states) m_states[s.objectId].push_back(&s);
    for (const auto& s : log.segments) m_segments[s.objectId].push_back(&s);
    for (const auto& p : log.points) m_points[p.objectId].push_back(&p);
    for (auto& [id, v] : m_states) std::stable_sort(v.begin(), v.end(), [](auto a, auto b) { return a->tick < b->tick; });
    for (auto& [id, v] : m_segments)
      std::stable_sort(v.begin(), v.end(), [](auto a, auto b) { return a->tick < b->tick; });
  }
  template <typename T>
  static const T* latest(const std::map<std::uint32_t, std::vector<const T*>>& m, std::uint32_t id, std::int64_t tick) {
    auto it = m.find(id);
    if (it == m.end()) return nullptr;
    const T* found = nullptr;
    for (const T* x : it->second) {
      if (x->tick > tick) break;
      found = x;
    }
    return found;
  }
  const ObjectTick* state(std::uint32_t id, std::int64_t tick) const { return latest(m_states, id, tick); }
  const SegmentStart* segment(std::uint32_t id, std::int64_t tick) const { return latest(m_segments, id, tick); }
  double fastestAround(std::uint32_t id, std::int64_t tick) const {
    double fastest = 0;
    if (auto it = m_points.find(id); it != m_points.end())
      for (const TrackPointAdded* p : it->second)
        if (std::llabs(p->dueTick - tick) <= kSpeedWindowTicks) fastest = std::max(fastest, p->groundSpeedKts);
    return fastest;
  }

 private:
  std::map<std::uint32_t, std::vector<const ObjectTick*>> m_states;
  std::map<std::uint32_t, std::vector<const SegmentStart*>> m_segments;
  std::map<std::uint32_t, std::vector<const TrackPointAdded*>> m_points;
};

std::string lf_upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

const CategoryLimits& gf_categoryLimits(int category) {
  return kLimits[std::clamp(category, 0, static_cast<int>(std::size(kLimits)) - 1)];
}

std::string gf_describe(const Violation& v) {
  return sk::format("object {} ({}) frame {}: {}: {}", v.objectId, v.callsign, v.frame, v.rule, v.detail);
}

std::vector<Violation> gf_checkTrace(std::istream& trace, const SideLog& log, const CheckerWorld& world) {
  SideIndex side(log);
  std::map<std::uint32_t, Life> lives;
  std::vector<Violation> out;
  std::int64_t lastFrame = 0;
  auto callsignOf = [&](std::uint32_t id, std::int64_t tick) {
    if (const ObjectTick* s = side.state(id, tick); s && !s->callsign.empty()) return s->callsign;
    return lives[id].tail;
  };
  auto tickOf = [&](std::int64_t frame) { return world.tickOfFrameZero + frame * world.ticksPerFrame; };
  auto report = [&](std::uint32_t id, std::int64_t frame, std::string rule, std::string detail) {
    out.push_back({id, callsignOf(id, tickOf(frame)), frame, std::move(rule), std::move(detail)});
  };

  std::string text;
  while (std::getline(trace, text)) {
    if (text.empty()) continue;
    nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.contains("frame") || !j.contains("event")) {
      out.push_back({0, "", lastFrame, "unreadable trace line", text.substr(0, 120)});
      continue;
    }
    const std::int64_t frame = j["frame"].get<std::int64_t>();
    lastFrame = frame;
    const std::string event = j["event"].get<std::string>();
    if (!j.contains("id") || !j["id"].is_number_integer()) continue;
    const auto id = j["id"].get<std::uint32_t>();
    Life& life = lives[id];
    if (event == "create") {
      life.created = true;
      life.tail = j.value("tail", std::string());
      life.last = Pose{frame, j.value("lat", 0.0), j.value("lon", 0.0), j.value("alt", 0.0), {}, {}, {}};
      continue;
    }
    if (event == "remove" || event == "vanish") {
      if (life.created && ++life.removals > 1) report(id, frame, "removed twice", event);
      continue;
    }
    if (event != "position" || !j.contains("values")) continue;

    if (!life.created) {
      report(id, frame, "set before creation", "");
      continue;
    }
    if (life.removals > 0) {
      report(id, frame, "set after removal", "");
      continue;
    }
    Pose pose{frame, 0, 0, 0, {}, {}, {}};
    std::optional<double> lat, lon, heading, alt;
    bool finite = true;
    for (const auto& [key, value] : j["values"].items()) {
      if (value.is_null()) {
        finite = false;
        report(id, frame, "not finite", key);
        continue;
      }
      if (!value.is_number()) continue;
      const std::string name = lf_upper(key);
      const double x = value.get<double>();
      if (name == "PLANE LATITUDE") lat = x;
      if (name == "PLANE LONGITUDE") lon = x;
      if (name == "PLANE ALTITUDE") alt = x;
      if (name == "PLANE HEADING DEGREES TRUE") heading = x;
      if (name == "PLANE PITCH DEGREES") pose.pitch = lf_degrees(x);
      if (name == "PLANE BANK DEGREES") pose.bank = lf_degrees(x);
    }
    if (!finite || !lat || !lon || !alt) continue;
    if (std::abs(*lat) > 90 || std::abs(*lon) > 180)
      report(id, frame, "position out of range", sk::format("{} {}", *lat, *lon));
    if (heading && (*heading < 0 || *heading >= 2 * std::numbers::pi))
      report(id, frame, "heading out of range", sk::format("{}", *heading));
    pose.lat = *lat, pose.lon = *lon, pose.alt = *alt;
    if (j.contains("tick") && j["tick"].is_number()) pose.tick = j["tick"].get<std::int64_t>();

    const std::int64_t tick = tickOf(frame);
    const Pose& prev = *life.last;
    // A program that ran late moves its aircraft on by the time that passed,
    // and after a stall one frame may carry several of its sets: a step is
    // judged by the program's own time between the two sets where the trace
    // carries it, else by the frames between them.
    const std::int64_t ticks = std::max<std::int64_t>(
        pose.tick && prev.tick ? *pose.tick - *prev.tick : (frame - prev.frame) * world.ticksPerFrame, 1);
    const double seconds = static_cast<double>(ticks) / 100.0;

    double bySpeed = 1.5 * side.fastestAround(id, tick) * kMetresPerNm / 3600.0 * seconds;
    double bySegment = 0;
    if (const SegmentStart* s = side.segment(id, tick))
      bySegment = s->lengthNm * kMetresPerNm / std::max(s->n, kMinSegmentTicks) * static_cast<double>(ticks);
    double step = lf_distanceM(prev.lat, prev.lon, pose.lat, pose.lon);
    if (step > std::max(bySpeed, bySegment) + kStepSlackM)
      report(id, frame, "step too long",
             sk::format("{:.1f} m in {} ticks, allowed {:.1f} m", step, ticks, std::max(bySpeed, bySegment) + kStepSlackM));

    if (const ObjectTick* s = side.state(id, tick)) {
      const CategoryLimits& lim = gf_categoryLimits(s->category);
      const double t = static_cast<double>(ticks);
      if (!s->onGround && !s->reportedRoll) {
        if (pose.bank && std::abs(*pose.bank) > lim.maxBankDeg + kAngleSlackDeg)
          report(id, frame, "bank over maximum", sk::format("{:.3f} deg, maximum {}", *pose.bank, lim.maxBankDeg));
        if (pose.bank && prev.bank && std::abs(*pose.bank - *prev.bank) > lim.bankStepDeg * t + kAngleSlackDeg)
          report(id, frame, "bank step", sk::format("{:.4f} deg in {} ticks", *pose.bank - *prev.bank, ticks));
        // The lift-off sequence (phase 3) pitches up at its own per-category rate.
        bool pitchFree = s->flareStage > 0 || s->rotationCountdown > 0 || s->derotating || s->phase == 3;
        if (!pitchFree && pose.pitch && prev.pitch &&
            std::abs(*pose.pitch - *prev.pitch) > lim.pitchStepDeg * t + kAngleSlackDeg)
          report(id, frame, "pitch step", sk::format("{:.4f} deg in {} ticks", *pose.pitch - *prev.pitch, ticks));
        if (s->phase != 3 && !s->approach && pose.alt - prev.alt > lim.maxClimbStep * t + kAltitudeSlackFt)
          report(id, frame, "climb step", sk::format("{:.2f} ft in {} ticks", pose.alt - prev.alt, ticks));
      }
      if (s->onGround && s->groundAnswered &&
          std::abs(pose.alt - (world.groundElevationFt + world.staticCgFt)) > kAltitudeSlackFt)
        report(id, frame, "ground altitude",
               sk::format("{:.2f} ft, ground + static CG {:.2f}", pose.alt, world.groundElevationFt + world.staticCgFt));
    }
    life.last = pose;
  }
  for (const auto& [id, life] : lives)
    if (life.created && life.removals == 0) report(id, lastFrame, "never removed", "");
  return out;
}

}  // namespace scenario
