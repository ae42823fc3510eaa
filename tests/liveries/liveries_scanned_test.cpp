#include "liveries/liveries_scanned.h"

#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/file_save.h"
#include "core/paths.h"
#include "core/util.h"
#include "liveries_test_support.h"

namespace {

class LiveriesScannedTest : public testing::Test {
 protected:
  void TearDown() override { gScannedLiveries.clear(); }
  LogCapture log;
  ProgramFolder program;
};

std::vector<std::string> livLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  for (const auto& line : fileLines(file)) {
    if (line.find("<liv ") != std::string::npos) lines.push_back(gf_trim(line));
  }
  return lines;
}

TEST_F(LiveriesScannedTest, WrittenAttributesReadBackSorted) {
  const LiveryData pax{"BAW", "B738", "A \"q\" & <b>", "G-GDFA", 3, false};
  const LiveryData cargo{"FDX", "B763", "F", "", 1, true};
  gScannedLiveries = {pax, cargo};
  lf_saveLiveriesScanned();
  EXPECT_EQ(livLines(LiveriesScannedPath),
            (std::vector<std::string>{R"(<liv airl="BAW" type="B738" title="A &quot;q&quot; &amp; &lt;b>" atcid="G-GDFA" />)",
                                      R"(<liv airl="FDX" type="B763" cargo="true" title="F" />)"}));
  EXPECT_EQ(log.lines().back(), "2 liveries in " + gf_pathToUtf8(LiveriesScannedPath));

  gScannedLiveries = {cargo, {"BAW", "B738", "B", "", 0, false}, pax, {"BAW", "A320", "Z", "", 0, false}};
  lf_saveLiveriesScanned();
  lf_readLiveriesScanned();
  const std::vector<LiveryData> read(gScannedLiveries.begin(), gScannedLiveries.end());
  const std::vector<std::string> titles{"Z", "A \"q\" & <b>", "B", "F"};
  ASSERT_EQ(read.size(), titles.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].title, titles[i]);
    EXPECT_EQ(read[i].priority, 0);
  }
  EXPECT_TRUE(lf_liveryEquals(read[1], pax));
  EXPECT_TRUE(lf_liveryEquals(read[3], cargo));
}

TEST_F(LiveriesScannedTest, EmptyListOrFailedSaveKeepsTheOldFile) {
  gScannedLiveries = {{"BAW", "B738", "T", "", 0, false}};
  lf_saveLiveriesScanned();
  const std::string old = readBytes(LiveriesScannedPath);
  gScannedLiveries.clear();
  lf_saveLiveriesScanned();
  EXPECT_EQ(readBytes(LiveriesScannedPath), old);

  gScannedLiveries = {{"KLM", "B738", "U", "", 0, false}};
  std::filesystem::create_directories(gf_nextReplaceTemporary(LiveriesScannedPath));
  lf_saveLiveriesScanned();
  EXPECT_EQ(readBytes(LiveriesScannedPath), old);
  const auto lines = log.lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "could not save to \"" + gf_pathToUtf8(LiveriesScannedPath) + "\""),
            lines.end());
}

TEST_F(LiveriesScannedTest, BadFilesGiveTheirErrors) {
  const std::string meta = "<meta><info name=\"author\" value=\"Skylume\"/></meta>\n";
  const std::string good = meta + "<liveries><liv airl=\"BAW\" type=\"B738\" title=\"T\"/></liveries>";
  struct Row {
    std::string text;  // empty: no file at all
    std::string error;
  };
  const std::string p = gf_pathToUtf8(LiveriesScannedPath);
  const Row rows[] = {
      {"", "51: File " + p + " not found"},
      {good.substr(0, good.size() - 8), "51: File " + p + " not found"},
      {meta, "52: " + p + " does not contain a <liveries> section"},
      {meta + "<liveries/>", "533: " + p + " does not contain liveries"},
  };
  for (const Row& row : rows) {
    std::filesystem::remove(LiveriesScannedPath);
    if (!row.text.empty()) writeBytes(LiveriesScannedPath, row.text);
    try {
      lf_readLiveriesScanned();
      ADD_FAILURE() << row.error;
    } catch (const qlx::UserErrorException& error) {
      EXPECT_EQ(error.what(), row.error);
    }
  }
  writeBytes(LiveriesScannedPath, meta + R"(<liveries><liv airl="A" type="B738" cargo="yes" title="1"/>
      <liv airl="A" type="B738" cargo="1" title="2"/><liv airl="A" type="B738" cargo="false" title="3"/>
      <liv title="4"/></liveries>)");
  lf_readLiveriesScanned();
  std::vector<bool> cargo;
  for (const auto& livery : gScannedLiveries) cargo.push_back(livery.cargo);
  EXPECT_EQ(cargo, (std::vector<bool>{false, true, true, false}));  // the one without airline sorts first
  EXPECT_TRUE(gScannedLiveries.front().airl.empty());
}

}  // namespace
