#pragma once
// A park airport of hand-placed stands, a settable UTC clock and aircraft for
// the stand learning and stand choice tests.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "airports/apf_loading.h"
#include "airports/learned_save.h"
#include "core/clock.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "shell/app_state.h"
#include "shell/run_state.h"
#include "traffic/engine.h"
#include "traffic/live_stayers.h"
#include "traffic/stand_learning.h"

namespace stand_test {

inline std::int64_t gClockSeconds = 0;

// Monday 1970-01-05 00:00 UTC plus the weekday and half-hour.
inline void setClock(std::uint32_t weekday, std::uint32_t halfHour) {
  gClockSeconds = (4 + static_cast<std::int64_t>(weekday) - 1) * 86400 + halfHour * 1800;
}

inline Stand& addStand(const std::string& name, const LatLon& position, double radiusMetres, bool cargo = false,
                       bool ramp = false, bool heli = false) {
  gStands.emplace_back(name, std::vector<StandOption>{}, StandPosition{position.lat, position.lon, 0.0},
                       radiusMetres, cargo, ramp, heli);
  gStands.back().index = static_cast<std::uint32_t>(gStands.size());
  return gStands.back();
}

inline StandOption option(std::uint32_t id, std::uint32_t day, std::uint32_t halfHour, const std::string& registration,
                          const std::string& firstCallsign, std::uint32_t kind = OPTION_REAL) {
  StandOption made;
  made.operatorCode = "DLH";
  made.type = "A320";
  made.registration = registration;
  made.firstCallsign = firstCallsign;
  made.slots.set(halfHour);
  made.id = id;
  made.day = day;
  made.kind = kind;
  return made;
}

inline ActBase aircraft(std::uint32_t hexid, const std::string& callsign, const std::string& registration,
                        AircraftCategory category, double halfSpanMetres, const std::string& airline = "DLH") {
  ActBase made;
  made.key.operatorCode = airline;
  made.key.type = "A320";
  made.key.callsign = callsign;
  made.key.registration = registration;
  made.category = category;
  made.halfSpan = halfSpanMetres * NM_PER_METRE;
  made.hexid = hexid;
  return made;
}

inline Act liveAircraft(std::uint32_t hexid, const LatLon& position) {
  Act made(aircraft(hexid, sk::format("DLH{}", hexid), sk::format("D-A{}", hexid), 2, 15.0), TrackPoint{}, 0.0);
  made.pose.latitude = position.lat;
  made.pose.longitude = position.lon;
  return made;
}

inline void setParkAirport(const std::string& code, const LatLon& position) {
  gf_setTrafficParkAirport(EngineParkAirport{code, code, position.lat, position.lon, 0.0});
}

class StandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_clock = gf_setClockSource([] { return gClockSeconds; });
    m_settings = {RANDOM.value, WEEK.value, HELICOPTERS.value, LEARN_SOFT.value};
    reset();
  }
  void TearDown() override {
    reset();
    gf_setClockSource(m_clock);
    RANDOM.value = m_settings[0];
    WEEK.value = m_settings[1];
    HELICOPTERS.value = m_settings[2];
    LEARN_SOFT.value = m_settings[3];
  }
  static void reset() {
    gStands.clear();
    gf_clearStandLearning();
    gStaticActs.clear();
    gStaticParkingList.clear();
    gLiveStayers.clear();
    gSeenCallsignSet.clear();
    gf_setTrafficParkAirport({});
    gStandUpdateCount = 0;
    gAppState.updateCount = 0;
    gSoftLearningAllowed = true;
    gUserOnGround = false;
    RANDOM.value = false;
    WEEK.value = false;
    HELICOPTERS.value = true;
    LEARN_SOFT.value = true;
  }

 private:
  ClockSource m_clock = nullptr;
  std::array<bool, 4> m_settings{};
};

}  // namespace stand_test
