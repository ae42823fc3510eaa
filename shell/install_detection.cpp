#include "shell/install_detection.h"

#include <system_error>

#include "airports/airport_list.h"
#include "airports/static_parking.h"
#include "core/errors.h"
#include "core/file_read.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/paths.h"
#include "core/util.h"
#include "liveries/dbase.h"
#include "shell/app_state.h"
#include "shell/auto_range.h"
#include "shell/controls.h"
#include "shell/main_loop.h"
#include "shell/run_state.h"
#include "shell/settings_registration.h"
#include "shell/startup.h"
#include "shell/startup_thread.h"
#include "shell/update.h"

namespace fs = std::filesystem;

namespace {

const std::string kCommunity = "Community";

StringParameter& lf_installPath() { return MSFS_2020.value ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH; }

bool lf_isSeparator(char c) { return c == '/' || c == '\\'; }

// A Windows path typed by the user and a Linux one are cut alike: either
// separator counts, and trailing ones go first.
std::string lf_withoutTrailingSeparators(std::string text) {
  while (text.size() > 1 && lf_isSeparator(text.back())) text.pop_back();
  return text;
}

bool lf_exists(const fs::path& path) {
  std::error_code error;
  return !path.empty() && fs::exists(path, error);
}

bool lf_isFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

void lf_createFolder(const fs::path& folder, bool folderTest) {
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (error && error != std::errc::no_such_file_or_directory) {
    throw fs::filesystem_error(folderTest ? "status" : "exists", folder, error);
  }
  const bool present = folderTest ? fs::is_directory(status) : fs::exists(status);
  if (present) return;
  // With its parents: a program folder unpacked without input/ still starts.
  if (!fs::create_directories(folder, error) && error) throw fs::filesystem_error("create_directory", folder, error);
}

std::vector<std::string> lf_readLines(const fs::path& file) {
  std::vector<std::string> lines;
  if (gf_tooLargeToRead(file)) {
    gf_logLine(gf_tooLargeText(file));
    return lines;
  }
  gf_readUtf16File(gf_detectEncoding(file), file, lines);
  return lines;
}

void lf_controlsStartPart1() {
  gf_enableControl(CUSTOM_MAX_PARK, true);
  parking_percentage.value = 30;
  gf_showIntParameter(parking_percentage);
  gf_enableControl(AUTO_RANGE, true);
  gf_enableControl(LATERAL_RANGE, !AUTO_RANGE.value);
  for (const ControlBinding* control :
       std::initializer_list<const ControlBinding*>{&COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND, &GUID_CHANGES}) {
    gf_enableControl(*control, true);
  }
  gf_enableControl(LEARN_SOFT, false);
  gf_enableControl(BLOCK_CALLSIGN, true);
  gf_enableControl(AUTO_RANGE_ABOVE_HEIGHT, AUTO_RANGE.value);
  gf_enableControl(MAX_LIVE, true);
  gf_enableControl(gUnblockButton, !BLOCK_CALLSIGN.value().empty());
  gf_enableControl(CALLSIGN_2_OBJECTID, false);
  gf_enableControl(AI_PACKAGE_ORDER, LIG_AUTOMATIC.value);
}

void lf_controlsStartPart2() {
  gf_enableControl(LIG_PRIORITIZE, true);
  gf_enableControl(parking_percentage, false);
  lf_clearControlText(parking_percentage.controlId);
  MAX_FIT_FL.value = static_cast<float>(MAX_FIT.value) * 0.5F + 0.5F;
  gf_enableControl(MAX_FIT_FL, false);
  lf_clearControlText(MAX_FIT_FL.controlId);
  for (const ControlBinding* control :
       std::initializer_list<const ControlBinding*>{&SCAN_LIVERIES, &LIG_AUTOMATIC, &MSFS_2020}) {
    gf_enableControl(*control, true);
  }
  gf_enableControl(CALLSIGN_OBJECTIDS, MSFS_2020.value);
  for (const ControlBinding* control : std::initializer_list<const ControlBinding*>{
           &SCAN_AIRPORTS, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT}) {
    gf_enableControl(*control, true);
  }
  gf_enableControl(DESTINATION, false);
  gf_enableControl(AIRPORT_RANGE, true);
  gf_enableControl(AIRPORT_HEIGHT, true);
  gManualLateralRange.store(LATERAL_RANGE.value);
  for (const ControlBinding* control : std::initializer_list<const ControlBinding*>{
           &INITIAL_LOAD_ONLY, &PARK_SOFT, &STRAIGHT_PBS_ONLY, &PARK_FAKE, &WEEK}) {
    gf_enableControl(*control, true);
  }
  gf_enableControl(gFlushStaticButton, false);
  for (const ControlBinding* control : std::initializer_list<const ControlBinding*>{
           &NAV_LIGHTS_WHILE_PARKED, &MATCHING_DEPTH, &COLLISION_USER_GND}) {
    gf_enableControl(*control, true);
  }
}

}  // namespace

