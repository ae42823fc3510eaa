#pragma once
// Saving what was learned at the park airport's stands when it is left, and
// the callsign sets that tie live traffic to static planning.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

// Stand-use updates since the park airport was loaded (run-time learning
// counts them; the load zeroes them).
extern std::atomic<std::int32_t> gStandUpdateCount;
// An airport parameter was changed while the park airport is loaded.
extern std::atomic<bool> gAirportParametersChanged;
// Callsigns of live traffic seen since the park airport was chosen or since
// the first step of the renewal.
extern std::set<std::string> gSeenCallsignSet;

// Writes gStands into the learned file recorded at load and shows the outcome;
// never throws. A learned file that was not read through is first kept as
// "<ICAO>-<yyyymmdd-hhmmss>.xml" (with "-2", "-3", ... when taken).
void lf_saveParkAirportFile();
void lf_resetStandUsage();

// The backup name for a learned file at the given UTC seconds, not yet taken.
std::filesystem::path gf_learnedBackupPath(const std::filesystem::path& learned, const std::string& icao,
                                           std::int64_t utcSeconds);
