#pragma once
// Random picks among equal candidates (switched by RANDOM) and the limiter that
// bounds how many scan workers run at once.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/process.h"

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

// What one worker hands back. The worker moves its result or exception in under
// the lock and keeps no reference to either: an exception's reference count
// lives in the runtime library, where a thread checker cannot see it, so the
// object is only ever freed by the thread that takes it (or by whoever drops
// the last share of an outcome nobody took).
template <typename Result>
class WorkerOutcome {
 public:
  using Stored = std::conditional_t<std::is_void_v<Result>, std::monostate, Result>;

  void finish(std::optional<Stored>&& result, std::exception_ptr&& failure) {
    {
      std::lock_guard lock(m_mutex);
      if (failure) {
        m_error = std::move(failure);
      } else {
        try {
          if (result) m_value.emplace(std::move(*result));
        } catch (...) {
          m_error = std::current_exception();
        }
      }
      m_done = true;
    }
    m_finished.notify_all();
  }

  Result take() {
    std::unique_lock lock(m_mutex);
    m_finished.wait(lock, [this] { return m_done; });
    if (m_error) {
      std::exception_ptr failure = std::move(m_error);
      lock.unlock();
      std::rethrow_exception(std::move(failure));
    }
    if constexpr (!std::is_void_v<Result>) return std::move(*m_value);
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_finished;
  bool m_done = false;
  std::optional<Stored> m_value;
  std::exception_ptr m_error;
};

// Starts one scan worker on its own detached thread once a slot is free. The
// slot is released exactly once, before the result can be taken, whether the
// work returns or throws (the exception then comes out of the future). The
// future is a deferred one: get() and wait() wait for the worker, wait_for()
// says only that it is deferred.
template <typename Work>
auto gf_startWorker(Work work) -> std::future<std::invoke_result_t<Work&>> {
  using Result = std::invoke_result_t<Work&>;
  using Outcome = WorkerOutcome<Result>;
  auto outcome = std::make_shared<Outcome>();
  auto future = std::async(std::launch::deferred, [outcome] { return outcome->take(); });
  gf_waitForWorker();
  gRunningWorkers.fetch_add(1);
  try {
    // Shared, so that the thread's body can be copied whatever the work holds.
    gf_startDetachedThread([outcome, work = std::make_shared<Work>(std::move(work))] {
      std::optional<typename Outcome::Stored> result;
      std::exception_ptr error;
      try {
        if constexpr (std::is_void_v<Result>) {
          (*work)();
          result.emplace();
        } else {
          result.emplace((*work)());
        }
      } catch (...) {
        error = std::current_exception();
      }
      gf_releaseWorker();
      outcome->finish(std::move(result), std::move(error));
    });
  } catch (...) {
    // No thread came up, so nobody else will give the slot back.
    gf_releaseWorker();
    throw;
  }
  return future;
}
