#include "core/log.h"

#include <atomic>
#include <fstream>
#include <mutex>

#include "core/clock.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/util.h"
#include "core/version.h"

namespace {

std::ofstream gLogStream;
// Held only for the write and flush of one line; no other lock is taken under it.
std::mutex gLogMutex;
// Tested before the lock so that lines cost nothing while there is no log, and
// again under it because the log may be closed in between.
std::atomic<bool> gLogOpen{false};

constexpr std::string_view tenBlanks = "          ";

void lf_writeLine(std::string_view prefix, std::string_view text) {
  if (!gLogOpen.load(std::memory_order_acquire)) return;
  std::lock_guard lock(gLogMutex);
  if (!gLogOpen.load(std::memory_order_relaxed)) return;
  gLogStream << prefix << text << '\n';
  gLogStream.flush();
}

}  // namespace

void gf_startLog(const std::filesystem::path& file) {
  gf_closeLog();
  gf_backupFile(file);
  const std::string header =
      sk::format("{} (utc) {} version {} for {}", "Skylume", gf_timeToString(gf_systemNow()),
                 gf_versionToString(ProgramVersion), "MSFS 2020/2024");
  std::lock_guard lock(gLogMutex);
  gLogStream.open(file, std::ios::out | std::ios::trunc);
  if (!gLogStream.is_open()) {
    gLogStream.clear();
    throw qlx::SysErrorException(40, "Failed to write file " + gf_pathToUtf8(file));
  }
  gLogStream << header << '\n';
  gLogStream.flush();
  gLogOpen.store(true, std::memory_order_release);
}

void gf_closeLog() {
  std::lock_guard lock(gLogMutex);
  gLogOpen.store(false, std::memory_order_relaxed);
  if (gLogStream.is_open()) gLogStream.close();
  gLogStream.clear();
}

bool gf_logIsOpen() { return gLogOpen.load(std::memory_order_acquire); }

void gf_log(std::string_view text) { lf_writeLine("===> ", text); }

void gf_logText(std::string_view text) { lf_writeLine({}, text); }

void gf_logLine(const std::string& text) { lf_writeLine({}, text); }

void gf_logIndented(std::string_view text) { lf_writeLine(tenBlanks, text); }
