#include "liveries/scan_driver.h"

#include <algorithm>
#include <deque>
#include <future>
#include <numeric>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/random.h"
#include "core/util.h"
#include "liveries/airline_type.h"
#include "liveries/ivao.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_processing.h"
#include "liveries/livery_section.h"
#include "liveries/livery_window.h"
#include "liveries/scan_lists.h"
#include "liveries/scan_reports.h"
#include "shell/run_state.h"

namespace {

LiveryScanSeams gSeams;

constexpr int kMaxPriority = 10;
constexpr std::size_t kMaxDescendLength = 250;

struct WalkContext {
  int priority = 0;
  std::uint64_t total = 0;
  std::uint64_t previousSize = 0;
};

bool stopping() { return gExitStarted || gStopRequested; }

bool hasUsableName(const std::string& path, const char* name) {
  return path.find(name) != std::string::npos && path.find("_CVT_") == std::string::npos;
}

void findPackage(const std::filesystem::path& packages, std::vector<std::string>& folders,
                 const std::vector<const char*>& names, const char* kind) {
  if (packages.empty()) return;
  for (const auto& entry : std::filesystem::directory_iterator(packages)) {
    const std::string path = gf_pathToUtf8(entry.path());
    if (std::any_of(names.begin(), names.end(), [&](const char* name) { return hasUsableName(path, name); })) {
      gf_logText(sk::format("Automatic {} scan found folder: \"{}\"", kind, path));
      folders.push_back(path);
      return;
    }
  }
}

// The words cut scenery subtrees inside a scanned folder; the folder's own
// path (a user name like "airportfan") is not tested against them.
bool prunes(const std::filesystem::path& path, std::size_t scannedLength) {
  static const char* const words[] = {"airport",    "lvfr",        "mkstudios", "simwings", "fsdreamteam",
                                      "navigraph",  "flytampa",    "inibuilds", "_CVT_"};
  const std::string text = gf_pathToUtf8(path);
  // The bound is on the path's length as Windows counts it, in UTF-16 units:
  // a user folder in Cyrillic or CJK letters (two or three bytes each in
  // UTF-8, one unit) must not cut the walk short, and a character outside the
  // BMP (four bytes, a surrogate pair) takes two.
  const auto units = std::accumulate(text.begin(), text.end(), std::size_t{0}, [](std::size_t n, char c) {
    const auto byte = static_cast<unsigned char>(c);
    return n + ((byte & 0xC0) == 0x80 ? 0 : byte >= 0xF0 ? 2 : 1);
  });
  if (units >= kMaxDescendLength) return true;
  const std::string_view below = std::string_view(text).substr(std::min(scannedLength, text.size()));
  return std::any_of(std::begin(words), std::end(words),
                     [&](const char* word) { return below.find(word) != std::string_view::npos; });
}

bool isAircraftCfg(const std::filesystem::directory_entry& entry) {
  if (!entry.is_regular_file()) return false;
  auto upper = [](std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return text;
  };
  return upper(gf_pathToUtf8(entry.path().extension())) == ".CFG" &&
         upper(gf_pathToUtf8(entry.path().stem())) == "AIRCRAFT";
}

ScannedCfgFile readFile(int priority, const std::filesystem::path& file) {
  if (gSeams.beforeFile) gSeams.beforeFile(file);
  const std::string text = gf_pathToUtf8(file);
  if (text.find("ivao_x-csl") != std::string::npos || text.find("IVAO_MTL") != std::string::npos) {
    return lf_searchLiveriesinIvaoFile(priority, file);
  }
  return lf_searchLiveriesinFile(priority, file);
}

// The oldest pending file's liveries go to the end of the list; its titles are
// claimed now, so the file submitted first keeps a shared title.
void takeOldest(std::deque<std::future<ScannedCfgFile>>& pending, std::list<LiveryData>& result, const char* where) {
  auto future = std::move(pending.front());
  pending.pop_front();
  try {
    ScannedCfgFile file = future.get();
    result.splice(result.end(), lf_claimScannedFile(file));
  } catch (const std::exception& error) {
    gf_log(sk::format("liveries search aborted, futs {}, {}", where, error.what()));
  }
}

// Opens a folder for the walk; one that cannot be listed (unreadable, removed
// meanwhile) is logged and skipped, and the walk goes on without it.
void lf_openFolder(const std::filesystem::path& folder,
                   std::vector<std::filesystem::directory_iterator>& walk) {
  std::error_code error;
  std::filesystem::directory_iterator listing(folder, error);
  if (error) {
    gf_log(sk::format("liveries search in folder {} skipped because of iterator problem: {}",
                      gf_pathToUtf8(folder), error.message()));
    return;
  }
  walk.push_back(std::move(listing));
}

// Depth first, each folder's entries before its next sibling, as a recursive
// directory iterator walks; symbolic links to folders are not followed.
void lf_searchLiveriesInFolder(int priority, const std::filesystem::path& folder, std::list<LiveryData>& result) {
  std::deque<std::future<ScannedCfgFile>> pending;
  std::vector<std::filesystem::directory_iterator> walk;
  const std::size_t scannedLength = gf_pathToUtf8(folder).size();
  lf_openFolder(folder, walk);
  while (!walk.empty() && !stopping()) {
    if (walk.back() == std::filesystem::directory_iterator()) {
      walk.pop_back();
      continue;
    }
    const std::filesystem::directory_entry entry = *walk.back();
    std::error_code error;
    walk.back().increment(error);
    if (error) {
      gf_log(sk::format("liveries search in folder {} cut short because of iterator problem: {}",
                        gf_pathToUtf8(entry.path().parent_path()), error.message()));
      walk.pop_back();
    }
    try {
      std::error_code kind;
      if (entry.is_directory(kind) && !entry.is_symlink(kind)) {
        if (!prunes(entry.path(), scannedLength)) lf_openFolder(entry.path(), walk);
      } else if (isAircraftCfg(entry)) {
        const std::filesystem::path file = entry.path();
        pending.push_back(gf_startWorker([priority, file] { return readFile(priority, file); }));
        if (pending.size() > static_cast<std::size_t>(gMaxWorkers.load())) takeOldest(pending, result, "inner");
      }
    } catch (const std::exception& failure) {
      gf_log(sk::format("liveries search in {} aborted, cause: {}", gf_pathToUtf8(entry.path()),
                        failure.what()));
    }
  }
  while (!pending.empty()) takeOldest(pending, result, "outer");
}

void lf_scanLiveryFolder(WalkContext& context, const std::string& folder) {
  if (folder.empty()) return;
  const std::filesystem::path path = gf_pathFromUtf8(folder);
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    gf_logText(folder + " does not exist, skipped!");
    return;
  }
  if (!std::filesystem::is_directory(path, error)) {
    gf_logText(folder + " is not a folder name, skipped!");
    return;
  }
  if (context.priority < kMaxPriority) ++context.priority;
  if (stopping()) return;
  lf_searchLiveriesInFolder(context.priority, path, gScannedLiveries);
  const std::uint64_t size = gScannedLiveries.size();
  if (size > 0) {
    const std::uint64_t added = size - context.previousSize;
    gf_logText(sk::format("{} liverie{} found in {}", added, added > 1 ? "s" : "", folder));
    context.total += added;
    context.previousSize = size;
  } else {
    gf_logText("No liveries found in " + folder);
  }
}

