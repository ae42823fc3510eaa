#include "core/file_save.h"

#include <atomic>
#include <sstream>
#include <system_error>

#include "core/format.h"
#include "platform/system.h"

namespace {

std::atomic<unsigned long long> gReplaceCounter{0};

std::filesystem::path lf_temporaryFor(const std::filesystem::path& target, unsigned long long call) {
  std::filesystem::path temporary = target;
  temporary += sk::format(".{}-{}.tmp", GetCurrentProcessId(), call);
  return temporary;
}

}  // namespace

std::filesystem::path gf_nextReplaceTemporary(const std::filesystem::path& target) {
  return lf_temporaryFor(target, gReplaceCounter.load());
}

bool gf_replaceFile(const std::filesystem::path& target, std::string_view content) {
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
  std::filesystem::rename(temporary, target, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
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
