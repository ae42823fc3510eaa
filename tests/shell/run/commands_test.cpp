// The window's commands through the real window procedure: clicks with
// gf_testClick, Enter typed into the edit boxes, read back from the controls,
// parameters.xml, Log.txt and the recording doubles.
#include "shell/commands.h"

#include <cmath>
#include <thread>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "core/util.h"
#include "run_test_support.h"
#include "shell/auto_range.h"
#include "shell/controls.h"
#include "traffic/engine.h"

namespace {

class Commands : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    gf_setWindowHooks({.onCommand = lf_onCommand, .startUp = {}, .exit = [](int reason, int delay) {
                         run_doubles::record(sk::format("exit({}, {})", reason, delay));
                       }});
    gf_setEditProcedures(gf_commandEditProcedures());
  }

  void TearDown() override {
    gf_setEditProcedures({});
    RunTest::TearDown();
    lf_resetParameters();
    gAirports.clear();
    gParkAirports.clear();
    gActs.clear();
    gStaticActs.clear();
    gStartupPhase.store(true);
    for (auto* flag : {&gNavLightsRequest, &gTrimLiveRequest, &gAirportScanResetRequest, &gAutoRangeRequest,
                       &gParkAirportSelectRequest})
      flag->store(false);
  }

  static void lf_resetParameters() {
    for (const SettingControl& control : gf_settingControls()) {
      if (auto* box = dynamic_cast<CheckboxParameter*>(control.binding)) box->value = box->defaultValue;
      if (auto* number = dynamic_cast<IntEditParameter*>(control.binding)) number->value = number->defaultValue;
      if (auto* decimal = dynamic_cast<FloatEditParameter*>(control.binding)) decimal->value = decimal->defaultValue;
      if (auto* text = dynamic_cast<StringEditParameter*>(control.binding)) text->setValue(text->defaultValue);
    }
    MAX_FIT.value = MAX_FIT.defaultValue;
    for (StringParameter* text : {&MSFS_INSTALL_PATH, &MSFS_2024_INSTALL_PATH, &MYLINKPACK24_VERSION}) {
      text->setValue("");
    }
  }

  // Enter in the box after its text was set; the box is enabled first.
  static void enter(const ControlBinding& box, const std::u16string& text) {
    EnableWindow(box.controlWindow, TRUE);
    SetWindowTextW(box.controlWindow, reinterpret_cast<LPCWSTR>(text.c_str()));
    ASSERT_TRUE(gf_testType(box.controlWindow, u"\r"));
  }
  static void click(const ControlBinding& control) {
    EnableWindow(control.controlWindow, TRUE);
    ASSERT_TRUE(gf_testClick(control.controlWindow));
  }
  static std::u16string boxText(const ControlBinding& box) { return gf_testControlState(box.controlWindow).text; }
  static std::vector<std::string> exits() {
    std::vector<std::string> found;
    for (const std::string& call : run_doubles::calls()) {
      if (call.rfind("exit(", 0) == 0) found.push_back(call);
    }
    return found;
  }
  static long count(const std::vector<std::string>& calls, const std::string& call) {
    return std::count(calls.begin(), calls.end(), call);
  }
};

