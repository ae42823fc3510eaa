// Runs of the built program in a temporary program folder.
#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>

#include "platform/winsock.h"
#include "program_support.h"
#include "tools/dlserver/archive_writer.h"
#include "tools/dlserver/dlserver.h"

namespace {

using namespace std::chrono_literals;

class SkylumeProgram : public testing::Test {
 protected:
  // The program folder as installed (docs/, input/), a simulator in the Steam
  // layout under its application data, and a download server with the data base.
  void SetUp() override {
    std::filesystem::create_directories(m_folder / "docs");
    std::filesystem::create_directories(m_folder / "input");
    std::filesystem::copy_file(std::filesystem::path(SKLM_TEST_DATA_DIR) / "shell" / "airports_msfs.xml",
                               m_folder / "input" / "airports_msfs.xml");
    std::filesystem::create_directories(m_folder / "localappdata");
    m_packages = m_folder / "appdata" / "Microsoft Flight Simulator" / "Packages";
    std::filesystem::create_directories(m_packages / "Community");
    // AI packages with liveries: the first start scans them.
    std::filesystem::copy(std::filesystem::path(SKLM_TEST_DATA_DIR) / "liveries" / "community", m_packages / "Community",
                          std::filesystem::copy_options::recursive);
    std::filesystem::create_directories(m_packages / "Official" / "Steam");
    const auto served = m_folder / "served";
    dlsrv::gf_writeDemoFolder(served, "10.9.4");
    dlsrv::gf_writeArchive(served / "downloads" / "dbase.zip",
                           {{"temp2.xml", readBytes(std::filesystem::path(SKLM_BINARY_DIR) / "scrambled" / "temp2.xml")}});
    m_downloads = std::make_unique<dlsrv::DownloadServer>(served);
  }

  std::map<std::string, std::string> environment() const {
    return {{"APPDATA", (m_folder / "appdata").string()},
            {"LOCALAPPDATA", (m_folder / "localappdata").string()},
            {"SKLM_DOWNLOAD_SERVER", m_downloads->address()},
            {"DISPLAY", ""},
            // A login session of its own: the single-instance name of this
            // run meets no other program run on the machine.
            {"XDG_SESSION_ID", m_folder.path().filename().string()}};
  }

  void realTraffic() const {
    std::filesystem::create_directories(m_folder / "appdata" / "InsideSystems");
    writeBytes(m_folder / "appdata" / "InsideSystems" / "RealTraffic.jar", "jar");
  }

  bool startSkylume(Child& child) const { return child.start({SKLM_SKYLUME_EXE}, m_folder.path(), environment()); }

  std::string log() const { return readBytes(m_folder / "Log.txt"); }

