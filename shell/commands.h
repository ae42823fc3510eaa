#pragma once
// The window's commands that the start-up also applies.
#include <string>

// Makes the airport the destination: the first park airport and the traffic
// range around it.
void lf_applyDestination(const std::string& icao, double latitude, double longitude);
