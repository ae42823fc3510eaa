#include "liveries/scan_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "core/clock.h"
#include "core/errors.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/random.h"
#include "core/util.h"
#include "liveries/dbase.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_processing.h"
#include "liveries/scan_lists.h"
#include "liveries/scan_reports.h"
#include "liveries_test_support.h"
#include "shell/run_state.h"

namespace {

struct Section {
  std::string title, airline, atcid;
  bool cargo = false;
};

// An aircraft.cfg of one type with one [FLTSIM.N] per section.
std::string cfgText(const std::string& type, const std::vector<Section>& sections) {
  std::string text = "[GENERAL]\nicao_type_designator = \"" + type + "\"\n";
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const Section& s = sections[i];
    text += sk::format("\n[FLTSIM.{}]\ntitle = \"{}\"\nicao_airline = \"{}\"\n", i, s.title, s.airline);
    if (!s.atcid.empty()) text += "atc_id = \"" + s.atcid + "\"\n";
    text += s.cargo ? "atc_parking_types = \"CARGO\"\n" : "atc_parking_types = \"GATE\"\n";
    text += "isAirTraffic = 1\n";
  }
  return text;
}

std::int64_t fixedClock() { return 1'700'000'000; }

class ScanDriverTest : public testing::Test {
 protected:
  void SetUp() override {
    gf_setDataDownloads({copier(scrambledFixture("temp2")), [](const std::filesystem::path&) { return false; }});
    gf_readDataBase();
    for (auto* folder : {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4, &lfolder5, &lfolder6, &lfolder7,
                         &lfolder8, &lfolder9}) {
      folder->setValue("");
    }
    SCAN_LIVERIES.value = true;
    LIG_AUTOMATIC.value = false;
    LIG_PRIORITIZE.value = false;
    gf_setClockSource(fixedClock);
  }
  void TearDown() override {
    gf_setClockSource(nullptr);
    gf_setLiveryScanSeams({});
    gExitStarted = false;
    gf_requestLiveryClearing();
    gf_serveLiveryClearing();
    lf_clearScanLists();
    gf_clearDataBase();
    gf_setWorkerLimit(std::thread::hardware_concurrency());
    for (auto* setting : {&SCAN_LIVERIES, &LIG_AUTOMATIC, &LIG_PRIORITIZE}) setting->value = setting->defaultValue;
  }

  std::filesystem::path write(const std::string& relative, const std::string& type, const std::vector<Section>& sections) {
    const auto file = program.path() / gf_pathFromUtf8(relative) / "aircraft.cfg";
    std::filesystem::create_directories(file.parent_path());
    writeBytes(file, cfgText(type, sections));
    return file;
  }

  std::vector<std::string> savedTitles() {
    std::vector<std::string> titles;
    for (const auto& line : fileLines(LiveriesScannedPath)) {
      const auto at = line.find("title=\"");
      if (at != std::string::npos) titles.push_back(line.substr(at + 7, line.find('"', at + 7) - at - 7));
    }
    return titles;
  }

  void automaticScan(const std::string& root, const std::vector<std::string>& titles);
  bool logged(const std::string& line) {
    const auto lines = log.lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  LogCapture log;
  ProgramFolder program;
};

TEST_F(ScanDriverTest, ManualFoldersInTheirOrder) {
  writeBytes(program.path() / "output" / "keep.txt", "x");
  EXPECT_THROW(gf_scanLiveries(), qlx::UserErrorException);
  EXPECT_TRUE(std::filesystem::exists(program.path() / "output" / "keep.txt"));

  const auto a = program.path() / "A", b = program.path() / "B", c = program.path() / "C";
  write("A/x", "B738", {{"A1", "BAW"}, {"A2", "BAW"}, {"A3", "BAW"}, {"A4", "KLM"}, {"A5", "KLM"}});
  write("B/x", "A320", {{"B1", "DLH"}, {"A1", "BAW"}});
  write("C/x", "B738", {{"C1", "BAW"}, {"C2", "DLH"}});
  lfolder0.setValue((program.path() / "missing").string());
  lfolder1.setValue(a.string());
  lfolder2.setValue(b.string());
  lfolder3.setValue(c.string());
  LIG_PRIORITIZE.value = true;
  gf_scanLiveries();
  EXPECT_TRUE(logged((program.path() / "missing").string() + " does not exist, skipped!"));
  EXPECT_TRUE(logged("5 liveries found in " + a.string()));
  EXPECT_TRUE(logged("1 liverie found in " + b.string()));
  EXPECT_TRUE(logged("8 in total"));
  // BAW B738 of folder C gives way to folder A's; A1 stands once.
  EXPECT_EQ(savedTitles(), (std::vector<std::string>{"A1", "A2", "A3", "B1", "C2", "A4", "A5"}));
  EXPECT_FALSE(SCAN_LIVERIES.value);
  EXPECT_TRUE(gLiveriesProcessed);
}

TEST_F(ScanDriverTest, AutomaticFindsThePackagesInOrder) {
  // The pruning words cut subtrees below a package, never the package's own path.
  // A user folder of 40 CJK characters keeps the deepest folder under 250
  // characters, though over 250 bytes in UTF-8.
  std::string cjkUser;
  for (int i = 0; i < 20; ++i) cjkUser += "\xE7\x94\xA8\xE6\x88\xB7";  // 用户
  const std::vector<std::string> all{"aig-aitraffic-oci title", "fsltl-traffic-base title",
                                     "user-aitraffic title"};
  for (const std::string root : {std::string("Community"), std::string("Users/airportfan/Community"),
                                 "Users/" + cjkUser + "/Community"}) {
    SCOPED_TRACE(root);
    automaticScan(root, all);
  }
  // Windows counts a path in UTF-16 units, two for a character outside the BMP
  // (four bytes in UTF-8): a user folder of them up to where FSLTL's aircraft
  // folder is 250 units long, though far fewer characters, leaves it out of the
  // walk; AIG's, two letters shorter, stays in.
  const auto units = [&](const std::string& user, const char* package) {
    const auto folder = sk::format("Users/{}/Community/{}/SimObjects/Airplanes/{}", user, package, package);
    return gf_utf8ToUtf16(gf_pathToUtf8(program.path() / gf_pathFromUtf8(folder))).size();
  };
  std::string wideUser = "u";
  // 𠮷, 40 to a folder: a name on Linux takes 255 bytes at most.
  for (int n = 1; units(wideUser, "fsltl-traffic-base") < 250; ++n)
    wideUser += n % 40 == 0 ? "/\xF0\xA0\xAE\xB7" : "\xF0\xA0\xAE\xB7";
  ASSERT_LT(units(wideUser, "aig-aitraffic-oci"), 250U);
  SCOPED_TRACE("outside the BMP");
  automaticScan("Users/" + wideUser + "/Community", {"aig-aitraffic-oci title", "user-aitraffic title"});
}

void ScanDriverTest::automaticScan(const std::string& root, const std::vector<std::string>& titles) {
  const auto community = program.path() / gf_pathFromUtf8(root);
  for (const char* package : {"user-aitraffic", "aig-aitraffic-oci", "x_CVT_aig-aitraffic-oci", "fsltl-traffic-base"}) {
    write(sk::format("{}/{}/SimObjects/Airplanes/{}", root, package, package), "B738",
          {{sk::format("{} title", package), "BAW"}});
  }
  write(root + "/aig-aitraffic-oci/SimObjects/airport-objects/Z", "B738", {{"airport title", "BAW"}});
  gf_setLiveryScanSeams({[community] { return community; }, {}});
  LIG_AUTOMATIC.value = true;
  AI_PACKAGE_ORDER.value = 3;
  SCAN_LIVERIES.value = true;
  gf_requestLiveryClearing();
  gf_serveLiveryClearing();
  const auto before = log.lines().size();
  gf_scanLiveries();
  std::vector<std::string> found;
  const auto lines = log.lines();
  for (const auto& line :
       std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end())) {
    if (line.starts_with("Automatic ")) found.push_back(line.substr(0, line.find(" scan")));
  }
  EXPECT_EQ(found, (std::vector<std::string>{"Automatic FSLTL", "Automatic AIG", "Automatic user-aitraffic"}));
  EXPECT_EQ(savedTitles(), titles);
  EXPECT_TRUE(logged(sk::format("{} in total", titles.size())));
  EXPECT_TRUE(logged("No errors"));
  EXPECT_FALSE(std::filesystem::exists(OutputErrorsFolder));
  AI_PACKAGE_ORDER.value = AI_PACKAGE_ORDER.defaultValue;
}

// A folder that cannot be listed inside a package costs only its own liveries:
// the walk logs it and goes on, and LiveriesScanned.xml keeps every other one.
TEST_F(ScanDriverTest, AnUnreadableFolderIsSkippedAndTheWalkGoesOn) {
#ifdef _WIN32
  GTEST_SKIP() << "a folder's mode does not make it unlistable on Windows";
#else
  const auto package = program.path() / "package";
  write("package/SimObjects/a", "B738", {{"A1", "BAW"}, {"A2", "BAW"}});
  write("package/SimObjects/locked/b", "B738", {{"L1", "KLM"}});
  write("package/SimObjects/c", "A320", {{"C1", "DLH"}});
  write("package/SimObjects/d", "A320", {{"D1", "BAW"}});
  write("other/e", "B738", {{"E1", "DLH"}});
  lfolder0.setValue(package.string());
  lfolder1.setValue((program.path() / "other").string());
  const auto locked = package / "SimObjects" / "locked";
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  {
    WithoutReadOverride unprivileged;
    gf_scanLiveries();
  }
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
  auto titles = savedTitles();
  std::sort(titles.begin(), titles.end());
  EXPECT_EQ(titles, (std::vector<std::string>{"A1", "A2", "C1", "D1", "E1"}));
  EXPECT_TRUE(logged("4 liveries found in " + package.string()));
  const auto lines = log.lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.starts_with("===> liveries search in folder " + locked.string() +
                            " skipped because of iterator problem");
  }));
  EXPECT_FALSE(SCAN_LIVERIES.value);
