// The RealTraffic link on its real port, played by the stand-in's client or a bare socket.
#include <condition_variable>
#include <future>
#include <thread>

#include "core/clock.h"
#include "core/errors.h"
#include "engine_doubles.h"
#include "shell/rt_link.h"
#include "shell/run_state.h"
#include "shell/startup.h"
#include "shell_test_support.h"
#include "tools/rtplayer/link.h"
#include "tools/rtplayer/udp_sink.h"
#include "traffic/user_aircraft.h"

namespace {

using namespace std::chrono_literals;
constexpr const char* kQs121 = "Qs121=2e+03;-5e+03;1.570796;4e+07;250500;0.898452;-0.008053\r\n";
const sockaddr_in kServer = rtplay::gf_loopbackSocketAddress(rtplay::Ipv4Address{}, 10747);

// The stand-in's client on a thread of its own; records and version answers under the mutex.
struct StandIn {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> records;
  int versions = 0;
  rtplay::RtLinkClient client{rtplay::Ipv4Address{}, 10747, {}, observer()};
  std::jthread thread{[this] { client.run(); }};
  ~StandIn() { stop(); }

  void stop() {
    client.stop();
    if (thread.joinable()) thread.join();
  }
  rtplay::LinkObserver observer() {
    const auto note = [this](auto change) {
      std::lock_guard lock(mutex);
      change();
      changed.notify_all();
    };
    return {[=, this](std::string_view m) { note([&] { records.emplace_back(m); }); }, {},
            [=, this] { note([&] { ++versions; }); }};
  }
  // The records once there are n of them.
  std::vector<std::string> recordsWhen(std::size_t n) {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, 10s, [&] { return records.size() >= n; });
    return records;
  }
};

// A bare TCP socket on the test's side.
struct Peer {
  rtplay::WinsockSession winsock;  // before the socket
  SOCKET socket = ws::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ~Peer() { closesocket(socket); }
  std::string receive() {
    char buffer[64];
    const int n = ws::recv(socket, buffer, sizeof buffer, 0);
    return std::string(buffer, static_cast<std::size_t>(std::max(n, 0)));
  }
};

template <class T>
T lf_within5s(std::future<T>& result) {
  EXPECT_EQ(result.wait_for(30s), std::future_status::ready);
  return result.get();
}

class RtLinkPorts : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    engine_doubles::reset();
    gf_setClockSource([]() -> std::int64_t { return 1719837296; });  // 2024-07-01 12:34:56 UTC
    gRtLocal = true;
    gUserAc = {.latitude = 51.4775, .longitude = -0.4614, .pitch = 0.0234, .bank = -0.05,
               .heading = 1.5707963, .altitude = 35000.0, .groundSpeed = 250.5};
  }
  void TearDown() override {
    lf_stopServer();
    gf_setClockSource(nullptr);
    gRtLocal = false;
    gStartupPhase = true;
    gRtProfessional = false;
    gUserAc = {};
    engine_doubles::reset();
    ShellTest::TearDown();
  }
  bool loggedLine(const std::string& line) const { return logged().find(line + "\n") != std::string::npos; }
  void goneAndBack(bool foundByTimeRequest);
};

TEST_F(RtLinkPorts, HandshakeThenTimeAndPositionAsRealTrafficReadsThem) {
  lf_startServer(PORT_NUMBER.value());
  StandIn rt;
  lf_connectRealTraffic();
  EXPECT_EQ(gAppState.rtVersionText.get(), "RT prof edition: 9.0.1");
  EXPECT_TRUE(gRtProfessional && !gStartupPhase && gAppState.rtShown);
  EXPECT_TRUE(loggedLine("Waiting for RealTraffic to connect to Skylume ..."));
  EXPECT_TRUE(loggedLine("===> RealTraffic connected"));

  lf_sendQs123(1719792000);
  lf_sendQs123(0);
  gf_sendQs121();
  gUserAc.latitude = 0.0005;  // the simulator's null position: nothing goes
  gUserAc.longitude = 0.01;
  gf_sendQs121();
  gUserAc.latitude = -0.0005;
  gf_sendQs121();
  // The client answers only "Qs999=version" and records only requests it knows:
  // one answer and these records mean that the version request came first.
  EXPECT_EQ(rt.recordsWhen(3), (std::vector<std::string>{"Qs123=1719792000000\r\n", kQs121,
                                                        "Qs121=2e+03;-5e+03;1.570796;4e+07;250500;-0.000009;0.000175\r\n"}));
  EXPECT_EQ(rt.versions, 1);
}

