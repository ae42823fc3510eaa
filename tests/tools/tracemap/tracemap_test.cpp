#include "tools/tracemap/tracemap.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/format.h"

namespace tracemap {
namespace {

namespace fs = std::filesystem;
const std::string kData = SKLM_TEST_DATA_DIR "/tracemap/";

class Tracemap : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("sklm-tracemap-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
             std::to_string(::getpid()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // Runs the program on the arguments with "-o" into the scratch folder.
  int run(std::vector<std::string> args) {
    args.push_back("-o");
    args.push_back((m_dir / "map.svg").string());
    std::ostringstream err;
    int code = gf_runTracemap(args, err);
    m_err = err.str();
    return code;
  }
  pugi::xml_node svg() {
    auto result = m_doc.load_file((m_dir / "map.svg").c_str());
    EXPECT_TRUE(result) << result.description();
    return m_doc.child("svg");
  }

  std::string write(const std::string& name, const std::string& text) {
    std::ofstream(m_dir / name, std::ios::binary) << text;
    return (m_dir / name).string();
  }

  fs::path m_dir;
  std::string m_err;
  pugi::xml_document m_doc;
};

std::vector<std::pair<double, double>> lf_points(const pugi::xml_node& polyline) {
  std::vector<std::pair<double, double>> out;
  std::istringstream in(polyline.attribute("points").value());
  double x = 0, y = 0;
  char comma = 0;
  while (in >> x >> comma >> y) out.emplace_back(x, y);
  return out;
}

TEST_F(Tracemap, ObjectsAndTheirReportsShareOneColourEach) {
  ASSERT_EQ(run({kData + "two_aircraft.jsonl", "--feed", kData + "two_aircraft.replay"}), 0) << m_err;
  auto root = svg();
  std::map<std::string, std::string> lineColour;
  for (auto p : root.select_nodes("//polyline[@class='object']")) {
    lineColour[p.node().attribute("data-tail").value()] = p.node().attribute("stroke").value();
    EXPECT_GE(lf_points(p.node()).size(), 2u);
  }
  ASSERT_EQ(lineColour.size(), 2u);
  EXPECT_NE(lineColour["SAS1465"], lineColour["KLM1592"]);
  auto reported = root.select_nodes("//g[@class='reported']");
  ASSERT_EQ(reported.size(), 2u);
  for (auto g : reported) {
    std::string tail = g.node().attribute("data-tail").value();
    EXPECT_EQ(g.node().attribute("fill").value(), lineColour[tail]) << tail;
    EXPECT_GE(std::distance(g.node().children("circle").begin(), g.node().children("circle").end()), 2);
  }
  EXPECT_EQ(root.select_nodes("//g[@class='created']").size(), 2u);
  EXPECT_EQ(root.select_nodes("//g[@class='removed']").size(), 2u);
  EXPECT_TRUE(root.select_node("//g[@class='scale']/text").node().text().as_string() != std::string());
}

TEST_F(Tracemap, ALineAcrossTheAntimeridianStaysOneLineInsideThePicture) {
  ASSERT_EQ(run({kData + "antimeridian.jsonl"}), 0) << m_err;
  auto root = svg();
  double width = root.attribute("width").as_double(), height = root.attribute("height").as_double();
  auto lines = root.select_nodes("//polyline[@class='object']");
  ASSERT_EQ(lines.size(), 1u);
  auto points = lf_points(lines.first().node());
  ASSERT_GE(points.size(), 10u);
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_TRUE(points[i].first >= 0 && points[i].first <= width && points[i].second >= 0 &&
                points[i].second <= height);
    // Flying east: every step goes right by a small amount, none jumps across the picture.
    if (i > 0) {
      EXPECT_GT(points[i].first, points[i - 1].first);
      EXPECT_LT(points[i].first - points[i - 1].first, width / 10);
    }
  }
}

TEST_F(Tracemap, ChoicesAndBadInput) {
  std::string noUser = write("no_user.jsonl",
                             R"({"frame":1,"event":"create","id":7,"tail":"AFR1","lat":43.6,"lon":1.4}
{"frame":2,"event":"by_type","request":101,"radius":18520.0}
)");
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string message;  // expected on stderr; empty: nothing
    std::size_t lines;    // object lines drawn when the code is 0
    double rangeNm = 0;   // the ring of the range asked for; 0: none
  } cases[] = {
      {{kData + "garbage_line.jsonl"}, 0, "1 line skipped", 2},
      {{kData + "empty.jsonl"}, 1, "no positions in " + kData + "empty.jsonl", 0},
      {{kData + "two_aircraft.jsonl", "--ids", "102"}, 0, "", 1},
      {{kData + "two_aircraft.jsonl", "--frames", "400:500"}, 1, "no positions in", 0},
      {{kData + "two_aircraft.jsonl", "--frames", "0:50"}, 0, "", 2},
      {{kData + "two_aircraft.jsonl", "--ids", "x"}, 2, "not a whole number", 0},
      {{kData + "missing.jsonl"}, 1, "cannot read", 0},
      {{kData + "two_aircraft.jsonl", "--played", "-3"}, 2, "--played needs seconds", 0},
      {{kData + "two_aircraft.jsonl", "--stands", kData + "missing.json"}, 1, "cannot read", 0},
      {{kData + "two_aircraft.jsonl", "--scenario", kData + "two_aircraft.jsonl"},
       1,
       "two_aircraft.jsonl: ",
       0},
      {{kData + "asked_range.jsonl"}, 0, "3 lines skipped", 2, 5},
      {{noUser}, 0, "the range asked for is not drawn", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    fs::remove(m_dir / "map.svg");
    EXPECT_EQ(run(c.args), c.code) << m_err;
    if (c.message.empty()) {
      EXPECT_EQ(m_err, "");
    } else {
      EXPECT_NE(m_err.find(c.message), std::string::npos) << m_err;
    }
    if (c.code == 0) {
      auto root = svg();
      EXPECT_EQ(root.select_nodes("//polyline[@class='object']").size(), c.lines);
      auto ring = root.select_node("/svg/g[@class='range']").node();
      ASSERT_EQ(static_cast<bool>(ring), c.rangeNm > 0);
      if (ring) {
        EXPECT_EQ(ring.attribute("data-nm").as_double(), c.rangeNm);
        EXPECT_NE(std::string(ring.child("text").text().as_string()).find(sk::format("{:g} nm", c.rangeNm)),
                  std::string::npos);
        // Its size against the scale bar, its centre where the user aircraft stood when asking.
        auto bar = root.select_node("/svg/g[@class='scale']").node();
        auto line = bar.child("line");
        double pxPerNm = (line.attribute("x2").as_double() - line.attribute("x1").as_double()) /
                         std::stod(bar.child("text").text().as_string());
        auto circle = ring.child("circle");
        EXPECT_NEAR(circle.attribute("r").as_double(), c.rangeNm * pxPerNm, 0.2);
        auto star = lf_points(root.select_node("/svg/g[@class='user']/polygon").node());
        ASSERT_FALSE(star.empty());
        double sx = 0, sy = 0;
        for (auto [x, y] : star) sx += x, sy += y;
        EXPECT_NEAR(circle.attribute("cx").as_double(), sx / static_cast<double>(star.size()), 0.2);
        EXPECT_NEAR(circle.attribute("cy").as_double(), sy / static_cast<double>(star.size()), 0.2);
      }
    } else {
      EXPECT_FALSE(fs::exists(m_dir / "map.svg"));
    }
  }
}

// What a reader of the demo's map relies on: reports never sent are not drawn (they
// would look like aircraft the program ignored), a callsign no object carried has a
// colour of its own, and every mark is explained.
TEST_F(Tracemap, OnlyPlayedReportsWithALegendTheStandsAndTheUserAircraft) {
  std::ifstream base(kData + "two_aircraft.replay");
  std::string replay((std::istreambuf_iterator<char>(base)), {});
  auto report = [](const char* callsign, const char* registration, double lat, double lon, int second) {
    return sk::format("RTTFC,1,{},{},3000,0,0,90,250,{},A320,{},TLS,ORY,{}.00,X,,adsb_icao\n", lat, lon,
                      callsign, registration, 1733652000 + second);
  };
  // EZY1 is reported from the start, never created; AFR611Q is only due 20 s in.
  for (int t = 0; t <= 10; ++t) replay += report("EZY1", "G-EZAA", 52.40, 5.0 + t * 0.01, t);
  for (int t = 20; t <= 25; ++t) replay += report("AFR611Q", "F-HBNA", 52.45, 5.2 + t * 0.01, t);
  std::string feed = write("late.replay", replay);
  std::string stands = write("stands.json", R"({"sections":[{"type":3,"records":[{"icao":"EHAM","spots":[
      {"name":12,"number":1,"radius":20,"lat":52.3080,"lon":4.7640},
      {"name":12,"number":2,"radius":20,"lat":52.3078,"lon":4.7645}]}]}]})");
  std::string world = write("world.json", R"({"user":{"lat":52.3082,"lon":4.7642}})");

  auto reportedTails = [&] {
    std::set<std::string> tails;
    for (auto g : svg().select_nodes("/svg/g[@class='reported']"))
      tails.insert(g.node().attribute("data-tail").value());
    return tails;
  };
  ASSERT_EQ(run({kData + "two_aircraft.jsonl", "--feed", feed}), 0) << m_err;
  EXPECT_EQ(reportedTails(), (std::set<std::string>{"AFR611Q", "EZY1", "KLM1592", "SAS1465"}));

  ASSERT_EQ(run({kData + "two_aircraft.jsonl", "--feed", feed, "--played", "5", "--stands", stands,
                 "--scenario", world}),
            0)
      << m_err;
  EXPECT_EQ(reportedTails(), (std::set<std::string>{"EZY1", "KLM1592", "SAS1465"}));
  auto root = svg();
  // SAS1465 moves several pixels a second: each of its six played reports is a dot.
  EXPECT_EQ(root.select_nodes("/svg/g[@class='reported'][@data-tail='SAS1465']/circle").size(), 6u);

  std::map<std::string, std::string> keyColour, created;
  for (auto k : root.select_nodes("//g[@class='key']")) {
    std::string callsign = k.node().attribute("data-callsign").value();
    keyColour[callsign] = k.node().child("rect").attribute("fill").value();
    created[callsign] = k.node().attribute("data-created").value();
  }
  EXPECT_EQ(created,
            (std::map<std::string, std::string>{{"EZY1", "no"}, {"KLM1592", "yes"}, {"SAS1465", "yes"}}));
  std::set<std::string> distinct;
  for (const auto& [callsign, colour] : keyColour) distinct.insert(colour);
  EXPECT_EQ(distinct.size(), 3u);
  for (auto p : root.select_nodes("/svg/polyline[@class='object']"))
    EXPECT_EQ(p.node().attribute("stroke").value(), keyColour[p.node().attribute("data-tail").value()]);
  EXPECT_EQ(root.select_node("/svg/g[@class='reported'][@data-tail='EZY1']").node().attribute("fill").value(),
            keyColour["EZY1"]);

  std::set<std::string> kinds;
  for (auto row : root.select_nodes("//g[@class='legend']/g[@class='legend-row']"))
    kinds.insert(row.node().attribute("data-kind").value());
  EXPECT_EQ(kinds, (std::set<std::string>{"report", "object", "created", "removed", "user", "stand"}));

  // The stands and the user aircraft on the map and in the airport's inset, where
  // the stands, 40 m apart, lie well apart.
  EXPECT_EQ(root.select_nodes("/svg/g[@class='stand']").size(), 2u);
  EXPECT_EQ(root.select_nodes("/svg/g[@class='user']").size(), 1u);
  auto inset = root.select_node("//g[@class='inset'][@data-airport='EHAM']").node();
  ASSERT_TRUE(inset);
  auto insetStands = inset.select_nodes(".//g[@class='stand']");
  ASSERT_EQ(insetStands.size(), 2u);
  auto centre = [](const pugi::xml_node& stand) {
    return std::pair{stand.child("circle").attribute("cx").as_double(),
                     stand.child("circle").attribute("cy").as_double()};
  };
  auto [x1, y1] = centre(insetStands[0].node());
  auto [x2, y2] = centre(insetStands[1].node());
  EXPECT_GT(std::hypot(x1 - x2, y1 - y2), 10.0);
  EXPECT_EQ(std::string(insetStands[0].node().child("text").text().as_string()), "A1");
  EXPECT_EQ(inset.select_nodes(".//g[@class='user']").size(), 1u);
  // KLM1592 taxies past the stands: its line shows in the inset, SAS1465's far away does not.
  EXPECT_TRUE(inset.select_node(".//polyline[@data-tail='KLM1592']"));
  EXPECT_FALSE(inset.select_node(".//polyline[@data-tail='SAS1465']"));
}

TEST_F(Tracemap, PointsWithinAPixelOfTheLastDrawnAreLeftOut) {
  // A parked aircraft set 2,000 times in one place and then moved far away.
  std::ostringstream trace;
  trace << R"({"frame":1,"event":"create","id":5,"tail":"PARK1","lat":10,"lon":20})" << '\n';
  for (int f = 2; f < 2000; ++f)
    trace << R"({"frame":)" << f << R"(,"event":"position","id":5,"values":{"PLANE LATITUDE":10,"PLANE LONGITUDE":20}})"
          << '\n';
  trace << R"({"frame":2000,"event":"position","id":5,"values":{"PLANE LATITUDE":10.5,"PLANE LONGITUDE":20}})" << '\n';
  std::istringstream in(trace.str());
  TraceData data = gf_readTrace(in, Options{});
  ASSERT_EQ(data.objects.at(5).points.size(), 2000u);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(gf_drawSvg(data, FeedData{}).c_str()));
  EXPECT_EQ(lf_points(doc.select_node("//polyline").node()).size(), 2u);
}

}  // namespace
}  // namespace tracemap
