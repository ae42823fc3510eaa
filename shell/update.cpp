#include "shell/update.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/util.h"
#include "core/version.h"
#include "core/zip_archive.h"
#include "shell/download.h"

namespace {

using skzip::ZipArchive;
using skzip::ZipEntry;

const std::filesystem::path kCompanionArchive{"my_linkpack2024.zip"};
// The package is read whole before the folder is touched. Its entries are
// one-line link files, one per airport: a few megabytes in all. More than this
// is no such package, and is refused before anything is inflated.
constexpr std::size_t kCompanionMaxEntries = 100000;
constexpr std::uint64_t kCompanionMaxBytes = 32ULL << 20;

struct DataArchive {
  std::string_view file;  // on the server and locally
  std::string_view downloadFailed;
  std::string_view unzipFailed;
};
constexpr DataArchive kAigRegcodes{"AIG-regcodes.zip", "downloading AIG-regcodes failed?",
                                   "unzipping AIG-regcodes failed?"};
constexpr DataArchive kDbase{"dbase.zip", "downloading dbase failed?", "unzipping dbase failed?"};

// Names come from the network: one that climbs out ("..", an absolute or drive
// path, a Windows separator) or is empty makes the whole archive unusable.
bool lf_safeEntryName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find_first_of("\\:") != std::string::npos) return false;
  for (unsigned char c : name) {
    if (c < 0x20) return false;
  }
  for (std::size_t start = 0; start < name.size();) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

// The archive's entries, or none when it does not open or names an entry unsafely.
std::optional<std::vector<ZipEntry>> lf_openArchive(ZipArchive& archive) {
  if (!archive.open()) return std::nullopt;
  std::vector<ZipEntry> entries = archive.getEntries();
  for (const ZipEntry& entry : entries) {
    if (!lf_safeEntryName(entry.getName())) return std::nullopt;
  }
  return entries;
}

bool lf_unzipInstallerEntry(const ZipEntry& entry, const std::filesystem::path& archivePath) {
  if (std::filesystem::exists(InstallNewVersionPath)) std::filesystem::remove(InstallNewVersionPath);
  int code = 0;
  {
    std::ofstream out(InstallNewVersionPath, std::ios::binary | std::ios::trunc);
    code = entry.readContent(out);
  }
  if (code != 0) {
    gf_log(sk::format("unzipping error code : {}", code));
    // A half-written installer must never be taken for the new program.
    std::error_code ignored;
    std::filesystem::remove(InstallNewVersionPath, ignored);
    return false;
  }
  gf_logText(
      sk::format("{} unzipped to {}", gf_pathToUtf8(archivePath), gf_pathToUtf8(InstallNewVersionPath)));
  return true;
}

bool lf_downloadInstaller(const Version& version) {
  const std::string versionText = gf_versionToString(version);
  const std::string name = sk::format("setup_{}_d_v{}.zip", "Skylume", versionText);
  LocalFile local{gf_pathFromUtf8(name)};
  HttpSession handle(kLargeFileLimits);
  if (!gf_download(&handle, gf_downloadBase() + "release/" + name, local.path(), true)) {
    gf_showMessage(sk::format("Downloading program installer file version {} failed", versionText), true);
    return false;
  }
  gf_logText(sk::format("downloaded {}", gf_pathToUtf8(local.path())));
  bool unpacked = false;
  {
    ZipArchive archive(local.path());
    const auto entries = lf_openArchive(archive);
    if (!entries) {
      gf_log(sk::format("could not open {}", gf_pathToUtf8(local.path())));
      return false;
    }
    // Each entry replaces the file the one before wrote: the archive holds the one installer.
    for (const ZipEntry& entry : *entries) {
      unpacked = lf_unzipInstallerEntry(entry, local.path());
      if (!unpacked) break;
    }
  }
  local.remove();
  return unpacked;
}

// The entry's file name without folders and extension, + ".txt".
std::optional<std::filesystem::path> lf_companionFileName(const std::string& entryName) {
  const std::string stem = gf_pathToUtf8(gf_pathFromUtf8(entryName).stem());
  if (stem.empty() || stem == "." || stem == "..") return std::nullopt;
  return gf_pathFromUtf8(stem + ".txt");
}

// Reads one file entry of the package; false when it cannot be read whole.
bool lf_extractCompanionEntry(const ZipEntry& entry,
                              std::vector<std::pair<std::filesystem::path, std::string>>& files) {
  const auto fileName = lf_companionFileName(entry.getName());
  if (!fileName) return false;
  try {
    files.emplace_back(*fileName, entry.readAsText());
  } catch (const skzip::ZipError&) {
    return false;
  }
  return true;
}

