#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/format.h"

namespace qlx {

// A problem the user has to act on. Code 99 is shown without its number.
class UserErrorException : public std::runtime_error {
 public:
  UserErrorException(int code, const std::string& message)
      : std::runtime_error(code == 99 ? message : sk::format("{}: ", code) + message) {}
};

// A failure of the operating system, a file, a socket or of incoming data.
class SysErrorException : public std::runtime_error {
 public:
  SysErrorException(int code, const std::string& message)
      : std::runtime_error(sk::format("sys error {}: ", code) + message) {}
};

}  // namespace qlx

namespace win32 {

// A failed conversion between UTF-8 and UTF-16. direction 0: from UTF-8,
// direction 1: from UTF-16. errorCode is the system code (1113 for invalid input).
class Utf8ConversionException : public std::runtime_error {
 public:
  Utf8ConversionException(const char* message, std::uint32_t errorCode, std::uint32_t direction)
      : std::runtime_error(message), m_errorCode(errorCode), m_direction(direction) {}

  std::uint32_t errorCode() const noexcept { return m_errorCode; }
  std::uint32_t direction() const noexcept { return m_direction; }

  static constexpr std::uint32_t FROM_UTF8 = 0;
  static constexpr std::uint32_t FROM_UTF16 = 1;

 private:
  std::uint32_t m_errorCode;
  std::uint32_t m_direction;
};

}  // namespace win32
