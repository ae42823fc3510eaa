#pragma once
// The airport scan's log: lines gathered from every scan worker, written to
// output/info/AirportsScanLog.txt when the scan ends.
#include <mutex>
#include <string>
#include <vector>

extern std::vector<std::string> gScanLog;
// Guards gScanLog.
extern std::mutex gScanLogMutex;

// Appends one line; callable from any thread.
void gf_addScanLog(std::string line);
