#pragma once
// Turns a replay into datagrams due at offsets from the start, and sends them on time.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/rtplayer/replay.h"

namespace rtplay {

using Clock = std::chrono::steady_clock;

// Sends a pressure datagram again this often while the replay runs.
inline constexpr std::chrono::seconds kPressureRepeat{10};

struct PlayOptions {
  double speed = 1.0;                   // 2 plays twice as fast
  bool shiftToNow = false;              // traffic timestamps rewritten to the moment each line is sent
  std::optional<std::string> pressure;  // JSON value of "QNH" sent from the start
  bool loop = false;                    // after the last line, again from the first
};

// A looped replay starts its next pass this long after its last line: a report
// interval, so that no aircraft gets two reports at one instant.
inline constexpr std::chrono::seconds kLoopPause{1};

struct ScheduledDatagram {
  Clock::duration offset{};  // from the start of the replay
  DatagramKind kind = DatagramKind::Traffic;
  std::string text;
};

// startEpoch: the wall-clock time (seconds since 1970) at which the replay starts;
// used only to shift timestamps. Offsets never decrease: a line stamped earlier than
// the one before it goes right after it. Throws qlx::UserErrorException on a speed
// that is not a positive number and on a line due more than a week after the start.
std::vector<ScheduledDatagram> gf_planReplay(const Replay& replay, const PlayOptions& options,
                                             double startEpoch);

// Time as the player sees it; tests pass their own.
class ReplayClock {
 public:
  virtual ~ReplayClock() = default;
  virtual Clock::time_point now() = 0;
  virtual double epochSeconds() = 0;
  virtual void sleepUntil(Clock::time_point when) = 0;
};

class SystemReplayClock final : public ReplayClock {
 public:
  Clock::time_point now() override;
  double epochSeconds() override;
  void sleepUntil(Clock::time_point when) override;
};

class DatagramSink {
 public:
  virtual ~DatagramSink() = default;
  virtual void send(DatagramKind kind, std::string_view text) = 0;
};

// Sends every datagram of the plan at start + its offset. Returns the number sent.
std::size_t gf_playPlan(const std::vector<ScheduledDatagram>& plan, ReplayClock& clock, DatagramSink& sink);

// Plans and plays the replay; with options.loop it starts again from its first line,
// kLoopPause after the last, until maxPasses passes (never, by default). Each pass is
// planned for the wall-clock time it starts at, so that with shiftToNow the timestamps
// keep increasing from pass to pass. Returns the number of datagrams sent.
std::size_t gf_playReplay(const Replay& replay, const PlayOptions& options, ReplayClock& clock,
                          DatagramSink& sink, std::size_t maxPasses = SIZE_MAX);

}  // namespace rtplay
