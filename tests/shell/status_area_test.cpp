#include <atomic>
#include <sstream>
#include <thread>

#include "core/util.h"
#include "shell/controls.h"
#include "shell_test_support.h"

namespace {

constexpr RECT kSimLight{397, 30, 425, 112};
constexpr RECT kRtLight{425, 30, 453, 112};

using StatusArea = ShellTest;

// A line of text in the window's font is at most this high.
constexpr int kLineHeight = 13;

// The texts of a paint that reach the next text, control or light beginning to
// their right on their line (or the window's edge), in the font they were drawn in.
std::vector<std::string> overruns(const std::vector<PaintOp>& ops, HWND window) {
  struct Start {
    int x, top, bottom;
  };
  std::vector<Start> starts;
  for (const PaintOp& op : ops) {
    if (op.kind == PaintOp::Kind::Text) starts.push_back({op.rect.left, op.rect.top, op.rect.top + kLineHeight});
    // The bands begin at the left edge; the lights do not.
    if (op.kind == PaintOp::Kind::Fill && op.rect.left > 0) {
      starts.push_back({op.rect.left, op.rect.top, op.rect.bottom});
    }
  }
  for (const SettingControl& control : gf_settingControls()) {
    const RECT rect = gf_testControlState(control.binding->controlWindow).rect;
    starts.push_back({rect.left, rect.top, rect.bottom});
  }
  RECT client{};
  GetClientRect(window, &client);
  std::vector<std::string> found;
  for (const PaintOp& op : ops) {
    if (op.kind != PaintOp::Kind::Text) continue;
    const int x = op.rect.left, top = op.rect.top;
    int next = client.right;
    for (const Start& start : starts) {
      if (start.x > x && start.top < top + kLineHeight && start.bottom > top) next = std::min(next, start.x);
    }
    if (x + op.width >= next) {
      std::ostringstream out;
      out << op << " ends at " << x + op.width << ", the next begins at " << next;
      found.push_back(out.str());
    }
  }
  return found;
}

TEST_F(StatusArea, BeforeTheSimulatorLinkOpens) {
  auto ops = paintAll();
  EXPECT_EQ(lastFill(ops, kSimLight), kRed);
  expectTexts(ops, {
                       {398, 63, "Sim", kBlack},
                       {5, 35, "MSFS 2020 mode", kGreen},
                       {5, 91, "# liveries: ...", kRed},
                       {141, 91, "# linkpack: ...", kYellow},
                       {278, 91, "# thirdp: ...", kYellow},
                   });
  // RealTraffic not seen yet: dark light, no reader names, no figures.
  EXPECT_EQ(lastFill(ops, kRtLight), kBlack);
  EXPECT_TRUE(hasText(ops, 430, 63, "RT", kBlack));
  for (auto [x, y] : {std::pair{458, 63}, {458, 91}, {642, 63}, {642, 91}, {5, 63}}) {
    EXPECT_FALSE(textAt(ops, x, y)) << x << "," << y;
  }

  MSFS_2020.value = false;
  ops = paintAll();
  EXPECT_TRUE(hasText(ops, 5, 35, "MSFS 2024 mode", kGreen));
}

TEST_F(StatusArea, CountsTurnGreenOnceKnown) {
  gAppState.liveryCount = 120;
  gAppState.linkpackCount = 7;
  gAppState.thirdpCount = 1;
  const auto ops = paintAll();
  expectTexts(ops, {
                       {5, 91, "# liveries: 120", kGreen},
                       {141, 91, "# linkpack: 7", kGreen},
                       {278, 91, "# thirdp: 1", kGreen},
                   });
}

TEST_F(StatusArea, ErrorPaintsTheMessageBandRed) {
  gf_showError("Community folder not found");
  const auto ops = paintAll();
  EXPECT_EQ(lastFill(ops, kMessageRect), kRed);
  EXPECT_TRUE(hasText(ops, 3, 455, "Community folder not found", kYellow));

  gf_clearError();
  gf_showMessage("all fine", false);
  const auto after = paintAll();
  EXPECT_EQ(lastFill(after, kMessageRect), kGreen);
  EXPECT_TRUE(hasText(after, 3, 455, "all fine", kYellow));
}

TEST_F(StatusArea, FrameBandsAndLines) {
  const auto ops = paintAll();
  EXPECT_EQ(lastFill(ops, kHeaderRect), kBlack);
  EXPECT_EQ(lastFill(ops, kStatusRect), kBlack);
  EXPECT_EQ(lastFill(ops, kSettingsRect), kLightBlue);
  EXPECT_EQ(lastFill(ops, kParkingRect), kBlack);
  EXPECT_EQ(lastFill(ops, kMessageRect), kGreen);
  auto hasLine = [&](int x1, int y1, int x2, int y2, COLORREF colour) {
    return std::count(ops.begin(), ops.end(), PaintOp::line(x1, y1, x2, y2, colour)) == 1;
  };
  for (int y : {28, 113, 449, 392}) EXPECT_TRUE(hasLine(0, y, 880, y, kWhite)) << y;
  for (const RowLine& row : gAppState.rowLines) {
    EXPECT_TRUE(hasLine(row.x1, row.y1, row.x2, row.y2, kBlack)) << row.y1;
  }
  EXPECT_TRUE(hasLine(642, 140, 642, 308, kBlack));
  EXPECT_TRUE(hasLine(425, 29, 425, 112, kBlack));
  EXPECT_TRUE(hasText(ops, 3, 7, "Version 10.9.4", kGreen));
  EXPECT_TRUE(hasText(ops, 390, 7, "Skylume", kGreen));
  // The message line is drawn last, over the rest.
  ASSERT_FALSE(ops.empty());
  EXPECT_EQ(ops.back(), PaintOp::fill(kMessageRect, kGreen));
}

TEST_F(StatusArea, SimulatorLightFollowsLinkFlightAndAircraft) {
  gAppState.simConnected = true;
  gAppState.simName.set("MSFS (11.0.282174.999)");
  auto ops = paintAll();
  EXPECT_EQ(lastFill(ops, kSimLight), kYellow);
  EXPECT_TRUE(hasText(ops, 5, 35, "MSFS (11.0.282174.999)", kYellow));

  gAppState.flightLight = true;
  gAppState.userTitle.set("Cessna 172");
  gAppState.userStand.set("GATE A12");
  ops = paintAll();
  EXPECT_EQ(lastFill(ops, kSimLight), kGreen);
  EXPECT_TRUE(hasText(ops, 5, 35, "MSFS (11.0.282174.999), user stand GATE A12", kGreen));
  EXPECT_TRUE(hasText(ops, 5, 63, "Cessna 172", kGreen));

  gAppState.userSpanKnown = false;
  ops = paintAll();
  EXPECT_TRUE(hasText(ops, 5, 63, "Cessna 172", kYellow));

  // A running flight without a user aircraft text is not yet green.
  gAppState.userTitle.clear();
  ops = paintAll();
  EXPECT_EQ(lastFill(ops, kSimLight), kYellow);
}

TEST_F(StatusArea, RealTrafficBlock) {
  gAppState.rtLightDark = false;
  auto ops = paintAll();
  EXPECT_EQ(lastFill(ops, kRtLight), kRed);

  gAppState.rtShown = true;
  gAppState.rtVersionText.set("RealTraffic 10.0.221");
  gAppState.trafficReaderStatus = READER_RECEIVING;
  gAppState.qnhReaderStatus = READER_SILENT;
  gAppState.qnh = 1013;
  gAppState.liveCount = 5;
  ops = paintAll();
  EXPECT_EQ(lastFill(ops, kRtLight), kGreen);
  expectTexts(ops, {
                       {458, 35, "RealTraffic 10.0.221", kGreen},
                       {458, 63, "Weather", kYellow},
                       {458, 91, "Traffic", kGreen},
                       {642, 63, "qnh: 1013", kGreen},
                       {642, 91, "live:   5", kGreen},
                   });

  gAppState.trafficReaderStatus = READER_SILENT;
  gAppState.qnhReaderStatus = READER_RECEIVING;
  gAppState.qnh = 0;
  ops = paintAll();
  EXPECT_EQ(lastFill(ops, kRtLight), kYellow);
  EXPECT_TRUE(hasText(ops, 458, 63, "Weather", kGreen));
  EXPECT_FALSE(textAt(ops, 642, 63)) << "a QNH of 0 is not drawn";

  gAppState.trafficReaderStatus = READER_STOPPED;
  gAppState.qnhReaderStatus = READER_STOPPED;
  ops = paintAll();
  for (auto [x, y] : {std::pair{458, 63}, {458, 91}, {642, 63}, {642, 91}}) {
    EXPECT_FALSE(textAt(ops, x, y)) << x << "," << y;
  }
}

TEST_F(StatusArea, ParkAirportRows) {
  auto ops = paintAll();
  EXPECT_FALSE(textAt(ops, 5, 399)) << "no park airport, no rows";

  gAppState.parkAirportCode.set("EDDF");
  gAppState.parkAirportLabel.set("EDDF (Frankfurt)");
  ops = paintAll();
  EXPECT_TRUE(hasText(ops, 5, 399, "EDDF (Frankfurt)", kYellow));
  EXPECT_FALSE(textAt(ops, 85, 399)) << "nothing more while not active";
  EXPECT_FALSE(textAt(ops, 5, 427));

  gAppState.parkAirportActive = true;
  gAppState.parkAirportText1.set("archive");
  gAppState.parkAirportText2.set("120 stands");
  gAppState.handMadeMark = true;
  gAppState.parkWeek = 12;
  gAppState.staticMark = true;
  gAppState.qualityText.set("0.8");
  gAppState.reservedStand.set("V12");
  gAppState.updateCount = 42;
  gAppState.standCount = 120;
  gAppState.parkedLiveCount = 3;
  gAppState.liveAverageFit = 1.5F;
  gAppState.maxPark = 40;
  gAppState.maxParkPercentage = 33;
  gAppState.parkedStaticCount = 25;
  gAppState.staticAverageFit = 2.0F;
  ops = paintAll();
  expectTexts(ops, {
                       {5, 399, "EDDF (Frankfurt)", kGreen},
                       {85, 399, " archive, 120 stands (h), wk=12", kGreen},
                       {370, 399, "*S*", kGreen},
                       {430, 399, "qf: 0.8", kGreen},
                       {571, 399, "reserved stand: V12", kRed},
                       {748, 399, "# updates:   42", kGreen},
                       {5, 427, "# stands: 120", kGreen},
                       {111, 427, "parked live:   3", kGreen},
                       {249, 427, "average fit: 1.5", kGreen},
                       {430, 427, "parked static:  25", kGreen},
                       {571, 427, "average fit: 2", kGreen},
                       {708, 427, "max park:  40 (=33 %)", kGreen},
                   });

  gAppState.reservedStandFound = true;
  WEEK.value = true;
  ops = paintAll();
  EXPECT_TRUE(hasText(ops, 571, 399, "reserved stand: V12", kGreen));
  EXPECT_FALSE(textAt(ops, 571, 427)) << "no static fit in week mode";

  gAppState.maxPark = 0;
  gAppState.liveAverageFit = -1.0F;
  gAppState.handMadeMark = false;
  ops = paintAll();
  EXPECT_TRUE(hasText(ops, 708, 427, "no max park live", kGreen));
  EXPECT_FALSE(textAt(ops, 430, 427)) << "no parked static figure without max park";
  EXPECT_FALSE(textAt(ops, 249, 427));
  EXPECT_TRUE(hasText(ops, 85, 399, " archive, 120 stands, wk=12", kGreen));
}

// The longest texts the program writes, in the font the window draws them in.
TEST_F(StatusArea, EveryTextEndsBeforeTheNextOnItsLine) {
  HWND window = openWindow();
  AppState& s = gAppState;
  s.simConnected = true;
  s.simName.set("MSFS 2020 (11.0.282174.999)");
  s.userStand.set("GATE 12A");
  const std::string title = "Airbus A320neo FlyByWire Lufthansa D-AINA (Fernweh, winglets, new engines) 4K";
  s.userTitle.set(title);
  s.liveryCount = 12345;
  s.linkpackCount = s.thirdpCount = 1234;
  s.rtShown = true;
  s.rtVersionText.set("RT prof edition: 10.0.221");
  s.trafficReaderStatus = s.qnhReaderStatus = READER_RECEIVING;
  s.qnh = 1013;
  s.tbloAirportCount = 12;
  s.staticParkingBusy = true;
  CALLSIGN_2_OBJECTID.setValue("DLH4AB");
  s.objectIdText.set("= 4294967295");
  s.parkAirportCode.set("LFBO");
  s.parkAirportLabel.set("LFBO (TLS)");
  s.parkAirportActive = s.handMadeMark = s.staticMark = true;
  s.parkAirportText1.set(gf_pathToUtf8(MyThirdpartyFolder / "LFBO.xml"));
  s.parkAirportText2.set("unknown");
  s.parkWeek = 52;
  s.qualityText.set("12/34");
  s.reservedStand.set("GATE 12A");
  s.updateCount = 9999;
  s.liveCount = s.standCount = s.parkedLiveCount = s.maxPark = s.parkedStaticCount = 999;
  s.maxParkPercentage = 100;
  s.liveAverageFit = s.staticAverageFit = 10.5F;
  auto ops = paintAll();
  EXPECT_EQ(overruns(ops, window), std::vector<std::string>{});
  // A title too long for its place is cut before the light, not drawn over it:
  // what is drawn is its beginning, at least 20 units of it.
  const auto shownTitle = textAt(ops, 5, 63);
  ASSERT_TRUE(shownTitle);
  EXPECT_EQ(u16(title).substr(0, std::max<std::size_t>(shownTitle->text.size(), 20)), shownTitle->text);

  // A name from a link file that no place could hold ends before the quality.
  s.staticMark = false;
  const std::string server = "archive/thirdparty/some_long_publisher_name/LFBO_Toulouse_Blagnac_v2.xml";
  s.parkAirportText1.set(server);
  ops = paintAll();
  EXPECT_EQ(overruns(ops, window), std::vector<std::string>{});
  const auto cut = textAt(ops, 85, 399);
  ASSERT_TRUE(cut);
  EXPECT_EQ(u16(" " + server).substr(0, std::max<std::size_t>(cut->text.size(), 20)), cut->text);

  // The buttons' captions, in the controls' own font.
  for (const ParameterButton* button : {&gUnblockButton, &gReReadButton, &gFlushStaticButton}) {
    const ControlState state = gf_testControlState(button->controlWindow);
    EXPECT_LT(state.textWidth, state.rect.right - state.rect.left - 6) << button->name;
  }
}

TEST_F(StatusArea, TextThatDoesNotConvertIsLoggedNotDrawn) {
  gAppState.simConnected = true;
  gAppState.simName.set("MSFS");
  gAppState.userTitle.set("bad \xff title");
  const auto ops = paintAll();
  EXPECT_FALSE(textAt(ops, 5, 63));
  EXPECT_TRUE(textAt(ops, 5, 35));
  EXPECT_NE(logged().find("bad \xff title conversion exception"), std::string::npos) << logged();
  EXPECT_NE(logged().find("error code: 1113"), std::string::npos);
}

TEST_F(StatusArea, RecountRepaintsOnlyTheBandThatChanged) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows keeps no record of the invalidations a window was given: only Linux's window layer does";
#else
  HWND window = openWindow();
  gf_testClearInvalidations(window);

