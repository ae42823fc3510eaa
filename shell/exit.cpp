#include "shell/exit.h"

#include <array>
#include <chrono>
#include <mutex>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "airports/static_parking.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "liveries/livery_matching.h"
#include "platform/process.h"
#include "platform/window.h"
#include "shell/app_state.h"
#include "shell/auto_range.h"
#include "shell/entry.h"
#include "shell/main_loop.h"
#include "shell/main_window.h"
#include "shell/message_line.h"
#include "shell/rt_link.h"
#include "shell/run_clock.h"
#include "shell/startup.h"
#include "shell/startup_thread.h"
#include "traffic/engine.h"
#include "traffic/readers.h"
#include "traffic/sim_connection.h"
#include "traffic/user_aircraft.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kReaderStopPause = 500ms;
constexpr auto kStartUpEndBound = 5000ms;
constexpr auto kRemovalSentBound = 2000ms;
constexpr auto kSystemErrorPause = 5s;

constexpr std::array<std::pair<ExitReason, const char*>, 6> kReasonNames{{
    {ExitReason::NOT_YET_SET, "NOT_YET_SET"},
    {ExitReason::SIM_WAS_CLOSED, "SIM WAS CLOSED"},
    {ExitReason::RESTART, "RESTART"},
    {ExitReason::RESTART_IPP, "RESTART_IPP"},
    {ExitReason::USER_CLOSED_SIM, "USER CLOSED SIM"},
    {ExitReason::SYSTEM_ERROR, "SYSTEM ERROR"},
}};

std::mutex gPostMutex;
ExitPost gPost;

void lf_post(UINT message, WPARAM status = 0) {
  ExitPost post;
  {
    std::lock_guard lock(gPostMutex);
    post = gPost;
  }
  if (post) {
    post(message, status);
  } else if (HWND window = gAppState.mainWindow.load()) {
    PostMessageW(window, message, status, 0);
  }
}

bool lf_isRestart(ExitReason reason) { return reason == ExitReason::RESTART || reason == ExitReason::RESTART_IPP; }

// What only the run it was typed for may use; emptied whenever the program ends.
void lf_clearRunSettings() {
  DESTINATION.setAndSave("");
  BLOCK_CALLSIGN.setAndSave("");
}

void lf_setAndSave(CheckboxParameter& box, bool value) {
  box.value = value;
  box.save();
  if (auto show = gf_parameterControlHooks().showCheck) show(box);
}

// The run-time state back to that of a fresh start; nothing of the old run
// runs any more when this is called.
void lf_resetRun(ExitReason reason) {
  gf_clearError();
  gf_clearMessage();
  gf_resetRealTrafficReaders();
  if (reason != ExitReason::RESTART_IPP) {
    lf_setAndSave(SCAN_LIVERIES, false);
    lf_setAndSave(SCAN_AIRPORTS, false);
  }
  gDlgParent.store(nullptr);
  gSecondTick.store(false);
  gReaderError.store(false);
  gStopRequested.store(false);
  gFlightNotRunning.store(false);
  gUserAc = UserAc{};
  gRtProfessional.store(false);
  gRenewParkingRequest.store(false);
  gSeconds.store(0);
  gRenewParkingPhase.store(false);
  gCallsignBlockRequest.store(false);
  gStartupPhase.store(true);
  gObjectIdLookupRequest.store(false);
  gAppState.reservedStand.clear();

  gf_setLateralRange(LATERAL_RANGE.value);

  gUserStateKnown.store(false);
  gFlightRunning.store(false);
  gf_resetSimConnection();
  gf_resetUserAircraft();
  gf_resetTraffic();
  gf_resetParkControl();
  gAppState.resetForRestart();
  gf_invalidateMain(kStatusRect);
  gExitReason.store(ExitReason::NOT_YET_SET);
  // Any start-up thread still around from the old run stops itself.
  gRunGeneration.fetch_add(1);
  // From here a new exit (the close button during the countdown) may begin.
  gExitStarted.store(false);
}

}  // namespace

const std::string& gf_exitReasonName(ExitReason reason) {
  static const std::unordered_map<ExitReason, std::string> names = [] {
    std::unordered_map<ExitReason, std::string> map;
    for (const auto& [value, name] : kReasonNames) map.emplace(value, name);
    return map;
  }();
  return names.at(reason);
}