  // SIGTERM takes the close button's exit path, and within seconds.
  void expectTermClosesLikeTheCloseButton(Child& skylume) const {
    skylume.signal(SIGTERM);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(skylume.waitExit(20s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    const std::string text = log();
    EXPECT_NE(text.find("Exiting: USER CLOSED SIM\n"), std::string::npos);
    EXPECT_NE(text.find("User closed Skylume\n"), std::string::npos);
  }

  bool logHas(const std::string& text, std::chrono::milliseconds bound = 20s) const {
    return eventually([&] { return log().find(text) != std::string::npos; }, bound);
  }

  static long threadsNamed(const Child& child, const std::string& name) {
    const auto names = child.threadNames();
    return std::count(names.begin(), names.end(), name);
  }

  ScratchFolder m_folder;
  std::filesystem::path m_packages;
  std::unique_ptr<dlsrv::DownloadServer> m_downloads;
};

TEST_F(SkylumeProgram, OneInstanceRunsAndATermSignalClosesItLikeTheCloseButton) {
  Child skylume;
  ASSERT_TRUE(startSkylume(skylume));
  ASSERT_TRUE(eventually([&] { return threadsNamed(skylume, "sklm-startup") == 1; }, 20s));

  Child second;
  ASSERT_TRUE(startSkylume(second));
  EXPECT_EQ(second.waitExit(20s), 255);

  expectTermClosesLikeTheCloseButton(skylume);
  const std::string text = log();
  // The closing time line ends the log: "Tue Dec  8 22:08:48 2026".
  auto lines = fileLines(m_folder / "Log.txt");
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().size(), 24U) << lines.back();
  EXPECT_EQ(lines.back().substr(20), text.substr(text.find(" (utc) ") + 27, 4)) << "the year closes the log";
}

// APPDATA naming a plain file: the data folder cannot be made. The window
// says so until the user closes it, which ends the program with a failure.
TEST_F(SkylumeProgram, ADataFolderThatCannotBeMadeEndsTheProgramWithAFailure) {
  std::filesystem::remove_all(m_folder / "appdata");
  writeBytes(m_folder / "appdata", "a file in the way");
  Child skylume;
  ASSERT_TRUE(startSkylume(skylume));
  EXPECT_TRUE(logHas("===> The data folder " + (m_folder / "appdata" / "Skylume").string() + " could not be made: "))
      << log();
  EXPECT_EQ(skylume.waitExit(2s), std::nullopt) << "the window waits for its close";
  skylume.signal(SIGTERM);
  EXPECT_EQ(skylume.waitExit(20s), 1);
  EXPECT_EQ(log().find("Exiting: "), std::string::npos) << "no run started, none to end";
}

}  // namespace

namespace {

TEST_F(SkylumeProgram, FindsTheSimulatorAndRealTrafficOfItsApplicationData) {
  realTraffic();
  Child skylume;
  ASSERT_TRUE(startSkylume(skylume));
  EXPECT_TRUE(logHas("Steam packages:" + m_packages.string() + "\n"));
  EXPECT_TRUE(logHas("RealTraffic detected at this PC\n"));
  EXPECT_TRUE(eventually([&] { return threadsNamed(skylume, "sklm-startup") == 1; }, 20s));
  skylume.signal(SIGTERM);
  EXPECT_EQ(skylume.waitExit(20s), 0);
  EXPECT_NE(log().find("MSFS_INSTALL_PATH=" + m_packages.string() + "\n"), std::string::npos);
}

}  // namespace

namespace {

// The simulator stand-in, rtplayer (with its link: replaying once asked for
// the version, its requests into requests.txt) and skylume pointed at the stand-in.
bool lf_startBesideStandIns(const std::filesystem::path& folder, std::map<std::string, std::string> variables,
                            Child& sim, Child& player, Child& skylume, bool link = false) {
  std::string address;
  if (!startSimulator(sim, folder, std::string(SKLM_TEST_DATA_DIR) + "/simstandin/schiphol.json", address))
    return false;
  std::vector<std::string> args{SKLM_RTPLAYER_EXE, "--now"};
  if (link) {
    args.insert(args.end(), {"--wait-version", "--record", (folder / "requests.txt").string()});
  } else {
    args.push_back("--no-link");
  }
  args.push_back(std::string(SKLM_TEST_DATA_DIR) + "/rtplayer/arrival.replay");
  if (!player.start(args, folder, {}, false, folder / "rtplayer.out")) return false;
  variables["SKLM_SIM_ADDR"] = address;
  return skylume.start({SKLM_SKYLUME_EXE}, folder, variables);
}

TEST_F(SkylumeProgram, ReachesItsMainLoopBesideTheStandInsAndFollowsTheFlight) {
  Child sim, player, skylume;
  ASSERT_TRUE(lf_startBesideStandIns(m_folder.path(), environment(), sim, player, skylume));
  // The readers run once the flight and the user position are known.
  ASSERT_TRUE(eventually([&] { return threadsNamed(skylume, "sklm-traffic") == 1; }, 30s)) << log();
  EXPECT_EQ(threadsNamed(skylume, "sklm-simconnect"), 1);
  EXPECT_EQ(threadsNamed(skylume, "sklm-qnh"), 1);

  Child second;
  ASSERT_TRUE(startSkylume(second));
  EXPECT_EQ(second.waitExit(20s), 255);

  // Past the traffic wait the main loop follows the simulator's flight state.
  ASSERT_TRUE(eventually([&] { return sim.send("flight off") && log().find(" Flight not running\n") != std::string::npos; },
                         30s))
      << log();
  sim.send("flight on");
  EXPECT_TRUE(logHas(" Flight resumed\n")) << log();

  skylume.signal(SIGTERM);
  EXPECT_EQ(skylume.waitExit(20s), 0);
  EXPECT_NE(log().find("User closed Skylume\n"), std::string::npos);
}

}  // namespace

namespace {

long lf_occurrences(const std::string& text, const std::string& part) {
  long count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(SkylumeProgram, ANewFlightRestartsTheRunInPlaceAfterItsCountdown) {
  Child sim, player, skylume;
  ASSERT_TRUE(lf_startBesideStandIns(m_folder.path(), environment(), sim, player, skylume));
  ASSERT_TRUE(logHas("Traffic Reader connected\n", 30s)) << log();

  sim.send("load " + (m_folder / "next.FLT").string());
  ASSERT_TRUE(logHas("Exiting: RESTART\n")) << log();
  EXPECT_TRUE(logHas("Restarting after 45 seconds\n")) << log();
  // The program uses the real clock: the new run starts 45 s later.
  ASSERT_TRUE(eventually([&] { return lf_occurrences(log(), "Traffic Reader connected\n") == 2; }, 90s)) << log();
  for (const char* name : {"sklm-startup", "sklm-simconnect", "sklm-traffic", "sklm-qnh"}) {
    EXPECT_EQ(threadsNamed(skylume, name), 1) << name;
  }
  // The stand-in saw the old session closed before the new one opened.
  const std::string trace = readBytes(m_folder / "trace.jsonl");
  EXPECT_EQ(lf_occurrences(trace, "\"event\":\"open\""), 2) << trace;
  const auto close = trace.find("\"event\":\"close\"");
  ASSERT_NE(close, std::string::npos) << trace;
  EXPECT_LT(trace.find("\"event\":\"open\""), close);
  EXPECT_LT(close, trace.rfind("\"event\":\"open\""));

  expectTermClosesLikeTheCloseButton(skylume);
}

}  // namespace

namespace {

TEST_F(SkylumeProgram, TalksWithRealTrafficOverTheLinkWhileTrafficFlows) {
  realTraffic();
  Child sim, player, skylume;
  ASSERT_TRUE(lf_startBesideStandIns(m_folder.path(), environment(), sim, player, skylume, true));
  ASSERT_TRUE(logHas("RealTraffic connected\n", 30s)) << log();
  const auto requests = [&] { return readBytes(m_folder / "requests.txt"); };
  // The user position once the readers run; the simulator time, which the
  // program keeps only for the professional edition the version reply named,
  // from the main loop's 15th beat on.
  EXPECT_TRUE(eventually([&] { return requests().find("Qs121=") != std::string::npos; }, 20s)) << requests();
  EXPECT_TRUE(eventually([&] { return requests().find("Qs123=") != std::string::npos; }, 40s)) << requests();
  // The replay began with the version request: the traffic wait ended on its lines.
  EXPECT_EQ(log().find("No traffic in this region?"), std::string::npos) << log();

  skylume.signal(SIGTERM);
  EXPECT_EQ(skylume.waitExit(20s), 0);
  EXPECT_TRUE(eventually([&] { return requests().find("exit\r\n") != std::string::npos; }, 5s)) << requests();
}

// A bare TCP socket of the test on the link's port.
struct LinkPeer {
  LinkPeer() {
    WSADATA data;
    WSAStartup(0x0202, &data);
  }
  ~LinkPeer() {
    closesocket(socket);
    WSACleanup();
  }
  sockaddr_in address(std::uint32_t host) const {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(10747);
    at.sin_addr.s_addr = htonl(host);
    return at;
  }
  bool listen() {
    socket = ws::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const BOOL reuse = 1;  // past links may leave the port in TIME_WAIT; two listeners still exclude each other
    ws::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    const sockaddr_in any = address(INADDR_ANY);
    return ws::bind(socket, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0 && ws::listen(socket, 1) == 0;
  }
  // Connects once the program's server listens.
  bool connect(std::chrono::milliseconds bound) {
    const sockaddr_in loopback = address(INADDR_LOOPBACK);
    return eventually(
        [&] {
          closesocket(socket);
          socket = ws::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
          return ws::connect(socket, reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback) == 0;
        },
        bound);
  }
  std::string receive() {
    char buffer[64];
    const int n = ws::recv(socket, buffer, sizeof buffer, 0);
    return std::string(buffer, static_cast<std::size_t>(std::max(n, 0)));
  }
  SOCKET socket = INVALID_SOCKET;
};

TEST_F(SkylumeProgram, ALinkThatFailsEndsTheRunWithASystemError) {
  struct Case {
    const char* name;
    bool portTaken;  // else RealTraffic answers the version request with bad JSON
    std::string shown;
  };
  const Case cases[] = {
      {"port taken", true, "sys error 5: Bind failed at port 10747 with error 10048 Address already in use\n"},
      {"bad version reply", false, "[json.exception.parse_error.101] parse error at line 1, column 1:"},
  };
  realTraffic();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(m_folder / "Log.txt");
    LinkPeer peer;
    if (c.portTaken) ASSERT_TRUE(peer.listen());
    Child sim, player, skylume;
    ASSERT_TRUE(lf_startBesideStandIns(m_folder.path(), environment(), sim, player, skylume));
    if (!c.portTaken) {
      ASSERT_TRUE(peer.connect(30s)) << log();
      EXPECT_EQ(peer.receive(), "Qs999=version\r\n");
      ws::send(peer.socket, "abc", 3, 0);
    }
    EXPECT_TRUE(logHas(c.shown, 30s)) << log();
    EXPECT_TRUE(logHas("Exiting: SYSTEM ERROR\n")) << log();
    EXPECT_EQ(skylume.waitExit(30s), 1) << log();
  }
}

// A folder where the program reads one of its XML files: each reader says so
// and the run goes on, or ends as a failure of that file asks; none aborts.
TEST_F(SkylumeProgram, AFolderInPlaceOfAnXmlFileIsRefusedByItsReader) {
  const struct {
    const char* file;
    const char* logged;
    int status;  // 0: still running, closed by SIGTERM
  } rows[] = {
      // The window position, then the settings: kept aside, defaults taken.
      {"appdata/Skylume/parameters.xml", "parameters.xml cannot be read; kept as ", 0},
      {"input/airports_msfs.xml", "Error 88: input/airports_msfs.xml not loaded is a folder, not a file", 0},
      {"output/LiveriesScanned.xml", "Error 51: File output/LiveriesScanned.xml not found", 0},
      {"input/temp2.xml", "sys error 23: data base could not be read from on-line?", 1},
  };
  const auto airports = m_folder / "input" / "airports_msfs.xml";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    std::filesystem::remove(m_folder / "Log.txt");
    std::filesystem::remove_all(m_folder / "appdata" / "Skylume");
    const auto place = m_folder / row.file;
    std::filesystem::remove(place);
    // Not empty, so that no removal of the file takes the folder away.
    std::filesystem::create_directories(place / "inside");
    Child skylume;
    ASSERT_TRUE(startSkylume(skylume));
    EXPECT_TRUE(logHas(row.logged, 30s)) << log();
    if (row.status == 0) skylume.signal(SIGTERM);
    EXPECT_EQ(skylume.waitExit(30s), row.status) << log();
    std::filesystem::remove_all(place);
    if (!std::filesystem::exists(airports))
      std::filesystem::copy_file(std::filesystem::path(SKLM_TEST_DATA_DIR) / "shell" / "airports_msfs.xml",
                                 airports);
  }
}

TEST_F(SkylumeProgram, TheSimulatorQuittingEndsWithStatus2) {
  Child sim, player, skylume;
  ASSERT_TRUE(lf_startBesideStandIns(m_folder.path(), environment(), sim, player, skylume));
  ASSERT_TRUE(logHas("Traffic Reader connected\n", 30s)) << log();
  sim.send("quit");
  EXPECT_TRUE(logHas("Exiting: SIM WAS CLOSED\n")) << log();
  EXPECT_EQ(skylume.waitExit(30s), 2) << log();
}

// A start that fails ends the process with a failure status, so that a script
// running it learns of it: a data base the server does not have, or trickles
// (a byte every 15 s, as a captive portal may), which ends once it stayed
// under 1 KB/s for 30 s. Log.txt names the data base before the start waits
// for it. A close while it downloads is no failure: the start ends quietly,
// with the close's status.
TEST_F(SkylumeProgram, ADataBaseThatCannotBeDownloadedEndsWithStatus1UnlessTheUserClosed) {
  const struct Row {
    const char* name;
    std::optional<dlsrv::Fault> fault;  // none: not on the server
    bool closed;
  } rows[] = {{"trickled", dlsrv::Fault{.byteEvery = 15s}, false},
              {"closed while it trickles", dlsrv::Fault{.byteEvery = 15s}, true},
              {"not on the server", std::nullopt, false}};
  const std::string asked =
      "asking the download server for \"" + m_downloads->address() + "/downloads/dbase.zip\"\n";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(m_folder / "Log.txt");
    if (row.fault) {
      m_downloads->setFault("/downloads/dbase.zip", *row.fault);
    } else {
      std::filesystem::remove(m_folder / "served" / "downloads" / "dbase.zip");
    }
    Child skylume;
    ASSERT_TRUE(startSkylume(skylume));
    ASSERT_TRUE(logHas(asked, 60s)) << log();
    const auto waitBegan = std::chrono::steady_clock::now();
    if (row.closed) {
      skylume.signal(SIGTERM);
      EXPECT_EQ(skylume.waitExit(30s), 0) << log();
      EXPECT_NE(log().find("Exiting: USER CLOSED SIM\n"), std::string::npos) << log();
      EXPECT_EQ(log().find("downloading dbase failed?"), std::string::npos) << log();
      EXPECT_EQ(log().find("sys error 23"), std::string::npos) << log();
      continue;
    }
    EXPECT_TRUE(logHas("sys error 23: data base could not be read from on-line?", 90s)) << log();
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - waitBegan).count();
    std::cout << "The start waited " << waited << " s for the data base (" << row.name << ")\n";
    EXPECT_LT(waited, 60.0);
    EXPECT_EQ(skylume.waitExit(30s), 1) << log();
    EXPECT_NE(log().find("===> downloading dbase failed?\n"), std::string::npos) << log();
    EXPECT_NE(log().find("Exiting: SYSTEM ERROR\n"), std::string::npos) << log();
  }
}

}  // namespace
