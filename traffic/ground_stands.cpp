// The final stand point of ground movement; replaced by the ground-movement
// issue, until which a claimed stand adds no point.
#include "traffic/arbitration.h"

void gf_addStandPoint(Act&) {}
