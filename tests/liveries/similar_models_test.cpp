#include "liveries/similar_models.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/parameters.h"
#include "liveries/dbase.h"
#include "liveries_test_support.h"

namespace {

// Installed liveries as airline -> models, with the category lists.
class FakeInstalled : public InstalledLiveries {
 public:
  std::map<std::string, std::set<std::string>> byAirline;
  std::vector<std::string> light, buzjets, rotorcraft;

  bool isKnownModel(const std::string& model) const override {
    for (const auto& [airline, models] : byAirline) {
      if (models.contains(model)) return true;
    }
    return false;
  }
  bool hasLiveryForAirlineModel(const std::string& airline, const std::string& model) const override {
    const auto found = byAirline.find(airline);
    return found != byAirline.end() && found->second.contains(model);
  }
  std::vector<std::string> airlineCodes() const override {
    std::vector<std::string> codes;
    for (const auto& entry : byAirline) codes.push_back(entry.first);
    return codes;
  }
  const std::vector<std::string>& categoryModels(int category) const override {
    return category == 1 ? buzjets : category == 5 ? rotorcraft : light;
  }
};

class SimilarModelsTest : public testing::Test {
 protected:
  void SetUp() override {
    RANDOM.value = false;
    gf_setInstalledLiveries(&installed);
  }
  void TearDown() override {
    RANDOM.value = RANDOM.defaultValue;
    gf_setInstalledLiveries(nullptr);
    gf_clearDataBase();
    gSimilarModels.clear();
    gSimilarModelsByAirline.clear();
  }
  LogCapture log;
  FakeInstalled installed;
};

using Models = std::vector<std::string>;

TEST_F(SimilarModelsTest, GroupsKeepOnlyInstalledModels) {
  gSimilarTypes = {{"X", "Y", "Z"}};
  installed.byAirline = {{"AAA", {"Y", "Z"}}, {"BBB", {"Y"}}};
  gf_readSimilarModels();
  EXPECT_EQ(gSimilarModels, (ModelLists{{"X", {"Y", "Z"}}, {"Y", {"Z"}}, {"Z", {"Y"}}}));
  EXPECT_EQ(gSimilarModelsByAirline.at("AAA"), (ModelLists{{"X", {"Y", "Z"}}}));
  EXPECT_EQ(gSimilarModelsByAirline.at("BBB"), (ModelLists{{"X", {"Y"}}, {"Z", {"Y"}}}));
  EXPECT_EQ(lf_similarModelsOf("BBB", "X"), Models{"Y"});
  EXPECT_TRUE(lf_similarModelsOf("BBB", "Y").empty());
  EXPECT_EQ(log.lines().back(), "3 similar model definitions");

  gSimilarTypes = {{"X", "Y"}, {"X", "Z"}};
  installed.byAirline = {{"AAA", {"Y", "Z"}}};
  gf_readSimilarModels();
  EXPECT_EQ(gSimilarModels.at("X"), Models{"Y"});
}

TEST_F(SimilarModelsTest, ModelsWithoutGroupFallBackByCategory) {
  gHeavyModels = {"B772"};
  installed.light = {"C172", "PA28"};
  installed.byAirline = {{"AAA", {"C172", "PA28"}}};
  gf_readSimilarModels();
  EXPECT_EQ(lf_similarModelsFor("DR40"), Models{"C172"});
  EXPECT_TRUE(lf_similarModelsFor("B772").empty());
  installed.light.clear();
  EXPECT_TRUE(lf_similarModelsFor("DR40").empty());
}

TEST_F(SimilarModelsTest, SecondBuildKeepsNothingOfTheFirst) {
  gSimilarTypes = {{"X", "Y", "Z"}};
  installed.byAirline = {{"AAA", {"Y", "Z"}}, {"BBB", {"Y"}}};
  gf_readSimilarModels();
  installed.byAirline = {{"CCC", {"X"}}};
  gf_readSimilarModels();
  EXPECT_EQ(gSimilarModels, (ModelLists{{"Y", {"X"}}, {"Z", {"X"}}}));
  EXPECT_EQ(gSimilarModelsByAirline,
            (std::unordered_map<std::string, ModelLists>{{"CCC", {{"Y", {"X"}}, {"Z", {"X"}}}}}));
}

}  // namespace
