// Program update, companion package and data archives against the stand-in server.
#include "core/errors.h"
#include "core/format.h"
#include "core/parameters.h"
#include "core/util.h"
#include "core/zip_archive.h"
#include "download_test_support.h"
#include "shell/update.h"

namespace {

class DownloadUpdate : public DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    MYLINKPACK24_VERSION.setValue("");
    PROGRAM_INSTALL_PATH.setValue("");
  }
  void TearDown() override {
    MYLINKPACK24_VERSION.setValue("");
    PROGRAM_INSTALL_PATH.setValue("");
    DownloadTest::TearDown();
  }
  static std::filesystem::path linkpack() { return MyLinkpackFolder; }
  std::string savedParameters() const { return readBytes(program() / "parameters.xml"); }

  RecordingSink m_sink;
};

using DownloadProgramUpdate = DownloadUpdate;

TEST_F(DownloadProgramUpdate, ServerVersionDecides) {
  const std::string installer = "setup_Skylume_d_v10.9.5.zip";
  const std::string failed = "The downloading/unzipping of the new version failed? Try manually via tarvimo website";
  struct Row {
    const char* label;
    const char* version;  // null: no version file
    enum { Missing, Whole, Truncated, Damaged } archive;
    const char* installPath;
    std::vector<std::string> messages;
    bool ready;
  } rows[] = {
      {"same version", "10.9.4", Row::Whole, "", {}, false},
      {"no version file", nullptr, Row::Whole, "", {}, false},
      {"new, first run", "10.9.5", Row::Whole, "", {}, true},
      {"new, moved folder", "10.9.5\r\n", Row::Whole, "/elsewhere", {}, true},
      {"installer missing", "10.9.5", Row::Missing, "", {"Downloading program installer file version 10.9.5 failed", failed}, false},
      {"installer truncated", "10.9.5", Row::Truncated, "", {"Downloading program installer file version 10.9.5 failed", failed}, false},
      {"installer damaged", "10.9.5", Row::Damaged, "", {failed}, false},
  };
  const std::string exeBytes = randomBytes(700000);  // more than one chunk
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    std::filesystem::remove_all(served());
    std::filesystem::remove(InstallNewVersionPath);
    m_sink.messages.clear();
    server().setFault("/downloads/release/" + installer, {});
    if (row.version) serve("release/version.json", row.version);
    if (row.archive == Row::Damaged) {
      serveDamagedArchive("release/" + installer, {{"setup.exe", exeBytes}}, 0);
    } else if (row.archive != Row::Missing) {
      serveArchive("release/" + installer, {{"setup.exe", exeBytes}});
    }
    if (row.archive == Row::Truncated) {
      dlsrv::Fault truncated;
      truncated.truncateAfter = 4096;
      server().setFault("/downloads/release/" + installer, truncated);
    }
    PROGRAM_INSTALL_PATH.setValue(row.installPath);
    const auto before = requestsFor("release/" + installer);

    std::string thrown;
    try {
      gf_checkProgramUpdate();
    } catch (const qlx::UserErrorException& error) {
      thrown = error.what();
    }
    EXPECT_EQ(m_sink.messages, row.messages);
    EXPECT_FALSE(std::filesystem::exists(installer));
    EXPECT_FALSE(std::filesystem::exists(VersionJsonPath));
    if (row.ready) {
      EXPECT_EQ(thrown, sk::format("New version 10.9.5 available. Exit here, and run as administrator:   \"{}\"",
                                   (program() / "install_new_version.exe").string()));
      EXPECT_EQ(readBytes(InstallNewVersionPath), exeBytes);
    } else {
      EXPECT_EQ(thrown, "");
      EXPECT_FALSE(std::filesystem::exists(InstallNewVersionPath));
    }
    const bool asked = row.version && std::string(row.version) != "10.9.4";
    EXPECT_EQ(requestsFor("release/" + installer) - before, asked ? 1U : 0U);
  }
  EXPECT_TRUE(logged("===> Program Version file not found?"));
}

using DownloadCompanion = DownloadUpdate;

