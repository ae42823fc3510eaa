#include "traffic/readers.h"

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/parameters.h"
#include "doubles.h"
#include "shell/rt_link.h"
#include "shell/startup.h"
#include "test_support.h"
#include "traffic/update_queue.h"

namespace {

using namespace std::chrono_literals;
using testing_traffic::LogCapture;
using testing_traffic::UdpSender;

// Counts what the receive loop hands over, so that tests wait on it.
template <typename Reader>
class Observed : public Reader {
 public:
  void onDatagram(std::string_view datagram) override {
    Reader::onDatagram(datagram);
    std::lock_guard lock(m_mutex);
    m_texts.emplace_back(datagram);
    m_changed.notify_all();
  }
  void onStopped() override {
    Reader::onStopped();
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_changed.notify_all();
  }
  bool waitForCount(std::size_t n) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, 30s, [&] { return m_texts.size() >= n; });
  }
  std::vector<std::string> texts() {
    std::lock_guard lock(m_mutex);
    return m_texts;
  }
  bool stopped() {
    std::lock_guard lock(m_mutex);
    return m_stopped;
  }

  // Binds an ephemeral port and receives on a thread of its own.
  std::uint16_t start() {
    this->open();
    this->bindPort(0);
    m_thread = std::thread([this] { this->receiveLoop(); });
    return this->boundPort();
  }
  // Stops the loop and reports whether it ended within five seconds.
  bool stop() {
    this->requestStop();
    return join();
  }
  bool join() {
    if (!m_thread.joinable()) return true;
    auto done = std::async(std::launch::async, [this] { m_thread.join(); });
    return done.wait_for(30s) == std::future_status::ready;
  }
  ~Observed() override { join(); }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::string> m_texts;
  bool m_stopped = false;
  std::thread m_thread;
};

// Holds its receive loop inside the first datagram until released.
class HeldReader : public Observed<WeatherReader> {
 public:
  ~HeldReader() override { release(); }
  void onDatagram(std::string_view datagram) override {
    Observed::onDatagram(datagram);
    std::unique_lock lock(m_holdMutex);
    m_hold.wait(lock, [this] { return m_released; });
  }
  void release() {
    {
      std::lock_guard lock(m_holdMutex);
      m_released = true;
    }
    m_hold.notify_all();
  }

 private:
  std::mutex m_holdMutex;
  std::condition_variable m_hold;
  bool m_released = false;
};

class Readers : public ::testing::Test {
 protected:
  void SetUp() override {
    gRtLocal = false;
    gLateralRangeNm = 40.0;
    gQnh.store(STANDARD_QNH);
    gf_setAcceptUpdates(true);
    std::lock_guard lock(gUpdateMutex);
    gUpdateQueue.clear();
  }
  void TearDown() override {
    gRtLocal = false;
    std::lock_guard lock(gUpdateMutex);
    gUpdateQueue.clear();
  }
  LogCapture log;
  UdpSender sender;
};

TEST_F(Readers, LineThroughARealSocketBecomesOneQueuedRecord) {
  gTick.store(1234);
  Observed<TrafficReader> reader;
  reader.setUserPosition({52.3, 4.76});
  const std::uint16_t port = reader.start();
  ASSERT_NE(port, 0);
  ASSERT_TRUE(sender.send(port, testing_traffic::joinFields(testing_traffic::baseFields())));
  ASSERT_TRUE(reader.waitForCount(1));
  {
    std::lock_guard lock(gUpdateMutex);
    ASSERT_EQ(gUpdateQueue.size(), 1u);
    const TrafficRecord& record = gUpdateQueue.front();
    EXPECT_EQ(record.hexid, 4840199u);
    EXPECT_EQ(record.point.dueTick, 4234u);
    EXPECT_DOUBLE_EQ(*record.point.heading, 183.5 * DEG_TO_RAD);
    ASSERT_TRUE(record.point.roll);
    EXPECT_DOUBLE_EQ(*record.point.roll, 1.5 * DEG_TO_RAD);
  }
  EXPECT_EQ(reader.received(), 1u);
  EXPECT_TRUE(reader.stop());
  EXPECT_TRUE(reader.stopped());
  EXPECT_EQ(reader.socketHandle(), INVALID_SOCKET);
  EXPECT_EQ(gTrafficReaderStatus.load(), READER_STOPPED);
  EXPECT_TRUE(log.contains("Traffic Reader has stopped"));
}

