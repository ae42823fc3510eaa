#include "liveries/livery_section.h"

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "core/random.h"
#include "livery_scan_test_support.h"

namespace {

std::list<LiveryData> scanAndClaim(const std::filesystem::path& path, int priority = 1) {
  ScannedCfgFile file = lf_searchLiveriesinFile(priority, path);
  return lf_claimScannedFile(file);
}


const std::list<LiveryData> kAigLiveries = {
    {"BAW", "B738", "AIG B738 British Airways G-GDFA", "G-GDFA", 1, false},
    {"ZZZ", "B738", "AIG B738 Generic", "", 1, false},
    {"BAW", "B738", "AIG B738 Cargo BAWX", "", 1, true},
};

}  // namespace

TEST_F(LiveryScanTest, AigFileGivesTheSameLiveriesInEveryEncoding) {
  const std::filesystem::path dir = std::filesystem::path(SKLM_TEST_DATA_DIR) / "liveries" / "encodings";
  for (const char* name : {"ansi_crlf", "ansi_lf", "utf8_crlf", "utf8_lf", "utf8bom_crlf", "utf8bom_lf",
                           "utf16le_crlf", "utf16le_lf", "utf16be_crlf", "utf16be_lf"}) {
    lf_clearScanLists();
    EXPECT_EQ(scanAndClaim(dir / (std::string(name) + ".cfg")), kAigLiveries) << name;
    EXPECT_EQ(reportLines(), std::vector<std::string>()) << name;
  }
  lf_clearScanLists();
  const auto umlaut = scanAndClaim(dir / "utf16le_umlaut.cfg");
  ASSERT_EQ(umlaut.size(), 3u);
  EXPECT_EQ(std::next(umlaut.begin())->title, "AIG B738 Generic D\xC3\xBCsseldorf");
}

TEST_F(LiveryScanTest, ModelOfTheFile) {
  struct Case {
    std::string folder;
    std::string general;
    std::string model;  // of the livery; "" for none
    std::string report;
  };
  const std::vector<Case> cases = {
      {"fsltl/FSLTL_A20N", "[VARIATION]\nbase_container = \"..\\Asobo_A320_NEO\"\n", "A20N", ""},
      {"aig/B73H", "[GENERAL]\nicao_type_designator = \"b73h\"\n", "B738", "fix: Model fix: B73H found in {path} changed into B738"},
      {"aig/XXXX", "[GENERAL]\nicao_type_designator = XXXX\n", "", "model: XXXX             in {path}"},
      {"aig/none", "[GENERAL]\natc_model = \"B738\"\n", "", "invalid file: Line icao_type_designator= is missing in [General] section of {path}"},
      {"pmdg-aircraft-7/SimObjects", "[GENERAL]\n", "", ""},
  };
  for (const Case& c : cases) {
    lf_clearScanLists();
    const auto path = writeCfg(c.folder, c.general + "[FLTSIM.0]\ntitle = \"T\"\nicao_airline = \"BAW\"\n");
    ScannedCfgFile file = lf_searchLiveriesinFile(1, path);
    const auto liveries = lf_claimScannedFile(file);
    EXPECT_EQ(liveries.empty() ? "" : liveries.front().type, c.model) << c.folder;
    const auto report = withPaths(c.report, path);
    EXPECT_EQ(reportLines(), report.empty() ? std::vector<std::string>() : std::vector<std::string>{report})
        << c.folder;
  }
}

