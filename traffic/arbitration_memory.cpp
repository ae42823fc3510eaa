// The arbitration's memories emptied by the main loop and the shutdown; a
// file of its own so the shell's tests may stand in for it.
#include "traffic/arbitration.h"
#include "traffic/engine.h"

void gf_clearLiveryMemory() { gLiveryMemo.clear(); }

void gf_clearGhostCallsigns() { gGhostCallsigns.clear(); }
