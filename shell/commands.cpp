#include "shell/commands.h"

#include <cmath>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "airports/airport_list.h"
#include "airports/learned_save.h"
#include "airports/park_airports.h"
#include "airports/static_parking.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/util.h"
#include "liveries/livery_processing.h"
#include "shell/app_state.h"
#include "shell/auto_range.h"
#include "shell/main_loop.h"
#include "shell/main_window.h"
#include "shell/message_line.h"
#include "shell/run_state.h"

std::atomic<bool> gNavLightsRequest{false};
std::atomic<bool> gTrimLiveRequest{false};
std::atomic<bool> gAirportScanResetRequest{false};
std::atomic<bool> gAutoRangeRequest{false};

namespace {

constexpr const char* kProgramName = "Skylume";
constexpr int kRestartIpp = static_cast<int>(ExitReason::RESTART_IPP);
// GetWindowTextW buffers: the number boxes give at most 511 units, the text boxes 2047.
constexpr int kNumberTextUnits = 512;
constexpr int kTextUnits = 2048;

void lf_show(const std::string& text) { gf_showMessage(text, false); }
void lf_showAndLog(const std::string& text) { gf_showMessage(text, true); }

std::string lf_upperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

WideText lf_windowText(int controlId, int units) {
  WideText buffer(static_cast<std::size_t>(units), WCHAR{0});
  const int copied = GetWindowTextW(GetDlgItem(gDlgParent.load(), controlId), buffer.data(), units);
  buffer.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return buffer;
}

// The box's text in UTF-8; nothing (after its plain log line) when the text
// does not convert: a typing slip must not count as an emptied box.
std::optional<std::string> lf_convert(const WideText& text) {
  try {
    return gf_textFromWide(text);
  } catch (const std::exception& e) {
    gf_logText(e.what());
    return std::nullopt;
  }
}

// The text of a text box, trimmed; nothing on a conversion error.
std::optional<std::string> lf_readEditText(int controlId) {
  auto text = lf_convert(lf_windowText(controlId, kTextUnits));
  if (text) *text = gf_trim(*text);
  return text;
}

bool lf_parkFileLoaded() { return gAppState.parkFileLoaded.load(); }

void lf_setCheck(CheckboxParameter& box, bool ticked) {
  box.value = ticked;
  box.save();
  CheckDlgButton(gDlgParent.load(), box.controlId, ticked ? BST_CHECKED : BST_UNCHECKED);
}

// Reads a number box (at most 511 units, not trimmed) and hands its text to
// the assignment; true when that assigned a value. A text that is no number is
// shown, any other failure only logged under the reader's name.
template <typename Assign>
bool lf_processNumberBox(const ControlBinding& box, const char* reader, Assign assign) {
  std::string text;
  try {
    const auto converted = lf_convert(lf_windowText(box.controlId, kNumberTextUnits));
    if (!converted) return false;
    text = *converted;
    return assign(text);
  } catch (const std::invalid_argument&) {
    lf_showAndLog(sk::format("invalid input: {}", text));
  } catch (const std::exception& e) {
    gf_log(sk::format("{} exception {}, h={} ", reader, e.what(), text));
  }
  return false;
}

// The number typed into the box as the parameter's value; true when a value was assigned.
bool procesTbInt(IntEditParameter& parameter) {
  const bool assigned = lf_processNumberBox(parameter, "procesTbInt", [&](const std::string& text) {
    const bool saved = &parameter != &parking_percentage;
    if (text.empty()) {
      parameter.value = saved ? parameter.clamped(parameter.defaultValue) : 0;
    } else {
      const int n = std::stoi(text);
      if (n == parameter.value) {
        lf_showAndLog(sk::format("Same {} value {}, no changes made", parameter.name, n));
        return false;
      }
      parameter.value = parameter.clamped(n);
    }
    if (saved) parameter.save();
    lf_show(sk::format("The new {} is {}", parameter.name, parameter.value));
    return true;
  });
  gf_showIntParameter(parameter);
  return assigned;
}

// MAX_FIT_FL in hours; MAX_FIT, the same limit in half-hour slots, is the one saved.
bool procesTbFloat(FloatEditParameter& parameter) {
  const bool assigned = lf_processNumberBox(parameter, "procesTbFloat", [&](const std::string& text) {
    if (text.empty()) {
      parameter.value = parameter.clamped(parameter.defaultValue);
      MAX_FIT.value = MAX_FIT.clamped(MAX_FIT.defaultValue);
    } else {
      const float n = std::stof(text);
      // "nan" passes every comparison and the clamp, and "inf" is no number of hours either.
      if (!std::isfinite(n)) throw std::invalid_argument(text);
      if (n == parameter.value) {
        lf_showAndLog(sk::format("Same {} value {}, no changes made", parameter.name, n));
        return false;
      }
      MAX_FIT.value = MAX_FIT.clamped(std::lround(2.0F * parameter.clamped(n)) - 1);
      // Always a whole number of half hours.
      parameter.value = parameter.clamped(static_cast<float>(MAX_FIT.value) * 0.5F + 0.5F);
    }
    MAX_FIT.save();
    lf_show(sk::format("The new {} is {:.1f}", parameter.name, parameter.value));
    return true;
  });
  gf_showFloatParameter(parameter);
  return assigned;
}

void lf_unblockCallsign() {
  const std::string blocked = BLOCK_CALLSIGN.value();
  if (blocked.empty()) return;
  BLOCK_CALLSIGN.setAndSave("");
  lf_clearControlText(BLOCK_CALLSIGN.controlId);
  gf_enableControl(gUnblockButton, false);
  lf_showAndLog(sk::format("no more blocking of live aircraft \"{}\"", blocked));
  gCallsignBlockRequest.store(true);
}

void lf_blockCallsign() {
  const auto text = lf_readEditText(BLOCK_CALLSIGN.controlId);
  if (!text) return;
  if (text->empty()) {
    lf_unblockCallsign();
    return;
  }
  if (text->size() < 4 || text->size() > 8) {
    lf_showAndLog(sk::format("callsign \"{}\" is not valid", *text));
  } else {
    const std::string callsign = lf_upperAscii(*text);
    if (callsign == BLOCK_CALLSIGN.value()) {
      lf_showAndLog(sk::format("callsign \"{}\" was already set ...", callsign));
    } else {
      BLOCK_CALLSIGN.setAndSave(callsign);
      gf_showTextParameter(BLOCK_CALLSIGN);
      gf_enableControl(gUnblockButton, true);
      lf_showAndLog(sk::format("live aircraft with callsign \"{}\" will be blocked", callsign));
      gCallsignBlockRequest.store(true);
      return;
    }
  }
  gf_showTextParameter(BLOCK_CALLSIGN);
}

void lf_setDestination() {
  const auto text = lf_readEditText(DESTINATION.controlId);
  if (!text) return;
  if (text->empty()) {
    DESTINATION.setValue("");
    gf_enableControl(gReReadButton, true);
    lf_showAndLog("destination set to empty");
    return;
  }
  const std::string code = lf_upperAscii(*text);
  if (text->size() != 4) {
    lf_showAndLog(sk::format("destination \"{}\" is not valid", *text));
  } else if (code == DESTINATION.value()) {
    lf_showAndLog(sk::format("destination \"{}\" was already set ...", code));
  } else if (gf_findAirport(code)) {
    lf_applyDestination(code);
    return;
  } else {
    lf_showAndLog(sk::format("destination \"{}\" is unknown ...", code));
  }
  gf_showTextParameter(DESTINATION);
}

void lf_restartForNewPath() {
  lf_showAndLog(sk::format("Community path found, {} will restart ...", kProgramName));
  gf_windowExit(kRestartIpp, 3);
}

bool lf_isSeparator(char c) { return c == '\\' || c == '/'; }

bool lf_exists(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

// The user types the simulator's packages folder or its Community folder; the
// folder that holds Community is stored.
void lf_newSimPath(StringParameter& installPath, std::string text) {
  gf_clearError();
  gf_clearMessage();
  if (text.empty()) {
    if (!installPath.value().empty()) installPath.setAndSave("");
    return;
  }
  if (!lf_exists(gf_pathFromUtf8(text))) {
    lf_showAndLog(sk::format("This install path does not exist: {}", text));
    return;
  }
  // A trailing separator would leave an empty last component, and cutting at
  // the first "Community" would cut a folder like "CommunityGames".
  while (text.size() > 1 && lf_isSeparator(text.back())) text.pop_back();
  const std::size_t separator = text.find_last_of("\\/");
  const std::string last = separator == std::string::npos ? text : text.substr(separator + 1);
  std::string folder = text;
  if (gf_pathFromUtf8(last).stem() == "Community" && separator != std::string::npos) {
    folder = text.substr(0, separator);
  }
  if (!lf_exists(gf_pathFromUtf8(folder) / "Community")) {
    lf_showAndLog("This path exists but is not a path to Community ...");
    return;
  }
  installPath.setAndSave(folder);
  lf_restartForNewPath();
}

LRESULT lf_previous(ControlBinding& binding, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(binding.previousWndProc, hwnd, msg, wParam, lParam);
}

bool lf_isEnter(UINT msg, WPARAM wParam) { return msg == WM_CHAR && wParam == 13; }

LRESULT lf_numericEditProc(IntEditParameter& parameter, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!lf_isEnter(msg, wParam)) return lf_previous(parameter, hwnd, msg, wParam, lParam);
  gf_clearMessage();
  if (&parameter == &CUSTOM_MAX_PARK || &parameter == &parking_percentage) {
    if (procesTbInt(parameter)) lf_restartNotice();
  } else if (&parameter == &LATERAL_RANGE) {
    if (procesTbInt(parameter)) {
      gAirportParametersChanged.store(true);
      gf_setLateralRange(LATERAL_RANGE.value);
    }
  } else if (&parameter == &MAX_LIVE) {
    if (procesTbInt(parameter)) {
      if (lf_parkFileLoaded()) {
        gAirportParametersChanged.store(true);
      } else {
        gUserMaxLive.store(MAX_LIVE.value);
      }
      // The engine's containers belong to the main loop.
      gTrimLiveRequest.store(true);
    }
  } else if (&parameter == &MATCHING_DEPTH) {
    const std::int32_t old = MATCHING_DEPTH.value;
    if (procesTbInt(parameter) && MATCHING_DEPTH.value > old) gMatchingDepthRaised.store(true);
  } else {
    procesTbInt(parameter);
  }
  return 0;
}

LRESULT lf_maxFitProc(FloatEditParameter& parameter, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!lf_isEnter(msg, wParam)) return lf_previous(parameter, hwnd, msg, wParam, lParam);
  gf_clearMessage();
  if (lf_parkFileLoaded() && procesTbFloat(parameter)) lf_restartNotice();
  return 0;
}

