#include "platform/http_get.h"

// winhttp.h needs windows.h first.
// clang-format off
#include "platform/win_types.h"
#include <winhttp.h>
// clang-format on

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/windows/text.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kCancelPoll = std::chrono::milliseconds(250);

struct Handle {
  HINTERNET handle = nullptr;
  explicit Handle(HINTERNET h) : handle(h) {}
  ~Handle() {
    if (handle) WinHttpCloseHandle(handle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

// A request runs in WinHTTP's asynchronous mode so that the calling thread
// never blocks inside WinHTTP: it starts each step, waits for its completion
// with its own limits and, to end the request early, closes the handle itself
// and makes no call on it afterwards. A synchronous call could only be woken
// by closing its handle from another thread, which may then still be used.
// What the completions report is kept here; WinHTTP's threads hold it (with
// the buffer a pending read fills) until the handle's last callback.
struct Exchange {
  std::mutex mutex;
  std::condition_variable changed;
  DWORD completed = 0;  // the status of the last completion, 0 after it was taken
  bool failed = false;
  DWORD count = 0;  // bytes available, or bytes read
  std::vector<char> buffer = std::vector<char>(64 * 1024);
};

void CALLBACK lf_onStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  auto* holder = reinterpret_cast<std::shared_ptr<Exchange>*>(context);
  if (!holder) return;
  Exchange& exchange = **holder;
  {
    std::lock_guard lock(exchange.mutex);
    switch (status) {
      case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        exchange.failed = true;
        break;
      case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        exchange.count = *static_cast<const DWORD*>(info);
        break;
      case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        exchange.count = length;
        break;
      default:
        break;
    }
    exchange.completed = status;
  }
  exchange.changed.notify_all();
  if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) delete holder;
}

std::optional<DWORD> lf_numberHeader(HINTERNET request, DWORD query) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, &value,
                           &size, WINHTTP_NO_HEADER_INDEX))
    return std::nullopt;
  return value;
}

// One GET on its request handle, driven by the calling thread. Each step waits
// for its completion within the limits: the connect limit for the send, the
// stall limit for every later step, the whole bound and the rate kept over its
// stretch throughout.
class Transfer {
 public:
  Transfer(HINTERNET request, DWORD_PTR context, Exchange& exchange, const HttpSession::Cancelled& cancelled,
           const HttpLimits& limits)
      : m_request(request),
        m_context(context),
        m_exchange(exchange),
        m_cancelled(cancelled),
        m_limits(limits),
        m_started(Clock::now()),
        m_wholeDeadline(limits.whole.count() > 0 ? m_started + limits.whole : Clock::time_point::max()) {
    m_arrivals.push_back({m_started, 0});
  }

  bool cancelled() const { return m_cancelledSeen; }

  // The server's status, when it answered, goes to status.
  bool receive(const HttpSession::Sink& sink, long& status) {
    // The context goes with the send as well: the reference lets either
    // associate it with the request, and does not say a zero here keeps it.
    if (!WinHttpSendRequest(m_request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            m_context) ||
        !await(WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE, m_started + m_limits.connect))
      return false;
    if (!WinHttpReceiveResponse(m_request, nullptr) || !awaitNext(WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE))
      return false;
    const std::optional<DWORD> answer = lf_numberHeader(m_request, WINHTTP_QUERY_STATUS_CODE);
    if (!answer) return false;
    status = static_cast<long>(*answer);
    if (status >= 400) return false;
    // A body cut short by the server is a failure, as it is for libcurl.
    const std::optional<DWORD> announced = lf_numberHeader(m_request, WINHTTP_QUERY_CONTENT_LENGTH);
    for (;;) {
      // Only what has arrived: a read for more waits for all of it under Wine.
      if (!WinHttpQueryDataAvailable(m_request, nullptr) ||
          !awaitNext(WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE))
        return false;
      const DWORD available = m_exchange.count;
      if (available == 0) break;
      const auto wanted = static_cast<DWORD>(std::min<std::size_t>(available, m_exchange.buffer.size()));
      if (!WinHttpReadData(m_request, m_exchange.buffer.data(), wanted, nullptr) ||
          !awaitNext(WINHTTP_CALLBACK_STATUS_READ_COMPLETE))
        return false;
      const DWORD got = m_exchange.count;
      if (got == 0) break;
      m_received += got;
      m_arrivals.push_back({Clock::now(), m_received});
      if (!sink(m_exchange.buffer.data(), got)) return false;
    }
    return !announced || m_received == *announced;
  }

