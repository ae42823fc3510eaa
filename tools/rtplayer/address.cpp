#include "tools/rtplayer/address.h"

#include <charconv>

#include "core/errors.h"
#include "core/format.h"

namespace rtplay {

std::optional<Ipv4Address> gf_parseIpv4(std::string_view text) {
  if (text == "localhost") return Ipv4Address{};
  std::uint32_t value = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (text.empty() || text.front() != '.') return std::nullopt;
      text.remove_prefix(1);
    }
    // Digits only: from_chars would take a sign, and leading zeros read as octal elsewhere.
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 3 || (digits > 1 && text.front() == '0')) return std::nullopt;
    unsigned octet = 0;
    std::from_chars(text.data(), text.data() + digits, octet);
    if (octet > 255) return std::nullopt;
    value = (value << 8) | octet;
    text.remove_prefix(digits);
  }
  if (!text.empty()) return std::nullopt;
  return Ipv4Address{value};
}

std::string gf_ipv4Text(Ipv4Address address) {
  const auto v = address.value;
  return sk::format("{}.{}.{}.{}", v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

void gf_requireLoopback(Ipv4Address address) {
  if ((address.value >> 24) != 127)
    throw qlx::UserErrorException(
        99, sk::format("{} is not on this machine: only 127.0.0.0/8 is allowed", gf_ipv4Text(address)));
}

Ipv4Address gf_loopbackAddress(std::string_view text) {
  const auto address = gf_parseIpv4(text);
  if (!address) throw qlx::UserErrorException(99, sk::format("not an IPv4 address: {}", text));
  gf_requireLoopback(*address);
  return *address;
}

}  // namespace rtplay
