#include "airports/airport_list.h"

#include <algorithm>

#include "core/errors.h"
#include "tests/airports/airports_test_support.h"

namespace {

std::string airportsXml(const std::string& records) {
  return "<?xml version=\"1.0\"?>\n<other/>\n<airports>\n" + records + "</airports>\n";
}

const std::string kThree = airportsXml(
    "  <airport code=\"EHAM\" iata=\"AMS\" lat=\"52.3086\" lon=\"4.7639\" alt=\"-11\"/>\n"
    "  <airport code=\"EDDF\" iata=\"FRA\" lat=\"50.0333\" lon=\"8.5706\" alt=\"364\"/>\n"
    "  <note/>\n"
    "  <airport code=\"EGLL\" lat=\"51.4706\" lon=\"-0.4619\" alt=\"83\"/>\n");

std::vector<std::string> codes() {
  std::vector<std::string> result;
  for (const Airport& airport : gAirports) result.push_back(airport.code);
  return result;
}

// A parking file of one stand in my_thirdparty.
std::string oneStandFile(const std::string& id, LatLon at) {
  return "<parkpositions><parkpos id=\"" + id + "\" latitude=\"" + std::to_string(at.lat) + "\" longitude=\"" +
         std::to_string(at.lon) + "\"/></parkpositions>";
}

}  // namespace

TEST(AirportList, ReadsOnceSortedAndRefusesBadNumbers) {
  WorkFolder folder;
  gf_resetAirports();
  folder.write("input/airports_msfs.xml", kThree);
  ASSERT_TRUE(gf_readAirports());
  EXPECT_EQ(codes(), (std::vector<std::string>{"EDDF", "EGLL", "EHAM"}));
  EXPECT_EQ(gAirports[1].iata, "");
  EXPECT_DOUBLE_EQ(gAirports[2].alt, -11.0);

  std::filesystem::remove(folder.path() / "input/airports_msfs.xml");
  EXPECT_TRUE(gf_readAirports()) << "a second read must not touch the file";
  EXPECT_EQ(gAirports.size(), 3u);

  struct Bad {
    std::string record;
    std::string text;
  };
  const Bad bad[] = {
      {"<airport code=\"A\" lat=\"x\" lon=\"1\" alt=\"1\"/>", "88: invalid stod argument"},
      {"<airport code=\"A\" lat=\"1\" lon=\"1e999\" alt=\"1\"/>", "88: stod argument out of range"},
      {"<airport code=\"A\" lat=\"1\" lon=\"1\"/>", "88: invalid stof argument"},
  };
  for (const Bad& item : bad) {
    gf_resetAirports();
    folder.write("input/airports_msfs.xml",
                 airportsXml("<airport code=\"EDDF\" lat=\"1\" lon=\"1\" alt=\"1\"/>" + item.record));
    try {
      gf_readAirports();
      ADD_FAILURE() << item.record;
    } catch (const qlx::UserErrorException& error) {
      EXPECT_EQ(std::string(error.what()), item.text);
    }
    EXPECT_TRUE(gAirports.empty()) << item.record;
  }
  folder.write("input/airports_msfs.xml", "<airports><airport");
  EXPECT_THROW(gf_readAirports(), qlx::UserErrorException);
  folder.write("input/airports_msfs.xml", kThree);
  ASSERT_TRUE(gf_readAirports()) << "the loaded flag stays clear after a failure";
  EXPECT_EQ(codes(), (std::vector<std::string>{"EDDF", "EGLL", "EHAM"}));
  gf_resetAirports();
}

