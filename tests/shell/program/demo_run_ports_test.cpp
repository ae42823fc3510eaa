// The whole program on the demo: scripts/demo.sh lays out the program folder and
// the simulator installation, the stand-ins serve the data, play the recorded LFBO
// traffic fast and looped and stand in for the simulator, and the real skylume
// runs beside them until it is closed.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <sstream>

#include "../../traffic/scenario_checker.h"
#include "core/format.h"
#include "core/parameters.h"
#include "core/version.h"
#include "program_support.h"
#include "tools/dlserver/archive_writer.h"
#include "tools/dlserver/dlserver.h"
#include "tools/rtplayer/replay.h"
#include "tools/runreport/runreport.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Ten minutes of traffic in a minute, so that the landing, the departures and the
// circuit fall within the run; looped, it never runs dry on a slow machine.
constexpr int kReplaySpeed = 10;
const fs::path kSource = SKLM_SOURCE_DIR;
const fs::path kReplay = kSource / "demo" / "lfbo_20191111_1000-1010.replay";
const fs::path kEssaReplay = kSource / "demo" / "essa_20210824_0900-0910.replay";
const fs::path kDepartureLines = kSource / "tests" / "data" / "traffic" / "essa_20210824_0945_SAS69E_departure.txt";
constexpr double kFramesPerSecond = 30;  // the demo worlds' simulator
constexpr double kMetresPerNm = 1852;
// A position set at most this high above the world's elevation (a CG height) is
// on the ground.
constexpr double kOnGroundFt = 25;
bool lf_atGroundLevel(double altitudeFt, double groundFt) {
  return altitudeFt > groundFt - 5 && altitudeFt < groundFt + kOnGroundFt;
}

struct Creation {
  std::uint32_t id = 0;
  std::string title, tail;
  double lat = 0, lon = 0, altitudeFt = 0;
};

double lf_distanceM(double lat1, double lon1, double lat2, double lon2) {
  const double k = 3.141592653589793 / 180;
  const double x = (lon2 - lon1) * k * std::cos((lat1 + lat2) / 2 * k), y = (lat2 - lat1) * k;
  return std::hypot(x, y) * 6371008.8;
}

// The stand-in's trace as it grows: only whole lines are read, each once.
class TraceReader {
 public:
  TraceReader(fs::path path, double groundFt) : m_path(std::move(path)), m_groundFt(groundFt) {}
  void readOn() {
    std::ifstream in(m_path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(m_offset));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto end = text.rfind('\n');
    if (end == std::string::npos) return;
    m_offset += end + 1;
    std::istringstream lines(text.substr(0, end));
    for (std::string line; std::getline(lines, line);) {
      const auto j = nlohmann::json::parse(line, nullptr, false);
      if (j.is_discarded() || !j.contains("id")) continue;
      const auto id = j["id"].get<std::uint32_t>();
      const std::string event = j.value("event", "");
      if (event == "create") {
        creations.push_back(
            {id, j.value("title", ""), j.value("tail", ""), j.value("lat", 0.0), j.value("lon", 0.0), j.value("alt", 0.0)});
      } else if (event == "position") {
        const auto frame = j["frame"].get<std::int64_t>();
        m_moves.try_emplace(id, frame, frame).first->second.second = frame;
        const auto& v = j["values"];
        const double lat = v.value("Plane Latitude", 0.0), lon = v.value("Plane Longitude", 0.0);
        if (!lf_atGroundLevel(v.value("Plane Altitude", 1e9), m_groundFt)) {
          m_last.erase(id);
          continue;
        }
        if (const auto last = m_last.find(id); last != m_last.end())
          m_groundTravel[id] += lf_distanceM(last->second.first, last->second.second, lat, lon);
        m_last[id] = {lat, lon};
        m_groundPoints[id].emplace_back(lat, lon);
      }
    }
  }
  // Frames between an object's first and last position.
  std::int64_t framesMoved(std::uint32_t id) const {
    const auto it = m_moves.find(id);
    return it == m_moves.end() ? 0 : it->second.second - it->second.first;
  }
  // The longest way an object of this tail moved on the ground, in metres.
  double groundTravel(const std::string& tail) const {
    double longest = 0;
    for (const Creation& c : creations)
      if (const auto it = m_groundTravel.find(c.id); c.tail == tail && it != m_groundTravel.end())
        longest = std::max(longest, it->second);
    return longest;
  }
  // Whether an object of this tail came within the metres of the place on the ground.
  bool groundNear(const std::string& tail, double lat, double lon, double metres) const {
    return std::any_of(creations.begin(), creations.end(), [&](const Creation& c) {
      const auto it = m_groundPoints.find(c.id);
      return c.tail == tail && it != m_groundPoints.end() &&
             std::any_of(it->second.begin(), it->second.end(),
                         [&](const auto& p) { return lf_distanceM(p.first, p.second, lat, lon) <= metres; });
    });
  }
  std::vector<Creation> creations;

 private:
  fs::path m_path;
  double m_groundFt;
  std::size_t m_offset = 0;
  std::map<std::uint32_t, std::pair<std::int64_t, std::int64_t>> m_moves;
  std::map<std::uint32_t, std::pair<double, double>> m_last;
  std::map<std::uint32_t, double> m_groundTravel;
  std::map<std::uint32_t, std::vector<std::pair<double, double>>> m_groundPoints;
};

struct Report {
  double seconds = 0;  // since the replay's first line
  double lat = 0, lon = 0, altitudeFt = 0;
};