TEST_F(DownloadCompanion, InstallsAndRefetchesWhenTheFolderIsEmpty) {
  serve("mylinkpack24/version.json", "1.2.3");
  serveArchive("mylinkpack24/my_linkpack2024.zip",
               {{"sub/", ""}, {"sub/EGLL.dat", "egll"}, {"LFPG.dat", "lfpg"}});
  std::filesystem::create_directories(linkpack());
  writeBytes(linkpack() / "OLD.txt", "old");
  MYLINKPACK24_VERSION.setValue("");

  EXPECT_TRUE(gf_updateCompanionPackage());
  EXPECT_EQ(tree(linkpack()), (std::map<std::string, std::string>{{"EGLL.txt", "egll"}, {"LFPG.txt", "lfpg"}}));
  EXPECT_EQ(m_sink.messages, (std::vector<std::string>{"my_linkpack2024.zip unzipped 2 files",
                                                       "mylinkpack has been updated to version 1.2.3"}));
  EXPECT_EQ(MYLINKPACK24_VERSION.value(), "1.2.3");
  EXPECT_NE(savedParameters().find(R"(name="MYLINKPACK24_VERSION" value="1.2.3")"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("my_linkpack2024.zip"));

  // Current and filled: nothing fetched.
  EXPECT_FALSE(gf_updateCompanionPackage());
  EXPECT_EQ(requestsFor("mylinkpack24/my_linkpack2024.zip"), 1U);
  // Current but emptied by the user, then removed: fetched again each time.
  for (bool removeFolder : {false, true}) {
    if (removeFolder) {
      std::filesystem::remove_all(linkpack());
    } else {
      gf_clearFolder(linkpack());
    }
    EXPECT_TRUE(lf_companionFolderMissing());
    EXPECT_TRUE(gf_updateCompanionPackage());
    EXPECT_EQ(tree(linkpack()).size(), 2U);
  }
  EXPECT_EQ(requestsFor("mylinkpack24/my_linkpack2024.zip"), 3U);
}

TEST_F(DownloadCompanion, DamagedPackageKeepsTheInstalledOne) {
  serve("mylinkpack24/version.json", "2.0.0");
  const std::vector<dlsrv::ArchiveEntry> entries{{"EGLL.dat", "first entry"}, {"LFPG.dat", "second entry"}};
  struct Row {
    const char* label;
    int kind;
  } rows[] = {{"truncated", 0}, {"random bytes", 1}, {"second entry fails its CRC", 2}, {"no files", 3},
              {"inflating to 33 MB", 4}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    std::filesystem::remove_all(linkpack());
    std::filesystem::create_directories(linkpack());
    writeBytes(linkpack() / "EHAM.txt", "installed\r\nbytes");
    MYLINKPACK24_VERSION.setValue("1.0.0");
    const auto before = tree(linkpack());
    server().setFault("/downloads/mylinkpack24/my_linkpack2024.zip", {});
    if (row.kind == 0) {
      serveArchive("mylinkpack24/my_linkpack2024.zip", entries);
      dlsrv::Fault truncated;
      truncated.truncateAfter = 40;
      server().setFault("/downloads/mylinkpack24/my_linkpack2024.zip", truncated);
    } else if (row.kind == 1) {
      serve("mylinkpack24/my_linkpack2024.zip", randomBytes(5000));
    } else if (row.kind == 2) {
      serveDamagedArchive("mylinkpack24/my_linkpack2024.zip", entries, 1);
    } else if (row.kind == 3) {
      serveArchive("mylinkpack24/my_linkpack2024.zip", {{"empty/", ""}});
    } else {
      dlsrv::gf_writeLargeArchive(served() / "mylinkpack24" / "my_linkpack2024.zip", "EGLL.dat", 33U << 20, true);
    }
    EXPECT_FALSE(gf_updateCompanionPackage());
    EXPECT_EQ(tree(linkpack()), before);
    EXPECT_EQ(MYLINKPACK24_VERSION.value(), "1.0.0");
    EXPECT_FALSE(std::filesystem::exists("my_linkpack2024.zip"));
  }
  EXPECT_TRUE(m_sink.messages.empty());
}

using DownloadDataArchive = DownloadUpdate;

TEST_F(DownloadDataArchive, FetchesTheOneFileOrSaysWhy) {
  struct Table {
    const char* archive;
    const char* name;
    bool (*fetch)(const std::filesystem::path&);
  } tables[] = {{"dbase.zip", "dbase", gf_downloadDbase}, {"AIG-regcodes.zip", "AIG-regcodes", gf_downloadAigRegcodes}};
  std::filesystem::create_directories(InputFolder);
  const auto target = InputFolder / "data.xml";
  for (const Table& table : tables) {
    SCOPED_TRACE(table.name);
    serveArchive(table.archive, {{"folder/", ""}, {"data.xml", "<data base=\"1\"/>"}});
    EXPECT_TRUE(table.fetch(target));
    EXPECT_EQ(readBytes(target), "<data base=\"1\"/>");
    EXPECT_FALSE(std::filesystem::exists(table.archive));

    serve(table.archive, randomBytes(3000));
    EXPECT_FALSE(table.fetch(target));
    EXPECT_TRUE(logged(sk::format("===> unzipping {} failed?", table.name)));
    EXPECT_FALSE(std::filesystem::exists(target));

    // Refused before anything is unpacked: an archive of a few hundred
    // kilobytes inflating past the cap, and one whose records claim a terabyte.
    auto temporary = target;
    temporary += ".unzip.tmp";
    for (bool bomb : {true, false}) {
      SCOPED_TRACE(bomb ? "bomb" : "zip64 liar");
      if (bomb) {
        dlsrv::gf_writeLargeArchive(served() / table.archive, "data.xml", skzip::ZipEntry::kMaxSize + 1,
                                    true);
        EXPECT_LT(std::filesystem::file_size(served() / table.archive), 3U << 19);  // about 1 MB
      } else {
        dlsrv::gf_writeLyingZip64Archive(served() / table.archive, "data.xml", "<data/>", 1ULL << 40);
      }
      writeBytes(target, "earlier");
      EXPECT_FALSE(table.fetch(target));
      EXPECT_TRUE(logged(sk::format("===> unzipping {} failed?", table.name)));
      EXPECT_FALSE(std::filesystem::exists(target));
      EXPECT_FALSE(std::filesystem::exists(temporary));
    }

    writeBytes(target, "earlier");
    std::filesystem::remove(served() / table.archive);
    EXPECT_FALSE(table.fetch(target));
    EXPECT_TRUE(logged(sk::format("===> downloading {} failed?", table.name)));
    EXPECT_EQ(readBytes(target), "earlier");
    EXPECT_FALSE(std::filesystem::exists(table.archive));
  }
}

TEST_F(DownloadDataArchive, EntryNamesNeverEscape) {
  serve("mylinkpack24/version.json", "3.0.0");
  std::filesystem::create_directories(linkpack());
  writeBytes(linkpack() / "EHAM.txt", "installed");
  std::filesystem::create_directories(InputFolder);
  for (const char* bad : {"../x.dat", "/abs/y.dat", "a/../../z.dat", "..\\w.dat", "C:v.dat"}) {
    SCOPED_TRACE(bad);
    const std::vector<dlsrv::ArchiveEntry> entries{{"good.dat", "good"}, {bad, "escaped"}};
    serveArchive("mylinkpack24/my_linkpack2024.zip", entries);
    serveArchive("dbase.zip", entries);
    auto before = tree(root());
    before.erase("Log.txt");
    EXPECT_FALSE(gf_updateCompanionPackage());
    EXPECT_FALSE(gf_downloadDbase(InputFolder / "temp2.xml"));
    auto after = tree(root());
    after.erase("Log.txt");
    EXPECT_EQ(after, before);
  }
}

TEST_F(DownloadDataArchive, ClearFolderRemovesEveryEntry) {
  std::filesystem::create_directories("full/sub");
  writeBytes("full/a.txt", "a");
  writeBytes("full/sub/b.txt", "b");
  EXPECT_THROW(gf_clearFolder("full"), qlx::UserErrorException);  // a subfolder that is not empty
  std::filesystem::remove("full/sub/b.txt");
  gf_clearFolder("full");
  EXPECT_TRUE(std::filesystem::is_empty("full"));
  writeBytes("plain.txt", "p");
  gf_clearFolder("plain.txt");
  gf_clearFolder("missing");
  EXPECT_EQ(readBytes("plain.txt"), "p");
}

}  // namespace
