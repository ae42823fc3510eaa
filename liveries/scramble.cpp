#include "liveries/scramble.h"

#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/util.h"

namespace {

// The project's key. Files made with another key need that key in scramble_key.txt.
constexpr ScrambleKey kDefaultKey{
    {7, -13, 22, -5, 17, -28, 11, 3, -19, 26, -9, 14, -24, 5, 29, -2, 19, -16, 8, -27, 12, -7, 24, -11},
    {{{3, -9}, {5, 14}, {1, -21}}},
    {{{1, 6}, {0, -17}}},
    {{{2, -4}, {0, 19}, {1, -12}}},
    {{{1, 13}, {3, -8}, {0, 21}, {2, -15}}},
};

ScrambleKey gKey = kDefaultKey;
constexpr std::int32_t kMaxOffset = 255;

char decodeChar(char in, std::int32_t offset) {
  return static_cast<char>(gf_intoCodeAlphabet(static_cast<unsigned char>(in) + offset));
}

template <std::size_t N>
std::string decodeByRule(const std::string& code, const std::array<ScrambleRule, N>& rule) {
  std::string out(N, ' ');
  for (std::size_t k = 0; k < N; ++k) out[k] = decodeChar(code[rule[k].position], rule[k].offset);
  return out;
}

class KeyFileError {
 public:
  KeyFileError(const std::filesystem::path& file, int line) : m_file(file), m_line(line) {}
  [[noreturn]] void fail(const std::string& what) const {
    throw qlx::UserErrorException(
        62, sk::format("scramble key file \"{}\" line {}: {}", gf_pathToUtf8(m_file), m_line, what));
  }

 private:
  const std::filesystem::path& m_file;
  int m_line;
};

std::optional<std::int32_t> parseNumber(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  // Larger offsets mean nothing after the one correction and would overflow.
  if (value < -kMaxOffset || value > kMaxOffset) return std::nullopt;
  return value;
}

template <std::size_t N>
void parseRule(const std::vector<std::string>& words, std::array<ScrambleRule, N>& rule, int inputLength,
               const KeyFileError& error) {
  if (words.size() != N + 1) error.fail(sk::format("\"{}\" needs {} position:offset pairs", words[0], N));
  std::vector<bool> used(static_cast<std::size_t>(inputLength), false);
  for (std::size_t k = 0; k < N; ++k) {
    const std::string& word = words[k + 1];
    const auto colon = word.find(':');
    const auto position = colon == std::string::npos ? std::nullopt : parseNumber(std::string_view(word).substr(0, colon));
    const auto offset = colon == std::string::npos ? std::nullopt : parseNumber(std::string_view(word).substr(colon + 1));
    if (!position || !offset) error.fail(sk::format("\"{}\" is no position:offset pair (offset -255..255)", word));
    if (*position < 0 || *position >= inputLength || used[static_cast<std::size_t>(*position)])
      error.fail(sk::format("\"{}\" needs {} distinct positions of 0..{}", words[0], N, inputLength - 1));
    used[static_cast<std::size_t>(*position)] = true;
    rule[k] = {*position, *offset};
  }
}

}  // namespace

const ScrambleKey& gf_defaultScrambleKey() { return kDefaultKey; }

ScrambleKey gf_loadScrambleKey(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) KeyFileError(file, 0).fail("cannot be read");
  ScrambleKey key;
  const std::vector<std::string> names{"registration", "airline", "model2", "model3", "model4"};
  std::vector<bool> seen(names.size(), false);
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    const KeyFileError error(file, lineNumber);
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> parts;
    for (std::string word; words >> word;) parts.push_back(word);
    if (parts.empty()) continue;
    std::size_t which = 0;
    while (which < names.size() && names[which] != parts[0]) ++which;
    if (which == names.size()) error.fail(sk::format("unknown entry \"{}\"", parts[0]));
    if (seen[which]) error.fail(sk::format("\"{}\" given twice", parts[0]));
    seen[which] = true;
    switch (which) {
      case 0:
        if (parts.size() != key.registration.size() + 1) error.fail("\"registration\" needs 24 offsets");
        for (std::size_t i = 0; i < key.registration.size(); ++i) {
          const auto value = parseNumber(parts[i + 1]);
          if (!value) error.fail(sk::format("\"{}\" is no number of -255..255", parts[i + 1]));
          key.registration[i] = *value;
        }
        break;
      case 1: parseRule(parts, key.airline, 6, error); break;
      case 2: parseRule(parts, key.model2, 2, error); break;
      case 3: parseRule(parts, key.model3, 3, error); break;
      default: parseRule(parts, key.model4, 4, error); break;
    }
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!seen[i]) KeyFileError(file, lineNumber + 1).fail(sk::format("\"{}\" is missing", names[i]));
  }
  return key;
}

const ScrambleKey& gf_scrambleKey() { return gKey; }

void gf_setScrambleKey(const ScrambleKey& key) { gKey = key; }

void gf_installScrambleKey() {
  gf_setScrambleKey(std::filesystem::exists(ScrambleKeyPath) ? gf_loadScrambleKey(ScrambleKeyPath) : kDefaultKey);
}

std::string gf_decryptRegcode(const std::string& code) {
  std::string out(code.size(), ' ');
  for (std::size_t i = 0; i < code.size(); ++i) {
    out[i] = code[i] == '+' ? '+' : decodeChar(code[i], -gKey.registration.at(i));
  }
  return out;
}

std::string gf_decryptAirline(const std::string& code) {
  if (code.empty()) return {};
  if (code.size() == 6) return decodeByRule(code, gKey.airline);
  if (code.size() == 3) {
    gf_log(sk::format("Unencrypted airline {} in decrypt airl?", code));
    return code;
  }
  throw std::runtime_error(sk::format("decrypt airl \"{}\" error", code));
}

std::string gf_decryptModel(const std::string& code) {
  switch (code.size()) {
    case 0: return {};
    case 1:
      gf_log(sk::format("1-character model code {} in decrypt model?", code));
      return code;
    case 3: return decodeByRule(code, gKey.model3);
    case 4: return decodeByRule(code, gKey.model4);
    default: return decodeByRule(code, gKey.model2);
  }
}
