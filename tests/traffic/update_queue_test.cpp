#include "traffic/update_queue.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

TEST(UpdateQueue, AFullQueueDropsItsOldestRecordsAndCountsThem) {
  testing_traffic::LogCapture log;
  {
    std::lock_guard lock(gUpdateMutex);
    gUpdateQueue.clear();
  }
  gf_setAcceptUpdates(true);
  const std::uint64_t droppedBefore = gDroppedUpdates.load();
  constexpr std::uint32_t kExtra = 25;
  for (std::uint32_t i = 0; i < kMaxQueuedUpdates + kExtra; ++i) {
    TrafficRecord record;
    record.hexid = i;
    ASSERT_TRUE(gf_queueUpdate(std::move(record)));
  }
  const auto records = testing_traffic::takeQueued();
  ASSERT_EQ(records.size(), kMaxQueuedUpdates);
  EXPECT_EQ(records.front().hexid, kExtra);
  EXPECT_EQ(records.back().hexid, kMaxQueuedUpdates + kExtra - 1);
  EXPECT_EQ(gDroppedUpdates.load() - droppedBefore, kExtra);
  EXPECT_TRUE(log.contains(sk::format("update queue full: {} oldest records dropped so far", droppedBefore + 1)));
  gf_setAcceptUpdates(false);
}

}  // namespace
