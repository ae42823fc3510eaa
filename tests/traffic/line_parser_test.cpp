#include <cmath>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "airports/apf_loading.h"
#include "core/clock.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "shell/auto_range.h"
#include "test_support.h"
#include "traffic/readers.h"
#include "traffic/update_queue.h"

namespace {

using testing_traffic::baseFields;
using testing_traffic::joinFields;
using testing_traffic::queuedRecords;

class LineParser : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      std::lock_guard lock(gUpdateMutex);
      gUpdateQueue.clear();
      gAcceptUpdates = true;
    }
    gTick.store(500);
    gLateralRangeNm = 40.0;
    gAutoRangeAtTen.store(false);
    gParkAirportLoaded.store(0);
    reader.setUserPosition({52.3, 4.76});
  }
  void TearDown() override {
    std::lock_guard lock(gUpdateMutex);
    gUpdateQueue.clear();
  }

  // Feeds the base line with the given fields replaced.
  void feed(const std::map<std::size_t, std::string>& changes = {}) {
    auto fields = baseFields();
    for (const auto& [index, text] : changes) fields[index] = text;
    reader.onDatagram(joinFields(fields));
  }
  // The one record the last feed queued.
  std::optional<TrafficRecord> taken() {
    std::lock_guard lock(gUpdateMutex);
    if (gUpdateQueue.size() != 1) return std::nullopt;
    TrafficRecord record = std::move(gUpdateQueue.front());
    gUpdateQueue.clear();
    return record;
  }
  bool accepted(const std::map<std::size_t, std::string>& changes) {
    feed(changes);
    return taken().has_value();
  }

  TrafficReader reader;
};

TEST_F(LineParser, RealFormatLineGivesOneRecordWithConversions) {
  feed();
  const auto record = taken();
  ASSERT_TRUE(record);
  const TrackPoint& p = record->point;
  EXPECT_EQ(record->hexid, 4840199u);
  EXPECT_EQ(record->timestamp, 1765200000.5);
  EXPECT_EQ(reader.lastTimestamp(), 1765200000.5);
  EXPECT_EQ(record->key.callsign, "KLM1234");
  EXPECT_EQ(record->key.type, "B738");
  EXPECT_EQ(record->key.registration, "PH-BXA");
  EXPECT_EQ(record->key.origin, "AMS");
  EXPECT_EQ(record->key.destination, "JFK");
  EXPECT_TRUE(record->key.operatorCode.empty());
  EXPECT_EQ(p.latitude, 52.3087);
  EXPECT_EQ(p.longitude, 4.7639);
  EXPECT_EQ(p.altitude, 2375.0);
  EXPECT_EQ(p.airborne, 1);
  EXPECT_EQ(p.groundSpeed, 168.0);
  EXPECT_EQ(p.track, 181.4);
  EXPECT_EQ(p.verticalSpeed, -704.0);
  EXPECT_EQ(p.trueAirspeed, 172.0);
  ASSERT_TRUE(p.heading);
  EXPECT_DOUBLE_EQ(*p.heading, 183.5 * DEG_TO_RAD);
  EXPECT_EQ(p.headingValid, 1);
  ASSERT_TRUE(p.roll);
  EXPECT_DOUBLE_EQ(*p.roll, 1.5 * DEG_TO_RAD);
  EXPECT_EQ(p.dueTick, 3500u);
  EXPECT_EQ(p.stationary, 0);
}

TEST_F(LineParser, PositionRules) {
  EXPECT_FALSE(accepted({{2, "0.0005"}, {3, "0.01"}})) << "the null box";
  reader.setUserPosition({-0.0005, 0.01});
  EXPECT_TRUE(accepted({{2, "-0.0005"}, {3, "0.01"}})) << "just outside the null box";
  reader.setUserPosition({52.3, 4.76});
  EXPECT_FALSE(accepted({{2, "91.0"}}));
  EXPECT_FALSE(accepted({{3, "-180.5"}}));
  EXPECT_FALSE(accepted({{2, "53.0"}})) << "42 nm away, beyond the lateral range";
  gLateralRangeNm = 50.0;
  EXPECT_TRUE(accepted({{2, "53.0"}}));
  EXPECT_FALSE(accepted({{2, "nan"}}));
  EXPECT_FALSE(accepted({{3, "inf"}}));
  EXPECT_FALSE(accepted({{2, ""}}));
}

