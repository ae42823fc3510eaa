#include "tools/rtplayer/replay.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace rtplay {
namespace {

const std::string kDataDir = SKLM_TEST_DATA_DIR "/rtplayer/";

TEST(Replay, ReadsTrafficAndPressureLinesAndSkipsComments) {
  const auto replay = gf_parseReplay(
      "# recorded at the airport\n"
      "\n"
      "QNH,100.5,1009.6\n"
      "RTTFC,4737937,52.1,4.7,3000,0,0,181,140,KLM1,B738,PH-BXE,LHR,AMS,101.25,X\n"
      "QNH,102,\"2992\"\n"
      "RTTFC,short,line\n");
  ASSERT_EQ(replay.items.size(), 4u);
  EXPECT_TRUE(replay.warnings.empty());
  EXPECT_EQ(replay.items[0].kind, DatagramKind::Pressure);
  EXPECT_EQ(replay.items[0].text, "{\"QNH\":1009.6}");
  EXPECT_EQ(replay.items[0].time, 100.5);
  EXPECT_EQ(replay.items[0].lineNumber, 3);
  EXPECT_EQ(replay.items[1].kind, DatagramKind::Traffic);
  EXPECT_EQ(replay.items[1].time, 101.25);
  EXPECT_EQ(replay.items[1].text,
            "RTTFC,4737937,52.1,4.7,3000,0,0,181,140,KLM1,B738,PH-BXE,LHR,AMS,101.25,X");
  EXPECT_EQ(replay.items[2].text, "{\"QNH\":\"2992\"}");
  // A line without a timestamp is still played, right after the one before it.
  EXPECT_FALSE(replay.items[3].time.has_value());
  EXPECT_EQ(replay.items[3].text, "RTTFC,short,line");
}

TEST(Replay, BadPressureLinesAreSkippedWithTheirLineNumber) {
  const auto replay = gf_parseReplay("QNH,soon,1013\nQNH,5,{broken\nQNH,6\nQNH,7,1013\n");
  ASSERT_EQ(replay.items.size(), 1u);
  EXPECT_EQ(replay.items[0].time, 7.0);
  ASSERT_EQ(replay.warnings.size(), 3u);
  EXPECT_TRUE(replay.warnings[0].starts_with("line 1:"));
  EXPECT_TRUE(replay.warnings[1].starts_with("line 2:"));
  EXPECT_TRUE(replay.warnings[2].starts_with("line 3:"));
}

TEST(Replay, CrLfFilesReadLikeLfFiles) {
  const std::string lf = "# c\nQNH,1,1013\nA,1,2,3,4,5,6,7,8,9,10,11,12,13,14.5,15\n\nB\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const auto a = gf_parseReplay(lf);
  const auto b = gf_parseReplay(crlf + "last-without-end");
  ASSERT_EQ(b.items.size(), a.items.size() + 1);
  for (std::size_t i = 0; i < a.items.size(); ++i) {
    EXPECT_EQ(a.items[i].text, b.items[i].text);
    EXPECT_EQ(a.items[i].time, b.items[i].time);
  }
  EXPECT_EQ(b.items.back().text, "last-without-end");
}

TEST(Replay, NumbersMustBeWholeFields) {
  EXPECT_EQ(gf_parseNumber("1733652000.25"), 1733652000.25);
  EXPECT_EQ(gf_parseNumber(" -12.5 "), -12.5);
  EXPECT_EQ(gf_parseNumber("+3"), 3.0);
  EXPECT_FALSE(gf_parseNumber(""));
  EXPECT_FALSE(gf_parseNumber("12abc"));
  EXPECT_FALSE(gf_parseNumber("null"));
  EXPECT_FALSE(gf_parseNumber("nan"));
  EXPECT_FALSE(gf_parseNumber("inf"));
}

TEST(Replay, TimestampRewriteTouchesOnlyField14) {
  const std::string line = "RTTFC,1,2,3,4,5,6,7,8,9,10,11,12,13,100.00,15,,17";
  EXPECT_EQ(gf_withTimestamp(line, 1733652000.126),
            "RTTFC,1,2,3,4,5,6,7,8,9,10,11,12,13,1733652000.13,15,,17");
  EXPECT_EQ(gf_withTimestamp("RTTFC,1,2", 5.0), "RTTFC,1,2");
  EXPECT_EQ(gf_splitFields("a,,b,").size(), 4u);
}

TEST(Replay, MissingFileIsReported) {
  EXPECT_THROW(gf_readReplayFile(kDataDir + "no-such.replay"), std::runtime_error);
}

// What the live-traffic parser needs of a line it keeps, by field index.
std::string lf_faultOf(const std::vector<std::string_view>& f) {
  static const std::set<std::string_view> kBadTypes = {"null", "0",    "ZZZZ", "GRND", "GLID",
                                                       "SERV", "BALL", "PARA", "SHIP", "EMER"};
  static const std::set<std::string_view> kBadCategories = {"", "B1", "B2", "B4", "C1", "C2"};
  if (f.size() < 29) return "short";
  for (int i : {2, 3, 4, 5, 8, 14, 20, 23, 25})
    if (!gf_parseNumber(f[i])) return "number in field " + std::to_string(i);
  const auto hexid = gf_parseNumber(f[1]);
  if (!hexid || *hexid <= 10000) return "hexid";
  const double lat = *gf_parseNumber(f[2]), lon = *gf_parseNumber(f[3]);
  if (lat < -90 || lat > 90 || lon < -180 || lon > 180) return "range";
  if (lat >= 0 && lat <= 0.0009 && lon >= 0 && lon <= 0.05) return "null box";
  if (kBadTypes.contains(f[10]) || f[10].size() > 4) return "type";
  if (kBadCategories.contains(f[28])) return "category";
  if (f[9].starts_with("TOW ") || f[9] == "ERARMTR0") return "callsign";
  if (f[11] == "null" && (f[15] == "F" || f[9] == "null")) return "registration";
  return {};
}

TEST(ReplayData, FlightsAreWellFormedAndInTimeOrder) {
  for (const char* name : {"arrival.replay", "departure.replay", "cruise.replay", "three_lines.replay"}) {
    SCOPED_TRACE(name);
    const auto replay = gf_readReplayFile(kDataDir + name);
    EXPECT_TRUE(replay.warnings.empty());
    ASSERT_GE(replay.items.size(), 3u);
    double previous = 0.0;
    std::set<int> groundFlags;
    for (const auto& item : replay.items) {
      SCOPED_TRACE(item.lineNumber);
      ASSERT_TRUE(item.time.has_value());
      EXPECT_GE(*item.time, previous);
      previous = *item.time;
      if (item.kind != DatagramKind::Traffic) continue;
      EXPECT_EQ(item.text.find(" VEH"), std::string::npos);
      const auto fields = gf_splitFields(item.text);
      EXPECT_EQ(lf_faultOf(fields), "");
      EXPECT_EQ(fields.size(), 30u);
      // Near the airport around 52.3,4.76.
      EXPECT_NEAR(*gf_parseNumber(fields[2]), 52.3, 0.5);
      EXPECT_NEAR(*gf_parseNumber(fields[3]), 4.76, 1.1);
      groundFlags.insert(fields[6] == "1");
    }
    const std::string file = name;
    if (file == "arrival.replay" || file == "departure.replay") {
      EXPECT_EQ(groundFlags.size(), 2u);
    }
  }
}

TEST(ReplayData, EveryLineOfTheDropFileHasAFault) {
  const auto replay = gf_readReplayFile(kDataDir + "drops.replay");
  ASSERT_GE(replay.items.size(), 15u);
  int vehicles = 0;
  for (const auto& item : replay.items) {
    SCOPED_TRACE(item.text);
    if (item.text.find(" VEH") != std::string::npos) {
      ++vehicles;
      continue;
    }
    EXPECT_NE(lf_faultOf(gf_splitFields(item.text)), "");
  }
  EXPECT_EQ(vehicles, 2);
}

}  // namespace
}  // namespace rtplay
