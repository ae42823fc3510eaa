// The engine tick's hook for static creation, apart from its body so that a
// test program may count the calls.
#include "traffic/engine_hooks.h"
#include "traffic/static_parked.h"

void lf_createStaticParked() { lf_createStaticFromPlan(); }
