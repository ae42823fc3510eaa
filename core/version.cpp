#include "core/version.h"

#include <climits>
#include <exception>
#include <nlohmann/json.hpp>
#include <regex>
#include <stdexcept>

#include "core/format.h"

namespace {

// The regular-expression engine recurses once per character, so a long line
// (a corrupt file, a bad server answer) would overflow the stack. A dotted
// version whose fields fit an int is far shorter; longer texts can only be JSON.
constexpr std::size_t MAX_DOTTED_LENGTH = 256;

// Converts a JSON member to int the way a number is truncated to int, but
// refuses what does not fit instead of relying on an out-of-range cast.
int lf_jsonInt(const nlohmann::json& object, const char* key) {
  const nlohmann::json& value = object.at(key);
  if (value.is_number_unsigned()) {
    const auto n = value.get<std::uint64_t>();
    if (n > static_cast<std::uint64_t>(INT_MAX)) throw std::out_of_range(key);
    return static_cast<int>(n);
  }
  if (value.is_number_integer()) {
    const auto n = value.get<std::int64_t>();
    if (n < INT_MIN || n > INT_MAX) throw std::out_of_range(key);
    return static_cast<int>(n);
  }
  if (value.is_number_float()) {
    const auto d = value.get<double>();
    // Truncation keeps values in (INT_MIN - 1, INT_MAX + 1); NaN fails both tests.
    if (!(d > static_cast<double>(INT_MIN) - 1.0 && d < static_cast<double>(INT_MAX) + 1.0))
      throw std::out_of_range(key);
    return static_cast<int>(d);
  }
  throw std::invalid_argument(key);
}

}  // namespace

Version gf_parseVersion(const std::string& text) {
  Version version;
  // Version files made on Windows end their line with CR LF.
  std::string line = text;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (line.empty()) return version;
  try {
    static const std::regex dotted(R"((\d+).(\d+).(\d+))");
    std::smatch groups;
    if (line.size() <= MAX_DOTTED_LENGTH && std::regex_match(line, groups, dotted)) {
      version.major = std::stoi(groups[1].str());
      version.minor = std::stoi(groups[2].str());
      version.patch = std::stoi(groups[3].str());
    } else {
      const auto object = nlohmann::json::parse(line);
      version.major = lf_jsonInt(object, "major");
      version.minor = lf_jsonInt(object, "minor");
      version.patch = lf_jsonInt(object, "patch");
    }
  } catch (const std::exception&) {
    // A malformed text leaves the fields not yet assigned at 0.
  }
  return version;
}

std::string gf_versionToString(const Version& version) {
  return sk::format("{}.{}.{}", version.major, version.minor, version.patch);
}
