#include <future>
#include <new>
#include <stdexcept>
#include <thread>

#include "core/errors.h"
#include "shell/controls.h"
#include "shell/entry.h"
#include "shell_test_support.h"

namespace {

using MainWindow = ShellTest;

RECT windowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

TEST_F(MainWindow, OpensAtTheDefaultPositionWithoutParametersXml) {
  HWND window = openWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(windowRect(window), (RECT{400, 20, 400 + 880, 20 + 516}));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & (WS_CAPTION | WS_SYSMENU),
            WS_CAPTION | WS_SYSMENU);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) &
                (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
            0U);
  EXPECT_EQ(gDlgParent.load(), window);
  EXPECT_FALSE(std::filesystem::exists(folder() / "parameters.xml")) << "nothing written";
}

TEST_F(MainWindow, OpensAtTheSavedPosition) {
  // Written on Windows: CR LF line ends.
  std::filesystem::copy_file(shellFixture("parameters_position.xml"), folder() / "parameters.xml");
  HWND window = openWindow();
  EXPECT_EQ(windowRect(window).left, 123);
  EXPECT_EQ(windowRect(window).top, 456);
}

TEST_F(MainWindow, PositionAtALimitBecomesTheDefault) {
  // The window was minimised when the program last closed.
  std::filesystem::copy_file(shellFixture("parameters_minimised.xml"), folder() / "parameters.xml");
  HWND window = openWindow();
  EXPECT_EQ(windowRect(window).left, 400);
  EXPECT_EQ(windowRect(window).top, 20);
  const std::string file = readText(folder() / "parameters.xml");
  EXPECT_NE(file.find(R"(name="MAIN_WINDOW_X" value="400")"), std::string::npos) << file;
  EXPECT_NE(file.find(R"(name="MAIN_WINDOW_Y" value="20")"), std::string::npos) << file;
  EXPECT_NE(file.find(R"(name="LOG" value="false")"), std::string::npos) << "the rest stays";
}

TEST_F(MainWindow, FinalExitSavesThePositionAndQuits) {
  HWND window = openWindow();
  SetWindowPos(window, nullptr, 210, 330, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageW(window, WM_APP_FINAL_EXIT, 0, 0);
  EXPECT_EQ(gAppState.MAIN_WINDOW_X.value, 210);
  EXPECT_EQ(gAppState.MAIN_WINDOW_Y.value, 330);
  const std::string file = readText(folder() / "parameters.xml");
  EXPECT_NE(file.find(R"(name="MAIN_WINDOW_X" value="210")"), std::string::npos) << file;
  EXPECT_NE(file.find(R"(name="MAIN_WINDOW_Y" value="330")"), std::string::npos) << file;
  EXPECT_FALSE(gf_logIsOpen());
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 0U) << "the exit status";
  EXPECT_TRUE(IsWindow(window));
  // A failure's status reaches the end of the message loop.
  SendMessageW(window, WM_APP_FINAL_EXIT, 1, 0);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 1U);
}

