#include "airports/scan_log.h"

std::vector<std::string> gScanLog;
std::mutex gScanLogMutex;

void gf_addScanLog(std::string line) {
  std::lock_guard lock(gScanLogMutex);
  gScanLog.push_back(std::move(line));
}
