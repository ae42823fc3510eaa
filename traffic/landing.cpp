// Landing, stops and parking; replaced by the landing issue, until which a
// ground report only sets the height above ground and the ground altitude.
#include "traffic/engine_hooks.h"

void lf_landed(Act&) {}