TEST_F(LineParser, HexidRules) {
  EXPECT_FALSE(accepted({{1, "10000"}}));
  EXPECT_TRUE(accepted({{1, "10001"}}));
  EXPECT_FALSE(accepted({{1, "123abc"}})) << "read as 123";
  feed({{1, "4840199xyz"}});
  const auto record = taken();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->hexid, 4840199u);
  EXPECT_TRUE(accepted({{1, "4294967295"}}));
  EXPECT_FALSE(accepted({{1, "4294967296"}}));
  EXPECT_FALSE(accepted({{1, "abc"}}));
  EXPECT_FALSE(accepted({{1, "-20000"}}));
}

TEST_F(LineParser, TypeAndCategoryFilter) {
  for (const char* type : {"null", "0", "ZZZZ", "", "B7378", "GRND", "GLID", "SERV", "BALL", "PARA",
                           "SHIP", "EMER"})
    EXPECT_FALSE(accepted({{10, type}})) << type;
  for (const char* category : {"", "B1", "B2", "B4", "C1", "C2"})
    EXPECT_FALSE(accepted({{28, category}})) << category;
  EXPECT_TRUE(accepted({{28, "A5"}}));
  EXPECT_TRUE(accepted({{28, "B3"}}));
  EXPECT_TRUE(accepted({{10, "C17"}}));
}

TEST_F(LineParser, CallsignAndRegistrationRules) {
  EXPECT_FALSE(accepted({{9, "TOW 1"}}));
  EXPECT_FALSE(accepted({{9, "ERARMTR0"}}));
  EXPECT_TRUE(accepted({{9, "TOWER1"}}));

  feed({{9, "KL@123"}});
  auto record = taken();
  ASSERT_TRUE(record);
  EXPECT_TRUE(record->key.callsign.empty());
  EXPECT_EQ(record->key.registration, "PH-BXA");

  EXPECT_FALSE(accepted({{9, "null"}, {11, "null"}})) << "neither callsign nor registration";
  feed({{11, "ABCDEFGHIJKLM"}});
  record = taken();
  ASSERT_TRUE(record);
  EXPECT_TRUE(record->key.registration.empty()) << "13 characters are no registration";
  EXPECT_FALSE(accepted({{11, "null"}, {15, "F"}}));
  EXPECT_FALSE(accepted({{11, "ABCDEFGHIJKLM"}, {15, "F"}}));
  EXPECT_TRUE(accepted({{15, "F"}})) << "F with a registration";

  feed({{12, "null"}, {13, "null"}});
  record = taken();
  ASSERT_TRUE(record);
  EXPECT_TRUE(record->key.origin.empty() && record->key.destination.empty());
}

TEST_F(LineParser, TrueAirspeedLadder) {
  const std::map<std::string, double> ladder{{"1500", 180.0}, {"2000", 180.0}, {"3000", 220.0},
                                             {"5000", 220.0}, {"7000", 250.0}, {"10000", 250.0},
                                             {"15000", 350.0}, {"20000", 350.0}, {"25000", 430.0}};
  for (const auto& [altitude, tas] : ladder) {
    feed({{4, altitude}, {20, "-1"}});
    const auto record = taken();
    ASSERT_TRUE(record) << altitude;
    EXPECT_EQ(record->point.trueAirspeed, tas) << altitude;
  }
  EXPECT_FALSE(accepted({{20, "fast"}}));
}

TEST_F(LineParser, GroundSamples) {
  // No park airport: a slow sample at 400 ft is on the ground, far from any park airport.
  EXPECT_FALSE(accepted({{4, "400"}, {8, "30"}}));

  reader.setParkAirport(LatLon{52.3, 4.76});
  reader.setParkElevation(350.0);
  feed({{4, "400"}, {8, "70"}});
  auto record = taken();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->point.altitude, 0.0);
  EXPECT_EQ(record->point.airborne, 0);
  EXPECT_FALSE(record->point.roll) << "ground samples carry no roll";

  feed({{4, "430"}, {8, "90"}});
  record = taken();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->point.airborne, 1) << "80 ft above at 90 kt flies";

  feed({{4, "-50"}, {8, "10"}, {23, "garbage"}});
  record = taken();
  ASSERT_TRUE(record) << "the roll of a ground sample is not read";
  EXPECT_EQ(record->point.altitude, 0.0);

  feed({{4, "20000"}, {8, "30"}});
  record = taken();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->point.airborne, 0) << "at 35 kt or less anything is on the ground";

  reader.setParkAirport(LatLon{52.45, 4.76});
  EXPECT_FALSE(accepted({{4, "0"}})) << "ground traffic 8.5 nm from the park airport";
}

