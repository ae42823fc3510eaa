#include "core/clock.h"

#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "core_test_support.h"

namespace {

// 2026-12-07 (a Monday) 00:00:00 UTC.
constexpr std::int64_t MONDAY_2026_12_07 = 1796601600;
constexpr std::int64_t HOUR = 3600, DAY = 86400;

std::atomic<std::int64_t> fakeNow{0};
std::atomic<int> readings{0};

std::int64_t lf_fakeClock() {
  ++readings;
  return fakeNow.load();
}

// Each reading moves one second on: the first gives Sunday 23:59:59, the next Monday 00:00:00.
std::int64_t lf_tickingClock() { return MONDAY_2026_12_07 - 1 + readings++; }

class SlotClock : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = gf_setClockSource(&lf_fakeClock);
    readings = 0;
    gRtProfessional = false;
    gRtDataTime = 0.0;
  }
  void TearDown() override {
    gf_setClockSource(previous_);
    gRtProfessional = false;
    gRtDataTime = 0.0;
  }
  static void setNow(std::int64_t seconds) { fakeNow = seconds; }

 private:
  ClockSource previous_ = nullptr;
};

}  // namespace

TEST(ClockText, AsctimeFormOfUtcTimes) {
  EXPECT_EQ(gf_timeToString(0), "Thu Jan  1 00:00:00 1970");
  EXPECT_EQ(gf_timeToString(MONDAY_2026_12_07 + 22 * HOUR + 18 * 60 + 27), "Mon Dec  7 22:18:27 2026");
  EXPECT_EQ(gf_timeToString(951782400 + 13 * HOUR + 5), "Tue Feb 29 13:00:05 2000");
  EXPECT_EQ(gf_timeToString(-1), "Wed Dec 31 23:59:59 1969");
  EXPECT_EQ(gf_timeToString(253402300799), "Fri Dec 31 23:59:59 9999");
}

TEST(ClockText, DayNames) {
  EXPECT_EQ(gf_dayName(1), "Monday");
  EXPECT_EQ(gf_dayName(4), "Thursday");
  EXPECT_EQ(gf_dayName(7), "Sunday");
  EXPECT_EQ(gf_dayName(0), "wrong day");
  EXPECT_EQ(gf_dayName(8), "wrong day");
  EXPECT_EQ(gf_dayName(-1), "wrong day");
}

TEST(ClockText, DecodeDayTakesExactAbbreviationsAndLogsAnythingElse) {
  LogCapture log;
  const std::pair<const char*, int> cases[] = {{"Mon", 1}, {"Thu", 4}, {"Sun", 7},   {"mon", 0},
                                               {"Monday", 0}, {"", 0},  {"Mo", 0}};
  std::vector<std::string> expectedLog;
  for (const auto& [text, day] : cases) {
    EXPECT_EQ(lf_decodeDay(text), day) << text;
    if (day == 0) expectedLog.push_back(std::string("lf_decodeDay ?  ") + text);
  }
  EXPECT_EQ(log.lines(), expectedLog);
}

TEST(SlotDistance, CountsHalfHoursFromTheEarlierToTheLater) {
  const auto mon = [](std::uint32_t slot) { return gf_makeDaySlot(1, slot); };
  EXPECT_EQ(gf_slotDistance(mon(10), mon(10)), 0u);
  EXPECT_EQ(gf_slotDistance(gf_makeDaySlot(2, 10), mon(10)), 48u);
  EXPECT_EQ(gf_slotDistance(mon(10), gf_makeDaySlot(2, 10)), 48u);
  EXPECT_EQ(gf_slotDistance(mon(3), mon(40)), 37u);
  EXPECT_EQ(gf_slotDistance(gf_makeDaySlot(3, 0), gf_makeDaySlot(2, 47)), 1u);
  // Only Sunday to Monday wraps the week.
  EXPECT_EQ(gf_slotDistance(mon(0), gf_makeDaySlot(7, 47)), 1u);
  EXPECT_EQ(gf_slotDistance(gf_makeDaySlot(7, 47), mon(0)), 1u);
  EXPECT_EQ(gf_slotDistance(mon(5), gf_makeDaySlot(7, 5)), 48u);
  EXPECT_EQ(gf_slotDistance(mon(47), gf_makeDaySlot(7, 0)), 95u);
  EXPECT_EQ(gf_slotDistance(gf_makeDaySlot(6, 0), mon(0)), 240u);
  EXPECT_EQ(gf_slotDistance(mon(0), gf_makeDaySlot(6, 0)), 240u);
}

