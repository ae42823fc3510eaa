#include "airports/apf_loading.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <numeric>

#include <pugixml.hpp>

#include "airports/archived_files.h"
#include "core/errors.h"
#include "core/file_read.h"
#include "core/format.h"
#include "core/log.h"
#include "core/meta.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "platform/window.h"
#include "shell/app_state.h"
#include "shell/controls.h"
#include "traffic/readers.h"
#include "traffic/stand_learning.h"


namespace {

// Local locations may carry Windows separators.
std::filesystem::path lf_localPath(std::string location) {
  std::replace(location.begin(), location.end(), '\\', '/');
  return gf_pathFromUtf8(location);
}

void lf_invalidateStatus() { gf_invalidateMain(kParkingRect); }

// Stands whose radii add up to more than 1.1 times their distance.
bool lf_adjacent(const Stand& a, const Stand& b) {
  return a.radius + b.radius > 1.1 * gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude});
}

std::string lf_readApf(const std::string& path, ApfInfo& info, QualityFactor& quality) {
  if (gParkAirportCode.empty()) return "gf_readApf, no park airport set";
  std::filesystem::path file;
  if (gf_isLocalLocation(path)) {
    file = lf_localPath(path);
  } else {
    file = AirportsFolder / "park_airport.xml";
    std::filesystem::create_directories(AirportsFolder);
    std::string error = lf_downloadStockApf(path, file);
    if (!error.empty()) return error;
  }
  gHandmadeAirport = false;
  gLearnedFile.source = path;
  gLearnedFile.learnedPath.clear();
  gLearnedFile.notFullyRead = false;
  gLearnedFile.keptParkpos.reset();
  pugi::xml_document document;
  const XmlFileLoad loaded = gf_loadXmlFile(document, file, gMaxForeignTextBytes);
  if (!loaded) return sk::format("{} could not be loaded: {}", path, loaded.description());
  if (!gf_checkMeta(document)) return sk::format("{} but refused to load, copyright problem", path);

  gRtTrafficWeek = lf_xmlValueInt(document, "RT_traffic_week").value_or(0);
  info.publisher = lf_xmlValueString(document, "publisher").value_or("");
  const std::optional<int> altitude = lf_xmlValueInt(document, "altitude");
  if (!altitude) throw qlx::UserErrorException(65, "Parameter altitude not found");
  info.altitude = *altitude;
  info.airportName = lf_xmlValueString(document, "airport_name").value_or("");

  gf_readParkPositions(document, gStands);
  quality.real = lf_xmlValueInt(document, "Qf_real").value_or(-1);
  quality.soft = lf_xmlValueInt(document, "Qf_soft").value_or(-1);

  // The learned file of the source location (not of the local copy a server
  // file was downloaded to); the save writes to the same path.
  const std::filesystem::path learned = lf_archivePathOfAirport(path, info.publisher);
  gLearnedFile.learnedPath = learned;
  if (learned.empty() || !std::filesystem::exists(learned)) {
    parking_percentage.value = 30;
    EnableWindow(parking_percentage.controlWindow, FALSE);
    gf_showIntParameter(parking_percentage);
    gf_logIndented(sk::format("{:24}: {}", parking_percentage.name, 30));
  } else {
    lf_readLearned(learned, info, gStands, gHandmadeAirport);
    quality = lf_QualityFactor();
    if (gHandmadeAirport) gf_logText("A handmade airport file overruled the archived file!");
  }
  gAppState.standCount.store(static_cast<std::int32_t>(gStands.size()));
  lf_invalidateStatus();
  for (std::size_t i = 0; i < gStands.size(); ++i) gStands[i].index = static_cast<std::uint32_t>(i + 1);
  lf_findAdjacentStands();
  gf_clearStandLearning();  // names and visits of the previous stands mean nothing here
  gf_logText(sk::format("Airport file read from \"{}\" for {}",
                        gHandmadeAirport ? gf_pathToUtf8(learned) : path, info.airportName));
  gAppState.parkAirportText1.set(path);
  gAppState.parkAirportText2.set(info.publisher);
  gAppState.handMadeMark.store(gHandmadeAirport);
  gAppState.parkWeek.store(gRtTrafficWeek);
  lf_invalidateStatus();
  const std::string qualityText = lf_slotText(quality);
  gf_logIndented(sk::format("{:24}: {}", "publisher", info.publisher));
  gf_logIndented(sk::format("{:24}: {} ft", "altitude", info.altitude));
  gf_logIndented(sk::format("{:24}: {}", "num_parkpos", gStands.size()));
  gf_logIndented(sk::format("{:24}: {}", "quality factor", qualityText));
  gf_logIndented(sk::format("{:24}: {}", "RT traffic week", gRtTrafficWeek));
  gAppState.qualityText.set(qualityText);
  lf_invalidateStatus();
  gAppState.parkFileLoaded.store(true);
  EnableWindow(gFlushStaticButton.controlWindow, TRUE);
  gLearnSoftLocked = 0;
  gf_setParkAirportLoaded(info.altitude);
  lf_invalidateStatus();
  return gStands.empty() ? "no stands found" : "";
}

}  // namespace

void gf_setParkAirportLoaded(double altitudeFeet) {
  gTrafficReader.setParkElevation(altitudeFeet);
  gParkAirportLoaded.exchange(1);
}

