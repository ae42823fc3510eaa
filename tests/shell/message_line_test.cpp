#include <atomic>
#include <thread>

#include "shell_test_support.h"

namespace {

using MessageLine = ShellTest;

int startCount() {
  std::lock_guard lock(gAppState.messageMutex);
  return gAppState.messageStartCount;
}

TEST_F(MessageLine, MessagesAndTheLog) {
  gf_showMessage("Scanning liveries", true);
  gf_showMessage("not in the log", false);
  gf_showMessage("", true);  // empty: nothing logged
  EXPECT_EQ(logged(), "Scanning liveries\n");
  EXPECT_EQ(messageText(), "");
  EXPECT_EQ(startCount(), 0);
  EXPECT_FALSE(textAt(paintAll(), 3, 455));
}

TEST_F(MessageLine, AnErrorHoldsBackEveryMessage) {
  gf_showMessage("before", false);
  gf_showError("SimConnect request error 3, see Log.txt");
  EXPECT_EQ(messageText(), "");
  gf_showMessage("hidden", true);
  gf_clearMessage();
  gf_messageSecondTick();
  EXPECT_EQ(logged(), "Error SimConnect request error 3, see Log.txt\n");
  EXPECT_TRUE(hasText(paintAll(), 3, 455, "SimConnect request error 3, see Log.txt", kYellow));

  // An empty error logs "Error ", leaves no error standing and lets messages through.
  gf_showError("");
  const auto ops = paintAll();
  EXPECT_EQ(lastFill(ops, kMessageRect), kGreen);
  EXPECT_FALSE(textAt(ops, 3, 455));
  gf_showMessage("through again", false);
  EXPECT_TRUE(hasText(paintAll(), 3, 455, "through again", kYellow));
  EXPECT_EQ(logged(), "Error SimConnect request error 3, see Log.txt\nError \n");

  gf_showError("stays");
  gf_clearError();
  const auto cleared = paintAll();
  EXPECT_EQ(lastFill(cleared, kMessageRect), kGreen);
  EXPECT_FALSE(textAt(cleared, 3, 455));
}

TEST_F(MessageLine, MessagesAgeOutAfter25Beats) {
  gf_showMessage("first", false);
  EXPECT_EQ(startCount(), 1) << "shown at counter 0";
  for (int beat = 1; beat <= 25; ++beat) gf_messageSecondTick();
  EXPECT_EQ(messageText(), "first") << "counter 25";
  gf_messageSecondTick();
  EXPECT_EQ(messageText(), "") << "counter 26";
  EXPECT_EQ(startCount(), 0);

  gf_showMessage("second", false);  // at 26
  for (int beat = 0; beat < 24; ++beat) gf_messageSecondTick();
  gf_showMessage("third", false);  // at 50: restarts the 25 beats
  for (int beat = 0; beat < 24; ++beat) gf_messageSecondTick();
  EXPECT_EQ(messageText(), "third");
  gf_messageSecondTick();
  EXPECT_EQ(messageText(), "");

  gf_showError("no age for errors");
  for (int beat = 0; beat < 30; ++beat) gf_messageSecondTick();
  EXPECT_TRUE(hasText(paintAll(), 3, 455, "no age for errors", kYellow));
}

TEST_F(MessageLine, ShowingOnlyInvalidatesTheLine) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows keeps no record of the invalidations a window was given: only Linux's window layer does";
#else
  HWND window = openWindow();
  const int paints = gf_testPaintCount(window);
  gf_testClearInvalidations(window);
  gf_showMessage("hello", false);
  gf_showError("oops");
  const Invalidation line{kMessageRect, true};
  EXPECT_EQ(gf_testInvalidations(window), (std::vector<Invalidation>{line, line}));
  EXPECT_EQ(gf_testPaintCount(window), paints) << "never painted on the spot";
  UpdateWindow(window);
  EXPECT_TRUE(hasText(gf_testLastPaint(window), 3, 455, "oops", kYellow));
#endif
}

// Eight threads show messages while the window thread paints: every paint
// shows one whole message, and nobody waits for anybody for good.
TEST_F(MessageLine, ManyThreadsWhileTheWindowPaints) {
  HWND window = openWindow();
  constexpr int kThreads = 8;
  constexpr int kMessages = 400;
  std::atomic<int> running{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &running] {
      for (int i = 0; i < kMessages; ++i) {
        // A text of one repeated letter, its length changing with i.
        gf_showMessage(std::string(static_cast<std::size_t>(20 + i % 50), static_cast<char>('a' + t)),
                       i % 7 == 0);
        if (i % 100 == 99) gf_messageSecondTick();
      }
      running.fetch_sub(1);
    });
  }
  int paints = 0;
  int torn = 0;
  auto checkPaint = [&] {
#ifdef _WIN32
    // Windows keeps no record of the window's own paints: the same paint into a recording device context.
    const auto op = textAt(paintAll(), 3, 455);
#else
    const auto op = textAt(gf_testLastPaint(window), 3, 455);
#endif
    if (!op) return;
    ++paints;
    const std::u16string& text = op->text;
    const bool whole = text.size() >= 20 && text.size() < 70 &&
                       std::all_of(text.begin(), text.end(), [&](char16_t c) { return c == text[0]; });
    if (!whole) ++torn;
  };
  while (running.load() > 0) {
    InvalidateRect(window, &kMessageRect, TRUE);
    UpdateWindow(window);
    checkPaint();
  }
  for (auto& thread : threads) thread.join();
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
  checkPaint();
  EXPECT_GT(paints, 0);
  EXPECT_EQ(torn, 0);

  // Each logged line is one whole message too.
  const std::string log = logged();
  std::size_t lines = 0;
  for (std::size_t start = 0, end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = log.substr(start, end - start);
    ++lines;
    ASSERT_GE(line.size(), 20U);
    EXPECT_EQ(line.find_first_not_of(line[0]), std::string::npos) << line;
  }
  EXPECT_EQ(lines, static_cast<std::size_t>(kThreads * ((kMessages + 6) / 7)));
}

}  // namespace
