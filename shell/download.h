#pragma once
// The one download path: every file the program fetches comes from its download
// server by a plain GET (platform/http_get.h). Downloads never throw to their
// callers: a failure is a false result (or the zero version) with one line in
// Log.txt. gf_httpStartUp runs once at program entry, before any thread starts.
#include <filesystem>
#include <string>
#include <string_view>

#include "airports/archived_files.h"
#include "core/version.h"
#include "platform/http_get.h"

// The server's address when SKLM_DOWNLOAD_SERVER is not set.
inline constexpr std::string_view kDefaultDownloadServer = "https://www.tarvimo.com";
// Where users mail the TBLO folder of airports the scan could not read.
inline constexpr std::string_view kSupportAddress = "support@tarvimo.com";

// The server's address (SKLM_DOWNLOAD_SERVER, else the default) + "/downloads/".
std::string gf_downloadBase();

// What a download came to: the whole file; the server's answer that it has no
// such file (status 404 or 410); no answer of the server (no connection, a
// transfer past the session's limits or cut short); an exit that began
// meanwhile; or any other failure (another status of the server, the local file).
enum class DownloadOutcome { Fetched, NotFound, NoAnswer, Cancelled, Failed };

// The session's limits by what it fetches. A small file (a version file, an
// airport's file) has 30 s in all: the main loop, and with it every live
// aircraft, waits for the airport files. An archive of megabytes has what
// time it takes while it arrives at 1 KB/s at least over every 30 s, so that
// a slow line still brings it and a trickle ends.
inline constexpr HttpLimits kSmallFileLimits{.whole = std::chrono::seconds(30)};
inline constexpr HttpLimits kLargeFileLimits{.lowSpeedBytes = 1024, .lowSpeedTime = std::chrono::seconds(30)};

// Fetches url into target (text mode unless binary), logging first what is
// asked for: the caller waits for it. Fetched when the whole transfer
// succeeded; a failed transfer leaves no target behind. A target that cannot
// be opened logs "could not open output file: {}" and nothing is requested.
DownloadOutcome gf_downloadOutcome(HttpSession* owner, const std::string& url,
                                   const std::filesystem::path& target, bool binary);
// gf_downloadOutcome is Fetched.
bool gf_download(HttpSession* owner, const std::string& url, const std::filesystem::path& target,
                 bool binary);

// The airport side's download (gf_setAirportDownloads): a small file in a
// session of its own, the outcome told in the airport side's terms. The main
// loop and the airport scan wait for it.
ServerAnswer gf_downloadAirportFile(const std::string& url, const std::filesystem::path& file, bool binary);

// base + "MSFS/" in MSFS 2020 mode or when asked for the 2020 folder, else base + "MSFS2024/".
std::string gf_downloadUrl(bool msfs2020Folder);

// The version a server version file announces, through the local file
// version.json (deleted after use); the zero version, logged
// "downloading \"{url}\" failed", when it cannot be had.
Version gf_fetchVersion(HttpSession* owner, const std::string& url);

// Removes a local file on every way out of a scope. remove() removes it now and
// raises the filesystem error "remove" when that fails; the destructor, on the
// paths remove() was not reached, removes it quietly.
class LocalFile {
 public:
  explicit LocalFile(std::filesystem::path path) : m_path(std::move(path)) {}
  ~LocalFile();
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  void remove();

 private:
  std::filesystem::path m_path;
  bool m_removed = false;
};
