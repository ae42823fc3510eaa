#pragma once
// Codes in the downloaded data files (temp2.xml, AIG-regcodes.xml) are stored
// scrambled and turned back into plain codes once, on reading. The decoders are
// pure text functions over one process-wide key, set before any thread reads.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

// Every plain character lies in '-' (45) .. 'Z' (90).
inline constexpr int gCodeAlphabetFirst = 45;
inline constexpr int gCodeAlphabetLast = 90;
inline constexpr int gCodeAlphabetSize = gCodeAlphabetLast - gCodeAlphabetFirst + 1;

// One output character: taken from input position `position`, plus `offset`.
struct ScrambleRule {
  int position = 0;
  std::int32_t offset = 0;
  bool operator==(const ScrambleRule&) const = default;
};

// The key shared with the producer of the data files.
struct ScrambleKey {
  // Subtracted from the registration character at the same position.
  std::array<std::int32_t, 24> registration{};
  // The three characters of a plain airline code, read from a 6-character code.
  std::array<ScrambleRule, 3> airline{};
  // Model codes of 2, 3 and 4 characters: each a permutation of its positions.
  std::array<ScrambleRule, 2> model2{};
  std::array<ScrambleRule, 3> model3{};
  std::array<ScrambleRule, 4> model4{};
  bool operator==(const ScrambleKey&) const = default;
};

// The project's own key, compiled in.
const ScrambleKey& gf_defaultScrambleKey();

// Reads a key file (format in README.md). Throws qlx::UserErrorException 62
// naming the file and the line when it does not parse, when a model rule is no
// permutation or when the airline rule does not name 3 distinct positions of 0..5.
ScrambleKey gf_loadScrambleKey(const std::filesystem::path& file);

// The key the decoders use; the default one until set.
const ScrambleKey& gf_scrambleKey();
void gf_setScrambleKey(const ScrambleKey& key);
// Sets the key from ScrambleKeyPath when that file exists, else the default key.
void gf_installScrambleKey();

// One correction into the alphabet: below it +46, above it -46, never twice.
inline int gf_intoCodeAlphabet(int value) {
  if (value < gCodeAlphabetFirst) return value + gCodeAlphabetSize;
  if (value > gCodeAlphabetLast) return value - gCodeAlphabetSize;
  return value;
}

// std::out_of_range for a character other than '+' at position 24 or later.
std::string gf_decryptRegcode(const std::string& code);
// 6 characters give 3; a 3-character code is taken as plain and logged;
// other lengths throw std::runtime_error "decrypt airl \"{}\" error".
std::string gf_decryptAirline(const std::string& code);
// 3 and 4 characters keep their length; 2 and 5+ give 2 from the first two;
// a 1-character code comes back unchanged and is logged. Never throws.
std::string gf_decryptModel(const std::string& code);
