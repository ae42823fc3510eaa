// The text a user reads when the RealTraffic server cannot take its port: the
// platform's error code and the core's table must meet.
#include <gtest/gtest.h>

#include "core/util.h"
#include "platform/winsock.h"

namespace {

SOCKET lf_listenOn(std::uint16_t port) {
  SOCKET s = ws::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (ws::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
      ws::listen(s, SOMAXCONN) == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    closesocket(s);
    WSASetLastError(error);
    return INVALID_SOCKET;
  }
  return s;
}

TEST(WsaText, APortHeldByAnotherListenerReadsAsAddressAlreadyInUse) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET first = lf_listenOn(0);
  ASSERT_NE(first, INVALID_SOCKET);
  sockaddr_in bound{};
  int length = sizeof bound;
  ASSERT_EQ(ws::getsockname(first, reinterpret_cast<sockaddr*>(&bound), &length), 0);

  EXPECT_EQ(lf_listenOn(ntohs(bound.sin_port)), INVALID_SOCKET);
  EXPECT_EQ(gf_wsaErrorText(WSAGetLastError()), "10048 Address already in use");

  closesocket(first);
  WSACleanup();
}

}  // namespace
