#include "platform/window.h"
#include "tests/platform/thread_state.h"
#include "tests/platform/window_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Made during static initialisation, before any window or display exists.
HBRUSH gBlackBrush = CreateSolidBrush(kBlack);
HPEN gWhitePen = CreatePen(PS_SOLID, 1, kWhite);

constexpr int kBoxId = 32797;
constexpr int kButtonId = 32829;
constexpr int kEditId = 32808;

HWND lf_create(const char16_t* cls, WNDPROC proc, HBRUSH background = nullptr) {
  gf_registerTestClass(cls, proc, background);
  return CreateWindowExW(0, cls, u"Skylume", WS_CAPTION | WS_SYSMENU, 400, 20, 880, 516, nullptr,
                         nullptr, nullptr, nullptr);
}

// ---- The test window: a check box, a push button and a subclassed edit box ----

struct MainLog {
  bool createdInsideCreation = false;
  std::vector<WPARAM> commands;
  std::vector<std::pair<UINT, WPARAM>> subclassSeen;
  std::vector<std::pair<UINT, WPARAM>> originalSeen;
  int enters = 0;
  WNDPROC previousEditProc = nullptr;
};
MainLog gMain;
bool gCreating = false;

LRESULT lf_originalSpy(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
WNDPROC gEditOriginal = nullptr;

LRESULT lf_editSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  gMain.subclassSeen.emplace_back(msg, wParam);
  if (msg == WM_CHAR && wParam == 13) {
    ++gMain.enters;
    return 0;
  }
  return CallWindowProcW(gMain.previousEditProc, hwnd, msg, wParam, lParam);
}

// Sits between the subclass and the edit box's own procedure to see what reaches it.
LRESULT lf_originalSpy(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  gMain.originalSeen.emplace_back(msg, wParam);
  return CallWindowProcW(gEditOriginal, hwnd, msg, wParam, lParam);
}

LRESULT lf_mainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: {
      gMain.createdInsideCreation = gCreating;
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
      CreateWindowExW(0, u"button", u"", WS_CHILD | WS_VISIBLE | BS_CHECKBOX, 5, 149, 12, 12, hwnd,
                      gf_controlIdAsMenu(kBoxId), cs->hInstance, nullptr);
      HWND button = CreateWindowExW(0, u"button", u"Unblock", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON,
                                    323, 257, 70, 20, hwnd, gf_controlIdAsMenu(kButtonId),
                                    cs->hInstance, nullptr);
      HWND edit = CreateWindowExW(0, u"Edit", u"", WS_CHILD | WS_VISIBLE | WS_BORDER, 217, 203, 24, 16,
                                  hwnd, gf_controlIdAsMenu(kEditId), cs->hInstance, nullptr);
      gEditOriginal = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(lf_originalSpy)));
      gMain.previousEditProc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(lf_editSubclass)));
      EnableWindow(button, FALSE);
      return 0;
    }
    case WM_COMMAND:
      gMain.commands.push_back(wParam);
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return gf_controlColourOnLightBlue(wParam);
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    gMain = MainLog{};
    gCreating = true;
    hwnd = lf_create(u"SklmTestMain", lf_mainProc, gBlackBrush);
    gCreating = false;
    ASSERT_NE(hwnd, nullptr);
    box = GetDlgItem(hwnd, kBoxId);
    button = GetDlgItem(hwnd, kButtonId);
    edit = GetDlgItem(hwnd, kEditId);
  }
  void TearDown() override { DestroyWindow(hwnd); }

  HWND hwnd = nullptr, box = nullptr, button = nullptr, edit = nullptr;
};

TEST_F(MainWindow, CreateArrivesInsideCreationAndMakesTheControls) {
  EXPECT_TRUE(gMain.createdInsideCreation);
  ControlState b = gf_testControlState(box);
  EXPECT_EQ(b.kind, ControlKind::CheckBox);
  EXPECT_EQ(b.rect, (RECT{5, 149, 17, 161}));
  EXPECT_TRUE(b.enabled);
  EXPECT_FALSE(b.checked);
  ControlState p = gf_testControlState(button);
  EXPECT_EQ(p.kind, ControlKind::PushButton);
  EXPECT_EQ(p.text, u"Unblock");
  EXPECT_FALSE(p.enabled);
  EXPECT_EQ(gf_testControlState(edit).kind, ControlKind::Edit);
  EXPECT_EQ(GetDlgCtrlID(edit), kEditId);
  EXPECT_EQ(GetParent(edit), hwnd);

  RECT r{};
  ASSERT_TRUE(GetWindowRect(hwnd, &r));
  EXPECT_EQ(r, (RECT{400, 20, 1280, 536}));
  ASSERT_TRUE(GetWindowRect(box, &r));
  EXPECT_EQ(r, (RECT{405, 169, 417, 181}));
}

