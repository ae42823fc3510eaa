#include <algorithm>

#include "core/errors.h"
#include "core/parameters.h"
#include "core/parameters_xml.h"
#include "core/paths.h"
#include "install_fixture.h"
#include "liveries/data_downloads.h"
#include "liveries/dbase.h"
#include "run_test_support.h"
#include "shell/auto_range.h"
#include "shell/install_detection.h"
#include "shell/settings_registration.h"

namespace {

namespace fs = std::filesystem;

class InstallDetection : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    storeParameters({});
    MSFS_INSTALL_PATH.setValue("");
    MSFS_2024_INSTALL_PATH.setValue("");
    ALL_INSTALL_PATH.setValue("");
    MSFS_2020.value = true;
  }
  void TearDown() override {
    MSFS_INSTALL_PATH.setValue("");
    MSFS_2024_INSTALL_PATH.setValue("");
    ALL_INSTALL_PATH.setValue("");
    gDataBaseRead = false;
    RunTest::TearDown();
  }

};

using VersionChange = InstallDetection;

TEST_F(VersionChange, AnUpdateSwitchesBothScansOnAndEveryStartStoresTheRunningVersion) {
  struct Case {
    const char* stored;
    bool update;
  };
  for (const Case& c : {Case{"10.8.0", true}, Case{"10.9.5", false}, Case{"", false}}) {
    SCOPED_TRACE(c.stored);
    storeParameters({{"PROGRAM_VERSION", c.stored}, {"SCAN_LIVERIES", "false"}, {"SCAN_AIRPORTS", "false"}});
    writeBytes(folder() / "install_new_version.exe", "old installer");
    std::vector<std::string> ticked;
    ParameterControlHooks hooks;
    hooks.showCheck = [&](const CheckboxParameter& box) {
      if (box.value) ticked.push_back(box.name);
    };
    gf_setParameterControlHooks(hooks);
    const auto before = logged().size();

    lf_loadParameterLists();

    gf_setParameterControlHooks({});
    const std::string log = logged().substr(before);
    EXPECT_EQ(saved("PROGRAM_VERSION"), "10.9.4");
    EXPECT_EQ(log.find("This is a version update from 10.8.0 -> 10.9.4\n") != std::string::npos, c.update);
    EXPECT_EQ(saved("SCAN_LIVERIES"), c.update ? "true" : "false");
    EXPECT_EQ(saved("SCAN_AIRPORTS"), c.update ? "true" : "false");
    EXPECT_EQ(SCAN_LIVERIES.value, c.update);
    EXPECT_EQ(fs::exists(folder() / "install_new_version.exe"), !c.update);
    EXPECT_EQ(std::count(ticked.begin(), ticked.end(), "SCAN_LIVERIES"), c.update ? 1 : 0);
    EXPECT_EQ(std::count(ticked.begin(), ticked.end(), "SCAN_AIRPORTS"), c.update ? 1 : 0);
  }
}

TEST_F(VersionChange, TheLateralRangeIsClampedButTheRadiusIsNot) {
  gf_setLateralRange(150);
  EXPECT_EQ(LATERAL_RANGE.value, 100);
  EXPECT_EQ(gLateralRangeNm.load(), 150.0);
  EXPECT_EQ(gLateralRangeMeters.load(), 277800U);
  gf_setLateralRange(40);
}

