#include "airports/apf_file.h"

#include <sstream>
#include <thread>

#include "airports/apf_loading.h"
#include "core/errors.h"
#include "core/file_save.h"
#include "core/geometry.h"
#include "core/parameters.h"
#include "tests/airports/airports_test_support.h"

namespace {

StandOption option(std::string airline, std::string type, std::string registration, std::string first,
                   std::string second, std::initializer_list<int> slots, std::uint32_t id, std::uint32_t kind) {
  StandOption result;
  result.operatorCode = std::move(airline);
  result.type = std::move(type);
  result.registration = std::move(registration);
  result.firstCallsign = std::move(first);
  result.secondCallsign = std::move(second);
  for (int slot : slots) result.slots.set(slot);
  result.id = id;
  result.day = 3;
  result.kind = kind;
  return result;
}

Stand stand(std::string name, double radiusMetres, bool cargo, bool heli, std::vector<StandOption> options = {}) {
  return Stand(std::move(name), std::move(options), {51.5, -0.45, PI / 2}, radiusMetres, cargo, true, heli);
}

ApfAirport airport() {
  ApfAirport result;
  result.icao = "EGLL";
  result.airport_name = "Heathrow";
  result.BGLpath = "C:\\scenery\\egll.bgl";
  result.publisher = "unknown";
  result.manufacturer = "Maker";
  result.creator = "Creator";
  result.Qf_real = 63;
  result.Qf_soft = 0;
  result.altitude = 83;
  result.stands.push_back(stand("A1", 25.0, true, false,
                                {option("BAW", "A320", "", "X", "Y", {3, 4, 47}, 1, OPTION_REAL),
                                 option("DLH", "A321", "", "", "", {}, 0, OPTION_REAL),
                                 option("", "", "", "Z", "", {10}, 2, OPTION_SOFT),
                                 option("BAW", "A320", "G-OPRX", "SHT7", "", {1}, 3, OPTION_REAL)}));
  result.stands.push_back(stand("H1", 30.0, false, true));
  Stand changed = stand("B2", 40.0, false, false);
  changed.radiusChanged = true;
  changed.cargoChanged = true;
  result.stands.push_back(std::move(changed));
  Stand manual = stand("M1", 20.0, false, false, {option("KLM", "B738", "", "KLM1", "", {0}, 1, OPTION_REAL)});
  manual.manual = true;
  result.stands.push_back(std::move(manual));
  return result;
}

// The written document without its meta block (which carries the date).
std::string withoutMeta(const std::filesystem::path& path) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_file(path.c_str()));
  EXPECT_TRUE(document.child("meta"));
  document.remove_child("meta");
  std::ostringstream text;
  document.save(text);
  return text.str();
}

std::vector<std::string> headerKeys(const std::filesystem::path& path) {
  pugi::xml_document document;
  document.load_file(path.c_str());
  std::vector<std::string> keys;
  for (pugi::xml_node node : document.child("parameters").children("parameter")) keys.push_back(node.attribute("name").value());
  return keys;
}

const std::filesystem::path kData = std::filesystem::path(SKLM_TEST_DATA_DIR) / "airports";

}  // namespace

TEST(ApfFile, WritesGoldenFilesInBothModes) {
  WorkFolder folder;
  seedDataBase();
  gHandmadeAirport = false;
  MAX_LIVE.value = 0;
  for (auto [mode, golden] : {std::pair{APF_GENERATED, "apf_generated.xml"}, std::pair{APF_LEARNED, "apf_learned.xml"}}) {
    ASSERT_TRUE(gf_writeApf(airport(), folder.path() / golden, mode));
    EXPECT_EQ(withoutMeta(folder.path() / golden), readBytes(kData / golden)) << golden;
  }
  MAX_LIVE.value = MAX_LIVE.defaultValue;
}

TEST(ApfFile, HeaderKeysFollowModeHandmadeAndPublisher) {
  struct Case {
    int mode;
    bool handmade;
    std::string publisher;
    int maxLive;
    std::vector<std::string> keys;
  };
  const std::vector<std::string> settings = {"LATERAL_RANGE", "AUTO_RANGE", "WEEK", "PARK_FAKE", "PARK_SOFT",
                                             "parking_percentage", "INITIAL_LOAD_ONLY", "MAX_FIT"};
  auto learned = [&](std::vector<std::string> keys, bool maxLive) {
    keys.insert(keys.end(), settings.begin(), settings.end());
    if (maxLive) keys.push_back("MAX_LIVE");
    keys.push_back("LEARN_SOFT");
    return keys;
  };
  const Case cases[] = {
      {APF_GENERATED, false, "unknown", -1,
       {"airport_name", "publisher", "altitude", "num_parkpos", "BGLpath", "manufacturer", "creator"}},
      {APF_GENERATED, false, "Pub", -1, {"airport_name", "publisher", "altitude", "num_parkpos"}},
      {APF_LEARNED, true, "unknown", -1,
       learned({"airport_name", "publisher", "handmade", "altitude", "num_parkpos", "Qf_real", "Qf_soft", "BGLpath",
                "manufacturer", "creator"},
               false)},
      {APF_LEARNED, false, "Pub", 0, learned({"airport_name", "publisher", "num_parkpos"}, true)},
  };
  WorkFolder folder;
  for (const Case& item : cases) {
    gHandmadeAirport = item.handmade;
    MAX_LIVE.value = item.maxLive;
    ApfAirport written = airport();
    written.publisher = item.publisher;
    ASSERT_TRUE(gf_writeApf(written, folder.path() / "h.xml", item.mode));
    EXPECT_EQ(headerKeys(folder.path() / "h.xml"), item.keys) << item.mode << item.publisher;
  }
  gHandmadeAirport = false;
  MAX_LIVE.value = MAX_LIVE.defaultValue;
}