#endif
}

TEST_F(ScanDriverTest, PoolKeepsItsLimitAndTheSubmissionOrder) {
  const auto root = program.path() / "pool";
  for (int i = 0; i < 20; ++i) {
    // The shared title's airline tells which file kept it.
    write(sk::format("pool/f{:02}", i), "B738", {{sk::format("T{:02}", i), "BAW"}, {"Shared", i % 2 ? "KLM" : "DLH"}});
  }
  lfolder0.setValue(root.string());
  gf_setWorkerLimit(4);
  std::atomic<int> running{0}, most{0};
  std::atomic<int> released{0};
  gf_setLiveryScanSeams({{}, [&](const std::filesystem::path& file) {
                           const int now = ++running;
                           for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
                           }
                           thread_local std::mt19937 random(std::random_device{}());
                           std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
                           --running;
                           ++released;
                           if (file.parent_path().filename() == "f07") throw std::runtime_error("bad file");
                         }});
  // Which file the walk submits first decides who keeps the shared title.
  std::string first;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.path().filename() == "aircraft.cfg" && entry.path().parent_path().filename() != "f07") {
      first = entry.path().parent_path().filename().string();
      break;
    }
  }
  std::string saved;
  for (int run = 0; run < 20; ++run) {
    SCAN_LIVERIES.value = true;
    gf_requestLiveryClearing();
    gf_serveLiveryClearing();
    gf_scanLiveries();
    const std::string bytes = readBytes(LiveriesScannedPath);
    if (run == 0) saved = bytes;
    EXPECT_EQ(bytes, saved) << "run " << run;
  }
  EXPECT_LE(most.load(), 4);
  EXPECT_EQ(released.load(), 400);
  EXPECT_EQ(gRunningWorkers.load(), 0);
  const auto titles = savedTitles();
  EXPECT_EQ(titles.size(), 20u);  // 19 files, and the shared title once
  EXPECT_EQ(std::count(titles.begin(), titles.end(), "T07"), 0);
  const auto lines = log.lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with("===> liveries search aborted, futs ") && line.ends_with("bad file");
  }));
  // The shared title went to the file submitted first.
  ASSERT_FALSE(first.empty());
  const std::string airline = std::stoi(first.substr(1)) % 2 ? "KLM" : "DLH";
  EXPECT_NE(readBytes(LiveriesScannedPath).find("airl=\"" + airline + "\" type=\"B738\" title=\"Shared\""),
            std::string::npos);
}

