#include "liveries/regcodes.h"

#include <gtest/gtest.h>

#include "core/file_read.h"
#include "core/paths.h"
#include "liveries/dbase.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_processing.h"
#include "liveries/livery_tables.h"
#include "liveries/scan_lists.h"
#include "liveries_test_support.h"

namespace {

class RegcodesTest : public testing::Test {
 protected:
  void TearDown() override {
    gf_requestLiveryClearing();
    gf_serveLiveryClearing();
    lf_clearScanLists();
  }

  void process(const std::vector<LiveryData>& liveries) {
    gScannedLiveries.assign(liveries.begin(), liveries.end());
    lf_saveLiveriesScanned();
    gf_requestLiveryClearing();
    gf_serveLiveryClearing();
    gf_processScannedLiveries();
  }

  bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  LogCapture log;
  ProgramFolder program;
};

TEST_F(RegcodesTest, UserFilesGiveTheirEntries) {
  std::filesystem::create_directories(MyRegcodesFolder);
  writeBytes(MyRegcodesFolder / "mine.TXT",
             "Speedbird Special;G-GDFA\r\nTwo Regs Normal;G-BBBB,G-AAAA\r\n"
             "Two Regs Special;G-BBBB,G-AAAA,G-AAAA;#\r\nNever Use Me\r\n\r\n"
             "Bad;A,BB,G-CCCC,ABCDEFGHIJKLM\r\nBad4;a;b;c\r\n");
  writeBytes(MyRegcodesFolder / "x.txt", "Lower;G-LOWR\r\n");
  std::vector<RegcodeEntry> entries;
  EXPECT_FALSE(lf_readRegcodeFiles(MyRegcodesFolder, entries));
  struct Expected {
    std::string title;
    std::vector<std::string> regcodes;
    bool special;
  };
  const std::vector<Expected> expected{{"Speedbird Special", {"G-GDFA"}, true},
                                       {"Two Regs Normal", {"G-AAAA", "G-BBBB"}, false},
                                       {"Two Regs Special", {"G-AAAA", "G-BBBB"}, true},
                                       {"Never Use Me", {}, false},
                                       {"Bad", {"G-CCCC"}, false}};
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].title, expected[i].title);
    EXPECT_EQ(entries[i].regcodes, expected[i].regcodes) << expected[i].title;
    EXPECT_EQ(entries[i].special, expected[i].special) << expected[i].title;
  }
  const auto lines = log.lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.find("wrong regcode length") != std::string::npos; }),
            3);
  EXPECT_TRUE(contains(lines, "===> " + gf_pathToUtf8(MyRegcodesFolder / "mine.TXT") + ": wrong format \"Bad4;a;b;c\""));

  RecordingSink sink;
  process({{"BAW", "B738", "Speedbird Special", "", 0, false}});
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0], "There were errors in processing the regcode files in folder \"" +
                                  gf_pathToUtf8(MyRegcodesFolder) + "\", see the Log.txt");
  EXPECT_EQ(gLiveriesByRegistration.at("G-GDFA"), "Speedbird Special");
  EXPECT_EQ(gSpecialLiveries, TitleViews{"Speedbird Special"});

  lf_readTitleFolder();
  EXPECT_TRUE(gDontUseTitles.contains("Never Use Me"));
}

// A file that cannot be read is an error of the folder, named in the log; the
// other files still give their entries, and an empty file is no error.
TEST_F(RegcodesTest, AnUnreadableFileIsLoggedAndTheOthersRead) {
  std::filesystem::create_directories(MyRegcodesFolder);
  writeBytes(MyRegcodesFolder / "empty.TXT", "");
  writeBytes(MyRegcodesFolder / "good.TXT", "Speedbird Special;G-GDFA\r\n");
  std::vector<RegcodeEntry> entries;
  EXPECT_TRUE(lf_readRegcodeFiles(MyRegcodesFolder, entries));
  // Too large to read is unread too.
  const auto large = MyRegcodesFolder / "large.TXT";
  writeBytes(large, "Large;G-LARG\r\n");
  std::filesystem::resize_file(large, gMaxForeignTextBytes + 1);
  entries.clear();
  EXPECT_FALSE(lf_readRegcodeFiles(MyRegcodesFolder, entries));
  ASSERT_EQ(entries.size(), 1U);
  EXPECT_TRUE(contains(log.lines(), "===> " + gf_tooLargeText(large)));
  std::filesystem::remove(large);
#ifdef _WIN32
  GTEST_SKIP() << "a file's mode does not make it unreadable on Windows";
#else
  const auto locked = MyRegcodesFolder / "locked.TXT";
  writeBytes(locked, "Locked;G-LOCK\r\n");
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  entries.clear();
  bool read = true;
  {
    WithoutReadOverride unprivileged;
    read = lf_readRegcodeFiles(MyRegcodesFolder, entries);
  }
  EXPECT_FALSE(read);
  ASSERT_EQ(entries.size(), 1U);
  EXPECT_EQ(entries[0].title, "Speedbird Special");
  EXPECT_TRUE(contains(log.lines(),
                       "===> Error in reading regcode file " + locked.string() + ", what: cannot be opened"));
#endif
}

