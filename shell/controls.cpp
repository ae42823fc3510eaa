#include "shell/controls.h"

#include <exception>
#include <string>
#include <string_view>

#include "core/format.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/util.h"
#include "shell/app_state.h"
#include "shell/status_area.h"

namespace {

using Kind = SettingControlKind;

EditProcedures editProcedures;

auto lf_sharedProcedure(StringEditParameter&) {
  return editProcedures.text;
}
auto lf_sharedProcedure(IntEditParameter&) {
  return editProcedures.numeric;
}
auto lf_sharedProcedure(FloatEditParameter&) {
  return editProcedures.decimal;
}

// The subclass procedure of one edit box: hands its parameter on to the shared
// procedure of its kind.
template <auto* parameter>
LRESULT lf_editEntry(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (auto shared = lf_sharedProcedure(*parameter)) return shared(*parameter, hwnd, msg, wParam, lParam);
  return CallWindowProcW(parameter->previousWndProc, hwnd, msg, wParam, lParam);
}

void lf_createCheckBox(CheckboxParameter& parameter, HWND parent, const CREATESTRUCTW* create, int x) {
  HWND box =
      CreateWindowExW(0, TEXT("button"), TEXT(""), WS_CHILD | WS_VISIBLE | BS_CHECKBOX, x, parameter.rowY + 2,
                      12, 12, parent, gf_controlIdAsMenu(parameter.controlId), create->hInstance, nullptr);
  parameter.controlWindow = box;
  CheckDlgButton(parent, parameter.controlId, parameter.value ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(box, TRUE);
}

void lf_createButton(ParameterButton& button, HWND parent, const CREATESTRUCTW* create, int x, int width) {
  HWND control = CreateWindowExW(0, TEXT("button"), gf_wideText(button.name).c_str(),
                                 WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, x, button.rowY, width, 20, parent,
                                 gf_controlIdAsMenu(button.controlId), create->hInstance, nullptr);
  button.controlWindow = control;
  EnableWindow(control, FALSE);
}

void lf_createEdit(ControlBinding& binding, HWND parent, const CREATESTRUCTW* create, int x, int width,
                   WNDPROC subclass) {
  HWND edit =
      CreateWindowExW(0, TEXT("Edit"), TEXT(""), WS_CHILD | WS_VISIBLE | WS_BORDER, x, binding.rowY, width,
                      16, parent, gf_controlIdAsMenu(binding.controlId), create->hInstance, nullptr);
  binding.controlWindow = edit;
  if (edit) {
    binding.previousWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclass)));
  }
  EnableWindow(edit, FALSE);
}

// Lets the core's parameter code (loading, gf_toggleCheckbox) reach the controls.
void lf_installParameterHooks() {
  ParameterControlHooks hooks;
  hooks.showCheck = [](const CheckboxParameter& box) {
    CheckDlgButton(gDlgParent.load(), box.controlId, box.value ? BST_CHECKED : BST_UNCHECKED);
  };
  hooks.showInt = [](IntEditParameter& parameter) { gf_showIntParameter(parameter); };
  hooks.showText = [](StringEditParameter& parameter) { gf_showTextParameter(parameter); };
  hooks.isButtonChecked = [](HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; };
  hooks.checkButton = [](HWND window, int id, bool ticked) {
    CheckDlgButton(window, id, ticked ? BST_CHECKED : BST_UNCHECKED);
  };
  gf_setParameterControlHooks(std::move(hooks));
}

void lf_setControlText(int controlId, const std::string& text) {
  WideText wide;
  try {
    wide = gf_wideText(text);
  } catch (const std::exception& e) {
    gf_logText(e.what());
    return;
  }
  HWND parent = gDlgParent.load();
  SetWindowTextW(GetDlgItem(parent, controlId), wide.c_str());
  gf_invalidateMain(kSettingsRect);
}

// ---- labels ----

COLORREF lf_yellowWhileOn(const BoolParameter& setting) {
  return setting.value ? kYellow : kBlack;
}
COLORREF lf_greyAtDefault(const IntParameter& setting) {
  return setting.value == setting.defaultValue ? kGrey : kYellow;
}
bool lf_controlEnabled(const ControlBinding& binding) {
  return IsWindowEnabled(binding.controlWindow) != FALSE;
}