void lf_callsignToObjectId() {
  const auto text = lf_readEditText(CALLSIGN_2_OBJECTID.controlId);
  if (!text) return;
  if (!text->empty()) {
    CALLSIGN_2_OBJECTID.setValue(lf_upperAscii(*text));
    gf_showTextParameter(CALLSIGN_2_OBJECTID);
    gObjectIdLookupRequest.store(true);
  } else if (!CALLSIGN_2_OBJECTID.value().empty()) {
    CALLSIGN_2_OBJECTID.setValue("");
    lf_clearControlText(CALLSIGN_2_OBJECTID.controlId);
  }
}

LRESULT lf_textEditProc(StringEditParameter& parameter, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!lf_isEnter(msg, wParam)) return lf_previous(parameter, hwnd, msg, wParam, lParam);
  gf_clearMessage();
  if (&parameter == &BLOCK_CALLSIGN) {
    lf_blockCallsign();
  } else if (&parameter == &DESTINATION) {
    lf_setDestination();
  } else if (&parameter == &CALLSIGN_2_OBJECTID) {
    lf_callsignToObjectId();
  } else if (&parameter == &ALL_INSTALL_PATH) {
    if (const auto text = lf_readEditText(ALL_INSTALL_PATH.controlId)) {
      try {
        lf_newSimPath(MSFS_2020.value ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH, *text);
      } catch (const std::exception& e) {
        gf_showError(e.what());
      }
    }
  }
  return 0;
}

