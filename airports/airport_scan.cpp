#include "airports/airport_scan.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <deque>
#include <optional>
#include <future>
#include <mutex>

#include "airports/airport_list.h"
#include "airports/archived_files.h"
#include "airports/bgl_airports.h"
#include "airports/publisher.h"
#include "airports/scan_log.h"
#include "core/errors.h"
#include "core/file_read.h"
#include "core/file_save.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/random.h"
#include "core/util.h"
#include "liveries/dbase.h"
#include "liveries/dbase_lookups.h"
#include "shell/app_state.h"
#include "shell/download.h"
#include "shell/install_detection.h"
#include "shell/run_state.h"

namespace fs = std::filesystem;

std::atomic<bool> gAirportsFound{false};
std::atomic<std::int32_t> gTbloEntryCount{0};

namespace {

std::mutex gPublisherMutex;
std::atomic<bool> gScanCutShort{false};
std::function<void(std::size_t)> gScanWorkerHook;

bool lf_exitBegun() { return gExitStarted.load() || gStopRequested.load(); }

// The worker's binding of the decoder's per-airport actions.
class ScanActions : public BglAirportActions {
 public:
  explicit ScanActions(std::string path) : m_path(std::move(path)) {}
  void scanLog(const std::string& line) override { gf_addScanLog(line); }
  bool publisherAndLink(ApfAirport& airport, std::int32_t& archivedCount) override {
    return lf_publisherAndLink(airport, archivedCount, m_path);
  }
  void generateApf(ApfAirport& airport) override { lf_generateApf(airport); }
  void notRecognisedAirport() override { lf_notRecognisedAirport(m_path); }

 private:
  std::string m_path;
};

std::string lf_blanksAsPercent20(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == ' ' ? std::string("%20") : std::string(1, c);
  return out;
}

// Empties my_thirdparty but for the user's hand-made files.
void lf_clearThirdpartyFolder() {
  std::error_code error;
  if (!fs::is_directory(MyThirdpartyFolder, error)) return;
  try {
    for (const fs::directory_entry& entry : fs::directory_iterator(MyThirdpartyFolder)) {
      if (gf_isHandmadeApf(entry.path())) continue;
      if (!fs::remove(entry.path(), error))
        gf_logText(sk::format("{} could not be removed", gf_pathToUtf8(entry.path())));
    }
  } catch (const fs::filesystem_error& failure) {
    throw qlx::UserErrorException(5, failure.what());
  }
}

void lf_writeScanLog() {
  std::vector<std::string> lines;
  {
    std::lock_guard lock(gScanLogMutex);
    lines.swap(gScanLog);
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  std::error_code error;
  fs::create_directories(AirportsScanLogPath.parent_path(), error);
  if (gf_replaceFile(AirportsScanLogPath, text)) gf_logText(gf_pathToUtf8(AirportsScanLogPath) + " written");
  gf_clearMessage();
}

// Step 5 of the scan: thirdparty files that still need learning go to TBLO.
std::int32_t lf_copyForOfflineLearning() {
  const std::vector<std::string> icaos = gf_listXmlFiles();
  if (icaos.empty()) return 0;
  fs::create_directories(TbloFolder);
  std::int32_t copied = 0;
  for (const std::string& icao : icaos) {
    const fs::path file = MyThirdpartyFolder / gf_pathFromUtf8(icao + ".xml");
    if (gf_isHandmadeApf(file)) continue;
    if (icao == "KMCI" && lf_readPublisher(file) == "TropicalSim") {
      fs::remove(file);
      continue;
    }
    if (!lf_suitableForOfflineLearning(icao) || !lf_metaSummary(file).empty()) continue;
    const fs::path target = TbloFolder / gf_pathFromUtf8(icao + ".xml");
    std::error_code error;
    if (!gf_copyFileReplacing(file, target, error)) {
      gf_logText(sk::format("\"{}\" failed to copy \"{}\"", gf_pathToUtf8(target), gf_pathToUtf8(file)));
      continue;
    }
    gf_logText(sk::format("{} copied to {}", icao, gf_pathToUtf8(target)));
    ++copied;
    fs::remove(MyThirdpartyFolder / gf_pathFromUtf8(icao + ".txt"));
  }
  return copied;
}

std::optional<pugi::xml_document> lf_loadApf(const fs::path& file) {
  pugi::xml_document document;
  if (!gf_loadXmlFile(document, file, gMaxForeignTextBytes)) return std::nullopt;
  return document;
}

}  // namespace

bool gf_isHandmadeApf(const fs::path& file) {
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return false;
  std::string extension = gf_pathToUtf8(file.extension());
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension != ".xml") return false;
  const std::optional<pugi::xml_document> document = lf_loadApf(file);
  return document && lf_xmlValueBool(*document, "handmade").value_or(false);
}