TEST_F(Commands, NumberBoxesClampSaveAndConfirm) {
  openWindow();
  struct Step {
    IntEditParameter& box;
    std::u16string typed;
    std::int32_t value;
    std::string shown;
    std::string logged;  // what the log gains; "" none of the message
    std::string saved;   // parameters.xml's value; "" absent
  };
  const Step steps[] = {
      {LATERAL_RANGE, u"500", 100, "The new LATERAL_RANGE is 100", "LATERAL_RANGE=100", "100"},
      {LATERAL_RANGE, u"100", 100, "Same LATERAL_RANGE value 100, no changes made",
       "Same LATERAL_RANGE value 100, no changes made", "100"},
      {LATERAL_RANGE, u"abc", 100, "invalid input: abc", "invalid input: abc", "100"},
      {LATERAL_RANGE, u"99999999999", 100, "", "===> procesTbInt exception stoi, h=99999999999 ", "100"},
      {parking_percentage, u"", 0, "The new parking_percentage is 0", "", ""},
      {MATCHING_DEPTH, u"2", 2, "The new MATCHING_DEPTH is 2", "MATCHING_DEPTH=2", "2"},
  };
  for (const Step& step : steps) {
    const std::size_t before = logged().size();
    enter(step.box, step.typed);
    const std::string gained = logged().substr(before);
    EXPECT_EQ(step.box.value, step.value) << step.box.name;
    EXPECT_EQ(boxText(step.box), u16(std::to_string(step.value))) << step.box.name;
    EXPECT_EQ(messageText(), step.shown);
    if (step.logged.empty()) {
      EXPECT_EQ(gained, "");
    } else {
      EXPECT_NE(gained.find(step.logged), std::string::npos) << gained;
    }
    EXPECT_EQ(saved(step.box.name), step.saved) << step.box.name;
  }
  EXPECT_EQ(gLateralRangeMeters.load(), 185200U);
  EXPECT_FALSE(gMatchingDepthRaised.load()) << "lowered";
  enter(MATCHING_DEPTH, u"3");
  EXPECT_TRUE(gMatchingDepthRaised.load()) << "raised";

  // MAX_FIT_FL only counts with a park file; MAX_FIT, in half hours, is the one saved.
  enter(MAX_FIT_FL, u"2.2");
  EXPECT_EQ(MAX_FIT_FL.value, 24.0F);
  EXPECT_EQ(saved("MAX_FIT"), "");
  gAppState.parkFileLoaded.store(true);
  enter(MAX_FIT_FL, u"2.2");
  EXPECT_EQ(MAX_FIT_FL.value, 2.0F);
  EXPECT_EQ(saved("MAX_FIT"), "3");
  EXPECT_EQ(boxText(MAX_FIT_FL), u"2");
  EXPECT_EQ(messageText(), "Skylume will respond in 15 seconds ...") << "the renewal follows";
  EXPECT_TRUE(gRenewParkingRequest.load());
  for (const std::u16string typed : {u"nan", u"-inf"}) {
    enter(MAX_FIT_FL, typed);
    EXPECT_EQ(messageText(), "invalid input: " + gf_utf16ToUtf8(typed));
    EXPECT_EQ(MAX_FIT_FL.value, 2.0F);
    EXPECT_EQ(saved("MAX_FIT"), "3");
  }
}

TEST_F(Commands, CallsignAndDestinationBoxes) {
  openWindow();
  gAirports.push_back({"EGLL", "LHR", 51.47, -0.46, 83});
  enter(BLOCK_CALLSIGN, u"ab1");
  EXPECT_EQ(messageText(), "callsign \"ab1\" is not valid");
  EXPECT_EQ(boxText(BLOCK_CALLSIGN), u"");
  enter(BLOCK_CALLSIGN, u"abc1");
  EXPECT_EQ(saved("BLOCK_CALLSIGN"), "ABC1");
  EXPECT_EQ(boxText(BLOCK_CALLSIGN), u"ABC1");
  EXPECT_TRUE(gf_testControlState(gUnblockButton.controlWindow).enabled);
  EXPECT_TRUE(gCallsignBlockRequest.exchange(false));
  ASSERT_TRUE(gf_testClick(gUnblockButton.controlWindow));
  EXPECT_EQ(saved("BLOCK_CALLSIGN"), "");
  EXPECT_EQ(messageText(), "no more blocking of live aircraft \"ABC1\"");
  EXPECT_NE(logged().find("no more blocking of live aircraft \"ABC1\""), std::string::npos);
  EXPECT_TRUE(gCallsignBlockRequest.load());

  EnableWindow(gReReadButton.controlWindow, TRUE);
  enter(DESTINATION, u"egll");
  EXPECT_EQ(messageText(), "New destination: EGLL");
  EXPECT_EQ(saved("DESTINATION"), "EGLL");
  // The park-airport list is the main loop's: the window only asks.
  EXPECT_EQ(count(run_doubles::calls(), "gf_selectParkAirport(EGLL)"), 0);
  gf_serveCommandRequests();
  EXPECT_EQ(count(run_doubles::calls(), "gf_selectParkAirport(EGLL)"), 1);
  EXPECT_FALSE(gf_testControlState(gReReadButton.controlWindow).enabled);
  enter(DESTINATION, u"zzzz");
  EXPECT_EQ(messageText(), "destination \"ZZZZ\" is unknown ...");
  EXPECT_EQ(boxText(DESTINATION), u"EGLL");
  enter(DESTINATION, u"");
  EXPECT_EQ(messageText(), "destination set to empty");
  EXPECT_EQ(DESTINATION.value(), "");
  EXPECT_EQ(saved("DESTINATION"), "EGLL") << "saved empty only at the final exit";
}

