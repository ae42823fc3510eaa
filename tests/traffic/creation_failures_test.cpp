// Liveries the simulator refused, and aircraft that found none.
#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/parameters.h"
#include "liveries/uncreatable_titles.h"
#include "test_support.h"
#include "traffic/creation_failures.h"

namespace {

TEST(CreationFailureTest, CreationFailuresStopTheRunAtTheTwentieth) {
  testing_traffic::LogCapture log;
  RecordingSink sink;
  gf_forgetCreationRefusals();
  // Twenty refusals of four liveries: a title refused twice counts twice.
  std::vector<std::string> titles;
  for (int i = 0; i < 20; ++i) titles.push_back(sk::format("Livery {}", i % 4));
  const std::pair<const char*, const char*> models[] = {{"B738", "KLM"}, {"A320", "EZY"}, {"B738", "KLM"}, {"A20N", ""}};
  for (int i = 0; i < 20; ++i) {
    ActBase a;
    a.key.callsign = sk::format("CS{}", i);
    a.key.type = models[i % 4].first;
    a.key.operatorCode = models[i % 4].second;
    a.liveryTitle = titles[i];
    if (i < 19) {
      EXPECT_NO_THROW(gf_noteCreationFailure(a));
      continue;
    }
    try {
      gf_noteCreationFailure(a);
      ADD_FAILURE() << "no Error 81";
    } catch (const qlx::UserErrorException& e) {
      EXPECT_STREQ(e.what(), "81: there are too many liveries that could not be created by MSFS!, see Log.txt");
    }
  }
  ASSERT_EQ(sink.messages.size(), 20u);
  EXPECT_EQ(sink.messages[18], "CS18 \"Livery 2\" could not be created by your Sim!");
  const auto lines = log.lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"", "===> Error 81, there are too many liveries that could not be created by MSFS!", ""}));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(gf_isUncreatableTitle(sk::format("Livery {}", i)));
  titles.clear();  // the record keeps its own copies
  EXPECT_TRUE(gf_isUncreatableTitle("Livery 3"));
  EXPECT_EQ(gf_creationFailureList(), (std::vector<std::string>{"  A20N ", "  A320 EZY", "  B738 KLM"}));
}

TEST(CreationFailureTest, CreationFailureNoMatchListOnlyWithLog) {
  struct Case {
    bool log;
    std::set<std::string> keys;
    std::vector<std::string> lines;
  } cases[] = {
      {true, {"KLM B738 PH-BXA", "BAW A320 G-EUUA"}, {"", "No match found for: ", "BAW A320 G-EUUA", "KLM B738 PH-BXA", ""}},
      {false, {"KLM B738 PH-BXA"}, {}},
      {true, {}, {}},
  };
  for (const auto& c : cases) {
    testing_traffic::LogCapture log;
    LOG.value = c.log;
    gNoLiveryKeys = c.keys;
    gf_logNoMatch();
    EXPECT_EQ(log.lines(), c.lines);
  }
  LOG.value = true;
  gf_clearNoMatchList();
  EXPECT_TRUE(gNoLiveryKeys.empty());
}

}  // namespace
