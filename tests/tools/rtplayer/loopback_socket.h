#pragma once
// Sockets the tests play the other side with: bound to 127.0.0.1 on a port the system picks.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/winsock.h"
#include "tools/rtplayer/udp_sink.h"

namespace rtplay::test {

class LoopbackSocket {
 public:
  explicit LoopbackSocket(int type) {
    m_socket = ws::socket(AF_INET, type, type == SOCK_DGRAM ? IPPROTO_UDP : IPPROTO_TCP);
    EXPECT_NE(m_socket, INVALID_SOCKET);
    auto address = gf_loopbackSocketAddress(Ipv4Address{}, 0);
    EXPECT_EQ(ws::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    int length = sizeof(address);
    EXPECT_EQ(ws::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length), 0);
    m_port = ntohs(address.sin_port);
    if (type == SOCK_STREAM) {
      EXPECT_EQ(ws::listen(m_socket, 1), 0);
    }
  }
  ~LoopbackSocket() { close(); }
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  SOCKET get() const { return m_socket; }
  std::uint16_t port() const { return m_port; }
  // Wakes a thread blocked on the socket.
  void close() {
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    m_socket = INVALID_SOCKET;
  }

 private:
  WinsockSession m_winsock;
  SOCKET m_socket = INVALID_SOCKET;
  std::uint16_t m_port = 0;
};

}  // namespace rtplay::test
