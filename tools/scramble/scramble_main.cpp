// scramble [--key FILE] temp2|aig PLAIN.xml OUT.xml
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/scramble/scrambler.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  ScrambleKey key = gf_defaultScrambleKey();
  try {
    if (args.size() == 5 && args[0] == "--key") {
      key = gf_loadScrambleKey(args[1]);
      args.erase(args.begin(), args.begin() + 2);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "scramble: %s\n", error.what());
    return 1;
  }
  if (args.size() != 3 || (args[0] != "temp2" && args[0] != "aig")) {
    std::fprintf(stderr, "usage: scramble [--key FILE] temp2|aig PLAIN.xml OUT.xml\n");
    return 2;
  }
  std::ifstream in(args[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "scramble: cannot read %s\n", args[1].c_str());
    return 1;
  }
  const std::string plain{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  try {
    const std::string scrambled =
        gf_scrambleDocument(plain, args[0] == "aig" ? ScrambleMode::Aig : ScrambleMode::Temp2, key);
    std::ofstream out(args[2], std::ios::binary | std::ios::trunc);
    out << scrambled;
    if (!out.flush()) {
      std::fprintf(stderr, "scramble: cannot write %s\n", args[2].c_str());
      return 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "scramble: %s %s\n", args[1].c_str(), error.what());
    return 1;
  }
  return 0;
}
