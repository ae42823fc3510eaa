#include "shell/startup_thread.h"

#include <condition_variable>
#include <exception>
#include <filesystem>
#include <limits>
#include <mutex>
#include <thread>

#include "airports/airport_list.h"
#include "airports/airport_scan.h"
#include "airports/park_airports.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/random.h"
#include "core/util.h"
#include "liveries/livery_matching.h"
#include "liveries/livery_processing.h"
#include "liveries/livery_scan.h"
#include "platform/process.h"
#include "platform/window.h"
#include "shell/app_state.h"
#include "shell/auto_range.h"
#include "shell/controls.h"
#include "shell/commands.h"
#include "shell/install_detection.h"
#include "shell/main_loop.h"
#include "shell/main_window.h"
#include "shell/rt_link.h"
#include "shell/run_clock.h"
#include "shell/run_state.h"
#include "shell/startup.h"
#include "traffic/engine.h"
#include "traffic/readers.h"
#include "traffic/sim_connection.h"
#include "traffic/update_queue.h"
#include "traffic/user_aircraft.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kFlightPoll = 100ms;
constexpr auto kPositionPoll = 500ms;
constexpr auto kNullPositionPoll = 200ms;
constexpr auto kReaderGap = 2s;
constexpr auto kTrafficPoll = 100ms;
constexpr int kTrafficPolls = 150;

constexpr std::uint32_t kUnbound = std::numeric_limits<std::uint32_t>::max();
// The run a start-up thread belongs to; other threads are bound to none.
thread_local std::uint32_t tRunGeneration = kUnbound;

std::mutex gStartUpMutex;
std::condition_variable gStartUpEnded;
int gStartUpThreads = 0;

void lf_startReaderThread(bool traffic, std::uint16_t port) {
  gf_startDetachedThread([traffic, port] {
    gf_setThreadName(traffic ? "sklm-traffic" : "sklm-qnh");
    if (traffic) {
      lf_trafficReaderThread(port);
    } else {
      lf_qnhReaderThread(port);
    }
  });
}

std::mutex gReaderControlMutex;
ReaderControl gReaders = gf_defaultReaderControl();

// Sleeps in slices of at most a poll, so that the run's end cuts the wait short.
void lf_pause(RunClock::Duration duration) {
  RunClock& clock = gf_runClock();
  const auto deadline = clock.now() + duration;
  while (!gf_runEnding()) {
    const auto now = clock.now();
    if (now >= deadline) return;
    clock.sleepUntil(std::min(deadline, now + RunClock::Duration(kFlightPoll)));
  }
}

bool lf_inNullWindow(const UserAc& user) { return !gf_isRealPosition({user.latitude, user.longitude}); }

void lf_requestPosition() { gUserAc = gf_requestUserAcPosition(); }

void lf_showCheck(const CheckboxParameter& box) {
  if (auto show = gf_parameterControlHooks().showCheck) show(box);
}

}  // namespace

ReaderControl gf_defaultReaderControl() {
  return {lf_startReaderThread, gf_checkReaders, gf_stopRealTrafficReaders};
}

void gf_setReaderControl(const ReaderControl& control) {
  std::lock_guard lock(gReaderControlMutex);
  gReaders = control;
}

const ReaderControl& gf_readerControl() {
  std::lock_guard lock(gReaderControlMutex);
  return gReaders;
}

std::string lf_programNameText() { return "Skylume"; }

bool gf_runEnding() {
  if (gExitStarted.load() || gStopRequested.load()) return true;
  return tRunGeneration != kUnbound && tRunGeneration != gRunGeneration.load();
}

void gf_startUpThreadBody() {
  gf_setThreadName("sklm-startup");
  {
    std::lock_guard lock(gStartUpMutex);
    ++gStartUpThreads;
  }
  tRunGeneration = gRunGeneration.load();
  try {
    lf_startUpSKLM();
  } catch (...) {
    lf_onException("lf_startUpSKLM");
  }
  tRunGeneration = kUnbound;
  std::lock_guard lock(gStartUpMutex);
  --gStartUpThreads;
  gStartUpEnded.notify_all();
}

bool gf_waitStartUpEnded(std::chrono::milliseconds bound) {
  std::unique_lock lock(gStartUpMutex);
  return gStartUpEnded.wait_for(lock, bound, [] { return gStartUpThreads == 0; });
}