  lf_updateAircraftCounts({.live = 0, .parkedLive = 0, .parkedStatic = 0});
  EXPECT_TRUE(gf_testInvalidations(window).empty());

  lf_updateAircraftCounts({.live = 4, .parkedLive = 0, .parkedStatic = 0});
  EXPECT_EQ(gf_testInvalidations(window), (std::vector<Invalidation>{{kStatusRect, true}}));
  EXPECT_EQ(gAppState.liveCount.load(), 4);

  gf_testClearInvalidations(window);
  lf_updateAircraftCounts({.live = 4, .parkedLive = 2, .parkedStatic = 0});
  EXPECT_EQ(gf_testInvalidations(window), (std::vector<Invalidation>{{kParkingRect, true}}));

  gf_testClearInvalidations(window);
  lf_updateAircraftCounts({.live = 4, .parkedLive = 2, .parkedStatic = 9});
  EXPECT_EQ(gf_testInvalidations(window), (std::vector<Invalidation>{{kParkingRect, true}}));
  EXPECT_EQ(gAppState.parkedLiveCount.load(), 2);
  EXPECT_EQ(gAppState.parkedStaticCount.load(), 9);
#endif
}

TEST_F(StatusArea, WindowPaintDrawsTheState) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows keeps no record of what a window's own paints drew: only Linux's window layer does";
#else
  HWND window = openWindow();
  gAppState.liveryCount = 120;
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
  const auto ops = gf_testLastPaint(window);
  EXPECT_TRUE(hasText(ops, 5, 91, "# liveries: 120", kGreen));
  EXPECT_TRUE(hasText(ops, 25, 119, "Install path:", kBlack));
#endif
}

// The SimConnect thread renames the user aircraft while the window paints it.
TEST_F(StatusArea, StatusTextsCrossThreadsWhole) {
  gAppState.simConnected = true;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) {
      gAppState.userTitle.set(i % 2 ? std::string(40, 'x') : std::string(7, 'y'));
    }
    done = true;
  });
  int torn = 0;
  while (!done.load()) {
    const auto op = textAt(paintAll(), 5, 63);
    if (op && op->text != std::u16string(40, u'x') && op->text != std::u16string(7, u'y')) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
