#include "shell/download.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <fstream>

#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/util.h"
#include "platform/system.h"
#include "shell/run_state.h"

namespace {

size_t lf_curlWrite(char* data, size_t size, size_t count, FILE* file) { return std::fwrite(data, size, count, file); }

// libcurl calls this about once a second even on a stalled transfer, so an exit
// ends a download within seconds; libcurl's own defaults stay otherwise.
int lf_curlProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return gExitStarted.load() || gStopRequested.load() ? 1 : 0;
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

CurlHandle::CurlHandle() : m_handle(curl_easy_init()) {}

CurlHandle::~CurlHandle() {
  if (m_handle) curl_easy_cleanup(m_handle);
}

LocalFile::~LocalFile() {
  if (m_removed) return;
  std::error_code ignored;
  std::filesystem::remove(m_path, ignored);
}

void LocalFile::remove() {
  m_removed = true;
  std::filesystem::remove(m_path);
}

std::string gf_downloadBase() {
  const auto address = gf_environmentVariable("SKLM_DOWNLOAD_SERVER");
  return (address && !address->empty() ? *address : std::string(kDefaultDownloadServer)) + "/downloads/";
}

std::string gf_downloadUrl(bool msfs2020Folder) {
  return gf_downloadBase() + (MSFS_2020.value || msfs2020Folder ? "MSFS/" : "MSFS2024/");
}

bool gf_download(CurlHandle* owner, const std::string& url, const std::filesystem::path& target, bool binary) {
  return gf_downloadOutcome(owner, url, target, binary) == DownloadOutcome::Fetched;
}

DownloadOutcome gf_downloadOutcome(CurlHandle* owner, const std::string& url,
                                   const std::filesystem::path& target, bool binary) {
  if (!owner || !owner->get()) return DownloadOutcome::Failed;
  try {
    CURL* curl = owner->get();
    std::unique_ptr<FILE, FileCloser> file(std::fopen(target.string().c_str(), binary ? "wb" : "w"));
    if (!file) {
      gf_logText(sk::format("could not open output file: {}", target.string()));
      return DownloadOutcome::Failed;
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "SKLM");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, lf_curlWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file.get());
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, lf_curlProgress);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    const CURLcode result = curl_easy_perform(curl);
    // A full disk shows only when the buffered rest is written out.
    const bool closed = std::fclose(file.release()) == 0;
    if (result == CURLE_OK && closed) return DownloadOutcome::Fetched;
    // Nothing half-fetched is left for a later reader to take for the whole file.
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    long status = 0;
    if (result == CURLE_HTTP_RETURNED_ERROR) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return status == 404 || status == 410 ? DownloadOutcome::NotFound : DownloadOutcome::Failed;
  } catch (const std::exception& error) {
    gf_logText(sk::format("downloader exception: \"{}\", {} => {}", error.what(), url, target.string()));
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    return DownloadOutcome::Failed;
  }
}

Version gf_fetchVersion(CurlHandle* owner, const std::string& url) {
  LocalFile local(VersionJsonPath);
  if (!gf_download(owner, url, local.path(), false)) {
    gf_log(sk::format("downloading \"{}\" failed", url));
    return {};
  }
  std::vector<std::string> lines;
  {
    std::ifstream in(local.path());
    gf_readLines(in, lines);
  }
  local.remove();
  return lines.empty() ? Version{} : gf_parseVersion(lines.front());
}
