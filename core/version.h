#pragma once
#include <compare>
#include <cstdint>
#include <string>

// A release number: major, minor, patch, ordered field by field.
struct Version {
  std::int32_t major = 0;
  std::int32_t minor = 0;
  std::int32_t patch = 0;

  friend constexpr bool operator==(const Version&, const Version&) = default;
  friend constexpr auto operator<=>(const Version&, const Version&) = default;
};

// The program's own version. A constant rather than a parsed global so that
// other globals may read it during start-up without an initialisation-order trap.
inline constexpr Version ProgramVersion{10, 9, 4};

// Parses "major.minor.patch" (any one character as separator) or a JSON object
// with "major", "minor" and "patch". Never throws: on a failure the fields read
// so far are kept and the others stay 0. A trailing line end is ignored.
Version gf_parseVersion(const std::string& text);

// "{}.{}.{}" of the three fields.
std::string gf_versionToString(const Version& version);
inline std::string gf_formatVersion(const Version& version) { return gf_versionToString(version); }