TEST_F(RegcodesTest, AigFileThroughTheHook) {
  std::string served = readBytes(scrambledFixture("AIG-regcodes"));
  // A registration the tool refuses to make, written raw into its output.
  served.insert(served.find("</AIG-regcodes>"),
                "<livery title=\"Too Long\" reg=\"" + std::string(24, 'A') + "Z\" />\n");
  writeBytes(program.path() / "served.xml", served);
  gf_setDataDownloads({{}, copier(program.path() / "served.xml")});
  std::vector<LiveryData> installed;
  for (const char* title : {"Special True", "Special Yes", "Special One", "Plain False", "Plain No", "Plain Zero"}) {
    installed.push_back({"BAW", "B738", title, "", 0, false});
  }
  process(installed);
  EXPECT_EQ(gLiveriesByRegistration.at("G-BBB2"), "Plain False");
  EXPECT_EQ(gLiveriesByRegistration.size(), 7u);
  TitleViews special = gSpecialLiveries;
  std::sort(special.begin(), special.end());
  EXPECT_EQ(special, (TitleViews{"Special One", "Special True", "Special Yes"}));
  const auto lines = log.lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with("===> exception in lf_readAigRegcodes: ");
  }));
  EXPECT_EQ(readBytes(program.path() / "input" / "AIG-regcodes0.xml"), served);
  EXPECT_FALSE(std::filesystem::exists(AigRegcodesPath));

  lf_downloadAigRegcodes(AigRegcodesPath);
  lf_readTitleFile(AigRegcodesPath);
  EXPECT_TRUE(gDontUseTitles.contains("Never Use"));
  EXPECT_EQ(log.lines().back(), "1 don't use title read");
}

TEST_F(RegcodesTest, SourcesMergeInOrder) {
  gf_setDataDownloads({{}, copier(scrambledFixture("AIG-merge"))});
  const std::vector<LiveryData> liveries{{"BAW", "B738", "T1", "G-GDFA", 0, false},
                                         {"BAW", "B738", "T2", "", 0, false},
                                         {"KLM", "B738", "K1", "G-AAAA", 0, false},
                                         {"KLM", "B738", "K2", "G-AAAA", 0, false}};
  process(liveries);
  EXPECT_EQ(gLiveriesByRegistration.at("G-GDFA"), "T2");
  const auto offline = fileLines(OfflineRegcodesPath);
  EXPECT_TRUE(contains(offline, "   regcode G-GDFA for \"T2\", instead of the same for \"T1\""));
  EXPECT_TRUE(contains(offline, "0 new regcodes added, 1 regcode replaced"));
  EXPECT_EQ(fileLines(InlineRegcodesPath), std::vector<std::string>{"G-AAAA \"K2\" => already in use by \"K1\""});

  std::filesystem::create_directories(MyRegcodesFolder);
  writeBytes(MyRegcodesFolder / "mine.TXT", "T2;G-GDFA\r\n");
  process(liveries);
  EXPECT_TRUE(contains(fileLines(OfflineRegcodesPath), "1 new regcode added, 1 regcode defined as special"));

  std::filesystem::remove_all(MyRegcodesFolder);
  gf_setDataDownloads({{}, [](const std::filesystem::path&) { return false; }});
  process(liveries);
  EXPECT_FALSE(std::filesystem::exists(OfflineRegcodesPath));
  EXPECT_TRUE(contains(log.lines(), "===> reading AIG-regcodes failed?"));
}

}  // namespace
