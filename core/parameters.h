#pragma once
// Every setting of the program is one global parameter object, named by its key
// in parameters.xml. Other code reads and writes only the current value; the
// saves (parameters_xml.cpp) write one key into parameters.xml at once.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/win_types.h"

class Parameter {
 public:
  explicit Parameter(std::string key) : name(std::move(key)) {}
  virtual ~Parameter() = default;
  Parameter(const Parameter&) = delete;
  Parameter& operator=(const Parameter&) = delete;

  const std::string name;  // the key; for a push button its label
};

// A text setting. Text is read and written from several threads, so the current
// value is only handed out as a copy and only changed under the object's lock.
class StringParameter : public Parameter {
 public:
  StringParameter(std::string key, std::string defaultText);

  std::string value() const;
  void setValue(std::string text);
  // Assigns the value and writes the key to parameters.xml.
  void setAndSave(std::string text);
  void save() const;

  const std::string defaultValue;
  const std::string minValue;
  const std::string maxValue;

 private:
  mutable std::mutex m_mutex;
  std::string m_value;
};

class IntParameter : public Parameter {
 public:
  IntParameter(std::string key, std::int32_t defaultNumber, std::int32_t minimum, std::int32_t maximum)
      : Parameter(std::move(key)),
        defaultValue(defaultNumber),
        minValue(minimum),
        maxValue(maximum),
        value(defaultNumber) {}

  std::int32_t clamped(std::int64_t number) const {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(number, minValue, maxValue));
  }
  void save() const;

  const std::int32_t defaultValue;
  const std::int32_t minValue;
  const std::int32_t maxValue;
  // Atomic: one thread sets a value (the automatic range, the settings read at
  // start-up) while another reads it (the window paints it, the engine uses it).
  std::atomic<std::int32_t> value;
};

class FloatParameter : public Parameter {
 public:
  FloatParameter(std::string key, float defaultNumber, float minimum, float maximum)
      : Parameter(std::move(key)),
        defaultValue(defaultNumber),
        minValue(minimum),
        maxValue(maximum),
        value(defaultNumber) {}

  float clamped(float number) const { return std::clamp(number, minValue, maxValue); }

  const float defaultValue;
  const float minValue;
  const float maxValue;
  std::atomic<float> value;  // atomic for the same reason as an integer value
};

class BoolParameter : public Parameter {
 public:
  BoolParameter(std::string key, bool defaultFlag)
      : Parameter(std::move(key)),
        defaultValue(defaultFlag),
        minValue(defaultFlag),
        maxValue(defaultFlag),
        value(defaultFlag) {}

  void save() const;

  const bool defaultValue;
  const bool minValue;
  const bool maxValue;
  // Atomic: the start-up thread clears the scan flags while the window paints them.
  std::atomic<bool> value;
};

// The main-window control a parameter owns. The window fills in the handles
// when it creates the control.
class ControlBinding {
 public:
  ControlBinding(std::uint16_t id, std::int32_t row) : controlId(id), rowY(row) {}
  virtual ~ControlBinding() = default;
  ControlBinding(const ControlBinding&) = delete;
  ControlBinding& operator=(const ControlBinding&) = delete;

  const std::uint16_t controlId;
  const std::int32_t rowY;
  HWND controlWindow = nullptr;
  WNDPROC previousWndProc = nullptr;  // an edit box's procedure before subclassing
};

class CheckboxParameter : public BoolParameter, public ControlBinding {
 public:
  CheckboxParameter(std::string key, bool defaultFlag, std::uint16_t id, std::int32_t row)
      : BoolParameter(std::move(key), defaultFlag), ControlBinding(id, row) {}
};

class IntEditParameter : public IntParameter, public ControlBinding {
 public:
  IntEditParameter(std::string key, std::int32_t defaultNumber, std::int32_t minimum, std::int32_t maximum,
                   std::uint16_t id, std::int32_t row)
      : IntParameter(std::move(key), defaultNumber, minimum, maximum), ControlBinding(id, row) {}
};

class FloatEditParameter : public FloatParameter, public ControlBinding {
 public:
  FloatEditParameter(std::string key, float defaultNumber, float minimum, float maximum, std::uint16_t id,
                     std::int32_t row)
      : FloatParameter(std::move(key), defaultNumber, minimum, maximum), ControlBinding(id, row) {}
};

class StringEditParameter : public StringParameter, public ControlBinding {
 public:
  StringEditParameter(std::string key, std::string defaultText, std::uint16_t id, std::int32_t row)
      : StringParameter(std::move(key), std::move(defaultText)), ControlBinding(id, row) {}
};

class ParameterButton : public Parameter, public ControlBinding {
 public:
  ParameterButton(std::string label, std::uint16_t id, std::int32_t row)
      : Parameter(std::move(label)), ControlBinding(id, row) {}
};