TEST(ApfFile, ReadsStandsAndOptions) {
  WorkFolder folder;
  seedDataBase();
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(
      "<meta/><parkpositions>"
      "<parkpos id=\"A1\" latitude=\"51.5\" longitude=\"-0.45\" heading=\"90.0\" radius=\"25.0\" cargo=\"yes\" ramp=\"1\">"
      "<opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"3\" hh=\"3,4,47\" cs=\"X:Y:Z\"/>"
      "<opt reg=\"G-NONE\" soft=\"true\" day=\"2\" hh=\"1\" cs=\"TOW 1\"/>"
      "<opt reg=\"G-NONE\" soft=\"true\" day=\"2\" hh=\"1\" cs=\"A:B\"/>"
      "<opt reg=\"GOPRX\" airl=\"XXX\" type=\"YYYY\" day=\"2\" hh=\"1\"/>"
      "</parkpos>"
      "<parkpos id=\"H1\" heli=\"true\"/>"
      "<parkpos id=\"A1\"/><parkpos id=\"C1\"/>"
      "</parkpositions>"));
  std::vector<Stand> stands;
  try {
    gf_readParkPositions(document, stands);
    ADD_FAILURE() << "a repeated id must stop the read";
  } catch (const qlx::UserErrorException& error) {
    EXPECT_STREQ(error.what(), "94: Parking position A1 appears more than once?");
  }
  ASSERT_EQ(stands.size(), 2u);
  const Stand& a1 = stands[0];
  EXPECT_NEAR(a1.radius * 1852.0, 25.0, 1e-9);
  EXPECT_NEAR(a1.heading * RAD_TO_DEG, 90.0, 1e-9);
  EXPECT_TRUE(a1.cargo && a1.ramp && !a1.heli);
  ASSERT_EQ(a1.options.size(), 3u) << "the tow is skipped";
  EXPECT_EQ(a1.options[2].operatorCode, "SHT") << "the data base's operator beats its airline";
  EXPECT_EQ(a1.options[2].type, "A320");
  EXPECT_EQ(a1.options[0].firstCallsign, "X");
  EXPECT_EQ(a1.options[0].secondCallsign, "");
  EXPECT_EQ(a1.options[0].operatorCode, "BAW");
  EXPECT_EQ(a1.options[0].slots.to_ullong(), (1ull << 3) | (1ull << 4) | (1ull << 47));
  EXPECT_EQ(a1.options[0].archived, 1u);
  EXPECT_EQ(a1.options[1].id, 2u) << "the tow takes no id";
  EXPECT_EQ(a1.options[1].kind, static_cast<std::uint32_t>(OPTION_SOFT));
  EXPECT_EQ(a1.options[1].operatorCode, "") << "no airl and an unknown registration";
  EXPECT_EQ(a1.options[1].secondCallsign, "B");
  EXPECT_TRUE(stands[1].heli);
}

// A save made to fail leaves the old file as it was.
TEST(ApfFile, FailedSaveKeepsOldFile) {
  WorkFolder folder;
  const std::filesystem::path target = folder.path() / "EGLL.xml";
  ASSERT_TRUE(gf_writeApf(airport(), target, APF_GENERATED));
  const std::string before = readBytes(target);
  ApfAirport other = airport();
  other.stands.clear();
  std::filesystem::create_directories(gf_nextReplaceTemporary(target) / "obstacle");
  EXPECT_FALSE(gf_writeApf(other, target, APF_GENERATED));
  EXPECT_EQ(readBytes(target), before);

  folder.write("plainfile", "x");
  EXPECT_FALSE(gf_writeApf(other, folder.path() / "plainfile" / "EGLL.xml", APF_GENERATED));
  EXPECT_EQ(readBytes(folder.path() / "plainfile"), "x");
}

TEST(ApfFile, TwoWritersLeaveOneCompleteFile) {
  WorkFolder folder;
  const std::filesystem::path target = folder.path() / "EGLL.xml";
  auto writer = [&](std::size_t stands) {
    ApfAirport written = airport();
    written.stands.resize(stands, written.stands.front());
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(gf_writeApf(written, target, APF_GENERATED));
  };
  std::thread first(writer, 1);
  std::thread second(writer, 3);
  first.join();
  second.join();
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(target.c_str()));
  const auto count = std::distance(document.child("parkpositions").children("parkpos").begin(),
                                   document.child("parkpositions").children("parkpos").end());
  EXPECT_TRUE(count == 1 || count == 3);
  EXPECT_EQ(count, document.select_node("/parameters/parameter[@name='num_parkpos']").node().attribute("value").as_int());
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1) << "no temporary is left";
}

TEST(ApfFile, SmallTexts) {
  EXPECT_EQ(lf_slotText({-1, -1}), "  ");
  EXPECT_EQ(lf_slotText({5, 7}), " 5/ 7");
  EXPECT_EQ(lf_slotText({63, 2}), "63");
  EXPECT_EQ(gf_xmlFileName("EGLL"), std::filesystem::path("EGLL.xml"));
  EXPECT_EQ(gf_txtFileName("EGLL"), "EGLL.txt");
}
