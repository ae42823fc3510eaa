#include "liveries/livery_processing.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/format.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "liveries/dbase.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_tables.h"
#include "liveries/livery_window.h"
#include "liveries/matching_summary.h"
#include "liveries/similar_models.h"
#include "liveries/uncreatable_titles.h"
#include "liveries_doubles.h"
#include "liveries_test_support.h"

namespace {

// The window effects, recorded.
struct WindowCalls {
  std::vector<std::int64_t> counts;
  std::vector<std::pair<int, bool>> checkboxes;
  int redraws = 0;
};

class LiveryProcessingTest : public testing::Test {
 protected:
  void SetUp() override {
    gf_setLiveryWindow({[this](std::int64_t count) { window.counts.push_back(count); },
                        [this] { ++window.redraws; },
                        [this](int category, bool enabled) { window.checkboxes.emplace_back(category, enabled); }});
    gLargeModels = {"B738", "A321", "A320"};
    gBuzjetModels = {"C25C"};
    gHeavyModels = {"B763"};
    gSimilarTypes = {{"A320", "A321"}};
    for (auto* setting : {&LIGHT_AIRCRAFT, &HIGH_PERF_AIRCRAFT, &HELICOPTERS}) setting->value = true;
  }
  void TearDown() override {
    gf_requestLiveryClearing();
    gf_serveLiveryClearing();
    gf_setLiveryWindow({});
    gf_clearDataBase();
    gUncreatableTitles.clear();
    doubles::setCreationFailures({});
    for (auto& counter : gMatchesPerStep) counter = 0;
  }

  void writeLiveries(const std::vector<LiveryData>& liveries) {
    gScannedLiveries.assign(liveries.begin(), liveries.end());
    lf_saveLiveriesScanned();
    gScannedLiveries.clear();
  }

  std::vector<std::string> linesFrom(const std::string& first) {
    const auto all = log.lines();
    const auto start = std::find(all.begin(), all.end(), first);
    return {start, all.end()};
  }

  LogCapture log;
  ProgramFolder program;
  WindowCalls window;
};

const std::vector<LiveryData> kLiveries{
    {"AAL", "B738", "AAL 1", "", 0, false}, {"AAL", "B738", "AAL 2", "", 0, false},
    {"AAL", "A321", "AAL 3", "", 0, false}, {"ZZZ", "C172", "Generic C172", "", 0, false},
    {"FDX", "B763", "FDX cargo", "", 0, true}};

TEST_F(LiveryProcessingTest, OncePerProcessBuildsTablesAndSummaries) {
  writeLiveries(kLiveries);
  gf_processScannedLiveries();
  EXPECT_EQ(gLiveriesByAirline.size(), 3u);
  EXPECT_EQ(gLiveriesByAirline.at("AAL").size(), 2u);
  EXPECT_EQ(gLiveriesByModel[kPax].at("B738").size(), 2u);
  EXPECT_EQ(gLiveriesByModel[kCargo].at("B763"), TitleViews{"FDX cargo"});
  EXPECT_EQ(gf_findStoredTitle("AAL 3"), "AAL 3");
  EXPECT_TRUE(gf_findStoredTitle("nope").empty());
  EXPECT_TRUE(gf_isKnownModel("A321"));
  EXPECT_EQ(gSimilarModels.at("A320"), std::vector<std::string>{"A321"});
  EXPECT_EQ(gCategoryModels[0], std::vector<std::string>{"C172"});
  EXPECT_TRUE(gScannedLiveries.empty());
  EXPECT_EQ(window.counts, std::vector<std::int64_t>{5});

  const std::string read = "5 liveries read from " + gf_pathToUtf8(LiveriesScannedPath);
  EXPECT_EQ(linesFrom(read),
            (std::vector<std::string>{
                read,
                "===> no download of AIG-regcodes.zip installed?",
                "===> reading AIG-regcodes failed?",
                "0 registration codes",
                "3 airlines, 3 pax aircraft models and 1 cargo aircraft models",
                "1 similar model definitions",
                "1 model have a generic livery",
                "  C172",
                "Category Light: 1 pax liverie",
                "  C172",
                "Category Buzjets: No livery found",
                "Category Large: 3 pax liveries",
                "  A321,B738",
                "Category Heavy: 0 pax liveries and 1 cargo liverie",
                "  B763",
                "Category HighPerf: No livery found",
                "HIGH_PERF_AIRCRAFT=false",
                "HIGH_PERF_AIRCRAFT temporary switched off because you do not have High Perf aircraft installed",
                "Category Rotorcraft: No livery found",
                "HELICOPTERS=false",
                "HELICOPTERS temporary switched off because you do not have Helicopters installed",
            }));
  EXPECT_FALSE(HELICOPTERS.value);
  EXPECT_TRUE(LIGHT_AIRCRAFT.value);
  EXPECT_EQ(window.checkboxes, (std::vector<std::pair<int, bool>>{{0, true}, {4, false}, {5, false}}));

  gScannedLiveries.assign(kLiveries.begin(), kLiveries.end());
  gf_processScannedLiveries();
  EXPECT_EQ(log.lines().back(), "Processing scanned liveries skipped; already done in previous start-up");
  EXPECT_TRUE(gScannedLiveries.empty());
}

TEST_F(LiveryProcessingTest, SummariesCountAndWrapModels) {
  std::vector<LiveryData> light;
  for (int i = 0; i < 45; ++i) light.push_back({"PVT", sk::format("L{:03}", i), sk::format("T{}", i), "", 0, false});
  light.push_back({"DLH", "A320", "D1", "", 0, false});
  light.push_back({"DLHX", "A320", "D2", "", 0, false});
  writeLiveries(light);
  gf_processScannedLiveries();
  const auto lines = linesFrom("Category Light: 45 pax liveries");
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1].size(), 2 + 20 * 5 - 1);
  EXPECT_TRUE(lines[1].starts_with("  L000,L001,"));
  EXPECT_EQ(lines[3], "  L040,L041,L042,L043,L044");
  const auto codes = gf_getAirlineCodes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), "DLH"), 2);
}

