#include "airports/apf_loading.h"

#include <random>

#include "core/errors.h"
#include "core/paths.h"
#include "platform/window.h"
#include "tests/airports/park_apf_test_support.h"
#include "tests/platform/lone_control.h"
#include "traffic/readers.h"

namespace {

const std::string kLocal = "airports/my_thirdparty/EGLL.xml";
const std::filesystem::path kLearned = "airports/learned/thirdparty/Pub/EGLL.xml";

// A learned file carrying the given header lines (raw parameter elements).
std::string learnedFile(const std::string& parameters, const std::string& meta = "") {
  const std::string block = meta.empty() ? "<meta><info name=\"author\" value=\"Skylume\"/><info name=\"version\" "
                                           "value=\"1.2.3\"/><info name=\"date\" value=\"Jan  1, 2020\"/></meta>"
                                         : meta;
  return block + "<parameters><parameter name=\"airport_name\" value=\"Heathrow\"/>" + parameters +
         "</parameters><parkpositions/>";
}

}  // namespace

TEST(ApfLoading, SettingsFromTheLearnedFileStayInMemory) {
  WorkFolder folder;
  SettingsGuard settings;
  gf_setDataFolder(folder.path() / "data");
  folder.write("data/parameters.xml", "<parameters><parameter name=\"LATERAL_RANGE\" value=\"40\"/></parameters>\n");
  writeArchived(kLocal, bedAirport());

  // Without a learned file: 30 %, and the user cannot edit it.
  HWND editBox = gf_loneControl(TEXT("edit"));
  ASSERT_NE(editBox, nullptr);
  parking_percentage.controlWindow = editBox;
  parking_percentage.value = 77;
  EXPECT_EQ(loadPark(kLocal), "");
  EXPECT_EQ(parking_percentage.value, 30);
  EXPECT_FALSE(IsWindowEnabled(editBox));
  parking_percentage.controlWindow = nullptr;
  DestroyWindow(editBox);
  EXPECT_EQ(gQualityFactor.real, -1) << "the header has none";
  EXPECT_EQ(gQualityFactor.soft, -1);
  EXPECT_EQ(gStands[0].options.size(), 1u);
  EXPECT_EQ(gStands.size(), 2u);
  EXPECT_EQ(gStands[1].index, 2u);
  EXPECT_EQ(gTrafficReader.parkElevation(), std::optional<double>(83.0));
  EXPECT_EQ(gLearnedFile.learnedPath, kLearned);

  // With one, written by another version on another day.
  folder.write(kLearned.string(), learnedFile("<parameter name=\"parking_percentage\" value=\"150\"/>"
                                              "<parameter name=\"LATERAL_RANGE\" value=\"200\"/>"
                                              "<parameter name=\"MAX_FIT\" value=\"5\"/>"));
  MAX_LIVE.value = 12;
  EXPECT_EQ(loadPark(kLocal), "");
  EXPECT_EQ(MAX_LIVE.value, -1);
  EXPECT_EQ(parking_percentage.value, 150);
  EXPECT_EQ(LATERAL_RANGE.value, LATERAL_RANGE.maxValue);
  EXPECT_EQ(gLateralRangeNm.load(), 200.0);
  EXPECT_EQ(MAX_FIT.value, 5);
  EXPECT_FLOAT_EQ(MAX_FIT_FL.value, 3.0F);
  EXPECT_FALSE(gLearnedFile.notFullyRead) << "another version and date load";
  // Two stands of equal weight, one with one option in one slot: 63 / 2.
  EXPECT_EQ(gQualityFactor.real, 32) << "computed from the stands once a learned file was read";
  EXPECT_EQ(readBytes(folder.path() / "data/parameters.xml"),
            "<parameters><parameter name=\"LATERAL_RANGE\" value=\"40\"/></parameters>\n");
  gf_setDataFolder({});
}

