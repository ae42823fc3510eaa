#pragma once
// Where an airport's parking file is: the user's my_thirdparty folder, the
// companion package's my_linkpack folder (each with link files naming a file on
// the download server) or the server's stock archive; and where the learned
// file of a source lies.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What a download came to: the file; the server's own answer that it has no
// such file; no answer of the server at all (no connection, a transfer past
// its limits or cut short); an exit that began meanwhile; or another failure
// that says nothing about the server's files (another status, the local file).
enum class ServerAnswer { Fetched, NotFound, NoAnswer, Cancelled, Failed };
// The answer is the server's word about its file, to be kept.
inline bool gf_serverAnswered(ServerAnswer answer) {
  return answer == ServerAnswer::Fetched || answer == ServerAnswer::NotFound;
}

// The downloads this side makes, installed by the shell: the server folder
// (download base + "MSFS/" when forced or in 2020 mode, else "MSFS2024/") and a
// download of a URL into a local file. Without them every download fails.
struct AirportDownloads {
  std::function<std::string(bool force2020Folder)> url;
  std::function<ServerAnswer(const std::string& url, const std::filesystem::path& file, bool binary)>
      download;
};
// Installing downloads also forgets the server's answers.
void gf_setAirportDownloads(AirportDownloads downloads);

// The server's answers are kept per ICAO code for the session: whether the
// stock archive holds the file (gf_downloadArchivedAirport) and the stands of a
// server file (gf_readDestApfForClosestStand). Only its answers: a download
// that failed otherwise is tried again once kAirportRetryMinutes have passed,
// and until then fails at once. A server that gave no answer is asked nothing
// in that time, whichever file (logged once: "\"URL\" could not be
// downloaded, nothing is asked of SERVER for N minutes"): each try of a server
// that does not answer holds its caller, the main loop or the airport scan,
// for the transfer's limits. After another failure only that URL waits
// (logged once: "\"URL\" could not be downloaded, next try in N minutes").
// A download an exit ended says nothing and holds nothing back.
// Local folders are always read.
inline constexpr unsigned kAirportRetryMinutes = 5;

struct ServerStand {
  std::string id;
  double latitude = 0.0;
  double longitude = 0.0;
};
void gf_forgetServerAnswers();
std::optional<std::vector<ServerStand>> gf_knownServerStands(const std::string& icao);
void gf_rememberServerStands(const std::string& icao, std::vector<ServerStand> stands);

// The source location of the airport's file: a server path "archive/...", a
// local path "airports/..." or "" when there is none.
std::string gf_stockApfExists(const std::string& icao);
// True for a location naming a local file (it begins with "airports").
bool gf_isLocalLocation(const std::string& location);
// The first line of a link file, cut after its last 'l'; false when it is empty,
// unreadable or not a safe server path.
bool lf_readLinkFile(const std::filesystem::path& path, std::string& out);
// Empty on success, else "failed to download: \"URL\"" (logged). A failed
// download leaves nothing at the local file. answer, when given, tells what
// the download came to.
std::string lf_downloadStockApf(const std::string& serverPath, const std::filesystem::path& localFile,
                                ServerAnswer* answer = nullptr);
// Whether the server's stock archive holds the airport's file (asked once a
// session). answer, when given, tells what the probe came to.
bool gf_downloadArchivedAirport(const std::string& icao, ServerAnswer* answer = nullptr);
// Whether the airport has a file in a local folder or on the server; answer as
// above (Fetched for a local file).
bool lf_ensureAirportFile(const std::string& icao, ServerAnswer* answer = nullptr);
// Where the learned file of a source location lies; empty for a location that
// would lead outside the learned folder.
std::filesystem::path lf_archivePathOfAirport(const std::string& location, const std::string& publisher);

// "archive/" followed by safe segments, the last one ending in ".xml".
bool gf_isSafeServerPath(const std::string& serverPath);
// A publisher as one folder name: refused characters become '_', trailing dots
// and blanks go, an empty result is "unknown".
std::string gf_publisherFolderName(const std::string& publisher);