TEST_F(MainWindow, FinalExitWhileMinimisedKeepsThePreviousPosition) {
  HWND window = openWindow();
  // The position stored before (as a start-up loads it).
  gAppState.MAIN_WINDOW_X.value = 250;
  gAppState.MAIN_WINDOW_Y.value = 60;

  // Minimised: the system parks the window at -32000, -32000.
  SetWindowPos(window, nullptr, -32000, -32000, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageW(window, WM_APP_FINAL_EXIT, 0, 0);
  drainMessages();
  EXPECT_EQ(gAppState.MAIN_WINDOW_X.value, 250);
  EXPECT_EQ(gAppState.MAIN_WINDOW_Y.value, 60);
  const std::string file = readText(folder() / "parameters.xml");
  EXPECT_NE(file.find(R"(name="MAIN_WINDOW_X" value="250")"), std::string::npos) << file;
  EXPECT_NE(file.find(R"(name="MAIN_WINDOW_Y" value="60")"), std::string::npos) << file;
  // Every save is logged while the log is open: never, not even in between,
  // was the limit saved.
  EXPECT_NE(logged().find("MAIN_WINDOW_X=250\n"), std::string::npos) << logged();
  EXPECT_EQ(logged().find("-30000"), std::string::npos) << logged();

  // Pushed off the screen in one direction only.
  SetWindowPos(window, nullptr, 40000, 70, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageW(window, WM_APP_FINAL_EXIT, 0, 0);
  EXPECT_EQ(gAppState.MAIN_WINDOW_X.value, 250);
  EXPECT_EQ(gAppState.MAIN_WINDOW_Y.value, 70);
}

TEST_F(MainWindow, FinalExitLogsTheTimeBeforeClosingTheLog) {
  HWND window = openWindow();
  SendMessageW(window, WM_APP_FINAL_EXIT, 0, 0);
  const std::string log = logged();
  // "Thu Jan  1 00:00:00 1970" then a blank line, after the two position saves.
  ASSERT_GE(log.size(), 26U);
  EXPECT_EQ(log.substr(log.size() - 2), "\n\n") << log;
}

TEST_F(MainWindow, CloseButtonStartsTheExitAndKeepsTheWindow) {
  std::promise<std::pair<int, int>> exitCall;
  gf_setWindowHooks({.onCommand = {}, .startUp = {}, .exit = [&](int reason, int delay) {
                       exitCall.set_value({reason, delay});
                     }});
  HWND window = openWindow();
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(exitCall.get_future().get(), (std::pair{kExitUserClosed, 0}));
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(hasText(paintAll(), 3, 455, "Close window button clicked, closing Skylume ...", kYellow));
  EXPECT_EQ(logged(), "") << "not logged";
}

TEST_F(MainWindow, CloseWithoutAnExitHookEndsTheWindow) {
  HWND window = openWindow();
  SendMessageW(window, WM_CLOSE, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_APP_FINAL_EXIT);
}

// Log-off: the system may end the process once WM_ENDSESSION returns, so the
// window returns only after the final exit, serving meanwhile what the exit
// sends it from its own thread (as setting a control's text does on Windows).
TEST_F(MainWindow, EndOfTheSessionReturnsOnlyAfterTheFinalExit) {
  std::vector<std::pair<int, int>> exits;
  std::thread exitThread;
  gf_setWindowHooks({.onCommand = {}, .startUp = {}, .exit = [&](int reason, int delay) {
                       exits.emplace_back(reason, delay);
                       if (exits.size() > 1) return;
                       exitThread = std::thread([window = gAppState.mainWindow.load()] {
                         SendMessageW(GetDlgItem(window, DESTINATION.controlId), WM_SETTEXT, 0,
                                      reinterpret_cast<LPARAM>(TEXT("")));
                         PostMessageW(window, WM_APP_FINAL_EXIT, kSimClosedStatus, 0);
                       });
                     }});
  HWND window = openWindow();
  ASSERT_NE(GetDlgItem(window, DESTINATION.controlId), nullptr);
  SetWindowPos(window, nullptr, 210, 330, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

  EXPECT_NE(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), 0) << "the log-off may go on";
  // Another program refused the log-off: the run goes on.
  EXPECT_EQ(SendMessageW(window, WM_ENDSESSION, FALSE, 0), 0);
  EXPECT_TRUE(exits.empty());

  EXPECT_EQ(SendMessageW(window, WM_ENDSESSION, TRUE, 0), 0);
  if (exitThread.joinable()) exitThread.join();
  ASSERT_FALSE(exits.empty());
  EXPECT_EQ(exits.front(), (std::pair{kExitUserClosed, 0}));
  EXPECT_FALSE(gf_logIsOpen());
  const std::string log = readText(folder() / "Log.txt");
  EXPECT_NE(log.find("The session ends: the final exit took "), std::string::npos) << log;
  EXPECT_NE(readText(folder() / "parameters.xml").find(R"(name="MAIN_WINDOW_X" value="210")"), std::string::npos);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(kSimClosedStatus)) << "the final exit's status";

  // No run could start (the data folder could not be made): no final exit of
  // a run will come, the window's own ends the session at once, saving nothing.
  drainMessages();
  std::filesystem::remove(folder() / "parameters.xml");
  gf_startLog(folder() / "Log.txt");
  gf_installNoRunHooks();
  window = openWindow();
  EXPECT_EQ(SendMessageW(window, WM_ENDSESSION, TRUE, 0), 0);
  EXPECT_FALSE(gf_logIsOpen());
  const std::string noRunLog = readText(folder() / "Log.txt");
  EXPECT_NE(noRunLog.find("The session ends: the final exit took "), std::string::npos) << noRunLog;
  EXPECT_FALSE(std::filesystem::exists(folder() / "parameters.xml"));
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(kFailureStatus));
}