bool gf_airportScanCutShort() { return gScanCutShort.load(); }

void gf_setScanWorkerHook(std::function<void(std::size_t)> hook) { gScanWorkerHook = std::move(hook); }

void gf_scanAirports() {
  gf_showMessage("Scanning for addon airports ...", false);
  gf_logText("\n++++++++++++++++++++++++ airports scan starts +++++++++++++++++++++++++++++");
  std::vector<fs::path> folders;
  folders.reserve(10);
  if (MSFS_2020.value) {
    if (fs::path official = gf_simPackagesPath(OfficialFolderName); !official.empty()) folders.push_back(official);
  }
  if (fs::path community = gf_simPackagesPath(CommunityFolderName); !community.empty()) folders.push_back(community);
  gf_readAirportNames();
  if (MSFS_2020.value) gf_clearFolder(MyLinkpackFolder);
  lf_clearThirdpartyFolder();
  if (!lf_runAirportsScan(folders) && !gf_airportScanCutShort())
    gf_showMessage("Warning: Scan has not found any add-on airports", false);
  if (!gf_airportScanCutShort()) {
    SCAN_AIRPORTS.value = false;
    SCAN_AIRPORTS.save();
    if (auto show = gf_parameterControlHooks().showCheck) show(SCAN_AIRPORTS);
    gf_invalidateMain(kStatusRect);
  }
  gAirportNames.clear();
  gf_logText("-------------------------- airports scan ends    ----------------------------\n");
}

// Helipads and stand names are per airport record and start afresh with each
// record, so what a switch of the simulator must forget is the run's own state.
void gf_resetAirportScan() {
  gAirportsFound.store(false);
  gScanCutShort.store(false);
  gTbloEntryCount.store(0);
  gAppState.tbloAirportCount.store(0);
}

bool lf_runAirportsScan(const std::vector<fs::path>& folders) {
  gScanCutShort.store(false);
  std::error_code error;
  if (fs::exists(AirportsScanLogPath, error) && !fs::remove(AirportsScanLogPath, error))
    gf_logText("problems with removing previous files (maybe still open?)");
  gTbloEntryCount.store(0);
  {
    std::lock_guard lock(gScanLogMutex);
    gScanLog.reserve(2048);
  }
  // Entries of an earlier scan would be counted and mailed again.
  if (fs::is_directory(TbloFolder, error)) fs::remove_all(TbloFolder);
  for (const fs::path& folder : folders) {
    if (lf_exitBegun()) break;
    lf_checkScanFolders(folder);
  }
  if (lf_exitBegun()) gScanCutShort.store(true);
  lf_writeScanLog();
  if (gScanCutShort.load()) return gAirportsFound.load();

  const std::int32_t copied = lf_copyForOfflineLearning();
  if (copied > 0) {
    gTbloEntryCount += copied;
    gf_logText("");
    gf_logText(sk::format(
        "Please zip the folder {} and mail it to {}, so that its airports can be learned off line.",
        gf_pathToUtf8(fs::absolute(TbloFolder)), kSupportAddress));
  } else {
    gf_logText("All your third party airports are done, no off line learning needed.");
  }
  if (gTbloEntryCount.load() == 0) fs::remove_all(TbloFolder);
  gAppState.tbloAirportCount.store(gTbloEntryCount.load());
  if (gAirportsFound.load()) gf_logText("Airports scan successful");
  return gAirportsFound.load();
}

void lf_checkScanFolders(const fs::path& folder) {
  if (folder.empty()) return;
  std::error_code error;
  if (!fs::exists(folder, error)) {
    gf_showMessage(gf_pathToUtf8(folder) + " does not exist, skipped!", true);
  } else if (!fs::is_directory(folder, error)) {
    gf_showMessage(gf_pathToUtf8(folder) + " is not a folder name, skipped!", false);
  } else {
    lf_scanFolder(folder);
  }
}