 private:
  struct Arrival {
    Clock::time_point at;
    std::uint64_t received;  // body bytes by then
  };

  // The next completion within the stall limit.
  bool awaitNext(DWORD status) { return await(status, Clock::now() + m_limits.stall); }

  // Waits for the completion of the step just started; false on an error, past
  // a limit or when the caller cancels.
  bool await(DWORD status, Clock::time_point stepDeadline) {
    const Clock::time_point deadline = std::min(stepDeadline, m_wholeDeadline);
    std::unique_lock lock(m_exchange.mutex);
    for (;;) {
      if (m_exchange.failed) return false;
      if (m_exchange.completed == status) {
        m_exchange.completed = 0;
        return true;
      }
      if (m_cancelled && m_cancelled()) {
        m_cancelledSeen = true;
        return false;
      }
      const Clock::time_point now = Clock::now();
      if (now >= deadline || tooSlow(now)) return false;
      m_exchange.changed.wait_until(lock, std::min(deadline, now + kCancelPoll));
    }
  }

  // Fewer bytes over the last stretch than the rate asks, once a whole stretch has passed.
  bool tooSlow(Clock::time_point now) {
    const auto stretch = std::chrono::duration_cast<Clock::duration>(m_limits.lowSpeedTime);
    if (m_limits.lowSpeedBytes <= 0 || stretch.count() <= 0 || now - m_started < stretch) return false;
    // The front becomes the last arrival at or before the stretch's start.
    while (m_arrivals.size() > 1 && m_arrivals[1].at <= now - stretch) m_arrivals.pop_front();
    const auto wanted = static_cast<std::uint64_t>(m_limits.lowSpeedBytes) *
                        static_cast<std::uint64_t>(m_limits.lowSpeedTime.count());
    return m_received - m_arrivals.front().received < wanted;
  }

  HINTERNET m_request;
  DWORD_PTR m_context;
  Exchange& m_exchange;
  const HttpSession::Cancelled& m_cancelled;
  const HttpLimits& m_limits;
  const Clock::time_point m_started;
  const Clock::time_point m_wholeDeadline;
  std::uint64_t m_received = 0;
  std::deque<Arrival> m_arrivals;
  bool m_cancelledSeen = false;
};

int lf_milliseconds(std::chrono::milliseconds limit) {
  return static_cast<int>(std::clamp<long long>(limit.count(), 1, 0x7fffffff));
}

}  // namespace

void gf_httpStartUp() {}

HttpSession::HttpSession(HttpLimits limits) : m_limits(limits) {
  m_handle = WinHttpOpen(L"SKLM", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                         WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  // Before Windows 8.1 (and in some Wine versions) the automatic proxy is not known.
  if (!m_handle)
    m_handle = WinHttpOpen(L"SKLM", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
}

HttpSession::~HttpSession() {
  if (m_handle) WinHttpCloseHandle(static_cast<HINTERNET>(m_handle));
}

HttpResult HttpSession::get(const std::string& url, const Sink& sink, const Cancelled& cancelled) {
  if (!m_handle) return {};
  std::wstring wideUrl = gf_wideFromUtf8(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts)) return {};
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  Handle connection(WinHttpConnect(static_cast<HINTERNET>(m_handle), host.c_str(), parts.nPort, 0));
  if (!connection.handle) return {};
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  HINTERNET request = WinHttpOpenRequest(connection.handle, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  if (!request) return {};
  // The name resolution's time-out is unlimited unless set. The stall limit
  // is what WinHTTP's send and receive time-outs mean: each packet's wait.
  WinHttpSetTimeouts(request, lf_milliseconds(m_limits.connect), lf_milliseconds(m_limits.connect),
                     lf_milliseconds(m_limits.stall), lf_milliseconds(m_limits.stall));
  auto exchange = std::make_shared<Exchange>();
  // Handed to WinHTTP: released by the handle's last callback.
  auto* holder = new std::shared_ptr<Exchange>(exchange);
  auto context = reinterpret_cast<DWORD_PTR>(holder);
  if (!WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
      WinHttpSetStatusCallback(request, lf_onStatus,
                               WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                               0) == WINHTTP_INVALID_STATUS_CALLBACK) {
    WinHttpCloseHandle(request);
    delete holder;
    return {};
  }
  HttpResult result;
  Transfer transfer(request, context, *exchange, cancelled, m_limits);
  result.whole = transfer.receive(sink, result.status);
  result.cancelled = transfer.cancelled();
  // The one close, on every way out; no call on the request follows it.
  WinHttpCloseHandle(request);
  return result;
}
