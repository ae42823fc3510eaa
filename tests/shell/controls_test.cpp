#include "shell/controls.h"

#include <set>

#include "shell_test_support.h"

namespace {

struct Expected {
  int id;
  ControlKind kind;
  RECT rect;
  bool enabled;
  const char* caption;  // buttons
};

constexpr ControlKind Box = ControlKind::CheckBox;
constexpr ControlKind Edit = ControlKind::Edit;
constexpr ControlKind Button = ControlKind::PushButton;

constexpr RECT box(int x, int row) {
  return {x, row + 2, x + 12, row + 14};
}
constexpr RECT edit(int x, int row, int width) {
  return {x, row, x + width, row + 16};
}
constexpr RECT button(int x, int row, int width) {
  return {x, row, x + width, row + 20};
}

// Every setting control as the window has it right after it was made.
const Expected kControls[] = {
    {32790, Box, box(5, 119), true, nullptr},             // MSFS_2020
    {32788, Edit, edit(111, 119, 1200), false, nullptr},  // ALL_INSTALL_PATH
    {32797, Box, box(5, 147), true, nullptr},             // SCAN_LIVERIES
    {32798, Box, box(217, 147), true, nullptr},           // LIG_AUTOMATIC
    {32800, Edit, edit(368, 147, 24), false, nullptr},    // AI_PACKAGE_ORDER
    {32799, Box, box(430, 147), true, nullptr},           // LIG_PRIORITIZE
    {32801, Box, box(536, 147), true, nullptr},           // SUPPRESS_STUB
    {32779, Box, box(652, 147), true, nullptr},           // LOG
    {32771, Box, box(748, 147), true, nullptr},           // ALWAYS_ON_TOP
    {32802, Box, box(5, 175), true, nullptr},             // SCAN_AIRPORTS
    {32778, Box, box(652, 175), true, nullptr},           // NAV_LIGHTS_WHILE_PARKED
    {32777, Box, box(748, 175), true, nullptr},           // LEARN_SOFT
    {32808, Edit, edit(217, 203, 24), false, nullptr},    // MATCHING_DEPTH
    {32809, Box, box(323, 203), true, nullptr},           // LIGHT_AIRCRAFT
    {32810, Box, box(430, 203), true, nullptr},           // HELICOPTERS
    {32811, Box, box(536, 203), true, nullptr},           // HIGH_PERF_AIRCRAFT
    {32775, Box, box(652, 203), true, nullptr},           // AEROWINX
    {32773, Box, box(748, 203), true, nullptr},           // GUID_CHANGES
    {32818, Edit, edit(217, 231, 34), false, nullptr},    // LATERAL_RANGE
    {32819, Box, box(323, 231), true, nullptr},           // AUTO_RANGE
    {32820, Edit, edit(455, 231, 50), false, nullptr},    // AUTO_RANGE_ABOVE_HEIGHT
    {32822, Box, box(748, 231), true, nullptr},           // CALLSIGN_OBJECTIDS
    {32834, Box, box(217, 287), true, nullptr},           // COLLISION_USER_GND
    {32833, Box, box(323, 287), true, nullptr},           // COLLISION_USER_AIR
    {32835, Box, box(430, 287), true, nullptr},           // COLLISION_LIVE_PARKED_GND
    {32828, Edit, edit(217, 259, 100), false, nullptr},   // BLOCK_CALLSIGN
    {32829, Button, button(323, 257, 70), false, "Unblock"},
    {32774, Edit, edit(460, 259, 95), false, nullptr},  // CALLSIGN_2_OBJECTID
    {32865, Edit, edit(353, 315, 34), false, nullptr},  // CUSTOM_MAX_PARK
    {32821, Edit, edit(601, 315, 34), false, nullptr},  // MAX_LIVE
    {32840, Edit, edit(217, 343, 50), false, nullptr},  // DESTINATION
    {32841, Edit, edit(353, 343, 34), false, nullptr},  // AIRPORT_RANGE
    {32842, Edit, edit(566, 343, 50), false, nullptr},  // AIRPORT_HEIGHT
    {32856, Box, box(652, 315), true, nullptr},         // STRAIGHT_PBS_ONLY
    {32852, Box, box(5, 371), true, nullptr},           // PARK_FAKE
    {32854, Box, box(71, 371), true, nullptr},          // WEEK
    {32851, Box, box(151, 371), true, nullptr},         // PARK_SOFT
    {32848, Edit, edit(323, 371, 34), false, nullptr},  // parking_percentage
    {32850, Box, box(430, 371), true, nullptr},         // INITIAL_LOAD_ONLY
    {32855, Edit, edit(566, 371, 24), false, nullptr},  // MAX_FIT_FL
    {32838, Button, button(758, 341, 90), false, "Re-read"},
    {32858, Button, button(758, 369, 90), false, "Flush static"},
};

using SettingControls = ShellTest;

TEST_F(SettingControls, EveryControlAtStart) {
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(std::size(kControls), gf_settingControls().size());

  std::set<int> ids;
  for (std::size_t i = 0; i < std::size(kControls); ++i) {
    const Expected& expected = kControls[i];
    SCOPED_TRACE(testing::Message() << "control " << expected.id);
    ids.insert(expected.id);
    const SettingControl& made = gf_settingControls()[i];
    EXPECT_EQ(made.binding->controlId, expected.id) << "creation order";

    HWND control = GetDlgItem(window, expected.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(made.binding->controlWindow, control);
    const ControlState state = gf_testControlState(control);
    EXPECT_EQ(state.kind, expected.kind);
    EXPECT_EQ(state.rect, expected.rect);
    EXPECT_EQ(state.enabled, expected.enabled);
    EXPECT_TRUE(state.visible);
    if (expected.kind == Box) {
      EXPECT_EQ(state.checked, dynamic_cast<CheckboxParameter&>(*made.binding).defaultValue);
    } else if (expected.kind == Button) {
      EXPECT_EQ(state.text, u16(expected.caption));
    } else {
      EXPECT_TRUE(state.text.empty());
      EXPECT_NE(made.binding->previousWndProc, nullptr) << "edit boxes are subclassed";
    }
  }
  EXPECT_EQ(ids.size(), std::size(kControls));
  EXPECT_EQ(GetDlgItem(window, 32853), nullptr) << "MAX_FIT has no control of its own";
}

// Records which parameter object reached the shared procedure.
const void* lastParameter = nullptr;
template <typename P>
LRESULT recordParameter(P& parameter, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  lastParameter = &parameter;
  return CallWindowProcW(parameter.previousWndProc, hwnd, msg, wParam, lParam);
}

TEST_F(SettingControls, EditBoxesHandTheirParameterToTheSharedProcedure) {
  HWND window = openWindow();
  HWND range = GetDlgItem(window, LATERAL_RANGE.controlId);
  EnableWindow(range, TRUE);
  ASSERT_TRUE(gf_testType(range, u"25"));
  EXPECT_EQ(gf_testControlState(range).text, u"25") << "without shared procedures a plain edit box";

  gf_setEditProcedures({recordParameter<StringEditParameter>, recordParameter<IntEditParameter>,
                        recordParameter<FloatEditParameter>});
  const std::pair<ControlBinding*, const void*> boxes[] = {
      {&LATERAL_RANGE, static_cast<IntEditParameter*>(&LATERAL_RANGE)},
      {&DESTINATION, static_cast<StringEditParameter*>(&DESTINATION)},
      {&MAX_FIT_FL, static_cast<FloatEditParameter*>(&MAX_FIT_FL)},
      {&parking_percentage, static_cast<IntEditParameter*>(&parking_percentage)},
  };
  for (auto [binding, parameter] : boxes) {
    lastParameter = nullptr;
    EnableWindow(binding->controlWindow, TRUE);
    ASSERT_TRUE(gf_testType(binding->controlWindow, u"7"));
    EXPECT_EQ(lastParameter, parameter) << binding->controlId;
  }
  EXPECT_EQ(gf_testControlState(range).text, u"257");
  gf_setEditProcedures({});
}

TEST_F(SettingControls, ShowingValuesInEditBoxes) {
  [[maybe_unused]] HWND window = openWindow();
#ifndef _WIN32  // Windows keeps no record of the invalidations
  gf_testClearInvalidations(window);
#endif

  LATERAL_RANGE.value = 55;
  gf_showIntParameter(LATERAL_RANGE);
  EXPECT_EQ(gf_testControlState(LATERAL_RANGE.controlWindow).text, u"55");
#ifndef _WIN32
  EXPECT_EQ(gf_testInvalidations(window), (std::vector<Invalidation>{{kSettingsRect, true}}));
#endif
  LATERAL_RANGE.value = LATERAL_RANGE.defaultValue;

  gf_showFloatParameter(MAX_FIT_FL);
  EXPECT_EQ(gf_testControlState(MAX_FIT_FL.controlWindow).text, u"24");
  MAX_FIT_FL.value = 0.5F;
  gf_showFloatParameter(MAX_FIT_FL);
  EXPECT_EQ(gf_testControlState(MAX_FIT_FL.controlWindow).text, u"0.5");
  MAX_FIT_FL.value = MAX_FIT_FL.defaultValue;

  BLOCK_CALLSIGN.setValue("DLH123,BAW9");
  gf_showTextParameter(BLOCK_CALLSIGN);
  EXPECT_EQ(gf_testControlState(BLOCK_CALLSIGN.controlWindow).text, u"DLH123,BAW9");
  lf_clearControlText(BLOCK_CALLSIGN.controlId);
  EXPECT_TRUE(gf_testControlState(BLOCK_CALLSIGN.controlWindow).text.empty());

#ifndef _WIN32
  // From another thread too: it never waits for the window thread. (On Windows
  // SetWindowTextW from another thread waits for the window thread's messages.)
  std::thread([] {
    DESTINATION.setValue("EGLL");
    gf_showTextParameter(DESTINATION);
  }).join();
  EXPECT_EQ(gf_testControlState(DESTINATION.controlWindow).text, u"EGLL");
  DESTINATION.setValue("");
#endif

  // A text that does not convert leaves the box alone and is logged.
  BLOCK_CALLSIGN.setValue("ab\xc3");
  gf_showTextParameter(BLOCK_CALLSIGN);
  EXPECT_TRUE(gf_testControlState(BLOCK_CALLSIGN.controlWindow).text.empty());
  EXPECT_FALSE(logged().empty());
}

TEST_F(SettingControls, ClicksWithoutCommandsChangeNothing) {
  HWND window = openWindow();
  HWND guid = GetDlgItem(window, GUID_CHANGES.controlId);
  ASSERT_TRUE(gf_testClick(guid));
  EXPECT_TRUE(gf_testControlState(guid).checked) << "a BS_CHECKBOX does not tick itself";
  EXPECT_TRUE(GUID_CHANGES.value);
  EXPECT_FALSE(gf_testClick(GetDlgItem(window, gReReadButton.controlId))) << "disabled";
}

TEST_F(SettingControls, CoreParameterCodeReachesTheBoxes) {
  HWND window = openWindow();
  ASSERT_TRUE(gf_toggleCheckbox(window, GUID_CHANGES.controlId, GUID_CHANGES));
  EXPECT_FALSE(GUID_CHANGES.value);
  EXPECT_FALSE(gf_testControlState(GUID_CHANGES.controlWindow).checked);
  EXPECT_NE(readText(folder() / "parameters.xml").find(R"(name="GUID_CHANGES" value="false")"),
            std::string::npos);

  LIGHT_AIRCRAFT.value = false;
  gf_parameterControlHooks().showCheck(LIGHT_AIRCRAFT);
  EXPECT_FALSE(gf_testControlState(LIGHT_AIRCRAFT.controlWindow).checked);
  LIGHT_AIRCRAFT.value = true;
  gf_parameterControlHooks().showCheck(LIGHT_AIRCRAFT);
  EXPECT_TRUE(gf_testControlState(LIGHT_AIRCRAFT.controlWindow).checked);
}

// ---- labels ----

using Labels = ShellTest;

TEST_F(Labels, EveryFixedLabelInItsRow) {
  openWindow();
  const auto ops = paintAll();
  const std::tuple<int, int, const char*> fixed[] = {
      {25, 119, "Install path:"},
      {237, 147, "Automatic, selector:"},
      {450, 147, "Prioritize"},
      {556, 147, "Stub"},
      {672, 147, "Log"},
      {672, 175, "Nav lights"},
      {768, 175, "Learn Soft"},
      {5, 203, "Max aircraft matching depth"},
      {253, 203, "Optional:"},
      {343, 203, "Light aircraft"},
      {450, 203, "Helicopters"},
      {556, 203, "FighterJets"},
      {768, 203, "GUID changes"},
      {5, 231, "Traffic injection"},
      {167, 231, "radius:"},
      {260, 231, "nm,  or"},
      {343, 231, "auto range"},
      {430, 231, "ah:"},
      {510, 231, "ft"},
      {5, 287, "Collision avoidance"},
      {237, 287, "User ground"},
      {343, 287, "User air"},
      {450, 287, "Live X parked"},
      {5, 259, "Callsigns"},
      {172, 259, "block:"},
      {430, 259, "oid:"},
      {5, 315, "Airport parking"},
      {139, 343, "destination:"},
      {303, 343, "range:"},
      {393, 343, "nm"},
      {440, 343, "height above gnd:"},
      {621, 343, "ft"},
      {25, 371, "Fake"},
      {91, 371, "Week"},
      {171, 371, "Soft"},
      {264, 371, "wanted: "},
      {363, 371, "%"},
      {506, 371, "Max fit:"},
  };
  for (auto [x, y, text] : fixed) EXPECT_TRUE(hasText(ops, x, y, text, kBlack)) << text;
}

TEST_F(Labels, ColourRules) {
  openWindow();
  auto ops = paintAll();
  // Defaults: scans on, Aerowinx and ILO off, on top off.
  expectTexts(ops, {
                       {25, 147, "Scan for liveries", kYellow},
                       {25, 175, "Scan for addon airports", kYellow},
                       {672, 203, "Aerowinx", kBlack},
                       {768, 147, "Stay on top", kBlack},
                       {450, 371, "ILO", kBlack},
                       {768, 231, "objectids", kBlack},
                       {672, 315, "Straight push backs only", kGrey},
                       {217, 315, "generic max park:", kGrey},
                       {536, 315, "max live:", kGrey},
                   });

  SCAN_LIVERIES.value = false;
  AEROWINX.value = true;
  INITIAL_LOAD_ONLY.value = true;
  ALWAYS_ON_TOP.value = true;
  GUID_CHANGES.value = false;
  MSFS_2020.value = false;
  AUTO_RANGE.value = false;
  STRAIGHT_PBS_ONLY.value = true;
  MAX_LIVE.value = 50;
  EnableWindow(HELICOPTERS.controlWindow, FALSE);
  ops = paintAll();
  expectTexts(ops, {
                       {25, 147, "Scan for liveries", kBlack},
                       {672, 203, "Aerowinx", kYellow},
                       {450, 371, "ILO", kYellow},
                       {768, 147, "Stay on top", kYellow},
                       {768, 203, "GUID changes", kYellow},
                       {25, 119, "Install path:", kGrey},
                       {768, 231, "objectids", kGrey},
                       {430, 231, "ah:", kGrey},
                       {510, 231, "ft", kGrey},
                       {672, 315, "Straight push backs only", kBlack},
                       {536, 315, "max live:", kYellow},
                       {217, 315, "generic max park:", kGrey},
                       {450, 203, "Helicopters", kGrey},
                       {343, 203, "Light aircraft", kBlack},
                   });
}

TEST_F(Labels, StateLabels) {
  openWindow();
  auto ops = paintAll();
  EXPECT_FALSE(textAt(ops, 217, 175)) << "no TBLO airports";
  EXPECT_FALSE(textAt(ops, 5, 343)) << "no renewal countdown";
  EXPECT_FALSE(textAt(ops, 561, 259)) << "no object id";

  gAppState.tbloAirportCount = 1;
  gAppState.staticParkingBusy = true;
  gAppState.parkFileLoaded = true;
  gAppState.minutesToRenewal = 5;
  gAppState.objectIdText.set("oid 1234");
  ops = paintAll();
  EXPECT_TRUE(hasText(ops, 217, 175, "1 airport in TBLO folder", kYellow));
  EXPECT_TRUE(hasText(ops, 5, 315, "Airport parking active", kYellow));
  EXPECT_FALSE(textAt(ops, 5, 343)) << "no countdown while static parking is computed";
  EXPECT_FALSE(textAt(ops, 561, 259)) << "no object id while the lookup box is empty";

  gAppState.tbloAirportCount = 3;
  gAppState.staticParkingBusy = false;
  CALLSIGN_2_OBJECTID.setValue("DLH4");
  ops = paintAll();
  expectTexts(ops, {
                       {217, 175, "3 airports in TBLO folder", kYellow},
                       {5, 315, "Airport parking", kBlack},
                       {5, 343, "(next in 5 min)", kBlack},
                       {561, 259, "oid 1234", kBlack},
                   });

  for (int minutes : {0, 20}) {
    gAppState.minutesToRenewal = minutes;
    EXPECT_FALSE(textAt(paintAll(), 5, 343)) << minutes;
  }
  gAppState.minutesToRenewal = 19;
  INITIAL_LOAD_ONLY.value = true;
  EXPECT_FALSE(textAt(paintAll(), 5, 343)) << "no renewal with initial load only";
  INITIAL_LOAD_ONLY.value = false;
  gAppState.parkFileLoaded = false;
  EXPECT_FALSE(textAt(paintAll(), 5, 343)) << "no renewal without a parking file";
}

}  // namespace
