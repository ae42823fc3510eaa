#include "airports/apf_file.h"

#include <unordered_set>

#include "airports/apf_loading.h"
#include "core/errors.h"
#include "core/file_save.h"
#include "core/format.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/meta.h"
#include "core/parameters.h"
#include "core/parameters_xml.h"
#include "core/util.h"
#include "liveries/dbase_lookups.h"

std::vector<Stand> gStands;

namespace {

const char* lf_boolText(bool flag) { return flag ? "true" : "false"; }

void lf_setAttribute(pugi::xml_node node, const char* name, const std::string& text) {
  node.append_attribute(name).set_value(text.c_str());
}

void lf_writeFullPosition(pugi::xml_node parkpos, const Stand& stand) {
  lf_setAttribute(parkpos, "latitude", sk::format("{:.6f}", stand.latitude));
  lf_setAttribute(parkpos, "longitude", sk::format("{:.6f}", stand.longitude));
  lf_setAttribute(parkpos, "heading", sk::format("{:.1F}", stand.heading * RAD_TO_DEG));
  lf_setAttribute(parkpos, "radius", sk::format("{:.1F}", stand.radius * 1852.0));
  if (stand.heli) {
    lf_setAttribute(parkpos, "heli", "true");
  } else {
    lf_setAttribute(parkpos, "cargo", lf_boolText(stand.cargo));
  }
  lf_setAttribute(parkpos, "ramp", lf_boolText(stand.ramp));
  if (stand.manual) lf_setAttribute(parkpos, "manual", "true");
}

// The settings a learned file records, in the order the file carries them.
void lf_writeAirportSettings(pugi::xml_node parameters) {
  gf_appendIntParameterNode(parameters, LATERAL_RANGE.name, LATERAL_RANGE.value);
  gf_appendBoolParameterNode(parameters, AUTO_RANGE.name, AUTO_RANGE.value);
  gf_appendBoolParameterNode(parameters, WEEK.name, WEEK.value);
  gf_appendBoolParameterNode(parameters, PARK_FAKE.name, PARK_FAKE.value);
  gf_appendBoolParameterNode(parameters, PARK_SOFT.name, PARK_SOFT.value);
  gf_appendIntParameterNode(parameters, parking_percentage.name, parking_percentage.value);
  gf_appendBoolParameterNode(parameters, INITIAL_LOAD_ONLY.name, INITIAL_LOAD_ONLY.value);
  gf_appendIntParameterNode(parameters, MAX_FIT.name, MAX_FIT.value);
  if (MAX_LIVE.value >= 0) gf_appendIntParameterNode(parameters, MAX_LIVE.name, MAX_LIVE.value);
  gf_appendBoolParameterNode(parameters, LEARN_SOFT.name, LEARN_SOFT.value);
}

pugi::xml_node lf_headerNode(const pugi::xml_document& document, const std::string& key) {
  return document.select_node(gf_findParameterNode(key).c_str()).node();
}

}  // namespace

bool gf_dbaseAirlineType(const std::string& registration, std::string& airline, std::string& type) {
  if (registration.empty()) return false;
  const std::optional<DbaseRecord> record = gf_dbaseRecordOf(registration);
  if (!record) return false;
  airline = record->opr.empty() ? record->airl : record->opr;
  type = record->type;
  return true;
}

bool gf_writeApf(const ApfAirport& airport, const std::filesystem::path& path, int mode, const pugi::xml_node& kept) {
  pugi::xml_document document;
  if (!gf_writeMeta(document)) return false;
  if (!lf_writeApfHeader(document, airport, mode)) return false;
  if (pugi::xml_node parkpositions = document.append_child("parkpositions")) {
    std::unordered_set<std::string> names;
    for (const Stand& stand : airport.stands) {
      lf_writeParkPositions(parkpositions, mode, stand);
      if (kept) names.insert(stand.name);
    }
    for (pugi::xml_node parkpos : kept.children("parkpos"))
      if (!names.contains(parkpos.attribute("id").as_string())) parkpositions.append_copy(parkpos);
  }
  return gf_replaceXmlFile(document, path);
}

bool lf_writeApfHeader(pugi::xml_document& document, const ApfAirport& airport, int mode) {
  pugi::xml_node parameters = document.append_child("parameters");
  if (!parameters) return false;
  const bool handmade = gHandmadeAirport;
  gf_appendParameterNode(parameters, "airport_name", airport.airport_name);
  gf_appendParameterNode(parameters, "publisher", airport.publisher);
  if (handmade) gf_appendBoolParameterNode(parameters, "handmade", true);
  if (handmade || mode == APF_GENERATED)
    gf_appendParameterNode(parameters, "altitude", sk::format("{}", airport.altitude));
  gf_appendIntParameterNode(parameters, "num_parkpos", static_cast<std::int32_t>(airport.stands.size()));
  if (handmade) {
    gf_appendIntParameterNode(parameters, "Qf_real", airport.Qf_real);
    gf_appendIntParameterNode(parameters, "Qf_soft", airport.Qf_soft);
  }
  if (airport.publisher == "unknown") {
    gf_appendParameterNode(parameters, "BGLpath", airport.BGLpath);
    gf_appendParameterNode(parameters, "manufacturer", airport.manufacturer);
    gf_appendParameterNode(parameters, "creator", airport.creator);
  }
  if (mode == APF_LEARNED) lf_writeAirportSettings(parameters);
  return true;
}

