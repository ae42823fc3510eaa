#include "airports/archived_files.h"

#include <algorithm>

#include "airports/apf_file.h"
#include "airports/apf_loading.h"
#include "core/clock.h"
#include "core/format.h"
#include "core/parameters.h"
#include "tests/airports/airports_test_support.h"

namespace {

const std::string kStandFile = "<parkpositions><parkpos id=\"1\"/></parkpositions>";

struct Server {
  WorkFolder folder;
  ScratchFolder served;
  DownloadDouble downloads{served.path()};
  void offer(const std::string& relative) const {
    std::filesystem::create_directories((served.path() / relative).parent_path());
    writeBytes(served.path() / relative, kStandFile);
  }
};

}  // namespace

TEST(ArchivedFiles, SourceLocationOrder) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> files;  // relative path, content
    bool onServer;
    std::string expected;
  };
  const Case cases[] = {
      {{{"airports/my_thirdparty/EDDF.txt", "archive/thirdparty/P/EDDF.xml\n"},
        {"airports/my_thirdparty/EDDF.xml", kStandFile}},
       true, "archive/thirdparty/P/EDDF.xml"},
      {{{"airports/my_thirdparty/EDDF.txt", ""}, {"airports/my_thirdparty/EDDF.xml", kStandFile}},
       true, "airports/my_thirdparty/EDDF.xml"},
      {{{"airports/my_thirdparty/EDDF.txt", "\n"}, {"airports/my_linkpack/EDDF.txt", "archive/stock/X.xml"}},
       true, "archive/stock/X.xml"},
      {{{"airports/my_linkpack/EDDF.xml", kStandFile}}, true, "airports/my_linkpack/EDDF.xml"},
      {{}, true, "archive/stock/EDDF.xml"},
      {{}, false, ""},
  };
  for (const Case& item : cases) {
    Server server;
    for (const auto& [path, content] : item.files) server.folder.write(path, content);
    if (item.onServer) server.offer("MSFS/archive/stock/EDDF.xml");
    EXPECT_EQ(std::filesystem::path(gf_stockApfExists("EDDF")), std::filesystem::path(item.expected));
    EXPECT_EQ(lf_ensureAirportFile("EDDF"), !item.expected.empty());
    EXPECT_FALSE(std::filesystem::exists(server.folder.path() / "EDDF.xml")) << "the probe file is removed";
  }
}

namespace {
std::uint64_t gSteady = 0;
std::uint64_t lf_steady() { return gSteady; }
}  // namespace

