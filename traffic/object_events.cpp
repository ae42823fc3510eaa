#include "traffic/object_events.h"

std::mutex gObjectAddedMutex;
std::vector<ObjectEvent> gObjectAddedQueue;

void gf_pushObjectEvent(const ObjectEvent& event) {
  std::lock_guard lock(gObjectAddedMutex);
  gObjectAddedQueue.push_back(event);
}
