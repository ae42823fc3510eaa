#pragma once
// The airport parking file: a meta block, a "parameters" header of named
// values and a "parkpositions" element with one "parkpos" per stand, each
// holding its learned uses as "opt" elements.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "airports/stand.h"

// What one airport parking file is written from.
struct ApfAirport {
  std::string icao;
  std::string airport_name;
  std::string BGLpath;
  std::string publisher;  // "unknown" when none was found
  std::string manufacturer;
  std::string creator;
  std::int32_t Qf_real = -1;
  std::int32_t Qf_soft = -1;
  std::int32_t altitude = 0;  // feet
  std::vector<Stand> stands;
};

enum ApfMode : int {
  APF_LEARNED = 0,    // the park airport's learned file
  APF_GENERATED = 1,  // written by the airport scan
};

// Writes the file through the replace-by-rename save: on any failure the
// result is false and an old file stays as it was. The parkpos children of
// kept are written unchanged after the stands, unless a stand has their id.
bool gf_writeApf(const ApfAirport& airport, const std::filesystem::path& path, int mode,
                 const pugi::xml_node& kept = pugi::xml_node());
bool lf_writeApfHeader(pugi::xml_document& document, const ApfAirport& airport, int mode);
void lf_writeParkPositions(pugi::xml_node parkpositions, int mode, const Stand& stand);
void lf_writeOptions(pugi::xml_node parkpos, const StandOption& option);

// Appends every parkpos of the document to stands (the park airport's list by
// default). A repeated id raises qlx::UserErrorException 94; the stands before
// it stay.
void gf_readParkPositions(const pugi::xml_document& document, std::vector<Stand>& stands = gStands);

// One "opt" element as an option, with the given id and archived flag: the
// data base's airline and type for a known registration, else its own "airl"
// and "type".
StandOption gf_readOption(const pugi::xml_node& opt, std::uint32_t id, std::uint32_t archived);

struct AirlineType {
  std::string airline;
  std::string type;
};
AirlineType lf_readAirlineType(const pugi::xml_node& opt);

// The document's top-level element of that name (a parking file has several).
pugi::xml_node gf_topLevelElement(const pugi::xml_document& document, const char* name);

// Header values: none when the key is absent.
std::optional<std::string> lf_xmlValueString(const pugi::xml_document& document, const std::string& key);
std::optional<int> lf_xmlValueInt(const pugi::xml_document& document, const std::string& key);
std::optional<bool> lf_xmlValueBool(const pugi::xml_document& document, const std::string& key);

std::filesystem::path gf_xmlFileName(const std::string& name);
std::string gf_txtFileName(const std::string& name);

struct QualityFactor {
  std::int32_t real = -1;
  std::int32_t soft = -1;
};
// "  " when both are negative, "{:2}" when real is 45 or more, else "{:2}/{:2}".
std::string lf_slotText(const QualityFactor& quality);
