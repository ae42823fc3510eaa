// Applying traffic records to live aircraft: the update filters, new aircraft
// and the motion pass's due ticks.
#include <gtest/gtest.h>

#include <map>

#include "core/parameters.h"
#include "doubles.h"
#include "traffic/engine.h"
#include "traffic/update_queue.h"

namespace {

class EngineUpdate : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    gActs.clear();
    gf_rebuildActIndex();
    gf_resetTraffic();
    LIGHT_AIRCRAFT.value = false;
  }
};

TrafficRecord record(std::uint32_t hexid, const std::string& callsign, const std::string& type, double t,
                     double lat, double alt, double gs, bool airborne) {
  TrafficRecord r;
  r.hexid = hexid;
  r.key.callsign = callsign;
  r.key.type = type;
  r.key.registration = "X-UNK";
  r.timestamp = t;
  r.point.timestamp = t;  // as the line parser stamps it
  r.point.latitude = lat;
  r.point.longitude = 4.0;
  r.point.altitude = alt;
  r.point.groundSpeed = gs;
  r.point.track = 180.0;
  r.point.airborne = airborne ? 1 : 0;
  return r;
}

TrafficRecord movedEast(TrafficRecord r, double degrees) {
  r.point.longitude += degrees;
  return r;
}

TEST_F(EngineUpdate, FiltersRecordsAndCreatesOnlyWantedAircraft) {
  doubles::setModel("A320", 2, 0.0097);
  doubles::setModel("C172", 0, 0.0030);
  gEngineParkAirport.code = "LFBO";
  gEngineParkAirport.altitude = 950.0;
  const struct {
    const char* what;
    TrafficRecord r;
    int track;  // points of that hexid's aircraft afterwards; -1: none
  } rows[] = {
      {"new ground aircraft", record(1, "AFR1", "A320", 1000, 52.0, 0, 4, false), 1},
      {"repeat", record(1, "AFR1", "A320", 1000, 52.1, 0, 4, false), 1},
      {"0.8 s newer", record(1, "AFR1", "A320", 1000.8, 52.1, 0, 4, false), 1},
      {"4 -> 90 kt, as its position shows", record(1, "AFR1", "A320", 1005, 52.00208, 0, 90, false), 1},
      {"4 -> 60 kt, as its position shows", record(1, "AFR1", "A320", 1005, 52.00139, 0, 60, false), 2},
      {"airborne at 400 kt", record(2, "AFR2", "A320", 2000, 51.0, 20000, 400, true), 1},
      {"2 s later, same track", record(2, "AFR2", "A320", 2002, 50.99, 20000, 400, true), 1},
      {"3 s later", record(2, "AFR2", "A320", 2003, 50.98, 20000, 400, true), 2},
      {"standing at 0 kt", record(3, "AFR3", "A320", 3000, 53.0, 0, 0, false), 1},
      {"0 kt 10 s later", record(3, "AFR3", "A320", 3010, 53.0, 0, 0, false), 1},
      {"0 kt 16 s later", record(3, "AFR3", "A320", 3016, 53.0, 0, 0, false), 2},
      {"still 0 kt 2 s later, its position 50 m on, where no taxi gets: held",
       record(3, "AFR3", "A320", 3018, 53.00045, 0, 0, false), 2},
      {"2 s later 25 m further on: it moved there, both taken",
       record(3, "AFR3", "A320", 3020, 53.000675, 0, 0, false), 4},
      {"rolling", record(4, "AFR4", "A320", 4000, 54.0, 0, 10, false), 1},
      {"within 0.00015 deg", record(4, "AFR4", "A320", 4020, 54.0001, 0, 10, false), 2},
      {"new hexid, same callsign and type", record(5, "AFR1", "A320", 5000, 55.0, 0, 4, false), -1},
      {"category 0, light aircraft off", record(6, "FGABC", "C172", 5000, 55.0, 0, 4, false), -1},
      {"1000 ft beside a 950 ft park airport", record(7, "AFR7", "A320", 5000, 55.0, 1000, 140, true), -1},
      {"unknown type and registration", record(8, "AFR8", "ZZZZ", 5000, 55.0, 0, 4, false), -1},
      {"stopped", record(9, "AFR9", "A320", 6000, 56.0, 0, 0, false), 1},
      {"a stale 104 kt while its position shows 20 kt",
       record(9, "AFR9", "A320", 6010, 56.000926, 0, 104, false), 2},
      {"first seen rolling at 120 kt, 80 m east of where it rolls",
       movedEast(record(10, "AFR10", "A320", 7000, 57.0, 0, 120, false), 0.00132), 1},
      {"2 s later on its line, abeam, its position not updated",
       record(10, "AFR10", "A320", 7002, 57.0, 0, 120, false), 2},
      {"2 s later 245 m on: the first was out of place, it starts from the second",
       record(10, "AFR10", "A320", 7004, 56.9978, 0, 120, false), 2},
      {"flying at 140 kt", record(11, "AFR11", "A320", 8000, 58.0, 300, 140, true), 1},
      {"2 s later on the ground, 80 m east of where it rolls",
       movedEast(record(11, "AFR11", "A320", 8002, 57.9987, 0, 140, false), 0.001356), 2},
      {"2 s later on its line: the first ground point was a spike, judged from where it flew",
       record(11, "AFR11", "A320", 8004, 57.9974, 0, 140, false), 2},
      {"rolling at 120 kt", record(12, "AFR12", "A320", 9000, 59.0, 0, 120, false), 1},
      {"2 s later at 130 kt, 80 m east of its runway",
       movedEast(record(12, "AFR12", "A320", 9002, 58.9988, 0, 130, false), 0.0014), 2},
      {"2 s later at 140 kt on its runway: the spike of a take-off roll keeps its time, on the runway",
       record(12, "AFR12", "A320", 9004, 58.9976, 0, 140, false), 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TrafficRecord r = row.r;
    lf_applyUpdate(r);
    const Act* a = gf_findAct(row.r.hexid);
    EXPECT_EQ(a ? static_cast<int>(a->track.size()) : -1, row.track);
    EXPECT_TRUE(gf_actIndexExact());
  }
  const Act& stopped = *gf_findAct(4);
  EXPECT_EQ(stopped.track.back().latitude, 54.0);  // a copy of the last point
  EXPECT_EQ(stopped.track.back().groundSpeed, 0.0);
  EXPECT_EQ(stopped.track.back().stationary, 1);
  EXPECT_EQ(stopped.track.back().dueTick, stopped.track.front().dueTick + 1);
  EXPECT_EQ(gf_findAct(10)->track.front().latitude, 57.0);
  EXPECT_EQ(gf_findAct(10)->track.front().longitude, 4.0);
  EXPECT_EQ(gf_findAct(11)->track.back().longitude, 4.0);
  EXPECT_NEAR(gf_findAct(12)->track[1].longitude, 4.0, 1e-9);
  EXPECT_NEAR(gf_findAct(12)->track[1].latitude, 58.9988, 1e-6);
  const Act& created = *gf_findAct(1);
  EXPECT_EQ(created.state, ACT_NOT_IN_SIM);
  EXPECT_EQ(created.phase, PHASE_NEW);
  EXPECT_EQ(created.turnRate, gf_categoryPerformance(2).turnRate);
  EXPECT_EQ(created.maxClimbStep, gf_categoryPerformance(2).maxClimbStep);
  EXPECT_EQ(created.standSpeed, gf_categoryPerformance(2).standSpeed);

  // A track beyond 200 points: the next point removes the aircraft not yet created.
  Act& long_track = *gf_findAct(2);
  long_track.track.resize(201);
  long_track.track.back().groundSpeed = 400.0;
  TrafficRecord r = record(2, "AFR2", "A320", 2100, 50.0, 20000, 400, true);
  r.point.track = 90.0;
  lf_applyUpdate(r);
  EXPECT_EQ(gf_findAct(2)->eraseMark, 1);
  lf_motionPass();  // erases it and keeps the index exact
  EXPECT_EQ(gf_findAct(2), nullptr);
  EXPECT_TRUE(gf_actIndexExact());
}

TEST_F(EngineUpdate, MotionPassAdvancesOnTheDueTickAndAtOnceWhenLate) {
  gTick = 1000;
  for (auto [hexid, due] : {std::pair{11u, 1002u}, std::pair{12u, 500u}}) {
    Act a(ActBase(ModelKey{}), TrackPoint{}, 0.0);
    a.hexid = hexid;
    a.state = ACT_PRESENT;
    a.track.front().dueTick = due;
    gf_appendAct(std::move(a));
  }
  doubles::nextPosCalls().clear();
  std::map<std::uint32_t, std::int32_t> firstCall;
  for (int i = 0; i < 4; ++i) {
    lf_motionPass();
    for (auto [hexid, tick] : doubles::nextPosCalls()) firstCall.try_emplace(hexid, tick);
    ++gTick;
  }
  EXPECT_EQ(firstCall, (std::map<std::uint32_t, std::int32_t>{{11u, 1002}, {12u, 1000}}));
}

}  // namespace
