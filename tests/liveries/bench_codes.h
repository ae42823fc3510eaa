#pragma once
// Distinct fixed-length codes for the benchmarks' generated data: the n-th
// code of the given length over A-Z0-9.
#include <cstddef>
#include <string>

inline std::string code(std::size_t n, std::size_t length) {
  static const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string text(length, 'A');
  for (std::size_t i = length; i-- > 0; n /= chars.size()) text[i] = chars[n % chars.size()];
  return text;
}