void lf_scanFolder(const fs::path& folder) {
  gf_addScanLog(sk::format("Scanning for {}{}", "addon airports in ", gf_pathToUtf8(folder)));
  std::deque<std::future<void>> futures;
  std::size_t started = 0;
  try {
    std::error_code walkError;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied);
    for (; walk != fs::recursive_directory_iterator(); walk.increment(walkError)) {
      try {
        const fs::directory_entry& entry = *walk;
        const std::string text = gf_pathToUtf8(entry.path());
        if (lf_skipPackage(text)) {
          walk.disable_recursion_pending();
          continue;
        }
        std::error_code error;
        if (!entry.is_regular_file(error) || !lf_isBglFile(entry.path().extension())) continue;
        if (text.find("statics") != std::string::npos || text.find("AFCAD Updates") != std::string::npos ||
            text.find("_heliports") != std::string::npos || !lf_bglHasAirports(entry.path()))
          continue;
        if (lf_exitBegun()) break;
        futures.push_back(gf_startWorker([path = entry.path()] { lf_toParkingPositions(path); }));
        if (gScanWorkerHook) gScanWorkerHook(++started);
        if (futures.size() > static_cast<std::size_t>(std::max(gMaxWorkers.load(), 1))) {
          try {
            futures.front().get();
          } catch (const std::exception& failure) {
            gf_addScanLog(sk::format("{} airports search aborted, futs inner, \n{}\n{}\n{}", "===> ",
                                     gf_pathToUtf8(folder), text, failure.what()));
          }
          futures.pop_front();
        }
      } catch (const std::exception& failure) {
        gf_addScanLog(sk::format("{} airports search in folder {} aborted, cause: {}", "===> ",
                                 gf_pathToUtf8(folder), failure.what()));
      }
    }
    // A folder that cannot be listed ends the walk; the workers started still count.
    if (walkError) throw fs::filesystem_error("recursive_directory_iterator", folder, walkError);
  } catch (const std::exception& failure) {
    gf_addScanLog(sk::format("{} airports search in folder {} aborted because of iterator problem: {}",
                             "===> ", gf_pathToUtf8(folder), failure.what()));
  }
  // Workers already started always end: the folders they write must be whole.
  for (std::future<void>& future : futures) {
    try {
      future.get();
    } catch (const std::exception& failure) {
      gf_addScanLog(sk::format("{} airports search in {} aborted, futs outer error: {}", "===> ",
                               gf_pathToUtf8(folder), failure.what()));
    }
  }
}

bool lf_isBglFile(const fs::path& extension) { return extension == ".BGL" || extension == ".bgl"; }

bool lf_skipPackage(const std::string& path) {
  static constexpr std::array<std::string_view, 14> kSkipped{
      "fs-base",           "tutorials", "aircraft", "bushtrip",  "discovery", "point-of-interest", "simobjects",
      "vcockpits",         "aig-aitraffic", "justflight-aicraft", "fsltl", "gsx-pro", "gsx-world", "landingchallenge"};
  if (path.size() >= 250) return true;
  for (const std::string_view word : kSkipped)
    if (path.find(word) != std::string::npos) return true;
  return false;
}

bool lf_publisherAndLink(ApfAirport& airport, std::int32_t& archivedCount, const std::string& bglPath) {
  std::lock_guard lock(gPublisherMutex);
  archivedCount = 0;
  airport.BGLpath = bglPath;
  std::optional<ManifestValues> manifest;
  airport.publisher = gf_findPublisher(bglPath, &manifest);
  if (airport.publisher == "unknown") {
    if (manifest) {
      airport.manufacturer = manifest->manufacturer;
      airport.creator = manifest->creator;
    }
    return false;
  }
  const bool linked = airport.publisher == "simaddon" ? lf_linkSimaddon(airport)
                                                      : lf_linkThirdparty(airport.publisher, airport, archivedCount);
  if (linked) gAirportsFound.store(true);
  return linked;
}

