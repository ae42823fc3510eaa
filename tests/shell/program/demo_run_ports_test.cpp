// The whole program on the demo: scripts/demo.sh lays out the program folder and
// the simulator installation, the stand-ins serve the data, play the recorded LFBO
// traffic fast and looped and stand in for the simulator, and the real skylume
// runs beside them until it is closed.
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "../../traffic/scenario_checker.h"
#include "core/version.h"
#include "program_support.h"
#include "tools/dlserver/archive_writer.h"
#include "tools/dlserver/dlserver.h"
#include "tools/rtplayer/replay.h"

namespace {

using namespace std::chrono_literals;

// Ten minutes of traffic in a minute, so that the landing, the departures and the
// circuit fall within the run; looped, it never runs dry on a slow machine.
constexpr int kReplaySpeed = 10;
const std::filesystem::path kSource = SKLM_SOURCE_DIR;
const std::filesystem::path kReplay = kSource / "demo" / "lfbo_20191111_1000-1010.replay";

struct Creation {
  std::uint32_t id = 0;
  std::string title, tail;
  double lat = 0, lon = 0;
};

// The stand-in's trace as it grows: only whole lines are read, each once.
class TraceReader {
 public:
  explicit TraceReader(std::filesystem::path path) : m_path(std::move(path)) {}
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
        creations.push_back({id, j.value("title", ""), j.value("tail", ""), j.value("lat", 0.0), j.value("lon", 0.0)});
      } else if (event == "position") {
        const auto frame = j["frame"].get<std::int64_t>();
        m_moves.try_emplace(id, frame, frame).first->second.second = frame;
      }
    }
  }
  // Frames between an object's first and last position.
  std::int64_t framesMoved(std::uint32_t id) const {
    const auto it = m_moves.find(id);
    return it == m_moves.end() ? 0 : it->second.second - it->second.first;
  }
  std::vector<Creation> creations;

 private:
  std::filesystem::path m_path;
  std::size_t m_offset = 0;
  std::map<std::uint32_t, std::pair<std::int64_t, std::int64_t>> m_moves;
};

double lf_distanceM(double lat1, double lon1, double lat2, double lon2) {
  const double k = 3.141592653589793 / 180;
  const double x = (lon2 - lon1) * k * std::cos((lat1 + lat2) / 2 * k), y = (lat2 - lat1) * k;
  return std::hypot(x, y) * 6371008.8;
}

// Callsign -> the longest leg between two of its reports, the loop's jump from its
// last report back to its first included, in nautical miles.
std::map<std::string, double> lf_longestLegs() {
  std::map<std::string, std::vector<std::pair<double, double>>> tracks;
  for (const auto& item : rtplay::gf_readReplayFile(kReplay).items) {
    const auto fields = rtplay::gf_splitFields(item.text);
    if (item.kind != rtplay::DatagramKind::Traffic || fields.size() < 10) continue;
    tracks[std::string(fields[9])].emplace_back(rtplay::gf_parseNumber(fields[2]).value_or(0),
                                                rtplay::gf_parseNumber(fields[3]).value_or(0));
  }
  std::map<std::string, double> legs;
  for (const auto& [callsign, points] : tracks) {
    double& longest = legs[callsign];
    for (std::size_t i = 0; i < points.size(); ++i) {
      const auto& [lat, lon] = points[i];
      const auto& [nextLat, nextLon] = points[(i + 1) % points.size()];
      longest = std::max(longest, lf_distanceM(lat, lon, nextLat, nextLon) / 1852);
    }
  }
  return legs;
}

// Callsign -> the livery title the log gave it ("RYR4LG EI-DPX RYR B738 =1= FSLTL_B738_RYR").
std::map<std::string, std::string> lf_liveriesOfLog(const std::filesystem::path& log) {
  std::map<std::string, std::string> titles;
  for (const std::string& line : fileLines(log)) {
    const auto mark = line.find(" =");
    if (mark == std::string::npos || mark + 5 > line.size() || line[mark + 3] != '=' || line[mark + 4] != ' ') continue;
    std::istringstream words(line);
    std::string callsign;
    words >> callsign;
    titles[callsign] = line.substr(mark + 5);
  }
  return titles;
}

// The checker's bound on a step: the longest leg of the object's reports flown in
// the shortest time the engine gives a segment; a static aircraft never moves.
scenario::SideLog lf_legsOf(const std::vector<Creation>& creations, const std::map<std::string, double>& legs) {
  scenario::SideLog side;
  for (const Creation& c : creations) {
    const auto it = legs.find(c.tail);
    side.segments.push_back({0, c.id, it == legs.end() ? 0 : it->second, 0});
  }
  return side;
}

