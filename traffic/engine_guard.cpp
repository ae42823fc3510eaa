// The engine's guard in a unit of its own: shell code that only takes the
// guard links without the engine, which the shell's test programs double.
#include "traffic/engine.h"

std::recursive_mutex gEngineMutex;