TEST_F(ScanDriverTest, OldFileStaysUntilANewOneIsSaved) {
  write("A/x", "B738", {{"A1", "BAW"}});
  lfolder0.setValue((program.path() / "A").string());
  gf_scanLiveries();
  const std::string old = readBytes(LiveriesScannedPath);
  ASSERT_FALSE(old.empty());

  // Nothing found, manual (an empty folder) and automatic (a Community folder without packages).
  const auto empty = program.path() / "Empty";
  std::filesystem::create_directories(empty);
  lfolder0.setValue(empty.string());
  gf_setLiveryScanSeams({[empty] { return empty; }, {}});
  for (const bool automatic : {false, true}) {
    LIG_AUTOMATIC.value = automatic;
    SCAN_LIVERIES.value = true;
    try {
      gf_scanLiveries();
      ADD_FAILURE() << "an empty scan succeeded";
    } catch (const qlx::UserErrorException& error) {
      EXPECT_EQ(std::string(error.what()).substr(0, 3), automatic ? "43:" : "53:");
    }
    EXPECT_EQ(readBytes(LiveriesScannedPath), old);
  }
  LIG_AUTOMATIC.value = false;

  lfolder0.setValue((program.path() / "A").string());
  gf_requestLiveryClearing();
  gf_serveLiveryClearing();
  gf_setLiveryScanSeams({{}, [](const std::filesystem::path&) { gExitStarted = true; }});
  gf_scanLiveries();
  EXPECT_FALSE(std::filesystem::exists(LiveriesScannedPath));
  EXPECT_TRUE(SCAN_LIVERIES.value);
  EXPECT_FALSE(gLiveriesProcessed);
}

