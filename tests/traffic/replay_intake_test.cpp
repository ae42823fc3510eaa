// The RealTraffic stand-in's replay files through the live-traffic intake: what
// the player sends is what the parser reads, field by field, and over real UDP.
#include <charconv>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "airports/apf_loading.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "doubles.h"
#include "shell/auto_range.h"
#include "shell/startup.h"
#include "test_support.h"
#include "tools/rtplayer/convert.h"
#include "tools/rtplayer/replay.h"
#include "tools/rtplayer/schedule.h"
#include "tools/rtplayer/udp_sink.h"
#include "traffic/readers.h"
#include "traffic/update_queue.h"

namespace {

using testing_traffic::LogCapture;
using testing_traffic::queuedRecords;
using testing_traffic::takeQueued;
using testing_traffic::waitUntil;

const std::string kDataDir = SKLM_TEST_DATA_DIR "/rtplayer/";
// The user south of the airport; the cruise enters just inside the default 40 nm.
constexpr LatLon kUser{52.3, 4.76};
constexpr LatLon kParkAirport{52.3086, 4.7639};
constexpr double kParkElevationFeet = -11.0;
constexpr std::int32_t kTick = 777;

double lf_number(std::string_view text) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  EXPECT_TRUE(error == std::errc() && end == text.data() + text.size()) << text;
  return value;
}

