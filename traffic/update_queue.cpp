#include "traffic/update_queue.h"

#include <utility>

std::mutex gUpdateMutex;
std::deque<TrafficRecord> gUpdateQueue;
bool gAcceptUpdates = false;
std::atomic<std::int32_t> gTick{0};

namespace {
// A record is due 30 s (3000 ticks) after it was queued.
constexpr std::uint32_t kDueTicks = 3000;
}  // namespace

void gf_setAcceptUpdates(bool accept) {
  std::lock_guard lock(gUpdateMutex);
  gAcceptUpdates = accept;
}

bool gf_queueUpdate(TrafficRecord&& record) {
  std::lock_guard lock(gUpdateMutex);
  if (!gAcceptUpdates) return false;
  record.point.dueTick = static_cast<std::uint32_t>(gTick.load()) + kDueTicks;
  gUpdateQueue.push_back(std::move(record));
  return true;
}
