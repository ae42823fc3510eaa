#include "traffic/update_queue.h"

#include <utility>

#include "core/format.h"
#include "core/log_throttle.h"

std::mutex gUpdateMutex;
std::deque<TrafficRecord> gUpdateQueue;
bool gAcceptUpdates = false;
std::atomic<std::int32_t> gTick{0};
std::atomic<std::uint64_t> gDroppedUpdates{0};

void gf_setAcceptUpdates(bool accept) {
  std::lock_guard lock(gUpdateMutex);
  gAcceptUpdates = accept;
}

bool gf_queueUpdate(TrafficRecord&& record) {
  bool dropped = false;
  {
    std::lock_guard lock(gUpdateMutex);
    if (!gAcceptUpdates) return false;
    record.point.dueTick = static_cast<std::uint32_t>(gTick.load()) + kUpdateDueTicks;
    if (gUpdateQueue.size() >= kMaxQueuedUpdates) {
      gUpdateQueue.pop_front();
      dropped = true;
    }
    gUpdateQueue.push_back(std::move(record));
  }
  if (dropped) {
    static LogThrottle throttle(1);
    const std::uint64_t total = ++gDroppedUpdates;
    throttle.logLine(sk::format("update queue full: {} oldest records dropped so far", total));
  }
  return true;
}
