#include "airports/learned_save.h"

#include <chrono>

#include "airports/apf_file.h"
#include "airports/apf_loading.h"
#include "core/clock.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/util.h"
#include "shell/app_state.h"
#include "traffic/readers.h"

std::atomic<std::int32_t> gStandUpdateCount{0};
std::atomic<bool> gAirportParametersChanged{false};
std::set<std::string> gSeenCallsignSet;

namespace {

std::string lf_utcStamp(std::int64_t utcSeconds) {
  using namespace std::chrono;
  const sys_seconds time{seconds{utcSeconds}};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  return sk::format("{:04}{:02}{:02}-{:02}{:02}{:02}", static_cast<int>(date.year()),
                    static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), clock.hours().count(),
                    clock.minutes().count(), clock.seconds().count());
}

ApfAirport lf_saveRecord() {
  ApfAirport record;
  record.icao = gParkAirportCode;
  record.airport_name = gParkApfInfo.airportName;
  record.publisher = gParkApfInfo.publisher;
  record.altitude = gParkApfInfo.altitude;
  for (const Stand& stand : gStands) {
    Stand copy = stand;
    if (!gHandmadeAirport)
      std::erase_if(copy.options, [](const StandOption& option) { return option.archived == 1; });
    if (copy.options.empty() && !copy.manual && !copy.radiusChanged && !copy.cargoChanged) continue;
    record.stands.push_back(std::move(copy));
  }
  if (gHandmadeAirport) {
    const QualityFactor quality = lf_QualityFactor();
    record.Qf_real = quality.real;
    record.Qf_soft = quality.soft;
  }
  return record;
}

// Keeps a learned file that was not read through; empty when there is none.
std::filesystem::path lf_keepUnreadFile(const std::filesystem::path& path) {
  if (!gLearnedFile.notFullyRead || !std::filesystem::exists(path)) return {};
  const std::filesystem::path backup = gf_learnedBackupPath(path, gParkAirportCode, gf_systemNow());
  std::error_code error;
  if (!gf_renameReplacing(path, backup, error)) throw std::filesystem::filesystem_error("rename", path, backup, error);
  return backup;
}

}  // namespace

std::filesystem::path gf_learnedBackupPath(const std::filesystem::path& learned, const std::string& icao,
                                           std::int64_t utcSeconds) {
  const std::string stem = sk::format("{}-{}", icao, lf_utcStamp(utcSeconds));
  std::filesystem::path backup = learned.parent_path() / gf_pathFromUtf8(stem + ".xml");
  for (int n = 2; std::filesystem::exists(backup); ++n)
    backup = learned.parent_path() / gf_pathFromUtf8(sk::format("{}-{}.xml", stem, n));
  return backup;
}

void lf_saveParkAirportFile() {
  const std::filesystem::path path = gLearnedFile.learnedPath;
  const std::int32_t updates = gStandUpdateCount.exchange(0);
  const bool parametersChanged = gAirportParametersChanged.exchange(false);
  bool saved = false;
  std::filesystem::path backup;
  try {
    if (!path.empty()) {
      const ApfAirport record = lf_saveRecord();
      if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
      backup = lf_keepUnreadFile(path);
      saved = gf_writeApf(record, path, APF_LEARNED, gLearnedFile.keptParkpos);
    }
  } catch (const std::exception& error) {
    gf_log(sk::format("lf_saveParkAirportFile {}", error.what()));
  }
  gAppState.updateCount.store(0);
  if (!saved) {
    gf_showMessage(sk::format("{} saving \"{}\" did not succeed", gf_utcNowString(), gf_pathToUtf8(path)),
                   true);
    return;
  }
  gLearnedFile.notFullyRead = false;
  std::string text = sk::format("{}{} \"{}\" saved with {} update{} {}", gf_utcNowString(),
                                gHandmadeAirport ? " handmade" : "", gf_pathToUtf8(path), updates,
                                updates == 1 || updates < 0 ? "" : "s",
                                parametersChanged ? "and one or more parameter changes" : "");
  if (!backup.empty()) text += sk::format(" (unread file kept as \"{}\")", gf_pathToUtf8(backup));
  gf_showMessage(text, true);
}

void lf_resetStandUsage() {
  gSeenCallsignSet.clear();
  gTrafficReader.setCollectCallsigns(false);
  gSeenCallsignSet = gTrafficReader.seenCallsigns();
  gTrafficReader.clearSeenCallsigns();
}
