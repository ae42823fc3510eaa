#include <iostream>

#include "tools/tracemap/tracemap.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tracemap::gf_runTracemap(args, std::cerr);
}