TEST_F(Readers, BindsToLoopbackOnlyWhenRealTrafficRunsHere) {
  for (const bool local : {true, false}) {
    gRtLocal = local;
    WeatherReader reader;
    reader.open();
    reader.bindPort(0);
    sockaddr_in bound{};
    int length = sizeof bound;
    ASSERT_EQ(ws::getsockname(reader.socketHandle(), reinterpret_cast<sockaddr*>(&bound), &length), 0);
    EXPECT_EQ(ntohl(bound.sin_addr.s_addr), local ? INADDR_LOOPBACK : INADDR_ANY) << local;
    reader.close();
  }
}

TEST_F(Readers, OverlongDatagramIsLoggedAndSkipped) {
  Observed<WeatherReader> reader;
  const std::uint16_t port = reader.start();
  const std::string longest(UdpReader::kBufferSize - 1, ' ');
  ASSERT_TRUE(sender.send(port, std::string(UdpReader::kBufferSize, ' ')));
  ASSERT_TRUE(sender.send(port, longest));
  ASSERT_TRUE(sender.send(port, R"({"QNH": 1001})"));
  ASSERT_TRUE(reader.waitForCount(2));
  EXPECT_TRUE(reader.stop());
  const auto texts = reader.texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], longest);
  EXPECT_EQ(reader.received(), 2u);
  EXPECT_TRUE(log.contains("buffer overrun: 16384 bytes"));
  EXPECT_EQ(gQnh.load(), 1001);
}

TEST_F(Readers, RepeatsCountOnlyFromThisPc) {
  for (const bool local : {false, true}) {
    gRtLocal = local;
    Observed<WeatherReader> reader;
    const std::uint16_t port = reader.start();
    for (const char* text : {"{}", "{}", "[1]"}) ASSERT_TRUE(sender.send(port, text));
    ASSERT_TRUE(reader.waitForCount(local ? 3 : 2));
    EXPECT_TRUE(reader.stop());
    EXPECT_EQ(reader.texts().size(), local ? 3u : 2u);
    EXPECT_EQ(reader.received(), 3u);
  }
}

TEST_F(Readers, TextStopsAtTheFirstZeroByte) {
  Observed<WeatherReader> reader;
  const std::uint16_t port = reader.start();
  ASSERT_TRUE(sender.send(port, std::string("{\"QNH\": 999}\0tail", 17)));
  ASSERT_TRUE(reader.waitForCount(1));
  EXPECT_TRUE(reader.stop());
  EXPECT_EQ(reader.texts().at(0), R"({"QNH": 999})");
}

TEST_F(Readers, StopWakesABlockedReaderAndReleasesThePort) {
  Observed<TrafficReader> reader;
  const std::uint16_t port = reader.start();
  EXPECT_TRUE(reader.stop());
  EXPECT_TRUE(reader.stopped());
  // The port is free again.
  TrafficReader next;
  next.open();
  EXPECT_NO_THROW(next.bindPort(port));
  next.close();
}

TEST_F(Readers, StopDuringStartUpNeverLeavesAReaderBlocked) {
  // The stop lands at every point of the start-up: before the socket exists,
  // between socket and bind, right before or inside the receive.
  for (int round = 0; round < 200; ++round) {
    Observed<WeatherReader> reader;
    std::thread body([&] {
      try {
        reader.open();
        reader.bindPort(0);
      } catch (const std::exception&) {
        // The socket was closed under the set-up; the loop below still ends.
      }
      reader.receiveLoop();
    });
    if (round % 2) std::this_thread::yield();
    reader.requestStop();
    auto done = std::async(std::launch::async, [&] { body.join(); });
    ASSERT_EQ(done.wait_for(30s), std::future_status::ready) << "round " << round;
    EXPECT_EQ(reader.socketHandle(), INVALID_SOCKET);
    EXPECT_TRUE(reader.stopped());
    reader.close();
  }
}

