#include "shell/main_loop.h"

#include <chrono>
#include <limits>
#include <string>

#include "airports/static_parking.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "core/util.h"
#include "liveries/livery_matching.h"
#include "platform/system.h"
#include "platform/window.h"
#include "shell/app_state.h"
#include "shell/auto_range.h"
#include "shell/commands.h"
#include "shell/controls.h"
#include "shell/main_window.h"
#include "shell/message_line.h"
#include "shell/rt_link.h"
#include "shell/run_clock.h"
#include "shell/run_state.h"
#include "shell/startup.h"
#include "shell/startup_thread.h"
#include "shell/status_area.h"
#include "traffic/engine.h"
#include "traffic/engine_stats.h"
#include "traffic/readers.h"
#include "traffic/static_parked.h"
#include "traffic/update_queue.h"
#include "traffic/user_aircraft.h"

std::atomic<std::int32_t> gSeconds{0};
std::atomic<DaySlot> gNow{0};
std::atomic<bool> gFlightNotRunning{false};
std::atomic<bool> gRenewParkingRequest{false};
std::atomic<bool> gFlushStaticRequest{false};
std::atomic<bool> gCallsignBlockRequest{false};
std::atomic<bool> gObjectIdLookupRequest{false};
std::atomic<bool> gReReadRequest{false};
std::atomic<bool> gMatchingDepthRaised{false};
std::atomic<bool> gRenewParkingPhase{false};

namespace {

using namespace std::chrono_literals;

constexpr auto kTickPeriod = 10ms;
constexpr int kNotRunningCountdown = 100;
constexpr std::int32_t kSecondsPerDay = 86400;

// Ticks left to the next once-a-second step while no flight runs; loop thread only.
int gNotRunningCountdown = kNotRunningCountdown;
// A park airport chosen at the start gives the parser its elevation only once its
// file is loaded, a check later: traffic taken before that is judged without it,
// and airliners far above the airport were created only to be dropped seconds
// later. Until then the reader only collects callsigns. Loop thread only.
bool gHoldUpdatesForParkAirport = false;

void lf_acceptUpdates() { gf_setAcceptUpdates(!gHoldUpdatesForParkAirport); }

// The position the loop holds is copied once a second from the answer to the
// request of the second before: up to two seconds older than the on-ground
// state a beat brings. A control step just after that state changed would pair
// the new state with the old place (on the ground, at the airport the user just
// flew out of sight of, while already standing at another), and the park
// airport it chose then would stay. So a control step falling within two beats
// of a change waits for the second beat. Loop thread only.
struct GroundChange {
  bool onGround = false;
  std::int32_t seenAt = std::numeric_limits<std::int32_t>::min() / 2;  // beat; long ago
  bool stepWaits = false;
};
GroundChange gGroundChange;
constexpr std::int32_t kPositionCatchUpBeats = 2;

// At every beat n.
void lf_noteGroundChange(std::int32_t n) {
  const bool onGround = gUserOnGround.load();
  if (onGround != gGroundChange.onGround) gGroundChange = {onGround, n, gGroundChange.stepWaits};
}

// Whether a control step due now, or waiting, runs at beat n.
bool lf_controlStepRuns(std::int32_t n, bool due) {
  if (!due && !gGroundChange.stepWaits) return false;
  gGroundChange.stepWaits = n - gGroundChange.seenAt < kPositionCatchUpBeats;
  return !gGroundChange.stepWaits;
}

bool lf_every(std::int32_t n, std::int32_t period) { return n % period == 0; }

void lf_updateCounts() {
  lf_updateAircraftCounts({gf_countLivePresent(), gf_countLiveParkedAtSlot(true), gf_countStaticAtSlot(true)});
}

void lf_userPositionToReader() { gTrafficReader.setUserPosition({gUserAc.latitude, gUserAc.longitude}); }

void lf_renewParking() {
  if (!gRenewParkingPhase.load()) {
    gRenewParkingPhase.store(true);
    gf_blockParkingUi();
    gTrafficReader.clearSeenCallsigns();
    gTrafficReader.setCollectCallsigns(true);
    return;
  }
  gRenewParkingPhase.store(false);
  gf_clearError();
  gf_clearMessage();
  if (!gAppState.parkAirportCode.empty() && gf_hasParkStands()) gf_parkingAdjustments();
  gRenewParkingRequest.exchange(false);
}

}  // namespace

void mainLoop() {
  try {
    gf_checkParkAirport(true);
    gHoldUpdatesForParkAirport = gf_parkAirportLoadPending();
    gf_readerControl().check();
    gSeconds.store(0);
    gGroundChange = {gUserOnGround.load()};
    RunClock& clock = gf_runClock();
    auto deadline = clock.now() + kTickPeriod;
    gNow.store(gf_currentSlot());
    lf_acceptUpdates();
    gf_enableControl(CALLSIGN_2_OBJECTID, true);
    if (const auto stats = gf_environmentVariable("SKLM_ENGINE_STATS"); stats && !stats->empty()) {
      gf_startEngineStats(gf_pathFromUtf8(*stats));
    }
    const TimerResolutionGuard timerResolution(1);
    for (;;) {
      const auto start = std::chrono::steady_clock::now();
      if (!lf_tick()) break;
      gf_noteTickTime(std::chrono::steady_clock::now() - start);
      const auto now = clock.now();
      if (std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) >= 1ms) {
        clock.sleepUntil(deadline);
      }
      if (gSecondTick.load()) deadline = clock.now();
      deadline += kTickPeriod;
    }
  } catch (...) {
    lf_onException("mainLoop");
  }
}