int gf_exitStatus(ExitReason reason) {
  switch (reason) {
    case ExitReason::SYSTEM_ERROR:
      return kFailureStatus;
    case ExitReason::SIM_WAS_CLOSED:
      return kSimClosedStatus;
    default:
      return 0;
  }
}

void gf_setExitPost(ExitPost post) {
  std::lock_guard lock(gPostMutex);
  gPost = std::move(post);
}

void gf_exit(ExitReason reason, int delaySeconds) {
  if (gExitStarted.exchange(true)) return;
  gExitReason.store(reason);
  gf_startDetachedThread([delaySeconds] {
    gf_setThreadName("sklm-exit");
    FinalExit(delaySeconds);
  });
}

void FinalExit(int delaySeconds) {
  bool runReset = false;
  try {
    const ExitReason reason = gExitReason.load();
    const bool restart = lf_isRestart(reason);
    RunClock& clock = gf_runClock();
    gf_logLine(sk::format("Exiting: {}", gf_exitReasonName(reason)));
    if (reason == ExitReason::RESTART) gf_showMessage("Prepare for a restart ...", true);
    gf_readerControl().stop();

    // The start-up thread owns the engine: it must have ended before anything
    // here walks or resets the engine's containers. The link's wake ends a
    // blocking accept or receive.
    gf_wakeRtLink();
    if (!gf_waitStartUpEnded(kStartUpEndBound)) gf_log("The start-up thread did not end within 5 s");
    clock.sleepFor(kReaderStopPause);

    gf_removeAllForExit();
    if (!gf_waitExitRemovalsSent(kRemovalSentBound)) gf_removeExitObjectsDirectly();
    lf_stopServer();
    if (reason == ExitReason::SYSTEM_ERROR) clock.sleepFor(kSystemErrorPause);
    if (reason == ExitReason::USER_CLOSED_SIM) {
      gf_logLine(sk::format("User closed {}", lf_programNameText()));
      gStopRequested.store(true);
    }
    gf_stopSimconnect();
    gf_clearLiveryMemory();
    gf_removeFlightPlanFolder();

    gRestart.store(restart);
    if (!restart) {
      lf_clearRunSettings();
      gf_logLiveryMatchingSummary();
      gf_logNoMatch();
    }
    if (!gAppState.parkAirportCode.empty()) gf_leaveParkAirport();
    if (!restart) {
      // gExitStarted stays set: a second close click or the simulator leaving
      // must not start a second shutdown racing the process end.
      gf_clearGhostCallsigns();
      lf_post(WM_APP_FINAL_EXIT, static_cast<WPARAM>(gf_exitStatus(reason)));
      return;
    }
    lf_resetRun(reason);
    runReset = true;
    lf_restartCountdown(delaySeconds);
    // An exit begun during the countdown has its own FinalExit, which ends or
    // restarts the run; this one must not start a run beside it.
    if (gExitStarted.load() || gStopRequested.load()) return;
    lf_post(WM_APP_STARTUP);
  } catch (...) {
    lf_onException("FinalExit");
    // Until the run is reset gExitStarted stays set, so no later exit would
    // end the process: an exit that failed half-way, a restart's too, ends it.
    if (runReset) return;
    const ExitReason reason = gExitReason.load();
    if (lf_isRestart(reason)) gf_logLine(sk::format("{} failed: the program ends", gf_exitReasonName(reason)));
    // The program ends: the next start must not find this run's destination
    // and blocked callsign, as after any other end.
    try {
      lf_clearRunSettings();
    } catch (...) {
      lf_onException("FinalExit");
    }
    lf_post(WM_APP_FINAL_EXIT, static_cast<WPARAM>(kFailureStatus));
  }
}

void lf_restartCountdown(int seconds) {
  if (seconds < 1) return;
  gf_logLine(sk::format("Restarting after {} seconds\n\n\n\n\n", seconds));
  RunClock& clock = gf_runClock();
  for (int k = seconds; k >= 1; --k) {
    if (gExitStarted.load() || gStopRequested.load()) return;
    gf_showMessage(sk::format("Restarting after {} second{}", k, k == 1 ? "" : "s"), false);
    clock.sleepFor(1s);
  }
}
