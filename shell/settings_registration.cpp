#include "shell/settings_registration.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/parameters_xml.h"
#include "core/paths.h"
#include "core/version.h"
#include "shell/app_state.h"
#include "shell/auto_range.h"

namespace {

void lf_switchOnAndShow(CheckboxParameter& box) {
  box.value = true;
  box.save();
  if (auto show = gf_parameterControlHooks().showCheck) show(box);
}

}  // namespace

void lf_loadParameterLists() {
  const std::vector<BoolParameter*> plainBools{&RANDOM};
  const std::vector<CheckboxParameter*> checkboxes{
      &AEROWINX,          &MSFS_2020,       &CALLSIGN_OBJECTIDS, &COLLISION_USER_AIR,      &COLLISION_USER_GND,
      &COLLISION_LIVE_PARKED_GND, &SUPPRESS_STUB, &LOG,          &ALWAYS_ON_TOP,           &SCAN_LIVERIES,
      &LIG_AUTOMATIC,     &LIG_PRIORITIZE,  &SCAN_AIRPORTS,      &LIGHT_AIRCRAFT,          &HELICOPTERS,
      &HIGH_PERF_AIRCRAFT, &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE, &LEARN_SOFT,             &STRAIGHT_PBS_ONLY,
      &PARK_SOFT,         &PARK_FAKE,       &WEEK,               &INITIAL_LOAD_ONLY,       &GUID_CHANGES};
  const std::vector<IntParameter*> plainInts{&CUSTOM_PARKING_PERCENTAGE, &gAppState.MAIN_WINDOW_X,
                                             &gAppState.MAIN_WINDOW_Y,   &LAST_EPOCH_TIME,
                                             &HOLDING_THRESHOLD_METERS,  &MAX_HOLDING_MINUTES};
  const std::vector<IntEditParameter*> intEdits{&MATCHING_DEPTH, &LATERAL_RANGE,  &MAX_FIT,
                                                &AUTO_RANGE_ABOVE_HEIGHT, &MAX_LIVE, &AIRPORT_RANGE,
                                                &AIRPORT_HEIGHT, &CUSTOM_MAX_PARK, &AI_PACKAGE_ORDER};
  const std::vector<StringParameter*> strings{
      &PROGRAM_VERSION, &MSFS_INSTALL_PATH, &PORT_NUMBER, &lfolder0, &lfolder1, &lfolder2, &lfolder3,
      &lfolder4,        &lfolder5,          &lfolder6,    &lfolder7, &lfolder8, &lfolder9, &PROGRAM_INSTALL_PATH,
      &MYLINKPACK24_VERSION, &MSFS_2024_INSTALL_PATH, &DESTINATION};
  const std::vector<StringEditParameter*> stringEdits{&BLOCK_CALLSIGN};
  gf_loadParameters(plainBools, checkboxes, plainInts, intEdits, strings, stringEdits);
  lf_versionUpdate();
  gf_setLateralRange(LATERAL_RANGE.value);
}

void lf_versionUpdate() {
  const std::string running = gf_versionToString(ProgramVersion);
  const std::string storedText = PROGRAM_VERSION.value();
  if (storedText == PROGRAM_VERSION.defaultValue) {
    PROGRAM_VERSION.setAndSave(running);
    return;
  }
  const Version stored = gf_parseVersion(storedText);
  if (stored != ProgramVersion) PROGRAM_VERSION.setAndSave(running);
  if (!(ProgramVersion > stored)) return;
  gf_logLine(sk::format("This is a version update from {} -> {}", gf_versionToString(stored), running));
  std::error_code error;
  if (std::filesystem::exists(InstallNewVersionPath, error)) {
    if (!std::filesystem::remove(InstallNewVersionPath, error) && error) {
      throw std::filesystem::filesystem_error("remove", InstallNewVersionPath, error);
    }
  }
  lf_switchOnAndShow(SCAN_LIVERIES);
  lf_switchOnAndShow(SCAN_AIRPORTS);
}
