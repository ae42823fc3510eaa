#include "liveries/scan_lists.h"

#include "core/format.h"

ScanList<std::vector<std::string>> gScanFixes;
ScanList<std::list<std::string>> gInvalidCfgFiles;
ScanList<std::list<std::string>> gIncompleteSections;
ScanList<std::list<std::string>> gInvalidAirlineCodes;
ScanList<std::list<std::string>> gInvalidModelCodes;
ScanList<std::list<std::string>> gCfgFilesWithoutSections;
std::unordered_set<std::string> gDontUseTitles;
std::vector<std::string> gDbaseCorrections;

namespace {
std::mutex gTitleMutex;
std::set<std::string> gScannedTitles;
}  // namespace

void lf_addFix(std::string text) { gScanFixes.add(std::move(text)); }
void lf_addInvalidCfgFile(std::string text) { gInvalidCfgFiles.add(std::move(text)); }
void lf_addIncompleteSection(std::string text) { gIncompleteSections.add(std::move(text)); }
void lf_addFileWithoutSections(std::string path) { gCfgFilesWithoutSections.add(std::move(path)); }

void lf_addInvalidAirline(const std::string& code, const std::string& path, const std::string& header) {
  gInvalidAirlineCodes.add(sk::format("{:12} in {} ", code, path) + header);
}

void lf_addInvalidModel(const std::string& code, const std::string& path) {
  gInvalidModelCodes.add(sk::format("{:16} in {}", code, path));
}

bool lf_claimTitle(const std::string& title) {
  std::lock_guard lock(gTitleMutex);
  return gScannedTitles.insert(title).second;
}

std::list<LiveryData> lf_claimScannedFile(ScannedCfgFile& file) {
  for (std::string& fix : file.fixes) lf_addFix(std::move(fix));
  file.fixes.clear();
  std::list<LiveryData> liveries;
  for (LiveryCandidate& candidate : file.candidates) {
    const std::string& title = candidate.livery.title;
    if (lf_claimTitle(title)) {
      liveries.push_back(std::move(candidate.livery));
    } else if (candidate.ivao) {
      lf_addIncompleteSection(sk::format("{} {} title already exists: {}", candidate.folder, candidate.header, title));
    } else {
      lf_addIncompleteSection(sk::format("{} {} title \"{}\" already exists", candidate.folder, candidate.header, title));
    }
  }
  file.candidates.clear();
  return liveries;
}

void lf_clearScanLists() {
  gScanFixes.clear();
  gInvalidCfgFiles.clear();
  gIncompleteSections.clear();
  gInvalidAirlineCodes.clear();
  gInvalidModelCodes.clear();
  gCfgFilesWithoutSections.clear();
  gDbaseCorrections.clear();
  {
    std::lock_guard lock(gTitleMutex);
    gScannedTitles.clear();
  }
  gDontUseTitles.clear();
}
