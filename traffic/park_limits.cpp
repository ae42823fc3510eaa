// The park airport's limit of parked aircraft; replaced by the park-airport
// removals issue, until which no static aircraft is removed for it.
#include "traffic/arbitration.h"

void gf_enforceParkMax(std::int32_t) {}
