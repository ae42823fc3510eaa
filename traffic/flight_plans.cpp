#include "traffic/flight_plans.h"

#include <fstream>
#include <string>
#include <string_view>

#include "core/format.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/util.h"

std::filesystem::path gFlightPlanFolder;

namespace {

// The feed's codes are outside input: a "&" or "<" in them must not make a
// plan the simulator cannot read.
std::string lf_xmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

bool gf_createFlightPlanFolder() {
  const std::filesystem::path data = DataFolder();
  gFlightPlanFolder = data / "orig_dest";
  if (!std::filesystem::exists(data)) std::filesystem::create_directory(data);
  if (!std::filesystem::exists(gFlightPlanFolder)) std::filesystem::create_directory(gFlightPlanFolder);
  return std::filesystem::exists(gFlightPlanFolder);
}

std::filesystem::path lf_planFileName(std::uint32_t objectId) {
  return gf_pathFromUtf8(sk::format("{}.pln", objectId));
}

bool gf_writeFlightPlan(const std::filesystem::path& file, const ActBase& aircraft) {
  std::ofstream out(file, std::ios::out | std::ios::trunc);  // text mode: the platform's line ends
  if (!out) return false;
  const bool ifr = aircraft.category >= 1 && aircraft.category <= 3;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
      << "<FlightPlan.FlightPlan>\n"
      << "<FPType>" << (ifr ? "IFR" : "VFR") << "</FPType>\n"
      << "<DepartureID>" << lf_xmlText(aircraft.key.origin) << "</DepartureID>\n"
      << "<DestinationID>" << lf_xmlText(aircraft.key.destination) << "</DestinationID>\n"
      << "</FlightPlan.FlightPlan>\n"
      << "</SimBase.Document>\n";
  out.close();
  return !out.fail();
}

bool gf_removeFlightPlanFolder() {
  try {
    if (std::filesystem::exists(gFlightPlanFolder)) std::filesystem::remove_all(gFlightPlanFolder);
  } catch (const std::exception& e) {
    gf_logText(sk::format("gf_removeFlightPlanFolder: {}", e.what()));
  }
  std::error_code error;
  const bool there = std::filesystem::exists(gFlightPlanFolder, error);
  return !there && !error;
}
