#pragma once
// Keeps a kind of log line that outside input can trigger at will (a flood of
// bad datagrams) from growing Log.txt without bound: at most a few lines of
// the kind per period (a second unless told); the next line written says how
// many were left out. Also paces what the user is shown of a repeated failure.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class LogThrottle {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit LogThrottle(unsigned linesPerPeriod = 5, Clock clock = {},
                       std::chrono::steady_clock::duration period = std::chrono::seconds(1));

  // nullopt when this period's lines are used up (the line is counted as left
  // out); otherwise the number of lines left out since the last one written.
  std::optional<std::uint64_t> admit();

  // Writes the line with gf_logLine when admitted, followed by
  // " ({} similar lines left out)" when some were.
  void logLine(const std::string& text);

 private:
  const unsigned m_linesPerPeriod;
  const Clock m_clock;
  const std::chrono::steady_clock::duration m_period;
  std::mutex m_mutex;
  std::chrono::steady_clock::time_point m_windowStart{};
  bool m_started = false;
  unsigned m_linesInWindow = 0;
  std::uint64_t m_leftOut = 0;
};

// Input quoted in a log line: at most 200 characters, "..." marking a cut.
std::string gf_quotedInput(std::string_view input);
