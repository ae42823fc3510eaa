#include "core/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "core/parameters.h"

namespace {

class RandomSetting : public ::testing::Test {
 protected:
  void SetUp() override { m_saved = RANDOM.value; }
  void TearDown() override { RANDOM.value = m_saved; }

 private:
  bool m_saved = true;
};

TEST_F(RandomSetting, NoDrawForFewerThanTwoCandidatesOrWithRandomOff) {
  for (bool on : {true, false}) {
    RANDOM.value = on;
    const std::mt19937 before = gf_randomEngine();
    EXPECT_EQ(gf_randomIndex(0), 0u);
    EXPECT_EQ(gf_randomIndex(1), 0u);
    EXPECT_EQ(gf_randomIndex(-3), 0u);
    EXPECT_EQ(gf_randomEngine(), before);
  }
  RANDOM.value = false;
  const std::mt19937 before = gf_randomEngine();
  std::vector<std::string> list{"c", "a", "b"};
  gf_shuffle(list);
  EXPECT_EQ(list, (std::vector<std::string>{"c", "a", "b"}));
  EXPECT_EQ(gf_randomIndex(10), 0u);
  EXPECT_EQ(gf_randomEngine(), before);
}

TEST_F(RandomSetting, IndexIsOneDrawModuloN) {
  RANDOM.value = true;
  for (std::int64_t n : {2, 3, 7, 1000}) {
    std::mt19937 copy = gf_randomEngine();
    EXPECT_EQ(gf_randomIndex(n), copy() % static_cast<std::uint64_t>(n));
    EXPECT_EQ(gf_randomEngine(), copy);
  }
}

TEST_F(RandomSetting, ShuffleKeepsTheElements) {
  RANDOM.value = true;
  std::vector<std::string> list;
  for (int i = 0; i < 50; ++i) list.push_back(std::to_string(i));
  auto shuffled = list;
  gf_shuffle(shuffled);
  EXPECT_NE(shuffled, list);  // 1 in 50! to fail
  std::sort(shuffled.begin(), shuffled.end());
  std::sort(list.begin(), list.end());
  EXPECT_EQ(shuffled, list);
}

TEST(RandomPercent, SignFollowsTheLowBitAndAlwaysDraws) {
  for (int i = 0; i < 20; ++i) {
    std::mt19937 copy = gf_randomEngine();
    const bool plus = (copy() & 1u) == 0;
    const double result = gf_randomPercent(100, 10);
    EXPECT_DOUBLE_EQ(result, plus ? 110.0 : 90.0);
  }
  for (double percent : {0.0, -5.0}) {
    std::mt19937 copy = gf_randomEngine();
    copy.discard(1);
    EXPECT_DOUBLE_EQ(gf_randomPercent(100, percent), 100.0);
    EXPECT_EQ(gf_randomEngine(), copy);
  }
}

class WorkerLimit : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(gRunningWorkers.load(), 0); }
  void TearDown() override { gf_setWorkerLimit(1); }
};

TEST_F(WorkerLimit, ProcessorCountZeroMeansOne) {
  gf_setWorkerLimit(0);
  EXPECT_EQ(gMaxWorkers.load(), 1);
  gf_setWorkerLimit(6);
  EXPECT_EQ(gMaxWorkers.load(), 6);
}