TEST_F(LineParser, HighTrafficAboveLoadedParkAirportAtTenMiles) {
  reader.setParkElevation(100.0);
  gAutoRangeAtTen.store(true);
  gParkAirportLoaded.store(1);
  EXPECT_FALSE(accepted({{4, "5000"}}));
  EXPECT_TRUE(accepted({{4, "3000"}}));
  gParkAirportLoaded.store(0);
  EXPECT_TRUE(accepted({{4, "5000"}}));
}

TEST_F(LineParser, HeadingTrackAndRoll) {
  feed({{25, "0"}});
  auto record = taken();
  ASSERT_TRUE(record && record->point.heading);
  EXPECT_EQ(*record->point.heading, TWO_PI);
  EXPECT_EQ(record->point.headingValid, 1);

  feed({{25, "-1"}, {7, ""}});
  record = taken();
  ASSERT_TRUE(record);
  EXPECT_FALSE(record->point.heading);
  EXPECT_EQ(record->point.headingValid, 0);
  EXPECT_EQ(record->point.track, 0.0);

  feed({{25, "90"}, {7, ""}});
  record = taken();
  ASSERT_TRUE(record);
  EXPECT_DOUBLE_EQ(record->point.track, 90.0) << "an empty track follows the heading";

  EXPECT_FALSE(accepted({{25, "360.5"}}));
  EXPECT_FALSE(accepted({{25, ""}}));
  feed({{17, "mlat"}, {25, "garbage"}});
  record = taken();
  ASSERT_TRUE(record) << "the heading is read from ADS-B sources only";
  EXPECT_FALSE(record->point.heading);

  for (const char* roll : {"-1", "0"}) {
    feed({{23, roll}});
    record = taken();
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->point.roll) << roll;
  }
  EXPECT_FALSE(accepted({{7, "north"}}));
  EXPECT_FALSE(accepted({{5, "x"}}));
  EXPECT_FALSE(accepted({{8, ""}}));
  EXPECT_FALSE(accepted({{14, "now"}}));
}

TEST_F(LineParser, VehiclesShortLinesAndClosedQueue) {
  auto fields = baseFields();
  fields[27] = "GND VEH";
  reader.onDatagram(joinFields(fields));
  EXPECT_EQ(queuedRecords(), 0u);

  fields = baseFields();
  fields.resize(29);
  reader.onDatagram(joinFields(fields));
  EXPECT_EQ(queuedRecords(), 1u) << "the category is the last field read";
  taken();
  fields.resize(28);
  reader.onDatagram(joinFields(fields) + ",");
  EXPECT_EQ(queuedRecords(), 0u);
  reader.onDatagram("RTTFC,4840199,52.3");
  reader.onDatagram("");
  reader.onDatagram(",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,");
  EXPECT_EQ(queuedRecords(), 0u);

  gf_setAcceptUpdates(false);
  feed();
  EXPECT_EQ(queuedRecords(), 0u);
  gf_setAcceptUpdates(true);
  feed();
  EXPECT_EQ(queuedRecords(), 1u);
}

TEST_F(LineParser, CollectsCallsignsWhileAsked) {
  feed({{9, "EZY12"}});
  EXPECT_TRUE(reader.seenCallsigns().empty());
  reader.setCollectCallsigns(true);
  feed({{9, "EZY12"}});
  feed({{9, "TRA7"}, {28, "C1"}});  // dropped after the collection
  feed({{9, "null"}});
  feed({{9, "X@Y"}});
  EXPECT_EQ(reader.seenCallsigns(), (std::set<std::string>{"EZY12", "TRA7"}));
  reader.clearSeenCallsigns();
  EXPECT_TRUE(reader.seenCallsigns().empty());
}