// A label is black, or follows a colour rule, or is black while its rule holds
// and grey otherwise.
struct Label {
  int x;
  const ControlBinding* row;
  std::string_view text;
  COLORREF (*colour)() = nullptr;
  bool (*enabled)() = nullptr;
};

constexpr auto lf_msfs2020Mode = [] { return MSFS_2020.value.load(); };
constexpr auto lf_autoRangeOn = [] { return AUTO_RANGE.value.load(); };

const Label kLabels[] = {
    {25, &MSFS_2020, "Install path:", nullptr, lf_msfs2020Mode},
    {25, &SCAN_LIVERIES, "Scan for liveries", [] { return lf_yellowWhileOn(SCAN_LIVERIES); }},
    {237, &LIG_AUTOMATIC, "Automatic, selector:", nullptr},
    {450, &LIG_PRIORITIZE, "Prioritize", nullptr},
    {556, &SUPPRESS_STUB, "Stub", nullptr},
    {672, &LOG, "Log", nullptr},
    {768, &ALWAYS_ON_TOP, "Stay on top", [] { return lf_yellowWhileOn(ALWAYS_ON_TOP); }},
    {25, &SCAN_AIRPORTS, "Scan for addon airports", [] { return lf_yellowWhileOn(SCAN_AIRPORTS); }},
    {672, &NAV_LIGHTS_WHILE_PARKED, "Nav lights", nullptr},
    {768, &LEARN_SOFT, "Learn Soft", nullptr},
    {5, &MATCHING_DEPTH, "Max aircraft matching depth", nullptr},
    {253, &LIGHT_AIRCRAFT, "Optional:", nullptr},
    {343, &LIGHT_AIRCRAFT, "Light aircraft", nullptr, [] { return lf_controlEnabled(LIGHT_AIRCRAFT); }},
    {450, &HELICOPTERS, "Helicopters", nullptr, [] { return lf_controlEnabled(HELICOPTERS); }},
    {556, &HIGH_PERF_AIRCRAFT, "FighterJets", nullptr, [] { return lf_controlEnabled(HIGH_PERF_AIRCRAFT); }},
    {672, &AEROWINX, "Aerowinx", [] { return lf_yellowWhileOn(AEROWINX); }},
    {768, &GUID_CHANGES, "GUID changes", [] { return GUID_CHANGES.value ? kBlack : kYellow; }},
    {5, &LATERAL_RANGE, "Traffic injection", nullptr},
    {167, &LATERAL_RANGE, "radius:", nullptr},
    {260, &LATERAL_RANGE, "nm,  or", nullptr},
    {343, &AUTO_RANGE, "auto range", nullptr},
    {430, &AUTO_RANGE_ABOVE_HEIGHT, "ah:", nullptr, lf_autoRangeOn},
    {510, &AUTO_RANGE_ABOVE_HEIGHT, "ft", nullptr, lf_autoRangeOn},
    {768, &CALLSIGN_OBJECTIDS, "objectids", nullptr, lf_msfs2020Mode},
    {5, &COLLISION_USER_GND, "Collision avoidance", nullptr},
    {237, &COLLISION_USER_GND, "User ground", nullptr},
    {343, &COLLISION_USER_AIR, "User air", nullptr},
    {450, &COLLISION_LIVE_PARKED_GND, "Live X parked", nullptr},
    {5, &BLOCK_CALLSIGN, "Callsigns", nullptr},
    {172, &BLOCK_CALLSIGN, "block:", nullptr},
    {430, &CALLSIGN_2_OBJECTID, "oid:", nullptr},
    {217, &CUSTOM_MAX_PARK, "generic max park:", [] { return lf_greyAtDefault(CUSTOM_MAX_PARK); }},
    {536, &MAX_LIVE, "max live:", [] { return lf_greyAtDefault(MAX_LIVE); }},
    {139, &DESTINATION, "destination:", nullptr},
    {303, &AIRPORT_RANGE, "range:", nullptr},
    {393, &AIRPORT_RANGE, "nm", nullptr},
    {440, &AIRPORT_HEIGHT, "height above gnd:", nullptr},
    {621, &AIRPORT_HEIGHT, "ft", nullptr},
    {672, &STRAIGHT_PBS_ONLY, "Straight push backs only", nullptr, [] { return STRAIGHT_PBS_ONLY.value.load(); }},
    {25, &PARK_FAKE, "Fake", nullptr},
    {91, &WEEK, "Week", nullptr},
    {171, &PARK_SOFT, "Soft", nullptr},
    {264, &parking_percentage, "wanted: ", nullptr},
    {363, &parking_percentage, "%", nullptr},
    {450, &INITIAL_LOAD_ONLY, "ILO", [] { return lf_yellowWhileOn(INITIAL_LOAD_ONLY); }},
    {506, &MAX_FIT_FL, "Max fit:", nullptr},
};