TEST_F(ScanDriverTest, DataBaseCorrectsOnlyFromWhatItKnows) {
  gDbaseRegistrations = {{"G-X", {"BBB", "B772", "AAA", true}},
                         {"G-Y", {"BBB", "", "", false}},
                         {"G-Z", {"", "", "", false}}};
  struct Row {
    LiveryData in;
    LiveryData out;
    std::vector<std::string> lines;
  };
  const std::string title = "T";
  const Row rows[] = {
      {{"BAW", "B738", title, "G-X", 1, false},
       {"AAA", "B772", title, "G-X", 1, true},
       {sk::format("{:80} G-X cargo false => true", title), sk::format("{:80} G-X airl BAW => AAA", title),
        sk::format("{:80} G-X model B738 => B772", title)}},
      {{"BAW", "B738", title, "G-Y", 1, false}, {"BBB", "B738", title, "G-Y", 1, false},
       {sk::format("{:80} G-Y airl BAW => BBB", title)}},
      {{"BAW", "B738", title, "G-Z", 1, false}, {"BAW", "B738", title, "G-Z", 1, false}, {}},
      {{"BAW", "B738", title, "", 1, false}, {"BAW", "B738", title, "", 1, false}, {}},
  };
  for (const Row& row : rows) {
    gDbaseCorrections.clear();
    LiveryData livery = row.in;
    lf_logDbaseCorrections(livery);
    EXPECT_TRUE(lf_liveryEquals(livery, row.out)) << row.in.atcid;
    EXPECT_EQ(gDbaseCorrections, row.lines);
  }
}

// A golden text file as the program writes it on this system: its '/' (there
// are none but the paths') as the system's separator, its line ends the system's.
std::string asWrittenHere(std::string text) {
  std::replace(text.begin(), text.end(), '/', static_cast<char>(std::filesystem::path::preferred_separator));
  return withLineEnds(text);
}

// Every file of the scan with the scratch path replaced, so that it compares with a golden file.
std::string withoutScratch(std::string text, const std::string& scratch) {
  for (auto at = text.find(scratch); at != std::string::npos; at = text.find(scratch, at)) {
    text.replace(at, scratch.size(), "<scratch>");
  }
  return text;
}