// Real lines carry blanks around fields, the wire documentation's own examples among them.
TEST_F(LineParser, BlanksAroundFieldsAreNotPartOfTheValues) {
  std::vector<std::string> examples;
  std::ifstream in(SKLM_TEST_DATA_DIR "/traffic/rttfc_doc_examples.txt");
  for (std::string line; std::getline(in, line);) examples.push_back(line);
  ASSERT_EQ(examples.size(), 2u);
  reader.setUserPosition({-33.8, 152.5});
  reader.onDatagram(examples[1]);
  auto record = taken();
  ASSERT_TRUE(record) << examples[1];
  EXPECT_EQ(record->key.registration, "N35953");
  ASSERT_TRUE(record->point.roll);
  EXPECT_DOUBLE_EQ(*record->point.roll, -0.5 * DEG_TO_RAD);
  reader.onDatagram(examples[0]);
  record = taken();
  ASSERT_TRUE(record) << examples[0];
  EXPECT_EQ(record->key.registration, "N835AN");
  reader.setUserPosition({52.3, 4.76});

  struct Case {
    std::size_t field;
    std::string text;
  };
  for (const Case& c : {Case{2, " 52.30870"}, Case{3, "\t4.76390 "}, Case{4, " 2375"}, Case{1, " 4840199"},
                        Case{14, " 1765200000.5 "}, Case{20, " 172"}, Case{7, "  "}, Case{9, " KLM1234 "},
                        Case{10, " B738"}, Case{11, "PH-BXA  "}, Case{12, " AMS"}, Case{13, "JFK "},
                        Case{17, " adsb_icao"}, Case{28, " A3 "}, Case{23, " -1.5"}}) {
    SCOPED_TRACE(c.field);
    feed({{c.field, c.text}});
    record = taken();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->hexid, 4840199u);
    EXPECT_EQ(record->point.altitude, 2375.0);
    EXPECT_EQ(record->key.callsign, "KLM1234");
    EXPECT_EQ(record->key.type, "B738");
    EXPECT_EQ(record->key.registration, "PH-BXA");
    EXPECT_EQ(record->key.origin, "AMS");
    EXPECT_EQ(record->key.destination, "JFK");
    EXPECT_TRUE(record->point.heading);
    EXPECT_TRUE(record->point.roll);
  }
}

// Whatever the line, a queued record is a sound one.
void expectSound(const TrafficRecord& r, const std::string& line) {
  const TrackPoint& p = r.point;
  EXPECT_GT(r.hexid, 10000u) << line;
  EXPECT_TRUE(std::isfinite(p.latitude) && std::abs(p.latitude) <= 90.0) << line;
  EXPECT_TRUE(std::isfinite(p.longitude) && std::abs(p.longitude) <= 180.0) << line;
  EXPECT_TRUE(gf_isRealPosition({p.latitude, p.longitude})) << line;
  EXPECT_TRUE(std::isfinite(p.altitude) && p.altitude >= 0.0) << line;
  EXPECT_EQ(p.airborne, p.altitude > 0.0 ? 1 : 0) << line;
  EXPECT_TRUE(std::isfinite(p.trueAirspeed) && std::isfinite(p.groundSpeed)) << line;
  EXPECT_TRUE(std::isfinite(p.track) && std::isfinite(p.verticalSpeed)) << line;
  if (p.heading) {
    EXPECT_TRUE(*p.heading > 0.0 && *p.heading <= TWO_PI) << line;
  }
  EXPECT_EQ(p.headingValid, p.heading ? 1 : 0) << line;
  EXPECT_TRUE(!r.key.type.empty() && r.key.type.size() <= 4) << line;
  EXPECT_LE(r.key.registration.size(), 12u) << line;
  EXPECT_FALSE(r.key.registration.empty() && r.key.callsign.empty()) << line;
}