TEST_F(MainWindow, ClickOnTheCheckBoxOnlySendsTheCommand) {
  ASSERT_TRUE(gf_testClick(box));
  ASSERT_EQ(gMain.commands.size(), 1u);
  EXPECT_EQ(LOWORD(gMain.commands[0]), kBoxId);
  EXPECT_EQ(HIWORD(gMain.commands[0]), BN_CLICKED);
  EXPECT_EQ(IsDlgButtonChecked(hwnd, kBoxId), BST_UNCHECKED);

  // The program flips the mark itself.
  EXPECT_TRUE(CheckDlgButton(hwnd, kBoxId, BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(hwnd, kBoxId), BST_CHECKED);
  EXPECT_TRUE(gf_testControlState(box).checked);
  ASSERT_TRUE(gf_testClick(box));
  EXPECT_EQ(IsDlgButtonChecked(hwnd, kBoxId), BST_CHECKED);
}

TEST_F(MainWindow, DisabledButtonIgnoresClicksUntilEnabled) {
  EXPECT_FALSE(gf_testClick(button));
  EXPECT_TRUE(gMain.commands.empty());
  EXPECT_TRUE(EnableWindow(button, TRUE));  // it was disabled
  EXPECT_FALSE(EnableWindow(button, TRUE));
  ASSERT_TRUE(gf_testClick(button));
  ASSERT_EQ(gMain.commands.size(), 1u);
  EXPECT_EQ(gMain.commands[0], MAKEWPARAM(kButtonId, BN_CLICKED));
}

TEST_F(MainWindow, EnterReachesTheSubclassAndEverythingElseTheOriginal) {
  ASSERT_TRUE(gf_testType(edit, u"abc\r"));
  EXPECT_EQ(gMain.enters, 1);
  char16_t text[64];
  EXPECT_EQ(GetWindowTextW(edit, text, 64), 3);
  EXPECT_EQ(std::u16string(text), u"abc");

  // 4 keys x (down, char, up) reached the subclass; the original got all but the Enter character.
  EXPECT_EQ(gMain.subclassSeen.size(), 12u + 1u);  // + the WM_GETTEXT above
  const std::pair<UINT, WPARAM> enter{WM_CHAR, 13};
  EXPECT_EQ(std::count(gMain.originalSeen.begin(), gMain.originalSeen.end(), enter), 0);
  EXPECT_EQ(gMain.originalSeen.size(), gMain.subclassSeen.size() - 1);
  EXPECT_TRUE(gMain.commands.empty());

  // Text set by the program also passes the subclass, as WM_SETTEXT.
  gMain.subclassSeen.clear();
  EXPECT_TRUE(SetWindowTextW(edit, u"42"));
  ASSERT_EQ(gMain.subclassSeen.size(), 1u);
  EXPECT_EQ(gMain.subclassSeen[0].first, WM_SETTEXT);
  EXPECT_EQ(gf_testControlState(edit).text, u"42");
  ASSERT_TRUE(gf_testType(edit, u"\b7"));
  EXPECT_EQ(gf_testControlState(edit).text, u"47");
}

TEST_F(MainWindow, DisabledEditTakesNoTyping) {
  EnableWindow(edit, FALSE);
  EXPECT_FALSE(gf_testType(edit, u"x\r"));
  EXPECT_EQ(gMain.enters, 0);
  EXPECT_EQ(gf_testControlState(edit).text, u"");
}

TEST_F(MainWindow, EditDrawsOnTheParentsColoursWithTheDefaultDcBrush) {
  SetWindowTextW(edit, u"10");
  gf_pumpMessages();
  const std::vector<PaintOp> ops = gf_testLastPaint(edit);
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ(ops.front(), PaintOp::fill(RECT{0, 0, 24, 16}, kWhite));
  auto text = std::find_if(ops.begin(), ops.end(), [](const PaintOp& op) { return op.kind == PaintOp::Kind::Text; });
  ASSERT_NE(text, ops.end());
  EXPECT_EQ(text->text, u"10");
  EXPECT_EQ(text->colour, kBlack);
  EXPECT_EQ(text->background, kLightBlue);
}

TEST_F(MainWindow, ParentPaintOverAControlRepaintsItAfterTheParent) {
  ShowWindow(hwnd, SW_SHOW);
  gf_pumpMessages();
  const int boxPaints = gf_testPaintCount(box), editPaints = gf_testPaintCount(edit);
  RECT band{0, 140, 880, 168};  // holds the box, not the edit box
  InvalidateRect(hwnd, &band, TRUE);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.hwnd, hwnd);  // the parent first
  gf_pumpMessages();
  EXPECT_EQ(gf_testPaintCount(box), boxPaints + 1);
  EXPECT_EQ(gf_testPaintCount(edit), editPaints);
  // Hiding a control repaints what it covered.
  ShowWindow(edit, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(edit));
  EXPECT_TRUE(PeekMessageW(&msg, hwnd, 0, 0, PM_NOREMOVE));
  EXPECT_FALSE(gf_testClick(edit));
}

