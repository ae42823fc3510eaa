#include "traffic/engine_stats.h"

#include <fstream>
#include <mutex>
#include <vector>

std::atomic<bool> gEngineStatsOn{false};

namespace {
std::mutex gStatsMutex;
std::filesystem::path gStatsFile;
std::vector<std::int64_t> gAges;
std::vector<std::int64_t> gTickMicros;

void lf_writeLine(std::ofstream& out, const char* name, std::vector<std::int64_t>& samples) {
  out << name;
  for (const std::int64_t sample : samples) out << ' ' << sample;
  out << '\n';
  samples.clear();
}
}  // namespace

void gf_startEngineStats(const std::filesystem::path& file) {
  std::lock_guard lock(gStatsMutex);
  gStatsFile = file;
  gEngineStatsOn = true;
}

void gf_noteQueueAge(std::int64_t ticks) {
  if (!gEngineStatsOn.load(std::memory_order_relaxed)) return;
  std::lock_guard lock(gStatsMutex);
  gAges.push_back(ticks);
}

void gf_noteTickTime(std::chrono::nanoseconds duration) {
  if (!gEngineStatsOn.load(std::memory_order_relaxed)) return;
  std::lock_guard lock(gStatsMutex);
  gTickMicros.push_back(std::chrono::duration_cast<std::chrono::microseconds>(duration).count());
}

void gf_writeEngineStats() {
  std::lock_guard lock(gStatsMutex);
  if (!gEngineStatsOn) return;
  std::ofstream out(gStatsFile, std::ios::app);
  lf_writeLine(out, "ages", gAges);
  lf_writeLine(out, "ticks_us", gTickMicros);
}
