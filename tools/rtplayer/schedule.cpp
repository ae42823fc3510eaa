#include "tools/rtplayer/schedule.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "core/errors.h"
#include "core/format.h"

namespace rtplay {

namespace {

// A later due time is refused: one wrong timestamp (a stray 0, milliseconds) would
// stall the replay for years, and the repeated pressure would fill the memory.
constexpr std::chrono::hours kLongestReplay{24 * 7};

Clock::duration lf_offset(double seconds, int lineNumber) {
  if (!(seconds <= std::chrono::duration<double>(kLongestReplay).count()))
    throw qlx::UserErrorException(
        99, sk::format("line {}: due {:.0f} s after the start, more than a week: is its time right?",
                       lineNumber, seconds));
  // Earlier than the start goes at the start; the conversion never sees a value out of range.
  return std::chrono::round<Clock::duration>(std::chrono::duration<double>(std::max(seconds, 0.0)));
}

}  // namespace

std::vector<ScheduledDatagram> gf_planReplay(const Replay& replay, const PlayOptions& options,
                                             double startEpoch) {
  if (!(options.speed > 0.0) || !std::isfinite(options.speed))
    throw qlx::UserErrorException(99,
                                  sk::format("the speed must be a positive number, not {}", options.speed));

  std::optional<double> firstTime;
  for (const auto& item : replay.items) {
    if (item.time) {
      firstTime = item.time;
      break;
    }
  }

  std::vector<ScheduledDatagram> plan;
  plan.reserve(replay.items.size());
  Clock::duration previous{};
  for (const auto& item : replay.items) {
    ScheduledDatagram datagram{previous, item.kind, item.text};
    if (item.time) {
      const double seconds = (*item.time - *firstTime) / options.speed;
      datagram.offset = std::max(previous, lf_offset(seconds, item.lineNumber));
      if (options.shiftToNow && item.kind == DatagramKind::Traffic)
        datagram.text = gf_withTimestamp(item.text, startEpoch + seconds);
    }
    previous = datagram.offset;
    plan.push_back(std::move(datagram));
  }

  if (options.pressure) {
    // Repeated like RealTraffic does, so that a reader's silence watchdog stays quiet.
    const auto text = gf_pressureDatagram(*options.pressure);
    std::vector<ScheduledDatagram> pressures;
    for (Clock::duration at{}; at <= previous; at += kPressureRepeat)
      pressures.push_back({at, DatagramKind::Pressure, text});
    if (pressures.empty()) pressures.push_back({Clock::duration{}, DatagramKind::Pressure, text});
    std::vector<ScheduledDatagram> merged;
    merged.reserve(plan.size() + pressures.size());
    // Pressure first at equal offsets: the readers should know the QNH before the traffic.
    std::merge(pressures.begin(), pressures.end(), plan.begin(), plan.end(), std::back_inserter(merged),
               [](const ScheduledDatagram& a, const ScheduledDatagram& b) { return a.offset < b.offset; });
    plan = std::move(merged);
  }
  return plan;
}

Clock::time_point SystemReplayClock::now() {
  return Clock::now();
}

double SystemReplayClock::epochSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void SystemReplayClock::sleepUntil(Clock::time_point when) {
  std::this_thread::sleep_until(when);
}

namespace {

std::size_t lf_playFrom(Clock::time_point start, const std::vector<ScheduledDatagram>& plan,
                        ReplayClock& clock, DatagramSink& sink) {
  std::size_t sent = 0;
  for (const auto& datagram : plan) {
    const auto due = start + datagram.offset;
    if (clock.now() < due) clock.sleepUntil(due);
    sink.send(datagram.kind, datagram.text);
    ++sent;
  }
  return sent;
}

}  // namespace

std::size_t gf_playPlan(const std::vector<ScheduledDatagram>& plan, ReplayClock& clock, DatagramSink& sink) {
  return lf_playFrom(clock.now(), plan, clock, sink);
}

std::size_t gf_playReplay(const Replay& replay, const PlayOptions& options, ReplayClock& clock,
                          DatagramSink& sink, std::size_t maxPasses) {
  // Every pass starts at a planned time, not at whenever the last one ended: a long
  // loop keeps its pace however late single sends are.
  const auto start = clock.now();
  const double startEpoch = clock.epochSeconds();
  Clock::duration passStart{};
  std::size_t sent = 0;
  for (std::size_t pass = 0; pass < maxPasses; ++pass) {
    const double passEpoch = startEpoch + std::chrono::duration<double>(passStart).count();
    const auto plan = gf_planReplay(replay, options, passEpoch);
    sent += lf_playFrom(start + passStart, plan, clock, sink);
    if (!options.loop || plan.empty()) break;
    passStart += plan.back().offset + kLoopPause;
  }
  return sent;
}

}  // namespace rtplay