// The parent repaints the bounding rectangle of both areas, so the controls
// between them are painted over and must be repainted too.
TEST_F(MainWindow, ControlsBetweenTwoInvalidAreasAreRepainted) {
  ShowWindow(hwnd, SW_SHOW);
  gf_pumpMessages();
  const int boxPaints = gf_testPaintCount(box), editPaints = gf_testPaintCount(edit);
  const RECT status{0, 28, 880, 112}, message{0, 448, 880, 476};
  InvalidateRect(hwnd, &status, TRUE);
  InvalidateRect(hwnd, &message, TRUE);
  gf_pumpMessages();
  EXPECT_EQ(gf_testPaintCount(box), boxPaints + 1);
  EXPECT_EQ(gf_testPaintCount(edit), editPaints + 1);
}

TEST_F(MainWindow, AnotherThreadChangesControlsWithoutWaitingForTheWindow) {
  // The window thread pumps nothing meanwhile: nothing here may wait for it.
  std::thread([&] {
    EXPECT_TRUE(SetWindowTextW(edit, u"EGLL"));
    EXPECT_TRUE(CheckDlgButton(hwnd, kBoxId, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(hwnd, kBoxId), BST_CHECKED);
    EXPECT_FALSE(EnableWindow(edit, FALSE));
    char16_t text[8];
    EXPECT_EQ(GetWindowTextW(edit, text, 3), 2);  // truncated to fit, with its 0
    EXPECT_EQ(std::u16string(text), u"EG");
  }).join();
  EXPECT_TRUE(gMain.subclassSeen.empty());
  ControlState e = gf_testControlState(edit);
  EXPECT_EQ(e.text, u"EGLL");
  EXPECT_FALSE(e.enabled);
  EXPECT_TRUE(gf_testControlState(box).checked);
}

TEST_F(MainWindow, TopmostChangesOnlyTheZOrder) {
  EXPECT_TRUE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE));
  EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT r{};
  GetWindowRect(hwnd, &r);
  EXPECT_EQ(r, (RECT{400, 20, 1280, 536}));
  EXPECT_TRUE(SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE));
  EXPECT_FALSE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(SetWindowPos(hwnd, nullptr, 10, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
  GetWindowRect(hwnd, &r);
  EXPECT_EQ(r, (RECT{10, 30, 890, 546}));
}

TEST_F(MainWindow, DestroyedWindowAndItsControlsAreGone) {
  HWND top = hwnd;
  PostMessageW(edit, WM_APP + 5, 0, 0);
  EXPECT_TRUE(DestroyWindow(top));
  hwnd = nullptr;
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(GetDlgItem(top, kEditId), nullptr);
  EXPECT_FALSE(SetWindowTextW(edit, u"x"));
  EXPECT_FALSE(gf_testClick(box));
  EXPECT_EQ(gf_testControlState(box).kind, ControlKind::None);
  EXPECT_EQ(gf_pumpMessages(), 0);  // its queued message went with it
}

TEST(Window, CallsOnNothingFailQuietly) {
  EXPECT_EQ(GetDlgItem(nullptr, kBoxId), nullptr);
  EXPECT_FALSE(EnableWindow(nullptr, TRUE));
  EXPECT_FALSE(IsWindowEnabled(nullptr));
  EXPECT_FALSE(SetWindowTextW(nullptr, u"x"));
  char16_t buf[4] = {u'z', 0, 0, 0};
  EXPECT_EQ(GetWindowTextW(nullptr, buf, 4), 0);
  EXPECT_EQ(buf[0], 0);
  EXPECT_FALSE(CheckDlgButton(nullptr, kBoxId, BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(nullptr, kBoxId), BST_UNCHECKED);
  EXPECT_FALSE(InvalidateRect(nullptr, nullptr, TRUE));
  EXPECT_EQ(SendMessageW(nullptr, WM_APP + 1, 0, 0), 0);
  EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(&buf), WM_APP + 1, 0, 0));
  EXPECT_FALSE(SetWindowPos(nullptr, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE));
  RECT r{1, 2, 3, 4};
  EXPECT_FALSE(GetWindowRect(nullptr, &r));
  EXPECT_EQ(SetWindowLongPtrW(nullptr, GWLP_WNDPROC, 1), 0);
  EXPECT_FALSE(UpdateWindow(nullptr));
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(CreateWindowExW(0, u"button", u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);
}

// Threads making and destroying windows side by side (a ThreadSanitizer build
// sees any access to the window list outside the layer's lock).
TEST(Window, ThreadsCreateAndDestroyWindowsSideBySide) {
  auto churn = [] {
    for (int i = 0; i < 200; ++i) {
      HWND hwnd = lf_create(u"SklmTestChurn", DefWindowProcW);
      EXPECT_TRUE(IsWindow(hwnd));
      EXPECT_TRUE(DestroyWindow(hwnd));
    }
  };
  std::thread other(churn);
  churn();
  other.join();
}

TEST(Window, CreateFailingInWmCreateGivesNoWindow) {
  static HWND seen = nullptr;
  static int destroyed = 0;
  HWND hwnd = lf_create(u"SklmTestRefuse", [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_CREATE) {
      seen = h;
      return -1;
    }
    if (m == WM_DESTROY) ++destroyed;
    return DefWindowProcW(h, m, w, l);
  });
  EXPECT_EQ(hwnd, nullptr);
  EXPECT_FALSE(IsWindow(seen));
  EXPECT_EQ(destroyed, 1);
}