// Only the server's answers are kept. A download that failed otherwise is
// asked again once its back-off has passed, and not before: each try may hold
// the main loop or the airport scan for the transfer's limits. A server that
// gave no answer at all is asked nothing in that time, whichever file (the
// control step's probe, a neighbour's stand list, the scan's check of an
// airport), and says so once; after an error status of its own only that file
// waits. A file the server does not have is not asked again.
TEST(ArchivedFiles, ATransportFailureIsNoAnswerOfTheServer) {
  const SteadySource real = gf_setSteadySource(&lf_steady);
  constexpr std::uint64_t kMinute = 600'000'000;
  const std::string stock = "https://downloads.test/MSFS/archive/stock/";
  const auto backOff = [&](const char* icao, const std::string& then) {
    return "\"" + stock + icao + ".xml\" could not be downloaded, " + then +
           sk::format(" {} minutes", kAirportRetryMinutes);
  };
  const struct Row {
    const char* name;
    ServerAnswer failure;
    std::size_t tries;
    std::vector<std::string> logged;
  } rows[] = {
      {"no answer",
       ServerAnswer::NoAnswer,
       1,
       {backOff("EDDF", "nothing is asked of https://downloads.test for")}},
      {"error status",
       ServerAnswer::Failed,
       3,
       {backOff("EDDF", "next try in"), backOff("EDDM", "next try in"), backOff("LFBO", "next try in")}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LogCapture log;
    Server server;
    server.folder.write("airports/my_linkpack/EDDM.txt", "archive/stock/EDDM.xml");
    for (const char* icao : {"EDDF", "EDDM", "LFBO"})
      server.offer(sk::format("MSFS/archive/stock/{}.xml", icao));
    const auto askAll = [&] {
      std::string stand;
      const bool probed = gf_downloadArchivedAirport("EDDF");
      const bool stands = gf_readDestApfForClosestStand("EDDM", {0.0, 0.0}, stand) < 100.0;
      return probed + stands + lf_downloadStockApf("archive/stock/LFBO.xml", "LFBO.stock").empty();
    };
    server.downloads.failing = row.failure;
    EXPECT_EQ(askAll(), 0);
    EXPECT_EQ(server.downloads.urls().size(), row.tries);
    server.downloads.failing = ServerAnswer::Fetched;
    gSteady += (kAirportRetryMinutes - 1) * kMinute;
    EXPECT_EQ(askAll(), 0);
    EXPECT_EQ(server.downloads.urls().size(), row.tries) << "asked again within the back-off";
    auto lines = log.lines();
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::string& line) {
                                 return line.find("could not be downloaded") == std::string::npos;
                               }),
                lines.end());
    EXPECT_EQ(lines, row.logged);
    gSteady += kMinute;
    EXPECT_EQ(askAll(), 3);
  }

  Server server;
  EXPECT_FALSE(gf_downloadArchivedAirport("EDDK"));
  server.offer("MSFS/archive/stock/EDDK.xml");
  const std::size_t asked = server.downloads.urls().size();
  EXPECT_FALSE(gf_downloadArchivedAirport("EDDK")) << "the server said it has none";
  EXPECT_EQ(server.downloads.urls().size(), asked);
  gf_setSteadySource(real);
}

TEST(ArchivedFiles, DownloadFoldersAndLearnedPaths) {
  Server server;
  server.offer("MSFS/archive/simaddon/EDDF.xml");
  server.offer("MSFS2024/archive/thirdparty/Some Pub/EDDF.xml");
  server.offer("MSFS/archive/thirdparty/Some Pub/EDDF.xml");
  server.folder.write("airports/my_thirdparty/EDDF.txt", "archive/simaddon/EDDF.xml   \r\n");
  const bool was2020 = MSFS_2020.value;
  for (bool mode2020 : {true, false}) {
    MSFS_2020.value = mode2020;
    const std::string location = gf_stockApfExists("EDDF");
    EXPECT_EQ(location, "archive/simaddon/EDDF.xml");
    EXPECT_EQ(lf_downloadStockApf(location, "airports/park_airport.xml"), "");
    EXPECT_EQ(server.downloads.urls().back(), "https://downloads.test/MSFS/archive/simaddon/EDDF.xml");
    EXPECT_EQ(lf_downloadStockApf("archive/thirdparty/Some%20Pub/EDDF.xml", "airports/park_airport.xml"), "");
    EXPECT_EQ(server.downloads.urls().back(), std::string("https://downloads.test/") +
                                                  (mode2020 ? "MSFS/" : "MSFS2024/") +
                                                  "archive/thirdparty/Some%20Pub/EDDF.xml");
  }
  MSFS_2020.value = was2020;
  EXPECT_EQ(readBytes("airports/park_airport.xml"), kStandFile);

  LogCapture log;
  EXPECT_EQ(lf_downloadStockApf("archive/stock/NONE.xml", "airports/park_airport.xml"),
            "failed to download: \"https://downloads.test/MSFS/archive/stock/NONE.xml\"");
  EXPECT_FALSE(std::filesystem::exists("airports/park_airport.xml")) << "a failed download leaves nothing";
  EXPECT_EQ(log.lines().back(), "failed to download: \"https://downloads.test/MSFS/archive/stock/NONE.xml\"");

  const std::pair<std::string, std::string> paths[] = {
      {"archive/thirdparty/Some%20Pub/EDDF.xml", "airports/learned/thirdparty/Some Pub/EDDF.xml"},
      {"archive/stock/EDDF.xml", "airports/learned/stock/EDDF.xml"},
      {"airports/my_thirdparty/EDDF.xml", "airports/learned/thirdparty/P/EDDF.xml"},
      {"airports\\my_thirdparty\\EDDF.xml", "airports/learned/thirdparty/P/EDDF.xml"},
      {"airports\\my_thirdparty2024\\EDDF.xml", "airports/learned/thirdparty/P/EDDF.xml"},
      {"airports/my_linkpack/EDDF.xml", "airports/learned/my_linkpack/EDDF.xml"},
  };
  for (const auto& [location, learned] : paths)
    EXPECT_EQ(lf_archivePathOfAirport(location, "P"), std::filesystem::path(learned)) << location;
}

