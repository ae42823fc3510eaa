#include "airports/learned_file.h"

#include "airports/stand_options.h"
#include "core/file_save.h"
#include "core/clock.h"
#include "tests/airports/park_apf_test_support.h"
#include "traffic/records.h"

namespace {

ModelKey aircraft(const std::string& airline) {
  ModelKey key;
  key.operatorCode = airline;
  key.type = "B738";
  return key;
}

std::vector<std::uint32_t> archivedFlags(const Stand& stand) {
  std::vector<std::uint32_t> flags;
  for (const StandOption& option : stand.options) flags.push_back(option.archived);
  return flags;
}

std::int64_t fixedNow() { return 1765000000; }  // 2025-12-06 05:46:40 UTC

}  // namespace

// Two visits learn and save; the third load holds all that was learned.
TEST(LearnedFile, TwoVisitsLoseNothing) {
  struct Source {
    std::string archived;  // where the archived file lies (below the work or the served folder)
    std::string location;  // what the load is given
    std::string learned;
  };
  const Source sources[] = {
      {"served:MSFS/archive/stock/EGLL.xml", "archive/stock/EGLL.xml", "airports/learned/stock/EGLL.xml"},
      {"airports/my_thirdparty/EGLL.xml", "airports/my_thirdparty/EGLL.xml",
       "airports/learned/thirdparty/Pub/EGLL.xml"},
      {"airports/my_linkpack/EGLL.xml", "airports/my_linkpack/EGLL.xml", "airports/learned/my_linkpack/EGLL.xml"},
  };
  for (const Source& source : sources) {
    WorkFolder folder;
    ScratchFolder served;
    DownloadDouble downloads(served.path());
    SettingsGuard settings;
    RecordingSink sink;
    const bool onServer = source.archived.starts_with("served:");
    writeArchived(onServer ? served.path() / source.archived.substr(7) : folder.path() / source.archived, bedAirport());

    // Visit 1 learns two uses of A2.
    ASSERT_EQ(loadPark(source.location), "") << source.location;
    const DaySlot monday = gf_makeDaySlot(1, 20);
    const std::uint32_t id = gf_addOption(gStands[1].options, aircraft("EZY"), OPTION_REAL, monday, "EZY1", "G-AAAA");
    ASSERT_TRUE(gf_updateOption(gStands[1].options, gf_makeDaySlot(1, 21), id, "EZY2"));
    gf_addOption(gStands[1].options, aircraft("RYR"), OPTION_REAL, monday, "RYR1", "EI-AAA");
    gStandUpdateCount = 2;
    lf_saveParkAirportFile();
    ASSERT_TRUE(std::filesystem::exists(source.learned)) << sink.messages.back();

    // Visit 2: visit 1 comes back learnable, two more uses, the second deleted by planning.
    ASSERT_EQ(loadPark(source.location), "");
    EXPECT_EQ(optionRegs(gStands[1]), (std::vector<std::string>{"G-AAAA", "EI-AAA"}));
    EXPECT_EQ(archivedFlags(gStands[1]), (std::vector<std::uint32_t>{0, 0}));
    EXPECT_EQ(gStands[1].options[0].secondCallsign, "EZY2");
    EXPECT_EQ(archivedFlags(gStands[0]), (std::vector<std::uint32_t>{1}));
    gf_addOption(gStands[0].options, aircraft("KLM"), OPTION_REAL, monday, "KLM1", "PH-AAA");
    gf_addOption(gStands[0].options, aircraft("DLH"), OPTION_REAL, monday, "DLH1", "D-AAAA");
    gStands[0].options.back().id = 0;
    gStandUpdateCount = 2;
    lf_saveParkAirportFile();

    ASSERT_EQ(loadPark(source.location), "");
    EXPECT_EQ(optionRegs(gStands[0]), (std::vector<std::string>{"", "PH-AAA"}));
    EXPECT_EQ(optionRegs(gStands[1]), (std::vector<std::string>{"G-AAAA", "EI-AAA"}));
    EXPECT_EQ(gLearnedFile.learnedPath, std::filesystem::path(source.learned));
    if (onServer) {
      const auto urls = downloads.urls();
      EXPECT_EQ(urls.back(), "https://downloads.test/MSFS/archive/stock/EGLL.xml");
    }
  }
}

