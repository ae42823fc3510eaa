#include "core/paths.h"

#include <mutex>
#include <optional>

#include "core/util.h"

namespace {

struct DataFolderStore {
  std::mutex mutex;
  std::optional<std::filesystem::path> folder;
};

DataFolderStore& lf_store() {
  static DataFolderStore store;
  return store;
}

}  // namespace

std::filesystem::path DataFolder() {
  auto& store = lf_store();
  std::lock_guard lock(store.mutex);
  if (!store.folder) store.folder = gf_knownFolderPath(CSIDL_APPDATA) / "Skylume";
  return *store.folder;
}

void gf_setDataFolder(std::filesystem::path folder) {
  auto& store = lf_store();
  std::lock_guard lock(store.mutex);
  if (folder.empty()) {
    store.folder.reset();
  } else {
    store.folder = std::move(folder);
  }
}

std::filesystem::path gf_parametersFile() { return DataFolder() / "parameters.xml"; }

std::string ParametersPath() {
  return gf_pathToUtf8(gf_parametersFile());
}
