#pragma once
// Live aircraft moved by the engine's motion pass alone: records put into the
// simulator's state directly, reports taken at their queue ticks, the pose
// read after every pass. Shared by the flight and ground-movement tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/parameters.h"
#include "doubles.h"
#include "link_reset.h"
#include "traffic/engine.h"
#include "traffic/engine_hooks.h"
#include "traffic/readers.h"
#include "traffic/sim_connection.h"
#include "traffic/sim_queues.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"
#include "traffic/user_aircraft.h"

namespace motion_test {

constexpr std::int64_t kStart = 100000;
constexpr double kDeg = DEG_TO_RAD;

struct Report {
  std::int64_t queueTick;
  TrackPoint point;
};

// Reports every `every` ticks along legs of {bearing degrees, count}, at a
// ground speed and altitude, each due 3000 ticks after it is queued.
inline std::vector<Report> legs(LatLon start, double knots, double altitude, std::int64_t every,
                         std::vector<std::pair<double, int>> plan, double verticalSpeed = 0.0) {
  std::vector<Report> out;
  LatLon at = start;
  std::int64_t tick = kStart;
  double alt = altitude;
  auto add = [&] {
    TrackPoint p;
    p.latitude = at.lat;
    p.longitude = at.lon;
    p.altitude = std::max(alt, 0.0);
    p.groundSpeed = knots;
    p.trueAirspeed = knots;
    p.verticalSpeed = verticalSpeed;
    p.airborne = alt > 0.0 ? 1 : 0;
    p.dueTick = static_cast<std::uint32_t>(tick + kUpdateDueTicks);
    out.push_back({tick, p});
  };
  add();
  for (auto [bearing, count] : plan)
    for (int i = 0; i < count; ++i) {
      at = gf_destinationPoint(at, bearing * kDeg, knots * every / 360000.0 * 6076.11549);
      tick += every;
      alt += verticalSpeed * every / 6000.0;
      add();
    }
  return out;
}

inline Act presentAct(std::uint32_t hexid, AircraftCategory category, const TrackPoint& first, double heading) {
  ActBase base;
  base.key.callsign = "TST" + std::to_string(hexid % 1000);
  base.category = category;
  const CategoryPerformance& row = gf_categoryPerformance(category);
  base.maxClimbStep = row.maxClimbStep;
  base.baseTurnRate = base.turnRate = row.turnRate;
  base.flareTicks = row.flareTicks;
  base.halfSpan = 0.01;
  base.cgHeight = 10.0;
  Act a(std::move(base), first, 0.0);
  a.hexid = hexid;
  a.objectId = hexid;
  a.state = ACT_PRESENT;
  a.pose.latitude = first.latitude;
  a.pose.longitude = first.longitude;
  a.pose.altitude = first.altitude;
  a.pose.heading = heading;
  a.onGround = !first.airborne;
  a.agl = first.altitude;
  return a;
}

// Cross-track distance (nm) of a position from a polyline, flat locally.
inline double offTrack(const LatLon& p, const std::vector<LatLon>& line) {
  double best = 1e9;
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    const LatLon& a = line[i];
    const LatLon& b = line[i + 1];
    const double k = std::cos(a.lat * kDeg) * 60.0;
    auto dlon = [](double d) { return d > 180 ? d - 360 : d < -180 ? d + 360 : d; };
    const double bx = dlon(b.lon - a.lon) * k, by = (b.lat - a.lat) * 60.0;
    const double px = dlon(p.lon - a.lon) * k, py = (p.lat - a.lat) * 60.0;
    const double len2 = bx * bx + by * by;
    const double t = len2 > 0 ? std::clamp((px * bx + py * by) / len2, 0.0, 1.0) : 0.0;
    best = std::min(best, std::hypot(px - t * bx, py - t * by));
  }
  return best;
}
// The same from the polyline of the reports.
inline double offTrack(const LatLon& p, const std::vector<Report>& reports) {
  std::vector<LatLon> line;
  for (const Report& r : reports) line.push_back({r.point.latitude, r.point.longitude});
  return offTrack(p, line);
}

inline std::vector<EventCmd> takeEvents() {
  std::lock_guard lock(gScMutex);
  std::vector<EventCmd> out;
  out.swap(gEventCmds);
  return out;
}

class Flight : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_traffic::resetEngine();
    gf_reserveSimQueueRoom();
    doubles::setRealMotion(true);
    gTick = static_cast<std::int32_t>(kStart);
    gQnh = 1013;
    gUserAc = UserAc{};
    LATERAL_RANGE.value = 40;
    takeEvents();
  }
  void TearDown() override {
    doubles::setRealMotion(false);
    testing_traffic::resetEngine();
    gQnh = 1013;
    MAX_HOLDING_MINUTES.value = MAX_HOLDING_MINUTES.defaultValue;
    takeEvents();
  }

  Act& add(Act&& a) {
    gf_appendAct(std::move(a));
    return gActs.back();
  }

  // Runs motion passes until `until`, taking each report at its queue tick;
  // `each` sees the aircraft after every pass.
  void fly(std::uint32_t hexid, const std::vector<Report>& reports, std::size_t& next, std::int64_t until,
           const std::function<void(Act&)>& each = {}) {
    while (gTick.load() < until) {
      Act* a = gf_findAct(hexid);
      while (a && next < reports.size() && reports[next].queueTick <= gTick.load()) {
        TrackPoint p = reports[next++].point;
        gf_takeTrackPoint(*a, p);
      }
      lf_motionPass();
      a = gf_findAct(hexid);
      if (a && each) each(*a);
      ++gTick;
    }
  }
};

}  // namespace motion_test
