// The run report reads the same trace as the map; its tests share the program.
#include "tools/runreport/runreport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace runreport {
namespace {

namespace fs = std::filesystem;

// 30 frames a second: frame 1800 is a minute in. Object 200 flies in and stays (a
// jump of 20 m against its heading in a frame is no push-back), 201 is created on
// the ground and pushed back 20 m in 7 s (its heading north, its motion south),
// 202 is a static aircraft, 203 is removed 50 s after its
// creation, 204 61 s after it, 205 at the close although created 10 s before.
const char* const kTrace = R"({"frame":1,"event":"open","client":"Skylume"}
{"frame":10,"event":"create","id":200,"title":"B738 RYR","tail":"RYR1","lat":43.5,"lon":1.3,"alt":3000.0,"heading":1.0,"on_ground":false}
{"frame":11,"event":"create","id":201,"title":"A20N SAS","tail":"SAS1","lat":59.65,"lon":17.93,"alt":137.0,"heading":0.0,"on_ground":true}
{"frame":12,"event":"create","id":202,"title":"A320 BAW","tail":"BAW5*","lat":59.651,"lon":17.93,"alt":137.0,"heading":0.0,"on_ground":true}
{"frame":20,"event":"create","id":203,"title":"A320 EZY","tail":"EZY2","lat":43.6,"lon":1.4,"alt":9000.0,"heading":2.0,"on_ground":false}
{"frame":21,"event":"create","id":204,"title":"A320 EZY","tail":"EZY3","lat":43.6,"lon":1.4,"alt":9000.0,"heading":2.0,"on_ground":false}
not a line of the trace
{"frame":130,"event":"position","id":201,"define":402,"values":{"Plane Latitude":59.64991,"Plane Longitude":17.93,"Plane Heading degrees true":0.0,"Plane Altitude":137.0}}
{"frame":230,"event":"position","id":201,"define":402,"values":{"Plane Latitude":59.64982,"Plane Longitude":17.93,"Plane Heading degrees true":0.0,"Plane Altitude":137.0}}
{"frame":250,"event":"position","id":200,"define":402,"values":{"Plane Latitude":43.51,"Plane Longitude":1.31,"Plane Heading degrees true":0.7,"Plane Altitude":3000.0}}
{"frame":251,"event":"position","id":200,"define":402,"values":{"Plane Latitude":43.50982,"Plane Longitude":1.31,"Plane Heading degrees true":0.0,"Plane Altitude":3000.0}}
{"frame":1520,"event":"remove","id":203,"request":105}
{"frame":1852,"event":"remove","id":204,"request":105}
{"frame":2000,"event":"create","id":205,"title":"A320 EZY","tail":"EZY4","lat":43.6,"lon":1.4,"alt":9000.0,"heading":2.0,"on_ground":false}
{"frame":2300,"event":"by_type","request":101,"radius":18520.0}
{"frame":2310,"event":"remove","id":205,"request":105}
{"frame":2310,"event":"remove","id":202,"request":105}
{"frame":2311,"event":"close","client":"Skylume"}
)";

const char* const kLog = R"(===> RYR4LG   landed from TLS
===> SAS1136  landed
===> AFR611Q  took-off to ORY
===> A3      : SAS1136  arrived at stand
===> A4      : THY5HT   parks
          towed aircraft THY5HT A333 parks
===> A4      : THY5HT   pulling out
===> A14     : TAP1*    parked
RYR4LG landed yesterday
)";

std::vector<CapabilityRow> lf_rows(const std::string& trace, const std::string& log) {
  std::istringstream t(trace), l(log);
  return gf_countCapabilities(gf_readTrace(t), gf_readLog(l));
}

TEST(RunReport, EachCapabilityCountsTheAircraftThatShowedIt) {
  const auto rows = lf_rows(kTrace, kLog);
  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {"created airborne", {"RYR1", "EZY2", "EZY3", "EZY4"}},
      {"created on the ground", {"SAS1"}},
      {"created parked", {"THY5HT"}},
      {"landed", {"RYR4LG", "SAS1136"}},
      {"took off", {"AFR611Q"}},
      {"parked at a stand", {"SAS1136"}},
      {"pushed back", {"SAS1"}},
      {"static parked", {"BAW5*"}},
      {"removed within 60 s of creation", {"EZY2"}},
      {"left at the close", {"RYR1", "SAS1"}}};
  ASSERT_EQ(rows.size(), expected.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].name, expected[i].first);
    EXPECT_EQ(rows[i].aircraft, expected[i].second) << rows[i].name;
  }
  std::istringstream t(kTrace);
  EXPECT_EQ(gf_readTrace(t).skippedLines, 1);
}

