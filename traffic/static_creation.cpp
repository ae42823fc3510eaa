// Creation of static parked aircraft; replaced by the static-creation issue,
// until which the plan list is left as it is.
#include "traffic/engine_hooks.h"

void lf_createStaticParked() {}
