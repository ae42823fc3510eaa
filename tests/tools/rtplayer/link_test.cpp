#include "tools/rtplayer/link.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "loopback_socket.h"

namespace rtplay {
namespace {

using namespace std::chrono_literals;

TEST(LinkSession, AnswersTheVersionRequestWithItsEdition) {
  LinkSession professional(VersionInfo{});
  auto step = professional.feed("Qs999=version\r\n");
  EXPECT_TRUE(step.versionAnswered);
  const auto reply = nlohmann::json::parse(step.reply);
  EXPECT_EQ(reply.at("version"), "9.0.1");
  EXPECT_EQ(reply.at("level"), 2);
  EXPECT_TRUE(step.reply.ends_with("\r\n"));

  LinkSession standard(VersionInfo{.edition = Edition::Standard});
  EXPECT_EQ(nlohmann::json::parse(standard.feed("Qs999=version\r\n").reply).at("level"), 1);
}

TEST(LinkSession, RecordsRequestsByteForByteWhateverTheirSplit) {
  LinkSession session(VersionInfo{});
  auto step = session.feed("Qs121=2e+03;-0;1.570796;3000000;");
  EXPECT_TRUE(step.recorded.empty());
  EXPECT_EQ(session.pending(), "Qs121=2e+03;-0;1.570796;3000000;");
  step = session.feed("140000.5;0.912854;0.083078\r");
  EXPECT_TRUE(step.recorded.empty());
  step = session.feed("\nQs123=86400000\r\nQs999=version\r\nHELLO\r\nexit\r\nQs1");
  ASSERT_EQ(step.recorded.size(), 3u);
  EXPECT_EQ(step.recorded[0], "Qs121=2e+03;-0;1.570796;3000000;140000.5;0.912854;0.083078\r\n");
  EXPECT_EQ(step.recorded[1], "Qs123=86400000\r\n");
  EXPECT_EQ(step.recorded[2], "exit\r\n");
  EXPECT_EQ(step.unexpected, std::vector<std::string>{"HELLO\r\n"});
  EXPECT_TRUE(step.versionAnswered);
  EXPECT_TRUE(step.exitReceived);
  EXPECT_EQ(session.pending(), "Qs1");
}

TEST(LinkSession, AMessageThatNeverEndsIsDropped) {
  LinkSession session(VersionInfo{});
  const auto step = session.feed(std::string(70000, 'x'));
  EXPECT_EQ(step.unexpected.size(), 1u);
  EXPECT_TRUE(session.pending().empty());
  EXPECT_EQ(session.feed("exit\r\n").recorded.size(), 1u);
}

// Collects what the client reports, for the test thread to wait on.
struct Recorded {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> messages;
  int versions = 0;

  LinkObserver observer() {
    return {[this](std::string_view m) {
              std::lock_guard lock(mutex);
              messages.emplace_back(m);
              changed.notify_all();
            },
            {},
            [this] {
              std::lock_guard lock(mutex);
              ++versions;
              changed.notify_all();
            }};
  }
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 10s, [&] { return messages.size() >= count; });
  }
};

std::string lf_receiveSome(SOCKET socket) {
  char buffer[1024];
  const int n = ws::recv(socket, buffer, sizeof(buffer), 0);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

void lf_sendAll(SOCKET socket, std::string_view text) {
  ASSERT_EQ(ws::send(socket, text.data(), static_cast<int>(text.size()), 0), static_cast<int>(text.size()));
}

TEST(LinkClient, AnswersSkylumesVersionRequestAndRecordsItsRequests) {
  test::LoopbackSocket server(SOCK_STREAM);
  Recorded recorded;
  RtLinkClient client(Ipv4Address{}, server.port(), VersionInfo{.edition = Edition::Standard},
                      recorded.observer());
  std::thread thread([&] { client.run(); });

  const SOCKET peer = ws::accept(server.get(), nullptr, nullptr);
  ASSERT_NE(peer, INVALID_SOCKET);
  lf_sendAll(peer, "Qs999=version\r\n");
  std::string reply;
  while (!reply.ends_with("\r\n")) {
    const auto part = lf_receiveSome(peer);
    ASSERT_FALSE(part.empty());
    reply += part;
  }
  const auto json = nlohmann::json::parse(reply);
  EXPECT_TRUE(json.at("version").is_string());
  EXPECT_EQ(json.at("level"), 1);

  const std::string qs121 = "Qs121=-1e+03;2e+03;3.159046;2375000;168000.5;0.912998;0.083147\r\n";
  lf_sendAll(peer, qs121.substr(0, 20));
  lf_sendAll(peer, qs121.substr(20) + "Qs123=1733652000000\r\n");
  lf_sendAll(peer, "exit\r\n");
  ASSERT_TRUE(recorded.waitFor(3));
  {
    std::lock_guard lock(recorded.mutex);
    EXPECT_EQ(recorded.messages[0], qs121);
    EXPECT_EQ(recorded.messages[1], "Qs123=1733652000000\r\n");
    EXPECT_EQ(recorded.messages[2], "exit\r\n");
    EXPECT_EQ(recorded.versions, 1);
  }
  // After "exit" the client hangs up and comes back, as after a restart of Skylume.
  EXPECT_EQ(lf_receiveSome(peer), "");
  closesocket(peer);
  const SOCKET again = ws::accept(server.get(), nullptr, nullptr);
  ASSERT_NE(again, INVALID_SOCKET);
  lf_sendAll(again, "Qs121=0;0;0.000000;0;0;0.912998;0.083147\r\n");
  ASSERT_TRUE(recorded.waitFor(4));

  // Stopping wakes the client out of its blocked receive.
  client.stop();
  thread.join();
  closesocket(again);
}

TEST(LinkClient, StopsWhileSkylumeIsNotThere) {
  // A port that was just free: nobody listens, the client keeps retrying until stopped.
  std::uint16_t port = 0;
  {
    test::LoopbackSocket probe(SOCK_STREAM);
    port = probe.port();
  }
  Recorded recorded;
  auto observer = recorded.observer();
  observer.note = [&](std::string_view text) {
    std::lock_guard lock(recorded.mutex);
    recorded.messages.emplace_back(text);
    recorded.changed.notify_all();
  };
  RtLinkClient client(Ipv4Address{}, port, VersionInfo{}, std::move(observer));
  std::thread thread([&] { client.run(); });
  ASSERT_TRUE(recorded.waitFor(1));
  EXPECT_TRUE(recorded.messages[0].starts_with("waiting for Skylume")) << recorded.messages[0];
  client.stop();
  thread.join();
}

}  // namespace
}  // namespace rtplay