TEST_F(Readers, LoopEndsWhenItsSocketWasClosedEvenIfTheStopFlagWasClearedSince) {
  Observed<WeatherReader> reader;
  reader.start();
  reader.requestStop();
  reader.clearStopRequest();  // a restart's reset, racing with the old loop
  EXPECT_TRUE(reader.join());
  EXPECT_TRUE(reader.stopped());
}

TEST_F(Readers, ALoopThatOutlivedARestartLeavesTheNewSocketAlone) {
  HeldReader reader;
  const std::uint16_t port = reader.start();
  ASSERT_TRUE(sender.send(port, "{}"));
  ASSERT_TRUE(reader.waitForCount(1));  // the old loop now sits in the datagram
  reader.requestStop();
  reader.clearStopRequest();
  reader.open();
  reader.bindPort(0);
  const SOCKET fresh = reader.socketHandle();
  reader.release();
  EXPECT_TRUE(reader.join());
  EXPECT_EQ(reader.socketHandle(), fresh);
  EXPECT_NE(reader.boundPort(), 0);
  reader.close();
}

TEST_F(Readers, PersistentReceiveErrorsBackOff) {
  EXPECT_EQ(UdpReader::errorPause(1), 10ms);
  EXPECT_EQ(UdpReader::errorPause(2), 20ms);
  EXPECT_EQ(UdpReader::errorPause(7), 640ms);
  EXPECT_EQ(UdpReader::errorPause(8), 1000ms);
  EXPECT_EQ(UdpReader::errorPause(100000), 1000ms);

  Observed<WeatherReader> reader;
  reader.open();
  reader.bindPort(0);
  // A dead handle that stays the reader's: every receive fails at once.
  closesocket(reader.socketHandle());
  std::vector<std::chrono::milliseconds> pauses;
  reader.setPauseFunction([&](std::chrono::milliseconds pause) {
    pauses.push_back(pause);
    if (pauses.size() == 9) reader.requestStop();
  });
  reader.receiveLoop();
  const std::vector<std::chrono::milliseconds> expected{10ms,  20ms,  40ms,  80ms,   160ms,
                                                         320ms, 640ms, 1000ms, 1000ms};
  EXPECT_EQ(pauses, expected);
  EXPECT_TRUE(reader.stopped());
  reader.close();
}

TEST_F(Readers, OneBadDatagramNeverEndsTheLoop) {
  gTick.store(0);
  Observed<TrafficReader> reader;
  reader.setUserPosition({52.3, 4.76});
  const std::uint16_t port = reader.start();
  auto fields = testing_traffic::baseFields();
  fields[2] = "north";
  ASSERT_TRUE(sender.send(port, testing_traffic::joinFields(fields)));
  ASSERT_TRUE(sender.send(port, "garbage"));
  ASSERT_TRUE(sender.send(port, testing_traffic::joinFields(testing_traffic::baseFields())));
  ASSERT_TRUE(reader.waitForCount(3));
  EXPECT_TRUE(reader.stop());
  std::lock_guard lock(gUpdateMutex);
  EXPECT_EQ(gUpdateQueue.size(), 1u);
}

TEST_F(Readers, ABurstWaitsInTheReceiveBufferWhileTheReaderIsBusy) {
  gRtLocal = true;
  HeldReader reader;
  const std::uint16_t port = reader.start();
  const int granted = reader.receiveBufferBytes();
  EXPECT_TRUE(log.contains(sk::format("          QNH Reader: receive buffer {} bytes", granted)));
  if (granted < UdpReader::kReceiveBufferBytes) GTEST_SKIP() << "the system granted " << granted << " bytes";
  // 800 lines of 200 bytes overflow a default buffer several times over.
  constexpr std::size_t kBurst = 800;
  ASSERT_TRUE(sender.send(port, "{}"));
  ASSERT_TRUE(reader.waitForCount(1));  // now held inside that datagram
  for (std::size_t i = 0; i < kBurst; ++i) ASSERT_TRUE(sender.send(port, std::string(200, 'x')));
  reader.release();
  EXPECT_TRUE(reader.waitForCount(kBurst + 1));
  EXPECT_TRUE(reader.stop());
}

