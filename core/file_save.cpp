#include "core/file_save.h"

#include <atomic>
#include <charconv>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/format.h"
#include "core/util.h"
#include "platform/process.h"
#include "platform/system.h"

namespace {

std::atomic<unsigned long long> gReplaceCounter{0};

std::filesystem::path lf_temporaryFor(const std::filesystem::path& target, unsigned long long call) {
  std::filesystem::path temporary = target;
  temporary += sk::format(".{}-{}.tmp", GetCurrentProcessId(), call);
  return temporary;
}

// A save killed half-way leaves its temporary behind. The next save of the
// same target removes those of processes that have ended; a save under way in
// another running process keeps its own. A folder is listed once per process
// (no process that has ended adds any later): the airport scan saves thousands
// of files into one folder, and a listing per save made it grow with the square.
struct DeadTemporaries {
  std::mutex mutex;
  // By folder, the dead temporaries found there, by the name of their target.
  std::map<std::filesystem::path, std::map<std::string, std::vector<std::filesystem::path>>> byFolder;
};

DeadTemporaries& lf_deadTemporaries() {
  static DeadTemporaries dead;
  return dead;
}

std::map<std::string, std::vector<std::filesystem::path>> lf_listDeadTemporaries(const std::filesystem::path& folder) {
  std::map<std::string, std::vector<std::filesystem::path>> found;
  const DWORD self = GetCurrentProcessId();
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = gf_pathToUtf8(it->path().filename());
    if (!name.ends_with(".tmp")) continue;
    const std::string_view rest = std::string_view(name).substr(0, name.size() - 4);
    const std::size_t dot = rest.rfind('.');
    if (dot == std::string_view::npos || dot == 0) continue;
    const std::string_view middle = rest.substr(dot + 1);
    DWORD process = 0;
    unsigned long long call = 0;
    const char* const last = middle.data() + middle.size();
    const auto [dash, pidError] = std::from_chars(middle.data(), last, process);
    if (pidError != std::errc() || dash == last || *dash != '-') continue;
    const auto [stop, callError] = std::from_chars(dash + 1, last, call);
    if (callError != std::errc() || stop != last || process == self || gf_processRunning(process)) continue;
    found[std::string(rest.substr(0, dot))].push_back(it->path());
  }
  return found;
}

void lf_removeDeadTemporaries(const std::filesystem::path& target) {
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  DeadTemporaries& dead = lf_deadTemporaries();
  std::vector<std::filesystem::path> mine;
  {
    std::lock_guard lock(dead.mutex);
    auto entry = dead.byFolder.find(folder);
    if (entry == dead.byFolder.end()) entry = dead.byFolder.emplace(folder, lf_listDeadTemporaries(folder)).first;
    const auto own = entry->second.find(gf_pathToUtf8(target.filename()));
    if (own == entry->second.end()) return;
    mine = std::move(own->second);
    entry->second.erase(own);
  }
  for (const std::filesystem::path& temporary : mine) {
    std::error_code ignored;
    if (std::filesystem::symlink_status(temporary, ignored).type() == std::filesystem::file_type::regular)
      std::filesystem::remove(temporary, ignored);
  }
}

}  // namespace

std::filesystem::path gf_nextReplaceTemporary(const std::filesystem::path& target) {
  return lf_temporaryFor(target, gReplaceCounter.load());
}

bool gf_replaceFile(const std::filesystem::path& target, std::string_view content) {
  lf_removeDeadTemporaries(target);
  const std::filesystem::path temporary = lf_temporaryFor(target, gReplaceCounter++);
  std::error_code error;
  // Whatever stands at the temporary's name is not ours to remove unless this
  // call made it: only a regular file (or nothing) is written over.
  if (std::filesystem::exists(std::filesystem::symlink_status(temporary, error)) &&
      !std::filesystem::is_regular_file(std::filesystem::symlink_status(temporary, error))) {
    return false;
  }
  if (!gf_writeFileFlushed(temporary, content)) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  if (!gf_renameOver(temporary, target)) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  // The content is safe; a folder that cannot be flushed only delays when the
  // new name reaches the disk.
  gf_flushFolder(target.parent_path());
  return true;
}

bool gf_replaceXmlFile(const pugi::xml_document& document, const std::filesystem::path& target) {
  std::ostringstream text;
  document.save(text);
  return gf_replaceFile(target, text.str());
}
