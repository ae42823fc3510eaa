// The player against plain UDP listeners, on the real clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "loopback_socket.h"
#include "tools/rtplayer/link.h"
#include "tools/rtplayer/replay.h"
#include "tools/rtplayer/schedule.h"
#include "tools/rtplayer/udp_sink.h"

namespace rtplay {
namespace {

using namespace std::chrono_literals;

struct Arrival {
  std::string text;
  Clock::time_point at;
};

// Receives datagrams on its own thread until the socket is closed.
class Listener {
 public:
  Listener() : m_thread([this, socket = m_socket.get()] { receive(socket); }) {}
  ~Listener() {
    m_socket.close();
    m_thread.join();
  }
  std::uint16_t port() const { return m_socket.port(); }
  std::vector<Arrival> waitFor(std::size_t count) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, 10s, [&] { return m_arrivals.size() >= count; });
    return m_arrivals;
  }

 private:
  void receive(SOCKET socket) {
    char buffer[16384];
    for (;;) {
      const int n = ws::recvfrom(socket, buffer, sizeof(buffer), 0, nullptr, nullptr);
      if (n <= 0) return;
      std::lock_guard lock(m_mutex);
      m_arrivals.push_back({std::string(buffer, static_cast<std::size_t>(n)), Clock::now()});
      m_changed.notify_all();
    }
  }

  test::LoopbackSocket m_socket{SOCK_DGRAM};
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Arrival> m_arrivals;
  std::thread m_thread;
};

// Time that passes only when the player sleeps.
class VirtualClock final : public ReplayClock {
 public:
  Clock::time_point now() override { return m_now; }
  double epochSeconds() override { return 1.7e9; }
  void sleepUntil(Clock::time_point when) override { m_now = std::max(m_now, when); }

 private:
  Clock::time_point m_now{};
};

// When, on the given clock, each traffic datagram was sent.
struct StampingSink final : DatagramSink {
  explicit StampingSink(ReplayClock& clock) : clock(clock) {}
  void send(DatagramKind kind, std::string_view) override {
    if (kind == DatagramKind::Traffic) traffic.push_back(clock.now());
  }
  ReplayClock& clock;
  std::vector<Clock::time_point> traffic;
};

TEST(UdpPlay, ThreeLinesArriveAsThreeDatagramsWithTheFilesIntervals) {
  const auto replay = gf_readReplayFile(SKLM_TEST_DATA_DIR "/rtplayer/three_lines.replay");
  ASSERT_EQ(replay.items.size(), 3u);
  Listener traffic;
  Listener pressure;
  UdpSink sink(Ipv4Address{}, traffic.port(), pressure.port());
  SystemReplayClock clock;
  PlayOptions pressureOptions;
  pressureOptions.pressure = "1009.6";
  const auto plan = gf_planReplay(replay, pressureOptions, clock.epochSeconds());
  EXPECT_EQ(gf_playPlan(plan, clock, sink), 4u);

  const auto arrivals = traffic.waitFor(3);
  ASSERT_EQ(arrivals.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(arrivals[i].text, replay.items[i].text) << i;
  const auto interval = [&](std::size_t i) {
    return std::chrono::duration<double>(arrivals[i].at - arrivals[i - 1].at).count();
  };
  const auto fileInterval = [&](std::size_t i) { return *replay.items[i].time - *replay.items[i - 1].time; };
  // A loaded machine delays any wake-up: the spacing on the wire is shown, the
  // schedule itself is checked on a clock the test drives.
  std::printf("wall-clock spacing: %.3f s (file %.3f s), %.3f s (file %.3f s)\n", interval(1), fileInterval(1),
              interval(2), fileInterval(2));
  VirtualClock virtualClock;
  StampingSink stamps(virtualClock);
  EXPECT_EQ(gf_playPlan(plan, virtualClock, stamps), 4u);
  ASSERT_EQ(stamps.traffic.size(), 3u);
  for (std::size_t i = 1; i < 3; ++i)
    EXPECT_NEAR(std::chrono::duration<double>(stamps.traffic[i] - stamps.traffic[i - 1]).count(), fileInterval(i),
                1e-6)
        << i;

  const auto pressures = pressure.waitFor(1);
  ASSERT_EQ(pressures.size(), 1u);
  EXPECT_EQ(pressures[0].text, "{\"QNH\":1009.6}");
}

TEST(UdpPlay, OnlyLoopbackTargetsAreAccepted) {
  for (std::uint32_t address : {0x0A000001u, 0xC0A80001u, 0x80000001u, 0x7E000001u, 0u, 0xFFFFFFFFu})
    EXPECT_THROW(UdpSink(Ipv4Address{address}, 49005, 49004), std::runtime_error) << address;
  EXPECT_THROW(RtLinkClient(Ipv4Address{0x08080808}, 10747, VersionInfo{}, LinkObserver{}),
               std::runtime_error);
  EXPECT_NO_THROW(UdpSink(Ipv4Address{0x7F0000FE}, 49005, 49004));
}

}  // namespace
}  // namespace rtplay