TEST_F(LiveryScanTest, RejectionsAndReports) {
  struct Case {
    std::string name;
    std::string sections;  // after a [GENERAL] naming the model
    std::string model;
    std::string livery;    // "airline/registration" of the one livery, "" for none
    std::string report;    // the one report line, "" for none
    std::string log;       // the one log line, "" for none
  };
  const std::vector<Case> cases = {
      {"two titles", "[FLTSIM.0]\ntitle = A\nicao_airline = BAW\ntitle = A\n", "B738", "",
       "incomplete: {folder} [FLTSIM.0] has more than one title key", ""},
      {"second atc_id", "[FLTSIM.0]\ntitle = A\natc_id = G-AAAA\n//atc_id=\"G-BBBB\"\nicao_airline = BAW\n", "B738",
       "", "incomplete: {folder}, [FLTSIM.0], has more than one atc_id key", ""},
      {"trailing comments", "[FLTSIM.0]\ntitle = A\natc_id = G-AAAA\nicao_airline = BAW\n//atc_id=\"G\"\n\n", "B738",
       "BAW/G-AAAA", "", ""},
      {"second airline", "[FLTSIM.0]\ntitle = A\nicao_airline = BAW\n// icao_airline = DLH\nisAirTraffic = 1\n", "B738", "",
       "incomplete: {folder} [FLTSIM.0] has more than one icao_airline key", ""},
      {"no title", "[FLTSIM.0]\n//title = A\nicao_airline = BAW\n", "B738", "",
       "incomplete: {folder} [FLTSIM.0] misses title", ""},
      {"heavy without airline", "[FLTSIM.0]\ntitle = A\n", "B744", "",
       "incomplete: \"{folder}\" \"[FLTSIM.0]\" has no airline and no regcode info", ""},
      {"light without airline", "[FLTSIM.0]\ntitle = A\n", "C172", "PVT/", "", ""},
      {"two registrations", "[FLTSIM.0]\ntitle = A\natc_id = \"G-AAAA,G-BBBB\"\nicao_airline = BAW\n", "B738",
       "BAW/", "", ""},
      {"semicolon", "[FLTSIM.0]\ntitle = A\natc_id = G-AAAA;junk\nicao_airline = BAW\n", "B738", "BAW/G-AAAA", "",
       ""},
      {"wild card", "[FLTSIM.0]\ntitle = A\natc_id = G-AA*A\nicao_airline = BAW\n", "B738", "BAW/", "",
       "===> A G-AA*A wild cards no longer supported, atc_id skipped "},
      {"airline X", "[FLTSIM.0]\ntitle = A\nicao_airline = bawx\n", "B738", "BAW/", "", ""},
      {"gate and cargo", "[FLTSIM.0]\ntitle = A\nicao_airline = BAW\natc_parking_types = \"GATE, CARGO\"\n", "B738",
       "BAW/", "", ""},
      {"RFO", "[FLTSIM.0]\ntitle = A\nicao_airline = RFO\n", "B738", "", "", ""},
      {"registration of the data base", "[FLTSIM.0]\ntitle = A\natc_id = DABCD\n", "B738", "DLH/DABCD", "", ""},
      {"empty airline, light", "[FLTSIM.0]\ntitle = A\natc_id = G-EMPT\n", "C172", "PVT/G-EMPT", "", ""},
      {"empty airline, heavy", "[FLTSIM.0]\ntitle = A\natc_id = G-EMPT\n", "B744", "",
       "incomplete: \"{folder}\" \"[FLTSIM.0]\" has no airline and its regcode is not in my dbase (very old liv?)", ""},
      {"numbers 0,1,3", "[FLTSIM.0]\ntitle = A\n[FLTSIM.1]\ntitle = B\n[FLTSIM.3]\ntitle = C\n", "B738", "",
       "invalid file: {path} contains non-consecutive [fltsim.x] numbers at .x=3", ""},
      {"no number", "[FLTSIM.0]\ntitle = A\n[fltsim.]\ntitle = B\n", "B738", "",
       "invalid file: {path} contains a [fltsim.] section without a number", ""},
      {"number beyond int", "[FLTSIM.0]\ntitle = A\n[fltsim.99999999999]\n", "B738", "", "",
       "===> fltsim num [fltsim.99999999999] incorrect"},
      {"only general", "", "B738", "", "no sections: {path}", ""},
  };
  for (const Case& c : cases) {
    lf_clearScanLists();
    const auto path = writeCfg(c.name, "[GENERAL]\nicao_type_designator = " + c.model + "\n\n" + c.sections);
    const auto before = logLines().size();
    const auto liveries = scanAndClaim(path);
    EXPECT_EQ(liveries.empty() ? "" : liveries.front().airl + "/" + liveries.front().atcid, c.livery) << c.name;
    const auto report = withPaths(c.report, path);
    EXPECT_EQ(reportLines(), report.empty() ? std::vector<std::string>() : std::vector<std::string>{report})
        << c.name;
    const auto log = logLines();
    EXPECT_EQ(std::vector<std::string>(log.begin() + static_cast<long>(before), log.end()),
              c.log.empty() ? std::vector<std::string>() : std::vector<std::string>{c.log})
        << c.name;
  }
  // The airline goes to its own list, and the slot is read afresh.
  lf_clearScanLists();
  const auto path = writeCfg("xyz", "[GENERAL]\nicao_type_designator = B738\n[FLTSIM.0]\ntitle = A\n"
                                    "icao_airline = XYZ\nicao_airline = DLH\n");
  EXPECT_EQ(scanAndClaim(path).front().airl, "DLH");
  EXPECT_EQ(reportLines(), std::vector<std::string>{"airline: XYZ          in " + path.string() + " [FLTSIM.0]"});
  // A two-character base_container ends the file by an exception, logged on its way out.
  const auto broken = writeCfg("broken", "[VARIATION]\nbase_container = ab\n[FLTSIM.0]\ntitle = A\n");
  EXPECT_THROW(lf_searchLiveriesinFile(1, broken), std::out_of_range);
  EXPECT_TRUE(logLines().back().starts_with("exception in lf_searchLiveriesinFile " + broken.string() + ": "));
}