// Callsign -> its reports in the replay, in time order.
std::map<std::string, std::vector<Report>> lf_reportsOf(const fs::path& replay) {
  std::map<std::string, std::vector<Report>> reports;
  std::optional<double> first;
  for (const auto& item : rtplay::gf_readReplayFile(replay).items) {
    const auto fields = rtplay::gf_splitFields(item.text);
    if (item.kind != rtplay::DatagramKind::Traffic || fields.size() < 15) continue;
    const double stamp = rtplay::gf_parseNumber(fields[14]).value_or(0);
    if (!first) first = stamp;
    reports[std::string(fields[9])].push_back({stamp - *first, rtplay::gf_parseNumber(fields[2]).value_or(0),
                                               rtplay::gf_parseNumber(fields[3]).value_or(0),
                                               rtplay::gf_parseNumber(fields[4]).value_or(0)});
  }
  return reports;
}

// Callsign -> the longest leg between two of its reports in nautical miles; looped,
// the jump from its last report back to its first is one.
std::map<std::string, double> lf_longestLegs(const fs::path& replay, bool looped) {
  std::map<std::string, double> legs;
  for (const auto& [callsign, points] : lf_reportsOf(replay)) {
    double& longest = legs[callsign];
    for (std::size_t i = 0; i + (looped ? 0 : 1) < points.size(); ++i) {
      const Report& a = points[i];
      const Report& b = points[(i + 1) % points.size()];
      longest = std::max(longest, lf_distanceM(a.lat, a.lon, b.lat, b.lon) / kMetresPerNm);
    }
  }
  return legs;
}

// Callsign -> the livery title the log gave it ("RYR4LG EI-DPX RYR B738 =1= FSLTL_B738_RYR").
std::map<std::string, std::string> lf_liveriesOfLog(const fs::path& log) {
  std::map<std::string, std::string> titles;
  for (std::string line : fileLines(log)) {
    if (line.ends_with('\r')) line.pop_back();  // written on Windows
    const auto mark = line.find(" =");
    if (mark == std::string::npos || mark + 5 > line.size() || line[mark + 3] != '=' || line[mark + 4] != ' ')
      continue;
    std::istringstream words(line);
    std::string callsign;
    words >> callsign;
    titles[callsign] = line.substr(mark + 5);
  }
  return titles;
}

// The checker's bound on a step: the longest leg of the object's reports flown in
// the shortest time the engine gives a segment; a static aircraft never moves.
scenario::SideLog lf_legsOf(const std::vector<Creation>& creations,
                            const std::map<std::string, double>& legs) {
  scenario::SideLog side;
  for (const Creation& c : creations) {
    const auto it = legs.find(c.tail);
    side.segments.push_back({0, c.id, it == legs.end() ? 0 : it->second, 0});
  }
  return side;
}

// Whether the object stood still for a minute while the reports of its callsign
// moved on by more than 100 m. The object's clock is tied to its reports' by its
// creation, which follows its first report within seconds: a margin of 10 s.
bool lf_frozenWhileReportsMove(const runreport::TracedObject& object, const std::vector<Report>& reports) {
  constexpr double kStillFrames = 60 * kFramesPerSecond, kMarginS = 10;
  const auto& points = object.points;
  const auto timeOf = [&](std::int64_t frame) {
    return reports.front().seconds + static_cast<double>(frame - object.createdFrame()) / kFramesPerSecond;
  };
  for (std::size_t from = 0, to = 0; from < points.size(); from = to) {
    to = from + 1;
    while (to < points.size() &&
           lf_distanceM(points[from].lat, points[from].lon, points[to].lat, points[to].lon) < 1)
      ++to;
    const std::int64_t last = to < points.size() ? points[to].frame : object.removedFrame.value_or(points.back().frame);
    if (last - points[from].frame < kStillFrames) continue;
    const double begin = timeOf(points[from].frame) + kMarginS, end = timeOf(last) - kMarginS;
    std::optional<Report> first;
    for (const Report& r : reports) {
      if (r.seconds < begin || r.seconds > end) continue;
      if (!first) first = r;
      if (lf_distanceM(first->lat, first->lon, r.lat, r.lon) > 100) return true;
    }
  }
  return false;
}