std::string lf_packageFamilyName() {
  return MSFS_2020.value ? "Microsoft.FlightSimulator_8wekyb3d8bbwe" : "Microsoft.Limitless_8wekyb3d8bbwe";
}

std::string lf_simFolderName() {
  return MSFS_2020.value ? "Microsoft Flight Simulator" : "Microsoft Flight Simulator 2024";
}

// Nothing stored gives nothing, never a folder relative to the program's.
fs::path gf_simPackagesPath(const fs::path& folder) {
  const std::string install = lf_installPath().value();
  return install.empty() ? fs::path() : gf_pathFromUtf8(install) / folder;
}

fs::path lf_findSteamPackages() {
  const fs::path roaming = gf_knownFolderPath(CSIDL_APPDATA);
  if (roaming.empty()) return {};
  const fs::path packages = roaming / gf_pathFromUtf8(lf_simFolderName()) / "Packages";
  if (!lf_exists(packages)) return {};
  gf_logLine(sk::format("Steam packages:{}", gf_pathToUtf8(packages)));
  return packages;
}

fs::path lf_findUserCfg() {
  const fs::path local = gf_knownFolderPath(CSIDL_LOCAL_APPDATA);
  const fs::path roaming = gf_knownFolderPath(CSIDL_APPDATA);
  struct Candidate {
    const char* name;
    fs::path path;
  };
  std::vector<Candidate> candidates;
  // An unknown folder gives no candidate, never one relative to the program folder.
  if (!local.empty()) {
    candidates.push_back({"Store", local / "Packages" / gf_pathFromUtf8(lf_packageFamilyName()) /
                                       "LocalCache" / "UserCfg.opt"});
  }
  if (!roaming.empty())
    candidates.push_back({"Steam1", roaming / gf_pathFromUtf8(lf_simFolderName()) / "UserCfg.opt"});
  if (!local.empty()) {
    candidates.push_back(
        {"Steam2", local / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt"});
    candidates.push_back({"Boxed", local / "MSFSPackages" / "UserCfg.opt"});
  }
  for (const Candidate& candidate : candidates) {
    if (lf_exists(candidate.path)) return candidate.path;
    gf_logLine(sk::format("MSFS detection, no {}:{}", candidate.name, gf_pathToUtf8(candidate.path)));
  }
  return candidates.empty() ? fs::path() : candidates.back().path;
}

bool lf_parseInstalledPackagesPath(fs::path& out, const std::string& line) {
  const std::string_view view(line);
  if (view.find("InstalledPackagesPath") == std::string_view::npos) return false;
  std::string_view text;
  const auto open = view.find('"');
  if (open == std::string_view::npos) {
    text = view;
  } else {
    const auto close = view.find('"', open + 1);
    if (close != std::string_view::npos) text = view.substr(open + 1, close - open - 1);
  }
  out = gf_pathFromUtf8(text);
  if (!lf_exists(out)) out.clear();
  return true;
}

fs::path lf_readUserCfg() {
  const fs::path file = lf_findUserCfg();
  if (!lf_exists(file)) {
    gf_logLine("No UserCfg.opt found?");
    return {};
  }
  fs::path packages;
  for (const std::string& line : lf_readLines(file)) {
    if (lf_parseInstalledPackagesPath(packages, line)) break;
  }
  gf_logLine(sk::format("UserCfg.opt: InstalledPackagesPath={}",
                        packages.empty() ? "???" : gf_pathToUtf8(packages)));
  return packages;
}

bool lf_checkCommunityFolder(const fs::path& packages) {
  if (!lf_isFolder(packages) || !lf_isFolder(packages / CommunityFolderName)) return false;
  return lf_isFolder(packages / (MSFS_2020.value ? OfficialFolderName : Official2024FolderName));
}

fs::path gf_detectSimPackages() {
  const fs::path steam = lf_findSteamPackages();
  if (lf_checkCommunityFolder(steam)) return steam;
  const fs::path fromUserCfg = lf_readUserCfg();
  if (lf_checkCommunityFolder(fromUserCfg)) return fromUserCfg;
  return {};
}

void lf_communityPath(StringParameter& installPath) {
  const std::string value = lf_withoutTrailingSeparators(installPath.value());
  const std::size_t suffix = kCommunity.size() + 1;
  if (value.size() < 10 || !value.ends_with(kCommunity) || !lf_isSeparator(value[value.size() - suffix])) return;
  installPath.setAndSave(lf_withoutTrailingSeparators(value.substr(0, value.size() - suffix)));
}

void lf_createFolders() {
  const std::pair<fs::path, bool> folders[] = {
      {OutputFolder, false},         {OutputInfoFolder, false},      {OutputErrorsFolder, false},
      {AirportsFolder, false},       {LearnedFolder, false},         {LearnedStockFolder, false},
      {LearnedLinkpackFolder, false}, {LearnedThirdpartyFolder, false}, {MyLinkpackFolder, true},
      {MyThirdpartyFolder, true},    {MyRegcodesFolder, false}};
  for (const auto& [folder, folderTest] : folders) lf_createFolder(folder, folderTest);
}

std::vector<std::string> gf_listXmlFiles() {
  std::vector<std::string> codes;
  codes.reserve(512);
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(MyThirdpartyFolder, error)) {
    if (!entry.is_regular_file(error)) continue;
    const fs::path& path = entry.path();
    // Extensions are compared as the simulator's file system does, whatever their case.
    std::string extension = gf_pathToUtf8(path.extension());
    for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (extension == ".XML" && gf_pathToUtf8(path.stem()).size() == 4)
      codes.push_back(gf_pathToUtf8(path.stem()));
  }
  return codes;
}

void lf_detectInstallPaths() {
  lf_loadParameterLists();
  gf_invalidateMain(kStatusRect);
  lf_communityPath(lf_installPath());
  lf_createFolders();
  gUserMaxLive.store(MAX_LIVE.value);
  if (!gRestart.load()) gf_checkProgramUpdate();
  if (!MSFS_2020.value) {
    // The companion folder exists from lf_createFolders on: refill it when it holds nothing.
    if (lf_companionFolderMissing()) gf_updateCompanionPackage();
    if (!gRestart.load()) gf_updateCompanionPackage();
  }
  lf_controlsStartPart1();
  PROGRAM_INSTALL_PATH.setAndSave(gf_pathToUtf8(fs::current_path()));
  gNow.store(gf_currentSlot());
  if (!gDataBaseRead) {
    try {
      gf_readDataBase();
    } catch (const qlx::SysErrorException&) {
      // An exit ended its download: the start ends here, and a user's close is no failure.
      if (gf_runEnding()) return;
      throw;
    }
    gDataBaseRead = true;
  }
  ALL_INSTALL_PATH.setValue(lf_installPath().value());
  gf_enableControl(ALL_INSTALL_PATH, true);
  gf_showTextParameter(ALL_INSTALL_PATH);
  if (ALL_INSTALL_PATH.value().empty()) {
    const fs::path packages = gf_detectSimPackages();
    if (packages.empty()) {
      throw qlx::UserErrorException(
          150, "No install path detected, type full path to your Community folder above, and press Enter");
    }
    lf_installPath().setAndSave(gf_pathToUtf8(packages));
    ALL_INSTALL_PATH.setValue(gf_pathToUtf8(packages));
    gf_showTextParameter(ALL_INSTALL_PATH);
  }
  gf_invalidateMain(kStatusRect);
  const fs::path roaming = gf_knownFolderPath(CSIDL_APPDATA);
  gRtLocal = !roaming.empty() && lf_exists(roaming / InsideSystemsFolderName / "RealTraffic.jar");
  gf_showMessage(sk::format("RealTraffic {}detected at this PC", gRtLocal ? "" : "not "), true);
  lf_controlsStartPart2();
  gf_readAirports();
}