bool lf_downloadDataArchive(const DataArchive& table, const std::filesystem::path& target) {
  LocalFile local{gf_pathFromUtf8(table.file)};
  HttpSession handle(kLargeFileLimits);
  const DownloadOutcome outcome =
      gf_downloadOutcome(&handle, gf_downloadBase() + std::string(table.file), local.path(), true);
  if (outcome != DownloadOutcome::Fetched) {
    // An exit that ended the download is no failure of it.
    if (outcome != DownloadOutcome::Cancelled) gf_log(table.downloadFailed);
    return false;
  }
  // The archives hold one file each; with several the last one counts. Each
  // is streamed to a temporary beside the target, never held whole, and the
  // target is replaced only by one that came out whole.
  std::filesystem::path temporary = target;
  temporary += ".unzip.tmp";
  bool unpacked = false;
  {
    ZipArchive archive(local.path());
    if (const auto entries = lf_openArchive(archive)) {
      for (const ZipEntry& entry : *entries) {
        if (entry.isDirectory()) continue;
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        unpacked = out && entry.readContent(out) == 0;
        if (!unpacked) break;
      }
    }
  }
  std::error_code error;
  if (unpacked) gf_renameReplacing(temporary, target, error);
  if (!unpacked || error) {
    std::filesystem::remove(temporary, error);
    // Read afresh on every use, so an unusable target is better gone than stale.
    if (std::filesystem::is_regular_file(target, error)) std::filesystem::remove(target, error);
    gf_log(table.unzipFailed);
    local.remove();
    return false;
  }
  local.remove();
  return true;
}

}  // namespace

void gf_checkProgramUpdate() {
  Version server;
  {
    HttpSession handle(kSmallFileLimits);
    server = gf_fetchVersion(&handle, gf_downloadBase() + "release/version.json");
  }
  if (server == Version{}) {
    gf_log("Program Version file not found?");
    return;
  }
  if (!(server > ProgramVersion)) return;
  if (lf_downloadInstaller(server)) {
    // The folder the installer was unpacked into, whatever PROGRAM_INSTALL_PATH holds yet.
    const auto installer = std::filesystem::current_path() / InstallNewVersionPath;
    throw qlx::UserErrorException(
        99, sk::format("New version {} available. Exit here, and run as administrator:   \"{}\"",
                       gf_versionToString(server), gf_pathToUtf8(installer)));
  }
  gf_showMessage("The downloading/unzipping of the new version failed? Try manually via tarvimo website", true);
}

bool lf_companionFolderMissing() {
  std::error_code error;
  if (!std::filesystem::is_directory(MyLinkpackFolder, error)) return true;
  return gf_countFiles(MyLinkpackFolder) == 0;
}

bool gf_updateCompanionPackage() {
  HttpSession versionHandle(kSmallFileLimits);
  const Version server =
      gf_fetchVersion(&versionHandle, gf_downloadBase() + "mylinkpack24" + "/version.json");
  if (server == Version{}) {
    gf_log("No mylinkpack version info found at the SKLM server?");
    return false;
  }
  const Version installed = gf_parseVersion(MYLINKPACK24_VERSION.value());
  if (!(server > installed) && !lf_companionFolderMissing()) return false;

  LocalFile local(kCompanionArchive);
  const std::string url = gf_downloadBase() + "mylinkpack24/" + gf_pathToUtf8(kCompanionArchive);
  HttpSession handle(kLargeFileLimits);
  if (!gf_download(&handle, url, local.path(), true)) {
    gf_log(sk::format("downloading \"{}\" failed", url));
    return false;
  }
  // Every file is read before the folder is touched: a damaged package leaves
  // the installed one and its version as they were.
  std::vector<std::pair<std::filesystem::path, std::string>> files;
  bool complete = false;
  try {
    ZipArchive archive(local.path());
    if (const auto entries = lf_openArchive(archive)) {
      std::uint64_t total = 0;
      for (const ZipEntry& entry : *entries) total += std::min(entry.getSize(), kCompanionMaxBytes + 1);
      complete = entries->size() <= kCompanionMaxEntries && total <= kCompanionMaxBytes;
      for (auto entry = entries->begin(); complete && entry != entries->end(); ++entry) {
        if (!entry->isDirectory()) complete = lf_extractCompanionEntry(*entry, files);
      }
    }
  } catch (const std::bad_alloc&) {
    complete = false;
    files.clear();
  }
  if (!complete || files.empty()) {
    gf_log(sk::format("could not open {}", gf_pathToUtf8(local.path())));
    local.remove();
    return false;
  }
  local.remove();

  if (!std::filesystem::exists(MyLinkpackFolder)) {
    std::filesystem::create_directory(MyLinkpackFolder);
  } else {
    gf_clearFolder(MyLinkpackFolder);
  }
  // Entries of different folders with the same stem share a file; the later one wins.
  for (const auto& [name, text] : files) {
    if (!gf_writeFile(text, MyLinkpackFolder / name, false)) {
      gf_log(sk::format("could not write {}", gf_pathToUtf8((MyLinkpackFolder / name))));
      return false;
    }
  }
  gf_showMessage(sk::format("{} unzipped {} files", gf_pathToUtf8(kCompanionArchive), files.size()), true);
  const std::string versionText = gf_versionToString(server);
  MYLINKPACK24_VERSION.setAndSave(versionText);
  gf_showMessage(sk::format("mylinkpack has been updated to version {}", versionText), true);
  return true;
}

bool gf_downloadAigRegcodes(const std::filesystem::path& target) { return lf_downloadDataArchive(kAigRegcodes, target); }

bool gf_downloadDbase(const std::filesystem::path& target) { return lf_downloadDataArchive(kDbase, target); }
