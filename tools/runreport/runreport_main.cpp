#include <iostream>

#include "tools/runreport/runreport.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return runreport::gf_runRunreport(args, std::cout, std::cerr);
}