void lf_startUpSKLM() {
  const std::string name = lf_programNameText();
  if (!std::filesystem::is_directory(DocsFolder)) {
    throw qlx::UserErrorException(41, sk::format("{} must be run from the {} folder!", name, name));
  }
  // No traffic runs and no view into the livery tables is left: a clearing the
  // window asked for is served here, and this start-up's processing rebuilds.
  gf_serveLiveryClearing();
  lf_detectInstallPaths();
  if (gf_runEnding()) return;
  gf_setWorkerLimit(std::thread::hardware_concurrency());
  gRunningWorkers.store(0);

  if (!std::filesystem::exists(LiveriesScannedPath) && !SCAN_LIVERIES.value) {
    gf_showMessage(sk::format("File {} is gone, rescan liveries", gf_pathToUtf8(LiveriesScannedPath)), true);
    SCAN_LIVERIES.value = true;
    SCAN_LIVERIES.save();
    lf_showCheck(SCAN_LIVERIES);
    gf_invalidateMain(kStatusRect);
  }
  gf_serveAirportScanReset();
  gf_scanLiveries();
  if (gf_runEnding()) return;

  if (SCAN_AIRPORTS.value) {
    gAppState.linkpackCount.store(0);
    gAppState.thirdpCount.store(0);
    gf_invalidateMain(kStatusRect);
    gf_scanAirports();
  }
  gAppState.linkpackCount.store(gf_countFiles(MyLinkpackFolder));
  gAppState.thirdpCount.store(gf_countFiles(MyThirdpartyFolder));
  gf_invalidateMain(kStatusRect);
  if (gf_runEnding()) {
    gf_exit(ExitReason::USER_CLOSED_SIM, 1);
    return;
  }

  gf_createFlightPlanFolder();
  lf_readMyParkAirports();
  gf_enableControl(gReReadButton, true);
  const std::string destination = DESTINATION.value();
  if (!destination.empty()) {
    if (gf_findAirport(destination)) {
      lf_applyDestination(destination);
      gf_serveParkAirportSelection();
    }
  }
  if (HWND window = gAppState.mainWindow.load()) {
    SetWindowPos(window, ALWAYS_ON_TOP.value ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
  }
  if (AUTO_RANGE.value) gf_enableControl(LATERAL_RANGE, false);
  lf_runTraffic();
}

bool lf_requestUserOnGround() {
  RunClock& clock = gf_runClock();
  while (!gFlightRunning.load()) {
    if (gf_runEnding()) return false;
    clock.sleepFor(kFlightPoll);
  }
  if (gf_runEnding()) return false;
  gf_requestUserOnGround();
  while (!gUserStateKnown.load() || lf_inNullWindow(gUserAc)) {
    if (gf_runEnding()) return false;
    lf_requestPosition();
    clock.sleepFor(kPositionPoll);
  }
  gf_requestUserAcTitle();
  while (lf_inNullWindow(gUserAc) && !gf_runEnding()) {
    lf_requestPosition();
    clock.sleepFor(kNullPositionPoll);
  }
  return !gf_runEnding();
}

void lf_runTraffic() {
  try {
    gAppState.rtShown.store(false);
    gAppState.simConnected.store(false);
    gf_invalidateMain(kStatusRect);

    gf_initTraffic();
    gf_initLiveryMatching();
    gf_reserveSimQueues();
    gf_startSimconnect();
    if (!lf_requestUserOnGround()) return;
    // The first traffic is judged with the range the user will have: aircraft
    // accepted with a wider one would be created only to run dry and vanish.
    if (AUTO_RANGE.value) gf_autoRange();

    const bool linked = gRtLocal && !AEROWINX.value;
    if (linked) {
      lf_startServer(PORT_NUMBER.value());
    } else {
      gAppState.rtShown.store(true);
      gf_invalidateMain(kStatusRect);
    }
    if (gf_runEnding()) return;
    gAppState.rtLightDark.store(false);
    gf_invalidateMain(kStatusRect);
    if (linked) {
      lf_connectRealTraffic();
      if (gRtProfessional.load()) lf_sendQs123(gSimTime.load());
    } else if (AEROWINX.value) {
      gRtProfessional.store(false);
    }
    if (gf_runEnding()) return;

    gf_setAcceptUpdates(false);
    const ReaderControl readers = gf_readerControl();
    readers.start(false, QNH_PORT);
    lf_pause(kReaderGap);
    if (gf_runEnding()) return;
    readers.start(true, TRAFFIC_PORT);
    gf_sendQs121();
    gTrafficReader.setUserPosition({gUserAc.latitude, gUserAc.longitude});
    if (gReaderError.load()) {
      gf_showError("Reader error");
      gf_exit(ExitReason::SYSTEM_ERROR, 0);
    }

    RunClock& clock = gf_runClock();
    int polls = 0;
    while (gTrafficReader.lastTimestamp() == 0.0 && polls < kTrafficPolls) {
      if (gf_runEnding()) return;
      clock.sleepFor(kTrafficPoll);
      ++polls;
    }
    if (gTrafficReader.lastTimestamp() == 0.0) gf_logLine("No traffic in this region?");
    gNow.store(gf_currentSlot());
    mainLoop();
  } catch (const std::exception& e) {
    gf_showMessage(e.what(), true);
    if (gRtClientConnected.load()) {
      lf_stopServer();
      gAppState.rtShown.store(false);
      gf_invalidateMain(kStatusRect);
    }
    gf_exit(ExitReason::SYSTEM_ERROR, 0);
  }
}
