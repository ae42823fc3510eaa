#include "airports/park_airports.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "airports/airport_list.h"
#include "core/file_save.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/paths.h"
#include "core/util.h"

std::list<ParkAirport> gParkAirports;

namespace {

const std::string kFileName = "my_park_airports.txt";
constexpr std::size_t kManyAirports = 3000;

void lf_append(const Airport& airport, std::string reservedStand) {
  gParkAirports.push_back({airport.code, std::move(reservedStand), airport.lat, airport.lon, 0.0});
}

}  // namespace

bool gf_isParkAirportListed(const std::string& icao) {
  return std::any_of(gParkAirports.begin(), gParkAirports.end(),
                     [&](const ParkAirport& entry) { return entry.icao == icao; });
}

void lf_parseMyParkAirports(bool& allKnown, const std::string& line) {
  const std::vector<std::string> pieces = gf_splitComma(line);
  if (pieces.empty()) return;
  if (pieces.size() >= 3) {
    gf_log(sk::format("{}:{} wrong syntax, skipped", kFileName, line));
    return;
  }
  const std::optional<Airport> airport = gf_findAirport(pieces[0]);
  if (!airport) {
    gf_showMessage(sk::format("airport {} is unknown", pieces[0]), true);
    allKnown = false;
    return;
  }
  if (gf_isParkAirportListed(airport->code)) {
    gf_log(sk::format("{}:{} double, skipped", kFileName, airport->code));
    return;
  }
  lf_append(*airport, pieces.size() == 2 ? pieces[1] : std::string());
}

void lf_scanMyThirdparty() {
  int added = 0;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(MyThirdpartyFolder)) {
    if (!entry.is_directory()) continue;
    const std::string code = gf_pathToUtf8(entry.path().filename());
    if (gf_isParkAirportListed(code)) continue;
    const std::optional<Airport> airport = gf_findAirport(code);
    if (!airport) continue;
    lf_append(*airport, {});
    ++added;
  }
  if (added > 0)
    gf_log(sk::format("{} park airport{} added from my_thirdparty folder(-s) ", added, added > 1 ? "s" : ""));
}

bool lf_readMyParkAirports() {
  bool allKnown = true;
  try {
    gParkAirports.clear();
    std::ifstream stream(MyParkAirportsPath, std::ios::binary);
    if (!stream) {
      gf_log(sk::format("{} not found", gf_pathToUtf8(MyParkAirportsPath)));
    } else {
      std::vector<std::string> lines;
      gf_readLines(stream, lines);
      for (const std::string& line : lines) lf_parseMyParkAirports(allKnown, line);
      const std::size_t count = gParkAirports.size();
      if (count > 0) gf_log(sk::format("{} park airport{} read from \"{}\"", count, count > 1 ? "s" : "", kFileName));
      if (count > kManyAirports)
        gf_showMessage(sk::format("Warning: There are a lot of airports ({}) in {}, that will cost SKLM much cpu "
                                  "time, and may give stutters",
                                  count, kFileName),
                       true);
    }
  } catch (const std::exception& error) {
    gf_log(sk::format("lf_readMyParkAirports {}", error.what()));
    return false;
  }
  // The folder scan runs on the main loop on "Re-read": a missing or unlistable
  // folder must not end the run, and the entries of the file stay.
  try {
    lf_scanMyThirdparty();
  } catch (const std::exception& error) {
    gf_log(sk::format("lf_readMyParkAirports {}", error.what()));
  }
  return allKnown;
}

bool lf_updateMyParkAirportLine(std::string& line) {
  if (gParkAirports.empty()) return false;
  const ParkAirport& first = gParkAirports.front();
  const std::vector<std::string> pieces = gf_splitComma(line);
  if (pieces.empty() || pieces[0] != first.icao) return false;
  line = sk::format("{},{}", first.icao, first.reservedStand);
  gf_log(sk::format("{}:{},{} updated stand", kFileName, first.icao, first.reservedStand));
  return true;
}

void gf_saveMyParkAirport() {
  if (gParkAirports.empty()) return;
  const ParkAirport& first = gParkAirports.front();
  std::string newLine = first.icao;
  if (!first.reservedStand.empty()) newLine += sk::format(",{}", first.reservedStand);
  std::vector<std::string> lines;
  std::error_code error;
  const bool exists = std::filesystem::exists(MyParkAirportsPath, error);
  if (error) {
    gf_log(
        sk::format("{} cannot be read, not saved: {}", gf_pathToUtf8(MyParkAirportsPath), error.message()));
    return;
  }
  if (exists) {
    std::ifstream stream(MyParkAirportsPath, std::ios::binary);
    if (!stream || !std::filesystem::is_regular_file(MyParkAirportsPath, error)) {
      // Writing now would replace the user's whole list by one line.
      gf_log(sk::format("{} cannot be read, not saved", gf_pathToUtf8(MyParkAirportsPath)));
      return;
    }
    gf_readLines(stream, lines);
    if (stream.bad()) {
      gf_log(sk::format("{} cannot be read, not saved", gf_pathToUtf8(MyParkAirportsPath)));
      return;
    }
    const bool updated = std::any_of(lines.begin(), lines.end(), [](std::string& line) { return lf_updateMyParkAirportLine(line); });
    if (!updated) {
      lines.push_back(newLine);
      gf_log(sk::format("{}:{} new entry", kFileName, newLine));
    }
  } else {
    lines.push_back(newLine);
    gf_log(sk::format("{} created with {}", kFileName, newLine));
  }
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  if (!gf_replaceFile(MyParkAirportsPath, text))
    gf_log(sk::format("{} could not be saved", gf_pathToUtf8(MyParkAirportsPath)));
}
