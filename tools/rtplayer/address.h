#pragma once
// The player only ever talks to this machine: every target address must lie in 127.0.0.0/8.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rtplay {

// An IPv4 address in host order.
struct Ipv4Address {
  std::uint32_t value = 0x7F000001;
  bool operator==(const Ipv4Address&) const = default;
};

// Dotted quad "a.b.c.d" with each part 0..255, or "localhost"; none for anything else.
std::optional<Ipv4Address> gf_parseIpv4(std::string_view text);
std::string gf_ipv4Text(Ipv4Address address);
// Throws qlx::UserErrorException unless the address lies in 127.0.0.0/8.
void gf_requireLoopback(Ipv4Address address);
// Throws qlx::UserErrorException unless the text is a loopback address.
Ipv4Address gf_loopbackAddress(std::string_view text);

}  // namespace rtplay
