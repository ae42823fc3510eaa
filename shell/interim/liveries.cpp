// Interim livery side for the program until the livery scan lands, which
// replaces this file.
#include "liveries/livery_scan.h"

void gf_scanLiveries() {}
