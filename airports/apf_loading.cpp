#include "airports/apf_loading.h"

#include <filesystem>

#include <pugixml.hpp>

#include "airports/archived_files.h"
#include "core/format.h"
#include "core/log.h"

double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position, std::string& stand) {
  constexpr double kNone = 100.0;
  try {
    const std::string location = gf_stockApfExists(icao);
    if (location.empty()) return kNone;
    std::filesystem::path file = location;
    if (!gf_isLocalLocation(location)) {
      file = "airport.xml";
      if (!lf_downloadStockApf(location, file).empty()) return kNone;
    }
    pugi::xml_document document;
    pugi::xml_node parkpositions;
    if (document.load_file(file.c_str())) parkpositions = document.child("parkpositions");
    if (!parkpositions) {
      std::error_code ignored;
      std::filesystem::remove("airport.xml", ignored);
      return kNone;
    }
    double best = kNone;
    for (pugi::xml_node parkpos : parkpositions.children("parkpos")) {
      const LatLon at{parkpos.attribute("latitude").as_double(), parkpos.attribute("longitude").as_double()};
      const double distance = gf_distanceNm(position, at);
      if (distance < best) {
        best = distance;
        stand = parkpos.attribute("id").as_string();
      }
    }
    return best;
  } catch (const std::exception& error) {
    gf_logText(sk::format("exception in gf_readDestApfForClosestStand: {}", error.what()));
    return kNone;
  }
}
