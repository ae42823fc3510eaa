#include "airports/park_airports.h"

#include "airports/airport_list.h"
#include "tests/airports/airports_test_support.h"

namespace {

// An airport list of EDDF, EGKK, EGLL and EHAM, read from the work folder.
void readFourAirports(const WorkFolder& folder) {
  gf_resetAirports();
  folder.write("input/airports_msfs.xml",
               "<airports><airport code=\"EGLL\" lat=\"51.47\" lon=\"-0.46\" alt=\"83\"/>"
               "<airport code=\"EDDF\" lat=\"50.03\" lon=\"8.57\" alt=\"364\"/>"
               "<airport code=\"EGKK\" lat=\"51.15\" lon=\"-0.18\" alt=\"202\"/>"
               "<airport code=\"EHAM\" lat=\"52.31\" lon=\"4.76\" alt=\"-11\"/></airports>");
  ASSERT_TRUE(gf_readAirports());
}

std::vector<std::string> entries() {
  std::vector<std::string> result;
  for (const ParkAirport& entry : gParkAirports) result.push_back(entry.icao + "|" + entry.reservedStand);
  return result;
}

bool logged(const LogCapture& log, const std::string& part) {
  for (const std::string& line : log.lines())
    if (line.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(ParkAirports, ReadsLinesAndThirdpartyFolders) {
  WorkFolder folder;
  LogCapture log;
  readFourAirports(folder);
  folder.write("airports/my_park_airports.txt",
               "EGLL, 27L \r\n\r\nEHAM,1,2\r\nEGLL,09R\r\nZZZZ\r\nEDDF\r\n");
  std::filesystem::create_directories(folder.path() / "airports/my_thirdparty/EGKK");
  std::filesystem::create_directories(folder.path() / "airports/my_thirdparty/EDDF");
  std::filesystem::create_directories(folder.path() / "airports/my_thirdparty/XXXX");
  folder.write("airports/my_thirdparty/EHAM", "a file, not a folder");

  EXPECT_FALSE(lf_readMyParkAirports()) << "ZZZZ is unknown";
  EXPECT_EQ(entries(), (std::vector<std::string>{"EGLL|27L", "EDDF|", "EGKK|"}));
  EXPECT_DOUBLE_EQ(gParkAirports.front().lat, 51.47);
  EXPECT_TRUE(logged(log, "my_park_airports.txt:EHAM,1,2 wrong syntax, skipped"));
  EXPECT_TRUE(logged(log, "my_park_airports.txt:EGLL double, skipped"));
  EXPECT_TRUE(logged(log, "airport ZZZZ is unknown"));
  EXPECT_TRUE(logged(log, "1 park airport added from my_thirdparty folder(-s) "));
  EXPECT_TRUE(gf_isParkAirportListed("EGKK"));
  EXPECT_FALSE(gf_isParkAirportListed("egkk"));

  // A missing folder, or a file in its place, keeps the file's entries.
  for (bool fileInPlace : {false, true}) {
    std::filesystem::remove_all(folder.path() / "airports/my_thirdparty");
    if (fileInPlace) folder.write("airports/my_thirdparty", "x");
    folder.write("airports/my_park_airports.txt", "EGLL,27L\n");
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(entries(), (std::vector<std::string>{"EGLL|27L"}));
    EXPECT_TRUE(logged(log, "lf_readMyParkAirports ")) << fileInPlace;
  }
  gParkAirports.clear();
  gf_resetAirports();
}

TEST(ParkAirports, SaveUpdatesInsertsAndNeverReplacesAnUnreadableFile) {
  struct Case {
    std::string before;  // empty: no file
    ParkAirport first;
    std::string after;
  };
  const Case cases[] = {
      {"EDDF\nEGLL,27L\n", {"EGLL", ""}, "EDDF\nEGLL,\n"},
      {"EDDF\r\nEGLL,27L\r\n", {"EGLL", "09R"}, "EDDF\nEGLL,09R\n"},
      {"EGLL,27L\nEDDF\n", {"EGKK", "3"}, "EDDF\nEGKK,3\nEGLL,27L\n"},
      {"", {"EHAM", ""}, "EHAM\n"},
  };
  for (const Case& item : cases) {
    WorkFolder folder;
    readFourAirports(folder);
    std::filesystem::create_directories(folder.path() / "airports");
    if (!item.before.empty()) folder.write("airports/my_park_airports.txt", item.before);
    gParkAirports = {item.first};
    gf_saveMyParkAirport();
    EXPECT_EQ(readBytes(folder.path() / "airports/my_park_airports.txt"), item.after) << item.before;
  }

  WorkFolder folder;
  LogCapture log;
  // Tests run as root, so no permission stops a read: a folder in the file's
  // place is what cannot be read.
  std::filesystem::create_directories(folder.path() / "airports/my_park_airports.txt/keep");
  gParkAirports = {{"EGLL", "27L"}};
  gf_saveMyParkAirport();
  EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "airports/my_park_airports.txt/keep"));
  EXPECT_TRUE(logged(log, "cannot be read, not saved"));
  gParkAirports.clear();
  gf_resetAirports();
}
