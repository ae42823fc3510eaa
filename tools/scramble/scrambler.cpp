#include "tools/scramble/scrambler.h"

#include <algorithm>
#include <array>
#include <sstream>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

namespace {

bool inAlphabet(char c) { return c >= gCodeAlphabetFirst && c <= gCodeAlphabetLast; }

// A printable character other than ',', '+' and blank whose decoding with this
// offset is the plain one; the choice among those varies with the position.
char encodeChar(char plain, std::int32_t offset, std::size_t position) {
  std::vector<char> candidates;
  for (const int shift : {0, -gCodeAlphabetSize, gCodeAlphabetSize}) {
    const int c = plain + shift - offset;
    if (c > ' ' && c <= '~' && c != ',' && c != '+' && gf_intoCodeAlphabet(c + offset) == plain) {
      candidates.push_back(static_cast<char>(c));
    }
  }
  if (candidates.empty()) {
    throw CodeRefused(fmt::format("the key gives '{}' no printable code with offset {}", plain, offset));
  }
  return candidates[(position + static_cast<unsigned char>(plain)) % candidates.size()];
}

void requireAlphabet(const std::string& plain, const char* what) {
  if (!std::all_of(plain.begin(), plain.end(), inAlphabet)) {
    throw CodeRefused(fmt::format("{} \"{}\" holds a character outside '-'..'Z'", what, plain));
  }
}

template <std::size_t N>
std::string encodeByRule(const std::string& plain, const std::array<ScrambleRule, N>& rule, std::size_t length) {
  // Positions no rule reads carry filler that looks like the rest.
  std::string out(length, ' ');
  for (std::size_t i = 0; i < length; ++i) {
    out[i] = static_cast<char>('A' + (static_cast<unsigned char>(plain[i % plain.size()]) + 7 * i) % 26);
  }
  for (std::size_t k = 0; k < N; ++k) {
    out[static_cast<std::size_t>(rule[k].position)] = encodeChar(plain[k], rule[k].offset, k);
  }
  return out;
}

std::string scrambleList(const std::string& text, std::string (*scramble)(const std::string&, const ScrambleKey&),
                         const ScrambleKey& key) {
  std::string out;
  std::istringstream pieces(text);
  bool first = true;
  for (std::string piece; std::getline(pieces, piece, ',');) {
    const auto begin = piece.find_first_not_of(" \t\r\n");
    piece = begin == std::string::npos ? std::string() : piece.substr(begin, piece.find_last_not_of(" \t\r\n") - begin + 1);
    if (!first) out += ',';
    out += piece.empty() ? piece : scramble(piece, key);
    first = false;
  }
  if (!text.empty() && text.back() == ',') out += ',';
  return out;
}

using Scrambler = std::string (*)(const std::string&, const ScrambleKey&);

struct Field {
  const char* section;
  const char* item;
  const char* attribute;
  Scrambler scramble;
  bool list;
};

std::vector<Field> fieldsOf(ScrambleMode mode) {
  if (mode == ScrambleMode::Aig) return {{"AIG-regcodes", "livery", "reg", gf_scrambleRegcode, true}};
  std::vector<Field> fields;
  for (const auto& [section, item] : std::vector<std::pair<const char*, const char*>>{
           {"aircrafts", "aircraft"}, {"high_performance", "hpf"}, {"heavy", "hvy"}, {"large", "lar"},
           {"buzjet", "bzj"}, {"rotorcraft", "rot"}, {"cargo_types", "cargo_type"}, {"similar_types", "similar"}}) {
    fields.push_back({section, item, "types", gf_scrambleModel, true});
  }
  fields.push_back({"ICAO_airlines", "ICAO", "codes", gf_scrambleAirline, true});
  fields.push_back({"cargo_operators", "ICAO", "codes", gf_scrambleAirline, true});
  fields.push_back({"wingspans", "wingspan", "type", gf_scrambleModel, false});
  fields.push_back({"dbase", "db", "reg", gf_scrambleRegcode, false});
  fields.push_back({"dbase", "db", "airl", gf_scrambleAirline, false});
  fields.push_back({"dbase", "db", "type", gf_scrambleModel, false});
  fields.push_back({"dbase", "db", "opr", gf_scrambleAirline, false});
  return fields;
}

struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

}  // namespace

std::string gf_scrambleRegcode(const std::string& plain, const ScrambleKey& key) {
  std::string out(plain.size(), '+');
  for (std::size_t i = 0; i < plain.size(); ++i) {
    if (plain[i] == '+') continue;
    if (i >= key.registration.size() || !inAlphabet(plain[i])) {
      throw CodeRefused(fmt::format("registration \"{}\": '{}' at index {} cannot be scrambled", plain, plain[i], i));
    }
    out[i] = encodeChar(plain[i], -key.registration[i], i);
  }
  return out;
}

std::string gf_scrambleAirline(const std::string& plain, const ScrambleKey& key) {
  if (plain.size() != 3) throw CodeRefused(fmt::format("airline code \"{}\" is not 3 characters", plain));
  requireAlphabet(plain, "airline code");
  return encodeByRule(plain, key.airline, 6);
}

std::string gf_scrambleModel(const std::string& plain, const ScrambleKey& key) {
  requireAlphabet(plain, "model code");
  switch (plain.size()) {
    case 2: return encodeByRule(plain, key.model2, 2);
    case 3: return encodeByRule(plain, key.model3, 3);
    case 4: return encodeByRule(plain, key.model4, 4);
    default: throw CodeRefused(fmt::format("model code \"{}\" is not 2 to 4 characters", plain));
  }
}

std::string gf_scrambleDocument(const std::string& plainXml, ScrambleMode mode, const ScrambleKey& key) {
  pugi::xml_document document;
  const auto loaded = document.load_buffer(plainXml.data(), plainXml.size());
  if (!loaded) {
    const auto line = 1 + std::count(plainXml.begin(), plainXml.begin() + std::min<std::ptrdiff_t>(loaded.offset, plainXml.size()), '\n');
    throw CodeRefused(fmt::format("line {}: {}", line, loaded.description()));
  }
  for (const Field& field : fieldsOf(mode)) {
    for (pugi::xml_node node : document.child(field.section).children(field.item)) {
      pugi::xml_attribute attribute = node.attribute(field.attribute);
      if (!attribute || *attribute.value() == '\0') continue;
      try {
        const std::string plain = attribute.value();
        attribute.set_value((field.list ? scrambleList(plain, field.scramble, key) : field.scramble(plain, key)).c_str());
      } catch (const CodeRefused& refused) {
        const auto offset = std::clamp<std::ptrdiff_t>(node.offset_debug(), 0, static_cast<std::ptrdiff_t>(plainXml.size()));
        const auto line = 1 + std::count(plainXml.begin(), plainXml.begin() + offset, '\n');
        throw CodeRefused(fmt::format("line {}: {}", line, refused.what()));
      }
    }
  }
  StringWriter writer;
  document.save(writer, "  ");
  return writer.text;
}