std::string gf_readApf(const std::string& path, ApfInfo& info, QualityFactor& quality) {
  try {
    return lf_readApf(path, info, quality);
  } catch (const qlx::UserErrorException&) {
    throw;
  } catch (const std::exception& error) {
    return sk::format("exception in readApf: {}", error.what());
  }
}

QualityFactor lf_QualityFactor() {
  const bool anyOption = std::any_of(gStands.begin(), gStands.end(), [](const Stand& s) { return !s.options.empty(); });
  if (!anyOption) return {-1, -1};
  double totalWeight = 0.0;
  double realSum = 0.0;
  double softSum = 0.0;
  for (const Stand& stand : gStands) {
    // The radius in nm, as stored: the weights were tuned on it.
    const double weight = stand.radius <= 7.0 ? 0.30000001192092896 : stand.radius <= 10.0 ? 1.5 : 1.0;
    totalWeight += weight;
    for (const bool real : {true, false}) {
      std::int64_t count = 0;
      std::int64_t slots = 0;
      unsigned days = 0;
      for (const StandOption& option : stand.options) {
        if (option.id == 0 || (option.kind != 0) != real) continue;
        ++count;
        slots += static_cast<std::int64_t>(option.slots.count());
        if (option.day >= 1 && option.day <= 7) days |= 1u << option.day;
      }
      if (count == 0) continue;
      const double score = 10000.0 + static_cast<double>(std::min<std::int64_t>(20 * count, 4000)) +
                           100.0 * std::popcount(days) + 2.0 * static_cast<double>(std::min<std::int64_t>(slots, 600));
      (real ? realSum : softSum) += weight * score;
    }
  }
  if (totalWeight <= 0.0) return {0, 0};
  const auto factor = [&](double sum) {
    const auto value = static_cast<std::int32_t>(std::round(sum / totalWeight * 0.00625));
    return value > 100 ? 100 : value < 1 ? 0 : value;
  };
  return {factor(realSum), factor(softSum)};
}

void lf_findAdjacentStands() {
  const std::size_t count = gStands.size();
  for (Stand& stand : gStands) stand.adjacent.clear();
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [](std::size_t a, std::size_t b) { return gStands[a].latitude < gStands[b].latitude; });
  double largestRadius = 0.0;
  for (const Stand& stand : gStands) largestRadius = std::max(largestRadius, stand.radius);
  // The distance is never below the latitude difference (60 nm a degree), so
  // the sweep stops where even the largest pair of radii cannot reach; the
  // margin covers rounding in the exact test.
  for (std::size_t i = 0; i < count; ++i) {
    const Stand& a = gStands[order[i]];
    const double reach = (a.radius + largestRadius) * (1.0 + 1e-9) + 1e-12;
    for (std::size_t j = i + 1; j < count; ++j) {
      const Stand& b = gStands[order[j]];
      if (1.1 * (b.latitude - a.latitude) * 60.0 > reach) break;
      if (!lf_adjacent(a, b)) continue;
      gStands[order[i]].adjacent.push_back(b.index);
      gStands[order[j]].adjacent.push_back(a.index);
    }
  }
  for (Stand& stand : gStands) {
    std::sort(stand.adjacent.begin(), stand.adjacent.end());
    stand.adjacent.shrink_to_fit();
  }
}

void lf_findAdjacentStandsByPairs(std::vector<Stand>& stands) {
  for (Stand& a : stands) {
    a.adjacent.clear();
    for (const Stand& b : stands)
      if (&a != &b && lf_adjacent(a, b)) a.adjacent.push_back(b.index);
    a.adjacent.shrink_to_fit();
  }
}

namespace {

// The stands (id and position) of a parking file; none when it cannot be read.
std::vector<ServerStand> lf_readStandPoints(const std::filesystem::path& file) {
  std::vector<ServerStand> stands;
  pugi::xml_document document;
  pugi::xml_node parkpositions;
  if (gf_loadXmlFile(document, file, gMaxForeignTextBytes)) parkpositions = document.child("parkpositions");
  for (pugi::xml_node parkpos : parkpositions.children("parkpos"))
    stands.push_back({parkpos.attribute("id").as_string(), parkpos.attribute("latitude").as_double(),
                      parkpos.attribute("longitude").as_double()});
  return stands;
}

}  // namespace

double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position, std::string& stand) {
  constexpr double kNone = 100.0;
  try {
    const std::string location = gf_stockApfExists(icao);
    if (location.empty()) return kNone;
    std::vector<ServerStand> stands;
    if (gf_isLocalLocation(location)) {
      stands = lf_readStandPoints(gf_pathFromUtf8(location));
    } else if (std::optional<std::vector<ServerStand>> known = gf_knownServerStands(icao)) {
      stands = std::move(*known);
    } else {
      const std::filesystem::path file = "airport.xml";
      ServerAnswer answer = ServerAnswer::Failed;
      if (lf_downloadStockApf(location, file, &answer).empty()) stands = lf_readStandPoints(file);
      std::error_code ignored;
      std::filesystem::remove(file, ignored);
      if (gf_serverAnswered(answer)) gf_rememberServerStands(icao, stands);
    }
    double best = kNone;
    for (const ServerStand& at : stands) {
      const double distance = gf_distanceNm(position, {at.latitude, at.longitude});
      if (distance < best) {
        best = distance;
        stand = at.id;
      }
    }
    return best;
  } catch (const std::exception& error) {
    gf_logText(sk::format("exception in gf_readDestApfForClosestStand: {}", error.what()));
    return kNone;
  }
}