TEST(RunReport, TheCommandPrintsTheTableAndRefusesWhatItCannotRead) {
  const fs::path dir = fs::temp_directory_path() / ("sklm-runreport-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "trace.jsonl") << kTrace;
  std::ofstream(dir / "Log.txt") << kLog;
  const std::string trace = (dir / "trace.jsonl").string(), log = (dir / "Log.txt").string();
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out, err;
  };
  const std::vector<Case> cases = {
      {{"table", trace, log}, 0, "created on the ground                1  SAS1\n", ""},
      // At 15 frames a second EZY3's 61 s become 122 s and EZY2's 100 s: neither is quick.
      {{"table", trace, log, "--frame-rate", "15"}, 0, "removed within 60 s of creation      0\n", ""},
      {{"table", trace, (dir / "none.txt").string()}, 1, "", "cannot read"},
      {{"table", trace}, 2, "", "usage: runreport table"},
      {{"table", trace, log, "--frame-rate", "0"}, 2, "", "--frame-rate needs a positive number"},
      {{"status"}, 2, "", "usage:"},
      {{"--help"}, 0, "usage: runreport table", ""},
      // The mark file carries what the last line saw to the next one.
      {{"status", trace, log, "--mark", (dir / "mark").string()},
       0,
       "[0:01:17] in the simulator: 2 live, 0 static; since the start: 6 created, 4 removed (BAW5* EZY2 EZY3 "
       "EZY4)\n",
       ""},
      {{"status", trace, log, "--mark", (dir / "mark").string()},
       0,
       "since the last line: 0 created, 0 removed\n",
       ""},
      // Log.txt is not there before the program has started.
      {{"status", trace, (dir / "none.txt").string()}, 0, "2 live, 0 static; since the start", ""},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(gf_runRunreport(c.args, out, err), c.code) << c.args.size();
    EXPECT_NE(out.str().find(c.out), std::string::npos) << out.str();
    EXPECT_NE(err.str().find(c.err), std::string::npos) << err.str();
  }
  fs::remove_all(dir);
}

TEST(RunReport, TheStatusLineTellsWhatChangedSinceTheLastOneAndWhyLogTxtRemovedAircraft) {
  const std::string trace = kTrace;
  const std::string firstPart = trace.substr(0, trace.find("{\"frame\":1852"));
  const std::string log1 =
      std::string(kLog) + "===> A12     : VLG3*    removed, RYR4LG wants to park there\n";
  const std::string log2 = log1 + "Parameter OLD_KEY removed\n" +
                           "===> A14     : TAP1*    removed for collision avoidance with live RYR4LG\n";
  StatusMark mark;
  auto line = [&](const std::string& t, const std::string& l) {
    std::istringstream ts(t), ls(l);
    return gf_statusLine(gf_readTrace(ts), ls, mark);
  };
  EXPECT_EQ(
      line(firstPart, log1),
      "[0:00:50] in the simulator: 3 live, 1 static; since the start: 5 created, 1 removed (EZY2); Log.txt: "
      "\"A12 : VLG3* removed, RYR4LG wants to park there\"");
  EXPECT_EQ(mark.frame, 1520);
  EXPECT_EQ(
      line(trace, log2),
      "[0:01:17] in the simulator: 2 live, 0 static; since the last line: 1 created, 3 removed (BAW5* EZY3 "
      "EZY4); Log.txt: \"A14 : TAP1* removed for collision avoidance with live RYR4LG\"");
  // Nothing new: no removal and no reason, however many reasons Log.txt held before.
  EXPECT_EQ(line(trace, log2),
            "[0:01:17] in the simulator: 2 live, 0 static; since the last line: 0 created, 0 removed");
  // An error the program shows is told once.
  const std::string log3 =
      log2 + "Error 62: scramble key file \"scramble_key.txt\" line 1: needs 24 offsets\n";
  EXPECT_EQ(
      line(trace, log3),
      "[0:01:17] in the simulator: 2 live, 0 static; since the last line: 0 created, 0 removed; Log.txt: "
      "\"Error 62: scramble key file \"scramble_key.txt\" line 1: needs 24 offsets\"");
  EXPECT_EQ(line(trace, log3).find("Log.txt"), std::string::npos);
  // A Log.txt begun anew is read from its start.
  EXPECT_NE(line(trace, log1).find("Log.txt: \"A12 : VLG3* removed"), std::string::npos);
}

}  // namespace
}  // namespace runreport