// The labels whose text follows the run's state.
void lf_paintStateLabels() {
  const int tbloAirports = gAppState.tbloAirportCount.load();
  if (tbloAirports >= 1) {
    lf_textOut(217, SCAN_AIRPORTS.rowY,
               sk::format("{} airport{} in {} folder", tbloAirports, tbloAirports == 1 ? "" : "s",
                          gf_pathToUtf8(TbloFolder)),
               kYellow);
  }

  const bool busy = gAppState.staticParkingBusy.load();
  lf_textOut(5, CUSTOM_MAX_PARK.rowY, sk::format("Airport parking{}", busy ? " active" : ""),
             busy ? kYellow : kBlack);

  const int minutes = gAppState.minutesToRenewal.load();
  if (gAppState.parkFileLoaded.load() && !busy && !INITIAL_LOAD_ONLY.value && minutes >= 1 && minutes <= 19) {
    lf_textOut(5, AIRPORT_RANGE.rowY, sk::format("(next in {} min)", minutes), kBlack);
  }

  if (!CALLSIGN_2_OBJECTID.value().empty()) {
    const std::string objectId = gAppState.objectIdText.get();
    if (!objectId.empty()) lf_textOut(561, CALLSIGN_2_OBJECTID.rowY, objectId, kBlack);
  }
}

}  // namespace

const std::array<SettingControl, kSettingControlCount>& gf_settingControls() {
  static const std::array<SettingControl, kSettingControlCount> controls{{
      {&MSFS_2020, Kind::CheckBox, 5, 12, nullptr},
      {&ALL_INSTALL_PATH, Kind::TextEdit, 111, 1200, lf_editEntry<&ALL_INSTALL_PATH>},
      {&SCAN_LIVERIES, Kind::CheckBox, 5, 12, nullptr},
      {&LIG_AUTOMATIC, Kind::CheckBox, 217, 12, nullptr},
      {&AI_PACKAGE_ORDER, Kind::NumberEdit, 368, 24, lf_editEntry<&AI_PACKAGE_ORDER>},
      {&LIG_PRIORITIZE, Kind::CheckBox, 430, 12, nullptr},
      {&SUPPRESS_STUB, Kind::CheckBox, 536, 12, nullptr},
      {&LOG, Kind::CheckBox, 652, 12, nullptr},
      {&ALWAYS_ON_TOP, Kind::CheckBox, 748, 12, nullptr},
      {&SCAN_AIRPORTS, Kind::CheckBox, 5, 12, nullptr},
      {&NAV_LIGHTS_WHILE_PARKED, Kind::CheckBox, 652, 12, nullptr},
      {&LEARN_SOFT, Kind::CheckBox, 748, 12, nullptr},
      {&MATCHING_DEPTH, Kind::NumberEdit, 217, 24, lf_editEntry<&MATCHING_DEPTH>},
      {&LIGHT_AIRCRAFT, Kind::CheckBox, 323, 12, nullptr},
      {&HELICOPTERS, Kind::CheckBox, 430, 12, nullptr},
      {&HIGH_PERF_AIRCRAFT, Kind::CheckBox, 536, 12, nullptr},
      {&AEROWINX, Kind::CheckBox, 652, 12, nullptr},
      {&GUID_CHANGES, Kind::CheckBox, 748, 12, nullptr},
      {&LATERAL_RANGE, Kind::NumberEdit, 217, 34, lf_editEntry<&LATERAL_RANGE>},
      {&AUTO_RANGE, Kind::CheckBox, 323, 12, nullptr},
      {&AUTO_RANGE_ABOVE_HEIGHT, Kind::NumberEdit, 455, 50, lf_editEntry<&AUTO_RANGE_ABOVE_HEIGHT>},
      {&CALLSIGN_OBJECTIDS, Kind::CheckBox, 748, 12, nullptr},
      {&COLLISION_USER_GND, Kind::CheckBox, 217, 12, nullptr},
      {&COLLISION_USER_AIR, Kind::CheckBox, 323, 12, nullptr},
      {&COLLISION_LIVE_PARKED_GND, Kind::CheckBox, 430, 12, nullptr},
      {&BLOCK_CALLSIGN, Kind::TextEdit, 217, 100, lf_editEntry<&BLOCK_CALLSIGN>},
      {&gUnblockButton, Kind::Button, 323, 70, nullptr},
      {&CALLSIGN_2_OBJECTID, Kind::TextEdit, 460, 95, lf_editEntry<&CALLSIGN_2_OBJECTID>},
      {&CUSTOM_MAX_PARK, Kind::NumberEdit, 353, 34, lf_editEntry<&CUSTOM_MAX_PARK>},
      {&MAX_LIVE, Kind::NumberEdit, 601, 34, lf_editEntry<&MAX_LIVE>},
      {&DESTINATION, Kind::TextEdit, 217, 50, lf_editEntry<&DESTINATION>},
      {&AIRPORT_RANGE, Kind::NumberEdit, 353, 34, lf_editEntry<&AIRPORT_RANGE>},
      {&AIRPORT_HEIGHT, Kind::NumberEdit, 566, 50, lf_editEntry<&AIRPORT_HEIGHT>},
      {&STRAIGHT_PBS_ONLY, Kind::CheckBox, 652, 12, nullptr},
      {&PARK_FAKE, Kind::CheckBox, 5, 12, nullptr},
      {&WEEK, Kind::CheckBox, 71, 12, nullptr},
      {&PARK_SOFT, Kind::CheckBox, 151, 12, nullptr},
      {&parking_percentage, Kind::NumberEdit, 323, 34, lf_editEntry<&parking_percentage>},
      {&INITIAL_LOAD_ONLY, Kind::CheckBox, 430, 12, nullptr},
      {&MAX_FIT_FL, Kind::DecimalEdit, 566, 24, lf_editEntry<&MAX_FIT_FL>},
      {&gReReadButton, Kind::Button, 758, 90, nullptr},
      {&gFlushStaticButton, Kind::Button, 758, 90, nullptr},
  }};
  return controls;
}