// ---- Queue and painting ----

struct PaintLog {
  std::mutex data;  // not recursive: the paint handler and other threads share it
  int paints = 0;
  std::thread::id paintThread;
  std::vector<UINT> order;
  std::condition_variable painted;
};
PaintLog* gPaint = nullptr;

LRESULT lf_paintProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      {
        std::lock_guard lk(gPaint->data);
        ++gPaint->paints;
        gPaint->paintThread = std::this_thread::get_id();
        gPaint->order.push_back(msg);
      }
      RECT header{0, 0, 880, 28};
      FillRect(dc, &header, gBlackBrush);
      SetTextColor(dc, kGreen);
      SetBkMode(dc, TRANSPARENT);
      TextOutW(dc, 3, 7, u"Version 10.9.4", 14);
      EndPaint(hwnd, &ps);
      gPaint->painted.notify_all();
      return 0;
    }
    case WM_APP + 1:
      gPaint->order.push_back(msg);
      return 0;
    case WM_APP + 2:
      PostQuitMessage(7);
      return 0;
    case WM_APP + 3:
      return static_cast<LRESULT>(wParam * 2 + (std::this_thread::get_id() == gPaint->paintThread));
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

class Painting : public ::testing::Test {
 protected:
  void SetUp() override { gPaint = &log; }
  void TearDown() override { gPaint = nullptr; }
  PaintLog log;
};

TEST_F(Painting, RecordedPaintHoldsExactlyWhatItDrew) {
  HWND hwnd = lf_create(u"SklmTestPaint", lf_paintProc, gBlackBrush);
  ASSERT_NE(hwnd, nullptr);
  ShowWindow(hwnd, SW_SHOW);
  EXPECT_TRUE(UpdateWindow(hwnd));  // paints at once
  EXPECT_EQ(log.paints, 1);
  EXPECT_EQ(gf_testPaintCount(hwnd), 1);
  // The background erase done inside BeginPaint is not part of it.
  EXPECT_EQ(gf_testLastPaint(hwnd),
            (std::vector<PaintOp>{PaintOp::fill(RECT{0, 0, 880, 28}, kBlack),
                                  PaintOp::textOut(3, 7, u"Version 10.9.4", kGreen)}));
  EXPECT_EQ(gf_pumpMessages(), 0);  // nothing left to paint
  DestroyWindow(hwnd);
}

