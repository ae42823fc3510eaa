#pragma once
// A park airport on disk: an archived file written by the program's own writer
// in one of the source folders, loaded through gf_readApf.
#include <string>
#include <vector>

#include "airports/apf_file.h"
#include "airports/apf_loading.h"
#include "airports/learned_save.h"
#include "core/parameters.h"
#include "tests/airports/airports_test_support.h"

inline Stand bedStand(const std::string& name, double lat, double lon, double radiusMetres = 30.0) {
  return Stand(name, {}, {lat, lon, 0.0}, radiusMetres, false, false, false);
}

inline StandOption bedOption(std::string registration, std::uint32_t day, std::initializer_list<int> slots,
                             std::uint32_t id = 1) {
  StandOption option;
  option.operatorCode = "BAW";
  option.type = "A320";
  option.registration = std::move(registration);
  option.day = day;
  option.id = id;
  for (int slot : slots) option.slots.set(slot);
  return option;
}

// The archived file of EGLL with stands A1, A2 (A1 holding one option), publisher "Pub".
inline ApfAirport bedAirport() {
  ApfAirport airport;
  airport.icao = "EGLL";
  airport.airport_name = "Heathrow";
  airport.publisher = "Pub";
  airport.altitude = 83;
  airport.stands.push_back(bedStand("A1", 51.4700, -0.4600));
  airport.stands.back().options.push_back(bedOption("", 1, {10}));
  airport.stands.push_back(bedStand("A2", 51.4710, -0.4600));
  return airport;
}

// Resets the park airport's state as the loading step does before a load.
inline void clearParkAirport() {
  gStands.clear();
  gParkApfInfo = {};
  gQualityFactor = {};
  gHandmadeAirport = false;
  gParkAirportCode = "EGLL";
  gStandUpdateCount = 0;
  gAirportParametersChanged = false;
}

// An archived file as a generated one with the stands' options added, made
// with the program's writer; its folders are created.
inline void writeArchived(const std::filesystem::path& path, const ApfAirport& airport) {
  std::filesystem::create_directories(path.parent_path());
  ASSERT_TRUE(gf_writeApf(airport, path, APF_GENERATED));
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(path.c_str()));
  pugi::xml_node parkpos = document.child("parkpositions").first_child();
  for (const Stand& stand : airport.stands) {
    for (const StandOption& option : stand.options) lf_writeOptions(parkpos, option);
    parkpos = parkpos.next_sibling();
  }
  ASSERT_TRUE(document.save_file(path.c_str()));
}

inline std::string loadPark(const std::string& location) {
  clearParkAirport();
  return gf_readApf(location, gParkApfInfo, gQualityFactor);
}

inline std::vector<std::string> optionRegs(const Stand& stand) {
  std::vector<std::string> regs;
  for (const StandOption& option : stand.options) regs.push_back(option.registration);
  return regs;
}

// Restores the settings a learned file may change.
class SettingsGuard {
 public:
  SettingsGuard()
      : m_range(LATERAL_RANGE.value), m_percentage(parking_percentage.value), m_maxLive(MAX_LIVE.value),
        m_maxFit(MAX_FIT.value), m_autoRange(AUTO_RANGE.value), m_rangeNm(gLateralRangeNm.load()) {}
  ~SettingsGuard() {
    LATERAL_RANGE.value = m_range;
    parking_percentage.value = m_percentage;
    MAX_LIVE.value = m_maxLive;
    MAX_FIT.value = m_maxFit;
    AUTO_RANGE.value = m_autoRange;
    gLateralRangeNm = m_rangeNm;
  }

 private:
  std::int32_t m_range, m_percentage, m_maxLive, m_maxFit;
  bool m_autoRange;
  double m_rangeNm;
};
