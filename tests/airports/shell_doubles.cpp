// The services the linked shell calls and later issues build: the traffic
// engine's containers and the shell's automatic range.
#include "tests/shell/engine_doubles.h"
