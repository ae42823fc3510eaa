#include "tools/scramble/scrambler.h"

#include <gtest/gtest.h>

#include <string>

#include "liveries/scramble.h"

namespace {

std::string alphabet() {
  std::string all;
  for (int c = gCodeAlphabetFirst; c <= gCodeAlphabetLast; ++c) all += static_cast<char>(c);
  return all;
}

void expectClean(const std::string& scrambled) {
  for (const char c : scrambled) EXPECT_TRUE(c != ',' && c != '+' && c != ' ') << scrambled;
}

// Every alphabet character at every position of every rule comes back.
TEST(ScramblerTest, ProjectKeyRoundTripsEveryCharacterEverywhere) {
  const ScrambleKey& key = gf_defaultScrambleKey();
  gf_setScrambleKey(key);
  for (const char c : alphabet()) {
    const std::string reg(24, c);
    const std::string scrambledReg = gf_scrambleRegcode(reg, key);
    expectClean(scrambledReg);
    EXPECT_EQ(gf_decryptRegcode(scrambledReg), reg);
    for (std::size_t length = 2; length <= 4; ++length) {
      for (std::size_t at = 0; at < length; ++at) {
        std::string model(length, 'A');
        model[at] = c;
        const std::string scrambled = gf_scrambleModel(model, key);
        expectClean(scrambled);
        EXPECT_EQ(gf_decryptModel(scrambled), model);
      }
    }
    for (std::size_t at = 0; at < 3; ++at) {
      std::string airline(3, 'A');
      airline[at] = c;
      const std::string scrambled = gf_scrambleAirline(airline, key);
      ASSERT_EQ(scrambled.size(), 6u);
      expectClean(scrambled);
      EXPECT_EQ(gf_decryptAirline(scrambled), airline);
    }
  }
  const std::string plus25 = "D-A+J" + std::string(19, 'B') + "+";
  EXPECT_EQ(gf_decryptRegcode(gf_scrambleRegcode(plus25, key)), plus25);
}

TEST(ScramblerTest, CodesTheDecodersCannotGiveBackAreRefusedWithTheirLine) {
  const ScrambleKey& key = gf_defaultScrambleKey();
  struct Row {
    std::string xml;
    std::string line;
  };
  const Row rows[] = {
      {"<aircrafts>\n<aircraft types=\"B738,A\"/>\n</aircrafts>", "line 2: "},
      {"<aircrafts/>\n<heavy>\n\n<hvy types=\"B7478\"/></heavy>", "line 4: "},
      {"<ICAO_airlines><ICAO codes=\"BAWX\"/></ICAO_airlines>", "line 1: "},
      {"<dbase>\n<db reg=\"" + std::string(24, 'A') + "Z\"/></dbase>", "line 2: "},
      {"<dbase>\n<db reg=\"G-abc\"/></dbase>", "line 2: "},
  };
  for (const Row& row : rows) {
    try {
      gf_scrambleDocument(row.xml, ScrambleMode::Temp2, key);
      ADD_FAILURE() << row.xml;
    } catch (const CodeRefused& refused) {
      EXPECT_TRUE(std::string(refused.what()).starts_with(row.line)) << refused.what();
    }
  }
  const std::string aig =
      gf_scrambleDocument("<AIG-regcodes><livery title=\"T\" reg=\"G-GDFA, D-ABCD\" special=\"1\"/></AIG-regcodes>",
                          ScrambleMode::Aig, key);
  EXPECT_NE(aig.find("title=\"T\""), std::string::npos);
  EXPECT_EQ(aig.find("G-GDFA"), std::string::npos);
  EXPECT_NO_THROW(gf_scrambleDocument(std::string("<dbase><db reg=\"") + std::string(30, '+') + "\"/></dbase>",
                                      ScrambleMode::Temp2, key));
}

}  // namespace
