#include "core/parameters.h"

StringParameter::StringParameter(std::string key, std::string defaultText)
    : Parameter(std::move(key)),
      defaultValue(defaultText),
      minValue(defaultText),
      maxValue(defaultText),
      m_value(std::move(defaultText)) {}

std::string StringParameter::value() const {
  std::lock_guard lock(m_mutex);
  return m_value;
}

void StringParameter::setValue(std::string text) {
  std::lock_guard lock(m_mutex);
  m_value = std::move(text);
}

void StringParameter::setAndSave(std::string text) {
  setValue(std::move(text));
  save();
}

namespace {

struct HookStore {
  std::mutex mutex;
  ParameterControlHooks hooks;
};

HookStore& lf_hookStore() {
  static HookStore store;
  return store;
}

}  // namespace

void gf_setParameterControlHooks(ParameterControlHooks hooks) {
  auto& store = lf_hookStore();
  std::lock_guard lock(store.mutex);
  store.hooks = std::move(hooks);
}

ParameterControlHooks gf_parameterControlHooks() {
  auto& store = lf_hookStore();
  std::lock_guard lock(store.mutex);
  return store.hooks;
}

bool gf_toggleCheckbox(HWND window, std::uint16_t controlId, CheckboxParameter& checkbox) {
  if (controlId != checkbox.controlId) return false;
  const auto hooks = gf_parameterControlHooks();
  // Without a window the stored value stands for the visible check mark.
  const bool ticked = hooks.isButtonChecked ? hooks.isButtonChecked(window, controlId) : checkbox.value.load();
  if (hooks.checkButton) hooks.checkButton(window, controlId, !ticked);
  checkbox.value = !ticked;
  checkbox.save();
  return true;
}