// The Windows name of a Linux path: Wine's drive Z: is the root.
std::string lf_windowsPath(const fs::path& path) {
  std::string text = "Z:" + path.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// A program run in the tree's Wine prefix (scripts/wine.sh); its output, Wine's
// included, goes to a file: services Wine starts on the way would keep a pipe open.
std::vector<std::string> lf_inWine(const std::string& command, std::vector<std::string> args) {
  args.insert(args.begin(), {"/bin/bash", "-c", "source \"$0\" && exec 2>&1 && " + command,
                             (kSource / "scripts" / "wine.sh").string()});
  return args;
}

// skylume.exe of a Windows build run under Wine instead of the Linux program, on
// a virtual display of its own and closed through its window, as a user closes it.
struct WindowsProgram {
  fs::path build;           // skylume.exe, simconnect-standin.dll, tools/closewindow/closewindow.exe
  std::string appdataName;  // the user's application-data folder, in the program folder
  std::string display;      // the virtual display the Wine session was started on
  std::string programName;  // how the program folder's name ends
};

// One demo world run by the real program beside the stand-ins.
class WorldRun {
 public:
  explicit WorldRun(std::optional<WindowsProgram> windows = std::nullopt)
      : folder(windows ? windows->programName : std::string()), m_windows(std::move(windows)) {}
  ~WorldRun() {
    // Wine's own folders back in the shared prefix: the scratch folder goes.
    if (m_wineFolders) {
      Child reset;
      if (reset.start(
              lf_inWine("sk_wine_folders \"$WINEPREFIX/drive_c/users/$(id -un)/AppData/\"{Roaming,Local}",
                        {}),
              folder.path(), {}, false, folder / "wine-folders.out"))
        reset.waitExit(60s);
    }
  }

  // Lays out the world with scripts/demo.sh, serves its data and starts the
  // simulator, the player on the replay and skylume.
  void start(const std::string& world, const fs::path& replay, std::vector<std::string> playerOptions) {
    Child demo;
    ASSERT_TRUE(demo.start({"/bin/bash", (kSource / "scripts" / "demo.sh").string(), SKLM_BINARY_DIR,
                            folder.path().string(), world},
                           folder.path(), {}));
    ASSERT_EQ(demo.waitExit(60s), 0);
    if (m_windows) {
      ASSERT_NO_FATAL_FAILURE(moveAppdata());
    }

    const auto served = folder / "served";
    dlsrv::gf_writeDemoFolder(served, gf_versionToString(ProgramVersion));
    dlsrv::gf_writeArchive(served / "downloads" / "dbase.zip",
                           {{"temp2.xml", readBytes(folder / "data" / "temp2.xml")}});
    dlsrv::gf_writeArchive(served / "downloads" / "AIG-regcodes.zip",
                           {{"AIG-regcodes.xml", readBytes(folder / "data" / "AIG-regcodes.xml")}});
    m_downloads = std::make_unique<dlsrv::DownloadServer>(served);

    std::string address;
    ASSERT_TRUE(
        startSimulator(sim, folder.path(), (kSource / "demo" / (world + "_sim.json")).string(), address));
    playerOptions.insert(playerOptions.begin(), SKLM_RTPLAYER_EXE);
    playerOptions.push_back(replay.string());
    ASSERT_TRUE(player.start(playerOptions, folder.path(), {}, false, folder / "rtplayer.out"));
    if (m_windows) {
      ASSERT_NO_FATAL_FAILURE(startUnderWine(address));
      return;
    }
    ASSERT_TRUE(skylume.start({SKLM_SKYLUME_EXE}, folder.path(),
                              {{"APPDATA", (folder / "appdata").string()},
                               {"LOCALAPPDATA", (folder / "localappdata").string()},
                               {"SKLM_DOWNLOAD_SERVER", m_downloads->address()},
                               {"SKLM_SIM_ADDR", address},
                               {"DISPLAY", ""},
                               {"XDG_SESSION_ID", folder.path().filename().string()}}));
  }

  // The user closes skylume; then the simulator ends, its trace complete.
  void close() {
    if (m_windows) {
      closeThroughTheWindow();
    } else {
      skylume.signal(SIGTERM);
      EXPECT_EQ(skylume.waitExit(30s), 0);
    }
    sim.send("exit");
    EXPECT_EQ(sim.waitExit(20s), 0);
    EXPECT_NE(
        readBytes(folder / "Log.txt").find("User closed Skylume" + std::string(m_windows ? "\r\n" : "\n")),
        std::string::npos);
  }

  // The user's application-data folder, where the settings are saved.
  fs::path appdata() const { return folder / (m_windows ? m_windows->appdataName : "appdata"); }
  // A path in the program folder as the program shows it: Windows's separator on Windows.
  std::string shown(std::string path) const {
    if (m_windows) std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }
  // The screenshot of the Windows program's display taken just before the close.
  fs::path screenshot() const { return m_windows ? m_windows->build / "demo-run.png" : fs::path(); }

  runreport::TraceFacts traceFacts() const {
    std::ifstream in(folder / "trace.jsonl");
    return runreport::gf_readTrace(in);
  }
  runreport::LogFacts logFacts() const {
    std::ifstream in(folder / "Log.txt");
    return runreport::gf_readLog(in);
  }
  // What the run showed, for the reader of a failure.
  std::string capabilityTable() const {
    return runreport::gf_formatTable(runreport::gf_countCapabilities(traceFacts(), logFacts()));
  }
  bool logHas(const std::string& text) const {
    return readBytes(folder / "Log.txt").find(text) != std::string::npos;
  }
  dlsrv::DownloadServer& downloads() { return *m_downloads; }

  ScratchFolder folder;
  Child sim, player, skylume;

 private:
  // The simulator installation demo.sh laid out moves with the folder: its
  // UserCfg.opt names the packages' folder as Windows names it.
  void moveAppdata() {
    fs::rename(folder / "appdata", appdata());
    const auto packages = appdata() / "Microsoft Flight Simulator" / "Packages";
    writeBytes(packages.parent_path() / "UserCfg.opt",
               "InstalledPackagesPath \"" + lf_windowsPath(packages) + "\"\r\n");
    Child set;
    ASSERT_TRUE(set.start(
        lf_inWine("sk_wine_folders \"$1\" \"$2\"", {appdata().string(), (folder / "localappdata").string()}),
        folder.path(), {}, false, folder / "wine-folders.out"));
    m_wineFolders = true;
    ASSERT_EQ(set.waitExit(60s), 0) << readBytes(folder / "wine-folders.out");
  }

  void startUnderWine(const std::string& simAddress) {
    ASSERT_TRUE(skylume.start(
        lf_inWine("exec wine \"$@\"", {(m_windows->build / "skylume.exe").string()}), folder.path(),
        {{"SKLM_DOWNLOAD_SERVER", m_downloads->address()},
         {"SKLM_SIM_ADDR", simAddress},
         {"SKLM_SIMCONNECT_DLL", lf_windowsPath(m_windows->build / "simconnect-standin.dll")},
         {"DISPLAY", m_windows->display}},
        false, folder / "skylume.out"));
  }

  // closewindow with the options on the program's window (its class is its name).
  int runCloseWindow(std::vector<std::string> options) {
    Child closer;
    options.insert(options.begin(), (m_windows->build / "tools" / "closewindow" / "closewindow.exe").string());
    options.insert(options.end(), {"Skylume", "30"});
    if (!closer.start(lf_inWine("exec wine \"$@\"", options), folder.path(), {{"DISPLAY", m_windows->display}},
                      false, folder / "closewindow.out"))
      return -1;
    return closer.waitExit(60s).value_or(-1);
  }

  // What the simulator holds besides the user aircraft, one object a line.
  std::string simulatorObjects() {
    const fs::path output = folder / "simstandin.out";
    const std::size_t before = readBytes(output).size();
    // An unknown command answers with the help, after the listing.
    sim.send("objects");
    sim.send("help");
    std::size_t end = std::string::npos;
    eventually([&] { return (end = readBytes(output).find("commands: ", before)) != std::string::npos; }, 20s);
    std::istringstream lines(readBytes(output).substr(before, end == std::string::npos ? 0 : end - before));
    std::string objects;
    for (std::string line; std::getline(lines, line);)
      if (!line.ends_with("(user)")) objects += line + "\n";
    return end == std::string::npos ? "no answer" : objects;
  }

  std::string savedDestination() const {
    pugi::xml_document parameters;
    parameters.load_file((appdata() / "Skylume" / "parameters.xml").c_str());
    const auto node = parameters.select_node("//parameter[@name='DESTINATION']");
    return node ? node.node().attribute("value").value() : "missing";
  }

  // The display as the user last saw it, kept in the Windows build for a person
  // to look at; then the user, who set a destination during the run, logs off:
  // the system ends the program once its window has returned from WM_ENDSESSION.
  void closeThroughTheWindow() {
    EXPECT_EQ(runCloseWindow({"--type", std::to_string(DESTINATION.controlId), "lfbo"}), 0)
        << readBytes(folder / "closewindow.out");
    EXPECT_TRUE(eventually([&] { return savedDestination() == "LFBO"; }, 30s)) << savedDestination();
    Child shot;
    EXPECT_TRUE(shot.start({"/usr/bin/import", "-window", "root", screenshot().string()}, folder.path(),
                           {{"DISPLAY", m_windows->display}}, false, folder / "import.out"));
    EXPECT_EQ(shot.waitExit(60s), 0) << readBytes(folder / "import.out");
    EXPECT_EQ(runCloseWindow({"--end-session"}), 0) << readBytes(folder / "closewindow.out");
    EXPECT_EQ(skylume.waitExit(60s), 0) << readBytes(folder / "skylume.out");
    // Nothing the final exit does was lost to the end of the process.
    EXPECT_EQ(simulatorObjects(), "");
    EXPECT_EQ(savedDestination(), "");
    const std::string log = readBytes(folder / "Log.txt");
    const auto took = log.find("The session ends: the final exit took ");
    ASSERT_NE(took, std::string::npos) << log;
    std::cout << "Log-off: " << readBytes(folder / "closewindow.out") << log.substr(took, log.find('\r', took) - took)
              << "\n";
  }

  std::optional<WindowsProgram> m_windows;
  bool m_wineFolders = false;
  std::unique_ptr<dlsrv::DownloadServer> m_downloads;
};

// Prints the capability table of a run when the test has failed by the end of the scope.
struct TableOnFailure {
  const WorldRun& run;
  ~TableOnFailure() {
    if (::testing::Test::HasFailure())
      std::cerr << "The capabilities of this run:\n" << run.capabilityTable();
  }
};

// The LFBO demo run by the program the run starts, checked from start to close.
void lf_runLfboDemo(WorldRun& run) {
  TableOnFailure table{run};
  ASSERT_NO_FATAL_FAILURE(run.start(
      "lfbo", kReplay, {"--loop", "--now", "--speed", std::to_string(kReplaySpeed), "--qnh", "1013"}));
  const auto& folder = run.folder;
  constexpr double kGroundFt = 499;

  // Parked aircraft at LFBO's stands (the user stands at A8), live aircraft that
  // move for ten seconds, RYR4LG rolling out on the ground to where it was reported
  // 22 s after its touchdown.
  const auto legs = lf_longestLegs(kReplay, true);
  const auto isLive = [&](const Creation& c) { return legs.count(c.tail) > 0; };
  TraceReader trace(folder / "trace.jsonl", kGroundFt);
  const bool seen = eventually(
      [&] {
        trace.readOn();
        const auto& all = trace.creations;
        const bool parked = std::any_of(all.begin(), all.end(), [](const Creation& c) {
          return c.tail.ends_with('*') && lf_distanceM(c.lat, c.lon, 43.628621, 1.36985) < 1000;
        });
        const bool moved = std::any_of(all.begin(), all.end(), [&](const Creation& c) {
          return isLive(c) && trace.framesMoved(c.id) >= 300;
        });
        return parked && moved && trace.groundNear("RYR4LG", 43.624498, 1.367340, 30);
      },
      150s);
  EXPECT_TRUE(seen) << "creations: " << trace.creations.size() << ", RYR4LG on the ground "
                    << trace.groundTravel("RYR4LG") << " m\n"
                    << readBytes(folder / "Log.txt");

  run.close();
  const std::string log = readBytes(folder / "Log.txt");

  // Every live aircraft wears the livery its match named and is created within the
  // range the automatic range gives a user on the ground, and not more than 3000 ft
  // above the park airport (the airliners passing far above are dropped); no object breaks a
  // per-frame rule or stays after the close.
  trace.readOn();
  const auto liveries = lf_liveriesOfLog(folder / "Log.txt");
  for (const Creation& c : trace.creations) {
    const auto it = liveries.find(c.tail);
    EXPECT_TRUE(it != liveries.end() && it->second == c.title) << c.tail << " created as " << c.title;
    if (isLive(c)) {
      EXPECT_LE(lf_distanceM(c.lat, c.lon, 43.628621, 1.36985) / kMetresPerNm, 10.0)
          << c.tail << " created so far";
      EXPECT_LE(c.altitudeFt, kGroundFt + 3000) << c.tail << " created so high";
    }
  }
  std::ifstream all(folder / "trace.jsonl");
  for (const auto& v : scenario::gf_checkTrace(all, lf_legsOf(trace.creations, legs), {0, 3, 0, 0}))
    ADD_FAILURE() << scenario::gf_describe(v);

  // The settings and the learned stands are saved whole.
  pugi::xml_document parameters, learned;
  EXPECT_TRUE(parameters.load_file((run.appdata() / "Skylume" / "parameters.xml").c_str()));
  EXPECT_TRUE(parameters.select_node("//parameter[@name='LATERAL_RANGE']")) << "parameters.xml";
  EXPECT_NE(log.find("\"" + run.shown("airports/learned/thirdparty/unknown/LFBO.xml") + "\" saved"),
            std::string::npos)
      << log;
  ASSERT_TRUE(
      learned.load_file((folder / "airports" / "learned" / "thirdparty" / "unknown" / "LFBO.xml").c_str()));
  EXPECT_GE(learned.select_nodes("/parkpositions/parkpos").size(), 15U);
  EXPECT_GE(learned.select_nodes("/parkpositions/parkpos/opt").size(), 105U)
      << "the demo's learned uses kept";
}

// Real surface movements at Arlanda played as they happened: aircraft come on the
// ground, stand at their stands, and SAS1136, whose approach reports are ground
// reports (its pressure altitude on short final is below zero), rolls out and
// taxies without ever leaving the ground again, and parks at F3, where its
// reports stop (their speed stays a stale 104.6 kt).
TEST(DemoRun, EssaSurfaceTrafficIsCreatedOnTheGroundTaxisAndParks) {
  WorldRun run;
  TableOnFailure table{run};
  ASSERT_NO_FATAL_FAILURE(run.start("essa", kEssaReplay, {"--now", "--wait-version", "--speed", "1", "--qnh", "1013"}));
  constexpr double kGroundFt = 137;
  TraceReader trace(run.folder / "trace.jsonl", kGroundFt);
  const auto parked = [&] {
    const auto created = run.logFacts().createdParked;
    return std::any_of(created.begin(), created.end(),
                       [](const std::string& c) { return c == "THY5HT" || c == "SAS2023"; });
  };
  const auto atStand = [&] { return run.logHas(" SAS1136  arrived at stand"); };
  const bool seen = eventually(
      [&] {
        trace.readOn();
        return trace.groundTravel("SAS1136") >= 1000 && parked() && atStand();
      },
      420s);
  EXPECT_TRUE(seen) << "SAS1136 on the ground " << trace.groundTravel("SAS1136") << " m, "
                    << (atStand() ? "" : "not ") << "at a stand, THY5HT or SAS2023 " << (parked() ? "" : "not ")
                    << "created parked\n"
                    << readBytes(run.folder / "Log.txt");
  EXPECT_TRUE(run.logHas("F3      : SAS1136  arrived at stand"));
  run.close();

  const auto facts = run.traceFacts();
  const auto log = run.logFacts();
  const auto reports = lf_reportsOf(kEssaReplay);
  std::size_t onGround = 0;
  for (const auto& [id, object] : facts.objects) {
    const auto it = reports.find(object.tail);
    if (object.isStatic() || it == reports.end()) continue;
    onGround += object.createdOnGround;
    EXPECT_FALSE(lf_frozenWhileReportsMove(object, it->second)) << object.tail << " stood still";
    if (object.tail != "SAS1136") continue;
    const auto touchdown = std::find_if(object.points.begin(), object.points.end(), [&](const auto& p) {
      return lf_atGroundLevel(p.altitudeFt, kGroundFt);
    });
    EXPECT_TRUE(std::all_of(touchdown, object.points.end(),
                            [&](const auto& p) { return lf_atGroundLevel(p.altitudeFt, kGroundFt); }))
        << "SAS1136 left the ground";
  }
  EXPECT_GE(onGround, 1U);
  EXPECT_EQ(std::count(log.tookOff.begin(), log.tookOff.end(), "SAS1136"), 0);
  EXPECT_EQ(log.arrivedAtStand, std::vector<std::string>{"SAS1136"}) << "parked at a stand";

  std::ifstream all(run.folder / "trace.jsonl");
  for (const auto& v : scenario::gf_checkTrace(all, lf_legsOf(trace.creations, lf_longestLegs(kEssaReplay, false)),
                                               {0, 3, 0, 0}))
    ADD_FAILURE() << scenario::gf_describe(v);
}

// The longest time in seconds a live aircraft was given no new position, a
// standstill still under way counted up to the frame given as now.
double lf_longestStandstill(const runreport::TraceFacts& facts, std::int64_t now) {
  std::int64_t longest = 0;
  for (const auto& [id, object] : facts.objects) {
    if (object.isStatic()) continue;
    for (std::size_t i = 1; i < object.points.size(); ++i)
      longest = std::max(longest, object.points[i].frame - object.points[i - 1].frame);
    if (!object.removedFrame) longest = std::max(longest, now - object.points.back().frame);
  }
  return static_cast<double>(longest) / kFramesPerSecond;
}

// The user lifts off from LFBO, whose parked aircraft go, and stands on the
// ground at LFCL, whose parking file is looked for on the download server. A
// server that accepts and never answers holds every live aircraft no longer
// than the transfer's stall limit (20 s), one that trickles the file a byte at
// a time no longer than the whole bound of a small file (30 s); the server is
// asked nothing more at the next control steps (16 s apart), so the aircraft
// move on in between.
void lf_hangTheAirportDownload(const dlsrv::Fault& fault, double boundS) {
  WorldRun run;
  TableOnFailure table{run};
  ASSERT_NO_FATAL_FAILURE(run.start(
      "lfbo", kReplay, {"--loop", "--now", "--speed", std::to_string(kReplaySpeed), "--qnh", "1013"}));
  const auto legs = lf_longestLegs(kReplay, true);
  TraceReader trace(run.folder / "trace.jsonl", 499);
  ASSERT_TRUE(eventually(
      [&] {
        trace.readOn();
        return std::any_of(trace.creations.begin(), trace.creations.end(), [&](const Creation& c) {
          return legs.count(c.tail) > 0 && trace.framesMoved(c.id) >= 300;
        });
      },
      150s))
      << readBytes(run.folder / "Log.txt");

  const std::string file = "/downloads/MSFS/archive/stock/LFCL.xml";
  // The stand-in trickles only a file it holds.
  fs::create_directories((run.folder / "served" / file.substr(1)).parent_path());
  writeBytes(run.folder / "served" / file.substr(1),
             "<parkpositions><parkpos id=\"1\" latitude=\"43.5861\" longitude=\"1.49917\"/></parkpositions>");
  run.downloads().setFault(file, fault);
  ASSERT_TRUE(run.sim.send("user 43.628621 1.36985 19500 air"));
  ASSERT_TRUE(eventually([&] { return run.logHas("is out of sight"); }, 40s)) << readBytes(run.folder / "Log.txt");
  const auto asked = [&] {
    const auto all = run.downloads().requests();
    return std::count_if(all.begin(), all.end(),
                         [&](const dlsrv::Request& r) { return r.line == "GET " + file + " HTTP/1.1"; });
  };
  ASSERT_EQ(asked(), 0);
  ASSERT_TRUE(run.sim.send("user 43.5861 1.49917 459 ground"));
  ASSERT_TRUE(eventually([&] { return asked() == 1; }, 40s)) << readBytes(run.folder / "Log.txt");
  const std::int64_t askedAt = run.traceFacts().lastFrame;
  const auto askedWhen = std::chrono::steady_clock::now();
  // A minute of frames on, the try has ended and two control steps came after it.
  const bool steppedOn = eventually(
      [&] {
        for (const auto& [id, object] : run.traceFacts().objects)
          if (!object.isStatic() && object.points.back().frame - askedAt > 60 * kFramesPerSecond) return true;
        return false;
      },
      120s);
  // The stand-in's frames follow the real clock; a program that hangs traces none.
  const auto facts = run.traceFacts();
  const auto now = askedAt + static_cast<std::int64_t>(
                                 std::chrono::duration<double>(std::chrono::steady_clock::now() - askedWhen).count() *
                                 kFramesPerSecond);
  const double standstill = lf_longestStandstill(facts, std::max(facts.lastFrame, now));
  std::cout << "The live aircraft stood still for " << standstill << " s at most\n";
  EXPECT_TRUE(steppedOn) << "no live aircraft moved a minute after the try";
  EXPECT_LE(standstill, boundS);
  EXPECT_EQ(asked(), 1) << "asked again within the back-off";
  // What the main loop waited for, named before it waited.
  EXPECT_TRUE(run.logHas("asking the download server for \"" + run.downloads().address() + file + "\"\n"));
  EXPECT_TRUE(run.logHas("\"" + run.downloads().address() + file +
                         "\" could not be downloaded, nothing is asked of " + run.downloads().address() +
                         " for 5 minutes\n"))
      << readBytes(run.folder / "Log.txt");
  run.close();
}

TEST(DemoRun, ADownloadThatHangsHoldsTheLiveAircraftOnlyForTheStallLimit) {
  lf_hangTheAirportDownload({.silent = true}, 25);
}

TEST(DemoRun, ADownloadThatTricklesHoldsTheLiveAircraftOnlyForTheWholeBound) {
  lf_hangTheAirportDownload({.byteEvery = std::chrono::seconds(15)}, 35);
}

// SAS69E's departure played in the ESSA world with the day's QNH once the park
// airport is loaded, from its first line (standing at the runway start) or from
// its 19th (first seen at 98 kt). Shown 18-30 s behind the feed, it is created on
// the ground where it was first reported, rolls at ground level along the line of
// its reports, and lifts off not before its first report climbing faster than
// 256 ft/min and within 500 m past its first one the parser takes as airborne.
void lf_runDeparture(std::size_t firstLine) {
  WorldRun run;
  TableOnFailure table{run};
  const auto all = fileLines(kDepartureLines);
  const fs::path replay = run.folder / "sas69e.replay";
  // The player starts when skylume asks for its version; the updates are taken
  // from the park airport's load on, some 20 s later: the lines come 45 s on. A
  // last QNH two minutes after them keeps the link until the close.
  const auto timeOf = [](const std::string& line) {
    return *rtplay::gf_parseNumber(rtplay::gf_splitFields(line)[rtplay::kTimestampField]);
  };
  std::string text = sk::format("QNH,{:.1f},1031\n", timeOf(all[firstLine]) - 45);
  for (std::size_t i = firstLine; i < all.size(); ++i) text += all[i] + "\n";
  text += sk::format("QNH,{:.1f},1031\n", timeOf(all.back()) + 120);
  writeBytes(replay, text);
  ASSERT_NO_FATAL_FAILURE(run.start("essa", replay, {"--now", "--wait-version", "--speed", "1", "--qnh", "1031"}));
  constexpr double kGroundFt = 137;
  const bool tookOff = eventually([&] { return run.logHas("SAS69E   took-off"); }, 180s);
  // The climb shown for a while, then the close.
  TraceReader trace(run.folder / "trace.jsonl", kGroundFt);
  eventually([&] {
    trace.readOn();
    return std::any_of(trace.creations.begin(), trace.creations.end(),
                       [&](const Creation& c) { return trace.framesMoved(c.id) >= 90 * kFramesPerSecond; });
  }, 60s);
  run.close();
  EXPECT_TRUE(tookOff) << readBytes(run.folder / "Log.txt");

  std::vector<Report> reports = lf_reportsOf(replay)["SAS69E"];
  ASSERT_FALSE(reports.empty());
  std::optional<Report> climbing, airborne;
  for (const auto& item : rtplay::gf_readReplayFile(replay).items) {
    const auto fields = rtplay::gf_splitFields(item.text);
    if (item.kind != rtplay::DatagramKind::Traffic || fields.size() < 6) continue;
    const double rate = rtplay::gf_parseNumber(fields[5]).value_or(0);
    const Report r{0, rtplay::gf_parseNumber(fields[2]).value_or(0), rtplay::gf_parseNumber(fields[3]).value_or(0),
                   rtplay::gf_parseNumber(fields[4]).value_or(0)};
    if (!climbing && rate > 256) climbing = r;
    if (!airborne && r.altitudeFt >= 150) airborne = r;
  }
  ASSERT_TRUE(climbing && airborne);
  // The nearest place on its reports' line: how far off it, and when the reports were there.
  const auto onLine = [&](const runreport::TracePoint& p) {
    double best = 1e9, seconds = 0;
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
      // Flat locally: metres east and north of report i.
      const Report& a = reports[i];
      const Report& b = reports[i + 1];
      const double k = std::cos(a.lat * 3.141592653589793 / 180) * 111195, m = 111195;
      const double bx = (b.lon - a.lon) * k, by = (b.lat - a.lat) * m, px = (p.lon - a.lon) * k, py = (p.lat - a.lat) * m;
      const double len2 = bx * bx + by * by;
      const double t = len2 > 0 ? std::clamp((px * bx + py * by) / len2, 0.0, 1.0) : 0.0;
      if (const double off = std::hypot(px - t * bx, py - t * by); off < best) {
        best = off;
        seconds = a.seconds + t * (b.seconds - a.seconds);
      }
    }
    return std::pair{best, seconds};
  };
  const auto offLine = [&](const runreport::TracePoint& p) { return onLine(p).first; };
  const auto facts = run.traceFacts();
  std::size_t departures = 0;
  for (const auto& [id, object] : facts.objects) {
    if (object.tail != "SAS69E" || object.points.empty()) continue;
    ++departures;
    EXPECT_TRUE(object.createdOnGround);
    const auto& first = object.points.front();
    EXPECT_LT(lf_distanceM(first.lat, first.lon, reports.front().lat, reports.front().lon), 30.0);
    const auto liftOff = std::find_if(object.points.begin(), object.points.end(),
                                      [&](const auto& p) { return !lf_atGroundLevel(p.altitudeFt, kGroundFt); });
    ASSERT_NE(liftOff, object.points.end()) << "SAS69E never left the ground";
    for (auto p = object.points.begin(); p != liftOff; ++p) EXPECT_LT(offLine(*p), 30.0) << "frame " << p->frame;
    // Its roll as a user sees it: its reports accelerate all the way, so it never
    // loses 30 kt within 10 s, and it never races above 170 kt (they reach 148).
    // Timed by the program's own clock where the trace carries it: a program
    // that ran late catches up, and its frames bunch.
    const auto secondsOf = [](const runreport::TracePoint& p) {
      return p.tick >= 0 ? static_cast<double>(p.tick) / 100.0 : static_cast<double>(p.frame) / kFramesPerSecond;
    };
    std::vector<std::pair<double, double>> speeds;  // seconds, knots over the second before
    for (auto p = object.points.begin() + 1; p < liftOff; ++p) {
      const double seconds = secondsOf(*p) - secondsOf(*(p - 1));
      if (seconds <= 0) continue;
      speeds.emplace_back(secondsOf(*p),
                          lf_distanceM((p - 1)->lat, (p - 1)->lon, p->lat, p->lon) / seconds * 3600 / 1852);
    }
    // Created at its first report when that is shown, it is where its reports
    // were as long ago as it exists, within 3 s after its first 5 s.
    double worstLag = 0;
    const auto timed =
        std::find_if(object.points.begin(), liftOff, [](const auto& p) { return p.tick >= 0; });
    for (auto p = timed; p < liftOff; ++p) {
      const double shown = secondsOf(*p) - secondsOf(*timed);
      if (shown >= 5.0)
        worstLag = std::max(worstLag, std::abs(shown - (onLine(*p).second - reports.front().seconds)));
    }
    EXPECT_LT(worstLag, 3.0) << "off the time of its reports";
    double fastest = 0, worstLoss = 0;
    for (std::size_t i = 0; i < speeds.size(); ++i) {
      fastest = std::max(fastest, speeds[i].second);
      for (std::size_t j = 0; j < i; ++j)
        if (speeds[i].first - speeds[j].first <= 10.0)
          worstLoss = std::max(worstLoss, speeds[j].second - speeds[i].second);
    }
    EXPECT_LT(fastest, 170.0) << "raced on the runway";
    EXPECT_LT(worstLoss, 30.0) << "braked while its reports accelerated";
    EXPECT_GT(lf_distanceM(liftOff->lat, liftOff->lon, first.lat, first.lon),
              lf_distanceM(climbing->lat, climbing->lon, first.lat, first.lon))
        << "lifted off before its reports climbed";
    const double past = lf_distanceM(liftOff->lat, liftOff->lon, first.lat, first.lon) -
                        lf_distanceM(airborne->lat, airborne->lon, first.lat, first.lon);
    EXPECT_LT(past, 500.0);
    std::cout << "SAS69E from line " << firstLine + 1 << ": created "
              << lf_distanceM(first.lat, first.lon, reports.front().lat, reports.front().lon)
              << " m from its first report, off ground level " << past
              << " m past its first airborne report; on the ground at most " << fastest
              << " kt, losing at most " << worstLoss << " kt within 10 s, at most " << worstLag
              << " s off its reports' time\n";
  }
  EXPECT_EQ(departures, 1U);
  std::ifstream traced(run.folder / "trace.jsonl");
  for (const auto& v : scenario::gf_checkTrace(traced, lf_legsOf(trace.creations, lf_longestLegs(replay, false)),
                                               {0, 3, 0, 0}))
    ADD_FAILURE() << scenario::gf_describe(v);
  std::cout << run.capabilityTable();
}

