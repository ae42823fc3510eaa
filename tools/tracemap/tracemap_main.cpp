#include <iostream>

#include "tools/tracemap/tracemap.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << tracemap::kUsage;
    return 0;
  }
  return tracemap::gf_runTracemap(args, std::cerr);
}