bool lf_tick() {
  // Tested at every tick, flight or not: a beat never comes while the
  // simulator loads a flight, the very moment of a restart.
  if (gf_runEnding()) return false;
  if (!gFlightRunning.load()) {
    lf_flightNotRunning();
    return true;
  }
  gf_trafficTick();
  bool beat = true;
  if (!gSecondTick.compare_exchange_strong(beat, false)) return true;

  lf_secondTick();
  if (gf_runEnding()) return false;
  const std::int32_t n = gSeconds.load();
  lf_noteGroundChange(n);
  if (!lf_every(n, 15)) {
    if (lf_controlStepRuns(n, lf_every(n, 16)) && !gRenewParkingPhase.load()) {
      gf_checkParkAirport(false);
      if (gHoldUpdatesForParkAirport && !gf_parkAirportLoadPending()) {
        gHoldUpdatesForParkAirport = false;
        lf_acceptUpdates();
      }
    }
    if (lf_every(n, 59)) gf_readerControl().check();
    if (lf_every(n, 61) && !gStaticActs.empty()) {
      for (const Act& aircraft : gActs) gf_removeStaticTwin(aircraft);
    }
    if (CALLSIGN_OBJECTIDS.value && MSFS_2020.value && lf_every(n, 62)) gf_listParked();
    return true;
  }
  lf_userPositionToReader();
  if (gRtProfessional.load()) lf_sendQs123(gSimTime.load());
  if (!gAppState.reservedStand.empty()) gf_freeReservedStand();
  lf_checkPendingParking();
  if (gRenewParkingRequest.load()) lf_renewParking();
  if (gTrafficReaderStatus.load() == READER_SILENT || gQnhReaderStatus.load() == READER_SILENT) {
    gf_readerControl().check();
  }
  if (lf_every(gSeconds.load(), 30)) lf_checkRtError();
  return true;
}

void lf_secondTick() {
  if (gFlightNotRunning.exchange(false)) {
    gf_logLine(sk::format("{} Flight resumed", gf_utcNowString()));
    lf_acceptUpdates();
  }
  gf_messageSecondTick();
  gf_writeEngineStats();
  lf_updateCounts();
  gNow.store(gf_currentSlot());
  gSeconds.fetch_add(1);

  gf_serveArrivedAircraft(gNow.load());
  if (gObjectIdLookupRequest.load()) {
    gf_findCallsign();
    gObjectIdLookupRequest.exchange(false);
  }
  if (gFlushStaticRequest.load()) {
    gf_removeStaticParked();
    gFlushStaticRequest.exchange(false);
    if (!INITIAL_LOAD_ONLY.value) {
      INITIAL_LOAD_ONLY.value = true;
      if (auto show = gf_parameterControlHooks().showCheck) show(INITIAL_LOAD_ONLY);
    }
  }
  gf_collisionPasses(gUserOnGround.load());
  if (gCallsignBlockRequest.load()) {
    const std::string callsign = BLOCK_CALLSIGN.value();
    if (!callsign.empty()) gf_removeBlockedCallsign(callsign);
    gCallsignBlockRequest.exchange(false);
  }
  gf_serveCommandRequests();
}

void lf_flightNotRunning() {
  if (!gFlightNotRunning.load()) {
    gf_setAcceptUpdates(false);
    gFlightNotRunning.store(true);
    gNotRunningCountdown = kNotRunningCountdown;
    gf_clearPositionSets();
    gf_logLine(sk::format("{} Flight not running", gf_utcNowString()));
  }
  gf_processCreatedObjects();
  --gNotRunningCountdown;
  if (gNotRunningCountdown % kNotRunningCountdown == 0) {
    lf_checkPendingParking();
    gf_sendQs121();
  }
  if (gNotRunningCountdown < 1) {
    gNotRunningCountdown = kNotRunningCountdown;
    lf_updateCounts();
    gNow.store(gf_currentSlot());
  }
}

void lf_checkPendingParking() {
  if (!gReReadRequest.load() || gAppState.staticParkingBusy.load()) return;
  std::string message;
  if (gf_reloadParkAirports(true, message)) gf_showMessage(message, true);
  gf_enableControl(gReReadButton, true);
  gf_enableControl(DESTINATION, true);
  gReReadRequest.exchange(false);
}

void lf_checkRtError() {
  if (gMatchingDepthRaised.load()) {
    gf_clearNoMatchList();
    gMatchingDepthRaised.exchange(false);
  }
  if (AUTO_RANGE.value) gf_autoRange();
  if (gReaderError.load()) {
    gf_showError("1001: RT error");
    gf_exit(ExitReason::SYSTEM_ERROR, 0);
  }
  const std::int32_t n = gSeconds.load();
  if (!lf_every(n, 60)) return;
  gAppState.minutesToRenewal.store(20 - (n / 60) % 20);
  gf_invalidateMain(kStatusRect);
  if (!lf_every(n, 1200)) return;
  gf_logNoMatch();
  if (gAppState.parkAirportActive.load() && !INITIAL_LOAD_ONLY.value && !gRenewParkingRequest.load()) {
    gRenewParkingRequest.store(true);
  }
  if (!lf_every(n, kSecondsPerDay)) return;
  gSeconds.store(0);
  gf_logLiveryMatchingSummary();
  gf_clearLiveryMemory();
}
