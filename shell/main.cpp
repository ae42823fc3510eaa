// Entry of the program; the shell grows it into the full start-up.
#include <cstdio>

#include "core/format.h"

int main() {
  std::puts(sk::format("Skylume version {}", "10.9.4").c_str());
  return 0;
}