TEST_F(Readers, FloodsOfBadDatagramsLogAFewLinesASecondWithTheInputCut) {
  Observed<WeatherReader> reader;
  const std::uint16_t port = reader.start();
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(sender.send(port, std::string(UdpReader::kBufferSize + 10, ' ')));
  ASSERT_TRUE(sender.send(port, R"({"QNH": 1002})"));
  ASSERT_TRUE(reader.waitForCount(1));
  EXPECT_TRUE(reader.stop());

  const auto sizeBefore = log.lines().size();
  const std::string junk(1000, 'j');
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1500; ++i) {
    reader.onDatagram(R"({"wind": ")" + junk + "\"}");
    reader.onDatagram(R"({"QNH": 5, "x": ")" + junk + "\"}");
    reader.onDatagram(junk);
  }
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  const auto lines = log.lines();
  std::size_t overruns = 0, longest = 0;
  for (const auto& line : lines) {
    overruns += line.starts_with("buffer overrun: ");
    longest = std::max(longest, line.size());
  }
  EXPECT_GE(overruns, 1u);
  EXPECT_LE(overruns, 20u) << "five a second";
  // Three kinds of line, five a second each, however long the flood took.
  EXPECT_LE(lines.size() - sizeBefore, 15u * (static_cast<std::size_t>(seconds.count()) + 2))
      << "4500 bad datagrams in " << seconds.count() << " s";
  EXPECT_LT(longest, 400u) << "quoted input is cut";
}

class Qnh : public Readers {
 protected:
  void feed(const std::string& text) { reader.onDatagram(text); }
  WeatherReader reader;
};

TEST_F(Qnh, ValuesAndUnits) {
  feed(R"({"QNH": 1009.6})");
  EXPECT_EQ(gQnh.load(), 1010);
  EXPECT_EQ(reader.lastQnh(), 1010);
  feed(R"({"QNH": 2992})");
  EXPECT_EQ(gQnh.load(), 1013) << "hundredths of an inch of mercury";
  feed(R"({"QNH": 1080})");
  EXPECT_EQ(gQnh.load(), 1080);
  feed(R"({"QNH": "998"})");
  EXPECT_EQ(gQnh.load(), 998);
  feed(R"({"QNH": 930})");
  EXPECT_EQ(gQnh.load(), 930);
}

TEST_F(Qnh, StrangeValuesKeepThePreviousOne) {
  feed(R"({"QNH": 1020})");
  feed(R"({"QNH": 900})");
  EXPECT_EQ(gQnh.load(), 1020);
  EXPECT_TRUE(log.contains(R"(? Strange QNH 900 found in {"QNH": 900})"));
  feed(R"({"QNH": 929})");
  feed(R"({"QNH": 1081})");
  EXPECT_EQ(gQnh.load(), 1020);
  EXPECT_TRUE(log.contains(R"(? Strange QNH 366 found in {"QNH": 1081})"));
  feed(R"({"QNH": 1e300})");
  EXPECT_EQ(gQnh.load(), 1020);
}

TEST_F(Qnh, MissingAndBrokenValues) {
  feed(R"({"QNH": 1020})");
  feed(R"({"wind": 5})");
  EXPECT_EQ(gQnh.load(), 1013) << "a datagram without QNH means standard pressure";
  EXPECT_TRUE(log.contains(R"(no QNH {"wind": 5})"));

  feed(R"({"QNH": 1020})");
  feed(R"({"QNH": "high"})");
  EXPECT_EQ(gQnh.load(), 1013);
  EXPECT_TRUE(log.contains("QNH string invalid arg: stoi"));
  feed(R"({"QNH": "99999999999"})");
  EXPECT_TRUE(log.contains("QNH string out of range: stoi"));
  feed(R"({"QNH": true})");
  EXPECT_TRUE(log.contains(R"(no QNH {"QNH": true})"));

  feed(R"({"QNH": 1020})");
  feed(R"({"QNH": 10)");
  EXPECT_EQ(gQnh.load(), 1020);
  bool logged = false;
  for (const auto& line : log.lines())
    logged |= line.starts_with("Exception ") && line.ends_with(R"(, in {"QNH": 10)");
  EXPECT_TRUE(logged);
}