TEST(DemoRun, ARealDepartureSeenStandingAtTheRunwayStartRollsAndLiftsOffWhereItsReportsClimb) {
  lf_runDeparture(0);
}

TEST(DemoRun, ARealDepartureFirstSeenAtNinetyEightKnotsRollsAndLiftsOffWhereItsReportsLeaveTheGround) {
  lf_runDeparture(18);
}

TEST(DemoRun, LiveAndParkedAircraftComeMoveWithinTheRulesAndAllGoAtTheClose) {
  WorldRun run;
  lf_runLfboDemo(run);
}

// skylume.exe of the Windows build SKLM_WINDOWS_BUILD names, on the display of
// the Wine session; left empty when the test is skipped or cannot run.
void lf_windowsProgram(std::optional<WindowsProgram>& windows, std::string appdataName,
                       std::string programName) {
  const char* build = std::getenv("SKLM_WINDOWS_BUILD");
  if (!build || !*build)
    GTEST_SKIP() << "SKLM_WINDOWS_BUILD names no Windows build (scripts/test-windows.sh runs this test)";
  // Wine's desktop takes its display from the session's first program: one begun
  // without a display leaves every later window without a driver.
  const char* display = std::getenv("DISPLAY");
  ASSERT_TRUE(display && *display)
      << "no DISPLAY: scripts/test-windows-program.sh starts the Wine session on a virtual display";
  windows = WindowsProgram{build, std::move(appdataName), display, std::move(programName)};
}