TEST_F(InstallDetection, FindsThePackagesFolderOfEachLayout) {
  SKLM_SKIP_WITHOUT_FAKE_APPDATA();
  enum Layout { SteamAndStore, StoreOnly, StoreWithout2024, BoxedOnly, Nothing };
  struct Case {
    const char* name;
    Layout layout;
    bool msfs2020;
  };
  const Case cases[] = {{"Steam wins over Store", SteamAndStore, true},
                        {"Store alone", StoreOnly, true},
                        {"Store without Official2024 in 2024 mode", StoreWithout2024, false},
                        {"boxed alone", BoxedOnly, true},
                        {"nothing", Nothing, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeInstallation install;
    MSFS_2020.value = c.msfs2020;
    fs::path expected;
    switch (c.layout) {
      case SteamAndStore:
        install.store(true, install.packages("store", true, false));
        expected = install.steam(true);
        break;
      case StoreOnly:
        expected = install.packages("store", true, false);
        install.store(true, expected);
        break;
      case StoreWithout2024:
        install.store(false, install.packages("store", true, false));
        break;
      case BoxedOnly:
        expected = install.packages("boxed", true, false);
        install.boxed(expected);
        break;
      case Nothing:
        break;
    }
    const auto before = logged().size();
    EXPECT_EQ(gf_detectSimPackages(), expected);
    const std::string log = logged().substr(before);
    if (c.layout == SteamAndStore) {
      EXPECT_NE(log.find("Steam packages:" + expected.string() + "\n"), std::string::npos);
    }
    if (c.layout == Nothing) {
      for (const char* layout : {"Store", "Steam1", "Steam2", "Boxed"}) {
        EXPECT_NE(log.find(sk::format("MSFS detection, no {}:", layout)), std::string::npos) << layout;
      }
      EXPECT_NE(log.find("No UserCfg.opt found?\n"), std::string::npos);
    }
  }
}

TEST_F(InstallDetection, AFoundFolderIsStoredAndNoneStopsTheRunWithError150) {
  SKLM_SKIP_WITHOUT_FAKE_APPDATA();
  for (const bool found : {true, false}) {
    SCOPED_TRACE(found);
    FakeInstallation install;
    storeParameters({});
    const fs::path packages = found ? install.steam(true) : fs::path();
    if (found) {
      lf_detectInstallPaths();
      EXPECT_EQ(MSFS_INSTALL_PATH.value(), packages.string());
      EXPECT_EQ(saved("MSFS_INSTALL_PATH"), packages.string());
      EXPECT_EQ(ALL_INSTALL_PATH.value(), packages.string());
    } else {
      try {
        lf_detectInstallPaths();
        ADD_FAILURE() << "no error";
      } catch (const qlx::UserErrorException& e) {
        EXPECT_STREQ(e.what(),
                     "150: No install path detected, type full path to your Community folder above, and press Enter");
      }
      EXPECT_EQ(saved("MSFS_INSTALL_PATH"), "");
    }
  }
}

TEST_F(InstallDetection, ReadsTheFirstInstalledPackagesPathLine) {
  SKLM_SKIP_WITHOUT_FAKE_APPDATA();
  FakeInstallation install;
  const fs::path packages = install.packages("packages", true, false);
  const std::string quoted = "InstalledPackagesPath \"" + packages.string() + "\"";
  struct Case {
    const char* name;
    std::string content;
    bool found;
  };
  const Case cases[] = {
      {"quoted folder", "Version 66\n" + quoted + "\n", true},
      {"CR LF", "Version 66\r\n" + quoted + "\r\n", true},
      {"UTF-8 with BOM", "\xEF\xBB\xBF" + quoted + "\n", true},
      {"empty quotes", "InstalledPackagesPath \"\"\n", false},
      {"unterminated quote", "InstalledPackagesPath \"" + packages.string() + "\n", false},
      {"no quotes", "InstalledPackagesPath " + packages.string() + "\n", false},
      {"missing folder", "InstalledPackagesPath \"" + packages.string() + "-gone\"\n", false},
      {"first key line ends the search", "InstalledPackagesPath \"/nowhere\"\n" + quoted + "\n", false},
      {"no key", "Version 66\n", false},
      {"binary", std::string("\x00\x01\xff\xfe\x00", 5), false},
      // Not read at all, however good its first lines.
      {"larger than 16 MB", quoted + "\n" + std::string(16U << 20, 'x'), false},
  };
  const fs::path file = install.local() / "MSFSPackages" / "UserCfg.opt";
  fs::create_directories(file.parent_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(file, c.content);
    EXPECT_EQ(lf_readUserCfg(), c.found ? packages : fs::path());
  }
  // UTF-16 with its BOM reads like UTF-8.
  std::string utf16 = "\xFF\xFE";
  for (const char ch : quoted + "\r\n") utf16 += std::string{ch, '\0'};
  writeBytes(file, utf16);
  EXPECT_EQ(lf_readUserCfg(), packages);
}

TEST_F(InstallDetection, ACommunityFolderIsStoredAsItsParent) {
  const std::string tmp = folder().string();
  struct Case {
    std::string value;
    std::string stored;
    bool saved;
  };
  const Case cases[] = {
      {tmp + "/MSFS/Community", tmp + "/MSFS", true},
      {tmp + "/MSFS/Community/", tmp + "/MSFS", true},
      {"D:\\MSFS\\Community", "D:\\MSFS", true},
      {"D:\\MSFS\\Community\\", "D:\\MSFS", true},
      {tmp + "/CommunityGames/MSFS", tmp + "/CommunityGames/MSFS", false},
      {"Community", "Community", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    storeParameters({{"MSFS_INSTALL_PATH", "untouched"}});
    MSFS_INSTALL_PATH.setValue(c.value);
    lf_communityPath(MSFS_INSTALL_PATH);
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), c.stored);
    EXPECT_EQ(saved("MSFS_INSTALL_PATH"), c.saved ? c.stored : "untouched");
  }
}

