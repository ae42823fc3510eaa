#include <atomic>
#include <thread>

#include "shell_test_support.h"

namespace {

constexpr RECT kSimLight{397, 30, 425, 112};
constexpr RECT kRtLight{425, 30, 453, 112};

using StatusArea = ShellTest;

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
      gAppState.userTitle.set(i % 2 ? std::string(60, 'x') : std::string(7, 'y'));
    }
    done = true;
  });
  int torn = 0;
  while (!done.load()) {
    const auto op = textAt(paintAll(), 5, 63);
    if (op && op->text != std::u16string(60, u'x') && op->text != std::u16string(7, u'y')) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