TEST_F(MainWindow, CommandsGoToTheCommandHook) {
  std::vector<WPARAM> commands;
  gf_setWindowHooks({.onCommand =
                         [&](HWND, WPARAM wParam) {
                           commands.push_back(wParam);
                           return true;
                         },
                     .startUp = {},
                     .exit = {}});
  HWND window = openWindow();
  ASSERT_TRUE(gf_testClick(GetDlgItem(window, AEROWINX.controlId)));
  EXPECT_EQ(commands, (std::vector<WPARAM>{MAKEWPARAM(AEROWINX.controlId, BN_CLICKED)}));
}

TEST_F(MainWindow, StartUpMessageStartsTheStartUpThread) {
  std::promise<std::thread::id> ran;
  gf_setWindowHooks(
      {.onCommand = {}, .startUp = [&] { ran.set_value(std::this_thread::get_id()); }, .exit = {}});
  HWND window = openWindow();
  PostMessageW(window, WM_APP_STARTUP, 0, 0);
  drainMessages();
  EXPECT_TRUE(ran.get_future().get() != std::this_thread::get_id()) << "a thread of its own";
}

TEST_F(MainWindow, EditBoxesDrawOnTheSettingsBlue) {
  HWND window = openWindow();
  HDC dc = gf_testCreateRecordingDC();
  const auto brush = SendMessageW(window, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), 0);
  EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH)));
  TextOutW(dc, 0, 0, TEXT("x"), 1);
  EXPECT_EQ(gf_testPaintOps(dc).back().background, kLightBlue);
  DeleteDC(dc);
}

// lf_onException inside a catch-all, as the thread bodies use it.
template <typename E>
void reportAs(const char* function, E exception) {
  try {
    throw exception;
  } catch (...) {
    lf_onException(function);
  }
}

std::string errorText() {
  std::lock_guard lock(gAppState.messageMutex);
  return gAppState.errorText;
}

TEST_F(MainWindow, ExceptionsAtTheTopOfAThread) {
  std::vector<std::pair<int, int>> exits;
  gf_setWindowHooks({.onCommand = {}, .startUp = {}, .exit = [&](int reason, int delay) {
                       exits.emplace_back(reason, delay);
                     }});
  reportAs("lf_startUpSKLM", qlx::UserErrorException(12, "No docs folder"));
  EXPECT_EQ(errorText(), "12: No docs folder");
  EXPECT_TRUE(exits.empty()) << "a user error only shows";

  reportAs("mainLoop", fmt::format_error("invalid format string"));
  EXPECT_EQ(errorText(), "std::format error: invalid format string");
  EXPECT_TRUE(exits.empty());

  reportAs("lf_startUpSKLM", qlx::SysErrorException(3, "disk gone"));
  EXPECT_EQ(errorText(), "lf_startUpSKLM: sys error 3: disk gone");
  reportAs("FinalExit", std::out_of_range("vector"));
  EXPECT_EQ(errorText(), "FinalExit: vector");
  reportAs("mainLoop", std::bad_alloc());
  EXPECT_EQ(errorText(), "mainLoop: std::bad_alloc");
  EXPECT_EQ(exits, (std::vector<std::pair<int, int>>(3, {kExitSystemError, 0})));

  reportAs("mainLoop", 42);
  EXPECT_EQ(errorText(), "Unknown exception");
  EXPECT_EQ(exits.size(), 3U);

  lf_onException("nothing in flight");  // outside a handler: no effect
  EXPECT_EQ(errorText(), "Unknown exception");
}

}  // namespace