TEST_F(InstallDetection, MakesItsFoldersListsAirportFilesAndFindsRealTraffic) {
  SKLM_SKIP_WITHOUT_FAKE_APPDATA();
  fs::create_directories(folder() / "airports" / "my_linkpack");
  writeBytes(folder() / "airports" / "my_linkpack" / "kept.xml", "kept");
  fs::rename(folder() / "input", folder() / "input.kept");  // a program folder without input/
  lf_createFolders();
  for (const char* made : {"output", "output/info", "output/errors", "airports", "airports/learned",
                           "airports/learned/stock", "airports/learned/linkpack", "airports/learned/thirdparty",
                           "airports/my_linkpack", "airports/my_thirdparty", "input/my_regcodes"}) {
    EXPECT_TRUE(fs::is_directory(folder() / made)) << made;
  }
  fs::remove_all(folder() / "input");
  fs::rename(folder() / "input.kept", folder() / "input");
  EXPECT_EQ(readBytes(folder() / "airports" / "my_linkpack" / "kept.xml"), "kept");

  for (const char* file : {"EGLL.XML", "LFPG1.XML", "EDDF.xml"}) {
    writeBytes(folder() / "airports" / "my_thirdparty" / file, "<airport/>");
  }
  fs::create_directories(folder() / "airports" / "my_thirdparty" / "ABCD.XML");
  // The extension's case does not matter: the scan writes "ICAO.xml".
  std::vector<std::string> listed = gf_listXmlFiles();
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"EDDF", "EGLL"}));

  for (const bool present : {true, false}) {
    SCOPED_TRACE(present);
    FakeInstallation install;
    install.steam(true);
    if (present) install.realTraffic();
    RecordingSink sink;
    lf_detectInstallPaths();
    EXPECT_EQ(gRtLocal, present);
    EXPECT_EQ(sink.messages.back(), present ? "RealTraffic detected at this PC" : "RealTraffic not detected at this PC");
  }
}

TEST_F(InstallDetection, PutsTheControlsIntoTheirStartStates) {
  SKLM_SKIP_WITHOUT_FAKE_APPDATA();
  openWindow();
  FakeInstallation install;
  install.steam(true);
  install.steam(false);
  struct Case {
    bool msfs2020;
    bool autoRange;
    const char* blocked;
  };
  for (const Case& c : {Case{true, false, ""}, Case{false, true, "KLM123"}}) {
    SCOPED_TRACE(c.msfs2020);
    storeParameters({{"MSFS_2020", c.msfs2020 ? "true" : "false"},
                     {"AUTO_RANGE", c.autoRange ? "true" : "false"},
                     {"MAX_FIT", "47"},
                     {"LATERAL_RANGE", "55"},
                     {"BLOCK_CALLSIGN", c.blocked}});
    lf_detectInstallPaths();
    drainMessages();
    const auto state = [](const ControlBinding& control) { return gf_testControlState(control.controlWindow); };
    EXPECT_FALSE(state(parking_percentage).enabled);
    EXPECT_TRUE(state(parking_percentage).text.empty());
    EXPECT_EQ(MAX_FIT_FL.value, 24.0F);
    EXPECT_FALSE(state(MAX_FIT_FL).enabled);
    EXPECT_TRUE(state(MAX_FIT_FL).text.empty());
    EXPECT_EQ(state(CALLSIGN_OBJECTIDS).enabled, c.msfs2020);
    EXPECT_EQ(state(LATERAL_RANGE).enabled, !c.autoRange);
    EXPECT_EQ(state(AUTO_RANGE_ABOVE_HEIGHT).enabled, c.autoRange);
    EXPECT_EQ(gManualLateralRange.load(), 55);
    EXPECT_EQ(state(gUnblockButton).enabled, std::string(c.blocked) != "");
    EXPECT_FALSE(state(DESTINATION).enabled);
  }
}

TEST_F(InstallDetection, ARestartReloadsTheSettingsButChecksNoUpdateAndReadsTheDataBaseOnce) {
  SKLM_SKIP_WITHOUT_FAKE_APPDATA();
  FakeInstallation install;
  install.steam(false);
  storeParameters({{"MSFS_2020", "false"}, {"MAX_LIVE", "20"}});
  // The data base comes from the scrambled fixture, counted.
  int dataBaseReads = 0;
  gf_setDataDownloads({[&](const fs::path& target) {
                         ++dataBaseReads;
                         fs::copy_file(fs::path(SKLM_BINARY_DIR) / "scrambled" / "temp2.xml", target,
                                       fs::copy_options::overwrite_existing);
                         return true;
                       },
                       nullptr});
  gDataBaseRead = false;
  lf_detectInstallPaths();
  EXPECT_EQ(count("gf_checkProgramUpdate"), 1);
  EXPECT_EQ(dataBaseReads, 1);

  run_doubles::clear();
  gRestart.store(true);
  storeParameters({{"MSFS_2020", "false"}, {"MAX_LIVE", "30"}});
  run_doubles::behaviour().companionMissing = true;
  lf_detectInstallPaths();
  EXPECT_EQ(MAX_LIVE.value, 30);
  EXPECT_EQ(count("gf_checkProgramUpdate"), 0);
  EXPECT_EQ(dataBaseReads, 1);
  EXPECT_EQ(count("gf_updateCompanionPackage"), 1);
  gf_setDataDownloads({});
  gf_clearDataBase();
}

}  // namespace
