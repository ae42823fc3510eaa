#include "platform/http_get.h"

#include <curl/curl.h>

#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

struct Transfer {
  CURL* curl;
  const HttpSession::Sink* sink;
  const HttpSession::Cancelled* cancelled;
  std::chrono::milliseconds stall;
  // From the connection on: the bytes seen (headers and body) and when the
  // count last grew.
  std::optional<Clock::time_point> lastByte;
  curl_off_t received = 0;
  bool cancelledSeen = false;
};

size_t lf_write(char* data, size_t size, size_t count, void* user) {
  const auto* transfer = static_cast<Transfer*>(user);
  return (*transfer->sink)(data, size * count) ? size * count : 0;
}

// libcurl's own low-speed check counts an average over a window; the stall
// limit is "no byte for so long", as WinHTTP's receive time-out is.
bool lf_stalled(Transfer& transfer, curl_off_t body) {
  const Clock::time_point now = Clock::now();
  if (!transfer.lastByte) {
    // Connected once the request could go out; until then the connect limit rules.
    curl_off_t pretransfer = 0;
    if (curl_easy_getinfo(transfer.curl, CURLINFO_PRETRANSFER_TIME_T, &pretransfer) != CURLE_OK ||
        pretransfer <= 0)
      return false;
    transfer.lastByte = now;
  }
  long headers = 0;
  curl_easy_getinfo(transfer.curl, CURLINFO_HEADER_SIZE, &headers);
  if (body + headers != transfer.received) {
    transfer.received = body + headers;
    transfer.lastByte = now;
  }
  return now - *transfer.lastByte > transfer.stall;
}

// libcurl calls this about once a second even on a stalled transfer.
int lf_progress(void* user, curl_off_t, curl_off_t body, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  if (*transfer->cancelled && (*transfer->cancelled)()) {
    transfer->cancelledSeen = true;
    return 1;
  }
  return lf_stalled(*transfer, body) ? 1 : 0;
}

}  // namespace

void gf_httpStartUp() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

HttpSession::HttpSession(HttpLimits limits) : m_handle(curl_easy_init()), m_limits(limits) {}

HttpSession::~HttpSession() {
  if (m_handle) curl_easy_cleanup(static_cast<CURL*>(m_handle));
}

HttpResult HttpSession::get(const std::string& url, const Sink& sink, const Cancelled& cancelled) {
  if (!m_handle) return {};
  CURL* curl = static_cast<CURL*>(m_handle);
  Transfer transfer{curl, &sink, &cancelled, m_limits.stall, std::nullopt, 0, false};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "SKLM");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, lf_write);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, lf_progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  // Name resolution and the TLS handshake included.
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_limits.connect.count()));
  // A zero switches its bound off; the easy handle keeps what the last get set.
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(m_limits.whole.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, m_limits.lowSpeedBytes);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_limits.lowSpeedTime.count()));
  const CURLcode code = curl_easy_perform(curl);
  HttpResult result;
  result.whole = code == CURLE_OK;
  result.cancelled = transfer.cancelledSeen;
  // 0 when no answer came; a body cut short keeps the status it came with.
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  return result;
}