// ---- check boxes and buttons ----

void lf_autoRangeSwitched() {
  gAirportParametersChanged.store(true);
  gf_enableControl(LATERAL_RANGE, !AUTO_RANGE.value);
  gf_enableControl(AUTO_RANGE_ABOVE_HEIGHT, AUTO_RANGE.value);
  if (AUTO_RANGE.value) {
    gManualLateralRange.store(LATERAL_RANGE.value);
    gAutoRangeRequest.store(true);
    return;
  }
  gAutoRangeAtTen.store(false);
  gf_setLateralRange(LATERAL_RANGE.clamped(gManualLateralRange.load()));
  gf_showIntParameter(LATERAL_RANGE);
  gf_clearMessage();
}

void lf_simulatorSwitched() {
  try {
    if (std::filesystem::exists(LiveriesScannedPath)) std::filesystem::remove(LiveriesScannedPath);
  } catch (const std::exception& e) {
    gf_showError(e.what());
    return;
  }
  // The livery tables and the airport scan's state are read by the run still
  // under way: the next start-up clears them, once no reader is left.
  gf_requestLiveryClearing();
  gAirportScanResetRequest.store(true);
  lf_setCheck(SCAN_AIRPORTS, true);
  lf_setCheck(SCAN_LIVERIES, true);
  lf_showAndLog(sk::format("Switching Simulator to {}", MSFS_2020.value ? "MSFS 2020" : "MSFS 2024"));
  ALL_INSTALL_PATH.setValue("");
  lf_clearControlText(ALL_INSTALL_PATH.controlId);
  if (!MSFS_2020.value) MYLINKPACK24_VERSION.setAndSave("");
  gf_windowExit(kRestartIpp, 3);
}

