#include "airports/airport_list.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include <pugixml.hpp>

#include "airports/apf_file.h"
#include "airports/apf_loading.h"
#include "core/errors.h"
#include "core/file_read.h"
#include "core/format.h"
#include "core/log.h"
#include "core/paths.h"

std::vector<Airport> gAirports;
std::unordered_map<std::string, std::string> gAirportNames;

namespace {

bool gAirportsLoaded = false;
constexpr std::size_t kReserve = 44000;
constexpr double kClosestRadiusNm = 5.0;

// Parsed with from_chars so that the user's locale never changes what a number
// means; the error texts are the ones users and the log have always seen.
template <typename T>
T lf_parseNumber(const char* text, const char* name) {
  const std::string_view view(text);
  std::size_t start = 0;
  while (start < view.size() && (view[start] == ' ' || view[start] == '\t')) ++start;
  if (start < view.size() && view[start] == '+') ++start;
  T value{};
  const auto [end, error] = std::from_chars(view.data() + start, view.data() + view.size(), value);
  if (error == std::errc::result_out_of_range) throw std::out_of_range(sk::format("{} argument out of range", name));
  if (error != std::errc() || end == view.data() + start) throw std::invalid_argument(sk::format("invalid {} argument", name));
  return value;
}

void lf_readAirportFile(const std::filesystem::path& path) {
  pugi::xml_document document;
  const XmlFileLoad result = gf_loadXmlFile(document, path);
  if (!result)
    throw std::runtime_error(sk::format("{} not loaded {}", gf_pathToUtf8(path), result.description()));
  const pugi::xml_node root = gf_topLevelElement(document, "airports");
  if (!root) throw std::runtime_error(sk::format("{} not found", gf_pathToUtf8(path)));
  for (pugi::xml_node node : root.children("airport")) {
    Airport airport;
    airport.alt = lf_parseNumber<float>(node.attribute("alt").as_string(), "stof");
    airport.lat = lf_parseNumber<double>(node.attribute("lat").as_string(), "stod");
    airport.lon = lf_parseNumber<double>(node.attribute("lon").as_string(), "stod");
    airport.iata = node.attribute("iata").as_string();
    airport.code = node.attribute("code").as_string();
    gAirports.push_back(std::move(airport));
  }
}

}  // namespace

bool gf_readAirports() {
  if (gAirportsLoaded) return !gAirports.empty();
  if (gAirports.capacity() < kReserve) gAirports.reserve(kReserve);
  const std::filesystem::path path = InputFolder / AirportsMsfsFileName;
  try {
    lf_readAirportFile(path);
  } catch (const pugi::xpath_exception& error) {
    // A read that stops part-way would leave its first records for the next
    // read to append a second time.
    gAirports.clear();
    throw qlx::UserErrorException(87, error.what());
  } catch (const std::exception& error) {
    gAirports.clear();
    throw qlx::UserErrorException(88, error.what());
  }
  std::sort(gAirports.begin(), gAirports.end(),
            [](const Airport& a, const Airport& b) { return a.code < b.code; });
  gAirports.shrink_to_fit();
  gf_log(sk::format("{} airports read from \"{}\"", gAirports.size(), gf_pathToUtf8(path)));
  gAirportsLoaded = true;
  return !gAirports.empty();
}

void gf_resetAirports() {
  gAirports.clear();
  gAirportsLoaded = false;
}

bool gf_readAirportNames() {
  const std::filesystem::path path = InputFolder / AirportsMsfsNamesFileName;
  pugi::xml_document document;
  if (gf_loadXmlFile(document, path)) {
    if (const pugi::xml_node root = gf_topLevelElement(document, "AirportNames"))
      for (pugi::xml_node node : root.children("airport"))
        gAirportNames.try_emplace(node.attribute("ICAO").as_string(), node.attribute("name").as_string());
  }
  gf_log(sk::format("{} airport names read from \"{}\"", gAirportNames.size(), gf_pathToUtf8(path)));
  return !gAirportNames.empty();
}

std::optional<Airport> gf_findClosestAirport(const LatLon& position) {
  const Airport* best = nullptr;
  const Airport* neighbour = nullptr;
  double bestDistance = 100.0;
  for (const Airport& airport : gAirports) {
    const double distance = gf_distanceNm(position, {airport.lat, airport.lon});
    if (distance <= kClosestRadiusNm && distance < bestDistance) {
      bestDistance = distance;
      neighbour = best;
      best = &airport;
    }
  }
  if (!best) return std::nullopt;
  if (!neighbour) return *best;
  gf_log(sk::format("Airport {} is closest, neighbour is {}", best->code, neighbour->code));
  std::string bestStand;
  std::string neighbourStand;
  const double bestStandNm = gf_readDestApfForClosestStand(best->code, position, bestStand);
  const double neighbourStandNm = gf_readDestApfForClosestStand(neighbour->code, position, neighbourStand);
  if (neighbourStandNm >= bestStandNm) return *best;
  gf_log(sk::format("Airport {} is closest, but stand {} at neighbouring airport {} is closest at {:.0F} meters ...",
                    best->code, neighbourStand, neighbour->code, neighbourStandNm * 1852.0));
  return *neighbour;
}

std::optional<Airport> gf_findAirport(const std::string& icao) {
  // Sorted by code, so the first record of the equal range is the first match.
  const auto found = std::lower_bound(gAirports.begin(), gAirports.end(), icao,
                                      [](const Airport& airport, const std::string& code) { return airport.code < code; });
  if (found == gAirports.end() || found->code != icao) return std::nullopt;
  return *found;
}

std::string gf_airportLabel(const Airport& airport) {
  std::string label = airport.code.empty() ? std::string("?") : airport.code;
  if (!airport.iata.empty()) label += sk::format(" ({})", airport.iata);
  return label;
}

bool lf_icaoTokenIn(const std::string& text, const Airport& airport) {
  std::string token = sk::format("-{}-", airport.code);
  if (text.find(token) != std::string::npos) return true;
  for (char& c : token)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text.find(token) != std::string::npos;
}
