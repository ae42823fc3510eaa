#pragma once
// The producer's side of the code scrambling: plain codes in, codes that the
// program's decoders turn back into them out. Computed here from the key alone,
// so that the decoders are checked against an independent encoder.
#include <stdexcept>
#include <string>

#include "liveries/scramble.h"

enum class ScrambleMode { Temp2, Aig };

// A code no decoder can give back.
class CodeRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// '+' stays; other characters lie in the code alphabet, '+' excepted from index 24 on.
std::string gf_scrambleRegcode(const std::string& plain, const ScrambleKey& key);
// 3 characters become 6.
std::string gf_scrambleAirline(const std::string& plain, const ScrambleKey& key);
// 2 to 4 characters keep their length.
std::string gf_scrambleModel(const std::string& plain, const ScrambleKey& key);

// Scrambles exactly the attributes that are stored scrambled; throws
// CodeRefused naming the line of the first code it cannot scramble.
std::string gf_scrambleDocument(const std::string& plainXml, ScrambleMode mode, const ScrambleKey& key);
