#include "liveries/matching_ladder.h"

#include <gtest/gtest.h>

#include "core/parameters.h"
#include "core/paths.h"
#include "liveries/dbase.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_processing.h"
#include "liveries/uncreatable_titles.h"
#include "liveries_test_support.h"

namespace {

class LadderTest : public testing::Test {
 protected:
  void SetUp() override {
    RANDOM.value = false;
    LOG.value = false;
    gLargeModels = {"A319", "A320", "A20N", "B738"};
    gHeavyModels = {"B744", "B763"};
    gSimilarTypes = {{"A19N", "A319", "A320"}, {"A20N", "A319", "A320"}, {"B38M", "B738"}};
    gDbaseRegistrations = {{"G-GDFA", {"BAW", "B738", "BAW", false}}, {"G-DBAS", {"BAW", "B738", "BAW", false}}};
    gScannedLiveries = {
        {"BAW", "B738", "AIG BAW B738 G-GDFA", "G-GDFA", 0, false},
        {"BAW", "B738", "AIG BAW B738 Special", "", 0, false},
        {"BAW", "B738", "FSLTL_BAW_B738", "", 0, false},
        {"KLM", "B738", "AIG KLM B738", "", 0, false},
        {"KLM", "B738", "fsltl_klm_b738 lower", "PH-ABC", 0, false},
        {"FDX", "B763", "AIG FDX B763 Cargo", "", 0, true},
        {"DLH", "A320", "AIG DLH A320", "", 0, false},
        {"EZY", "A320", "AIG EZY A320 Special", "", 0, false},
        {"ZZZ", "C172", "ZZZ C172 generic", "", 0, false},
        {"ZZZ", "A320", "ZZZ A320 generic", "", 0, false},
        {"FDX", "C208", "FDX C208 cargo", "", 0, true},
        {"PVT", "C208", "PVT C208 pax", "", 0, false},
    };
    lf_saveLiveriesScanned();
    std::filesystem::create_directories(MyRegcodesFolder);
    writeBytes(MyRegcodesFolder / "special.TXT",
               "AIG BAW B738 Special;G-XMAS\r\nAIG EZY A320 Special;G-EZYA\r\nFSLTL_BAW_B738;G-FSLT,G-FSLU\r\n");
    gf_processScannedLiveries();
  }
  void TearDown() override {
    RANDOM.value = RANDOM.defaultValue;
    LOG.value = LOG.defaultValue;
    MATCHING_DEPTH.value = MATCHING_DEPTH.defaultValue;
    gf_requestLiveryClearing();
    gf_serveLiveryClearing();
    gf_clearDataBase();
    gUncreatableTitles.clear();
    for (auto& counter : gMatchesPerStep) counter = 0;
  }

  static ActBase aircraft(const std::string& airline, const std::string& type, const std::string& reg,
                          AircraftCategory category, bool cargo) {
    ActBase act;
    act.key.operatorCode = airline;
    act.key.type = type;
    act.key.registration = reg;
    act.category = category;
    act.cargo = cargo ? 1 : 0;
    return act;
  }

