#include "platform/http_get.h"

// winhttp.h needs windows.h first.
// clang-format off
#include "platform/win_types.h"
#include <winhttp.h>
// clang-format on

#include <algorithm>
#include <condition_variable>
#include <cstdint>
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

// Waits for the completion of the step just started; false on an error, at
// the deadline or when the caller cancels.
bool lf_await(Exchange& exchange, DWORD status, Clock::time_point deadline,
              const HttpSession::Cancelled& cancelled) {
  std::unique_lock lock(exchange.mutex);
  for (;;) {
    if (exchange.failed) return false;
    if (exchange.completed == status) {
      exchange.completed = 0;
      return true;
    }
    if (cancelled && cancelled()) return false;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    exchange.changed.wait_until(lock, std::min(deadline, now + kCancelPoll));
  }
}

std::optional<DWORD> lf_numberHeader(HINTERNET request, DWORD query) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, &value,
                           &size, WINHTTP_NO_HEADER_INDEX))
    return std::nullopt;
  return value;
}

struct Steps {
  HINTERNET request;
  DWORD_PTR context;
  Exchange& exchange;
  const HttpSession::Cancelled& cancelled;
  const HttpLimits& limits;
  Clock::time_point started;

  // The next completion within the stall limit.
  bool await(DWORD status) const {
    return lf_await(exchange, status, Clock::now() + limits.stall, cancelled);
  }

  // The server's status, when it answered, goes to status.
  bool receive(const HttpSession::Sink& sink, long& status) const {
    // The context goes with the send as well: the reference lets either
    // associate it with the request, and does not say a zero here keeps it.
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, context) ||
        !lf_await(exchange, WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE, started + limits.connect, cancelled))
      return false;
    if (!WinHttpReceiveResponse(request, nullptr) || !await(WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE))
      return false;
    const std::optional<DWORD> answer = lf_numberHeader(request, WINHTTP_QUERY_STATUS_CODE);
    if (!answer) return false;
    status = static_cast<long>(*answer);
    if (status >= 400) return false;
    // A body cut short by the server is a failure, as it is for libcurl.
    const std::optional<DWORD> announced = lf_numberHeader(request, WINHTTP_QUERY_CONTENT_LENGTH);
    std::uint64_t received = 0;
    for (;;) {
      // Only what has arrived: a read for more waits for all of it under Wine.
      if (!WinHttpQueryDataAvailable(request, nullptr) || !await(WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE))
        return false;
      const DWORD available = exchange.count;
      if (available == 0) break;
      const auto wanted = static_cast<DWORD>(std::min<std::size_t>(available, exchange.buffer.size()));
      if (!WinHttpReadData(request, exchange.buffer.data(), wanted, nullptr) ||
          !await(WINHTTP_CALLBACK_STATUS_READ_COMPLETE))
        return false;
      const DWORD got = exchange.count;
      if (got == 0) break;
      received += got;
      if (!sink(exchange.buffer.data(), got)) return false;
    }
    return !announced || received == *announced;
  }
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
  const Clock::time_point started = Clock::now();
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
  const Steps steps{request, context, *exchange, cancelled, m_limits, started};
  result.whole = steps.receive(sink, result.status);
  // The one close, on every way out; no call on the request follows it.
  WinHttpCloseHandle(request);
  return result;
}