TEST_F(LiveryProcessingTest, ClearingWaitsForTheNextStartUp) {
  writeLiveries(kLiveries);
  gf_processScannedLiveries();
  const std::string_view view = gf_findStoredTitle("AAL 1");
  std::atomic<bool> requested{false};
  std::thread reader([&] {
    // Reads the view until the request is made and a little after.
    while (!requested) EXPECT_EQ(view, "AAL 1");
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(view, "AAL 1");
  });
  gf_requestLiveryClearing();
  requested = true;
  reader.join();
  EXPECT_TRUE(gf_isKnownModel("A321"));
  gUncreatableTitles.emplace("AAL 1");

  gf_serveLiveryClearing();
  EXPECT_FALSE(gf_isKnownModel("A321"));
  EXPECT_TRUE(gCategoryModels[0].empty());
  writeLiveries({{"KLM", "A320", "K", "", 0, false}});
  gf_processScannedLiveries();
  EXPECT_FALSE(gf_isKnownModel("A321"));
  EXPECT_FALSE(gSimilarModels.contains("A320"));
  EXPECT_TRUE(gf_isUncreatableTitle("AAL 1"));

  // Asked for during the processing: served by the next start-up.
  gf_setLiveryWindow({[](std::int64_t) { gf_requestLiveryClearing(); }, {}, {}});
  gf_requestLiveryClearing();
  gf_serveLiveryClearing();
  gf_processScannedLiveries();
  EXPECT_TRUE(gLiveriesProcessed);
  gf_serveLiveryClearing();
  EXPECT_FALSE(gLiveriesProcessed);
  EXPECT_FALSE(gf_isKnownModel("A320"));
}

TEST_F(LiveryProcessingTest, MatchingSummaryBlock) {
  const std::string head = std::string(31, '*') + " live traffic livery matching summary " + std::string(31, '*');
  const std::vector<std::string> steps{"Matches at step: ", "  1: 0", "  2: 0", "  3: 0", "  4: 0", "  5: 0", "  6: 0"};
  gf_logLiveryMatchingSummary();
  std::vector<std::string> expected{"", head};
  expected.insert(expected.end(), steps.begin(), steps.end());
  expected.push_back(std::string(100, '*'));
  expected.push_back("");
  EXPECT_EQ(log.lines(), expected);

  doubles::setCreationFailures({"Title A", "Title B"});
  gMatchesPerStep[1] += 3;
  gf_logLiveryMatchingSummary();
  const auto lines = linesFrom("  2: 3");
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 10),
            (std::vector<std::string>{"  2: 3", "  3: 0", "  4: 0", "  5: 0", "  6: 0", "",
                                      "Could not be created by MSFS:", "Title A", "Title B", std::string(100, '*')}));
}

}  // namespace
