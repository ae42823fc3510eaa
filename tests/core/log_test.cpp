#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include "core/clock.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core_test_support.h"

using Lines = std::vector<std::string>;

namespace {

constexpr const char* header = "Skylume (utc) Mon Dec  7 22:18:27 2026 version 10.9.4 for MSFS 2020/2024";

// Fixes the clock for the header line.
class LogTest : public testing::Test {
 protected:
  void SetUp() override { m_previous = gf_setClockSource([]() -> std::int64_t { return 1796681907; }); }
  void TearDown() override {
    gf_closeLog();
    gf_setClockSource(m_previous);
  }
  ScratchFolder folder;

 private:
  ClockSource m_previous = nullptr;
};

}  // namespace

TEST_F(LogTest, StartKeepsTwoPreviousLogsAndWritesTheHeader) {
  writeBytes(folder / "Log.txt", "A");
  writeBytes(folder / "Log0.txt", "B");
  gf_startLog(folder / "Log.txt");
  EXPECT_TRUE(gf_logIsOpen());
  EXPECT_EQ(readBytes(folder / "Log00.txt"), "B");
  EXPECT_EQ(readBytes(folder / "Log0.txt"), "A");
  EXPECT_EQ(readBytes(folder / "Log.txt"), withLineEnds(std::string(header) + "\n"));
}

TEST_F(LogTest, FirstStartMakesOnlyLogTxt) {
  gf_startLog(folder / "Log.txt");
  EXPECT_EQ(fileLines(folder / "Log.txt"), Lines{header});
  EXPECT_FALSE(std::filesystem::exists(folder / "Log0.txt"));
  EXPECT_FALSE(std::filesystem::exists(folder / "Log00.txt"));

  gf_startLog(folder / "Log.txt");  // a second run: only Log0.txt appears
  EXPECT_EQ(fileLines(folder / "Log0.txt"), Lines{header});
  EXPECT_FALSE(std::filesystem::exists(folder / "Log00.txt"));
}

TEST_F(LogTest, HeaderFollowsTheRealClockByDefault) {
  gf_setClockSource(nullptr);
  gf_startLog(folder / "Log.txt");
  const Lines lines = fileLines(folder / "Log.txt");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(Skylume \(utc\) (Mon|Tue|Wed|Thu|Fri|Sat|Sun) )"
                                                    R"([A-Z][a-z]{2} [ 1-3]\d \d\d:\d\d:\d\d \d{4} )"
                                                    R"(version 10\.9\.4 for MSFS 2020/2024)")))
      << lines[0];
}

TEST_F(LogTest, TheFourLineForms) {
  gf_startLog(folder / "Log.txt");
  gf_log("abc");
  gf_logText("abc");
  gf_logLine("abc");
  gf_logIndented("abc");
  gf_log("");
  gf_logText("");
  gf_logIndented(std::string_view("x\0y", 3));
  EXPECT_EQ(readBytes(folder / "Log.txt"),
            withLineEnds(std::string(header) + "\n===> abc\nabc\nabc\n          abc\n===> \n\n" +
                         std::string("          x\0y\n", 14)));
}

TEST_F(LogTest, NothingIsWrittenWhileTheLogIsNotOpen) {
  gf_log("before");
  EXPECT_FALSE(gf_logIsOpen());
  gf_startLog(folder / "Log.txt");
  gf_log("during");
  gf_closeLog();
  gf_log("after");
  gf_logText("after");
  EXPECT_FALSE(gf_logIsOpen());
  EXPECT_EQ(fileLines(folder / "Log.txt"), (Lines{header, "===> during"}));
}

TEST_F(LogTest, UnwritableLogThrowsSysError40AndStaysClosed) {
  const auto file = folder / "missing" / "Log.txt";
  try {
    gf_startLog(file);
    FAIL() << "no exception";
  } catch (const qlx::SysErrorException& e) {
    EXPECT_EQ(std::string(e.what()), "sys error 40: Failed to write file " + file.string());
  }
  EXPECT_FALSE(gf_logIsOpen());
  gf_log("dropped");
  // A later start in a good place still works.
  gf_startLog(folder / "Log.txt");
  EXPECT_EQ(fileLines(folder / "Log.txt"), Lines{header});
}

