#include "tools/tracemap/tracemap.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string message;  // expected on stderr; empty: nothing
    std::size_t lines;    // object lines drawn when the code is 0
  } cases[] = {
      {{kData + "garbage_line.jsonl"}, 0, "1 line skipped", 2},
      {{kData + "empty.jsonl"}, 1, "no positions in " + kData + "empty.jsonl", 0},
      {{kData + "two_aircraft.jsonl", "--ids", "102"}, 0, "", 1},
      {{kData + "two_aircraft.jsonl", "--frames", "400:500"}, 1, "no positions in", 0},
      {{kData + "two_aircraft.jsonl", "--frames", "0:50"}, 0, "", 2},
      {{kData + "two_aircraft.jsonl", "--ids", "x"}, 2, "not a whole number", 0},
      {{kData + "missing.jsonl"}, 1, "cannot read", 0},
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
      EXPECT_EQ(svg().select_nodes("//polyline[@class='object']").size(), c.lines);
    } else {
      EXPECT_FALSE(fs::exists(m_dir / "map.svg"));
    }
  }
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