void lf_scanSwitched(const CheckboxParameter& box) {
  if (!box.value) {
    gf_clearMessage();
    return;
  }
  const bool liveries = &box == &SCAN_LIVERIES;
  if (gStartupPhase.load()) {
    if (liveries) gf_requestLiveryClearing();
    lf_showAndLog(liveries ? "Your liveries will be scanned" : "Your airports will be scanned");
    gf_windowExit(kRestartIpp, 2);
    return;
  }
  lf_show(liveries ? sk::format("Your liveries will be scanned at the next start of {}, recommended after you have "
                                "add/removed AI aircraft models/liveries",
                                kProgramName)
                   : sk::format("Your airports will be scanned at the next start of {}, recommended after you have "
                                "add/removed airports",
                                kProgramName));
}

// Shown when the box is ticked (or cleared), else the line is cleared.
void lf_noteWhen(bool shown, const std::string& text) {
  if (shown) {
    lf_show(text);
  } else {
    gf_clearMessage();
  }
}

void lf_markParkFileChanged() {
  if (lf_parkFileLoaded()) gAirportParametersChanged.store(true);
}

// Runs the row of the check box after its toggle.
void lf_checkboxCommand(HWND window, CheckboxParameter& box) {
  const bool on = box.value;
  if (&box == &NAV_LIGHTS_WHILE_PARKED) {
    // The aircraft belong to the main loop, which sends the events.
    gNavLightsRequest.store(true);
  } else if (&box == &AUTO_RANGE) {
    lf_autoRangeSwitched();
  } else if (&box == &MSFS_2020) {
    lf_simulatorSwitched();
  } else if (&box == &SCAN_LIVERIES || &box == &SCAN_AIRPORTS) {
    lf_scanSwitched(box);
  } else if (&box == &LIG_AUTOMATIC) {
    lf_noteWhen(!on, "The liveries defined by your lfolder parameters will be scanned");
    gf_enableControl(AI_PACKAGE_ORDER, on);
  } else if (&box == &LIG_PRIORITIZE) {
    lf_noteWhen(on, "Liveries in lower lfolders that are already available will be skipped");
  } else if (&box == &PARK_SOFT || &box == &PARK_FAKE || &box == &WEEK) {
    lf_restartNotice();
  } else if (&box == &INITIAL_LOAD_ONLY) {
    lf_noteWhen(on, "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes");
    lf_markParkFileChanged();
  } else if (&box == &COLLISION_LIVE_PARKED_GND) {
    lf_noteWhen(!on, "Be aware, no collision avoidance with live aircraft vs parked static on the ground");
  } else if (&box == &COLLISION_USER_GND) {
    lf_noteWhen(!on, "Be aware, no collision avoidance with user aircraft on the ground");
  } else if (&box == &COLLISION_USER_AIR) {
    lf_noteWhen(!on, "Be aware, no collision avoidance with user aircraft in the air");
  } else if (&box == &SUPPRESS_STUB) {
    lf_noteWhen(on, "Exclude FSLTL-liveries titles ending with _STUB from scan");
  } else if (&box == &ALWAYS_ON_TOP) {
    lf_noteWhen(on, sk::format("{}'s window will remain visible", kProgramName));
    SetWindowPos(window, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  } else if (&box == &AEROWINX) {
    lf_noteWhen(on, sk::format("Aerowinx mode is meant only for users of the Aerowinx simulator: start {} again",
                               kProgramName));
  } else if (&box == &LEARN_SOFT) {
    lf_markParkFileChanged();
  } else if (&box == &GUID_CHANGES) {
    lf_noteWhen(!on, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc..");
  }
}

// The check boxes in the order their ids are compared.
CheckboxParameter* const kCheckboxes[] = {
    &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE,       &MSFS_2020,          &CALLSIGN_OBJECTIDS,
    &SCAN_LIVERIES,           &SCAN_AIRPORTS,    &LIG_AUTOMATIC,      &LIG_PRIORITIZE,
    &PARK_SOFT,               &PARK_FAKE,        &WEEK,               &INITIAL_LOAD_ONLY,
    &COLLISION_LIVE_PARKED_GND, &COLLISION_USER_GND, &COLLISION_USER_AIR, &SUPPRESS_STUB,
    &LOG,                     &LIGHT_AIRCRAFT,   &HELICOPTERS,        &HIGH_PERF_AIRCRAFT,
    &ALWAYS_ON_TOP,           &AEROWINX,         &STRAIGHT_PBS_ONLY,  &LEARN_SOFT,
    &GUID_CHANGES,
};

bool lf_buttonCommand(std::uint16_t id) {
  if (id == gUnblockButton.controlId) {
    if (!BLOCK_CALLSIGN.value().empty()) {
      lf_unblockCallsign();
    } else {
      lf_show("Nothing to block or unblock...");
    }
  } else if (id == gReReadButton.controlId) {
    gReReadRequest.store(true);
    gf_enableControl(gReReadButton, false);
    gf_enableControl(DESTINATION, false);
  } else if (id == gFlushStaticButton.controlId) {
    lf_show("All static parked aircraft will be removed ...");
    gFlushStaticRequest.store(true);
    gf_enableControl(gFlushStaticButton, false);
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool lf_onCommand(HWND window, WPARAM wParam) {
  const auto id = static_cast<std::uint16_t>(LOWORD(wParam));
  bool handled = lf_buttonCommand(id);
  for (CheckboxParameter* box : kCheckboxes) {
    if (handled) break;
    if (gf_toggleCheckbox(window, id, *box)) {
      handled = true;
      lf_checkboxCommand(window, *box);
    }
  }
  if (handled) InvalidateRect(window, &kSettingsRect, TRUE);
  return handled;
}

EditProcedures gf_commandEditProcedures() {
  return {lf_textEditProc, lf_numericEditProc, lf_maxFitProc};
}

void lf_restartNotice() {
  if (!lf_parkFileLoaded()) return;
  gAirportParametersChanged.store(true);
  if (INITIAL_LOAD_ONLY.value) {
    gf_clearMessage();
    return;
  }
  const std::int32_t seconds = gSeconds.load();
  const std::int32_t wait = 15 * (seconds / 15 + 1) - seconds;
  lf_show(sk::format("{} will respond in {} second{} ...", kProgramName, wait, wait == 1 ? "" : "s"));
  gRenewParkingRequest.store(true);
}

void lf_applyDestination(const std::string& icao) {
  DESTINATION.setAndSave(icao);
  gf_showTextParameter(DESTINATION);
  lf_showAndLog(sk::format("New destination: {}", icao));
  gParkAirportSelectRequest.store(true);
  gf_enableControl(gReReadButton, false);
}