TEST(DemoRun, LiveAndParkedAircraftComeMoveWithinTheRulesAndAllGoAtTheClose) {
  ScratchFolder folder;
  Child demo;
  ASSERT_TRUE(demo.start({"/bin/bash", (kSource / "scripts" / "demo.sh").string(), SKLM_BINARY_DIR,
                          folder.path().string()},
                         folder.path(), {}));
  ASSERT_EQ(demo.waitExit(60s), 0);

  const auto served = folder / "served";
  dlsrv::gf_writeDemoFolder(served, gf_versionToString(ProgramVersion));
  dlsrv::gf_writeArchive(served / "downloads" / "dbase.zip", {{"temp2.xml", readBytes(folder / "data" / "temp2.xml")}});
  dlsrv::gf_writeArchive(served / "downloads" / "AIG-regcodes.zip",
                         {{"AIG-regcodes.xml", readBytes(folder / "data" / "AIG-regcodes.xml")}});
  dlsrv::DownloadServer downloads(served);

  Child sim, player, skylume;
  std::string address;
  ASSERT_TRUE(startSimulator(sim, folder.path(), (kSource / "demo" / "lfbo_sim.json").string(), address));
  ASSERT_TRUE(player.start({SKLM_RTPLAYER_EXE, "--loop", "--now", "--speed", std::to_string(kReplaySpeed), "--qnh",
                            "1013", kReplay.string()},
                           folder.path(), {}, false, folder / "rtplayer.out"));
  ASSERT_TRUE(skylume.start({SKLM_SKYLUME_EXE}, folder.path(),
                            {{"APPDATA", (folder / "appdata").string()},
                             {"LOCALAPPDATA", (folder / "localappdata").string()},
                             {"SKLM_DOWNLOAD_SERVER", downloads.address()},
                             {"SKLM_SIM_ADDR", address},
                             {"DISPLAY", ""},
                             {"XDG_SESSION_ID", folder.path().filename().string()}}));

  // Parked aircraft at LFBO's stands (the user stands at A8), live aircraft that
  // move for ten seconds.
  const auto legs = lf_longestLegs();
  const auto isLive = [&](const Creation& c) { return legs.count(c.tail) > 0; };
  TraceReader trace(folder / "trace.jsonl");
  const bool seen = eventually(
      [&] {
        trace.readOn();
        const auto& all = trace.creations;
        const bool parked = std::any_of(all.begin(), all.end(), [](const Creation& c) {
          return c.tail.ends_with('*') && lf_distanceM(c.lat, c.lon, 43.628621, 1.36985) < 1000;
        });
        const bool moved = std::any_of(all.begin(), all.end(),
                                       [&](const Creation& c) { return isLive(c) && trace.framesMoved(c.id) >= 300; });
        return parked && moved;
      },
      150s);
  EXPECT_TRUE(seen) << "creations: " << trace.creations.size() << "\n" << readBytes(folder / "Log.txt");

  skylume.signal(SIGTERM);
  EXPECT_EQ(skylume.waitExit(30s), 0);
  sim.send("exit");
  EXPECT_EQ(sim.waitExit(20s), 0);
  const std::string log = readBytes(folder / "Log.txt");
  EXPECT_NE(log.find("User closed Skylume\n"), std::string::npos) << log;

  // Every live aircraft wears the livery its match named; no object breaks a
  // per-frame rule or stays after the close.
  trace.readOn();
  const auto liveries = lf_liveriesOfLog(folder / "Log.txt");
  for (const Creation& c : trace.creations) {
    const auto it = liveries.find(c.tail);
    EXPECT_TRUE(it != liveries.end() && it->second == c.title) << c.tail << " created as " << c.title;
  }
  std::ifstream all(folder / "trace.jsonl");
  for (const auto& v : scenario::gf_checkTrace(all, lf_legsOf(trace.creations, legs), {0, 3, 0, 0}))
    ADD_FAILURE() << scenario::gf_describe(v);

  // The settings and the learned stands are saved whole.
  pugi::xml_document parameters, learned;
  EXPECT_TRUE(parameters.load_file((folder / "appdata" / "Skylume" / "parameters.xml").c_str()));
  EXPECT_TRUE(parameters.select_node("//parameter[@name='LATERAL_RANGE']")) << "parameters.xml";
  EXPECT_NE(log.find("\"airports/learned/thirdparty/unknown/LFBO.xml\" saved"), std::string::npos) << log;
  ASSERT_TRUE(learned.load_file((folder / "airports" / "learned" / "thirdparty" / "unknown" / "LFBO.xml").c_str()));
  EXPECT_GE(learned.select_nodes("/parkpositions/parkpos").size(), 15U);
  EXPECT_GE(learned.select_nodes("/parkpositions/parkpos/opt").size(), 105U) << "the demo's learned uses kept";
}

}  // namespace
