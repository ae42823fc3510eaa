#pragma once
// Random picks among equal candidates (switched by RANDOM) and the limiter that
// bounds how many scan workers run at once.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <future>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

// This thread's generator, seeded once from std::random_device on first use.
std::mt19937& gf_randomEngine();

// An index in [0, n); 0 without drawing when RANDOM is off or n < 2.
std::uint64_t gf_randomIndex(std::int64_t n);
// True while RANDOM is on.
bool gf_randomOn();
// Shuffles the list while RANDOM is on; otherwise keeps its order.
template <typename T>
void gf_shuffle(std::vector<T>& list) {
  if (!gf_randomOn() || list.size() < 2) return;
  std::shuffle(list.begin(), list.end(), gf_randomEngine());
}
// value plus or minus percent of it, the sign drawn at random; always draws once.
double gf_randomPercent(double value, double percent);

extern std::atomic<std::int32_t> gRunningWorkers;
extern std::atomic<std::int32_t> gMaxWorkers;

// Sets the limit to the processor count (0, an unknown count, counts as 1).
// Running workers keep their slots: each still releases it when it ends.
void gf_setWorkerLimit(std::int64_t processorCount);
// Returns once fewer than gMaxWorkers workers run.
void gf_waitForWorker();
void gf_releaseWorker();

// Starts one scan worker on its own detached thread once a slot is free. The
// slot is released exactly once, before the future becomes ready, whether the
// work returns or throws (the exception then comes out of the future).
template <typename Work>
auto gf_startWorker(Work work) -> std::future<std::invoke_result_t<Work&>> {
  using Result = std::invoke_result_t<Work&>;
  gf_waitForWorker();
  gRunningWorkers.fetch_add(1);
  std::promise<Result> promise;
  auto future = promise.get_future();
  try {
    std::thread([promise = std::move(promise), work = std::move(work)]() mutable {
      std::exception_ptr error;
      if constexpr (std::is_void_v<Result>) {
        try {
          work();
        } catch (...) {
          error = std::current_exception();
        }
        gf_releaseWorker();
        error ? promise.set_exception(error) : promise.set_value();
      } else {
        std::optional<Result> result;
        try {
          result.emplace(work());
        } catch (...) {
          error = std::current_exception();
        }
        gf_releaseWorker();
        if (error) {
          promise.set_exception(error);
        } else {
          try {
            promise.set_value(std::move(*result));
          } catch (...) {
            promise.set_exception(std::current_exception());
          }
        }
      }
    }).detach();
  } catch (...) {
    // No thread came up, so nobody else will give the slot back.
    gf_releaseWorker();
    throw;
  }
  return future;
}