std::pair<std::string, bool> lf_simaddonExists(const std::string& icao) {
  if (gLinkpackAirports.contains(icao)) return {"archive/simaddon/" + icao + ".xml", true};
  gf_addScanLog(sk::format("{} does not exist as simaddon", icao));
  return {{}, false};
}

bool lf_linkSimaddon(const ApfAirport& airport) {
  const auto [archivePath, exists] = lf_simaddonExists(airport.icao);
  if (!exists) return false;
  fs::create_directories(MyLinkpackFolder);
  if (!gf_replaceFile(MyLinkpackFolder / gf_pathFromUtf8(airport.icao + ".txt"), archivePath)) return false;
  gf_addScanLog(sk::format("{} airport {} linked to {}", "simaddon", airport.icao, archivePath));
  return true;
}

std::pair<std::string, bool> lf_thirdpartyExists(const std::string& publisher, const std::string& icao,
                                                  std::int32_t& archivedCount) {
  const std::string archivePath = "archive/thirdparty/" + lf_blanksAsPercent20(publisher) + "/" + icao + ".xml";
  const std::vector<ThirdpartyAirports>& list = MSFS_2020.value ? gThirdpartyAirports20 : gThirdpartyAirports24;
  for (const ThirdpartyAirports& entry : list) {
    if (entry.name != publisher) continue;
    for (const std::string& item : entry.airports) {
      int count = 0;
      // An item of the bare ICAO logs its missing count and is found with 0.
      if (lf_parsePrefixedNumber(publisher, icao, count, item)) {
        archivedCount = count;
        return {archivePath, true};
      }
    }
  }
  gf_addScanLog(sk::format("thirdparty {} {} does not exist", publisher, icao));
  return {archivePath, false};
}

bool lf_linkThirdparty(const std::string& publisher, const ApfAirport& airport, std::int32_t& archivedCount) {
  const auto [archivePath, exists] = lf_thirdpartyExists(publisher, airport.icao, archivedCount);
  if (!exists) return false;
  fs::create_directories(MyThirdpartyFolder);
  if (!gf_replaceFile(MyThirdpartyFolder / gf_pathFromUtf8(airport.icao + ".txt"), archivePath)) return false;
  gf_addScanLog(sk::format("thirdparty airport {} linked to {}", airport.icao, archivePath));
  return true;
}

std::string lf_readPublisher(const fs::path& file) {
  const std::optional<pugi::xml_document> document = lf_loadApf(file);
  if (!document) return {};
  return lf_xmlValueString(*document, "publisher").value_or("");
}

std::string lf_metaSummary(const fs::path& file) {
  const std::optional<pugi::xml_document> document = lf_loadApf(file);
  if (!document) {
    gf_logText(sk::format("\"{}\" not found", gf_pathToUtf8(file)));
    return {};
  }
  if (lf_xmlValueString(*document, "publisher").value_or("") != "unknown") return {};
  const std::string manufacturer = lf_xmlValueString(*document, "manufacturer").value_or("");
  const std::string creator = lf_xmlValueString(*document, "creator").value_or("");
  if (manufacturer.size() >= 4 || creator.size() >= 4) return {};
  return sk::format("{}={}, {}={}", "manufacturer", manufacturer, "creator", creator);
}

bool lf_suitableForOfflineLearning(const std::string& icao) {
  const fs::path local = TbloFolder / gf_pathFromUtf8(icao + ".stock");
  bool suitable = false;
  if (lf_downloadStockApf("archive/stock/" + icao + ".xml", local).empty()) {
    if (const std::optional<pugi::xml_document> document = lf_loadApf(local)) {
      const bool quality = lf_xmlValueInt(*document, "Qf_real").value_or(-1) >= 0 ||
                           lf_xmlValueInt(*document, "Qf_soft").value_or(-1) >= 0;
      // "WEEK" counts only as a whole number; any other text is as if absent.
      const std::string week = lf_xmlValueString(*document, "WEEK").value_or("");
      int weeks = -1;
      const auto [end, failure] = std::from_chars(week.data(), week.data() + week.size(), weeks);
      suitable = quality && failure == std::errc() && end == week.data() + week.size() && weeks >= 16;
    }
  }
  std::error_code error;
  fs::remove(local, error);
  if (!suitable) gf_logText(sk::format("{} Not suitable for offline learning", icao));
  return suitable;
}

