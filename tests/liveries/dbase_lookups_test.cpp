#include "liveries/dbase_lookups.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>

#include "liveries_test_support.h"

namespace {

class LookupsTest : public testing::Test {
 protected:
  void TearDown() override { gf_clearDataBase(); }
  LogCapture log;
};

TEST_F(LookupsTest, CategoryWithoutSpansDefaultsToZero) {
  gLargeModels = {"B738", "A320", "E190"};
  gHeavyModels = {"B772"};
  gWingspans = {{"B738", 0.01}, {"A320", 0.02}};
  lf_averageWingspans();
  const double heavy = gf_wingspanOf("B772");
  EXPECT_FALSE(std::isnan(heavy));
  EXPECT_EQ(heavy, 0.0);
  EXPECT_DOUBLE_EQ(gf_wingspanOf("E190"), 0.015);
  EXPECT_EQ(gf_wingspanOf("A320"), 0.02);
}

TEST_F(LookupsTest, QueriesAnswerAsTheTablesSay) {
  using Keys = std::vector<std::string>;
  const std::pair<std::string, Keys> candidates[] = {
      {"PHBXA", {"PH-BXA", "P-HBXA", "PHBXA"}},
      {"N12345", {"N12345"}},
      {"D-ABCD", {"D-ABCD"}},
      {"ABCD", {"ABCD"}},
  };
  for (const auto& [reg, keys] : candidates) EXPECT_EQ(gf_regcodeCandidates(reg), keys) << reg;

  gPublishers = {{"Wild", "ab*c"}, {"Star", "*x"}, {"Any", "zz", ""}, {"Late", "Name"}};
  const std::pair<std::string, std::string> publishers[] = {
      {"xABBCy", "Wild"}, {"mo*xy", "Star"}, {"moxy", "Any"}, {"Name", "Any"}};
  for (const auto& [name, publisher] : publishers) EXPECT_EQ(gf_publisherOf(name), publisher) << name;
  gPublishers = {{"Wild", "ab*c"}, {"Star", "*x"}};
  EXPECT_EQ(gf_publisherOf("moxy"), "unknown");
  // Plain words answer as the expression would: anywhere, any case, not across a line break.
  const std::tuple<std::string, std::string, bool> wildcards[] = {
      {"C:\\Community\\Microsoft-AIRPORT-egll\\x.bgl", "microsoft-airport", true}, {"", "", true},
      {"microsoft-airpor", "microsoft-airport", false}, {"a\nmicrosoft-airport", "microsoft-airport", false},
      {"aXbc", "x.c", true}};
  for (const auto& [name, pattern, match] : wildcards) EXPECT_EQ(gf_wildcardMatch(name, pattern), match) << name;

  int number = 7;
  const std::string publisher = "Orbx";
  const std::string ident = "EGLL";
  const auto parse = gf_parsePrefixedNumber(publisher, ident, number);
  EXPECT_FALSE(parse("LFPG3"));
  EXPECT_EQ(number, 7);
  EXPECT_TRUE(parse("EGLL"));
  EXPECT_EQ(number, 7);
  EXPECT_TRUE(parse("EGLL12"));
  EXPECT_EQ(number, 12);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_TRUE(log.lines()[0].starts_with("===> Orbx EGLL EGLL ")) << log.lines()[0];
}

TEST_F(LookupsTest, RecordsAreFoundUnderTheirKeys) {
  gDbaseRegistrations = {{"PH-BXA", {"KLM", "B738", "KLM", false}}, {"N174FE", {"FDX", "B763", "FDX", true}}};
  EXPECT_EQ(gf_dbaseRecordOf("PHBXA"), (DbaseRecord{"KLM", "B738", "KLM", false}));
  EXPECT_EQ(gf_dbaseModelOf("N174FE"), "B763");
  EXPECT_EQ(gf_dbaseAirlineOf(""), "");
  EXPECT_FALSE(gf_dbaseRecordOf("G-XXXX"));
  std::optional<DbaseRecord> out = DbaseRecord{"A", "B", "C", false};
  EXPECT_FALSE(gf_findDbaseRecord(out, "PHBXA"));
  EXPECT_EQ(out->airl, "A");
  EXPECT_TRUE(gf_findDbaseRecord(out, "N174FE"));
  EXPECT_EQ(out, (DbaseRecord{"FDX", "B763", "FDX", true}));
}

// Whatever order the hash map has, the same title gets the same registration.
TEST_F(LookupsTest, PrivateRegistrationIsStableAcrossDataBases) {
  std::vector<std::string> regs{"N1", "N12", "ZZZZZ", "G-AB", "D-EFGH"};
  std::mt19937 shuffle(42);
  for (std::size_t run = 0; run < 20; ++run) {
    std::shuffle(regs.begin(), regs.end(), shuffle);
    gDbaseRegistrations.clear();
    gDbaseRegistrations.rehash(run + 1);
    for (const auto& reg : regs) gDbaseRegistrations[reg] = {"PVT", "C172", "", false};
    gDbaseRegistrations["N123"] = {"DLH", "C172", "", false};
    lf_listPrivateRegistrations();
    EXPECT_EQ(gf_privateRegcodeIn("Cessna N12 demo"), "N12");
    EXPECT_EQ(gf_privateRegcodeIn("Cessna N123 demo"), "N12");
    EXPECT_EQ(gf_privateRegcodeIn("ZZZZZ"), "");
  }
}

}  // namespace
