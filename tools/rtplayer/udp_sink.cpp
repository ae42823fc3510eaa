#include "tools/rtplayer/udp_sink.h"

#include <limits>

#include "core/errors.h"
#include "core/format.h"

namespace rtplay {

WinsockSession::WinsockSession() {
  WSADATA data{};
  if (const int result = WSAStartup(MAKEWORD(2, 2), &data); result != 0)
    throw qlx::SysErrorException(30, sk::format("WSA startup error: {}", result));
}

WinsockSession::~WinsockSession() {
  WSACleanup();
}

sockaddr_in gf_loopbackSocketAddress(Ipv4Address address, std::uint16_t port) {
  // Checked here, where every address the player uses becomes a socket address.
  gf_requireLoopback(address);
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  result.sin_addr.s_addr = htonl(address.value);
  return result;
}

UdpSink::UdpSink(Ipv4Address address, std::uint16_t trafficPort, std::uint16_t pressurePort)
    : m_traffic(gf_loopbackSocketAddress(address, trafficPort)),
      m_pressure(gf_loopbackSocketAddress(address, pressurePort)) {
  m_socket = ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (m_socket == INVALID_SOCKET)
    throw qlx::SysErrorException(31,
                                 sk::format("failed to create the socket with error: {}", WSAGetLastError()));
}

UdpSink::~UdpSink() {
  if (m_socket != INVALID_SOCKET) closesocket(m_socket);
}

void UdpSink::send(DatagramKind kind, std::string_view text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw qlx::SysErrorException(33, "datagram too long");
  const auto& target = kind == DatagramKind::Traffic ? m_traffic : m_pressure;
  const int length = static_cast<int>(text.size());
  const int sent = ws::sendto(m_socket, text.data(), length, 0, reinterpret_cast<const sockaddr*>(&target),
                              sizeof(target));
  if (sent != length)
    throw qlx::SysErrorException(33, sk::format("sending to port {} failed with error: {}",
                                                ntohs(target.sin_port), WSAGetLastError()));
}

}  // namespace rtplay
