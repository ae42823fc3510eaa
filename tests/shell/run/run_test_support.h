#pragma once
// The run on the test's own threads: a fake steady clock whose sleeps return at
// once (so the 15-s traffic wait and the 45-s countdown take milliseconds),
// recording readers, FinalExit's last message recorded, and the run state and
// current folder put back after each test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../shell_test_support.h"
#include "core/format.h"
#include "core/parameters_xml.h"
#include "liveries/dbase.h"
#include "run_doubles.h"
#include "shell/exit.h"
#include "shell/main_loop.h"
#include "shell/run_clock.h"
#include "shell/run_state.h"
#include "shell/startup.h"
#include "shell/startup_thread.h"
#include "traffic/readers.h"
#include "traffic/update_queue.h"

// Time moves only by sleeps; each sleep runs the hook first on the sleeping thread.
class FakeRunClock : public RunClock {
 public:
  TimePoint now() override {
    std::lock_guard lock(m_mutex);
    return m_now;
  }
  void sleepUntil(TimePoint deadline) override {
    std::function<void()> hook;
    {
      std::lock_guard lock(m_mutex);
      hook = m_onSleep;
    }
    {
      std::lock_guard lock(m_mutex);
      m_deadlines.push_back(deadline);
    }
    if (hook) hook();
    {
      std::lock_guard lock(m_mutex);
      m_now = std::max(m_now, deadline);
    }
    std::this_thread::yield();
  }
  void setOnSleep(std::function<void()> hook) {
    std::lock_guard lock(m_mutex);
    m_onSleep = std::move(hook);
  }
  TimePoint start() const { return m_start; }
  // Time passing without a sleep: a slow tick.
  void advance(Duration duration) {
    std::lock_guard lock(m_mutex);
    m_now += duration;
  }
  std::vector<TimePoint> deadlines() {
    std::lock_guard lock(m_mutex);
    return m_deadlines;
  }

 private:
  std::mutex m_mutex;
  const TimePoint m_start{std::chrono::hours(1000)};
  TimePoint m_now{m_start};
  std::function<void()> m_onSleep;
  std::vector<TimePoint> m_deadlines;
};

inline void lf_resetRunState() {
  for (auto* flag : {&gExitStarted, &gStopRequested, &gFlightRunning, &gSecondTick, &gUserStateKnown,
                     &gUserOnGround, &gRestart, &gReaderError, &gFlightNotRunning, &gRenewParkingRequest,
                     &gRenewParkingPhase, &gReReadRequest, &gFlushStaticRequest, &gCallsignBlockRequest,
                     &gObjectIdLookupRequest, &gMatchingDepthRaised, &gRtProfessional}) {
    flag->store(false);
  }
  gExitReason.store(ExitReason::NOT_YET_SET);
  gSeconds.store(0);
  gSimTime.store(0);
  gUserAc = UserAc{};
  gRtLocal = false;
  gRtDataTime.store(0.0);
  gTrafficReaderStatus.store(READER_RECEIVING);
  gQnhReaderStatus.store(READER_RECEIVING);
}

class RunTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    m_previousFolder = std::filesystem::current_path();
    // The program folder as installed.
    std::filesystem::create_directory(folder() / "docs");
    std::filesystem::create_directory(folder() / "input");
    std::filesystem::copy_file(shellFixture("airports_msfs.xml"), folder() / "input" / "airports_msfs.xml");
    std::filesystem::current_path(folder());
    run_doubles::clear();
    lf_resetRunState();
    // The start-up's detection finds a stored simulator folder and the data base read.
    storeParameters({{"MSFS_INSTALL_PATH", folder().string()}});
    gDataBaseRead = true;
    gf_setRunClock(&m_clock);
    gf_setReaderControl({&RunTest::lf_startReader, &RunTest::lf_checkReaders, &RunTest::lf_stopReaders});
    gf_setExitPost([](UINT message, WPARAM status) {
      run_doubles::record(status == 0 ? sk::format("post({:#x})", message) : sk::format("post({:#x}, {})", message, status));
    });
  }

  void TearDown() override {
    // A FinalExit still running would outlive the test's scratch folder.
    EXPECT_TRUE(gf_waitStartUpEnded(std::chrono::seconds(10)));
    m_clock.setOnSleep(nullptr);
    gf_setExitPost(nullptr);
    gf_setReaderControl(gf_defaultReaderControl());
    gf_setRunClock(nullptr);
    lf_resetRunState();
    run_doubles::clear();
    std::filesystem::current_path(m_previousFolder);
    ShellTest::TearDown();
  }

  // Starts the exit from the test and waits until FinalExit posted its last message.
  static bool waitForExitPost() {
    return run_doubles::waitForCall([](const std::vector<std::string>& calls) {
      return std::any_of(calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("post(", 0) == 0; });
    });
  }

  // Writes parameters.xml with these values, everything else at its default.
  static void storeParameters(std::initializer_list<std::pair<std::string, std::string>> values) {
    std::string xml = "<parameters>";
    for (const auto& [name, value] : values) xml += sk::format("<parameter name=\"{}\" value=\"{}\"/>", name, value);
    writeBytes(gf_parametersFile(), xml + "</parameters>");
  }

  // The value parameters.xml holds for the key.
  static std::string saved(const std::string& key) {
    pugi::xml_document document;
    document.load_file(gf_parametersFile().c_str());
    return document.select_node(gf_findParameterNode(key).c_str()).node().attribute("value").value();
  }

  static std::vector<std::string> callsFrom(const std::string& first) {
    auto all = run_doubles::calls();
    auto found = std::find(all.begin(), all.end(), first);
    return {found, all.end()};
  }

  static long count(const std::string& call) {
    const auto all = run_doubles::calls();
    return std::count(all.begin(), all.end(), call);
  }

  FakeRunClock m_clock;

 private:
  static void lf_startReader(bool traffic, std::uint16_t port) {
    run_doubles::record(sk::format("reader({},{})", traffic ? "traffic" : "qnh", port));
  }
  static void lf_checkReaders() { run_doubles::record(sk::format("gf_checkReaders@{}", gSeconds.load())); }
  static void lf_stopReaders() { run_doubles::record("stopReaders"); }

  std::filesystem::path m_previousFolder;
};