TEST_F(Painting, InvalidateFromAnotherThreadGivesOnePaintWithoutDeadlock) {
  std::promise<HWND> created;
  int exitCode = -1;
  std::thread windowThread([&] {
    HWND hwnd = lf_create(u"SklmTestPaint", lf_paintProc, gBlackBrush);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    {
      std::lock_guard lk(log.data);
      log.paints = 0;
    }
    created.set_value(hwnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    exitCode = static_cast<int>(msg.wParam);
    DestroyWindow(hwnd);
  });
  HWND hwnd = created.get_future().get();
  ASSERT_NE(hwnd, nullptr);
  std::thread::id windowId;
  {
    // Holding the lock the paint handler takes: the call only records the region.
    std::unique_lock lk(log.data);
    windowId = log.paintThread;
    RECT band{0, 448, 880, 476};
    EXPECT_TRUE(InvalidateRect(hwnd, &band, TRUE));
    EXPECT_EQ(log.paints, 0);
    log.painted.wait(lk, [&] { return log.paints >= 1; });
  }
  // A sent message is handled on the window thread between its waits.
  EXPECT_EQ(SendMessageW(hwnd, WM_APP + 3, 20, 0), 41);
  PostMessageW(hwnd, WM_APP + 2, 0, 0);
  windowThread.join();
  EXPECT_EQ(log.paints, 1);
  EXPECT_EQ(log.paintThread, windowId);
  EXPECT_EQ(exitCode, 7);
}

// Thread A sends to B's window, whose handler sends back to A's window while A
// waits: A runs that message meanwhile, so neither thread waits for ever.
TEST(SentMessages, AThreadWaitingForAnAnswerHandlesWhatIsSentToIt) {
  static std::atomic<HWND> windowA{nullptr};
  static std::thread::id threadA;
  static std::atomic<bool> handledOnA{false};
  std::promise<std::pair<HWND, HWND>> bCreated;  // the target and a window that ends the thread
  std::thread threadB([&] {
    HWND b = lf_create(u"SklmTestSendB", [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      if (m == WM_APP + 10) return SendMessageW(windowA.load(), WM_APP + 11, w, 0) + 1;
      if (m == WM_APP + 12) PostQuitMessage(0);
      return DefWindowProcW(h, m, w, l);
    });
    HWND quitter = lf_create(u"SklmTestSendB", nullptr);  // same class: WM_APP + 12 quits
    bCreated.set_value({b, quitter});
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
    DestroyWindow(b);
    DestroyWindow(quitter);
  });
  const auto [b, quitter] = bCreated.get_future().get();
  ASSERT_NE(b, nullptr);
  ASSERT_NE(quitter, nullptr);

  std::promise<LRESULT> answer;
  std::thread senderA([&] {
    threadA = std::this_thread::get_id();
    HWND a = lf_create(u"SklmTestSendA", [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      if (m == WM_APP + 11) {
        handledOnA = std::this_thread::get_id() == threadA;
        return static_cast<LRESULT>(w * 10);
      }
      return DefWindowProcW(h, m, w, l);
    });
    windowA = a;
    answer.set_value(SendMessageW(b, WM_APP + 10, 4, 0));
    DestroyWindow(a);
  });
  std::future<LRESULT> result = answer.get_future();
  const bool answered = result.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  if (!answered) DestroyWindow(b);  // frees both threads so that the test can end
  EXPECT_TRUE(answered) << "the two sends waited for each other";
  EXPECT_EQ(result.get(), answered ? 41 : 0);
  EXPECT_TRUE(handledOnA);
  senderA.join();
  PostMessageW(quitter, WM_APP + 12, 0, 0);
  threadB.join();
}

// A send to a window that is destroyed before its thread took the message
// comes back at once with 0.
TEST(SentMessages, SendToAWindowDestroyedMeanwhileReturnsZero) {
  HWND target = lf_create(u"SklmTestSendGone", DefWindowProcW);
  ASSERT_NE(target, nullptr);
  std::atomic<pid_t> tid{0};
  std::promise<LRESULT> answer;
  std::thread sender([&] {
    tid = gf_currentThreadId();
    answer.set_value(SendMessageW(target, WM_APP + 3, 1, 0));
  });
  // Once the sender sleeps, its message waits in this thread's queue: destroy the window unread.
  ASSERT_TRUE(gf_waitUntilAsleep(tid));
  EXPECT_TRUE(DestroyWindow(target));
  std::future<LRESULT> result = answer.get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(result.get(), 0);
  sender.join();
  EXPECT_EQ(gf_pumpMessages(), 0);
}

TEST_F(Painting, PostedMessagesComeBeforeThePaint) {
  HWND hwnd = lf_create(u"SklmTestPaint", lf_paintProc, gBlackBrush);
  ShowWindow(hwnd, SW_SHOW);  // invalid from now on
  PostMessageW(hwnd, WM_APP + 1, 0, 0);
  PostMessageW(hwnd, WM_APP + 2, 0, 0);
  MSG msg;
  int dispatched = 0;
  while (GetMessageW(&msg, nullptr, 0, 0)) {
    DispatchMessageW(&msg);
    ++dispatched;
  }
  EXPECT_EQ(msg.wParam, 7u);
  // WM_QUIT came after the posted messages and before the waiting paint.
  EXPECT_EQ(log.order, (std::vector<UINT>{WM_APP + 1}));
  EXPECT_EQ(dispatched, 2);
  EXPECT_EQ(gf_pumpMessages(), 1);
  EXPECT_EQ(log.paints, 1);
  DestroyWindow(hwnd);
}

TEST(Invalidation, EveryCallIsListedUntilCleared) {
  HWND hwnd = lf_create(u"SklmTestPlain", DefWindowProcW);
  ShowWindow(hwnd, SW_SHOW);
  gf_pumpMessages();
  gf_testClearInvalidations(hwnd);
  RECT status{0, 28, 880, 112};
  InvalidateRect(hwnd, &status, TRUE);
  InvalidateRect(hwnd, nullptr, FALSE);
  EXPECT_EQ(gf_testInvalidations(hwnd),
            (std::vector<Invalidation>{{status, true}, {std::nullopt, false}}));
  gf_testClearInvalidations(hwnd);
  EXPECT_TRUE(gf_testInvalidations(hwnd).empty());
  EXPECT_EQ(gf_pumpMessages(), 1);  // both made one paint
  EXPECT_EQ(gf_pumpMessages(), 0);
  DestroyWindow(hwnd);
}

// A program repaints for hours: the record of calls keeps only the latest ones.
TEST(Invalidation, RecordOfCallsStaysBounded) {
  HWND hwnd = lf_create(u"SklmTestPlain", DefWindowProcW);
  ShowWindow(hwnd, SW_SHOW);
  gf_testClearInvalidations(hwnd);
  for (LONG i = 0; i < 100000; ++i) {
    RECT r{0, 0, 1, i + 1};
    InvalidateRect(hwnd, &r, FALSE);
  }
  const std::vector<Invalidation> kept = gf_testInvalidations(hwnd);
  ASSERT_FALSE(kept.empty());
  EXPECT_LE(kept.size(), 1000u);
  EXPECT_EQ(kept.back(), (Invalidation{RECT{0, 0, 1, 100000}, false}));
  EXPECT_EQ(gf_pumpMessages(), 1);
  DestroyWindow(hwnd);
}

TEST(Invalidation, HiddenWindowIsNeverPainted) {
  HWND hwnd = lf_create(u"SklmTestPlain", DefWindowProcW);
  InvalidateRect(hwnd, nullptr, TRUE);
  EXPECT_EQ(gf_pumpMessages(), 0);
  ShowWindow(hwnd, SW_SHOW);
  EXPECT_EQ(gf_pumpMessages(), 1);
  DestroyWindow(hwnd);
}

TEST(Keys, TranslateMessageMakesTheCharacterOfADisplayKey) {
  static std::vector<std::pair<UINT, WPARAM>> seen;
  seen.clear();
  HWND hwnd = lf_create(u"SklmTestKeys", [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_KEYDOWN || m == WM_CHAR || m == WM_APP) seen.emplace_back(m, w);
    return DefWindowProcW(h, m, w, l);
  });
  MSG key{hwnd, WM_KEYDOWN, VK_RETURN, 1, 0, {}, u'\r'};
  EXPECT_TRUE(TranslateMessage(&key));
  PostMessageW(hwnd, WM_APP, 0, 0);
  MSG plain{hwnd, WM_KEYDOWN, 'A', 1};
  EXPECT_FALSE(TranslateMessage(&plain));
  gf_pumpMessages();
  EXPECT_EQ(seen, (std::vector<std::pair<UINT, WPARAM>>{{WM_CHAR, 13}, {WM_APP, 0}}));
  DestroyWindow(hwnd);
}