TEST_F(Commands, InstallPathIsTheFolderHoldingCommunity) {
  MSFS_2020.value = false;
  openWindow();
  const std::string tmp = folder().string();
  std::filesystem::create_directories(folder() / "CommunityGames" / "MSFS" / "Community");
  struct Case {
    std::string typed;
    std::string shown;
    std::string stored;
    bool restarts;
  };
  const Case cases[] = {
      {tmp + "/nope", "This install path does not exist: " + tmp + "/nope", "", false},
      {tmp + "/CommunityGames", "This path exists but is not a path to Community ...", "", false},
      {tmp + "/CommunityGames/MSFS/Community/", "Community path found, Skylume will restart ...",
       tmp + "/CommunityGames/MSFS", true},
  };
  for (const Case& c : cases) {
    enter(ALL_INSTALL_PATH, u16(c.typed));
    EXPECT_EQ(messageText(), c.shown) << c.typed;
    EXPECT_EQ(saved("MSFS_2024_INSTALL_PATH"), c.stored) << c.typed;
    EXPECT_EQ(exits(), c.restarts ? std::vector<std::string>{"exit(3, 3)"} : std::vector<std::string>{}) << c.typed;
  }
}

TEST_F(Commands, EngineWorkWaitsForTheMainLoop) {
  for (std::uint32_t id = 1; id <= 3; ++id) {
    StaticAct aircraft(ActBase{}, id, 0.0, 0.0, 0.0, false);
    aircraft.objectId = 100 + id;
    aircraft.state = ACT_PRESENT;
    gStaticActs.push_back(std::move(aircraft));
  }
  for (ActPhase phase : {PHASE_PARKED, PHASE_PARKED, PHASE_GROUND}) {
    Act aircraft(ActBase{}, TrackPoint{}, 0.0);
    aircraft.objectId = 200 + static_cast<std::uint32_t>(gActs.size());
    aircraft.state = ACT_PRESENT;
    aircraft.phase = phase;
    gActs.push_back(std::move(aircraft));
  }
  openWindow();
  click(NAV_LIGHTS_WHILE_PARKED);
  enter(MAX_LIVE, u"3");
  EXPECT_EQ(run_doubles::callsOn(std::this_thread::get_id()), std::vector<std::string>{}) << "window thread";

  std::thread loop([] { lf_secondTick(); });
  const std::thread::id loopId = loop.get_id();
  loop.join();
  const auto onLoop = run_doubles::callsOn(loopId);
  EXPECT_EQ(std::count_if(onLoop.begin(), onLoop.end(),
                          [](const std::string& c) { return c.rfind("gf_setNavLights(", 0) == 0; }),
            5);
  for (const char* call : {"gf_setNavLights(101, 0)", "gf_setNavLights(200, 0)", "gf_setNavLights(201, 0)"}) {
    EXPECT_EQ(count(onLoop, call), 1) << call;
  }
  EXPECT_EQ(count(onLoop, "gf_trimLiveToMax"), 1);
  EXPECT_EQ(run_doubles::callsOn(std::this_thread::get_id()), std::vector<std::string>{});
}