void lf_toParkingPositions(const fs::path& path) {
  try {
    ScanActions actions(gf_pathToUtf8(path));
    gf_decodeBglFile(path, MSFS_2020.value, actions);
  } catch (const std::exception&) {
    gf_log(sk::format("Exception in lf_toParkingPositions: {}", gf_pathToUtf8(path)));
    throw;
  }
}

void lf_generateApf(ApfAirport& airport) {
  if (airport.stands.empty()) return;
  if (airport.publisher != "unknown") {
    if (const std::size_t community = airport.BGLpath.find("Community"); community != std::string::npos)
      airport.BGLpath = airport.BGLpath.substr(community);
  }
  const fs::path folder = airport.publisher == "simaddon" ? MyLinkpackFolder : MyThirdpartyFolder;
  const fs::path file = folder / gf_pathFromUtf8(airport.icao + ".xml");
  if (gf_isHandmadeApf(file)) {
    gf_addScanLog(sk::format("{}hand-made {} kept, not generated", "===> ", gf_pathToUtf8(file)));
    return;
  }
  std::int32_t helipads = 0;
  for (const Stand& stand : airport.stands) helipads += stand.heli ? 1 : 0;
  const std::string helipadText =
      helipads == 0 ? std::string() : sk::format(", of which {} helipad{}", helipads, helipads == 1 ? "" : "s");
  gf_addScanLog(sk::format("Generated {}: {} position{}", airport.icao + ".xml", airport.stands.size(),
                           airport.stands.size() == 1 ? "" : "s") +
                helipadText);
  std::stable_sort(airport.stands.begin(), airport.stands.end(),
                   [](const Stand& a, const Stand& b) { return a.name < b.name; });
  fs::create_directories(folder);
  if (!gf_writeApf(airport, file, APF_GENERATED)) {
    gf_addScanLog(sk::format("{}Generating {} did not succeed", "===> ", gf_pathToUtf8(file)));
    return;
  }
  gAirportsFound.store(true);
}

void lf_notRecognisedAirport(const std::string& bglPath) {
  gf_addScanLog(sk::format("\n==> Not recognised airport {}", bglPath));
  std::string icao;
  std::string stem = gf_pathToUtf8(gf_pathFromUtf8(bglPath).stem());
  for (char& c : stem)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  std::optional<ManifestValues> manifest = lf_searchManifest(bglPath);
  if (stem.size() == 4 && gf_findAirport(stem)) {
    icao = stem;
    gf_addScanLog(sk::format("Not recognised airport has ICAO code \"{}\" as BGL stem", icao));
  }
  if (icao.empty() && manifest) {
    for (const Airport& airport : gAirports) {
      if (!airport.code.empty() && manifest->title.starts_with(airport.code)) {
        icao = airport.code;
        gf_addScanLog(
            sk::format("Not recognised airport has ICAO \"{}\" in title \"{}\" of manifest", icao, manifest->title));
        break;
      }
    }
  }
  if (icao.empty()) {
    for (const Airport& airport : gAirports) {
      if (!airport.code.empty() && lf_icaoTokenIn(bglPath, airport)) {
        icao = airport.code;
        gf_addScanLog(sk::format("Not recognised airport has ICAO \"{}\" in BGL path \"{}\"", icao, bglPath));
        break;
      }
    }
  }
  if (icao.empty()) {
    gf_addScanLog(sk::format("==================> Not recognised airport lost ... \"{}\"", bglPath));
    return;
  }
  ApfAirport airport;
  airport.icao = icao;
  std::int32_t archived = 0;
  if (lf_publisherAndLink(airport, archived, bglPath) || airport.publisher == "simaddon") return;
  fs::create_directories(TbloFolder);
  const fs::path entry = TbloFolder / gf_pathFromUtf8(icao + ".xml");
  const ManifestValues values = manifest.value_or(ManifestValues{});
  gf_replaceFile(entry, sk::format("{}\n{} by {}, title: {} crea: {} manu: {}", bglPath, icao, airport.publisher,
                                   values.title, values.creator, values.manufacturer));
  gf_addScanLog(sk::format("==> TBLO entry {} created ", gf_pathToUtf8(entry)));
  ++gTbloEntryCount;
}
