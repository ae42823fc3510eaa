// gf_standNameAt in a unit of its own, so that a test program may stand it in
// without giving up the rest of the stand learning.
#include "traffic/stand_learning.h"

std::string gf_standNameAt(double latitude, double longitude) { return gf_nearestStandName(latitude, longitude); }