void lf_writeParkPositions(pugi::xml_node parkpositions, int mode, const Stand& stand) {
  pugi::xml_node parkpos = parkpositions.append_child("parkpos");
  lf_setAttribute(parkpos, "id", stand.name);
  if (mode == APF_GENERATED) {
    lf_writeFullPosition(parkpos, stand);
    return;
  }
  if ((stand.radiusChanged || stand.cargoChanged) && !stand.manual) {
    if (stand.radiusChanged) {
      lf_setAttribute(parkpos, "radius_change", "true");
      lf_setAttribute(parkpos, "radius", sk::format("{:.1F}", stand.radius * 1852.0));
    }
    if (stand.cargoChanged) {
      lf_setAttribute(parkpos, "cargo_change", "true");
      lf_setAttribute(parkpos, "cargo", lf_boolText(stand.cargo));
    }
  } else if (stand.manual || gHandmadeAirport) {
    lf_writeFullPosition(parkpos, stand);
  }
  for (const StandOption& option : stand.options) lf_writeOptions(parkpos, option);
}

void lf_writeOptions(pugi::xml_node parkpos, const StandOption& option) {
  if (option.id == 0) return;
  pugi::xml_node opt = parkpos.append_child("opt");
  lf_setAttribute(opt, "reg", option.registration);
  std::string airline;
  std::string type;
  if (!gf_dbaseAirlineType(option.registration, airline, type)) {
    lf_setAttribute(opt, "airl", option.operatorCode);
    lf_setAttribute(opt, "type", option.type);
  }
  if (option.kind == OPTION_SOFT) lf_setAttribute(opt, "soft", "true");
  lf_setAttribute(opt, "day", sk::format("{}", option.day));
  lf_setAttribute(opt, "hh", gf_join(option.slots));
  std::string callsigns = option.firstCallsign;
  if (!option.secondCallsign.empty()) callsigns += ":" + option.secondCallsign;
  if (!callsigns.empty()) lf_setAttribute(opt, "cs", callsigns);
}

AirlineType lf_readAirlineType(const pugi::xml_node& opt) {
  return {opt.attribute("airl").as_string(), opt.attribute("type").as_string()};
}

StandOption gf_readOption(const pugi::xml_node& opt, std::uint32_t id, std::uint32_t archived) {
  StandOption option;
  std::string second;
  option.firstCallsign = gf_splitAtColon(opt.attribute("cs").as_string(), second);
  option.secondCallsign = std::move(second);
  option.registration = opt.attribute("reg").as_string();
  if (!gf_dbaseAirlineType(option.registration, option.operatorCode, option.type)) {
    AirlineType own = lf_readAirlineType(opt);
    option.operatorCode = std::move(own.airline);
    option.type = std::move(own.type);
  }
  option.kind = opt.attribute("soft").as_bool() ? OPTION_SOFT : OPTION_REAL;
  option.day = static_cast<std::uint32_t>(opt.attribute("day").as_int());
  option.slots = lf_hours2bitset(opt.attribute("hh").as_string());
  option.id = id;
  option.archived = archived;
  return option;
}

void gf_readParkPositions(const pugi::xml_document& document, std::vector<Stand>& stands) {
  const pugi::xml_node parkpositions = gf_topLevelElement(document, "parkpositions");
  if (!parkpositions) return;
  std::unordered_set<std::string> seen;
  for (pugi::xml_node parkpos : parkpositions.children("parkpos")) {
    std::string id = parkpos.attribute("id").as_string();
    if (!seen.insert(id).second)
      throw qlx::UserErrorException(94, "Parking position " + id + " appears more than once?");
    StandPosition position{parkpos.attribute("latitude").as_double(), parkpos.attribute("longitude").as_double(),
                           parkpos.attribute("heading").as_double() * DEG_TO_RAD};
    const double radiusMetres = parkpos.attribute("radius").as_double();
    std::vector<StandOption> options;
    std::uint32_t counter = 1;
    for (pugi::xml_node opt : parkpos.children("opt")) {
      // Tow movements are no use of the stand.
      if (std::string_view(opt.attribute("cs").as_string()).starts_with("TOW ")) continue;
      options.push_back(gf_readOption(opt, counter++, 1));
    }
    options.shrink_to_fit();
    stands.emplace_back(std::move(id), std::move(options), position, radiusMetres,
                        parkpos.attribute("cargo").as_bool(), parkpos.attribute("ramp").as_bool(),
                        parkpos.attribute("heli").as_bool());
  }
}

pugi::xml_node gf_topLevelElement(const pugi::xml_document& document, const char* name) {
  for (pugi::xml_node node : document.children())
    if (node.type() == pugi::node_element && std::string_view(node.name()) == name) return node;
  return {};
}

std::optional<std::string> lf_xmlValueString(const pugi::xml_document& document, const std::string& key) {
  const pugi::xml_node node = lf_headerNode(document, key);
  if (!node) return std::nullopt;
  return std::string(node.attribute("value").as_string());
}

std::optional<int> lf_xmlValueInt(const pugi::xml_document& document, const std::string& key) {
  const pugi::xml_node node = lf_headerNode(document, key);
  if (!node) return std::nullopt;
  return node.attribute("value").as_int();
}

std::optional<bool> lf_xmlValueBool(const pugi::xml_document& document, const std::string& key) {
  const pugi::xml_node node = lf_headerNode(document, key);
  if (!node) return std::nullopt;
  return node.attribute("value").as_bool();
}

std::filesystem::path gf_xmlFileName(const std::string& name) {
  return gf_pathFromUtf8(name + ".xml");
}
std::string gf_txtFileName(const std::string& name) { return name + ".txt"; }

std::string lf_slotText(const QualityFactor& quality) {
  if (quality.real < 0 && quality.soft < 0) return "  ";
  if (quality.real < 45) return sk::format("{:2}/{:2}", quality.real, quality.soft);
  return sk::format("{:2}", quality.real);
}
