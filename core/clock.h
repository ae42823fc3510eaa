#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// All times are UTC seconds since 1970-01-01 00:00; the local time zone is never used.

// Weekday (1 Monday .. 7 Sunday) in the low 32 bits, half-hour slot (0..47) in the high 32 bits.
using DaySlot = std::uint64_t;

constexpr DaySlot gf_makeDaySlot(std::uint32_t weekday, std::uint32_t slot) {
  return (static_cast<DaySlot>(slot) << 32) | weekday;
}
constexpr std::uint32_t gf_weekdayOf(DaySlot daySlot) { return static_cast<std::uint32_t>(daySlot); }
constexpr std::uint32_t gf_slotOf(DaySlot daySlot) { return static_cast<std::uint32_t>(daySlot >> 32); }

// Inputs of the slot clock, written by other threads. While gRtProfessional is
// set and gRtDataTime holds a plausible time, weekday and slot follow
// RealTraffic's data time instead of the PC clock.
extern std::atomic<double> gRtDataTime;  // time of the latest traffic line, 0 before the first
extern std::atomic<bool> gRtProfessional;  // the connected RealTraffic is the professional edition

// The one seam for the system clock: a function giving the current UTC seconds.
// nullptr restores the real clock. Returns the source it replaces.
using ClockSource = std::int64_t (*)();
ClockSource gf_setClockSource(ClockSource source);

// The system clock's current UTC seconds (through the seam).
std::int64_t gf_systemNow();

// The one seam for the steady clock: 100 ns units from an arbitrary start, never
// going back. nullptr restores the real clock. Returns the source it replaces.
using SteadySource = std::uint64_t (*)();
SteadySource gf_setSteadySource(SteadySource source);
std::uint64_t gf_steadyNow();

// The 24-character asctime text of a time, without its newline: "Thu Jan  1 00:00:00 1970".
std::string gf_timeToString(std::int64_t seconds);

// hh:mm:ss of the system clock.
std::string gf_utcNowString();
// hh:mm:ss of the slot clock.
std::string gf_timeOfDay();
// Half-hour slot 0..47 of the slot clock.
int gf_halfHourSlot();
// Weekday and half-hour slot of the slot clock, from one reading of it.
DaySlot gf_currentSlot();
// "Mon" 1 .. "Sun" 7, compared exactly; any other text is logged
// ("lf_decodeDay ?  text") and gives 0.
int lf_decodeDay(std::string_view text);
// "Monday" .. "Sunday" for 1..7, "wrong day" otherwise.
std::string gf_dayName(int weekday);
// Half-hour slots from the earlier of a and b to the later; Monday follows Sunday.
std::uint32_t gf_slotDistance(DaySlot a, DaySlot b);
// The system clock's date as "Dec  7, 2026".
std::string gf_dateStamp();
