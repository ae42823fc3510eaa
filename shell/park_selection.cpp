// The window's new destination as the owner of the park-airport list serves
// it; a unit of its own, so that code serving it links without the window.
#include <optional>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "core/parameters.h"
#include "shell/commands.h"

std::atomic<bool> gParkAirportSelectRequest{false};

void gf_serveParkAirportSelection() {
  if (!gParkAirportSelectRequest.exchange(false)) return;
  const std::string code = DESTINATION.value();
  if (code.empty()) return;
  if (const std::optional<Airport> airport = gf_findAirport(code))
    gf_selectParkAirport(code, airport->lat, airport->lon);
}
