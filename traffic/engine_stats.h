#pragma once
// Measurements for load runs, off unless a file is given (the program takes it
// from SKLM_ENGINE_STATS): the age in ticks of every record the tick takes off
// the update queue and the duration of every main-loop tick, appended to the
// file once a second as one "ages" and one "ticks_us" line. Nothing is kept
// or written while off.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>

extern std::atomic<bool> gEngineStatsOn;

void gf_startEngineStats(const std::filesystem::path& file);
void gf_noteQueueAge(std::int64_t ticks);
void gf_noteTickTime(std::chrono::nanoseconds duration);
// Appends the samples noted since the last call and forgets them.
void gf_writeEngineStats();