TEST(UntrustedPaths, RefusedLinksAndPublisherFolders) {
  Server server;
  server.folder.write("airports/my_linkpack/EDDF.xml", kStandFile);
  const std::string fallback = (std::filesystem::path("airports") / "my_linkpack" / "EDDF.xml").string();
  const std::pair<std::string, bool> links[] = {
      {"archive/../../x.xml", false},         {"archive/stock/../../../x.xml", false},
      {"/etc/x.xml", false},                  {"C:\\x.xml", false},
      {"archive/C:/x.xml", false},            {"archive\\stock\\EDDF.xml", false},
      {"archive//EDDF.xml", false},           {"archive/./EDDF.xml", false},
      {"archive/stock/EDDF.html", false}, {"archive/stock/EDDF", false},
      {"archive/thirdparty/P/EDDF_v2.xml", true},
  };
  std::vector<std::filesystem::path> learned;
  for (const auto& [line, accepted] : links) {
    server.folder.write("airports/my_thirdparty/EDDF.txt", line + "\n");
    const std::string location = gf_stockApfExists("EDDF");
    EXPECT_EQ(location, accepted ? line : fallback) << line;
    // The mapping takes either separator; only a link file must use '/'.
    const bool mappable = accepted || line == "archive\\stock\\EDDF.xml";
    EXPECT_EQ(lf_archivePathOfAirport(line, "P").empty(), !mappable) << line;
    learned.push_back(lf_archivePathOfAirport(location, "P"));
  }
  // A link file larger than 16 MB is not read, however good its line.
  server.folder.write("airports/my_thirdparty/EDDF.txt",
                      "archive/thirdparty/P/EDDF_v2.xml\n" + std::string(16U << 20, 'x'));
  EXPECT_EQ(gf_stockApfExists("EDDF"), fallback);
  const std::pair<std::string, std::string> publishers[] = {
      {"..", "unknown"}, {"", "unknown"}, {".", "unknown"}, {"a/b", "a_b"}, {"x:y", "x_y"},
      {"Foo Inc.", "Foo Inc"}, {"..\\..\\x", ".._.._x"}, {"a\tb<>|?*\"", "a_b______"},
  };
  for (const auto& [publisher, folderName] : publishers) {
    EXPECT_EQ(gf_publisherFolderName(publisher), folderName) << publisher;
    learned.push_back(lf_archivePathOfAirport("airports/my_thirdparty/EDDF.xml", publisher));
    EXPECT_EQ(learned.back(), std::filesystem::path("airports/learned/thirdparty") / folderName / "EDDF.xml");
  }
  ApfAirport airport;
  airport.publisher = "P";
  for (const std::filesystem::path& path : learned) {
    std::filesystem::create_directories(path.parent_path());
    EXPECT_TRUE(gf_writeApf(airport, path, APF_LEARNED)) << path;
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(server.folder.path())) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = std::filesystem::relative(entry.path(), server.folder.path()).generic_string();
    EXPECT_TRUE(relative.starts_with("airports/")) << relative;
  }
}
