#include "tools/rtplayer/convert.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tools/rtplayer/replay.h"

namespace rtplay {
namespace {

std::string lf_readData(const char* name) {
  std::ifstream in(std::string(SKLM_TEST_DATA_DIR "/rtplayer/") + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Convert, MetricReportsBecomeTrafficLinesInTimeOrder) {
  const auto result = gf_convertPositionReports(lf_readData("reports.csv"), ReportUnits::Metric);
  EXPECT_EQ(result.reports, 5);
  EXPECT_EQ(result.lines, 4);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_EQ(result.warnings[0], "line 4 skipped: position ,");

  const auto replay = gf_parseReplay(result.replay);
  ASSERT_EQ(replay.items.size(), 4u);
  EXPECT_TRUE(replay.warnings.empty());
  // Sorted by time although the file lists the later report first.
  EXPECT_EQ(
      replay.items[0].text,
      "RTTFC,4737937,52.46192,4.71436,1950,-768,0,181.0,150.0,KLM1592,B738,PH-BXE,null,null,1733652000.00,"
      "X,null,replay,1950,-1,-1,-1,-1,-1,-1,-1,-768,none,A0,-1");
  EXPECT_EQ(replay.items[1].time, 1733652010.0);
  // On the ground: altitude 0 although none was reported; no vertical rate gives 0.
  const auto ground = gf_splitFields(replay.items[2].text);
  EXPECT_EQ(ground[1], "4738858");
  EXPECT_EQ(ground[4], "0");
  EXPECT_EQ(ground[5], "0");
  EXPECT_EQ(ground[6], "1");
  EXPECT_EQ(ground[8], "3.0");
  EXPECT_EQ(ground[10], "null");
  EXPECT_EQ(ground[11], "null");
  // No callsign and upper-case hex.
  const auto cruise = gf_splitFields(replay.items[3].text);
  EXPECT_EQ(cruise[1], "4901457");
  EXPECT_EQ(cruise[4], "37000");
  EXPECT_EQ(cruise[9], "null");
  for (const auto& item : replay.items) EXPECT_EQ(gf_splitFields(item.text).size(), 30u);
}

TEST(Convert, AviationUnitsAreTakenAsTheyAre) {
  const auto result = gf_convertPositionReports(
      "1000.5,484B91,KLM1592,52.4,4.7,2375,168,,-704,false,PH-BXE,B738\r\n", ReportUnits::Aviation);
  ASSERT_EQ(result.lines, 1);
  const auto replay = gf_parseReplay(result.replay);
  const auto fields = gf_splitFields(replay.items.at(0).text);
  EXPECT_EQ(fields[4], "2375");
  EXPECT_EQ(fields[5], "-704");
  EXPECT_EQ(fields[7], "");  // no track: the live side falls back on the heading
  EXPECT_EQ(fields[8], "168.0");
  EXPECT_EQ(fields[14], "1000.50");
}

TEST(Convert, UnusableRowsAreSkippedAndNamed) {
  const auto result = gf_convertPositionReports(
      "t,hex,cs,lat,lon,alt,gs,trk,vr,gnd\n"
      "1,484b91,A,52,4,100,50,90,0\n"          // too few columns
      "x,484b91,A,52,4,100,50,90,0,false\n"    // time
      "1,48zz91,A,52,4,100,50,90,0,false\n"    // hex id
      "1,1234567,A,52,4,100,50,90,0,false\n"   // hex id longer than 24 bits
      "1,484b91,A,95,4,100,50,90,0,false\n"    // latitude
      "1,484b91,A,52,4,null,50,90,0,false\n"   // altitude in the air
      "1,484b91,A,52,4,100,,90,0,false\n"      // ground speed
      "1,484b91,A,52,4,100,50,east,0,false\n"  // track
      "1,484b91,A,52,4,100,50,90,0,maybe\n"    // on-ground
      "1,484b91,A,52,4,100,50,90,0,false,PH-BXE,B738\n",
      ReportUnits::Metric);
  EXPECT_EQ(result.reports, 10);
  EXPECT_EQ(result.lines, 1);
  EXPECT_EQ(result.warnings.size(), 9u);
}

}  // namespace
}  // namespace rtplay
