#include "liveries/dbase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <pugixml.hpp>

#include "core/errors.h"
#include "core/util.h"
#include "liveries/data_downloads.h"
#include "liveries/dbase_lookups.h"
#include "liveries_test_support.h"

namespace {

class DataBaseTest : public testing::Test {
 protected:
  void TearDown() override { gf_clearDataBase(); }

  // Reads a data base whose text the download hands in.
  void readText(const std::string& xml) {
    writeBytes(program.path() / "served.xml", xml);
    gf_setDataDownloads({copier(program.path() / "served.xml"), {}});
    gf_readDataBase();
  }

  LogCapture log;
  ProgramFolder program;
};

// The fixture, read plain: what the tables must hold after the scrambled read.
struct PlainTables {
  std::set<std::string> models, airlines, cargoOperators, heavy, large;
  std::map<std::string, DbaseRecord> records;
  std::vector<std::vector<std::string>> similar;
};

PlainTables readPlainFixture() {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_file(SKLM_TEST_DATA_DIR "/liveries/temp2.plain.xml"));
  PlainTables plain;
  auto words = [](const pugi::xml_node section, const char* item, const char* attribute, std::set<std::string>& to) {
    for (const auto node : section.children(item)) {
      for (const auto& word : gf_splitComma(node.attribute(attribute).as_string())) to.insert(word);
    }
  };
  words(document.child("aircrafts"), "aircraft", "types", plain.models);
  words(document.child("heavy"), "hvy", "types", plain.heavy);
  words(document.child("large"), "lar", "types", plain.large);
  words(document.child("ICAO_airlines"), "ICAO", "codes", plain.airlines);
  words(document.child("cargo_operators"), "ICAO", "codes", plain.cargoOperators);
  for (const auto node : document.child("similar_types").children("similar")) {
    auto group = gf_splitComma(node.attribute("types").as_string());
    std::sort(group.begin(), group.end());
    plain.similar.push_back(group);
  }
  for (const auto node : document.child("dbase").children("db")) {
    plain.records[node.attribute("reg").as_string()] = {node.attribute("airl").as_string(),
                                                        node.attribute("type").as_string(),
                                                        node.attribute("opr").as_string(),
                                                        node.attribute("cargo").as_bool()};
  }
  return plain;
}

TEST_F(DataBaseTest, ToolMadeFileFillsTheTablesOfThePlainOne) {
  gf_setDataDownloads({copier(scrambledFixture("temp2")), {}});
  gf_readDataBase();

  const PlainTables plain = readPlainFixture();
  EXPECT_EQ(gAircraftModels, plain.models);
  EXPECT_EQ(gHeavyModels, plain.heavy);
  EXPECT_EQ(gLargeModels, plain.large);
  EXPECT_EQ(gAirlineCodes, plain.airlines);
  EXPECT_EQ(gCargoOperators, plain.cargoOperators);
  EXPECT_EQ(gSimilarTypes, plain.similar);
  const std::map<std::string, DbaseRecord> records(gDbaseRegistrations.begin(), gDbaseRegistrations.end());
  EXPECT_EQ(records, plain.records);
  EXPECT_EQ(gModelFixes.at("B737800"), "B738");
  EXPECT_EQ(gPublishers.front(), (std::vector<std::string>{"FlyTampa", "flytampa"}));
  ASSERT_EQ(gThirdpartyAirports20.size(), 1u);
  EXPECT_EQ(gThirdpartyAirports20[0].airports, (std::vector<std::string>{"EGLC12", "EGKA"}));
  EXPECT_TRUE(gLinkpackAirports.contains("EHAM"));
  EXPECT_NEAR(gWingspans.at("B738"), 35.8 * 0.5 / 1852, 1e-12);

  EXPECT_EQ(gf_categoryOf("B772"), 3);
  EXPECT_EQ(gf_categoryOf("C25C"), 1);
  EXPECT_EQ(gf_categoryOf("R44"), 5);
  EXPECT_EQ(gf_categoryOf("F16"), 4);
  EXPECT_EQ(gf_categoryOf("B752"), 2);  // large and heavy
  EXPECT_EQ(gf_categoryOf("ZZZZ"), 0);
  EXPECT_EQ(gf_dbaseAirlineOf("GGDFA"), "BAW");
  EXPECT_EQ(gf_dbaseOperatorOf("PHBXA"), "KLM");
  EXPECT_TRUE(gf_isValidModel("B738"));
  EXPECT_FALSE(gf_isValidAirline(""));

  EXPECT_FALSE(std::filesystem::exists(program.path() / "input" / "temp2.xml"));
  for (const auto& line : log.lines()) EXPECT_EQ(line.find("Unencrypted airline"), std::string::npos) << line;
}

TEST_F(DataBaseTest, FailuresStopTheReadAndSkipsGoOn) {
  gf_setDataDownloads({[](const std::filesystem::path&) { return false; }, {}});
  try {
    gf_readDataBase();
    ADD_FAILURE() << "a failed download was read";
  } catch (const qlx::SysErrorException& error) {
    EXPECT_STREQ(error.what(), "sys error 23: data base could not be read from on-line?");
  }
  EXPECT_TRUE(gAircraftModels.empty());

  try {
    readText("<root><aircrafts><aircraft types=\"B738\"/></aircrafts></root>");
    ADD_FAILURE() << "a wrapped file was read";
  } catch (const qlx::UserErrorException& error) {
    EXPECT_STREQ(error.what(), "61: In an xml file section aircrafts aircraft types is empty ");
  }

  const std::string whole = readBytes(scrambledFixture("temp2_skips"));
  try {
    readText(whole.substr(0, whole.find("<db ") + 6));
    ADD_FAILURE() << "a truncated file was read";
  } catch (const qlx::UserErrorException& error) {
    EXPECT_TRUE(std::string(error.what()).starts_with("60: \"" + gf_pathToUtf8(Temp2Path) + "\" not read because of "))
        << error.what();
  }
  EXPECT_TRUE(std::filesystem::exists(program.path() / "input" / "temp2.xml"));
}

TEST_F(DataBaseTest, BadItemsAreLoggedAndSkipped) {
  gf_setDataDownloads({copier(scrambledFixture("temp2_skips")), {}});
  gf_readDataBase();
  EXPECT_NEAR(gWingspans.at("B738"), 35.8 * 0.5 / 1852, 1e-12);
  EXPECT_NEAR(gMaxWingspan, 60.0 * 0.5 / 1852, 1e-12);
  EXPECT_EQ(gWingspans.size(), 1u);
  EXPECT_EQ(gModelFixes, (std::unordered_map<std::string, std::string>{{"B737800", "B738"}}));
  EXPECT_EQ(gDbaseRegistrations.at("G-GDFA").airl, "BAW");
  EXPECT_EQ(gDbaseRegistrations.at("PH-BXA").opr, "");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "===> wingspan model  is no valid model, skipped",
                             "===> wingspan model ZZZZ is no valid model, skipped",
                             "===> wrong part of fix: \"B737800\", already exists, skipped",
                             "===> wrong fix A320NEO->A20N, the latter is not a valid model",
                             "===> regcode G-GDFA already exists",
                         }));
}

}  // namespace
