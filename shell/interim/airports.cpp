// Interim airports side for the program until static parking control lands,
// which replaces this file: no park airport is loaded and the choice of a park
// airport does nothing.
#include "airports/park_airports.h"
#include "airports/static_parking.h"

bool gf_reloadParkAirports(bool, std::string&) { return false; }
void gf_checkParkAirport(bool) {}
void gf_freeReservedStand() {}
void gf_parkingAdjustments() {}
void gf_leaveParkAirport() {}
bool gf_hasParkStands() { return false; }
void gf_selectParkAirport(const std::string&, double, double) {}

std::int32_t gUserMaxLive = -1;
