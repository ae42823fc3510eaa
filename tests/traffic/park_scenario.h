#pragma once
// The park airport of the static-parking, collision and park-limit scenarios:
// a row of stands, installed liveries for the static ladder, aircraft placed
// through the scenario bed and the stand-in's trace read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "airports/stand.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "doubles.h"
#include "liveries/livery_tables.h"
#include "shell/app_state.h"
#include "scenario_driver.h"
#include "test_support.h"
#include "traffic/arbitration.h"
#include "traffic/engine.h"
#include "traffic/live_stayers.h"
#include "traffic/static_parked.h"
#include "traffic/user_aircraft.h"

namespace park {

inline constexpr LatLon kPark{52.3086, 4.7639};
inline constexpr double kFeetPerNm = 6076.11549;
inline constexpr const char* kTitle = "Boeing 737-800";

// The position at a distance (nm) and bearing (degrees) from a point.
inline LatLon lf_from(const LatLon& origin, double nm, double bearingDeg) {
  return gf_destinationPoint(origin, bearingDeg * DEG_TO_RAD, nm * kFeetPerNm);
}

// count stands 60 m apart eastwards from the park airport, each adjacent to
// its neighbours, heading 090.
inline void lf_standRow(std::size_t count) {
  gStands.clear();
  for (std::size_t i = 0; i < count; ++i) {
    const LatLon at = lf_from(kPark, static_cast<double>(i) * 60.0 / 1852.0, 90.0);
    Stand& stand = gStands.emplace_back("S" + std::to_string(i + 1), std::vector<StandOption>{},
                                        StandPosition{at.lat, at.lon, PI / 2}, 45.0, false, false, false);
    stand.index = static_cast<std::uint32_t>(i + 1);
    if (i > 0) stand.adjacent.push_back(stand.index - 1);
    if (i + 1 < count) stand.adjacent.push_back(stand.index + 1);
  }
}

// B738 liveries of these airlines for the static ladder.
inline void lf_installLiveries(std::initializer_list<const char*> airlines) {
  doubles::setModel("B738", 2, 0.0097);
  for (const char* airline : airlines) gLiveriesByModelAirline[kPax][airline]["B738"] = {kTitle};
}

inline StaticPlan lf_plan(std::uint32_t standId, const std::string& airline, const std::string& first,
                          const std::string& second = "", std::uint8_t firstUsed = 1, std::uint32_t offset = 0) {
  return StaticPlan{standId, offset, airline, "B738", first, second, "", firstUsed};
}

// Puts back what these scenarios change beyond the engine's own reset.
inline void lf_resetPark() {
  gStands.clear();
  gLiveriesByModelAirline[kPax].clear();
  gStaticParkingList.clear();
  gTwinCheckHexids.clear();
  gLiveStayers.clear();
  gStaticHexidCounter = 0;
  gAppState.maxPark = 0;
  gAppState.reservedStand.set("");
  INITIAL_LOAD_ONLY.value = INITIAL_LOAD_ONLY.defaultValue;
  LOG.value = LOG.defaultValue;
  doubles::setRealStaticCreation(false);
  doubles::setRealMotion(false);
}

// The stand-in's trace lines of one event.
inline std::vector<nlohmann::json> lf_traceEvents(const std::filesystem::path& trace, const std::string& event) {
  std::vector<nlohmann::json> lines;
  const std::string mark = "\"event\":\"" + event + "\"";
  for (const auto& line : fileLines(trace))
    if (line.find(mark) != std::string::npos) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

// Object id -> how often the stand-in was told to remove it.
inline std::map<std::uint32_t, int> lf_removals(const std::filesystem::path& trace) {
  std::map<std::uint32_t, int> counts;
  for (const auto& line : lf_traceEvents(trace, "remove")) ++counts[line["id"].get<std::uint32_t>()];
  return counts;
}

// A live aircraft whose creation is queued at a pose the test then moves by hand.
inline void lf_queueLive(std::uint32_t hexid, const std::string& callsign, const LatLon& at, double headingDeg,
                         double altitudeFt, ActPhase phase) {
  ModelKey key;
  key.callsign = callsign;
  key.operatorCode = callsign.substr(0, 3);
  key.type = "B738";
  TrackPoint point;
  point.latitude = at.lat;
  point.longitude = at.lon;
  point.altitude = altitudeFt;
  point.airborne = altitudeFt > 0.0 ? 1 : 0;
  point.stationary = 1;
  point.dueTick = static_cast<std::uint32_t>(gTick.load() + 1'000'000);
  Act aircraft(ActBase(std::move(key)), point, 0.0);
  aircraft.hexid = hexid;
  aircraft.pose.latitude = at.lat;
  aircraft.pose.longitude = at.lon;
  aircraft.pose.altitude = altitudeFt;
  aircraft.pose.heading = headingDeg * DEG_TO_RAD;
  aircraft.phase = phase;
  aircraft.state = ACT_CREATION_REQUESTED;
  aircraft.creationDecidedTick = gTick.load();
  gf_appendAct(std::move(aircraft));
  CreateReq request;
  request.initPos.Latitude = at.lat;
  request.initPos.Longitude = at.lon;
  request.initPos.Altitude = altitudeFt;
  request.initPos.Heading = headingDeg;
  request.tailNumber = callsign;
  request.liveryTitle = kTitle;
  request.hexid = hexid;
  gCreationQueuePrio.push_back(std::move(request));
}

// Runs until every aircraft is present or the bound passes; false at the bound.
inline bool lf_runUntilPresent(scenario::Driver& driver, scenario::FeedBuilder& feed, std::int64_t bound) {
  const auto allPresent = [] {
    for (const Act& a : gActs)
      if (a.state != ACT_PRESENT) return false;
    for (const StaticAct& a : gStaticActs)
      if (a.state != ACT_PRESENT) return false;
    return gCreationQueuePrio.empty() && gCreationQueue.empty() && gStaticParkingList.empty();
  };
  for (std::int64_t i = 0; i < bound; ++i) {
    if (allPresent()) return true;
    driver.run(feed, 1);
  }
  return allPresent();
}

inline scenario::DriverSetup lf_parkSetup(const std::filesystem::path& trace) {
  scenario::DriverSetup setup;
  setup.world.createDelaySeconds = 0;
  setup.world.user.latDeg = kPark.lat;
  setup.world.user.lonDeg = kPark.lon - 0.05;
  setup.user = {kPark.lat, kPark.lon - 0.05};
  setup.park = scenario::ParkAirport{"EHAM", kPark, 0.0};
  setup.world.staticCgFt = 0.0;
  setup.traceFile = trace;
  return setup;
}

// The run ended and its checker passes (every object removed exactly once among its rules).
inline void lf_finishClean(scenario::Driver& driver, const scenario::FeedBuilder& feed, const std::string& caseName) {
  driver.finish();
  if (const auto violation = scenario::gf_firstViolationKept(driver, feed, caseName))
    ADD_FAILURE() << scenario::gf_describe(*violation);
}

}  // namespace park
