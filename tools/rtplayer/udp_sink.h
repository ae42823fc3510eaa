#pragma once
// The UDP side of RealTraffic: traffic lines and pressure datagrams sent to this machine.
#include <cstdint>
#include <string_view>

#include "platform/winsock.h"
#include "tools/rtplayer/address.h"
#include "tools/rtplayer/schedule.h"

namespace rtplay {

inline constexpr std::uint16_t kTrafficPort = 49005;
inline constexpr std::uint16_t kPressurePort = 49004;
inline constexpr std::uint16_t kLinkPort = 10747;

// Winsock 2.2 for the lifetime of the object.
class WinsockSession {
 public:
  WinsockSession();  // throws qlx::SysErrorException
  ~WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
};

// Throws qlx::UserErrorException for an address outside 127.0.0.0/8.
sockaddr_in gf_loopbackSocketAddress(Ipv4Address address, std::uint16_t port);

class UdpSink final : public DatagramSink {
 public:
  // Throws qlx::UserErrorException for a target outside 127.0.0.0/8 and
  // qlx::SysErrorException when the socket cannot be made.
  UdpSink(Ipv4Address address, std::uint16_t trafficPort, std::uint16_t pressurePort);
  ~UdpSink() override;
  UdpSink(const UdpSink&) = delete;
  UdpSink& operator=(const UdpSink&) = delete;

  // One datagram; throws qlx::SysErrorException when it cannot be sent whole.
  void send(DatagramKind kind, std::string_view text) override;

 private:
  WinsockSession m_winsock;
  SOCKET m_socket = INVALID_SOCKET;
  sockaddr_in m_traffic{};
  sockaddr_in m_pressure{};
};

}  // namespace rtplay
