#include "platform/winsock.h"
#include "tests/platform/thread_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
// Woken by the close, not by a timeout of the call's own; in seconds, as loaded
// machines delay a woken thread by a tenth of one at times.
constexpr auto kWokenWithin = std::chrono::seconds(5);

class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  void TearDown() override {
    for (SOCKET s : m_open) closesocket(s);
    EXPECT_EQ(WSACleanup(), 0);
  }

  SOCKET track(SOCKET s) {
    if (s != INVALID_SOCKET) m_open.push_back(s);
    return s;
  }

  static sockaddr_in loopback(unsigned short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ws::inet_addr("127.0.0.1");
    address.sin_port = htons(port);
    return address;
  }

  static unsigned short portOf(SOCKET s) {
    sockaddr_in address{};
    int length = sizeof address;
    EXPECT_EQ(ws::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length), 0);
    return ntohs(address.sin_port);
  }

  // The TCP server's opening steps: passive getaddrinfo, socket, blocking
  // mode, SO_REUSEADDR, bind, listen. Returns the listener or INVALID_SOCKET
  // with the failing step's Winsock error in *error.
  SOCKET openServer(const std::string& port, int* error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* result = nullptr;
    if ((*error = ws::getaddrinfo(nullptr, port.c_str(), &hints, &result)) != 0) return INVALID_SOCKET;
    SOCKET s = track(ws::socket(result->ai_family, result->ai_socktype, result->ai_protocol));
    unsigned long blocking = 0;
    int yes = 1;
    const bool ok = s != INVALID_SOCKET && ws::ioctlsocket(s, FIONBIO, &blocking) == 0 &&
                    ws::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes),
                                   sizeof yes) == 0 &&
                    ws::bind(s, result->ai_addr, static_cast<int>(result->ai_addrlen)) == 0 &&
                    ws::listen(s, SOMAXCONN) == 0;
    *error = ok ? 0 : WSAGetLastError();
    ws::freeaddrinfo(result);
    return ok ? s : INVALID_SOCKET;
  }

  SOCKET connectTo(unsigned short port) {
    SOCKET c = track(ws::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = loopback(port);
    EXPECT_EQ(ws::connect(c, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return c;
  }

  SOCKET boundUdp() {
    SOCKET s = track(ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in address = loopback(0);
    EXPECT_EQ(ws::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return s;
  }

  std::vector<SOCKET> m_open;
};

struct WakeResult {
  long long result = 0;
  int error = 0;
  std::chrono::milliseconds afterClose{0};
};

// Runs call on a thread, waits until that thread sleeps inside it, closes s
// from this thread and measures how long the call takes to come back. When it
// does not come back, unblock (which feeds the call) keeps the test from hanging.
WakeResult closeWhileBlocked(SOCKET s, const std::function<long long()>& call,
                             const std::function<void()>& unblock) {
  std::atomic<pid_t> tid{0};
  std::promise<void> returned;
  Clock::time_point returnedAt;
  WakeResult out;
  std::thread blocked([&] {
    tid = gf_currentThreadId();
    out.result = call();
    out.error = WSAGetLastError();
    returnedAt = Clock::now();
    returned.set_value();
  });
  EXPECT_TRUE(gf_waitUntilAsleep(tid)) << "the call did not block";
  const auto closedAt = Clock::now();
  EXPECT_EQ(closesocket(s), 0);
  if (returned.get_future().wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    ADD_FAILURE() << "closesocket did not wake the blocked call";
    unblock();
  }
  blocked.join();
  out.afterClose = std::chrono::duration_cast<std::chrono::milliseconds>(returnedAt - closedAt);
  return out;
}

// A handle given to the POSIX function by mistake must not compile; a descriptor still does.
template <class Handle>
concept PosixReceiveAccepts = requires(Handle h, char* buffer) { ::recv(h, buffer, 1, 0); };
template <class Handle>
concept PosixSendAccepts = requires(Handle h) { ::send(h, "x", 1, 0); };
static_assert(!PosixReceiveAccepts<SOCKET> && !PosixSendAccepts<SOCKET>);
static_assert(!PosixReceiveAccepts<const SOCKET&>);
static_assert(PosixReceiveAccepts<int> && PosixSendAccepts<int>);

TEST(WinsockErrors, ErrnoValuesMapToWinsockCodes) {
  EXPECT_EQ(gf_wsaCodeFromErrno(EADDRINUSE), 10048);
  EXPECT_EQ(gf_wsaCodeFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(gf_wsaCodeFromErrno(EWOULDBLOCK), WSAEWOULDBLOCK);
  EXPECT_EQ(gf_wsaCodeFromErrno(ENOTSOCK), 10038);
  EXPECT_EQ(gf_wsaCodeFromErrno(EPIPE), WSAECONNRESET);
  EXPECT_EQ(gf_wsaCodeFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(gf_wsaCodeFromErrno(EREMOTE), 10071);
  EXPECT_EQ(gf_wsaCodeFromErrno(ENOENT), ENOENT);  // no Winsock counterpart
}

TEST(WinsockStartup, SocketsNeedStartupAndCleanupIsCounted) {
  EXPECT_EQ(ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);

  WSADATA data;
  EXPECT_EQ(WSAStartup(MAKEWORD(0, 1), &data), WSAVERNOTSUPPORTED);
  ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0202);
  ASSERT_EQ(WSAStartup(MAKEWORD(3, 0), &data), 0);
  EXPECT_EQ(data.wVersion, 0x0202);
  SOCKET s = ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  EXPECT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(closesocket(s), 0);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
}

TEST_F(WinsockTest, ClosedHandlesAreNotSocketsAndAreNeverReused) {
  SOCKET first = ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  ASSERT_NE(first, INVALID_SOCKET);
  ASSERT_EQ(closesocket(first), 0);
  char buffer[4];
  EXPECT_EQ(ws::recv(first, buffer, sizeof buffer, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(closesocket(first), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_NE(track(ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)), first);
}

TEST_F(WinsockTest, AddressHelpersAndLookups) {
  EXPECT_EQ(ws::inet_addr("127.0.0.1"), htonl(0x7F000001));
  EXPECT_EQ(ws::inet_addr("127.0.0.x"), INADDR_NONE);
  in_addr address{};
  EXPECT_EQ(ws::inet_pton(AF_INET, "127.0.0.2", &address), 1);
  EXPECT_EQ(address.s_addr, htonl(0x7F000002));
  EXPECT_EQ(ws::inet_pton(AF_INET, "localhost", &address), 0);

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* result = nullptr;
  EXPECT_EQ(ws::getaddrinfo(nullptr, "no-such-service-here", &hints, &result), WSATYPE_NOT_FOUND);
  EXPECT_EQ(WSAGetLastError(), WSATYPE_NOT_FOUND);
  ASSERT_EQ(ws::getaddrinfo(nullptr, "10747", &hints, &result), 0);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(ntohs(reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_port), 10747);
  ws::freeaddrinfo(result);
}

TEST_F(WinsockTest, ServerOnAPortHeldByAnotherListenerFailsBindWith10048) {
  int error = -1;
  SOCKET first = openServer("0", &error);
  ASSERT_NE(first, INVALID_SOCKET) << error;
  const std::string port = std::to_string(portOf(first));
  EXPECT_EQ(openServer(port, &error), INVALID_SOCKET);
  EXPECT_EQ(error, 10048);

  SOCKET udp = boundUdp();
  sockaddr_in same = loopback(portOf(udp));
  SOCKET second = track(ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  EXPECT_EQ(ws::bind(second, reinterpret_cast<sockaddr*>(&same), sizeof same), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
}

TEST_F(WinsockTest, TcpExchangeWithNoDelayAndOrderlyClose) {
  int error = -1;
  SOCKET server = openServer("0", &error);
  ASSERT_NE(server, INVALID_SOCKET);
  SOCKET client = connectTo(portOf(server));
  sockaddr_in peer{};
  int peerLength = sizeof peer;
  SOCKET accepted = track(ws::accept(server, reinterpret_cast<sockaddr*>(&peer), &peerLength));
  ASSERT_NE(accepted, INVALID_SOCKET);
  EXPECT_EQ(peerLength, static_cast<int>(sizeof peer));
  EXPECT_EQ(peer.sin_addr.s_addr, htonl(0x7F000001));

  // Winsock takes a boolean option as an int or as a single byte.
  const char on = 1;
  ASSERT_EQ(ws::setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &on, 1), 0);
  int value = 0;
  int length = sizeof value;
  ASSERT_EQ(ws::getsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&value), &length), 0);
  EXPECT_NE(value, 0);

  // Readiness as WSAPoll gives it: nothing yet, then the request; a handle that is no socket is refused.
  WSAPOLLFD entry{client, POLLIN, 0};
  EXPECT_EQ(WSAPoll(&entry, 1, 0), 0);
  WSAPOLLFD unknown[] = {{client, POLLIN, 0}, {accepted + 1000, POLLIN, 0}};
  EXPECT_EQ(WSAPoll(unknown, 2, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(unknown[1].revents, POLLNVAL);
  const std::string request = "Qs999=version\r\n";
  ASSERT_EQ(ws::send(accepted, request.data(), static_cast<int>(request.size()), 0),
            static_cast<int>(request.size()));
  EXPECT_EQ(WSAPoll(&entry, 1, 5000), 1);
  EXPECT_EQ(entry.revents & POLLIN, POLLIN);
  char buffer[8193];
  const int n = ws::recv(client, buffer, 8192, 0);
  ASSERT_EQ(n, static_cast<int>(request.size()));
  EXPECT_EQ(std::string(buffer, n), request);

  ASSERT_EQ(closesocket(client), 0);
  EXPECT_EQ(ws::recv(accepted, buffer, 8192, 0), 0);  // the peer's orderly close
}

TEST_F(WinsockTest, SendToAPeerThatWentAwayFailsWithoutKillingTheProcess) {
  std::signal(SIGPIPE, SIG_DFL);  // a SIGPIPE would end this test program
  int error = -1;
  SOCKET server = openServer("0", &error);
  ASSERT_NE(server, INVALID_SOCKET);
  SOCKET client = connectTo(portOf(server));
  SOCKET accepted = track(ws::accept(server, nullptr, nullptr));
  ASSERT_NE(accepted, INVALID_SOCKET);
  ASSERT_EQ(closesocket(client), 0);

  const std::string line = "Qs121=0;0;1.000000;35000000;250000;0.900000;0.100000\r\n";
  int result = 0;
  for (int i = 0; i < 1000 && result != SOCKET_ERROR; ++i)
    result = ws::send(accepted, line.data(), static_cast<int>(line.size()), 0);
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);

  // Our own side shut for sending is told apart from a peer that went away.
  SOCKET second = connectTo(portOf(server));
  ASSERT_EQ(ws::shutdown(second, SD_SEND), 0);
  EXPECT_EQ(ws::send(second, line.data(), static_cast<int>(line.size()), 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAESHUTDOWN);
}

TEST_F(WinsockTest, DatagramLargerThanTheBufferReportsItsTrueSize) {
  constexpr int kBuffer = 16384;
  SOCKET reader = boundUdp();
  SOCKET sender = track(ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in to = loopback(portOf(reader));
  std::vector<char> buffer(kBuffer + 16, '#');

  auto sendAndReceive = [&](int size) {
    const std::string datagram(static_cast<std::size_t>(size), 'x');
    EXPECT_EQ(ws::sendto(sender, datagram.data(), size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), size);
    return ws::recvfrom(reader, buffer.data(), kBuffer, 0, nullptr, nullptr);
  };

  EXPECT_EQ(sendAndReceive(20000), 20000);
  EXPECT_EQ(buffer[kBuffer - 1], 'x');
  EXPECT_EQ(buffer[kBuffer], '#');  // nothing stored past the given length
  EXPECT_EQ(sendAndReceive(kBuffer), kBuffer);

  sockaddr_in from{};
  int fromLength = sizeof from;
  const std::string line = "4b1805,47.45,8.56";
  ws::sendto(sender, line.data(), static_cast<int>(line.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  const int n = ws::recvfrom(reader, buffer.data(), kBuffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
  ASSERT_EQ(n, static_cast<int>(line.size()));
  EXPECT_EQ(std::string(buffer.data(), n), line);
  EXPECT_EQ(ntohs(from.sin_port), portOf(sender));
}

TEST_F(WinsockTest, ClosesocketWakesABlockedAccept) {
  int error = -1;
  SOCKET server = openServer("0", &error);
  ASSERT_NE(server, INVALID_SOCKET);
  const std::string port = std::to_string(portOf(server));
  WakeResult woken = closeWhileBlocked(
      server, [&] { return static_cast<long long>(ws::accept(server, nullptr, nullptr)); },
      [&] { connectTo(static_cast<unsigned short>(std::stoi(port))); });
  EXPECT_EQ(static_cast<SOCKET>(woken.result), INVALID_SOCKET);
  EXPECT_EQ(woken.error, WSAEINTR);
  EXPECT_LT(woken.afterClose, kWokenWithin);
  // The port is free again once the woken call has let go of it.
  EXPECT_NE(openServer(port, &error), INVALID_SOCKET) << error;
}

TEST_F(WinsockTest, ClosesocketWakesABlockedRecv) {
  int error = -1;
  SOCKET server = openServer("0", &error);
  ASSERT_NE(server, INVALID_SOCKET);
  SOCKET client = connectTo(portOf(server));
  SOCKET accepted = ws::accept(server, nullptr, nullptr);
  ASSERT_NE(accepted, INVALID_SOCKET);
  char buffer[8193];
  WakeResult woken = closeWhileBlocked(
      accepted, [&] { return ws::recv(accepted, buffer, 8192, 0); },
      [&] { ws::send(client, "x", 1, 0); });
  EXPECT_EQ(woken.result, SOCKET_ERROR);
  EXPECT_EQ(woken.error, WSAEINTR);
  EXPECT_LT(woken.afterClose, kWokenWithin);
  EXPECT_EQ(ws::recv(client, buffer, 8192, 0), 0);  // the peer sees the close
}

TEST_F(WinsockTest, ClosesocketWakesABlockedPoll) {
  SOCKET udp = boundUdp();
  WSAPOLLFD entry{udp, POLLIN, 0};
  WakeResult woken = closeWhileBlocked(
      udp, [&] { return WSAPoll(&entry, 1, -1); }, [] {});
  EXPECT_EQ(woken.result, 1);
  EXPECT_NE(entry.revents, 0);
  EXPECT_LT(woken.afterClose, kWokenWithin);
}

TEST_F(WinsockTest, ClosesocketWakesABlockedRecvfrom) {
  SOCKET reader = boundUdp();
  SOCKET sender = track(ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in to = loopback(portOf(reader));
  char buffer[16385];
  WakeResult woken = closeWhileBlocked(
      reader, [&] { return ws::recvfrom(reader, buffer, 16384, 0, nullptr, nullptr); },
      [&] { ws::sendto(sender, "x", 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to); });
  EXPECT_EQ(woken.result, SOCKET_ERROR);
  EXPECT_EQ(woken.error, WSAEINTR);
  EXPECT_LT(woken.afterClose, kWokenWithin);
}

// The reader's own loop: receive until the stop flag is set; the shutdown sets
// the flag and closes the socket from another thread, repeatedly and at any moment.
TEST_F(WinsockTest, ReaderLoopEndsWhenStoppedAtAnyMoment) {
  for (int round = 0; round < 50; ++round) {
    SOCKET reader = boundUdp();
    SOCKET sender = track(ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in to = loopback(portOf(reader));
    std::atomic<bool> stopRequested{false};
    std::promise<void> ended;
    std::thread loop([&] {
      char buffer[16385];
      while (!stopRequested.load()) ws::recvfrom(reader, buffer, 16384, 0, nullptr, nullptr);
      ended.set_value();
    });
    const char datagram[] = "abc";
    for (int i = 0; i < round; ++i)
      ws::sendto(sender, datagram, 3, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    stopRequested = true;
    closesocket(reader);
    ASSERT_EQ(ended.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready) << round;
    loop.join();
  }
}

}  // namespace
