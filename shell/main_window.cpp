#include "shell/main_window.h"

#include <chrono>
#include <exception>
#include <mutex>
#include <pugixml.hpp>
#include <thread>

#include "core/clock.h"
#include "core/errors.h"
#include "core/file_read.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "core/parameters_xml.h"
#include "core/paths.h"
#include "platform/process.h"
#include "shell/app_state.h"
#include "shell/controls.h"
#include "shell/entry.h"
#include "shell/run_clock.h"
#include "shell/status_area.h"

namespace {

constexpr int kReadyWaits = 18;
constexpr auto kReadyPause = std::chrono::milliseconds(50);
// The system shows its list of programs holding up the log-off after 5 s.
constexpr auto kSessionEndBound = std::chrono::milliseconds(4500);
constexpr auto kSessionEndPoll = std::chrono::milliseconds(10);

std::mutex hooksMutex;
WindowHooks windowHooks;

WindowHooks lf_hooks() {
  std::lock_guard lock(hooksMutex);
  return windowHooks;
}

void lf_exit(int reason, int delaySeconds) {
  if (auto exit = lf_hooks().exit) {
    exit(reason, delaySeconds);
  } else if (HWND window = gAppState.mainWindow.load()) {
    PostMessageW(window, WM_APP_FINAL_EXIT, 0, 0);
  }
}

bool lf_atLimit(const IntParameter& parameter) {
  return parameter.value == parameter.minValue || parameter.value == parameter.maxValue;
}

// Only the position is read here; a coordinate stored at a limit is not a
// position the window had, so the default replaces it.
void lf_readWindowPosition() {
  pugi::xml_document document;
  if (!gf_loadXmlFile(document, gf_parametersFile())) return;
  for (IntParameter* coordinate : {&gAppState.MAIN_WINDOW_X, &gAppState.MAIN_WINDOW_Y}) {
    gf_readIntParameter(*coordinate, document, false);
    if (lf_atLimit(*coordinate)) {
      coordinate->value = coordinate->clamped(coordinate->defaultValue);
      coordinate->save();
    }
  }
}

// The values are settled before anything is written, so parameters.xml never
// holds the limit of a minimised window, not even for a moment.
void lf_saveWindowPosition(HWND hwnd) {
  RECT rect;
  if (!GetWindowRect(hwnd, &rect)) return;
  const int previousX = gAppState.MAIN_WINDOW_X.value;
  const int previousY = gAppState.MAIN_WINDOW_Y.value;
  gAppState.MAIN_WINDOW_X.value = gAppState.MAIN_WINDOW_X.clamped(rect.left);
  gAppState.MAIN_WINDOW_Y.value = gAppState.MAIN_WINDOW_Y.clamped(rect.top);
  lf_setWindowPosition(previousX, previousY);
  gAppState.MAIN_WINDOW_X.save();
  gAppState.MAIN_WINDOW_Y.save();
}

void lf_finalExit(HWND hwnd, int status, LPARAM kind) {
  if (kind != kFinalExitWithoutRun) lf_saveWindowPosition(hwnd);
  if (gf_logIsOpen()) {
    gf_logText(gf_timeToString(gf_systemNow()) + "\n");
    gf_closeLog();
  }
  PostQuitMessage(status);
}

// The system may end the process as soon as WM_ENDSESSION returns: the final
// exit (objects removed, learned use and settings saved) runs to its end before.
// While waiting the window serves only what other threads send it (a control's
// text set by the exit, which would otherwise wait for it); what is posted waits.
void lf_endSession(HWND hwnd) {
  RunClock& clock = gf_runClock();
  const auto start = clock.now();
  MSG done{};
  bool ended = false;
  for (;;) {
    // Again while a restart in place holds the exit: once it is reset, this one begins.
    lf_exit(kExitUserClosed, 0);
    if (PeekMessageW(&done, hwnd, WM_APP_FINAL_EXIT, WM_APP_FINAL_EXIT, PM_REMOVE)) {
      ended = true;
      break;
    }
    if (clock.now() - start >= kSessionEndBound) break;
    clock.sleepFor(kSessionEndPoll);
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - start).count();
  gf_logLine(ended ? sk::format("The session ends: the final exit took {} ms", ms)
                   : sk::format("The session ends: the final exit was not done within {} ms", ms));
  lf_finalExit(hwnd, ended ? static_cast<int>(done.wParam) : kFailureStatus, ended ? done.lParam : 0);
}

void lf_startStartUpThread() {
  auto body = lf_hooks().startUp;
  if (!body) return;
  gf_startDetachedThread(std::move(body));
}

}  // namespace