TEST_F(Qnh, AcceptedValueTurnsASilentLightOn) {
  gQnhReaderStatus.store(READER_SILENT);
  feed(R"({"QNH": 1015})");
  EXPECT_EQ(gQnhReaderStatus.load(), READER_RECEIVING);
  gQnhReaderStatus.store(READER_SILENT);
  feed(R"({"QNH": 1015})");
  EXPECT_EQ(gQnhReaderStatus.load(), READER_SILENT) << "an unchanged value is not applied again";
  feed(R"({"QNH": 1013})");
  gQnhReaderStatus.store(READER_SILENT);
  feed(R"({"QNH": 1013})");
  EXPECT_EQ(gQnhReaderStatus.load(), READER_RECEIVING) << "1013 is applied even when unchanged";
  gQnhReaderStatus.store(READER_STOPPED);
  feed(R"({"QNH": 1016})");
  EXPECT_EQ(gQnhReaderStatus.load(), READER_STOPPED);
}

// ---- The global readers: thread bodies, watchdog, reset ----

std::mutex gRepaintMutex;
std::condition_variable gRepainted;
int gRepaints = 0;
void lf_countRepaint() {
  std::lock_guard lock(gRepaintMutex);
  ++gRepaints;
  gRepainted.notify_all();
}

class GlobalReaders : public Readers {
 protected:
  void SetUp() override {
    Readers::SetUp();
    gf_resetRealTrafficReaders();
    doubles::clearReaderStoppedCalls();
    gf_setReaderRepaintHook(&lf_countRepaint);
  }
  void TearDown() override {
    gf_stopRealTrafficReaders();
    for (auto& t : threads)
      if (t.joinable()) t.join();
    gf_setReaderRepaintHook(nullptr);
    gf_resetRealTrafficReaders();
    gRtClientConnected.store(false);
    Readers::TearDown();
  }
  // Starts a reader thread on an ephemeral port and waits until it receives.
  std::uint16_t startThread(void (*body)(std::uint16_t), UdpReader& reader,
                            std::atomic<std::int32_t>& light) {
    light.store(0);
    threads.emplace_back(body, 0);
    std::unique_lock lock(gRepaintMutex);
    EXPECT_TRUE(gRepainted.wait_for(lock, 30s, [&] { return light.load() == READER_RECEIVING; }));
    return reader.boundPort();
  }
  std::vector<std::thread> threads;
};

TEST_F(GlobalReaders, ThreadBodiesConnectReceiveAndStop) {
  const auto qnhPort = startThread(&lf_qnhReaderThread, gWeatherReader, gQnhReaderStatus);
  const auto trafficPort = startThread(&lf_trafficReaderThread, gTrafficReader, gTrafficReaderStatus);
  ASSERT_NE(qnhPort, 0);
  ASSERT_NE(trafficPort, 0);
  EXPECT_TRUE(sender.send(qnhPort, R"({"QNH": 1002})"));
  EXPECT_TRUE(testing_traffic::waitUntil([] { return gQnh.load() == 1002; }));

  gf_stopRealTrafficReaders();
  for (auto& t : threads) t.join();
  EXPECT_EQ(gTrafficReaderStatus.load(), READER_STOPPED);
  EXPECT_EQ(gQnhReaderStatus.load(), READER_RECEIVING) << "the QNH light keeps its value";
  EXPECT_TRUE(log.contains("          QNH Reader connected"));
  EXPECT_TRUE(log.contains("          Traffic Reader connected"));
  EXPECT_TRUE(log.contains("QNH Reader has stopped"));
  EXPECT_TRUE(log.contains("Traffic Reader has stopped"));
  EXPECT_TRUE(doubles::readerStoppedCalls().empty());
}