// RealTraffic goes away: the position request (every second) or the time
// request (every 15 s) finds it; either removes the live aircraft and says so.
void RtLinkPorts::goneAndBack(bool foundByTimeRequest) {
  lf_startServer(PORT_NUMBER.value());
  auto first = std::make_unique<StandIn>();
  lf_connectRealTraffic();
  using engine_doubles::liveAct;
  gActs = {liveAct(1, "KLM1", ACT_NOT_IN_SIM), liveAct(2, "KLM2", ACT_PRESENT),
           liveAct(3, "BAW3", ACT_CREATION_REQUESTED), liveAct(4, "DLH4", ACT_CREATION_REQUESTED)};
  engine_doubles::queuedCreations = {"BAW3"};  // DLH4's creation is already with the simulator
  gRtDataTime = 1719837000.0;

  first.reset();
  for (int call = 0; call < 2 && gRtClientConnected; ++call) {  // Linux tells on the second
    foundByTimeRequest ? lf_sendQs123(1719792000) : gf_sendQs121();
  }
  EXPECT_FALSE(gRtClientConnected);
  EXPECT_NE(logged().find("===> sendDataPacket to RealTraffic failed: "), std::string::npos) << logged();
  EXPECT_TRUE(loggedLine("===> RealTraffic client socket closed"));
  EXPECT_EQ(messageText(), "12:34:56 RealTraffic gone? Wait for RealTraffic to re-connect ...");
  EXPECT_EQ(engine_doubles::removed, std::vector<std::uint32_t>{2});
  EXPECT_EQ(engine_doubles::withdrawals, (std::vector<std::string>{"BAW3", "DLH4"}));
  ASSERT_EQ(gActs.size(), 3u);
  EXPECT_TRUE(gActs[0].eraseMark == 0 && gActs[1].state == ACT_REMOVAL_REQUESTED && gActs[2].removeWhenCreated);
  EXPECT_EQ(gRtDataTime, 0.0) << "the readers were reset";
  EXPECT_FALSE(gAppState.rtShown);

  StandIn second;
  gf_sendQs121();  // waits in accept for RealTraffic
  EXPECT_TRUE(loggedLine("12:34:56 RealTraffic re-connected"));
  EXPECT_TRUE(gRtClientConnected && gAppState.rtShown);
  gf_sendQs121();
  EXPECT_EQ(second.recordsWhen(1), std::vector<std::string>{kQs121});
  EXPECT_EQ(second.versions, 0);
}

TEST_F(RtLinkPorts, RealTrafficGoneAndBack) { goneAndBack(false); }
TEST_F(RtLinkPorts, RealTrafficFoundGoneByTheTimeRequest) { goneAndBack(true); }

TEST_F(RtLinkPorts, StopAndWakeEndBlockedCallsAndOnlyStopSaysExit) {
  for (auto* end : {&lf_stopServer, &gf_wakeRtLink}) {
    lf_startServer(PORT_NUMBER.value());
    auto waiting = std::async(std::launch::async, [] { return waitForClient(); });
    end();
    EXPECT_FALSE(lf_within5s(waiting));
    lf_stopServer();
  }
  // The wake ends a receive and keeps the client for the exit's goodbye.
  lf_startServer(PORT_NUMBER.value());
  Peer peer;
  ASSERT_EQ(ws::connect(peer.socket, reinterpret_cast<const sockaddr*>(&kServer), sizeof kServer), 0);
  ASSERT_TRUE(waitForClient());
  ws::send(peer.socket, "{\"version\":\"9\"}\0junk", 20, 0);
  EXPECT_EQ(lf_receive(), R"({"version":"9"})") << "bytes after a NUL are ignored";
  // A reply split in two segments is read whole: the second is sent only once
  // the first has been taken off the socket.
  auto split = std::async(std::launch::async, [] { return lf_receive(); });
  ws::send(peer.socket, "{\"version\"", 10, 0);
  const auto bound = std::chrono::steady_clock::now() + 30s;
  for (unsigned long ready = 1; ready > 0 && std::chrono::steady_clock::now() < bound;) {
    if (ws::ioctlsocket(gRtClientSocket.load(), FIONREAD, &ready) != 0) break;
    std::this_thread::yield();
  }
  ws::send(peer.socket, ":\"9.0.1\",\"level\":2}\r\n", 21, 0);
  EXPECT_EQ(lf_within5s(split), "{\"version\":\"9.0.1\",\"level\":2}\r\n");
  auto receiving = std::async(std::launch::async, [] { return lf_receive(); });
  gExitStarted = true;  // as every exit has set it before its wake
  gf_wakeRtLink();
  EXPECT_EQ(lf_within5s(receiving), "");
  gExitStarted = false;
  lf_stopServer();
  EXPECT_EQ(peer.receive(), "exit\r\n");

  // With the stand-in: its "exit", then the in-process restart opens the port again.
  lf_startServer(PORT_NUMBER.value());
  StandIn rt;
  lf_connectRealTraffic();
  lf_stopServer();
  EXPECT_EQ(rt.recordsWhen(1), std::vector<std::string>{"exit\r\n"});
  rt.stop();
  EXPECT_NO_THROW(lf_startServer(PORT_NUMBER.value()));
}

TEST_F(RtLinkPorts, APortTakenByAnotherListenerIsABindError) {
  Peer other;
  sockaddr_in any = kServer;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
#ifdef _WIN32
  // There SO_REUSEADDR on both would share the port outright; a listener
  // without it, as most programs open one, is refused with access denied.
  constexpr const char* kRefused = "10013 Permission denied";
#else
  const BOOL reuse = 1;  // past links may leave the port in TIME_WAIT; two listeners still exclude each other
  ws::setsockopt(other.socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
  constexpr const char* kRefused = "10048 Address already in use";
#endif
  ASSERT_EQ(ws::bind(other.socket, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
  ASSERT_EQ(ws::listen(other.socket, 1), 0);
  try {
    lf_startServer(PORT_NUMBER.value());
    ADD_FAILURE() << "no exception";
  } catch (const qlx::SysErrorException& e) {
    EXPECT_EQ(e.what(), std::string("sys error 5: Bind failed at port 10747 with error ") + kRefused);
  }
  EXPECT_EQ(gRtListenSocket.load(), INVALID_SOCKET);
}

}  // namespace