// The same demo with skylume.exe on Windows's own calls under Wine, the program
// and the user's application data in folders whose names are not ASCII, nor
// even Latin; ended by the user's log-off, which reaches it through its window.
TEST(DemoRun, TheWindowsProgramUnderWineDoesTheSameAndClosesThroughItsWindow) {
  std::optional<WindowsProgram> windows;
  lf_windowsProgram(
      windows,
      "\xD0\x9F\xD0\xBE\xD0\xBB\xD1\x8C\xD0\xB7\xD0\xBE\xD0\xB2\xD0\xB0\xD1\x82\xD0\xB5\xD0\xBB\xD1\x8C "
      "\xE7\x94\xA8\xE6\x88\xB7",  // Пользователь 用户
      "Donn\xC3\xA9"
      "es \xC3\x85\xC3\x84\xC3\x96 \xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD1\x8B "
      "\xE7\xA8\x8B\xE5\xBA\x8F");  // Données ÅÄÖ Программы 程序
  if (!windows) return;
  const fs::path build = windows->build;
  WorldRun run(std::move(windows));
  lf_runLfboDemo(run);
  if (HasFatalFailure()) return;

  // Narrow text is UTF-8 to the system calls only through the program's manifest.
  const std::string program = readBytes(build / "skylume.exe");
  const auto codePage = program.find("<activeCodePage");
  ASSERT_NE(codePage, std::string::npos) << "skylume.exe has no manifest setting its code page";
  EXPECT_EQ(program.substr(program.find('>', codePage), 7), ">UTF-8<");

  // The real window on the virtual display: more than a blank screen's colour or two.
  Child count;
  ASSERT_TRUE(count.start({"/usr/bin/convert", run.screenshot().string(), "-format", "%k", "info:"},
                          run.folder.path(), {}, false, run.folder / "colours.out"));
  ASSERT_EQ(count.waitExit(60s), 0);
  EXPECT_GE(std::atoi(readBytes(run.folder / "colours.out").c_str()), 16) << run.screenshot();
  std::cout << "The Windows program's window: " << run.screenshot().string() << "\n";
}