TEST_F(WorkerLimit, NeverMoreThanTheLimitRunAndThrowingWorkersRelease) {
  gf_setWorkerLimit(3);
  std::atomic<int> running{0};
  std::atomic<int> mostRunning{0};
  std::atomic<int> mostCounted{0};
  std::vector<std::future<int>> results;
  for (int i = 0; i < 200; ++i) {
    results.push_back(gf_startWorker([&, i] {
      const int now = ++running;
      int seen = mostRunning.load();
      while (now > seen && !mostRunning.compare_exchange_weak(seen, now)) {}
      const int counted = gRunningWorkers.load();
      seen = mostCounted.load();
      while (counted > seen && !mostCounted.compare_exchange_weak(seen, counted)) {}
      for (int k = 0; k < 50; ++k) std::this_thread::yield();
      --running;
      if (i % 10 == 0) throw std::runtime_error("bad file " + std::to_string(i));
      return i;
    }));
  }
  int thrown = 0;
  for (int i = 0; i < 200; ++i) {
    if (i % 10 == 0) {
      EXPECT_THROW(results[i].get(), std::runtime_error);
      ++thrown;
    } else {
      EXPECT_EQ(results[i].get(), i);
    }
  }
  EXPECT_EQ(thrown, 20);
  EXPECT_LE(mostRunning.load(), 3);
  EXPECT_LE(mostCounted.load(), 3);
  // Every slot came back before its result was ready.
  EXPECT_EQ(gRunningWorkers.load(), 0);
}

// Workers that end as fast as they are made, started from several threads at
// once: every one runs and hands back its result.
TEST_F(WorkerLimit, ManyShortWorkersFromSeveralThreadsAllRun) {
  gf_setWorkerLimit(64);
  std::atomic<int> ran{0};
  std::vector<std::thread> starters;
  for (int s = 0; s < 4; ++s) {
    starters.emplace_back([&ran] {
      std::vector<std::future<int>> results;
      for (int i = 0; i < 1000; ++i) {
        results.push_back(gf_startWorker([&ran, i] {
          ++ran;
          return i;
        }));
      }
      for (int i = 0; i < 1000; ++i) EXPECT_EQ(results[i].get(), i);
    });
  }
  for (std::thread& starter : starters) starter.join();
  EXPECT_EQ(ran.load(), 4000);
  EXPECT_EQ(gRunningWorkers.load(), 0);
}

TEST_F(WorkerLimit, NewLimitLeavesRunningWorkersCounted) {
  gf_setWorkerLimit(1);
  std::promise<void> release;
  std::shared_future<void> go = release.get_future().share();
  auto blocked = gf_startWorker([go] { go.wait(); });
  // A new start-up while the old scan's worker still runs: its slot stays taken.
  gf_setWorkerLimit(1);
  EXPECT_EQ(gRunningWorkers.load(), 1);

  std::atomic<bool> secondStarted{false};
  std::future<void> second;
  std::thread starter([&] { second = gf_startWorker([&] { secondStarted = true; }); });
  EXPECT_FALSE(secondStarted.load());
  release.set_value();
  blocked.get();
  starter.join();
  second.get();
  EXPECT_TRUE(secondStarted.load());
  EXPECT_EQ(gRunningWorkers.load(), 0);
}

// The worker may still be winding down (its work not yet destroyed) when the
// caller has taken the exception and dropped the future. The exception must
// then be freed by the caller: its reference count is out of a thread
// checker's sight, so a free by the worker reads as racing the caller's what().
TEST_F(WorkerLimit, AThrowingWorkerStillWindingDownLeavesItsExceptionToTheCaller) {
  gf_setWorkerLimit(2);
  // Relaxed on purpose: the hold must add no ordering of its own.
  static std::atomic<bool> taken;
  taken.store(false);
  struct HoldUntilTaken {
    bool holds = true;
    HoldUntilTaken() = default;
    HoldUntilTaken(HoldUntilTaken&& other) noexcept { other.holds = false; }
    ~HoldUntilTaken() {
      while (holds && !taken.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
  };
  {
    auto future = gf_startWorker([hold = HoldUntilTaken()]() -> int { throw std::runtime_error("bad file"); });
    try {
      future.get();
      ADD_FAILURE() << "the worker's exception did not come out";
    } catch (const std::runtime_error& failure) {
      EXPECT_STREQ(failure.what(), "bad file");
    }
  }
  taken.store(true, std::memory_order_relaxed);
}

}  // namespace
