#include "tools/rtplayer/schedule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rtplay {
namespace {

using namespace std::chrono_literals;

std::string lf_line(const std::string& hexid, const std::string& stamp) {
  return "RTTFC," + hexid + ",52.3,4.76,3000,0,0,181,140,KLM1,B738,PH-BXE,LHR,AMS," + stamp + ",X,KL1";
}

PlayOptions lf_options(double speed, bool shiftToNow = false, std::optional<std::string> pressure = {}) {
  PlayOptions options;
  options.speed = speed;
  options.shiftToNow = shiftToNow;
  options.pressure = std::move(pressure);
  return options;
}

std::chrono::milliseconds lf_ms(Clock::duration d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d);
}

TEST(Plan, OffsetsFollowTheTimestampsScaledBySpeed) {
  const auto replay = gf_parseReplay(lf_line("1", "1000.00") + "\n" + lf_line("2", "1000.40") + "\n" +
                                     "QNH,1001,1013\n" + lf_line("3", "1003.00") + "\n");
  auto plan = gf_planReplay(replay, PlayOptions{}, 0.0);
  ASSERT_EQ(plan.size(), 4u);
  EXPECT_EQ(lf_ms(plan[0].offset), 0ms);
  EXPECT_EQ(lf_ms(plan[1].offset), 400ms);
  EXPECT_EQ(lf_ms(plan[2].offset), 1000ms);
  EXPECT_EQ(plan[2].kind, DatagramKind::Pressure);
  EXPECT_EQ(lf_ms(plan[3].offset), 3000ms);
  EXPECT_EQ(plan[3].text, lf_line("3", "1003.00"));

  plan = gf_planReplay(replay, lf_options(4.0), 0.0);
  EXPECT_EQ(lf_ms(plan[1].offset), 100ms);
  EXPECT_EQ(lf_ms(plan[3].offset), 750ms);
}

TEST(Plan, LinesOutOfOrderOrWithoutTimestampGoRightAfterThePreviousOne) {
  const auto replay =
      gf_parseReplay("RTTFC,broken\n" + lf_line("1", "50") + "\n" + lf_line("2", "52") + "\n" +
                     lf_line("3", "51") + "\n" + lf_line("4", "soon") + "\n" + lf_line("5", "53") + "\n");
  const auto plan = gf_planReplay(replay, PlayOptions{}, 0.0);
  ASSERT_EQ(plan.size(), 6u);
  const std::vector<std::chrono::milliseconds> expected = {0ms, 0ms, 2000ms, 2000ms, 2000ms, 3000ms};
  for (std::size_t i = 0; i < plan.size(); ++i) EXPECT_EQ(lf_ms(plan[i].offset), expected[i]) << i;
}

TEST(Plan, ShiftToNowStampsEachLineWithItsSendingTime) {
  const auto replay = gf_parseReplay(lf_line("1", "1000.00") + "\n" + lf_line("2", "1010.00") + "\n" +
                                     lf_line("3", "bad") + "\nQNH,1010,1013\n");
  const auto plan = gf_planReplay(replay, lf_options(2.0, true), 1733652000.0);
  ASSERT_EQ(plan.size(), 4u);
  EXPECT_EQ(plan[0].text, lf_line("1", "1733652000.00"));
  EXPECT_EQ(plan[1].text, lf_line("2", "1733652005.00"));
  EXPECT_EQ(plan[2].text, lf_line("3", "bad"));
  EXPECT_EQ(plan[3].text, "{\"QNH\":1013}");
}

TEST(Plan, PressureOptionIsSentFirstAndRepeated) {
  const auto replay = gf_parseReplay(lf_line("1", "0") + "\n" + lf_line("2", "25") + "\n");
  const auto plan = gf_planReplay(replay, lf_options(1.0, false, "1009.6"), 0.0);
  ASSERT_EQ(plan.size(), 5u);
  EXPECT_EQ(plan[0].kind, DatagramKind::Pressure);
  EXPECT_EQ(plan[0].text, "{\"QNH\":1009.6}");
  EXPECT_EQ(plan[1].kind, DatagramKind::Traffic);
  EXPECT_EQ(lf_ms(plan[2].offset), 10000ms);
  EXPECT_EQ(lf_ms(plan[3].offset), 20000ms);
  EXPECT_EQ(plan[3].kind, DatagramKind::Pressure);
  EXPECT_EQ(lf_ms(plan[4].offset), 25000ms);

  const auto empty = gf_planReplay(Replay{}, lf_options(1.0, false, "1013"), 0.0);
  ASSERT_EQ(empty.size(), 1u);
}

