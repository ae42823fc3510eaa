#include "liveries/scan_reports.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <vector>

#include "core/format.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/util.h"
#include "liveries/data_downloads.h"
#include "liveries/dbase_lookups.h"
#include "liveries/regcodes.h"
#include "liveries/scan_lists.h"

namespace {

const char* plural(std::size_t count) { return count == 1 ? "" : "s"; }

const char* flag(bool value) { return value ? "true" : "false"; }

template <typename Lines>
void writeErrorList(Lines lines, bool sorted, const std::filesystem::path& path, const std::string& summary) {
  if (lines.empty()) return;
  if constexpr (requires { lines.sort(); }) {
    if (sorted) lines.sort();
  } else {
    if (sorted) std::sort(lines.begin(), lines.end());
  }
  std::filesystem::create_directories(path.parent_path());
  if constexpr (requires { lines.sort(); }) {
    lf_writeListToFile(lines, path);
  } else {
    gf_writeTextFile(lines, path);
  }
  gf_logText(sk::format(fmt::runtime(summary), lines.size(), plural(lines.size()), gf_pathToUtf8(path)));
}

}  // namespace

bool lf_writeListToFile(const std::list<std::string>& list, const std::filesystem::path& path) {
  return gf_writeTextFile(std::vector<std::string>(list.begin(), list.end()), path);
}

void lf_removePreviousScanFiles() {
  try {
    for (const auto* path : {&AircraftCfgWithNoFltsimSectionPath, &LiveriesSkippedOnPriorityPath, &InlineRegcodesPath,
                             &InvalidAirlineCodesPath, &InvalidAircraftCodesPath, &FixesPath,
                             &InvalidAircraftCfgFilesPath, &IncompleFltsimSectionsPath}) {
      if (std::filesystem::exists(*path)) std::filesystem::remove(*path);
    }
    if (std::filesystem::exists(OutputErrorsFolder)) std::filesystem::remove(OutputErrorsFolder);
  } catch (const std::exception& error) {
    gf_logText(sk::format("problems with removing previous files: {}", error.what()));
  }
}

void lf_refreshAigRegcodes() {
  if (lf_downloadAigRegcodes(AigRegcodesPath)) {
    lf_readTitleFile(AigRegcodesPath);
    if (std::filesystem::exists(AigRegcodesPath)) std::filesystem::remove(AigRegcodesPath);
  } else {
    gf_log(sk::format("reading {} failed?", gf_pathToUtf8(AigRegcodesPath)));
  }
  if (gf_countFiles(MyRegcodesFolder) > 0) lf_readTitleFolder();
}

void lf_logDbaseCorrections(LiveryData& livery) {
  if (livery.atcid.empty()) return;
  std::optional<DbaseRecord> record;
  for (const auto& key : gf_regcodeCandidates(livery.atcid)) {
    if (gf_findDbaseRecord(record, key)) break;
  }
  if (!record) return;
  if (record->cargo != livery.cargo) {
    gDbaseCorrections.push_back(
        sk::format("{:80} {} cargo {} => {}", livery.title, livery.atcid, flag(livery.cargo), flag(record->cargo)));
    livery.cargo = record->cargo;
  }
  // An empty code in the record would blank the livery and make it unmatchable.
  const std::string& airline = record->opr.empty() ? record->airl : record->opr;
  if (!airline.empty() && airline != livery.airl) {
    gDbaseCorrections.push_back(sk::format("{:80} {} airl {} => {}", livery.title, livery.atcid, livery.airl, airline));
    livery.airl = airline;
  }
  if (!record->type.empty() && record->type != livery.type) {
    gDbaseCorrections.push_back(
        sk::format("{:80} {} model {} => {}", livery.title, livery.atcid, livery.type, record->type));
    livery.type = record->type;
  }
}

void lf_writeScanReports() {
  try {
    const auto airlines = gInvalidAirlineCodes.lines();
    const auto models = gInvalidModelCodes.lines();
    const auto fixes = gScanFixes.lines();
    const auto files = gInvalidCfgFiles.lines();
    const auto sections = gIncompleteSections.lines();
    if (airlines.empty() && models.empty() && fixes.empty() && files.empty() && sections.empty()) {
      gf_logText("\nNo errors");
    } else {
      gf_logText("\nErrors:");
      writeErrorList(airlines, true, InvalidAirlineCodesPath, "{0} invalid airline code{1}, see {2}");
      writeErrorList(models, true, InvalidAircraftCodesPath, "{0} invalid model code{1}, see {2}");
      writeErrorList(fixes, false, FixesPath, "{0} code fixes, see {2}");
      writeErrorList(files, true, InvalidAircraftCfgFilesPath, "{0} invalid aircraft.cfg files, see {2}");
      writeErrorList(sections, true, IncompleFltsimSectionsPath, "{0} incomplete [fltsim.x] sections, see {2}");
    }
    gf_logText("\nInformation:");
    writeErrorList(gCfgFilesWithoutSections.lines(), true, AircraftCfgWithNoFltsimSectionPath,
                   "{0} empty aircraft.cfg files, see {2}");
    if (!gDbaseCorrections.empty()) {
      std::filesystem::create_directories(AirlineModelConversionsPath.parent_path());
      gf_writeTextFile(gDbaseCorrections, AirlineModelConversionsPath);
      gf_logText(sk::format("{} liveries updated with real live data from dbase, see {}",
                            gDbaseCorrections.size(), gf_pathToUtf8(AirlineModelConversionsPath)));
    }
  } catch (const std::exception&) {
    // Reports already written stay; LiveriesScanned.xml is saved before this.
  }
}