void gf_setEditProcedures(const EditProcedures& procedures) {
  editProcedures = procedures;
}

void lf_createControls(HWND parent, const CREATESTRUCTW* create) {
  lf_installParameterHooks();
  for (const SettingControl& control : gf_settingControls()) {
    switch (control.kind) {
      case Kind::CheckBox:
        lf_createCheckBox(dynamic_cast<CheckboxParameter&>(*control.binding), parent, create, control.x);
        break;
      case Kind::Button:
        lf_createButton(dynamic_cast<ParameterButton&>(*control.binding), parent, create, control.x,
                        control.width);
        break;
      case Kind::TextEdit:
      case Kind::NumberEdit:
      case Kind::DecimalEdit:
        lf_createEdit(*control.binding, parent, create, control.x, control.width, control.subclass);
        break;
    }
    SendMessageW(control.binding->controlWindow, WM_SETFONT, reinterpret_cast<WPARAM>(gf_windowFont()), FALSE);
  }
  InvalidateRect(parent, &kSettingsRect, TRUE);
}

void gf_showIntParameter(const IntEditParameter& parameter) {
  lf_setControlText(parameter.controlId, sk::format("{}", parameter.value));
}

void gf_showFloatParameter(const FloatEditParameter& parameter) {
  lf_setControlText(parameter.controlId, gf_formatDecimal(parameter.value));
}

void gf_showTextParameter(const StringEditParameter& parameter) {
  lf_setControlText(parameter.controlId, parameter.value());
}

void lf_clearControlText(int controlId) {
  lf_setControlText(controlId, std::string());
}

void lf_paintLabels() {
  for (const Label& label : kLabels) {
    const std::string text(label.text);
    if (label.enabled) {
      lf_textOutEnabled(label.x, label.row->rowY, text, label.enabled());
    } else {
      lf_textOut(label.x, label.row->rowY, text, label.colour ? label.colour() : kBlack);
    }
  }
  lf_paintStateLabels();
}

void gf_enableControl(const ControlBinding& binding, bool enable) {
  if (binding.controlWindow) EnableWindow(binding.controlWindow, enable ? TRUE : FALSE);
}