// Keeps, per airline and model, only the liveries of the lowest folder priority.
// The list is ordered by airline, model and priority first (stable, so each
// priority keeps its submission order); each run of one airline and model then
// begins with its lowest priority.
void keepPrioritized() {
  gScannedLiveries.sort([](const LiveryData& a, const LiveryData& b) {
    return std::tie(a.airl, a.type, a.priority) < std::tie(b.airl, b.type, b.priority);
  });
  const LiveryData* head = nullptr;
  for (auto it = gScannedLiveries.begin(); it != gScannedLiveries.end();) {
    if (!head || !gf_sameAirlineType(*head, *it)) {
      head = &*it++;
    } else if (it->priority > head->priority) {
      it = gScannedLiveries.erase(it);
    } else {
      ++it;
    }
  }
}

std::vector<std::string> manualFolders() {
  std::vector<std::string> folders;
  folders.reserve(10);
  for (const StringParameter* folder : {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4, &lfolder5, &lfolder6,
                                        &lfolder7, &lfolder8, &lfolder9}) {
    if (!folder->value().empty()) folders.push_back(folder->value());
  }
  return folders;
}

std::vector<std::string> automaticFolders() {
  std::vector<std::string> folders;
  folders.reserve(10);
  const std::filesystem::path packages = gSeams.communityFolder ? gSeams.communityFolder() : std::filesystem::path();
  if (!packages.empty()) {
    using Search = void (*)(const std::filesystem::path&, std::vector<std::string>&);
    const Search aig = lf_findAigFolders, fsltl = lf_findFsltlFolders, jf = lf_findJfFolders;
    const std::vector<std::vector<Search>> orders{{aig, fsltl, jf}, {aig, jf, fsltl}, {fsltl, aig, jf},
                                                  {fsltl, jf, aig}, {jf, aig, fsltl}, {jf, fsltl, aig}};
    const int order = AI_PACKAGE_ORDER.value;
    if (order >= 1 && order <= 6) {
      for (const Search search : orders[static_cast<std::size_t>(order - 1)]) search(packages, folders);
    }
    lf_findUserAiTrafficFolders(packages, folders);
  }
  return folders;
}

}  // namespace

