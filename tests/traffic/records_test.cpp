#include "traffic/records.h"

#include <cmath>
#include <stdexcept>

#include <gtest/gtest.h>

#include "core/geometry.h"
#include "doubles.h"

namespace {

ModelKey keyOf(std::string op, std::string type, std::string origin, std::string destination,
               std::string callsign, std::string registration) {
  ModelKey key;
  key.operatorCode = std::move(op);
  key.type = std::move(type);
  key.origin = std::move(origin);
  key.destination = std::move(destination);
  key.callsign = std::move(callsign);
  key.registration = std::move(registration);
  return key;
}

TEST(Records, DescriptionTexts) {
  ActBase a;
  a.key = keyOf("KLM", "B738", "AMS", "JFK", "KLM1234", "PH-BXA");
  EXPECT_EQ(gf_aircraftDescription(a), "KLM1234  PH-BXA   AMS->JFK KLM B738");
  EXPECT_EQ(gf_aircraftNames(a), "KLM1234  PH-BXA KLM B738");
  EXPECT_EQ(lf_aircraftKeyText(a.key), "KLM B738 PH-BXA");
  EXPECT_EQ(lf_callsignText(a.key), "KLM1234 ");

  // No route, no registration: blanks keep the columns.
  ActBase b;
  b.key = keyOf("", "C17", "", "", "RCH123", "");
  EXPECT_EQ(lf_routeText(b.key), "        ");
  EXPECT_EQ(gf_aircraftDescription(b), "RCH123" + std::string(25, ' ') + "C17 ");

  b.key.destination = "LAX";
  EXPECT_EQ(lf_routeText(b.key), "   ->LAX");
}

TEST(Records, CategoryNames) {
  EXPECT_EQ(gf_categoryName(0), "Light");
  EXPECT_EQ(gf_categoryName(1), "Buzjets");
  EXPECT_EQ(gf_categoryName(4), "HighPerf");
  EXPECT_EQ(gf_categoryName(5), "Rotorcraft");
  EXPECT_THROW(gf_categoryName(6), std::out_of_range);
  try {
    gf_categoryPerformance(6);
    ADD_FAILURE() << "category 6 has no values";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
  }
}

TEST(Records, PlaceholderNames) {
  EXPECT_TRUE(lf_isPlaceholderName("KLM1234"));
  EXPECT_TRUE(lf_isPlaceholderName("ABCDEFGH"));
  EXPECT_FALSE(lf_isPlaceholderName("ABCDEFGHI"));
  EXPECT_FALSE(lf_isPlaceholderName("@@@@@@@@"));
  EXPECT_FALSE(lf_isPlaceholderName(""));
}

TEST(Records, AirlineFromCallsign) {
  ModelKey key;
  key.operatorCode = "PVT";
  for (const char* callsign : {"KL12", "KLm123", "klm123", "KLMX12", "KLM"}) {
    key.callsign = callsign;
    EXPECT_FALSE(lf_airlineFromCallsign(key)) << callsign;
    EXPECT_EQ(key.operatorCode, "PVT") << callsign;
  }
  key.callsign = "DLH4AB";
  EXPECT_TRUE(lf_airlineFromCallsign(key));
  EXPECT_EQ(key.operatorCode, "DLH");
}

TEST(Records, ActBaseTakesTheCategoryValues) {
  doubles::setModel("H135", 5, 0.0055);
  doubles::setModel("B77W", 3, 0.0174);

  bool sawHigher = false, sawLower = false;
  for (int i = 0; i < 64; ++i) {
    ActBase heli(keyOf("", "H135", "", "", "CHX1", ""));
    EXPECT_EQ(heli.category, 5u);
    EXPECT_DOUBLE_EQ(heli.halfSpan, 0.0055);
    EXPECT_EQ(heli.rotationTicks, 100u);
    EXPECT_EQ(heli.flareTicks, 100u);
    const double degrees = heli.rotationPitch * RAD_TO_DEG;
    EXPECT_TRUE(std::abs(degrees + 20.5) < 1e-9 || std::abs(degrees + 19.5) < 1e-9) << degrees;
    sawHigher |= degrees > -20.0;
    sawLower |= degrees < -20.0;
    const double climb = heli.climbPitch * RAD_TO_DEG;
    EXPECT_TRUE(std::abs(climb + 31.5) < 1e-9 || std::abs(climb + 28.5) < 1e-9) << climb;
    EXPECT_EQ(heli.key.callsign, "CHX1");
  }
  EXPECT_TRUE(sawHigher && sawLower) << "the sign of the variation is drawn at random";

  ActBase heavy(keyOf("BAW", "B77W", "", "", "BAW1", ""));
  EXPECT_EQ(heavy.category, 3u);
  EXPECT_EQ(heavy.flareTicks, 450u);
  EXPECT_EQ(heavy.derotationTicks, 450u);
  EXPECT_EQ(heavy.rotationTicks, 250u);
  EXPECT_EQ(heavy.pitchUpTicks, 400u);
  // The creation-time tables are left to the creation.
  EXPECT_EQ(heavy.baseTurnRate, 0.0);
  EXPECT_DOUBLE_EQ(gf_categoryPerformance(3).turnRate, 0.05 * DEG_TO_RAD);
  EXPECT_DOUBLE_EQ(gf_categoryPerformance(4).maxClimbStep, 1.0);
  EXPECT_DOUBLE_EQ(gf_categoryPerformance(2).standSpeed, 4.0);
}

TEST(Records, LiveAndStaticAircraftStartOutsideTheSimulator) {
  TrackPoint first;
  first.latitude = 52.3;
  ActBase base;
  base.hexid = 4840199;
  Act act(std::move(base), first, 1765200000.5);
  EXPECT_EQ(act.hexid, 4840199u);
  ASSERT_EQ(act.track.size(), 1u);
  EXPECT_EQ(act.track.front().latitude, 52.3);
  EXPECT_EQ(act.lastUpdate, 1765200000.5);
  EXPECT_EQ(act.state, ACT_NOT_IN_SIM);
  EXPECT_EQ(act.phase, PHASE_NEW);
  EXPECT_TRUE(std::isnan(act.curveControlEast)) << "no curve active";

  StaticAct parked(ActBase(), 17, 52.31, 4.77, 1.5, true);
  EXPECT_EQ(parked.standId, 17u);
  EXPECT_EQ(parked.standLatitude, 52.31);
  EXPECT_EQ(parked.standLongitude, 4.77);
  EXPECT_EQ(parked.standHeading, 1.5);
  EXPECT_EQ(parked.standCargo, 1);
  EXPECT_EQ(parked.throttleLevel, 5u) << "nothing sent yet";
}

}  // namespace
