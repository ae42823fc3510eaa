#include "platform/http_get.h"

// winhttp.h needs windows.h first.
// clang-format off
#include "platform/win_types.h"
#include <winhttp.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/windows/text.h"

namespace {

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

// WinHTTP waits in its own calls: a stalled transfer is ended, when the caller
// asks, by closing the request from this watcher, which wakes the waiting call.
class CancelWatch {
 public:
  // closed tells, once the watch has ended, whether the watcher closed the
  // request (the caller must not close it again).
  CancelWatch(HINTERNET request, const HttpSession::Cancelled& cancelled, bool& closed)
      : m_request(request), m_cancelled(cancelled), m_closed(closed), m_thread([this] { lf_run(); }) {}
  ~CancelWatch() {
    {
      std::lock_guard lock(m_mutex);
      m_done = true;
    }
    m_wake.notify_all();
    m_thread.join();
  }
  CancelWatch(const CancelWatch&) = delete;
  CancelWatch& operator=(const CancelWatch&) = delete;

 private:
  void lf_run() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, kCancelPoll, [this] { return m_done; })) {
      if (m_cancelled && m_cancelled()) {
        WinHttpCloseHandle(m_request);
        m_closed = true;
        return;
      }
    }
  }

  HINTERNET m_request;
  const HttpSession::Cancelled& m_cancelled;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool& m_closed;
  bool m_done = false;
  std::thread m_thread;
};

std::optional<DWORD> lf_numberHeader(HINTERNET request, DWORD query) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, &value,
                           &size, WINHTTP_NO_HEADER_INDEX))
    return std::nullopt;
  return value;
}

// The server's status, when it answered, goes to status.
bool lf_receive(HINTERNET request, const HttpSession::Sink& sink, long& status) {
  if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
    return false;
  if (!WinHttpReceiveResponse(request, nullptr)) return false;
  const std::optional<DWORD> answer = lf_numberHeader(request, WINHTTP_QUERY_STATUS_CODE);
  if (!answer) return false;
  status = static_cast<long>(*answer);
  if (status >= 400) return false;
  // A body cut short by the server is a failure, as it is for libcurl.
  const std::optional<DWORD> announced = lf_numberHeader(request, WINHTTP_QUERY_CONTENT_LENGTH);
  std::uint64_t received = 0;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    // Only what has arrived: a read for more waits for all of it under Wine,
    // and a closed request is only noticed between two reads.
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) return false;
    if (available == 0) break;
    DWORD got = 0;
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(available, buffer.size()));
    if (!WinHttpReadData(request, buffer.data(), wanted, &got)) return false;
    if (got == 0) break;
    received += got;
    if (!sink(buffer.data(), got)) return false;
  }
  return !announced || received == *announced;
}

}  // namespace

void gf_httpStartUp() {}

HttpSession::HttpSession() {
  m_handle = WinHttpOpen(L"SKLM", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                         WINHTTP_NO_PROXY_BYPASS, 0);
  // Before Windows 8.1 (and in some Wine versions) the automatic proxy is not known.
  if (!m_handle)
    m_handle = WinHttpOpen(L"SKLM", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0);
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
  HttpResult result;
  bool closed = false;
  {
    const CancelWatch watch(request, cancelled, closed);
    result.whole = lf_receive(request, sink, result.status);
  }
  if (!closed) WinHttpCloseHandle(request);
  result.whole = result.whole && !closed;
  return result;
}
