#include <gtest/gtest.h>

#include "airports/airport_list.h"
#include "airports/airport_scan.h"
#include "airports/bgl_airports.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/random.h"
#include "shell/app_state.h"
#include "shell/run_state.h"
#include "tests/airports/airports_test_support.h"
#include "tools/bglwrite/bglwrite.h"

namespace {

namespace fs = std::filesystem;

std::int64_t fixedClock() { return 133'000'000'000'000'000LL; }

// A scan bed: the work folder with the data base, the airport list, the
// simulator's folders below "sim" and the settings of one mode.
class ScanBed {
 public:
  explicit ScanBed(bool msfs2020)
      : m_msfs2020(MSFS_2020.value), m_path(MSFS_INSTALL_PATH.value()), m_path24(MSFS_2024_INSTALL_PATH.value()),
        m_scan(SCAN_AIRPORTS.value), m_clock(gf_setClockSource(fixedClock)), m_download(m_folder.path() / "served") {
    gf_setDataFolder(m_folder.path() / "data");
    fs::create_directories(m_folder.path() / "data");
    seedDataBase();
    m_folder.write("input/airports_msfs.xml",
                   "<?xml version=\"1.0\"?>\n<airports>\n"
                   "<airport code=\"EGLL\" lat=\"51.47\" lon=\"-0.46\" alt=\"83\"/>\n"
                   "<airport code=\"EGKK\" lat=\"51.15\" lon=\"-0.18\" alt=\"202\"/>\n</airports>\n");
    gf_resetAirports();
    gf_readAirports();
    MSFS_2020.value = msfs2020;
    (msfs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH).setValue((m_folder.path() / "sim").string());
    SCAN_AIRPORTS.value = true;
    gAirportsFound.store(false);
  }
  ~ScanBed() {
    MSFS_2020.value = m_msfs2020;
    MSFS_INSTALL_PATH.setValue(m_path);
    MSFS_2024_INSTALL_PATH.setValue(m_path24);
    SCAN_AIRPORTS.value = m_scan;
    gf_setClockSource(m_clock);
    gf_setScanWorkerHook({});
    gExitStarted.store(false);
    gf_resetAirports();
    gf_setDataFolder({});
  }
  // An airport file in a package below sim/Official or sim/Community.
  fs::path bgl(const std::string& relative, std::vector<bglw::Airport> airports) const {
    bglw::Section section{3, {}, 0, false, std::nullopt};
    for (bglw::Airport& a : airports) section.records.push_back({std::move(a), {}});
    const fs::path path = m_folder.path() / "sim" / relative;
    fs::create_directories(path.parent_path());
    EXPECT_TRUE(bglw::gf_writeBgl(bglw::gf_file({bglw::Section{0x65, {}, 64, false, {}}, section}), path));
    return path;
  }
  const WorkFolder& folder() const { return m_folder; }

 private:
  WorkFolder m_folder;
  bool m_msfs2020;
  std::string m_path, m_path24;
  bool m_scan;
  ClockSource m_clock;
  DownloadDouble m_download;
};

bglw::Airport airport(const std::string& icao, std::uint32_t stands, std::uint32_t helipads = 0) {
  bglw::Airport a;
  a.icao = icao;
  for (std::uint32_t i = 1; i <= stands; ++i)
    a.spots.push_back({10, 1 + i % 11, i, 0, 15.0F + i, 10.0F * i, 48.0 + 0.001 * i, 2.0 + 0.0005 * i});
  for (std::uint32_t i = 0; i < helipads; ++i) a.helipads.push_back({47.0 + 0.01 * i, 2.0, 18.0F});
  return a;
}

std::string text(const fs::path& path) { return fs::exists(path) ? readBytes(path) : std::string("<none>"); }

pugi::xml_document load(const fs::path& path) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_file(path.c_str())) << path;
  return document;
}

bool scanLogHas(const std::string& part) { return text(AirportsScanLogPath).find(part) != std::string::npos; }