// Ten minutes of real traffic around Toulouse-Blagnac, with the park airport
// there: every aircraft of the recording reaches the queue, ground ones too.
TEST_F(LineParser, RealTrafficAroundAParkAirportReachesTheQueueSound) {
  reader.setUserPosition({43.629, 1.364});
  reader.setParkAirport(LatLon{43.629, 1.364});
  reader.setParkElevation(499.0);
  std::ifstream in(SKLM_TEST_DATA_DIR "/traffic/lfbo_20191111_1000-1010_every4th.txt");
  std::set<std::string> sent, queued;
  std::size_t lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    std::size_t start = 0;
    for (int field = 0; field < 9; ++field) start = line.find(',', start) + 1;
    sent.insert(line.substr(start, line.find(',', start) - start));
    reader.onDatagram(line);
  }
  ASSERT_GT(lines, 1000u);
  std::size_t records = 0;
  bool grounded = false;
  for (const auto& r : testing_traffic::takeQueued()) {
    ++records;
    expectSound(r, r.key.callsign);
    queued.insert(r.key.callsign);
    grounded |= !r.point.airborne;
  }
  EXPECT_EQ(queued, sent);
  EXPECT_GT(records, lines * 9 / 10);
  EXPECT_TRUE(grounded) << "the landing and the departures roll on the ground";
}

TEST_F(LineParser, FuzzedLinesNeverCrashOrQueueInvalidRecords) {
  std::mt19937 random(20261208);
  const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  const std::string alphabet = std::string("0123456789-.,eE+ nainfNULLFxABZ@\r\n\t\xff") + '\0';
  const std::vector<std::string> odd{"", "-1", "0", "nan", "inf", "-inf", "1e308", "1e309", "-0",
                                     "null", "ZZZZ", "99999999999999999999", "F", "adsb_icao",
                                     ",", "0x10", " 5", "+5", "TOW X", std::string(40, '9')};
  const std::string base = joinFields(baseFields());
  const auto trimmedFields = [&](std::size_t count) {
    auto fields = baseFields();
    fields.resize(count);
    return joinFields(fields);
  };

  std::size_t queuedTotal = 0;
  for (int i = 0; i < 100000; ++i) {
    std::string line;
    bool mustDrop = false;
    switch (i % 5) {
      case 0:  // truncated anywhere before the category field ends
        line = base.substr(0, pick(base.find(",A3") + 1));
        mustDrop = true;
        break;
      case 1:  // fewer fields than the parser reads
        line = trimmedFields(pick(29));
        mustDrop = true;
        break;
      case 2: {  // one read field replaced by a text that is no number
        auto fields = baseFields();
        static const std::size_t numeric[] = {1, 2, 3, 4, 5, 8, 14, 20, 23, 25};
        fields[numeric[pick(std::size(numeric))]] = std::string("x") + odd[pick(odd.size())];
        line = joinFields(fields);
        mustDrop = true;
        break;
      }
      case 3: {  // random fields from odd values
        auto fields = baseFields();
        for (int k = 0, n = 1 + static_cast<int>(pick(6)); k < n; ++k)
          fields[pick(fields.size())] = odd[pick(odd.size())];
        line = joinFields(fields);
        break;
      }
      default:  // random bytes in a real line
        line = base;
        for (int k = 0, n = 1 + static_cast<int>(pick(8)); k < n; ++k)
          line[pick(line.size())] = alphabet[pick(alphabet.size())];
        if (pick(4) == 0) line.resize(pick(line.size()));
        break;
    }
    reader.onDatagram(line);
    std::lock_guard lock(gUpdateMutex);
    if (mustDrop) {
      EXPECT_TRUE(gUpdateQueue.empty()) << line;
    }
    for (const auto& record : gUpdateQueue) expectSound(record, line);
    queuedTotal += gUpdateQueue.size();
    gUpdateQueue.clear();
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(queuedTotal, 1000u) << "the fuzzing should not only produce broken lines";
}

TEST(Positions, TextAndNullBox) {
  EXPECT_EQ(gf_latLonText({52.3087, -4.7639}), "52.308700,-4.763900");
  EXPECT_FALSE(gf_isRealPosition({0.0, 0.0}));
  EXPECT_FALSE(gf_isRealPosition({0.0009, 0.05}));
  EXPECT_TRUE(gf_isRealPosition({0.001, 0.01}));
  EXPECT_TRUE(gf_isRealPosition({0.0005, 0.051}));
  EXPECT_TRUE(gf_isRealPosition({-0.0005, 0.01}));
}

}  // namespace
