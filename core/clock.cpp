#include "core/clock.h"

#include <array>
#include <chrono>
#include <cstdlib>

#include "core/format.h"
#include "core/log.h"

std::atomic<double> gRtDataTime{0.0};
std::atomic<bool> gRtProfessional{false};

namespace {

namespace chr = std::chrono;

std::atomic<ClockSource> clockSource{nullptr};
std::atomic<SteadySource> steadySource{nullptr};

// RealTraffic's data time is peer input: only times from 1970 up to the end of
// year 9999 are taken; anything else (negative, NaN, absurd) falls back.
constexpr double LATEST_DATA_TIME = 253402300800.0;

constexpr std::array<const char*, 7> DAY_ABBREVIATIONS{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<const char*, 12> MONTH_ABBREVIATIONS{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The broken-down UTC time; pure arithmetic, so it is safe from any thread.
struct UtcFields {
  int year;
  unsigned month;  // 1..12
  unsigned day;    // 1..31
  unsigned weekday;  // 1 Monday .. 7 Sunday
  int hour;
  int minute;
  int second;
};

UtcFields lf_utcFields(std::int64_t seconds) {
  const chr::sys_seconds time{chr::seconds{seconds}};
  const auto midnight = chr::floor<chr::days>(time);
  const chr::year_month_day date{midnight};
  const chr::hh_mm_ss clock{time - midnight};
  return {static_cast<int>(date.year()),
          static_cast<unsigned>(date.month()),
          static_cast<unsigned>(date.day()),
          chr::weekday{midnight}.iso_encoding(),
          static_cast<int>(clock.hours().count()),
          static_cast<int>(clock.minutes().count()),
          static_cast<int>(clock.seconds().count())};
}

std::string lf_hhmmss(const UtcFields& t) { return sk::format("{:02}:{:02}:{:02}", t.hour, t.minute, t.second); }

int lf_halfHourSlot(const UtcFields& t) { return (t.hour * 2 + (t.minute >= 30 ? 1 : 0)) % 48; }

// The professional edition's data time while it is plausible, else the system clock.
std::int64_t lf_slotClockNow() {
  if (gRtProfessional.load(std::memory_order_relaxed)) {
    const double dataTime = gRtDataTime.load(std::memory_order_relaxed);
    if (dataTime > 0.0 && dataTime < LATEST_DATA_TIME) {
      const auto seconds = static_cast<std::int64_t>(dataTime);
      if (seconds != 0) return seconds;
    }
  }
  return gf_systemNow();
}

}  // namespace

ClockSource gf_setClockSource(ClockSource source) { return clockSource.exchange(source); }

std::int64_t gf_systemNow() {
  if (const ClockSource source = clockSource.load()) return source();
  return chr::floor<chr::seconds>(chr::system_clock::now()).time_since_epoch().count();
}

SteadySource gf_setSteadySource(SteadySource source) { return steadySource.exchange(source); }

std::uint64_t gf_steadyNow() {
  if (const SteadySource source = steadySource.load()) return source();
  using Units = chr::duration<std::uint64_t, std::ratio<1, 10'000'000>>;
  return chr::duration_cast<Units>(chr::steady_clock::now().time_since_epoch()).count();
}

std::string gf_timeToString(std::int64_t seconds) {
  const UtcFields t = lf_utcFields(seconds);
  return sk::format("{} {} {:2} {} {}", DAY_ABBREVIATIONS[t.weekday - 1], MONTH_ABBREVIATIONS[t.month - 1],
                    t.day, lf_hhmmss(t), t.year);
}

std::string gf_utcNowString() { return lf_hhmmss(lf_utcFields(gf_systemNow())); }

std::string gf_timeOfDay() { return lf_hhmmss(lf_utcFields(lf_slotClockNow())); }

int gf_halfHourSlot() { return lf_halfHourSlot(lf_utcFields(lf_slotClockNow())); }

DaySlot gf_currentSlot() {
  // One reading: two could pair Sunday's weekday with Monday 00:00's slot.
  const UtcFields t = lf_utcFields(lf_slotClockNow());
  return gf_makeDaySlot(t.weekday, static_cast<std::uint32_t>(lf_halfHourSlot(t)));
}

int lf_decodeDay(std::string_view text) {
  for (std::size_t i = 0; i < DAY_ABBREVIATIONS.size(); ++i)
    if (text == DAY_ABBREVIATIONS[i]) return static_cast<int>(i) + 1;
  gf_logText(sk::format("lf_decodeDay ?  {}", text));
  return 0;
}

std::string gf_dayName(int weekday) {
  static constexpr std::array<const char*, 7> names{"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                    "Friday", "Saturday", "Sunday"};
  if (weekday < 1 || weekday > 7) return "wrong day";
  return names[weekday - 1];
}

std::uint32_t gf_slotDistance(DaySlot a, DaySlot b) {
  const auto weekOffset = [](DaySlot daySlot) {
    return std::int64_t{gf_weekdayOf(daySlot)} * 48 + std::int64_t{gf_slotOf(daySlot)};
  };
  const std::int64_t distance = std::abs(weekOffset(a) - weekOffset(b));
  // Only Sunday to the next Monday wraps the week; Saturday and Monday never do.
  const std::uint32_t dayA = gf_weekdayOf(a), dayB = gf_weekdayOf(b);
  const bool wraps = (dayA == 1 && dayB == 7) || (dayA == 7 && dayB == 1);
  return static_cast<std::uint32_t>(wraps ? 7 * 48 - distance : distance);
}

std::string gf_dateStamp() {
  const UtcFields t = lf_utcFields(gf_systemNow());
  return sk::format("{} {:2}, {}", MONTH_ABBREVIATIONS[t.month - 1], t.day, t.year);
}
