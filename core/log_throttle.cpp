#include "core/log_throttle.h"

#include <utility>

#include "core/format.h"
#include "core/log.h"

namespace {
constexpr std::size_t kQuotedInputLength = 200;
}  // namespace

LogThrottle::LogThrottle(unsigned linesPerPeriod, Clock clock, std::chrono::steady_clock::duration period)
    : m_linesPerPeriod(linesPerPeriod),
      m_clock(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)),
      m_period(period) {}

std::optional<std::uint64_t> LogThrottle::admit() {
  const auto now = m_clock();
  std::lock_guard lock(m_mutex);
  if (!m_started || now - m_windowStart >= m_period) {
    m_started = true;
    m_windowStart = now;
    m_linesInWindow = 0;
  }
  if (m_linesInWindow >= m_linesPerPeriod) {
    ++m_leftOut;
    return std::nullopt;
  }
  ++m_linesInWindow;
  return std::exchange(m_leftOut, 0);
}

void LogThrottle::logLine(const std::string& text) {
  const auto leftOut = admit();
  if (!leftOut) return;
  if (*leftOut == 0) {
    gf_logLine(text);
  } else {
    gf_logLine(sk::format("{} ({} similar lines left out)", text, *leftOut));
  }
}

std::string gf_quotedInput(std::string_view input) {
  if (input.size() <= kQuotedInputLength) return std::string(input);
  return sk::format("{}...", input.substr(0, kQuotedInputLength));
}
