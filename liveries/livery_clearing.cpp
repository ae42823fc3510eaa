// The clearing on its own, so that the start-up can serve it without linking
// the processing and the matching behind it.
#include "liveries/livery_processing.h"
#include "liveries/livery_tables.h"

std::atomic<bool> gLiveriesProcessed{false};

namespace {

std::atomic<bool> gClearingRequested{false};

}  // namespace

void gf_requestLiveryClearing() { gClearingRequested = true; }

void gf_serveLiveryClearing() {
  if (!gClearingRequested.exchange(false)) return;
  gf_clearLiveryCodeLists();
  gLiveriesProcessed = false;
}
