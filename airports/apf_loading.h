#pragma once
// Loading the park airport's parking file, and the closest stand of another
// airport.
#include <atomic>
#include <cstdint>
#include <string>

#include "core/geometry.h"

// 1 once a park airport file has been read through to its end; read by the
// traffic reader thread and the window.
extern std::atomic<std::uint8_t> gParkAirportLoaded;

// Set when a hand-made learned file replaced the archived stands; the writer
// and the save of the park airport read it.
extern bool gHandmadeAirport;

// Distance in nm from the position to the nearest stand of the airport's
// parking file, its id into stand; 100.0 (stand unchanged) when none is nearer.
double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position, std::string& stand);
