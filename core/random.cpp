#include "core/random.h"

#include <algorithm>
#include <chrono>

#include "core/parameters.h"

std::atomic<std::int32_t> gRunningWorkers{0};
std::atomic<std::int32_t> gMaxWorkers{1};

std::mt19937& gf_randomEngine() {
  thread_local std::mt19937 engine{std::random_device{}()};
  return engine;
}

std::uint64_t gf_randomIndex(std::int64_t n) {
  if (!RANDOM.value || n < 2) return 0;
  return gf_randomEngine()() % static_cast<std::uint64_t>(n);
}

bool gf_randomOn() { return RANDOM.value; }

double gf_randomPercent(double value, double percent) {
  const double sign = (gf_randomEngine()() & 1u) == 0 ? 1.0 : -1.0;
  if (percent <= 0) return value;
  return value + sign * (value * percent / 100.0);
}

void gf_setWorkerLimit(std::int64_t processorCount) {
  gMaxWorkers.store(static_cast<std::int32_t>(std::clamp<std::int64_t>(processorCount, 1, INT32_MAX)));
}

void gf_waitForWorker() {
  while (gRunningWorkers.load() >= gMaxWorkers.load()) {
    std::this_thread::sleep_for(std::chrono::microseconds(10));
  }
}

void gf_releaseWorker() { gRunningWorkers.fetch_sub(1); }
