// The park airport's state, apart from the loader, so that readers of the
// state (the traffic filter, the window) link without it.
#include "airports/apf_loading.h"

std::atomic<std::uint8_t> gParkAirportLoaded{0};
bool gHandmadeAirport = false;
std::string gParkAirportCode;
std::string gReservedStand;
ApfInfo gParkApfInfo;
QualityFactor gQualityFactor;
std::int32_t gRtTrafficWeek = 0;
std::uint8_t gLearnSoftLocked = 0;
bool gSoftLearningAllowed = true;