TEST(ApfLoading, FailuresOfTheArchivedFile) {
  WorkFolder folder;
  ApfAirport airport = bedAirport();
  struct Case {
    std::string content;  // "/": a folder in the file's place
    std::string result;
    std::uintmax_t size = 0;  // grown to this size when not 0
  };
  const Case cases[] = {
      {"<parameters>", kLocal + " could not be loaded: "},
      {"<parameters/>", kLocal + " but refused to load, copyright problem"},
      {"/", kLocal + " could not be loaded: is a folder, not a file"},
      {"<parameters/>", kLocal + " could not be loaded: is larger than 16777216 bytes", 20U << 20},
  };
  for (const Case& item : cases) {
    std::filesystem::remove_all(kLocal);
    if (item.content == "/") {
      std::filesystem::create_directories(kLocal + "/inside");
    } else {
      folder.write(kLocal, item.content);
    }
    if (item.size) std::filesystem::resize_file(kLocal, item.size);
    EXPECT_TRUE(loadPark(kLocal).starts_with(item.result)) << item.result;
  }
  std::filesystem::remove_all(kLocal);
  gParkAirportCode.clear();
  EXPECT_EQ(gf_readApf(kLocal, gParkApfInfo, gQualityFactor), "gf_readApf, no park airport set");

  // Without "altitude": 65 after RT_traffic_week and the publisher were applied.
  ASSERT_TRUE(gf_writeApf(airport, kLocal, APF_LEARNED));
  pugi::xml_document document;
  document.load_file(kLocal.c_str());
  pugi::xml_node parameters = document.child("parameters");
  parameters.remove_child(parameters.find_child_by_attribute("parameter", "name", "altitude"));
  pugi::xml_node week = parameters.append_child("parameter");
  week.append_attribute("name") = "RT_traffic_week";
  week.append_attribute("value") = "7";
  document.save_file(kLocal.c_str());
  try {
    loadPark(kLocal);
    ADD_FAILURE() << "altitude is required";
  } catch (const qlx::UserErrorException& error) {
    EXPECT_STREQ(error.what(), "65: Parameter altitude not found");
  }
  EXPECT_EQ(gRtTrafficWeek, 7);
  EXPECT_EQ(gParkApfInfo.publisher, "Pub");
}

TEST(ApfLoading, QualityFactorAndAdjacency) {
  clearParkAirport();
  gStands.push_back(bedStand("A1", 50.0, 8.0));
  EXPECT_EQ(lf_QualityFactor().real, -1);
  EXPECT_EQ(lf_slotText(lf_QualityFactor()), "  ");
  gStands[0].options.push_back(bedOption("", 1, {10}));
  EXPECT_EQ(lf_QualityFactor().real, 63);
  EXPECT_EQ(lf_QualityFactor().soft, 0);

  // 0.02 nm apart along a meridian.
  for (const auto& [radiusNm, adjacent] : {std::pair{0.01, false}, std::pair{0.012, true}}) {
    gStands.clear();
    gStands.push_back(bedStand("A", 50.0, 8.0, radiusNm * 1852.0));
    gStands.push_back(bedStand("B", 50.0 + 0.02 / 60.0, 8.0, radiusNm * 1852.0));
    gStands[0].index = 1;
    gStands[1].index = 2;
    lf_findAdjacentStands();
    EXPECT_EQ(gStands[0].adjacent, adjacent ? std::vector<std::uint32_t>{2} : std::vector<std::uint32_t>{});
    EXPECT_EQ(gStands[1].adjacent, adjacent ? std::vector<std::uint32_t>{1} : std::vector<std::uint32_t>{});
  }

  std::mt19937 random(7);
  std::uniform_real_distribution<double> offset(-0.01, 0.01);
  std::uniform_real_distribution<double> radius(10.0, 60.0);
  gStands.clear();
  for (std::uint32_t i = 0; i < 600; ++i) {
    gStands.push_back(bedStand(std::to_string(i), 50.0 + offset(random), 8.0 + offset(random), radius(random)));
    gStands.back().index = i + 1;
  }
  std::vector<Stand> pairs = gStands;
  lf_findAdjacentStandsByPairs(pairs);
  lf_findAdjacentStands();
  std::size_t links = 0;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    EXPECT_EQ(gStands[i].adjacent, pairs[i].adjacent) << i;
    links += pairs[i].adjacent.size();
  }
  EXPECT_GT(links, 600u) << "the set must hold adjacent stands to compare";
  gStands.clear();
}