TEST_F(Commands, SimulatorSwitchAndScansRestartTheRun) {
  std::filesystem::create_directories(folder() / "output");
  writeBytes(folder() / "output" / "LiveriesScanned.xml", "<x/>");
  MYLINKPACK24_VERSION.setAndSave("1.2.3");
  SCAN_AIRPORTS.value = false;
  openWindow();
  ALL_INSTALL_PATH.setValue("D:/MSFS");
  click(MSFS_2020);
  EXPECT_EQ(messageText(), "Switching Simulator to MSFS 2024");
  EXPECT_NE(logged().find("Switching Simulator to MSFS 2024"), std::string::npos);
  EXPECT_EQ(saved("MSFS_2020"), "false");
  EXPECT_EQ(saved("SCAN_AIRPORTS"), "true");
  EXPECT_EQ(saved("SCAN_LIVERIES"), "true");
  EXPECT_TRUE(gf_testControlState(SCAN_AIRPORTS.controlWindow).checked);
  EXPECT_EQ(saved("MYLINKPACK24_VERSION"), "");
  EXPECT_EQ(ALL_INSTALL_PATH.value(), "");
  EXPECT_FALSE(std::filesystem::exists(folder() / "output" / "LiveriesScanned.xml"));
  EXPECT_EQ(run_doubles::calls(), (std::vector<std::string>{"gf_requestLiveryClearing", "exit(3, 3)"}))
      << "the scan reset waits for the next start-up";
  std::thread([] { gf_serveAirportScanReset(); }).join();
  std::thread([] { gf_serveAirportScanReset(); }).join();
  EXPECT_EQ(count(run_doubles::calls(), "gf_resetAirportScan"), 1);

  run_doubles::clear();
  SCAN_LIVERIES.value = false;
  CheckDlgButton(gDlgParent.load(), SCAN_LIVERIES.controlId, BST_UNCHECKED);
  click(SCAN_LIVERIES);
  EXPECT_EQ(messageText(), "Your liveries will be scanned");
  EXPECT_EQ(run_doubles::calls(), (std::vector<std::string>{"gf_requestLiveryClearing", "exit(3, 2)"}));
  click(SCAN_LIVERIES);
  EXPECT_EQ(messageText(), "");
  gStartupPhase.store(false);
  run_doubles::clear();
  click(SCAN_LIVERIES);
  EXPECT_EQ(messageText(),
            "Your liveries will be scanned at the next start of Skylume, recommended after you have add/removed AI "
            "aircraft models/liveries");
  EXPECT_EQ(run_doubles::calls(), std::vector<std::string>{});
}

TEST_F(Commands, CheckBoxesFollowTheirRows) {
  AUTO_RANGE.value = false;
  LATERAL_RANGE.value = 55;
  HWND window = openWindow();
  struct Row {
    CheckboxParameter& box;
    std::string shown;
  };
  const Row rows[] = {
      {LIG_PRIORITIZE, "Liveries in lower lfolders that are already available will be skipped"},
      {COLLISION_USER_GND, "Be aware, no collision avoidance with user aircraft on the ground"},
      {SUPPRESS_STUB, ""},
      {GUID_CHANGES, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc.."},
      {INITIAL_LOAD_ONLY, "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes"},
      {LIG_AUTOMATIC, "The liveries defined by your lfolder parameters will be scanned"},
      {ALWAYS_ON_TOP, "Skylume's window will remain visible"},
  };
  for (const Row& row : rows) {
    const bool before = row.box.value;
#ifndef _WIN32  // Windows keeps no record of the invalidations
    gf_testClearInvalidations(window);
#endif
    click(row.box);
    EXPECT_EQ(row.box.value, !before) << row.box.name;
    EXPECT_EQ(gf_testControlState(row.box.controlWindow).checked, row.box.value) << row.box.name;
    EXPECT_EQ(saved(row.box.name), row.box.value ? "true" : "false") << row.box.name;
    EXPECT_EQ(messageText(), row.shown) << row.box.name;
#ifndef _WIN32
    const auto marks = gf_testInvalidations(window);
    EXPECT_NE(std::find(marks.begin(), marks.end(), Invalidation{kSettingsRect, true}), marks.end()) << row.box.name;
#endif
  }
  EXPECT_NE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

  click(AUTO_RANGE);
  EXPECT_EQ(LATERAL_RANGE.value, 55) << "the main loop sets the automatic range";
  gf_serveCommandRequests();
  EXPECT_EQ(LATERAL_RANGE.value, 40) << "in the air without a park airport";
  click(AUTO_RANGE);
  EXPECT_EQ(LATERAL_RANGE.value, 55) << "the manual range is back";
  EXPECT_EQ(boxText(LATERAL_RANGE), u"55");
  EXPECT_EQ(gLateralRangeMeters.load(), 55U * 1852U);
  click(AUTO_RANGE);
  click(AUTO_RANGE);
  gf_serveCommandRequests();
  EXPECT_EQ(LATERAL_RANGE.value, 55) << "switched off before it was served";

#ifndef _WIN32
  gf_testClearInvalidations(window);
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(40000, 0), 0);
  EXPECT_EQ(gf_testInvalidations(window), std::vector<Invalidation>{}) << "an unknown id is not handled";
#endif
}