// Core never talks to a window itself: the shell fills these in with its window
// calls when it creates the controls. A hook left empty does nothing.
struct ParameterControlHooks {
  std::function<void(const CheckboxParameter&)> showCheck;      // tick or clear the box to its value
  std::function<void(IntEditParameter&)> showInt;                // edit box shows the value
  std::function<void(StringEditParameter&)> showText;            // edit box shows the text
  std::function<bool(HWND, int)> isButtonChecked;                // IsDlgButtonChecked
  std::function<void(HWND, int, bool)> checkButton;              // CheckDlgButton
};

void gf_setParameterControlHooks(ParameterControlHooks hooks);
ParameterControlHooks gf_parameterControlHooks();

// Flips a check box when the id is its own: control, value and parameters.xml.
// False (and nothing changed) for any other id.
bool gf_toggleCheckbox(HWND window, std::uint16_t controlId, CheckboxParameter& checkbox);

// ---- the settings ----
extern StringParameter PROGRAM_INSTALL_PATH;
extern IntParameter MAIN_WINDOW_X;
extern IntParameter MAIN_WINDOW_Y;
extern StringParameter MYLINKPACK24_VERSION;
extern CheckboxParameter MSFS_2020;
extern StringEditParameter ALL_INSTALL_PATH;
extern StringParameter MSFS_2024_INSTALL_PATH;
extern StringParameter MSFS_INSTALL_PATH;
extern CheckboxParameter LOG;
extern IntEditParameter LATERAL_RANGE;
extern StringParameter PROGRAM_VERSION;
extern FloatEditParameter MAX_FIT_FL;
extern IntEditParameter MAX_LIVE;
extern CheckboxParameter LEARN_SOFT;
extern CheckboxParameter WEEK;
extern IntEditParameter MAX_FIT;
extern IntEditParameter parking_percentage;
extern CheckboxParameter PARK_FAKE;
extern CheckboxParameter PARK_SOFT;
extern CheckboxParameter INITIAL_LOAD_ONLY;
extern CheckboxParameter AUTO_RANGE;
extern IntParameter HOLDING_THRESHOLD_METERS;
extern IntParameter MAX_HOLDING_MINUTES;
extern IntParameter CUSTOM_PARKING_PERCENTAGE;
extern IntParameter LAST_EPOCH_TIME;
extern BoolParameter RANDOM;
extern StringParameter PORT_NUMBER;
extern StringParameter lfolder0;
extern StringParameter lfolder1;
extern StringParameter lfolder2;
extern StringParameter lfolder3;
extern StringParameter lfolder4;
extern StringParameter lfolder5;
extern StringParameter lfolder6;
extern StringParameter lfolder7;
extern StringParameter lfolder8;
extern StringParameter lfolder9;
extern CheckboxParameter SCAN_LIVERIES;
extern CheckboxParameter LIG_AUTOMATIC;
extern CheckboxParameter LIG_PRIORITIZE;
extern IntEditParameter AI_PACKAGE_ORDER;
extern CheckboxParameter SUPPRESS_STUB;
extern CheckboxParameter ALWAYS_ON_TOP;
extern CheckboxParameter SCAN_AIRPORTS;
extern CheckboxParameter NAV_LIGHTS_WHILE_PARKED;
extern IntEditParameter MATCHING_DEPTH;
extern CheckboxParameter LIGHT_AIRCRAFT;
extern CheckboxParameter HELICOPTERS;
extern CheckboxParameter HIGH_PERF_AIRCRAFT;
extern CheckboxParameter AEROWINX;
extern CheckboxParameter GUID_CHANGES;
extern IntEditParameter AUTO_RANGE_ABOVE_HEIGHT;
extern CheckboxParameter CALLSIGN_OBJECTIDS;
extern StringEditParameter BLOCK_CALLSIGN;
extern StringEditParameter CALLSIGN_2_OBJECTID;
extern CheckboxParameter COLLISION_USER_AIR;
extern CheckboxParameter COLLISION_USER_GND;
extern CheckboxParameter COLLISION_LIVE_PARKED_GND;
extern IntEditParameter CUSTOM_MAX_PARK;
extern StringEditParameter DESTINATION;
extern IntEditParameter AIRPORT_RANGE;
extern IntEditParameter AIRPORT_HEIGHT;
extern CheckboxParameter STRAIGHT_PBS_ONLY;

// The push buttons; the label is the name.
extern ParameterButton gFlushStaticButton;  // "Flush static"
extern ParameterButton gUnblockButton;      // "Unblock"
extern ParameterButton gReReadButton;       // "Re-read"

// The items of the XML meta block; never stored in parameters.xml.
namespace meta {
extern StringParameter author;
extern StringParameter date;
extern StringParameter version;
extern StringParameter MSFS;
extern StringParameter copyright;
}  // namespace meta

// The traffic radius derived from LATERAL_RANGE; whoever changes the setting
// updates these with it. The traffic reader thread reads them while the window
// and the main loop write them.
extern std::atomic<double> gLateralRangeNm;
extern std::atomic<std::uint32_t> gLateralRangeMeters;

// The keys the per-airport parameter files copy from the settings, in the order
// those files use them.
const std::array<std::string, 10>& gf_airportParameterKeys();