TEST_F(ScanDriverTest, FixtureCommunityGivesTheGoldenFiles) {
  // The data folder is a Linux path: under Wine a name that starts with '/' is
  // taken from the Linux root only while spelled with '/'; with backslashes (as
  // canonical() turns it) it is the current drive's root, the scratch folder's.
  // Made absolute now, it names the same folder both ways.
  const auto data = std::filesystem::absolute(std::filesystem::path(SKLM_TEST_DATA_DIR) / "liveries");
  const auto community = program.path() / "Community";
  std::filesystem::copy(data / "community", community, std::filesystem::copy_options::recursive);
  // 64 MB (sparse, so it takes no disk): listed invalid and never read.
  const auto huge = community / "user-aitraffic" / "SimObjects" / "Airplanes" / "USER_Huge" / "aircraft.cfg";
  std::filesystem::create_directories(huge.parent_path());
  writeBytes(huge, "[FLTSIM.0]\ntitle = \"Huge\"\n");
  std::filesystem::resize_file(huge, 64U << 20);
  gf_setDataDownloads({copier(scrambledFixture("temp2")), copier(scrambledFixture("AIG-regcodes"))});
  gf_setLiveryScanSeams({[community] { return community; }, {}});
  LIG_AUTOMATIC.value = true;
  AI_PACKAGE_ORDER.value = 3;
  gf_scanLiveries();
  AI_PACKAGE_ORDER.value = AI_PACKAGE_ORDER.defaultValue;

  const std::string scratch = gf_pathToUtf8(program.path());
  const auto golden = data / "community_golden";
  std::set<std::filesystem::path> made;
  for (const auto& entry : std::filesystem::recursive_directory_iterator("output")) {
    if (entry.is_regular_file()) made.insert(std::filesystem::relative(entry.path(), "output"));
  }
  std::set<std::filesystem::path> expected;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(golden)) {
    if (entry.is_regular_file()) expected.insert(std::filesystem::relative(entry.path(), golden));
  }
  EXPECT_EQ(made, expected);
  for (const auto& file : expected) {
    std::string text = withoutScratch(readBytes(std::filesystem::path("output") / file), scratch);
    if (const auto date = text.find("<info name=\"date\""); date != std::string::npos) {
      const auto line = text.rfind('\n', date) + 1;
      text.erase(line, text.find('\n', date) + 1 - line);
    }
    const std::string want = readBytes(golden / file);
    EXPECT_EQ(text, file.extension() == ".txt" ? asWrittenHere(want) : want) << file;
  }

  std::vector<std::string> walk;
  for (const auto& line : log.lines()) {
    const std::string text = withoutScratch(line, scratch);
    if (text.starts_with("Automatic ") || (text.find(" liverie") != std::string::npos && text.find(" found in ") != std::string::npos) ||
        text.ends_with(" in total") ||
        text.starts_with("conversion from error")) {
      walk.push_back(text);
    }
  }
  const auto package = [](const char* name) { return gf_pathToUtf8(std::filesystem::path("<scratch>") / "Community" / name); };
  EXPECT_EQ(walk, (std::vector<std::string>{
                      "Automatic FSLTL scan found folder: \"" + package("fsltl-traffic-base") + "\"",
                      "Automatic AIG scan found folder: \"" + package("aig-aitraffic-oci") + "\"",
                      "Automatic user-aitraffic scan found folder: \"" + package("user-aitraffic") + "\"",
                      "4 liveries found in " + package("fsltl-traffic-base"),
                      // the truncated UTF-16 file
                      "conversion from error from utf16 to utf8, code: 1113",
                      "2 liveries found in " + package("aig-aitraffic-oci"),
                      "1 liverie found in " + package("user-aitraffic"),
                      "7 in total",
                  }));
  EXPECT_NE(readBytes(gf_parametersFile()).find("name=\"SCAN_LIVERIES\" value=\"false\""), std::string::npos);
  EXPECT_FALSE(SCAN_LIVERIES.value);
  EXPECT_TRUE(logged("7 liveries read from " + gf_pathToUtf8(LiveriesScannedPath)));
  EXPECT_TRUE(gLiveriesProcessed);
}

}  // namespace