TEST(AirportScan, LinksGeneratesAndSkipsIn2020Mode) {
  ScanBed bed(true);
  bed.bgl("Official/microsoft-airport-egll/scenery/egll.bgl", {airport("EGLL", 5)});
  bed.bgl("Community/somepub-eddf/scenery/eddf.bgl", {airport("EDDF", 11, 1)});
  bed.bgl("Community/somepub-loww/scenery/loww.bgl", {airport("LOWW", 3)});
  const fs::path kjfk = bed.bgl("Community/maker-kjfk/scenery/kjfk.bgl", {airport("KJFK", 9, 2)});
  bed.folder().write("sim/Community/maker-kjfk/manifest.json",
                     R"({"manufacturer": "Nobody Ltd", "creator": "Nobody"})");
  bed.bgl("Community/maker-lfpg/scenery/lfpg.bgl", {airport("LFPG", 4)});
  bed.bgl("Community/heavy-aircraft/scenery/eham.bgl", {airport("EHAM", 4)});
  bed.bgl("Community/fix/AFCAD Updates/ebbr.bgl", {airport("EBBR", 4)});
  bed.bgl("Community/mixed/scenery/lemd.Bgl", {airport("LEMD", 4)});
  const fs::path longPath = bed.folder().path() / "sim" / "Community" / "long";
  bed.bgl("Community/long/" + std::string(250 - longPath.string().size(), 'x') + "/lirf.bgl", {airport("LIRF", 4)});
  const std::string handmade =
      "<parameters><parameter name=\"handmade\" value=\"true\"/></parameters><parkpositions/>\n";
  bed.folder().write("airports/my_thirdparty/LFPG.xml", handmade);
  bed.folder().write("airports/my_thirdparty/OLDX.xml", "<parameters/>");
  bed.folder().write("airports/my_thirdparty/OLDX.txt", "archive/stock/OLDX.xml");

  gf_scanAirports();

  EXPECT_EQ(text(MyLinkpackFolder / "EGLL.txt"), "archive/simaddon/EGLL.xml");
  EXPECT_FALSE(fs::exists(MyLinkpackFolder / "EGLL.xml"));
  EXPECT_EQ(text(MyThirdpartyFolder / "EDDF.txt"), "archive/thirdparty/Some%20Pub/EDDF.xml");
  EXPECT_TRUE(fs::exists(MyThirdpartyFolder / "EDDF.xml"));
  EXPECT_TRUE(scanLogHas("===> EDDF has 12 parkpos while archived one has 10"));
  EXPECT_TRUE(fs::exists(MyThirdpartyFolder / "LOWW.txt"));
  EXPECT_TRUE(fs::exists(MyThirdpartyFolder / "LOWW.xml"));
  for (const fs::path& link : {MyLinkpackFolder / "EGLL.txt", MyThirdpartyFolder / "EDDF.txt"}) {
    std::string location;
    EXPECT_TRUE(lf_readLinkFile(link, location)) << link;
    EXPECT_TRUE(gf_isSafeServerPath(location)) << location;
  }
  // The unknown publisher's manifest is read once for the publisher and the file's header.
  const std::string log = text(AirportsScanLogPath);
  const std::string found = (fs::path("maker-kjfk") / "manifest.json").string() + " found";
  EXPECT_EQ(log.find(found), log.rfind(found)) << log;
  EXPECT_NE(log.find(found), std::string::npos) << log;
  EXPECT_NE(text(MyThirdpartyFolder / "KJFK.xml").find("Nobody Ltd"), std::string::npos);
  // The unknown publisher's file holds exactly the decoded stands.
  BglAirportActions none;
  std::vector<Stand> decoded = gf_decodeBglFile(kjfk, true, none).airports.at(0).stands;
  std::vector<Stand> read;
  gf_readParkPositions(load(MyThirdpartyFolder / "KJFK.xml"), read);
  ASSERT_EQ(read.size(), decoded.size());
  std::sort(decoded.begin(), decoded.end(), [](const Stand& a, const Stand& b) { return a.name < b.name; });
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].name, decoded[i].name);
    EXPECT_NEAR(read[i].latitude, decoded[i].latitude, 1e-6);
    EXPECT_NEAR(read[i].longitude, decoded[i].longitude, 1e-6);
    EXPECT_NEAR(read[i].radius, decoded[i].radius, 1e-6);
  }
  for (const char* skipped : {"EHAM", "EBBR", "LEMD", "LIRF"}) {
    EXPECT_FALSE(fs::exists(MyThirdpartyFolder / (std::string(skipped) + ".xml"))) << skipped;
    EXPECT_FALSE(scanLogHas(skipped)) << skipped;
  }
  EXPECT_EQ(text(MyThirdpartyFolder / "LFPG.xml"), handmade);
  EXPECT_FALSE(fs::exists(MyThirdpartyFolder / "OLDX.xml"));
  EXPECT_FALSE(fs::exists(MyThirdpartyFolder / "OLDX.txt"));
  EXPECT_TRUE(fs::exists(AirportsScanLogPath));
  EXPECT_FALSE(SCAN_AIRPORTS.value);
  EXPECT_NE(text(ParametersPath()).find("SCAN_AIRPORTS"), std::string::npos);
  EXPECT_FALSE(fs::exists(TbloFolder));
}