TEST_F(LogTest, LinesFromManyThreadsStayWhole) {
  gf_startLog(folder / "Log.txt");
  constexpr int threadCount = 8;
  constexpr int lineCount = 2000;
  const std::string payload(100, 'x');
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([t, &payload] {
      for (int i = 0; i < lineCount; ++i) {
        const std::string text = sk::format("t{} {} {}", t, i, payload);
        switch (i % 3) {
          case 0: gf_log(text); break;
          case 1: gf_logIndented(text); break;
          default: gf_logLine(text); break;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  gf_closeLog();

  const std::string bytes = readBytes(folder / "Log.txt");
  ASSERT_EQ(bytes.back(), '\n');
  const Lines lines = fileLines(folder / "Log.txt");
  ASSERT_EQ(lines.size(), 16001u);
  EXPECT_EQ(lines[0], header);
  std::vector<int> next(threadCount, 0);  // each thread's lines arrive in its own order
  const std::regex form("(===> |          |)t([0-7]) (\\d+) x{100}");
  for (std::size_t n = 1; n < lines.size(); ++n) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[n], match, form)) << "line " << n << ": " << lines[n];
    const int t = std::stoi(match[2]);
    const int i = std::stoi(match[3]);
    ASSERT_EQ(i, next[t]) << "thread " << t;
    const char* prefixes[] = {"===> ", "          ", ""};
    EXPECT_EQ(match[1], prefixes[i % 3]);
    ++next[t];
  }
  EXPECT_EQ(next, std::vector<int>(threadCount, lineCount));
}

TEST_F(LogTest, MessagesWithoutASinkGoToTheLogOnly) {
  gf_startLog(folder / "Log.txt");
  gf_showMessage("shown and logged", true);
  gf_showMessage("shown only", false);
  gf_showMessage("", true);
  gf_clearMessage();
  gf_showError("bad thing");
  gf_showError("");
  EXPECT_EQ(fileLines(folder / "Log.txt"), (Lines{header, "shown and logged", "Error bad thing", "Error "}));
}

TEST_F(LogTest, AnInstalledSinkReceivesMessagesInstead) {
  gf_startLog(folder / "Log.txt");
  {
    RecordingSink sink;
    gf_showMessage("hello", true);
    gf_clearMessage();
    gf_showError("oops");
    EXPECT_EQ(sink.messages, (Lines{"hello", ""}));
    EXPECT_EQ(sink.errors, Lines{"oops"});
  }
  gf_showMessage("back to the log", true);
  EXPECT_EQ(fileLines(folder / "Log.txt"), (Lines{header, "back to the log"}));
}

TEST_F(LogTest, ClosingWhileThreadsWriteNeverBreaksALineNorWritesAfterTheClose) {
  const auto file = folder / "Log.txt";
  std::atomic<bool> stop{false};
  std::atomic<int> written{0};
  gf_startLog(file);
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; !stop; ++i) {
        gf_log(sk::format("t{} {} {}", t, i, std::string(60, 'y')));
        ++written;
      }
    });
  }
  for (int round = 0; round < 30; ++round) {
    const int before = written;
    while (written < before + 50) std::this_thread::yield();  // the writers are busy when the log closes
    gf_closeLog();
    if (round < 29) gf_startLog(file);
  }
  const std::string closed = readBytes(file);
  const int before = written;
  while (written < before + 200) std::this_thread::yield();
  stop = true;
  for (auto& w : writers) w.join();
  EXPECT_EQ(readBytes(file), closed) << "nothing after the close";
  const std::regex form("===> t[0-3] \\d+ y{60}");
  for (const char* name : {"Log.txt", "Log0.txt", "Log00.txt"}) {
    const Lines lines = fileLines(folder / name);
    ASSERT_FALSE(lines.empty()) << name;
    EXPECT_EQ(lines[0], header) << name;
    for (std::size_t n = 1; n < lines.size(); ++n)
      ASSERT_TRUE(std::regex_match(lines[n], form)) << name << " line " << n << ": " << lines[n];
  }
}
