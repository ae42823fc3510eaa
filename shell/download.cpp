#include "shell/download.h"

#include <fstream>

#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/util.h"
#include "platform/system.h"
#include "shell/run_state.h"

namespace {

// Asked about once a second even on a stalled transfer, so that an exit ends a
// download within seconds.
bool lf_stopping() {
  return gExitStarted.load() || gStopRequested.load();
}

}  // namespace

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

bool gf_download(HttpSession* owner, const std::string& url, const std::filesystem::path& target,
                 bool binary) {
  return gf_downloadOutcome(owner, url, target, binary) == DownloadOutcome::Fetched;
}

DownloadOutcome gf_downloadOutcome(HttpSession* owner, const std::string& url,
                                   const std::filesystem::path& target, bool binary) {
  if (!owner || !owner->valid()) return DownloadOutcome::Failed;
  try {
    std::ofstream file(target, binary ? std::ios::out | std::ios::binary : std::ios::out);
    if (!file) {
      gf_logText(sk::format("could not open output file: {}", gf_pathToUtf8(target)));
      return DownloadOutcome::Failed;
    }
    // Whoever reads the log while the caller waits learns what for.
    gf_logText(sk::format("asking the download server for \"{}\"", url));
    const HttpResult result = owner->get(
        url,
        [&file](const char* data, std::size_t size) {
          file.write(data, static_cast<std::streamsize>(size));
          return static_cast<bool>(file);
        },
        lf_stopping);
    // A full disk shows only when the buffered rest is written out.
    file.close();
    if (result.whole && file) return DownloadOutcome::Fetched;
    // Nothing half-fetched is left for a later reader to take for the whole file.
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    if (!file) return DownloadOutcome::Failed;
    if (result.cancelled) return DownloadOutcome::Cancelled;
    if (result.status == 404 || result.status == 410) return DownloadOutcome::NotFound;
    return result.status >= 400 ? DownloadOutcome::Failed : DownloadOutcome::NoAnswer;
  } catch (const std::exception& error) {
    gf_logText(
        sk::format("downloader exception: \"{}\", {} => {}", error.what(), url, gf_pathToUtf8(target)));
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    return DownloadOutcome::Failed;
  }
}

ServerAnswer gf_downloadAirportFile(const std::string& url, const std::filesystem::path& file, bool binary) {
  HttpSession handle(kSmallFileLimits);
  switch (gf_downloadOutcome(&handle, url, file, binary)) {
    case DownloadOutcome::Fetched:
      return ServerAnswer::Fetched;
    case DownloadOutcome::NotFound:
      return ServerAnswer::NotFound;
    case DownloadOutcome::NoAnswer:
      return ServerAnswer::NoAnswer;
    case DownloadOutcome::Cancelled:
      return ServerAnswer::Cancelled;
    case DownloadOutcome::Failed:
      break;
  }
  return ServerAnswer::Failed;
}

Version gf_fetchVersion(HttpSession* owner, const std::string& url) {
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