std::map<std::string, std::string> generatedFiles() {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(AirportsFolder))
    if (entry.is_regular_file()) files[entry.path().string()] = readBytes(entry.path());
  return files;
}

TEST(AirportScan, WorkersWriteWholeFiles) {
  ScanBed bed(true);
  bglw::InstallationOptions options;
  options.files = 40;
  options.airportEvery = 2;
  bglw::gf_writeInstallation(bed.folder().path() / "sim", options);
  std::map<std::string, std::string> byWorkers[2];
  for (const int workers : {1, 8}) {
    gf_setWorkerLimit(workers);
    gf_scanAirports();
    byWorkers[workers == 8] = generatedFiles();
  }
  gf_setWorkerLimit(std::thread::hardware_concurrency());
  EXPECT_GE(byWorkers[0].size(), 20U);
  EXPECT_EQ(byWorkers[0], byWorkers[1]);
  EXPECT_EQ(gRunningWorkers.load(), 0);

  // Two files of one airport: one whole file and no temporary one.
  fs::remove_all(bed.folder().path() / "sim");
  for (int i = 0; i < 6; ++i) bed.bgl("Community/maker/scenery/twin" + std::to_string(i) + ".bgl", {airport("EDDM", 40 + i)});
  gf_setWorkerLimit(8);
  gf_scanAirports();
  gf_setWorkerLimit(std::thread::hardware_concurrency());
  std::vector<Stand> read;
  gf_readParkPositions(load(MyThirdpartyFolder / "EDDM.xml"), read);
  EXPECT_GE(read.size(), 40U);
  for (const auto& [name, bytes] : generatedFiles()) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

TEST(AirportScan, UnreadAirportsGoToTbloIn2024Mode) {
  ScanBed bed(false);
  bed.bgl("Official/microsoft-airport-lirf/scenery/lirf.bgl", {airport("LIRF", 4)});
  bglw::Airport compiled = airport("EGLL", 1);
  compiled.compiled2024 = true;
  bed.bgl("Community/maker-egll/scenery/egll.bgl", {compiled});
  // EGKK is linked by one package and generated by another publisher's.
  bed.bgl("Community/somepub-egkk/scenery/egkk.bgl", {airport("EGKK", 6)});
  bed.bgl("Community/otherpub-egkk/scenery/egkk2.bgl", {airport("EGKK", 6)});
  bed.bgl("Community/otherpub-loww/scenery/loww.bgl", {airport("LOWW", 6)});
  bed.folder().write("airports/my_linkpack/KEEP.txt", "archive/simaddon/KEEP.xml");
  const std::string stock = "<parameters><parameter name=\"Qf_real\" value=\"50\"/>"
                            "<parameter name=\"WEEK\" value=\"20\"/></parameters>\n";
  bed.folder().write("served/MSFS/archive/stock/EGKK.xml", stock);
  bed.folder().write("served/MSFS/archive/stock/LOWW.xml",
                     "<parameters><parameter name=\"Qf_real\" value=\"50\"/>"
                     "<parameter name=\"WEEK\" value=\"true\"/></parameters>\n");

  gf_scanAirports();

  EXPECT_FALSE(scanLogHas("LIRF"));
  EXPECT_TRUE(fs::exists(MyLinkpackFolder / "KEEP.txt"));
  const std::string entry = text(TbloFolder / "EGLL.xml");
  EXPECT_NE(entry.find("egll.bgl\nEGLL by unknown, title: "), std::string::npos) << entry;
  EXPECT_TRUE(fs::exists(TbloFolder / "EGKK.xml"));
  EXPECT_FALSE(fs::exists(MyThirdpartyFolder / "EGKK.txt"));
  EXPECT_FALSE(fs::exists(TbloFolder / "LOWW.xml"));
  EXPECT_EQ(gAppState.tbloAirportCount.load(), 2);

  // Neither the stem nor a manifest names it: the package folder does, in lower case too.
  fs::remove_all(bed.folder().path() / "sim");
  bed.bgl("Community/maker-egll-heathrow/scenery/apt.bgl", {compiled});
  gf_scanAirports();
  EXPECT_NE(text(TbloFolder / "EGLL.xml").find("apt.bgl\nEGLL by unknown"), std::string::npos);
  EXPECT_EQ(gAppState.tbloAirportCount.load(), 1);

  // Nothing for TBLO: no folder.
  fs::remove_all(bed.folder().path() / "sim");
  bed.bgl("Community/maker-kjfk/scenery/kjfk.bgl", {airport("KJFK", 3)});
  gf_scanAirports();
  EXPECT_FALSE(fs::exists(TbloFolder));
  EXPECT_EQ(gAppState.tbloAirportCount.load(), 0);

  // A worker that throws (its TBLO folder cannot be made) ends alone.
  fs::remove_all(bed.folder().path() / "sim");
  bed.folder().write("TBLO", "a file in the way");
  bed.bgl("Community/maker-egll/scenery/egll.bgl", {compiled});
  bed.bgl("Community/microsoft-airport-kjfk/scenery/kjfk.bgl", {airport("KJFK", 3)});
  gf_scanAirports();
  EXPECT_EQ(gRunningWorkers.load(), 0);
  EXPECT_TRUE(fs::exists(MyLinkpackFolder / "KJFK.xml"));
  EXPECT_TRUE(scanLogHas("futs"));
}

TEST(AirportScan, AnExitEndsTheWalk) {
  ScanBed bed(false);
  for (int i = 0; i < 30; ++i) {
    bglw::Airport a = airport(std::string("KA") + static_cast<char>('A' + i / 26) + static_cast<char>('A' + i % 26), 30);
    bed.bgl("Community/maker/scenery/f" + std::to_string(100 + i) + ".bgl", {a});
  }
  std::size_t startedAtExit = 0;
  gf_setScanWorkerHook([&startedAtExit](std::size_t started) {
    if (started == 10) gExitStarted.store(true);
    startedAtExit = started;
  });
  DownloadDouble downloads(bed.folder().path() / "served");
  gf_scanAirports();
  EXPECT_EQ(startedAtExit, 10U);
  EXPECT_EQ(gRunningWorkers.load(), 0);
  EXPECT_TRUE(downloads.urls().empty());
  EXPECT_TRUE(SCAN_AIRPORTS.value);
  EXPECT_TRUE(fs::exists(AirportsScanLogPath));
  std::size_t generated = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(MyThirdpartyFolder)) generated += entry.is_regular_file();
  EXPECT_EQ(generated, 10U);
}

}  // namespace
