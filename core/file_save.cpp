#include "core/file_save.h"

#include <atomic>
#include <charconv>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

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
// another running process keeps its own.
void lf_removeDeadTemporaries(const std::filesystem::path& target) {
  const std::string prefix = gf_pathToUtf8(target.filename()) + ".";
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  const DWORD self = GetCurrentProcessId();
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = gf_pathToUtf8(it->path().filename());
    if (name.size() <= prefix.size() + 4 || !name.starts_with(prefix) || !name.ends_with(".tmp")) continue;
    const std::string_view middle =
        std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - 4);
    DWORD process = 0;
    unsigned long long call = 0;
    const char* const last = middle.data() + middle.size();
    const auto [dash, pidError] = std::from_chars(middle.data(), last, process);
    if (pidError != std::errc() || dash == last || *dash != '-') continue;
    const auto [stop, callError] = std::from_chars(dash + 1, last, call);
    if (callError != std::errc() || stop != last || process == self || gf_processRunning(process)) continue;
    std::error_code ignored;
    if (it->symlink_status(ignored).type() == std::filesystem::file_type::regular)
      std::filesystem::remove(it->path(), ignored);
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
