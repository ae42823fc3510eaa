#pragma once
// The airport list: every airport of the simulator's world, read once per run
// from input/airports_msfs.xml, and the airport names used by the airport scan.
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/geometry.h"

struct Airport {
  std::string code;  // ICAO code, the sort key
  std::string iata;  // may be empty
  double lat = 0.0;
  double lon = 0.0;
  double alt = 0.0;  // read as a float and widened
};

// Sorted by code (byte order) once read.
extern std::vector<Airport> gAirports;
extern std::unordered_map<std::string, std::string> gAirportNames;

// Reads input/airports_msfs.xml once; later calls return at once. True when the
// list holds an airport. A broken file raises qlx::UserErrorException 87 (XPath)
// or 88 (anything else) and leaves the list empty and unread.
bool gf_readAirports();
// Reads input/airports_msfs_names.xml into gAirportNames; a broken file is no error.
bool gf_readAirportNames();
// Forgets the list and its loaded flag, so that the next read reads the file.
void gf_resetAirports();

// The airport within 5.0 nm that the user aircraft stands at, the nearer stand
// deciding between two close airports.
std::optional<Airport> gf_findClosestAirport(const LatLon& position);
// A copy of the record with exactly that code.
std::optional<Airport> gf_findAirport(const std::string& icao);
// "EGLL (LHR)", or "EGLL" without an IATA code.
std::string gf_airportLabel(const Airport& airport);
// True when "-CODE-" (or its lower-case form) occurs in the text.
bool lf_icaoTokenIn(const std::string& text, const Airport& airport);
