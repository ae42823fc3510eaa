#pragma once
// Run-time learning of stand use at the park airport. Main-loop thread only:
// the stands and the name cache are reloaded there without a lock.
#include <string>

// Name of the nearest stand of the park airport within 55 m of the position;
// empty when the park airport has no stands or the user aircraft is not on the ground.
std::string gf_standNameAt(double latitude, double longitude);