// Construction order is the order below, within this one file, so the derived
// values after LATERAL_RANGE see its default.
StringParameter PROGRAM_INSTALL_PATH("PROGRAM_INSTALL_PATH", "");
IntParameter MAIN_WINDOW_X("MAIN_WINDOW_X", 400, -30000, 30000);
IntParameter MAIN_WINDOW_Y("MAIN_WINDOW_Y", 20, -30000, 30000);
StringParameter MYLINKPACK24_VERSION("MYLINKPACK24_VERSION", "");
CheckboxParameter MSFS_2020("MSFS_2020", true, 32790, 119);
StringEditParameter ALL_INSTALL_PATH("ALL_INSTALL_PATH", "", 32788, 119);
StringParameter MSFS_2024_INSTALL_PATH("MSFS_2024_INSTALL_PATH", "");
StringParameter MSFS_INSTALL_PATH("MSFS_INSTALL_PATH", "");
CheckboxParameter LOG("LOG", true, 32779, 147);
IntEditParameter LATERAL_RANGE("LATERAL_RANGE", 40, 2, 100, 32818, 231);
StringParameter PROGRAM_VERSION("PROGRAM_VERSION", "");
FloatEditParameter MAX_FIT_FL("MAX_FIT_FL", 24.0f, 0.5f, 24.0f, 32855, 371);
IntEditParameter MAX_LIVE("MAX_LIVE", -1, -1, 300, 32821, 315);
CheckboxParameter LEARN_SOFT("LEARN_SOFT", true, 32777, 175);
CheckboxParameter WEEK("WEEK", false, 32854, 371);
IntEditParameter MAX_FIT("MAX_FIT", 47, 0, 47, 32853, 371);
IntEditParameter parking_percentage("parking_percentage", 30, 0, 100, 32848, 371);
CheckboxParameter PARK_FAKE("PARK_FAKE", false, 32852, 371);
CheckboxParameter PARK_SOFT("PARK_SOFT", true, 32851, 371);
CheckboxParameter INITIAL_LOAD_ONLY("INITIAL_LOAD_ONLY", false, 32850, 371);
CheckboxParameter AUTO_RANGE("AUTO_RANGE", true, 32819, 231);
IntParameter HOLDING_THRESHOLD_METERS("HOLDING_THRESHOLD_METERS", 250, 10, 4000);
IntParameter MAX_HOLDING_MINUTES("MAX_HOLDING_MINUTES", 20, 1, 60);
IntParameter CUSTOM_PARKING_PERCENTAGE("CUSTOM_PARKING_PERCENTAGE", -1, -1, 100);
IntParameter LAST_EPOCH_TIME("LAST_EPOCH_TIME", 0, 0, 2147483647);
BoolParameter RANDOM("RANDOM", true);
StringParameter PORT_NUMBER("PORT_NUMBER", "10747");
StringParameter lfolder0("lfolder0", "");
StringParameter lfolder1("lfolder1", "");
StringParameter lfolder2("lfolder2", "");
StringParameter lfolder3("lfolder3", "");
StringParameter lfolder4("lfolder4", "");
StringParameter lfolder5("lfolder5", "");
StringParameter lfolder6("lfolder6", "");
StringParameter lfolder7("lfolder7", "");
StringParameter lfolder8("lfolder8", "");
StringParameter lfolder9("lfolder9", "");
CheckboxParameter SCAN_LIVERIES("SCAN_LIVERIES", true, 32797, 147);
CheckboxParameter LIG_AUTOMATIC("LIG_AUTOMATIC", true, 32798, 147);
CheckboxParameter LIG_PRIORITIZE("LIG_PRIORITIZE", false, 32799, 147);
IntEditParameter AI_PACKAGE_ORDER("AI_PACKAGE_ORDER", 1, 1, 6, 32800, 147);
CheckboxParameter SUPPRESS_STUB("SUPPRESS_STUB", true, 32801, 147);
CheckboxParameter ALWAYS_ON_TOP("ALWAYS_ON_TOP", false, 32771, 147);
CheckboxParameter SCAN_AIRPORTS("SCAN_AIRPORTS", true, 32802, 175);
CheckboxParameter NAV_LIGHTS_WHILE_PARKED("NAV_LIGHTS_WHILE_PARKED", true, 32778, 175);
IntEditParameter MATCHING_DEPTH("MATCHING_DEPTH", 4, 1, 4, 32808, 203);
CheckboxParameter LIGHT_AIRCRAFT("LIGHT_AIRCRAFT", true, 32809, 203);
CheckboxParameter HELICOPTERS("HELICOPTERS", true, 32810, 203);
CheckboxParameter HIGH_PERF_AIRCRAFT("HIGH_PERF_AIRCRAFT", true, 32811, 203);
CheckboxParameter AEROWINX("AEROWINX", false, 32775, 203);
CheckboxParameter GUID_CHANGES("GUID_CHANGES", true, 32773, 203);
IntEditParameter AUTO_RANGE_ABOVE_HEIGHT("AUTO_RANGE_ABOVE_HEIGHT", 49000, 18000, 49000, 32820, 231);
CheckboxParameter CALLSIGN_OBJECTIDS("CALLSIGN_OBJECTIDS", false, 32822, 231);
StringEditParameter BLOCK_CALLSIGN("BLOCK_CALLSIGN", "", 32828, 259);
StringEditParameter CALLSIGN_2_OBJECTID("CALLSIGN_2_OBJECTID", "", 32774, 259);
CheckboxParameter COLLISION_USER_AIR("COLLISION_USER_AIR", true, 32833, 287);
CheckboxParameter COLLISION_USER_GND("COLLISION_USER_GND", true, 32834, 287);
CheckboxParameter COLLISION_LIVE_PARKED_GND("COLLISION_LIVE_PARKED_GND", false, 32835, 287);
IntEditParameter CUSTOM_MAX_PARK("CUSTOM_MAX_PARK", -1, -1, 500, 32865, 315);
StringEditParameter DESTINATION("DESTINATION", "", 32840, 343);
IntEditParameter AIRPORT_RANGE("AIRPORT_RANGE", 20, 8, 30, 32841, 343);
IntEditParameter AIRPORT_HEIGHT("AIRPORT_HEIGHT", 18000, 2000, 45000, 32842, 343);
CheckboxParameter STRAIGHT_PBS_ONLY("STRAIGHT_PBS_ONLY", false, 32856, 315);

ParameterButton gFlushStaticButton("Flush static", 32858, 369);
ParameterButton gUnblockButton("Unblock", 32829, 257);
ParameterButton gReReadButton("Re-read", 32838, 341);

namespace meta {
StringParameter author("author", "");
StringParameter date("date", "");
StringParameter version("version", "");
StringParameter MSFS("MSFS", "");
StringParameter copyright("copyright", "Copyright (c) Skylume. All rights reserved.");
}  // namespace meta

std::atomic<double> gLateralRangeNm{static_cast<double>(LATERAL_RANGE.value)};
std::atomic<std::uint32_t> gLateralRangeMeters{static_cast<std::uint32_t>(LATERAL_RANGE.value) * 1852u};

const std::array<std::string, 10>& gf_airportParameterKeys() {
  static const std::array<std::string, 10> keys{
      LATERAL_RANGE.name, AUTO_RANGE.name, INITIAL_LOAD_ONLY.name, PARK_SOFT.name, PARK_FAKE.name,
      parking_percentage.name, MAX_FIT.name, WEEK.name, LEARN_SOFT.name, MAX_LIVE.name};
  return keys;
}