TEST_F(Commands, RangeRules) {
  openWindow();
  gAppState.parkFileLoaded.store(true);
  for (const auto& [seconds, shown] : {std::pair{30, "Skylume will respond in 15 seconds ..."},
                                       std::pair{44, "Skylume will respond in 1 second ..."}}) {
    gSeconds.store(seconds);
    click(WEEK);
    EXPECT_EQ(messageText(), shown) << seconds;
  }

  struct Situation {
    bool onGround;
    double altitude;
    bool parkAirport;
    std::int32_t range;
  };
  const Situation situations[] = {
      {true, 0.0, true, 10}, {false, 1000.0, true, 23}, {false, 1000.0, false, 40}, {false, 49500.0, true, 100}};
  for (const Situation& s : situations) {
    gUserOnGround.store(s.onGround);
    gUserAc.latitude = 20.4 / 60.0;
    gUserAc.altitude = s.altitude;
    gParkAirports.clear();
    if (s.parkAirport) gParkAirports.push_back({"EGLL", "", 0.0, 0.0, 0.0});
    gf_autoRange();
    EXPECT_EQ(LATERAL_RANGE.value, s.range);
    EXPECT_EQ(gLateralRangeMeters.load(), static_cast<std::uint32_t>(s.range) * 1852U);
  }
}

TEST_F(Commands, BadTypedTextChangesNothing) {
  openWindow();
  BLOCK_CALLSIGN.setAndSave("ABC1");
  MSFS_INSTALL_PATH.setAndSave(folder().string());
  DESTINATION.setAndSave("EGLL");
  const std::string before = readText(gf_parametersFile());
  const std::u16string slip{u'4', static_cast<char16_t>(0xD800)};
  for (const ControlBinding* box :
       std::initializer_list<const ControlBinding*>{&BLOCK_CALLSIGN, &ALL_INSTALL_PATH, &DESTINATION, &LATERAL_RANGE}) {
    const std::size_t logSize = logged().size();
    enter(*box, slip);
    const std::string gained = logged().substr(logSize);
    EXPECT_EQ(std::count(gained.begin(), gained.end(), '\n'), 1) << gained;
    EXPECT_EQ(gained.find("===>"), std::string::npos) << gained;
  }
  EXPECT_EQ(BLOCK_CALLSIGN.value(), "ABC1");
  EXPECT_EQ(MSFS_INSTALL_PATH.value(), folder().string());
  EXPECT_EQ(DESTINATION.value(), "EGLL");
  EXPECT_EQ(LATERAL_RANGE.value, 40);
  EXPECT_EQ(readText(gf_parametersFile()), before);
  EXPECT_EQ(exits(), std::vector<std::string>{});

  enter(LATERAL_RANGE, std::u16string(509, u' ') + u"427");
  EXPECT_EQ(LATERAL_RANGE.value, 42) << "only the first 511 units are read";
}

}  // namespace
