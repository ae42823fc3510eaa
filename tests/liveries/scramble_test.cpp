#include "liveries/scramble.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "core/errors.h"
#include "liveries_test_support.h"

namespace {

// T[0..4] = 5, 40, -20, 7, 60; airline from positions 4, 0, 2; model4 reversed.
ScrambleKey testKey() {
  ScrambleKey key;
  key.registration = {5, 40, -20, 7, 60};
  key.airline = {{{4, 1}, {0, -2}, {2, 50}}};
  key.model2 = {{{0, 0}, {1, 0}}};
  key.model3 = {{{0, 0}, {1, 0}, {2, 0}}};
  key.model4 = {{{3, 0}, {2, 0}, {1, 0}, {0, 0}}};
  return key;
}

const char* const kTestKeyFile =
    "# the test key\n"
    "registration 5 40 -20 +7 60 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
    "\n"
    "airline 4:+1 0:-2 2:50   # three of six\n"
    "model2 0:0 1:0\n"
    "model3 0:0 1:0 2:0\n"
    "model4 3:0 2:0 1:0 0:0\n";

class ScrambleTest : public testing::Test {
 protected:
  void SetUp() override { gf_setScrambleKey(testKey()); }
  void TearDown() override { gf_setScrambleKey(gf_defaultScrambleKey()); }
  LogCapture log;
};

TEST_F(ScrambleTest, DecodersGiveThePlainCodes) {
  using Decoder = std::string (*)(const std::string&);
  struct Row {
    Decoder decode;
    std::string in;
    std::string out;
  };
  const std::string reg24(24, 'X');
  const Row rows[] = {
      {gf_decryptRegcode, "IU-+X", "D-A+J"},
      {gf_decryptRegcode, "", ""},
      {gf_decryptRegcode, reg24 + "+", gf_decryptRegcode(reg24) + "+"},
      {gf_decryptAirline, "C#S#A#", "BAW"},
      {gf_decryptAirline, "", ""},
      {gf_decryptModel, "837B", "B738"},
      {gf_decryptModel, "ABCDE", "AB"},
      {gf_decryptModel, "ABC", "ABC"},
      {gf_decryptModel, "", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(row.decode(row.in), row.out) << row.in;
  EXPECT_EQ(gf_decryptRegcode(reg24).size(), 24u);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(ScrambleTest, OddCodesAreLoggedOrRefused) {
  EXPECT_THROW(gf_decryptRegcode(std::string(24, 'X') + "Z"), std::out_of_range);
  try {
    gf_decryptAirline("ABCD");
    ADD_FAILURE() << "a 4-character airline code was read";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "decrypt airl \"ABCD\" error");
  }
  EXPECT_EQ(gf_decryptAirline("BAW"), "BAW");
  EXPECT_EQ(gf_decryptModel("A"), "A");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"===> Unencrypted airline BAW in decrypt airl?",
                                                   "===> 1-character model code A in decrypt model?"}));
}

TEST_F(ScrambleTest, KeyFileReadsOrNamesTheBadLine) {
  ScratchFolder folder;
  writeBytes(folder / "key.txt", kTestKeyFile);
  EXPECT_EQ(gf_loadScrambleKey(folder / "key.txt"), testKey());

  struct Row {
    std::string replace;  // a line of the good file
    std::string with;
    int line;
  };
  const Row rows[] = {
      {"model4 3:0 2:0 1:0 0:0", "model4 3:0 2:0 1:0 1:0", 7},   // no permutation
      {"model3 0:0 1:0 2:0", "model3 0:0 1:0 3:0", 6},           // position out of range
      {"airline 4:+1 0:-2 2:50", "airline 4:+1 4:-2 2:50", 4},   // positions not distinct
      {"airline 4:+1 0:-2 2:50", "airline 6:+1 0:-2 2:50", 4},   // position beyond 5
      {"airline 4:+1 0:-2 2:50", "airline 4:+1 0:-2", 4},        // two rules only
      {"registration 5 40", "registration 5 x40", 2},             // no number
      {"model2 0:0 1:0", "model2 0:0 1:999", 5},                  // offset out of range
      {"model2 0:0 1:0", "modell2 0:0 1:0", 5},                   // unknown entry
      {"model2 0:0 1:0", "", 8},                                  // missing: after the last line
  };
  for (const Row& row : rows) {
    std::string text = kTestKeyFile;
    text.replace(text.find(row.replace), row.replace.size(), row.with);
    writeBytes(folder / "key.txt", text);
    try {
      gf_loadScrambleKey(folder / "key.txt");
      ADD_FAILURE() << row.with << " was accepted";
    } catch (const qlx::UserErrorException& error) {
      const std::string what = error.what();
      EXPECT_TRUE(what.starts_with("62: scramble key file \"" + (folder / "key.txt").string() + "\" line " +
                                   std::to_string(row.line) + ": "))
          << what;
    }
  }
}

TEST_F(ScrambleTest, ProgramFolderKeyFileReplacesTheDefault) {
  ProgramFolder program;
  gf_installScrambleKey();
  EXPECT_EQ(gf_scrambleKey(), gf_defaultScrambleKey());
  writeBytes(program.path() / "scramble_key.txt", kTestKeyFile);
  gf_installScrambleKey();
  EXPECT_EQ(gf_scrambleKey(), testKey());
  writeBytes(program.path() / "scramble_key.txt", "registration 1\n");
  EXPECT_THROW(gf_installScrambleKey(), qlx::UserErrorException);
}

}  // namespace