TEST(Plan, SpeedMustBePositive) {
  const auto replay = gf_parseReplay(lf_line("1", "0") + "\n");
  for (double speed :
       {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
    EXPECT_THROW(gf_planReplay(replay, lf_options(speed), 0.0), std::runtime_error) << speed;
}

TEST(Plan, ALineDueMoreThanAWeekLaterIsRefused) {
  // A stray 0 before real times, and milliseconds among seconds: decades of waiting,
  // and of repeated pressure datagrams, are refused instead of planned.
  const auto strayZero = gf_parseReplay(lf_line("1", "0") + "\n" + lf_line("2", "1733652000") + "\n");
  EXPECT_THROW(gf_planReplay(strayZero, lf_options(1.0, false, "1013"), 0.0), std::runtime_error);
  const auto milliseconds =
      gf_parseReplay(lf_line("1", "1733652000") + "\n" + lf_line("2", "1733652000500") + "\n");
  EXPECT_THROW(gf_planReplay(milliseconds, PlayOptions{}, 0.0), std::runtime_error);
  const auto second = gf_parseReplay(lf_line("1", "0") + "\n" + lf_line("2", "1") + "\n");
  EXPECT_THROW(gf_planReplay(second, lf_options(1e-300), 0.0), std::runtime_error);

  // A week to the second still plays; a time far before the start goes at once.
  const auto week = gf_parseReplay(lf_line("1", "0") + "\n" + lf_line("2", "604800") + "\n" +
                                   lf_line("3", "-1e300") + "\n");
  const auto plan = gf_planReplay(week, PlayOptions{}, 0.0);
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[1].offset, std::chrono::hours(24 * 7));
  EXPECT_EQ(plan[2].offset, plan[1].offset);
}

// A clock that jumps to whatever time the player sleeps until.
class JumpingClock final : public ReplayClock {
 public:
  Clock::time_point now() override { return m_now; }
  double epochSeconds() override { return 0.0; }
  void sleepUntil(Clock::time_point when) override {
    sleeps.push_back(when - m_start);
    m_now = std::max(m_now, when);
  }
  void advance(Clock::duration d) { m_now += d; }
  std::vector<Clock::duration> sleeps;

 private:
  Clock::time_point m_start{std::chrono::hours(1)};
  Clock::time_point m_now{m_start};
};

class RecordingSink final : public DatagramSink {
 public:
  explicit RecordingSink(JumpingClock& clock, Clock::duration cost) : m_clock(clock), m_cost(cost) {}
  void send(DatagramKind kind, std::string_view text) override {
    sent.push_back({kind, std::string(text)});
    m_clock.advance(m_cost);
  }
  std::vector<std::pair<DatagramKind, std::string>> sent;

 private:
  JumpingClock& m_clock;
  Clock::duration m_cost;
};

TEST(Play, SendsEachDatagramAtItsDueTimeWithoutDrift) {
  const std::vector<ScheduledDatagram> plan = {{0ms, DatagramKind::Pressure, "p"},
                                               {0ms, DatagramKind::Traffic, "a"},
                                               {150ms, DatagramKind::Traffic, "b"},
                                               {250ms, DatagramKind::Traffic, "c"},
                                               {255ms, DatagramKind::Traffic, "d"}};
  JumpingClock clock;
  // Each send takes 10 ms: the due times stay those of the plan, not plan + work done.
  RecordingSink sink(clock, 10ms);
  EXPECT_EQ(gf_playPlan(plan, clock, sink), 5u);
  ASSERT_EQ(sink.sent.size(), 5u);
  EXPECT_EQ(sink.sent[0], std::make_pair(DatagramKind::Pressure, std::string("p")));
  EXPECT_EQ(sink.sent[4].second, "d");
  // No sleep for the datagrams already due ("p" at 0, "a" at 0 reached at 10, "d" at 255 reached at 260).
  const std::vector<Clock::duration> expected = {150ms, 250ms};
  EXPECT_EQ(clock.sleeps, expected);
}

TEST(Play, ALoopedReplayStartsAgainAPauseAfterItsLastLineWithTimestampsStillIncreasing) {
  const auto replay = gf_parseReplay(lf_line("1", "1000.00") + "\n" + lf_line("2", "1002.00") + "\n");
  auto options = lf_options(1.0, true);
  JumpingClock once;
  RecordingSink onceSink(once, 0ms);
  // Without --loop a single pass, whatever the limit.
  EXPECT_EQ(gf_playReplay(replay, options, once, onceSink, 3), 2u);

  options.loop = true;
  JumpingClock clock;
  RecordingSink sink(clock, 10ms);
  EXPECT_EQ(gf_playReplay(replay, options, clock, sink, 2), 4u);
  ASSERT_EQ(sink.sent.size(), 4u);
  // The clock's wall time reads 0: the stamps are the seconds since the start.
  EXPECT_EQ(sink.sent[1].second, lf_line("2", "2.00"));
  EXPECT_EQ(sink.sent[2].second, lf_line("1", "3.00"));
  EXPECT_EQ(sink.sent[3].second, lf_line("2", "5.00"));
  const std::vector<Clock::duration> expected = {2s, 3s, 5s};
  EXPECT_EQ(clock.sleeps, expected);
}

}  // namespace
}  // namespace rtplay
