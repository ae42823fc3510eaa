#include "platform/http_get.h"

#include <curl/curl.h>

namespace {

struct Transfer {
  const HttpSession::Sink* sink;
  const HttpSession::Cancelled* cancelled;
};

size_t lf_write(char* data, size_t size, size_t count, void* user) {
  const auto* transfer = static_cast<Transfer*>(user);
  return (*transfer->sink)(data, size * count) ? size * count : 0;
}

// libcurl calls this about once a second even on a stalled transfer.
int lf_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* transfer = static_cast<Transfer*>(user);
  return *transfer->cancelled && (*transfer->cancelled)() ? 1 : 0;
}

}  // namespace

void gf_httpStartUp() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

HttpSession::HttpSession() : m_handle(curl_easy_init()) {}

HttpSession::~HttpSession() {
  if (m_handle) curl_easy_cleanup(static_cast<CURL*>(m_handle));
}

HttpResult HttpSession::get(const std::string& url, const Sink& sink, const Cancelled& cancelled) {
  if (!m_handle) return {};
  CURL* curl = static_cast<CURL*>(m_handle);
  Transfer transfer{&sink, &cancelled};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "SKLM");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, lf_write);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, lf_progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  const CURLcode code = curl_easy_perform(curl);
  HttpResult result;
  result.whole = code == CURLE_OK;
  if (code == CURLE_OK || code == CURLE_HTTP_RETURNED_ERROR)
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  return result;
}
