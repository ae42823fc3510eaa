#pragma once
// The user's park airports: airports/my_park_airports.txt (a code, optionally
// a comma and the reserved stand, per line) and the airports that have a folder
// under airports/my_thirdparty.
#include <list>
#include <string>

struct ParkAirport {
  std::string icao;
  std::string reservedStand;  // empty when none
  double lat = 0.0;
  double lon = 0.0;
  double distance = 0.0;  // nm from the user aircraft; refreshed by static parking control
};

// Its first entry is the candidate park airport. Only the start-up thread and
// then the main loop touch it: the window's selection is a request they serve.
extern std::list<ParkAirport> gParkAirports;

// Reads the list anew; false when a line named an unknown airport or reading failed.
bool lf_readMyParkAirports();
void lf_parseMyParkAirports(bool& allKnown, const std::string& line);
void lf_scanMyThirdparty();
bool gf_isParkAirportListed(const std::string& icao);
// Writes the first entry of gParkAirports into the file: its line updated, or
// added in sorted place. An existing file that cannot be read is left alone.
void gf_saveMyParkAirport();
// Makes the airport the first entry of gParkAirports (moved to the front or
// added) and saves my_park_airports.txt.
void gf_selectParkAirport(const std::string& icao, double latitude, double longitude);
// True when the line belongs to the first entry and was rewritten to its stand.
bool lf_updateMyParkAirportLine(std::string& line);