TEST_F(LiveryScanTest, TitlesGoToTheFileClaimedFirst) {
  const std::string text = "[GENERAL]\nicao_type_designator = B738\n[FLTSIM.0]\ntitle = \"T\"\nicao_airline = BAW\n";
  const auto first = writeCfg("first", text);
  const auto second = writeCfg("second", text);
  for (const bool secondEndsFirst : {false, true}) {
    lf_clearScanLists();
    auto a = gf_startWorker([&] { return lf_searchLiveriesinFile(1, first); });
    auto b = gf_startWorker([&] { return lf_searchLiveriesinFile(2, second); });
    ScannedCfgFile fileB = secondEndsFirst ? b.get() : ScannedCfgFile{};
    ScannedCfgFile fileA = a.get();
    if (!secondEndsFirst) fileB = b.get();
    EXPECT_EQ(lf_claimScannedFile(fileA).size(), 1u);
    EXPECT_TRUE(lf_claimScannedFile(fileB).empty());
    EXPECT_EQ(reportLines(), std::vector<std::string>{"incomplete: " + second.parent_path().string() +
                                                      " [FLTSIM.0] title \"T\" already exists"});
  }
  // Titles not to use, and the stub switch.
  struct Case {
    std::string title;
    bool suppressStub;
    bool kept;
  };
  gDontUseTitles.insert("unwanted");
  for (const Case& c : std::vector<Case>{{"X-STUB", true, false}, {"X_STUB", true, true}, {"X-STUB", false, true},
                                         {"FenixA320 BAW", false, false}, {"unwanted", false, false}}) {
    SUPPRESS_STUB.value = c.suppressStub;
    const auto path = writeCfg("stub", "[GENERAL]\nicao_type_designator = B738\n[FLTSIM.0]\ntitle = \"" + c.title +
                                           "\"\nicao_airline = BAW\n");
    EXPECT_EQ(scanAndClaim(path).size(), c.kept ? 1u : 0u) << c.title << " " << c.suppressStub;
  }
}