TEST(SlotDistance, PacksWeekdayLowAndSlotHigh) {
  const DaySlot value = gf_makeDaySlot(5, 33);
  EXPECT_EQ(value, (std::uint64_t{33} << 32) | 5u);
  EXPECT_EQ(gf_weekdayOf(value), 5u);
  EXPECT_EQ(gf_slotOf(value), 33u);
}

TEST_F(SlotClock, HalfHourSlotsOfTheDay) {
  const std::int64_t day = MONDAY_2026_12_07;
  setNow(day);
  EXPECT_EQ(gf_halfHourSlot(), 0);
  setNow(day + 10 * HOUR + 29 * 60 + 59);
  EXPECT_EQ(gf_halfHourSlot(), 20);
  setNow(day + 10 * HOUR + 30 * 60);
  EXPECT_EQ(gf_halfHourSlot(), 21);
  setNow(day + 23 * HOUR + 59 * 60);
  EXPECT_EQ(gf_halfHourSlot(), 47);
  EXPECT_EQ(gf_timeOfDay(), "23:59:00");
}

TEST_F(SlotClock, CurrentSlotGivesIsoWeekdays) {
  for (int i = 0; i < 7; ++i) {
    setNow(MONDAY_2026_12_07 + i * DAY + 7 * HOUR + 45 * 60);
    EXPECT_EQ(gf_currentSlot(), gf_makeDaySlot(i + 1, 15)) << i;
  }
  setNow(0);
  EXPECT_EQ(gf_weekdayOf(gf_currentSlot()), 4u);
}

TEST_F(SlotClock, CurrentSlotReadsTheClockOnce) {
  gf_setClockSource(&lf_tickingClock);
  // Sunday 23:59:59 must never pair with Monday 00:00's slot.
  EXPECT_EQ(gf_currentSlot(), gf_makeDaySlot(7, 47));
  EXPECT_EQ(readings, 1);
}

TEST_F(SlotClock, SystemClockTextsIgnoreTheDataTime) {
  setNow(MONDAY_2026_12_07 + 22 * HOUR + 18 * 60 + 27);
  gRtProfessional = true;
  gRtDataTime = static_cast<double>(MONDAY_2026_12_07 + 3 * DAY + HOUR);
  EXPECT_EQ(gf_utcNowString(), "22:18:27");
  EXPECT_EQ(gf_dateStamp(), "Dec  7, 2026");
  setNow(MONDAY_2026_12_07 + 10 * DAY);
  EXPECT_EQ(gf_dateStamp(), "Dec 17, 2026");
}

TEST_F(SlotClock, ProfessionalEditionFollowsTheDataTime) {
  setNow(MONDAY_2026_12_07 + 12 * HOUR);
  const double thursday = static_cast<double>(MONDAY_2026_12_07 + 3 * DAY + 5 * HOUR + 31 * 60) + 0.75;
  gRtDataTime = thursday;
  EXPECT_EQ(gf_currentSlot(), gf_makeDaySlot(1, 24));  // not professional: system clock

  gRtProfessional = true;
  EXPECT_EQ(gf_currentSlot(), gf_makeDaySlot(4, 11));
  EXPECT_EQ(gf_halfHourSlot(), 11);
  EXPECT_EQ(gf_timeOfDay(), "05:31:00");

  gRtDataTime = 0.0;  // professional, but no traffic yet
  EXPECT_EQ(gf_currentSlot(), gf_makeDaySlot(1, 24));
}

TEST_F(SlotClock, ImplausibleDataTimeFallsBackToTheSystemClock) {
  setNow(MONDAY_2026_12_07 + 12 * HOUR);
  gRtProfessional = true;
  for (double bad : {0.5, -5.0, 253402300800.0, 1e300, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
    gRtDataTime = bad;
    EXPECT_EQ(gf_currentSlot(), gf_makeDaySlot(1, 24)) << bad;
    EXPECT_EQ(gf_timeOfDay(), "12:00:00") << bad;
  }
  gRtDataTime = 253402300799.0;  // the last second of year 9999 is still a time
  EXPECT_EQ(gf_timeOfDay(), "23:59:59");
}

TEST(SystemClock, RealSourceIsRestoredAndCurrent) {
  const ClockSource previous = gf_setClockSource(nullptr);
  const std::int64_t now = gf_systemNow();
  gf_setClockSource(previous);
  // Any build of this program runs after 2026-01-01 and before 2100.
  EXPECT_GT(now, 1767225600);
  EXPECT_LT(now, 4102444800);
  EXPECT_EQ(gf_utcNowString().size(), 8u);
}
