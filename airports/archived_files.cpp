#include "airports/archived_files.h"

#include <fstream>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "airports/apf_file.h"
#include "core/clock.h"
#include "core/file_read.h"
#include "core/format.h"
#include "core/log.h"
#include "core/paths.h"

namespace {

std::mutex gDownloadsMutex;
AirportDownloads gDownloads;
// What the server answered per ICAO code this session: whether its stock
// archive holds the file, and the stands read from a server file. On the
// ground beside an airport without a file every control step would download
// the same answers again, each one stalling the main loop.
std::map<std::string, bool> gServerHasFile;
std::map<std::string, std::vector<ServerStand>> gServerStands;
// When each URL whose download failed without the server's answer about the
// file, and each server that gave no answer at all, may be asked again (steady
// clock). Each try of a server that accepts and never answers holds the main
// loop, and with it every live aircraft, for the transfer's limits.
std::map<std::string, std::uint64_t> gRetryAt;
std::map<std::string, std::uint64_t> gServerRetryAt;

AirportDownloads lf_downloads() {
  std::lock_guard lock(gDownloadsMutex);
  return gDownloads;
}

// Path text is split at either separator: the files were written on Windows,
// the links may come from anywhere.
std::vector<std::string> lf_segments(std::string_view text) {
  std::vector<std::string> segments;
  std::string current;
  for (char c : text) {
    if (c == '/' || c == '\\') {
      segments.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  segments.push_back(std::move(current));
  return segments;
}

bool lf_safeSegment(const std::string& segment) {
  if (segment.empty() || segment == "." || segment == "..") return false;
  for (char c : segment)
    if (c == ':' || c == '\\' || c == '/' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

// Built anew rather than replaced in place: mingw's GCC 12 warns falsely
// (-Wrestrict) about the in-place replace.
std::string lf_replaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string result;
  std::size_t done = 0;
  if (from.empty()) return std::string(text);
  for (std::size_t at = text.find(from); at != std::string_view::npos; at = text.find(from, done)) {
    result.append(text.substr(done, at - done)).append(to);
    done = at + from.size();
  }
  return result.append(text.substr(done));
}

bool lf_fileExists(const std::filesystem::path& path) { return std::filesystem::exists(path); }

constexpr std::uint64_t kSteadyPerMinute = 60ULL * 10'000'000ULL;

// Whether the back-off of the URL or server still runs; one that ended is forgotten.
bool lf_waitingToRetry(std::map<std::string, std::uint64_t>& retryAt, const std::string& key) {
  std::lock_guard lock(gDownloadsMutex);
  const auto found = retryAt.find(key);
  if (found == retryAt.end()) return false;
  if (gf_steadyNow() < found->second) return true;
  retryAt.erase(found);
  return false;
}

void lf_startBackOff(std::map<std::string, std::uint64_t>& retryAt, const std::string& key) {
  std::lock_guard lock(gDownloadsMutex);
  retryAt[key] = gf_steadyNow() + kAirportRetryMinutes * kSteadyPerMinute;
}

// "scheme://host:port" of a URL: what one server answers for.
std::string lf_serverOf(const std::string& url) {
  const std::size_t scheme = url.find("://");
  return url.substr(0, url.find('/', scheme == std::string::npos ? 0 : scheme + 3));
}

// Downloads into the file; a failure leaves nothing behind there. A URL whose
// last try failed, or a server that gave no answer, is not asked again before
// its back-off ends (tried is then false).
ServerAnswer lf_download(bool force2020Folder, const std::string& serverPath,
                         const std::filesystem::path& file, std::string& url, bool& tried) {
  const AirportDownloads downloads = lf_downloads();
  url = downloads.url ? downloads.url(force2020Folder) + serverPath : serverPath;
  const std::string server = lf_serverOf(url);
  tried = !lf_waitingToRetry(gServerRetryAt, server) && !lf_waitingToRetry(gRetryAt, url);
  const ServerAnswer answer =
      downloads.download && tried ? downloads.download(url, file, false) : ServerAnswer::Failed;
  if (answer != ServerAnswer::Fetched) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
  if (!tried || !downloads.download || gf_serverAnswered(answer) || answer == ServerAnswer::Cancelled)
    return answer;
  if (answer == ServerAnswer::NoAnswer) {
    lf_startBackOff(gServerRetryAt, server);
    gf_logText(sk::format("\"{}\" could not be downloaded, nothing is asked of {} for {} minutes", url,
                          server, kAirportRetryMinutes));
  } else {
    lf_startBackOff(gRetryAt, url);
    gf_logText(
        sk::format("\"{}\" could not be downloaded, next try in {} minutes", url, kAirportRetryMinutes));
  }
  return answer;
}

}  // namespace

void gf_setAirportDownloads(AirportDownloads downloads) {
  std::lock_guard lock(gDownloadsMutex);
  gDownloads = std::move(downloads);
  gServerHasFile.clear();
  gServerStands.clear();
  gRetryAt.clear();
  gServerRetryAt.clear();
}

void gf_forgetServerAnswers() {
  std::lock_guard lock(gDownloadsMutex);
  gServerHasFile.clear();
  gServerStands.clear();
}

std::optional<std::vector<ServerStand>> gf_knownServerStands(const std::string& icao) {
  std::lock_guard lock(gDownloadsMutex);
  const auto found = gServerStands.find(icao);
  if (found == gServerStands.end()) return std::nullopt;
  return found->second;
}

void gf_rememberServerStands(const std::string& icao, std::vector<ServerStand> stands) {
  std::lock_guard lock(gDownloadsMutex);
  gServerStands[icao] = std::move(stands);
}

bool gf_isSafeServerPath(const std::string& serverPath) {
  if (!serverPath.starts_with("archive/")) return false;
  if (serverPath.find('\\') != std::string::npos) return false;
  std::vector<std::string> segments = lf_segments(serverPath);
  if (segments.size() < 2) return false;
  for (const std::string& segment : segments)
    if (!lf_safeSegment(segment)) return false;
  const std::string& last = segments.back();
  return last.size() > 4 && last.ends_with(".xml");
}

std::string gf_publisherFolderName(const std::string& publisher) {
  std::string name;
  name.reserve(publisher.size());
  for (char c : publisher) {
    const bool refused = c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
                         c == '>' || c == '|' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    name += refused ? '_' : c;
  }
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name.empty() ? std::string("unknown") : name;
}

bool gf_isLocalLocation(const std::string& location) { return location.starts_with("airports"); }

bool lf_readLinkFile(const std::filesystem::path& path, std::string& out) {
  if (gf_tooLargeToRead(path)) {
    gf_log(gf_tooLargeText(path));
    return false;
  }
  std::ifstream stream(path, std::ios::binary);
  std::string line;
  if (!stream || !std::getline(stream, line)) return false;
  const std::size_t lastL = line.rfind('l');
  line.erase(lastL == std::string::npos ? 0 : lastL + 1);
  if (line.empty()) return false;
  if (!gf_isSafeServerPath(line)) {
    gf_log(sk::format("link file {} refused: \"{}\"", gf_pathToUtf8(path), line));
    return false;
  }
  out = std::move(line);
  return true;
}

std::string gf_stockApfExists(const std::string& icao) {
  const std::filesystem::path link = gf_pathFromUtf8(gf_txtFileName(icao));
  const std::filesystem::path file = gf_xmlFileName(icao);
  for (const std::filesystem::path& folder : {MyThirdpartyFolder, MyLinkpackFolder}) {
    std::string serverPath;
    if (lf_fileExists(folder / link) && lf_readLinkFile(folder / link, serverPath)) return serverPath;
    if (lf_fileExists(folder / file)) return gf_pathToUtf8(folder / file);
  }
  if (gf_downloadArchivedAirport(icao)) return "archive/stock/" + gf_pathToUtf8(file);
  return {};
}

std::string lf_downloadStockApf(const std::string& serverPath, const std::filesystem::path& localFile,
                                ServerAnswer* answer) {
  const bool forced = serverPath.find("simaddon") != std::string::npos ||
                      serverPath.find("stock") != std::string::npos;
  std::string url;
  bool tried = false;
  const ServerAnswer got = lf_download(forced, serverPath, localFile, url, tried);
  if (answer) *answer = got;
  if (got == ServerAnswer::Fetched) return {};
  std::string error = sk::format("failed to download: \"{}\"", url);
  // Logged once a back-off, when it was tried; an exit that ended it is no failure.
  if (tried && got != ServerAnswer::Cancelled) gf_logText(error);
  return error;
}

bool gf_downloadArchivedAirport(const std::string& icao, ServerAnswer* answer) {
  {
    std::lock_guard lock(gDownloadsMutex);
    const auto known = gServerHasFile.find(icao);
    if (known != gServerHasFile.end()) {
      if (answer) *answer = known->second ? ServerAnswer::Fetched : ServerAnswer::NotFound;
      return known->second;
    }
  }
  const std::filesystem::path file = gf_xmlFileName(icao);
  std::string url;
  bool tried = false;
  const ServerAnswer got = lf_download(true, "archive/stock/" + gf_pathToUtf8(file), file, url, tried);
  if (answer) *answer = got;
  const bool found = got == ServerAnswer::Fetched;
  if (found) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
  if (!gf_serverAnswered(got)) return false;
  std::lock_guard lock(gDownloadsMutex);
  gServerHasFile[icao] = found;
  return found;
}

bool lf_ensureAirportFile(const std::string& icao, ServerAnswer* answer) {
  for (const std::filesystem::path& folder : {MyThirdpartyFolder, MyLinkpackFolder}) {
    if (lf_fileExists(folder / gf_xmlFileName(icao)) ||
        lf_fileExists(folder / gf_pathFromUtf8(gf_txtFileName(icao)))) {
      if (answer) *answer = ServerAnswer::Fetched;
      return true;
    }
  }
  return gf_downloadArchivedAirport(icao, answer);
}

std::filesystem::path lf_archivePathOfAirport(const std::string& location, const std::string& publisher) {
  std::filesystem::path learned = LearnedFolder;
  if (location.starts_with("archive/") || location.starts_with("archive\\")) {
    const std::string normalised = lf_replaceAll(location, "\\", "/");
    if (!gf_isSafeServerPath(normalised)) return {};
    std::vector<std::string> segments = lf_segments(lf_replaceAll(normalised, "%20", " "));
    for (std::size_t i = 1; i < segments.size(); ++i) {
      if (!lf_safeSegment(segments[i])) return {};
      learned /= segments[i];
    }
    return learned;
  }
  if (gf_isLocalLocation(location)) {
    std::vector<std::string> segments = lf_segments(location);
    if (segments.front() != "airports" || segments.size() < 2) return {};
    for (std::size_t i = 1; i < segments.size(); ++i) {
      const std::string& segment = segments[i];
      if (!lf_safeSegment(segment)) return {};
      if (segment == "my_thirdparty2024" || segment == "my_thirdparty") {
        learned /= "thirdparty";
        learned /= gf_publisherFolderName(publisher);
      } else {
        learned /= segment;
      }
    }
    return learned;
  }
  // Anything else would put a learned file wherever the text points.
  return {};
}