  LogCapture log;
  ProgramFolder program;
};

std::array<std::uint32_t, 6> counters() {
  std::array<std::uint32_t, 6> values{};
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = gMatchesPerStep[i];
  return values;
}

TEST_F(LadderTest, EachAircraftGetsTheBestInstalledLivery) {
  struct Row {
    bool live;
    std::string airline, type, reg;
    AircraftCategory category;
    bool cargo;  // the aircraft's (live) or the stand's (static)
    int depth;
    std::string title;
    int step;
  };
  const Row rows[] = {
      {true, "BAW", "B738", "GGDFA", 2, false, 4, "AIG BAW B738 G-GDFA", 1},
      {true, "PVT", "C172", "", 0, false, 2, "ZZZ C172 generic", 4},
      {true, "XXX", "B738", "G-DBAS", 2, false, 2, "AIG BAW B738 G-GDFA", 2},
      {true, "DLH", "A20N", "", 2, false, 3, "AIG DLH A320", 3},
      // Step 3 again with the data base's airline of the registration, its own similar types.
      {true, "XXX", "B38M", "G-DBAS", 2, false, 3, "AIG BAW B738 G-GDFA", 3},
      {true, "KLM", "B738", "", 2, true, 2, "AIG KLM B738", 2},
      {true, "ABC", "C208", "", 0, true, 3, "FDX C208 cargo", 5},
      {true, "ABC", "C208", "", 0, false, 3, "PVT C208 pax", 5},
      {true, "ABC", "A19N", "", 0, false, 3, "ZZZ A320 generic", 6},
      {true, "EZY", "A320", "", 2, false, 2, "", 0},
      {true, "EZY", "A320", "", 2, false, 4, "ZZZ A320 generic", 4},
      {true, "EZY", "A320", "G-EZYA", 2, false, 1, "AIG EZY A320 Special", 1},
      {true, "DLH", "A20N", "", 2, false, 1, "", 0},
      {true, "DLH", "A20N", "", 2, false, 2, "", 0},
      {true, "XYZ", "C172", "", 0, false, 2, "", 0},
      {true, "XYZ", "C172", "", 0, false, 3, "ZZZ C172 generic", 4},
      {true, "XYZ", "B744", "", 3, false, 4, "", 0},
      {true, "", "B738", "G-DBAS", 2, false, 4, "", 0},
      {false, "", "B738", "G-DBAS", 2, false, 4, "AIG BAW B738 G-GDFA", 2},
      {false, "FDX", "B763", "", 3, true, 4, "AIG FDX B763 Cargo", 2},
      {false, "FDX", "B763", "", 3, false, 4, "", 0},
  };
  for (const Row& row : rows) {
    MATCHING_DEPTH.value = row.depth;
    ActBase act = aircraft(row.airline, row.type, row.reg, row.category, row.live && row.cargo);
    const auto before = counters();
    if (row.live) {
      gf_matchLiveryLive(act);
    } else {
      EXPECT_EQ(gf_matchLiveryStatic(act, "A12", row.cargo), !row.title.empty());
      EXPECT_EQ(act.cargo, row.cargo ? 1 : 0);
    }
    const std::string context = sk::format("{} {} {} depth {}", row.airline, row.type, row.reg, row.depth);
    EXPECT_EQ(act.liveryTitle, row.title) << context;
    auto expected = before;
    if (row.live && row.step > 0) ++expected[static_cast<std::size_t>(row.step - 1)];
    EXPECT_EQ(counters(), expected) << context;
  }
}

TEST_F(LadderTest, RefusedTitlesFlagsAndLogLines) {
  MATCHING_DEPTH.value = 4;
  gUncreatableTitles.emplace("AIG BAW B738 G-GDFA");
  ActBase act = aircraft("BAW", "B738", "G-GDFA", 2, false);
  gf_matchLiveryLive(act);
  EXPECT_TRUE(act.liveryTitle.empty());
  EXPECT_EQ(counters(), (std::array<std::uint32_t, 6>{}));

  ActBase upper = aircraft("BAW", "B738", "G-FSLT", 2, false);
  gf_matchLiveryLive(upper);
  EXPECT_EQ(upper.fsltlLivery, 1);
  ActBase lower = aircraft("KLM", "B738", "PH-ABC", 2, false);
  lower.fsltlLivery = 1;
  gf_matchLiveryLive(lower);
  EXPECT_EQ(lower.liveryTitle, "fsltl_klm_b738 lower");
  EXPECT_EQ(lower.fsltlLivery, 0);

  LOG.value = true;
  ActBase logged = aircraft("KLM", "B738", "", 2, false);
  logged.key.callsign = "KLM12";
  gf_matchLiveryLive(logged);
  EXPECT_EQ(log.lines().back(), "          " + gf_aircraftDescription(logged) + " =2= AIG KLM B738");
  ActBase missed = aircraft("XYZ", "B744", "", 3, false);
  missed.key.callsign = "XYZ1";
  EXPECT_FALSE(gf_matchLiveryStatic(missed, "A12", false));
  EXPECT_EQ(log.lines().back(), sk::format("{:8}: {} no livery match ...", "A12", gf_aircraftNames(missed)));
}

TEST_F(LadderTest, RandomPickNeverTakesASpecialTitle) {
  RANDOM.value = true;
  gSpecialLiveryIndex = {"S", "S1", "S2"};
  const TitleViews candidates{"S", "A", "B"};
  std::set<std::string_view> picked;
  for (int i = 0; i < 1000; ++i) {
    ActBase act;
    lf_pickLivery(act, candidates);
    picked.insert(act.liveryTitle);
  }
  EXPECT_EQ(picked, (std::set<std::string_view>{"A", "B"}));
  ActBase act;
  lf_pickLivery(act, {"S1", "S2"});
  EXPECT_TRUE(act.liveryTitle.empty());
}

}  // namespace