// The user flies out of sight of LFBO and is put on the ground at LFCL in the
// second before the next control step, 16 s after the one that let LFBO go: the
// step takes the ground with the position it comes with, not the one in the air
// over LFBO copied a moment before, and parks at LFCL, whose parking file it asks
// the download server for.
void lf_followTheUserToAnotherAirport(WorldRun& run) {
  TableOnFailure table{run};
  ASSERT_NO_FATAL_FAILURE(run.start(
      "lfbo", kReplay, {"--loop", "--now", "--speed", std::to_string(kReplaySpeed), "--qnh", "1013"}));
  const auto log = [&] { return readBytes(run.folder / "Log.txt"); };
  ASSERT_TRUE(eventually([&] { return run.logHas("User aircraft on the ground at LFBO"); }, 150s)) << log();
  ASSERT_TRUE(run.sim.send("user 43.628621 1.36985 19500 air"));
  ASSERT_TRUE(eventually([&] { return run.logHas("is out of sight"); }, 40s)) << log();
  // A time, not a condition: the control steps come 16 of the simulator's seconds apart.
  std::this_thread::sleep_until(std::chrono::steady_clock::now() + 15400ms);
  ASSERT_TRUE(run.sim.send("user 43.5861 1.49917 459 ground"));
  const auto asked = [&] {
    const auto all = run.downloads().requests();
    return std::any_of(all.begin(), all.end(), [](const dlsrv::Request& r) {
      return r.line == "GET /downloads/MSFS/archive/stock/LFCL.xml HTTP/1.1";
    });
  };
  EXPECT_TRUE(eventually([&] { return asked() && run.logHas("User aircraft on the ground at LFCL"); }, 60s))
      << log();
  const std::string all = log();
  const auto first = all.find("User aircraft on the ground at LFBO");
  EXPECT_EQ(all.find("User aircraft on the ground at LFBO", first + 1), std::string::npos) << all;
  run.close();
}

TEST(DemoRun, AUserPutOnTheGroundAtAnotherAirportParksThere) {
  WorldRun run;
  lf_followTheUserToAnotherAirport(run);
}

TEST(DemoRun, TheWindowsProgramUnderWineFollowsTheUserToAnotherAirport) {
  std::optional<WindowsProgram> windows;
  lf_windowsProgram(windows, "appdata", "Skylume");
  if (!windows) return;
  WorldRun run(std::move(windows));
  lf_followTheUserToAnotherAirport(run);
}

}  // namespace
