#include "liveries/uncreatable_models.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "liveries/uncreatable_titles.h"

namespace {

// The summary may run on the shutdown thread while the main loop still notes.
std::mutex gModelsMutex;
std::vector<std::string> gUncreatableModels;

}  // namespace

void gf_noteUncreatableModel(std::string typeAndOperator) {
  std::lock_guard lock(gModelsMutex);
  gUncreatableModels.push_back(std::move(typeAndOperator));
}

std::vector<std::string> gf_creationFailureList() {
  std::lock_guard lock(gModelsMutex);
  std::sort(gUncreatableModels.begin(), gUncreatableModels.end());
  gUncreatableModels.erase(std::unique(gUncreatableModels.begin(), gUncreatableModels.end()), gUncreatableModels.end());
  std::vector<std::string> lines;
  lines.reserve(gUncreatableModels.size());
  for (const auto& model : gUncreatableModels) lines.push_back("  " + model);
  return lines;
}