TEST(Resources, StringsComeBackTruncatedToTheBuffer) {
  gf_setStringResource(101, u"Skylume");
  char16_t buf[100];
  EXPECT_EQ(LoadStringW(nullptr, 101, buf, 100), 7);
  EXPECT_EQ(std::u16string(buf), u"Skylume");
  EXPECT_EQ(LoadStringW(nullptr, 101, buf, 4), 3);
  EXPECT_EQ(std::u16string(buf), u"Sky");
  EXPECT_EQ(LoadStringW(nullptr, 999, buf, 100), 0);
  EXPECT_NE(LoadIconW(nullptr, MAKEINTRESOURCEW(100)), nullptr);
}

// ---- Drawing subset ----

TEST(Gdi, RecordingDcKeepsColoursPensAndModes) {
  HDC dc = gf_testCreateRecordingDC();
  HGDIOBJ oldPen = SelectObject(dc, gWhitePen);
  EXPECT_EQ(oldPen, GetStockObject(BLACK_PEN));
  MoveToEx(dc, 0, 28, nullptr);
  LineTo(dc, 880, 28);
  SelectObject(dc, oldPen);
  LineTo(dc, 880, 40);  // goes on from where the last line ended

  RECT r{0, 0, 10, 10};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  EXPECT_EQ(SetDCBrushColor(dc, kGreen), kWhite);
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));

  EXPECT_EQ(SetTextColor(dc, kGreen), kBlack);
  EXPECT_EQ(SetBkColor(dc, kLightBlue), kWhite);
  TextOutW(dc, 5, 35, u"MSFS 2024 mode", 14);
  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
  TextOutW(dc, 5, 63, u"Sim\u00e9", 3);  // only the length given is drawn

  EXPECT_EQ(gf_testPaintOps(dc),
            (std::vector<PaintOp>{PaintOp::line(0, 28, 880, 28, kWhite),
                                  PaintOp::line(880, 28, 880, 40, kBlack), PaintOp::fill(r, kWhite),
                                  PaintOp::fill(r, kGreen),
                                  PaintOp::textOut(5, 35, u"MSFS 2024 mode", kGreen, kLightBlue),
                                  PaintOp::textOut(5, 63, u"Sim", kGreen)}));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_FALSE(TextOutW(dc, 0, 0, u"x", 1));
}

