#include "core/log_throttle.h"

#include <gtest/gtest.h>

#include "core_test_support.h"

namespace {

using namespace std::chrono_literals;

std::chrono::steady_clock::time_point gNow{};

TEST(LogThrottle, AFewLinesASecondEachKindThenACountOfWhatWasLeftOut) {
  LogCapture log;
  LogThrottle throttle(2, [] { return gNow; });
  struct Step {
    std::chrono::milliseconds at;
    const char* line;
  };
  // Two lines pass in each second; the first line of a later second says how
  // many were left out since the last one written.
  for (const Step& s : {Step{0ms, "a"}, Step{100ms, "b"}, Step{200ms, "c"}, Step{999ms, "d"},
                        Step{1000ms, "e"}, Step{1001ms, "f"}, Step{1002ms, "g"}, Step{5000ms, "h"}}) {
    gNow = std::chrono::steady_clock::time_point{} + s.at;
    throttle.logLine(s.line);
  }
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"a", "b", "e (2 similar lines left out)", "f",
                                                   "h (1 similar lines left out)"}));
}

TEST(LogThrottle, QuotedInputIsCutAtTwoHundredCharacters) {
  EXPECT_EQ(gf_quotedInput("short"), "short");
  EXPECT_EQ(gf_quotedInput(std::string(200, 'x')), std::string(200, 'x'));
  EXPECT_EQ(gf_quotedInput(std::string(100000, 'x')), std::string(200, 'x') + "...");
}

}  // namespace
