#include "airports/apf_loading.h"

std::atomic<std::uint8_t> gParkAirportLoaded{0};