void gf_setLiveryScanSeams(LiveryScanSeams seams) { gSeams = std::move(seams); }

void lf_findAigFolders(const std::filesystem::path& packages, std::vector<std::string>& folders) {
  std::vector<const char*> names;
  if (MSFS_2020.value) names.push_back("aig-aitraffic-oci-beta");
  names.push_back("aig-aitraffic-oci");
  findPackage(packages, folders, names, "AIG");
}

void lf_findFsltlFolders(const std::filesystem::path& packages, std::vector<std::string>& folders) {
  findPackage(packages, folders, {"fsltl-traffic-base"}, "FSLTL");
}

void lf_findJfFolders(const std::filesystem::path& packages, std::vector<std::string>& folders) {
  findPackage(packages, folders, {"justflight-aircraft-traffic-fleet", "justflight-fstraffic-module"}, "JF");
}

void lf_findUserAiTrafficFolders(const std::filesystem::path& packages, std::vector<std::string>& folders) {
  findPackage(packages, folders, {"user-aitraffic"}, "user-aitraffic");
}

ScanOutcome lf_scanLiveryFolders(const std::vector<std::string>& folders) {
  gScannedLiveries.clear();
  lf_removePreviousScanFiles();
  lf_refreshAigRegcodes();
  WalkContext context;
  for (const auto& folder : folders) lf_scanLiveryFolder(context, folder);
  if (stopping()) {
    // The missing file makes the next start scan again.
    gScannedLiveries.clear();
    lf_clearScanLists();
    std::error_code ignored;
    std::filesystem::remove(LiveriesScannedPath, ignored);
    return ScanOutcome::Aborted;
  }
  if (gScannedLiveries.empty()) {
    if (gf_liveryWindow().showLiveryCount) gf_liveryWindow().showLiveryCount(0);
    if (gf_liveryWindow().redrawStatus) gf_liveryWindow().redrawStatus();
    lf_clearScanLists();
    gf_clearMessage();
    return ScanOutcome::NothingFound;
  }
  if (folders.size() >= 2) gf_logText(sk::format("{} in total", context.total));
  for (auto& livery : gScannedLiveries) lf_logDbaseCorrections(livery);
  if (LIG_PRIORITIZE.value) keepPrioritized();
  gScannedLiveries.sort([](const LiveryData& a, const LiveryData& b) {
    return std::tie(a.airl, a.type, a.title) < std::tie(b.airl, b.type, b.title);
  });
  gScannedLiveries.unique(lf_liveryEquals);
  lf_saveLiveriesScanned();
  gScannedLiveries.clear();
  lf_writeScanReports();
  lf_clearScanLists();
  gf_clearMessage();
  return ScanOutcome::Found;
}

void gf_scanLiveries() {
  if (!SCAN_LIVERIES.value) {
    gf_processScannedLiveries();
    return;
  }
  const bool automatic = LIG_AUTOMATIC.value;
  gf_showMessage(sk::format("Scanning {}for liveries ...", LIG_PRIORITIZE.value && !automatic ? "prioritized " : ""),
                 false);
  gf_logText(sk::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                        automatic ? "automatic" : "manual"));
  const std::vector<std::string> folders = automatic ? automaticFolders() : manualFolders();
  if (!automatic && folders.empty()) {
    throw qlx::UserErrorException(
        48, "Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)");
  }
  const ScanOutcome outcome = lf_scanLiveryFolders(folders);
  if (outcome == ScanOutcome::Aborted) return;
  if (outcome == ScanOutcome::NothingFound) {
    if (!automatic) throw qlx::UserErrorException(53, "no liveries found");
    throw qlx::UserErrorException(
        43, "Automatic scan has not found any liveries, switch off automatic and set lfolder parameter(-s), Manual 5.1");
  }
  SCAN_LIVERIES.value = false;
  SCAN_LIVERIES.save();
  if (gf_liveryWindow().checkScanLiveries) gf_liveryWindow().checkScanLiveries(false);
  if (gf_liveryWindow().redrawStatus) gf_liveryWindow().redrawStatus();
  gf_logText("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
  gf_processScannedLiveries();
}