TEST_F(GlobalReaders, BindFailureIsReportedToTheShell) {
  TrafficReader blocker;
  blocker.open();
  blocker.bindPort(0);
  const std::uint16_t taken = blocker.boundPort();
  std::thread body(&lf_qnhReaderThread, taken);
  body.join();
  blocker.close();
  const auto calls = doubles::readerStoppedCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(calls[0].first);
  EXPECT_EQ(calls[0].second,
            "sys error 32: bind to stream socket failed with error: 10048 Address already in use");
  EXPECT_TRUE(log.contains("===> QNH Reader disconnected"));
  EXPECT_EQ(gWeatherReader.socketHandle(), INVALID_SOCKET);
}

TEST_F(GlobalReaders, StopBeforeTheThreadStartsIsNoError) {
  gf_stopRealTrafficReaders();
  std::thread body(&lf_trafficReaderThread, 0);
  body.join();
  EXPECT_TRUE(doubles::readerStoppedCalls().empty());
  EXPECT_EQ(gTrafficReader.socketHandle(), INVALID_SOCKET);
  EXPECT_EQ(gTrafficReaderStatus.load(), READER_STOPPED);
}

TEST_F(GlobalReaders, WatchdogTurnsSilentReadersGreyAndBack) {
  gTrafficReaderStatus.store(READER_RECEIVING);
  gQnhReaderStatus.store(READER_RECEIVING);
  gf_checkReaders();
  EXPECT_EQ(gQnhReaderStatus.load(), READER_RECEIVING) << "nothing before RealTraffic connected";

  gRtClientConnected.store(true);
  gf_checkReaders();
  EXPECT_EQ(gQnhReaderStatus.load(), READER_SILENT);
  EXPECT_EQ(gTrafficReaderStatus.load(), READER_SILENT);

  const auto qnhPort = startThread(&lf_qnhReaderThread, gWeatherReader, gQnhReaderStatus);
  gQnhReaderStatus.store(READER_SILENT);
  // A refused value: only the watchdog may turn the light on again.
  ASSERT_TRUE(sender.send(qnhPort, R"({"QNH": 900})"));
  ASSERT_TRUE(testing_traffic::waitUntil([] { return gWeatherReader.received() == 1; }));
  gf_checkReaders();
  EXPECT_EQ(gQnhReaderStatus.load(), READER_RECEIVING);
  EXPECT_EQ(gTrafficReaderStatus.load(), READER_SILENT);
  gf_checkReaders();
  EXPECT_EQ(gQnhReaderStatus.load(), READER_SILENT) << "nothing new since the last look";
}

TEST_F(GlobalReaders, ResetRestoresAFreshStart) {
  gQnh.store(990);
  gWeatherReader.setLastQnh(990);
  gRtDataTime.store(1765200000.0);
  gTrafficReader.setCollectCallsigns(true);
  gTrafficReader.setUserPosition({52.3, 4.76});
  gTrafficReader.onDatagram(testing_traffic::joinFields(testing_traffic::baseFields()));
  EXPECT_FALSE(gTrafficReader.seenCallsigns().empty());
  gf_stopRealTrafficReaders();

  gf_resetRealTrafficReaders();
  gTrafficReader.setCollectCallsigns(false);
  EXPECT_EQ(gQnh.load(), 1013);
  EXPECT_EQ(gWeatherReader.lastQnh(), 1013);
  EXPECT_EQ(gRtDataTime.load(), 0.0);
  EXPECT_TRUE(gTrafficReader.seenCallsigns().empty());
  EXPECT_FALSE(gTrafficReader.stopRequested());
  EXPECT_FALSE(gWeatherReader.stopRequested());
  EXPECT_EQ(gWeatherReader.received(), 0u);
}

}  // namespace