void gf_setWindowHooks(WindowHooks hooks) {
  std::lock_guard lock(hooksMutex);
  windowHooks = std::move(hooks);
}

void gf_installNoRunHooks() {
  WindowHooks hooks;
  // Through the window's own final exit, which a log-off waits for.
  hooks.exit = [](int, int) {
    if (HWND window = gAppState.mainWindow.load())
      PostMessageW(window, WM_APP_FINAL_EXIT, kFailureStatus, kFinalExitWithoutRun);
  };
  gf_setWindowHooks(std::move(hooks));
}

void gf_windowExit(int reason, int delaySeconds) { lf_exit(reason, delaySeconds); }

void lf_setWindowPosition(int previousX, int previousY) {
  if (lf_atLimit(gAppState.MAIN_WINDOW_X)) {
    gAppState.MAIN_WINDOW_X.value = gAppState.MAIN_WINDOW_X.clamped(previousX);
  }
  if (lf_atLimit(gAppState.MAIN_WINDOW_Y)) {
    gAppState.MAIN_WINDOW_Y.value = gAppState.MAIN_WINDOW_Y.clamped(previousY);
  }
}

bool initInstance(HINSTANCE instance, LPCWSTR className) {
  for (int waits = 0; !gAppState.ready.load(); ++waits) {
    if (waits == kReadyWaits) return false;
    std::this_thread::sleep_for(kReadyPause);
  }
  lf_readWindowPosition();
  HWND window = CreateWindowExW(0, className, className, WS_CAPTION | WS_SYSMENU,
                                gAppState.MAIN_WINDOW_X.value, gAppState.MAIN_WINDOW_Y.value,
                                kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, nullptr);
  gAppState.mainWindow.store(window);
  if (!window) return false;
  ShowWindow(window, SW_SHOW);
  return UpdateWindow(window) != FALSE;
}

LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  gDlgParent.store(hwnd);
  switch (msg) {
    case WM_CREATE:
      lf_createControls(hwnd, reinterpret_cast<const CREATESTRUCTW*>(lParam));
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC hdc = BeginPaint(hwnd, &paint);
      lf_paint(hdc);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_CLOSE:
      // The window stays until the exit is done.
      gf_showMessage(sk::format("Close window button clicked, closing {} ...", "Skylume"), false);
      lf_exit(kExitUserClosed, 0);
      return 0;
    case WM_QUERYENDSESSION:
      // The log-off may go on: the work is done once it is certain, at WM_ENDSESSION.
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) lf_endSession(hwnd);
      return 0;
    case WM_COMMAND: {
      auto onCommand = lf_hooks().onCommand;
      if (onCommand && onCommand(hwnd, wParam)) return 0;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      HDC hdc = reinterpret_cast<HDC>(wParam);
      SetBkMode(hdc, OPAQUE);
      SetBkColor(hdc, kLightBlue);
      return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }
    case WM_APP_STARTUP:
      lf_startStartUpThread();
      return 0;
    case WM_APP_FINAL_EXIT:
      lf_finalExit(hwnd, static_cast<int>(wParam), lParam);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

void lf_onException(std::string_view functionName) {
  if (!std::current_exception()) return;
  try {
    throw;
  } catch (const qlx::UserErrorException& e) {
    gf_showError(e.what());
  } catch (const fmt::format_error& e) {
    gf_showError(std::string("std::format error: ") + e.what());
  } catch (const std::exception& e) {
    gf_showError(sk::format("{}: {}", functionName, e.what()));
    lf_exit(kExitSystemError, 0);
  } catch (...) {
    gf_showError("Unknown exception");
  }
}
