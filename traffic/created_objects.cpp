// Created-object placement; the engine tick's first step. Filled by the
// created-object issue; until then no created object is acted on here.
#include "traffic/engine.h"

void gf_processCreatedObjects() {}