std::string lf_readData(const std::string& name) {
  std::ifstream in(kDataDir + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// What the record of an accepted line must hold, read from the line's own fields.
// The replay's on-ground flag (field 6) is not read by the parser: its ground rule
// must come to the same answer for these hand-made flights.
void lf_expectRecordOf(const std::string& line, const TrafficRecord& record) {
  SCOPED_TRACE(line);
  const auto f = rtplay::gf_splitFields(line);
  ASSERT_GE(f.size(), 29u);
  const TrackPoint& p = record.point;
  EXPECT_EQ(record.hexid, static_cast<std::uint32_t>(lf_number(f[1])));
  EXPECT_EQ(record.timestamp, lf_number(f[14]));
  EXPECT_EQ(p.latitude, lf_number(f[2]));
  EXPECT_EQ(p.longitude, lf_number(f[3]));
  const bool airborne = f[6] == "0";
  EXPECT_EQ(p.airborne, airborne ? 1 : 0);
  EXPECT_EQ(p.altitude, airborne ? lf_number(f[4]) : 0.0);
  EXPECT_EQ(p.verticalSpeed, lf_number(f[5]));
  EXPECT_EQ(p.track, lf_number(f[7]));
  EXPECT_EQ(p.groundSpeed, lf_number(f[8]));
  EXPECT_EQ(record.key.callsign, f[9]);
  EXPECT_EQ(record.key.type, f[10]);
  EXPECT_EQ(record.key.registration, f[11]);
  EXPECT_EQ(record.key.origin, f[12]);
  EXPECT_EQ(record.key.destination, f[13]);
  ASSERT_EQ(f[17], "adsb_icao");
  ASSERT_TRUE(p.heading);
  EXPECT_DOUBLE_EQ(*p.heading, lf_number(f[25]) * DEG_TO_RAD);
  EXPECT_EQ(p.headingValid, 1);
  const double roll = lf_number(f[23]);
  if (airborne && roll != 0.0 && roll != -1.0) {
    ASSERT_TRUE(p.roll);
    EXPECT_DOUBLE_EQ(*p.roll, -roll * DEG_TO_RAD);
  } else {
    EXPECT_FALSE(p.roll);
  }
  // No true airspeed: the default of the lowest altitude band.
  const double trueAirspeed = lf_number(f[20]);
  if (trueAirspeed == -1.0) {
    EXPECT_LE(p.altitude, 2000.0);
    EXPECT_EQ(p.trueAirspeed, 180.0);
  } else {
    EXPECT_EQ(p.trueAirspeed, trueAirspeed);
  }
  EXPECT_EQ(p.stationary, 0);
  EXPECT_EQ(p.dueTick, static_cast<std::uint32_t>(kTick) + 3000u);
}

class ReplayIntake : public ::testing::Test {
 protected:
  void SetUp() override {
    gRtLocal = true;
    gLateralRangeNm = 40.0;
    gAutoRangeAtTen.store(false);
    gParkAirportLoaded.store(0);
    gTick.store(kTick);
    gQnh.store(STANDARD_QNH);
    takeQueued();
    gf_setAcceptUpdates(true);
    for (TrafficReader* reader : {&traffic, &gTrafficReader}) {
      reader->setUserPosition(kUser);
      reader->setParkAirport(kParkAirport);
      reader->setParkElevation(kParkElevationFeet);
    }
  }
  void TearDown() override {
    takeQueued();
    gRtLocal = false;
    gTrafficReader.setParkAirport(std::nullopt);
    gTrafficReader.setParkElevation(std::nullopt);
    gf_resetRealTrafficReaders();
  }

  // Every datagram of the file handed to the readers as the receive loop would.
  void feed(const rtplay::Replay& replay) {
    for (const auto& item : replay.items) {
      if (item.kind == rtplay::DatagramKind::Pressure)
        weather.onDatagram(item.text);
      else
        traffic.onDatagram(item.text);
    }
  }

  LogCapture log;
  TrafficReader traffic;
  WeatherReader weather;
};

TEST_F(ReplayIntake, EveryLineOfTheFlightsIsAcceptedWithItsConversions) {
  for (const char* name : {"arrival.replay", "departure.replay", "cruise.replay"}) {
    SCOPED_TRACE(name);
    const auto replay = rtplay::gf_readReplayFile(kDataDir + name);
    ASSERT_TRUE(replay.warnings.empty());
    std::vector<std::string> lines;
    bool pressure = false;
    for (const auto& item : replay.items) {
      if (item.kind == rtplay::DatagramKind::Traffic) lines.push_back(item.text);
      pressure = pressure || item.kind == rtplay::DatagramKind::Pressure;
    }
    ASSERT_GE(lines.size(), 40u);
    gQnh.store(STANDARD_QNH);
    weather.setLastQnh(STANDARD_QNH);

    feed(replay);
    const auto records = takeQueued();
    ASSERT_EQ(records.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) lf_expectRecordOf(lines[i], records[i]);
    EXPECT_EQ(traffic.lastTimestamp(), records.back().timestamp);
    // The files' pressure, 1009.6 hPa, rounded.
    if (pressure) {
      EXPECT_EQ(gQnh.load(), 1010);
    }
  }
}

TEST_F(ReplayIntake, ConvertedPositionReportsAreReadWhereTheConverterPutThem) {
  const auto converted =
      rtplay::gf_convertPositionReports(lf_readData("reports.csv"), rtplay::ReportUnits::Metric);
  ASSERT_EQ(converted.lines, 4);
  feed(rtplay::gf_parseReplay(converted.replay));

  // Kept: the two airborne reports of the B738. Dropped: a ground report and one
  // without callsign or registration, both without a type.
  const auto records = takeQueued();
  ASSERT_EQ(records.size(), 2u);
  const TrafficRecord& first = records[0];
  EXPECT_EQ(first.hexid, 0x484B91u);
  EXPECT_EQ(first.timestamp, 1733652000.0);
  EXPECT_EQ(first.key.callsign, "KLM1592");
  EXPECT_EQ(first.key.type, "B738");
  EXPECT_EQ(first.key.registration, "PH-BXE");
  EXPECT_TRUE(first.key.origin.empty());
  EXPECT_TRUE(first.key.destination.empty());
  EXPECT_EQ(first.point.latitude, 52.46192);
  EXPECT_EQ(first.point.longitude, 4.71436);
  EXPECT_EQ(first.point.altitude, 1950.0);  // 594.4 m
  EXPECT_EQ(first.point.groundSpeed, 150.0);  // 77.17 m/s
  EXPECT_EQ(first.point.track, 181.0);
  EXPECT_EQ(first.point.verticalSpeed, -768.0);  // -3.9 m/s
  // No true heading, roll or true airspeed in such reports.
  EXPECT_FALSE(first.point.heading);
  EXPECT_FALSE(first.point.roll);
  EXPECT_EQ(first.point.trueAirspeed, 180.0);
  EXPECT_EQ(first.point.airborne, 1);
  EXPECT_EQ(records[1].timestamp, 1733652010.0);
  EXPECT_EQ(records[1].point.altitude, 1125.0);  // 342.9 m
}

// "kept with 2=52.3 3=4.7" in the comment above a line: the fields that repair it.
std::map<std::size_t, std::string> lf_repairOf(std::string_view comment) {
  std::map<std::size_t, std::string> repair;
  const auto at = comment.find("kept with ");
  if (at == std::string_view::npos) return repair;
  std::string_view rest = comment.substr(at + 10);
  while (!rest.empty()) {
    const auto blank = rest.find(' ');
    const auto token = rest.substr(0, blank);
    const auto equals = token.find('=');
    EXPECT_NE(equals, std::string_view::npos) << comment;
    if (equals == std::string_view::npos) break;
    repair[static_cast<std::size_t>(lf_number(token.substr(0, equals)))] = token.substr(equals + 1);
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
  }
  return repair;
}

std::string lf_repaired(const std::string& line, const std::map<std::size_t, std::string>& repair) {
  auto fields = rtplay::gf_splitFields(line);
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    const auto found = repair.find(i);
    out += found == repair.end() ? std::string(fields[i]) : found->second;
  }
  return out;
}

TEST_F(ReplayIntake, EveryLineOfTheDropFileIsDroppedForItsOneNamedFault) {
  const std::string content = lf_readData("drops.replay");
  const auto replay = rtplay::gf_parseReplay(content);
  ASSERT_GE(replay.items.size(), 20u);
  std::size_t repaired = 0;
  std::string_view comment;
  std::size_t item = 0;
  for (const auto line : rtplay::gf_splitLines(content)) {
    if (line.starts_with('#')) {
      comment = line;
      continue;
    }
    ASSERT_LT(item, replay.items.size());
    const std::string datagram = replay.items[item++].text;
    ASSERT_EQ(datagram, line);
    SCOPED_TRACE(datagram);
    traffic.onDatagram(datagram);
    EXPECT_EQ(queuedRecords(), 0u);

    const auto repair = lf_repairOf(comment);
    if (repair.empty()) continue;
    ++repaired;
    traffic.onDatagram(lf_repaired(datagram, repair));
    EXPECT_EQ(takeQueued().size(), 1u) << comment;
  }
  EXPECT_EQ(item, replay.items.size());
  // All but the two vehicles and the cut-short line name their repair.
  EXPECT_EQ(repaired, replay.items.size() - 3);
  // Dropped lines leave no trace in the log.
  EXPECT_TRUE(log.lines().empty());
}

// Stops and joins the two global reader threads however the test ends.
class RunningReaders {
 public:
  RunningReaders() : m_qnh(&lf_qnhReaderThread, 0), m_traffic(&lf_trafficReaderThread, 0) {}
  ~RunningReaders() { stop(); }
  void stop() {
    gf_stopRealTrafficReaders();
    if (m_qnh.joinable()) m_qnh.join();
    if (m_traffic.joinable()) m_traffic.join();
  }

 private:
  std::thread m_qnh;
  std::thread m_traffic;
};

TEST_F(ReplayIntake, PlayedOverUdpTheArrivalReachesTheQueueInOrderWithItsQnh) {
  const auto replay = rtplay::gf_readReplayFile(kDataDir + "arrival.replay");
  std::vector<std::string> lines;
  for (const auto& item : replay.items)
    if (item.kind == rtplay::DatagramKind::Traffic) lines.push_back(item.text);
  doubles::clearReaderStoppedCalls();
  gf_resetRealTrafficReaders();
  const std::uint32_t receivedBefore = gTrafficReader.received();

  RunningReaders readers;
  ASSERT_TRUE(waitUntil([] { return gTrafficReader.boundPort() != 0 && gWeatherReader.boundPort() != 0; }));
  rtplay::UdpSink sink(rtplay::Ipv4Address{}, gTrafficReader.boundPort(), gWeatherReader.boundPort());
  rtplay::SystemReplayClock clock;
  rtplay::PlayOptions options;
  options.speed = 2000.0;  // a quarter of an hour of arrival in half a second
  const auto plan = rtplay::gf_planReplay(replay, options, clock.epochSeconds());
  EXPECT_EQ(rtplay::gf_playPlan(plan, clock, sink), lines.size() + 1);

  EXPECT_TRUE(waitUntil([&] { return queuedRecords() >= lines.size(); }));
  EXPECT_TRUE(waitUntil([] { return gQnh.load() == 1010; }));
  readers.stop();

  const auto records = takeQueued();
  ASSERT_EQ(records.size(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) lf_expectRecordOf(lines[i], records[i]);
  EXPECT_EQ(gTrafficReader.received() - receivedBefore, lines.size());
  EXPECT_EQ(gWeatherReader.received(), 1u);
  EXPECT_EQ(gWeatherReader.lastQnh(), 1010);
  EXPECT_EQ(gQnhReaderStatus.load(), READER_RECEIVING);
  EXPECT_EQ(gTrafficReaderStatus.load(), READER_STOPPED);
  EXPECT_TRUE(doubles::readerStoppedCalls().empty());
}

}  // namespace