TEST(Gdi, ObjectsDeleteOnceAndStockObjectsStay) {
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_FALSE(DeleteObject(brush));
  EXPECT_TRUE(DeleteObject(GetStockObject(DC_BRUSH)));
  HDC dc = gf_testCreateRecordingDC();
  RECT r{0, 0, 1, 1};
  EXPECT_EQ(FillRect(dc, &r, brush), 0);  // a deleted brush draws nothing
  EXPECT_EQ(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH))), 1);
  EXPECT_EQ(gf_testPaintOps(dc).size(), 1u);
  DeleteDC(dc);
  EXPECT_EQ(RGB(153, 204, 255), 0x00FFCC99u);
}

// As on Windows, an object still selected into a device context is not deleted.
TEST(Gdi, SelectedObjectsAreNotDeleted) {
  HDC dc = gf_testCreateRecordingDC();
  HPEN pen = CreatePen(PS_SOLID, 1, kYellow);
  HBRUSH brush = CreateSolidBrush(kGreen);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  EXPECT_FALSE(DeleteObject(pen));
  EXPECT_FALSE(DeleteObject(brush));
  MoveToEx(dc, 0, 0, nullptr);
  LineTo(dc, 10, 0);  // still draws with the pen
  EXPECT_EQ(gf_testPaintOps(dc), (std::vector<PaintOp>{PaintOp::line(0, 0, 10, 0, kYellow)}));
  EXPECT_EQ(SelectObject(dc, oldPen), pen);
  EXPECT_EQ(SelectObject(dc, oldBrush), brush);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteObject(brush));
  DeleteDC(dc);
}

}  // namespace
