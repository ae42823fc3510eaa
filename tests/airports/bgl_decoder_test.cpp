#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include "airports/bgl_airports.h"
#include "core/format.h"
#include "tests/core/core_test_support.h"
#include "tools/bglwrite/bglwrite.h"

namespace {

class Recorder : public BglAirportActions {
 public:
  void generateApf(ApfAirport& airport) override { generated.push_back(airport.icao); }
  void notRecognisedAirport() override { ++notRecognised; }
  std::vector<std::string> generated;
  int notRecognised = 0;
};

bglw::ParkingSpot spot(std::uint32_t nameCode, std::uint32_t number, float radius, std::uint32_t type = 8,
                       float heading = 90.0F) {
  static int n = 0;
  ++n;
  return {nameCode, type, number, static_cast<std::uint32_t>(n % 3), radius, heading, 51.4 + 0.0001 * n,
          -0.45 + 0.0002 * (n % 50)};
}

bglw::Airport airport(const std::string& icao, std::vector<bglw::ParkingSpot> spots = {}) {
  bglw::Airport result;
  result.icao = icao;
  result.spots = std::move(spots);
  if (result.spots.empty()) result.spots.push_back(spot(10, 1, 20.0F));
  return result;
}

bglw::Record record(bglw::Airport a) { return {std::move(a), {}}; }
bglw::Record raw(std::uint16_t id, std::uint32_t size) { return {std::nullopt, {id, size}}; }
bglw::Section airports(std::vector<bglw::Record> records) { return {3, std::move(records), 0, false, std::nullopt}; }
bglw::Section filler(std::vector<bglw::Record> records = {}) { return {0x65, std::move(records), 512, false, {}}; }

// "ICAO alt: name:radius[c][r][h] ..." per airport, stands in file order.
std::string describe(const BglFileResult& result) {
  std::string text;
  for (const ApfAirport& a : result.airports) {
    text += sk::format("{}{} {}:", text.empty() ? "" : " | ", a.icao, a.altitude);
    for (const Stand& s : a.stands)
      text += sk::format(" {}:{:.2f}{}{}{}", s.name, s.radius * 1852.0, s.cargo ? "c" : "", s.ramp ? "r" : "",
                         s.heli ? "h" : "");
  }
  return text;
}

bool logHas(const BglFileResult& result, const std::string& part) {
  for (const std::string& line : result.log)
    if (line.find(part) != std::string::npos) return true;
  return false;
}

struct DecodeCase {
  const char* name;
  std::function<bglw::File()> file;
  std::string expected2020;
  std::string expected2024;  // "=" for the same as 2020
  const char* logLine = "";
};

std::vector<bglw::ParkingSpot> sevenPlusOne() {
  std::vector<bglw::ParkingSpot> spots;
  for (int i = 1; i <= 8; ++i) spots.push_back(spot(12, 12, static_cast<float>(10 * i)));
  return spots;
}

const std::vector<DecodeCase>& decodeCases() {
  static const std::vector<DecodeCase> cases{
      {"altitude",
       [] {
         bglw::Airport low = airport("EGLL"), lower = airport("EGKK");
         low.altitudeMm = -6000;
         lower.altitudeMm = -10000;
         return bglw::gf_file({airports({record(low), record(lower)})});
       },
       "EGLL -20: g1:20.00 | EGKK 0: g1:20.00", "="},
      {"helipads",
       [] {
         bglw::Airport a = airport("EGLL"), b = airport("EGKK");
         a.helipads = {{51.1, -0.1, 20.0F}, {51.1, -0.1, 30.0F}, {51.2, -0.1, 16.0F}};
         b.helipads = {{52.0, 1.0, 40.0F}};
         return bglw::gf_file({airports({record(a), record(b)})});
       },
       "EGLL 0: helipad1:10.00h helipad2:8.00h g1:20.00 | EGKK 0: helipad1:20.00h g1:20.00", "=", "double helipad"},
      {"radii",
       [] {
         return bglw::gf_file({airports({record(airport(
             "EGLL", {spot(10, 1, 1.0F), spot(10, 2, 200.0F), spot(10, 3, 1.01F), spot(10, 4, 199.9F)}))})});
       },
       "EGLL 0: g3:1.01 g4:199.90", "=", "skipped position with radius 1.0 meters"},
      {"types",
       [] {
         return bglw::gf_file({airports({record(airport(
             "EGLL", {spot(10, 1, 20, 0), spot(10, 2, 20, 12), spot(10, 3, 20, 13), spot(10, 4, 20, 5),
                      spot(10, 5, 20, 14), spot(10, 6, 20, 11)}))})});
       },
       "EGLL 0: g4:20.00cr g5:20.00r g6:20.00", "="},
      {"name codes and heading",
       [] { return bglw::gf_file({airports({record(airport("EGLL", {spot(10, 12, 20), spot(12, 5, 20, 8, 0.0F)}))})}); },
       "EGLL 0: g12:20.00 A5:20.00", "="},
      {"seven of one id",
       [] { return bglw::gf_file({airports({record(airport("EGLL", sevenPlusOne()))})}); },
       "EGLL 0: A12f:10.00 A12e:20.00 A12d:30.00 A12c:40.00 A12b:50.00 A12a:60.00 A12:70.00", "=",
       "===> Warning more then 6 the same ids A12, in "},
      {"size code bit",
       [] {
         bglw::Section section = airports({record(airport("EGLL"))});
         section.sizeCodeBit = true;
         return bglw::gf_file({section});
       },
       "", "="},
      {"header size",
       [] {
         bglw::File file = bglw::gf_file({airports({record(airport("EGLL"))})});
         file.headerSize = 0x30;
         return file;
       },
       "", "="},
      {"compiled record first",
       [] {
         bglw::Airport compiled = airport("EGKK");
         compiled.compiled2024 = true;
         return bglw::gf_file({airports({record(compiled), record(airport("EGLL"))})});
       },
       "EGLL 0: g1:20.00", ""},
      {"two airport sections",
       [] {
         return bglw::gf_file({filler(), airports({record(airport("EGLL"))}), filler(), airports({record(airport("EGKK"))})});
       },
       "EGLL 0: g1:20.00 | EGKK 0: g1:20.00", "="},
      {"airport-looking record in filler",
       [] { return bglw::gf_file({filler({record(airport("EGLL"))})}); }, "", "="},
      {"record of unaligned size",
       [] { return bglw::gf_file({airports({raw(0x99, 0x46), record(airport("EGLL"))})}); }, "EGLL 0: g1:20.00", "="},
      {"parking count beyond the list",
       [] {
         std::vector<bglw::ParkingSpot> spots;
         for (std::uint32_t i = 1; i <= 10; ++i) spots.push_back(spot(10, i, 20));
         bglw::Airport a = airport("EGLL", spots);
         a.parkingCount = 500;
         return bglw::gf_file({airports({record(a)})});
       },
       "EGLL 0: g1:20.00 g2:20.00 g3:20.00 g4:20.00 g5:20.00 g6:20.00 g7:20.00 g8:20.00 g9:20.00 g10:20.00", "=",
       "holds 10 of its 500 entries"},
      {"record crossing its region",
       [] {
         const bglw::Airport good = airport("EGLL");
         bglw::Section section = airports({record(good), raw(0x56, 200)});
         // The region ends halfway through the record after the airport.
         section.dataSize = 0x44 + 8 + 56 + 4 * good.spots[0].airlineCodes + 100;
         return bglw::gf_file({section, filler()});
       },
       "EGLL 0: g1:20.00", "=", "crosses the end of its region"},
  };
  return cases;
}

TEST(BglDecoder, DecodesWriterFilesInBothModes) {
  ScratchFolder scratch;
  for (const DecodeCase& c : decodeCases()) {
    const std::filesystem::path path = scratch.path() / "case.bgl";
    bglw::File file = c.file();
    ASSERT_TRUE(bglw::gf_writeBgl(file, path));
    for (const bool msfs2020 : {true, false}) {
      SCOPED_TRACE(sk::format("{} in {} mode", c.name, msfs2020 ? "2020" : "2024"));
      Recorder recorder;
      const BglFileResult result = gf_decodeBglFile(path, msfs2020, recorder);
      const std::string& expected = msfs2020 || c.expected2024 == "=" ? c.expected2020 : c.expected2024;
      EXPECT_EQ(describe(result), expected);
      EXPECT_EQ(recorder.generated.size(), result.airports.size());
      if (*c.logLine) {
        EXPECT_TRUE(logHas(result, c.logLine));
      }
      EXPECT_EQ(recorder.notRecognised, !msfs2020 && std::string(c.name) == "compiled record first" ? 1 : 0);
    }
  }
}

TEST(BglDecoder, PositionsAndHeadingsComeBackAsWritten) {
  ScratchFolder scratch;
  bglw::Airport a = airport("KJFK", {spot(10, 1, 30, 8, 0.0F), spot(10, 2, 30, 8, 271.5F)});
  a.spots[1].latitude = -33.946111;
  a.spots[1].longitude = 151.177222;
  a.helipads = {{40.641311, -73.778139, 20.0F}};
  ASSERT_TRUE(bglw::gf_writeBgl(bglw::gf_file({airports({record(a)})}), scratch.path() / "k.bgl"));
  BglAirportActions none;
  const BglFileResult result = gf_decodeBglFile(scratch.path() / "k.bgl", true, none);
  ASSERT_EQ(result.airports.size(), 1U);
  const std::vector<Stand>& stands = result.airports[0].stands;
  ASSERT_EQ(stands.size(), 3U);
  const std::vector<std::pair<double, double>> written{
      {40.641311, -73.778139}, {a.spots[0].latitude, a.spots[0].longitude}, {-33.946111, 151.177222}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(stands[i].latitude, written[i].first, 1e-6) << stands[i].name;
    EXPECT_NEAR(stands[i].longitude, written[i].second, 1e-6) << stands[i].name;
  }
  EXPECT_EQ(stands[0].heading, 0.0);
  EXPECT_EQ(stands[1].heading, 6.283185307179586);
  EXPECT_NEAR(stands[2].heading, 271.5 * 0.017453292519943295, 1e-9);
}

TEST(BglDecoder, StandsSharingAnIdAreLetteredBySize) {
  struct Row {
    std::vector<std::pair<std::string, double>> in;  // name, radius metres
    std::string out;
  };
  const std::vector<Row> rows{
      {{{"A12", 20}, {"A12a", 40}, {"A12b", 30}}, "A12b A12 A12a"},
      {{{"B3", 25}, {"B3a", 25}}, "B3 B3a"},
      {{{"C1", 10}, {"D1", 5}, {"C1a", 50}, {"D1a", 9}}, "C1a D1a C1 D1"},
  };
  for (const Row& row : rows) {
    ApfAirport a;
    for (const auto& [name, radius] : row.in) {
      a.stands.emplace_back(name, std::vector<StandOption>{}, StandPosition{}, radius, false, false, false);
      a.stands.back().suffixedDuplicate = name.size() > 2 && name.back() == 'a';
    }
    lf_resolveDuplicateStands(a);
    std::string names;
    for (const Stand& s : a.stands) names += (names.empty() ? "" : " ") + s.name + (s.suffixedDuplicate ? "*" : "");
    EXPECT_EQ(names, row.out);
  }
}

// A 2020 and a 2024 file: two airports with helipads, 40 spots in all, filler.
std::string fuzzBase(bool compiled) {
  bglw::File file;
  std::vector<bglw::Record> records;
  for (const char* icao : {"EDDF", "LFPG"}) {
    std::vector<bglw::ParkingSpot> spots;
    for (std::uint32_t i = 1; i <= 20; ++i) spots.push_back(spot(10 + i % 3, i % 7, 10.0F + i, 1 + i % 11));
    bglw::Airport a = airport(icao, spots);
    a.helipads = {{50.0, 8.5, 20.0F}, {50.001, 8.5, 20.0F}};
    records.push_back(record(a));
  }
  if (compiled) {
    bglw::Airport c = airport("EGLL");
    c.compiled2024 = true;
    records.push_back(record(c));
  }
  file.sections = {filler(), airports(records), filler()};
  return bglw::gf_bglBytes(file);
}

// Fails a decode that does not come back within seconds.
class Watchdog {
 public:
  Watchdog()
      : m_thread([this] {
          std::unique_lock lock(m_mutex);
          std::uint64_t seen = ~0ULL;
          while (!m_done) {
            if (m_cv.wait_for(lock, std::chrono::seconds(20), [this] { return m_done; })) return;
            if (m_progress.load() == seen) {
              std::fprintf(stderr, "decode hung: %s\n", m_what.c_str());
              std::abort();
            }
            seen = m_progress.load();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(m_mutex);
      m_done = true;
    }
    m_cv.notify_all();
    m_thread.join();
  }
  void step(std::string what) {
    {
      std::lock_guard lock(m_mutex);
      m_what = std::move(what);
    }
    ++m_progress;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::atomic<std::uint64_t> m_progress{0};
  std::string m_what;
  bool m_done = false;
  std::thread m_thread;
};

void decodeBytes(const std::string& bytes, bool msfs2020) {
  Recorder recorder;
  const BglFileResult result = gf_decodeBglBytes(bytes, "fuzz.bgl", msfs2020, recorder);
  for (const ApfAirport& a : result.airports) ASSERT_LE(a.stands.size(), 42U);
  gf_bglBytesHaveAirports(bytes);
}

TEST(BglFuzz, TruncatedAndChangedFilesDecodeSafely) {
  const auto start = std::chrono::steady_clock::now();
  Watchdog watchdog;
  for (const bool compiled : {false, true}) {
    const std::string bytes = fuzzBase(compiled);
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
      watchdog.step(sk::format("truncated to {}", length));
      decodeBytes(bytes.substr(0, length), !compiled);
    }
  }
  constexpr std::uint32_t kSeed = 20261209;
  std::mt19937 random(kSeed);
  const std::string bases[2] = {fuzzBase(false), fuzzBase(true)};
  for (int copy = 0; copy < 20000; ++copy) {
    std::string bytes = bases[copy % 2];
    const int changes = std::uniform_int_distribution<int>(1, 16)(random);
    for (int i = 0; i < changes; ++i) {
      bytes[std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random)] =
          static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
    }
    watchdog.step(sk::format("seed {} copy {}", kSeed, copy));
    SCOPED_TRACE(sk::format("seed {} copy {}", kSeed, copy));
    decodeBytes(bytes, copy % 2 == 0);
  }
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // A figure, not a bound: a loaded machine may take minutes; the watchdog catches a hang.
  std::printf("fuzz decodes took %.1f s\n", seconds);
}

TEST(BglFuzz, HugeSectionCountsFailTheHeaderTest) {
  ScratchFolder scratch;
  for (const std::uint32_t count : {0xFFFFFFFFU, 0x0CCCCCCDU, 0U}) {
    bglw::File file = bglw::gf_file({airports({record(airport("EGLL"))})});
    file.sectionCount = count;
    const std::filesystem::path path = scratch.path() / "huge.bgl";
    ASSERT_TRUE(bglw::gf_writeBgl(file, path));
    EXPECT_FALSE(lf_bglHasAirports(path)) << count;
    file.sectionCount.reset();
    ASSERT_TRUE(bglw::gf_writeBgl(file, path));
    EXPECT_TRUE(lf_bglHasAirports(path));
  }
}

}  // namespace
