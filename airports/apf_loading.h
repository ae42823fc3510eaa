#pragma once
// Loading the park airport's parking file with its learned file, and the
// closest stand of another airport.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "airports/apf_file.h"
#include "airports/learned_file.h"
#include "core/geometry.h"

// 1 once a park airport file has been read through to its end; read by the
// traffic reader thread and the window.
extern std::atomic<std::uint8_t> gParkAirportLoaded;

// Set when a hand-made learned file replaced the archived stands; the writer
// and the save of the park airport read it.
extern bool gHandmadeAirport;

// The park airport's code; empty when none is set (main-loop thread).
extern std::string gParkAirportCode;
// The stand reserved for the user aircraft at the park airport (main-loop
// thread; the window reads its copy gAppState.reservedStand).
extern std::string gReservedStand;
extern ApfInfo gParkApfInfo;
extern QualityFactor gQualityFactor;
// Header "RT_traffic_week", 0 when absent.
extern std::int32_t gRtTrafficWeek;
// Set when a high quality factor switched LEARN_SOFT off; cleared by a load.
extern std::uint8_t gLearnSoftLocked;
// Soft learning is allowed at the loaded park airport (false for a file of
// quality factor 45 or more and at least 20 stands); read with LEARN_SOFT.
extern bool gSoftLearningAllowed;

// The park airport's file was read through: its altitude goes to the traffic
// reader's ground filter, and the loaded flag is set.
void gf_setParkAirportLoaded(double altitudeFeet);

// Loads the park airport's file from its source location (a local "airports"
// path or a server path) into gStands, its learned file merged. Empty on
// success, else the reason; qlx::UserErrorException 94 and 65 pass through.
std::string gf_readApf(const std::string& path, ApfInfo& info, QualityFactor& quality);
// The quality factor of gStands.
QualityFactor lf_QualityFactor();
// Fills the adjacency lists of gStands (their index numbers, ascending).
void lf_findAdjacentStands();
// The same lists by testing every ordered pair; kept for comparison.
void lf_findAdjacentStandsByPairs(std::vector<Stand>& stands);

// Distance in nm from the position to the nearest stand of the airport's
// parking file, its id into stand; 100.0 (stand unchanged) when none is nearer.
double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position, std::string& stand);