TEST(LearnedFile, BadFilesAreKept) {
  const std::string kLocal = "airports/my_thirdparty/EGLL.xml";
  const std::filesystem::path kLearned = "airports/learned/thirdparty/Pub/EGLL.xml";
  const std::string meta =
      "<meta><info name=\"author\" value=\"Skylume\"/><info name=\"version\" value=\"10.9.4\"/>"
      "<info name=\"date\" value=\"Dec  1, 2026\"/></meta>"
      "<parameters><parameter name=\"airport_name\" value=\"Heathrow\"/>"
      "<parameter name=\"parking_percentage\" value=\"99\"/>";
  struct Case {
    std::string name;
    std::string learned;
    std::vector<std::string> stands;  // names after the load
    std::vector<std::string> a1Regs;  // A1's options after the load
    bool backedUp;
  };
  const Case cases[] = {
      {"unparsable", "<meta><parameters", {"A1", "A2"}, {""}, true},
      {"handmade with a duplicate id",
       meta + "<parameter name=\"handmade\" value=\"true\"/></parameters><parkpositions>"
              "<parkpos id=\"H1\" latitude=\"1\" longitude=\"1\" radius=\"9\"/><parkpos id=\"H1\"/></parkpositions>",
       {"A1", "A2"}, {""}, true},
      {"unknown stand and shared slots",
       meta + "</parameters><parkpositions><parkpos id=\"GONE\"><opt reg=\"X\" day=\"1\" hh=\"3\"/></parkpos>"
              "<parkpos id=\"A1\"><opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"1\" hh=\"10,11\"/>"
              "<opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"1\" hh=\"11\"/></parkpos></parkpositions>",
       {"A1", "A2"}, {"", ""}, false},
  };
  for (const Case& item : cases) {
    WorkFolder folder;
    SettingsGuard settings;
    RecordingSink sink;
    LogCapture log;
    writeArchived(kLocal, bedAirport());
    folder.write(kLearned.string(), item.learned);
    const std::string before = readBytes(kLearned);
    parking_percentage.value = 55;
    ASSERT_EQ(loadPark(kLocal), "") << item.name;
    std::vector<std::string> names;
    for (const Stand& stand : gStands) names.push_back(stand.name);
    EXPECT_EQ(names, item.stands) << item.name;
    EXPECT_EQ(optionRegs(gStands[0]), item.a1Regs) << item.name;
    EXPECT_FALSE(gHandmadeAirport) << item.name;
    EXPECT_EQ(gLearnedFile.notFullyRead, item.backedUp) << item.name;
    if (item.name == "unparsable") {
      EXPECT_EQ(parking_percentage.value, 55) << "no setting changed";
      EXPECT_EQ(readBytes("airports/learned/thirdparty/Pub/EGLL0.xml"), before);
    }
    if (item.name.starts_with("unknown")) {
      EXPECT_EQ(gStands[0].options[1].id, 2u) << "no common slot: appended with the next id";
    }

    const ClockSource previous = gf_setClockSource(&fixedNow);
    gStandUpdateCount = 1;
    lf_saveParkAirportFile();
    const std::filesystem::path backup = kLearned.parent_path() / "EGLL-20251206-054640.xml";
    EXPECT_EQ(std::filesystem::exists(backup), item.backedUp) << item.name;
    if (item.backedUp) {
      EXPECT_EQ(readBytes(backup), before);
      EXPECT_NE(sink.messages.back().find("EGLL-20251206-054640.xml"), std::string::npos) << sink.messages.back();
      // The next unread file at the same second gets the next name.
      folder.write(kLearned.string(), item.learned);
      ASSERT_EQ(loadPark(kLocal), "");
      lf_saveParkAirportFile();
      EXPECT_EQ(readBytes(kLearned.parent_path() / "EGLL-20251206-054640-2.xml"), before) << item.name;
    } else {
      pugi::xml_document saved;
      ASSERT_TRUE(saved.load_file(kLearned.c_str()));
      const pugi::xml_node gone = saved.child("parkpositions").find_child_by_attribute("parkpos", "id", "GONE");
      EXPECT_STREQ(gone.child("opt").attribute("reg").value(), "X") << "an unknown stand is written back";
      bool logged = false;
      for (const std::string& line : log.lines()) logged |= line.find("learned stand GONE in") != std::string::npos;
      EXPECT_TRUE(logged);
    }
    gf_setClockSource(previous);
  }
}

TEST(LearnedFile, SaveWritesWhatWasLearnedOrSaysItDidNot) {
  WorkFolder folder;
  ScratchFolder served;
  DownloadDouble downloads(served.path());
  SettingsGuard settings;
  RecordingSink sink;
  ApfAirport airport = bedAirport();
  airport.stands.push_back(bedStand("EMPTY", 51.48, -0.46));
  writeArchived(served.path() / "MSFS/archive/stock/EGLL.xml", airport);
  const std::filesystem::path learned = std::filesystem::path("airports") / "learned" / "stock" / "EGLL.xml";

  for (const auto& [updates, word] : {std::pair{3, "updates"}, std::pair{1, "update"}}) {
    ASSERT_EQ(loadPark("archive/stock/EGLL.xml"), "");
    gf_addOption(gStands[1].options, aircraft("EZY"), OPTION_REAL, gf_makeDaySlot(2, 2), "EZY1", "");
    gStandUpdateCount = updates;
    lf_saveParkAirportFile();
    EXPECT_TRUE(sink.messages.back().ends_with(sk::format("\"{}\" saved with {} {} ", learned.string(), updates, word)))
        << sink.messages.back();
  }
  pugi::xml_document saved;
  ASSERT_TRUE(saved.load_file(learned.c_str()));
  const pugi::xml_node parkpositions = saved.child("parkpositions");
  EXPECT_FALSE(parkpositions.find_child_by_attribute("parkpos", "id", "EMPTY")) << "a stand without options";
  EXPECT_FALSE(parkpositions.find_child_by_attribute("parkpos", "id", "A1")) << "archived options are not learned";
  EXPECT_TRUE(parkpositions.find_child_by_attribute("parkpos", "id", "A2"));

  // A hand-made airport keeps its archived options.
  ASSERT_EQ(loadPark("archive/stock/EGLL.xml"), "");
  gHandmadeAirport = true;
  lf_saveParkAirportFile();
  ASSERT_TRUE(saved.load_file(learned.c_str()));
  EXPECT_TRUE(saved.child("parkpositions").find_child_by_attribute("parkpos", "id", "A1").child("opt"));
  gHandmadeAirport = false;

  // Failures: a folder where the temporary goes, a file where the folder goes.
  const std::string before = readBytes(learned);
  std::filesystem::create_directories(gf_nextReplaceTemporary(learned) / "x");
  EXPECT_NO_THROW(lf_saveParkAirportFile());
  EXPECT_TRUE(sink.messages.back().ends_with("did not succeed")) << sink.messages.back();
  EXPECT_EQ(readBytes(learned), before);
  std::filesystem::remove_all("airports/learned");
  folder.write("airports/learned", "a file");
  EXPECT_NO_THROW(lf_saveParkAirportFile());
  EXPECT_TRUE(sink.messages.back().ends_with("did not succeed")) << sink.messages.back();
}