TEST(AirportList, FindsByCodePositionAndLabels) {
  WorkFolder folder;
  gf_resetAirports();
  folder.write("input/airports_msfs.xml", kThree);
  ASSERT_TRUE(gf_readAirports());

  EXPECT_EQ(gf_findAirport("EGLL")->code, "EGLL");
  EXPECT_FALSE(gf_findAirport("egll"));
  EXPECT_FALSE(gf_findAirport("EGL"));
  EXPECT_FALSE(gf_findAirport("ZZZZ"));

  const Airport& eham = *std::find_if(gAirports.begin(), gAirports.end(), [](auto& a) { return a.code == "EHAM"; });
  const double bearingEast = 1.5707963267948966;
  const auto at = [&](double nm) { return gf_destinationPoint({eham.lat, eham.lon}, bearingEast, nm * 6076.115485564304); };
  ASSERT_NEAR(gf_distanceNm({eham.lat, eham.lon}, at(5.0)), 5.0, 1e-6);
  EXPECT_EQ(gf_findClosestAirport(at(4.999999))->code, "EHAM");
  EXPECT_FALSE(gf_findClosestAirport(at(5.01)));

  EXPECT_EQ(gf_airportLabel({"EGLL", "LHR"}), "EGLL (LHR)");
  EXPECT_EQ(gf_airportLabel({"EGLL", ""}), "EGLL");
  EXPECT_EQ(gf_airportLabel({"", ""}), "?");
  EXPECT_TRUE(lf_icaoTokenIn("community/x-egll-heathrow/scenery", {"EGLL", ""}));
  EXPECT_TRUE(lf_icaoTokenIn("X-EGLL-Y", {"EGLL", ""}));
  EXPECT_FALSE(lf_icaoTokenIn("xegllx", {"EGLL", ""}));
  gf_resetAirports();
}

// Two airports within 5 nm: the stand files decide only when the nearer
// airport comes last in code order.
TEST(AirportList, NeighbourDecidedByNearestStand) {
  struct Case {
    std::string nearCode;  // 1 nm from the position
    std::string farCode;   // 3 nm from the position
    bool farStandNearer;
    std::string expected;
    bool standsAsked;
  };
  const Case cases[] = {
      {"BBBB", "AAAA", true, "AAAA", true},    // nearer last: the neighbour's stand wins
      {"BBBB", "AAAA", false, "BBBB", true},   // nearer last: its own stand is nearer
      {"AAAA", "BBBB", true, "AAAA", false},   // nearer first: no neighbour, no stand test
  };
  const LatLon position{10.0, 10.0};
  const auto east = [&](double nm) { return gf_destinationPoint(position, 1.5707963267948966, nm * 6076.115485564304); };
  for (const Case& item : cases) {
    WorkFolder folder;
    LogCapture log;
    gf_resetAirports();
    const LatLon nearAt = east(1.0);
    const LatLon farAt = east(-3.0);
    folder.write("input/airports_msfs.xml",
                 airportsXml(sk::format("<airport code=\"{}\" lat=\"{}\" lon=\"{}\" alt=\"0\"/>"
                                        "<airport code=\"{}\" lat=\"{}\" lon=\"{}\" alt=\"0\"/>",
                                        item.nearCode, nearAt.lat, nearAt.lon, item.farCode, farAt.lat, farAt.lon)));
    ASSERT_TRUE(gf_readAirports());
    folder.write("airports/my_thirdparty/" + item.nearCode + ".xml", oneStandFile("N1", east(0.5)));
    folder.write("airports/my_thirdparty/" + item.farCode + ".xml",
                 oneStandFile("F1", item.farStandNearer ? east(-0.1) : east(-2.0)));
    EXPECT_EQ(gf_findClosestAirport(position)->code, item.expected) << item.nearCode;
    const auto lines = log.lines();
    const bool asked = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("neighbour is") != std::string::npos;
    });
    EXPECT_EQ(asked, item.standsAsked) << item.nearCode;
    const bool neighbourWon = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("but stand F1 at neighbouring airport") != std::string::npos;
    });
    EXPECT_EQ(neighbourWon, item.expected == item.farCode);
  }
  gf_resetAirports();
}

TEST(AirportList, NamesFirstEntryWinsAndBrokenFileIsNoError) {
  WorkFolder folder;
  LogCapture log;
  gAirportNames.clear();
  folder.write("input/airports_msfs_names.xml", "<x/><AirportNames><airport ICAO=\"EGLL\" name=\"Heathrow\"/>"
                                                "<airport ICAO=\"EGLL\" name=\"Second\"/><airport name=\"NoCode\"/>"
                                                "</AirportNames>");
  EXPECT_TRUE(gf_readAirportNames());
  EXPECT_EQ(gAirportNames.at("EGLL"), "Heathrow");
  EXPECT_EQ(gAirportNames.at(""), "NoCode");
  gAirportNames.clear();
  folder.write("input/airports_msfs_names.xml", "<AirportNames><airport");
  EXPECT_FALSE(gf_readAirportNames());
  EXPECT_NE(log.lines().back().find("0 airport names read from"), std::string::npos) << log.lines().back();
}
