#include "core/parameters.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>
#include <tuple>
#include <variant>

#include "core/parameters_xml.h"
#include "core/paths.h"
#include "core/util.h"
#include "core_test_support.h"

namespace {

enum class Kind { String, Int, Bool, Checkbox, IntEdit, FloatEdit, StringEdit };

struct Expected {
  Parameter* object;
  const char* key;
  Kind kind;
  std::variant<const char*, int, bool, float> defaultValue;
  double minimum = 0;
  double maximum = 0;
  int controlId = 0;
  int rowY = 0;
};

constexpr double kIntMax = 2147483647.0;

// Every setting with its kind, default, limits, control id and row.
const std::vector<Expected>& expectedSettings() {
  static const std::vector<Expected> table{
      {&PROGRAM_INSTALL_PATH, "PROGRAM_INSTALL_PATH", Kind::String, ""},
      {&MAIN_WINDOW_X, "MAIN_WINDOW_X", Kind::Int, 400, -30000, 30000},
      {&MAIN_WINDOW_Y, "MAIN_WINDOW_Y", Kind::Int, 20, -30000, 30000},
      {&MYLINKPACK24_VERSION, "MYLINKPACK24_VERSION", Kind::String, ""},
      {&MSFS_2020, "MSFS_2020", Kind::Checkbox, true, 0, 0, 32790, 119},
      {&ALL_INSTALL_PATH, "ALL_INSTALL_PATH", Kind::StringEdit, "", 0, 0, 32788, 119},
      {&MSFS_2024_INSTALL_PATH, "MSFS_2024_INSTALL_PATH", Kind::String, ""},
      {&MSFS_INSTALL_PATH, "MSFS_INSTALL_PATH", Kind::String, ""},
      {&LOG, "LOG", Kind::Checkbox, true, 0, 0, 32779, 147},
      {&LATERAL_RANGE, "LATERAL_RANGE", Kind::IntEdit, 40, 2, 100, 32818, 231},
      {&PROGRAM_VERSION, "PROGRAM_VERSION", Kind::String, ""},
      {&MAX_FIT_FL, "MAX_FIT_FL", Kind::FloatEdit, 24.0f, 0.5, 24.0, 32855, 371},
      {&MAX_LIVE, "MAX_LIVE", Kind::IntEdit, -1, -1, 300, 32821, 315},
      {&LEARN_SOFT, "LEARN_SOFT", Kind::Checkbox, true, 0, 0, 32777, 175},
      {&WEEK, "WEEK", Kind::Checkbox, false, 0, 0, 32854, 371},
      {&MAX_FIT, "MAX_FIT", Kind::IntEdit, 47, 0, 47, 32853, 371},
      {&parking_percentage, "parking_percentage", Kind::IntEdit, 30, 0, 100, 32848, 371},
      {&PARK_FAKE, "PARK_FAKE", Kind::Checkbox, false, 0, 0, 32852, 371},
      {&PARK_SOFT, "PARK_SOFT", Kind::Checkbox, true, 0, 0, 32851, 371},
      {&INITIAL_LOAD_ONLY, "INITIAL_LOAD_ONLY", Kind::Checkbox, false, 0, 0, 32850, 371},
      {&AUTO_RANGE, "AUTO_RANGE", Kind::Checkbox, true, 0, 0, 32819, 231},
      {&HOLDING_THRESHOLD_METERS, "HOLDING_THRESHOLD_METERS", Kind::Int, 250, 10, 4000},
      {&MAX_HOLDING_MINUTES, "MAX_HOLDING_MINUTES", Kind::Int, 20, 1, 60},
      {&CUSTOM_PARKING_PERCENTAGE, "CUSTOM_PARKING_PERCENTAGE", Kind::Int, -1, -1, 100},
      {&LAST_EPOCH_TIME, "LAST_EPOCH_TIME", Kind::Int, 0, 0, kIntMax},
      {&RANDOM, "RANDOM", Kind::Bool, true},
      {&PORT_NUMBER, "PORT_NUMBER", Kind::String, "10747"},
      {&lfolder0, "lfolder0", Kind::String, ""},
      {&lfolder1, "lfolder1", Kind::String, ""},
      {&lfolder2, "lfolder2", Kind::String, ""},
      {&lfolder3, "lfolder3", Kind::String, ""},
      {&lfolder4, "lfolder4", Kind::String, ""},
      {&lfolder5, "lfolder5", Kind::String, ""},
      {&lfolder6, "lfolder6", Kind::String, ""},
      {&lfolder7, "lfolder7", Kind::String, ""},
      {&lfolder8, "lfolder8", Kind::String, ""},
      {&lfolder9, "lfolder9", Kind::String, ""},
      {&SCAN_LIVERIES, "SCAN_LIVERIES", Kind::Checkbox, true, 0, 0, 32797, 147},
      {&LIG_AUTOMATIC, "LIG_AUTOMATIC", Kind::Checkbox, true, 0, 0, 32798, 147},
      {&LIG_PRIORITIZE, "LIG_PRIORITIZE", Kind::Checkbox, false, 0, 0, 32799, 147},
      {&AI_PACKAGE_ORDER, "AI_PACKAGE_ORDER", Kind::IntEdit, 1, 1, 6, 32800, 147},
      {&SUPPRESS_STUB, "SUPPRESS_STUB", Kind::Checkbox, true, 0, 0, 32801, 147},
      {&ALWAYS_ON_TOP, "ALWAYS_ON_TOP", Kind::Checkbox, false, 0, 0, 32771, 147},
      {&SCAN_AIRPORTS, "SCAN_AIRPORTS", Kind::Checkbox, true, 0, 0, 32802, 175},
      {&NAV_LIGHTS_WHILE_PARKED, "NAV_LIGHTS_WHILE_PARKED", Kind::Checkbox, true, 0, 0, 32778, 175},
      {&MATCHING_DEPTH, "MATCHING_DEPTH", Kind::IntEdit, 4, 1, 4, 32808, 203},
      {&LIGHT_AIRCRAFT, "LIGHT_AIRCRAFT", Kind::Checkbox, true, 0, 0, 32809, 203},
      {&HELICOPTERS, "HELICOPTERS", Kind::Checkbox, true, 0, 0, 32810, 203},
      {&HIGH_PERF_AIRCRAFT, "HIGH_PERF_AIRCRAFT", Kind::Checkbox, true, 0, 0, 32811, 203},
      {&AEROWINX, "AEROWINX", Kind::Checkbox, false, 0, 0, 32775, 203},
      {&GUID_CHANGES, "GUID_CHANGES", Kind::Checkbox, true, 0, 0, 32773, 203},
      {&AUTO_RANGE_ABOVE_HEIGHT, "AUTO_RANGE_ABOVE_HEIGHT", Kind::IntEdit, 49000, 18000, 49000, 32820, 231},
      {&CALLSIGN_OBJECTIDS, "CALLSIGN_OBJECTIDS", Kind::Checkbox, false, 0, 0, 32822, 231},
      {&BLOCK_CALLSIGN, "BLOCK_CALLSIGN", Kind::StringEdit, "", 0, 0, 32828, 259},
      {&CALLSIGN_2_OBJECTID, "CALLSIGN_2_OBJECTID", Kind::StringEdit, "", 0, 0, 32774, 259},
      {&COLLISION_USER_AIR, "COLLISION_USER_AIR", Kind::Checkbox, true, 0, 0, 32833, 287},
      {&COLLISION_USER_GND, "COLLISION_USER_GND", Kind::Checkbox, true, 0, 0, 32834, 287},
      {&COLLISION_LIVE_PARKED_GND, "COLLISION_LIVE_PARKED_GND", Kind::Checkbox, false, 0, 0, 32835, 287},
      {&CUSTOM_MAX_PARK, "CUSTOM_MAX_PARK", Kind::IntEdit, -1, -1, 500, 32865, 315},
      {&DESTINATION, "DESTINATION", Kind::StringEdit, "", 0, 0, 32840, 343},
      {&AIRPORT_RANGE, "AIRPORT_RANGE", Kind::IntEdit, 20, 8, 30, 32841, 343},
      {&AIRPORT_HEIGHT, "AIRPORT_HEIGHT", Kind::IntEdit, 18000, 2000, 45000, 32842, 343},
      {&STRAIGHT_PBS_ONLY, "STRAIGHT_PBS_ONLY", Kind::Checkbox, false, 0, 0, 32856, 315},
  };
  return table;
}

void checkBinding(const Expected& row, const ControlBinding* binding) {
  ASSERT_NE(binding, nullptr) << row.key;
  EXPECT_EQ(binding->controlId, row.controlId) << row.key;
  EXPECT_EQ(binding->rowY, row.rowY) << row.key;
  EXPECT_EQ(binding->controlWindow, nullptr) << row.key;
  EXPECT_EQ(binding->previousWndProc, nullptr) << row.key;
}

// Strings and bools keep copies of the default as their limits.
template <typename T, typename V>
void checkLimitsAreDefault(const Expected& row) {
  auto* p = dynamic_cast<T*>(row.object);
  ASSERT_NE(p, nullptr) << row.key;
  const auto expected = static_cast<decltype(p->defaultValue)>(std::get<V>(row.defaultValue));
  EXPECT_EQ(p->defaultValue, expected) << row.key;
  EXPECT_EQ(p->minValue, expected) << row.key;
  EXPECT_EQ(p->maxValue, expected) << row.key;
}

template <typename T>
void checkInt(const Expected& row) {
  auto* p = dynamic_cast<T*>(row.object);
  ASSERT_NE(p, nullptr) << row.key;
  EXPECT_EQ(p->defaultValue, std::get<int>(row.defaultValue)) << row.key;
  EXPECT_EQ(p->minValue, row.minimum) << row.key;
  EXPECT_EQ(p->maxValue, row.maximum) << row.key;
}

TEST(ParameterTable, EverySettingHasItsKeyKindDefaultLimitsAndControl) {
  for (const auto& row : expectedSettings()) {
    EXPECT_EQ(row.object->name, row.key);
    const auto* binding = dynamic_cast<const ControlBinding*>(row.object);
    switch (row.kind) {
      case Kind::String:
        EXPECT_EQ(binding, nullptr) << row.key;
        (checkLimitsAreDefault<StringParameter, const char*>(row));
        break;
      case Kind::StringEdit:
        (checkLimitsAreDefault<StringEditParameter, const char*>(row));
        checkBinding(row, binding);
        break;
      case Kind::Int:
        EXPECT_EQ(binding, nullptr) << row.key;
        checkInt<IntParameter>(row);
        break;
      case Kind::IntEdit:
        checkInt<IntEditParameter>(row);
        checkBinding(row, binding);
        break;
      case Kind::Bool:
        EXPECT_EQ(binding, nullptr) << row.key;
        (checkLimitsAreDefault<BoolParameter, bool>(row));
        break;
      case Kind::Checkbox:
        (checkLimitsAreDefault<CheckboxParameter, bool>(row));
        checkBinding(row, binding);
        break;
      case Kind::FloatEdit: {
        auto* p = dynamic_cast<FloatEditParameter*>(row.object);
        ASSERT_NE(p, nullptr) << row.key;
        EXPECT_FLOAT_EQ(p->defaultValue, std::get<float>(row.defaultValue));
        EXPECT_FLOAT_EQ(p->minValue, static_cast<float>(row.minimum));
        EXPECT_FLOAT_EQ(p->maxValue, static_cast<float>(row.maximum));
        checkBinding(row, binding);
        break;
      }
    }
  }
}

TEST(ParameterTable, FortyThreeBoundObjectsHaveDistinctIdsInRange) {
  std::set<int> ids;
  int bound = 0;
  for (const auto& row : expectedSettings()) {
    if (row.controlId == 0) continue;
    ++bound;
    ids.insert(row.controlId);
  }
  const std::pair<ParameterButton*, std::tuple<const char*, int, int>> buttons[] = {
      {&gFlushStaticButton, {"Flush static", 32858, 369}},
      {&gUnblockButton, {"Unblock", 32829, 257}},
      {&gReReadButton, {"Re-read", 32838, 341}},
  };
  for (const auto& [button, expected] : buttons) {
    EXPECT_EQ(button->name, std::get<0>(expected));
    EXPECT_EQ(button->controlId, std::get<1>(expected));
    EXPECT_EQ(button->rowY, std::get<2>(expected));
    ++bound;
    ids.insert(button->controlId);
  }
  EXPECT_EQ(bound, 43);
  EXPECT_EQ(ids.size(), 43u);
  EXPECT_GE(*ids.begin(), 32771);
  EXPECT_LE(*ids.rbegin(), 32865);
}

TEST(ParameterTable, MetaItemsDerivedRangeAndAirportKeys) {
  for (StringParameter* item : {&meta::author, &meta::date, &meta::version, &meta::MSFS}) {
    EXPECT_EQ(item->defaultValue, "") << item->name;
  }
  EXPECT_EQ(meta::MSFS.name, "MSFS");
  EXPECT_FALSE(meta::copyright.defaultValue.empty());
  EXPECT_EQ(meta::copyright.defaultValue.find('\n'), std::string::npos);

  EXPECT_DOUBLE_EQ(gLateralRangeNm.load(), 40.0);
  EXPECT_EQ(gLateralRangeMeters.load(), 74080u);

  const std::array<std::string, 10> keys{"LATERAL_RANGE", "AUTO_RANGE", "INITIAL_LOAD_ONLY", "PARK_SOFT",
                                         "PARK_FAKE",     "parking_percentage", "MAX_FIT", "WEEK",
                                         "LEARN_SOFT",    "MAX_LIVE"};
  EXPECT_EQ(gf_airportParameterKeys(), keys);
}

TEST(ParameterKinds, ConstructorsFillTheFourValues) {
  StringParameter port("PORT", "10747");
  EXPECT_EQ(port.value(), "10747");
  EXPECT_EQ(port.defaultValue, "10747");
  EXPECT_EQ(port.minValue, "10747");
  EXPECT_EQ(port.maxValue, "10747");
  BoolParameter flag("FLAG", true);
  EXPECT_TRUE(flag.value && flag.defaultValue && flag.minValue && flag.maxValue);
  IntParameter live("MAX_LIVE", -1, -1, 300);
  EXPECT_EQ(live.value, -1);
  FloatParameter fit("MAX_FIT_FL", 24.0f, 0.5f, 24.0f);
  EXPECT_FLOAT_EQ(fit.value, 24.0f);

  EXPECT_EQ(live.clamped(301), 300);
  EXPECT_EQ(live.clamped(-7), -1);
  EXPECT_EQ(live.clamped(int64_t{1} << 40), 300);
  EXPECT_FLOAT_EQ(fit.clamped(0.1f), 0.5f);
}

TEST(ParameterKinds, ValuesAreSafeToShareBetweenThreads) {
  StringParameter text("TEXT", "");
  const std::string a(200, 'a');
  const std::string b(300, 'b');
  // Numbers too: the automatic range sets LATERAL_RANGE while the window paints it.
  IntParameter range("RANGE", 0, 0, 4000);
  FloatParameter fit("FIT", 0.0f, 0.0f, 4000.0f);
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) {
      text.setValue(i % 2 ? a : b);
      range.value = i + 1;
      fit.value = static_cast<float>(i + 1);
    }
  });
  int lastRange = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::string seen = text.value();
    ASSERT_TRUE(seen.empty() || seen == a || seen == b);
    const int now = range.value;
    ASSERT_GE(now, lastRange);
    lastRange = now;
    ASSERT_LE(fit.value, 2000.0f);
  }
  writer.join();
  EXPECT_EQ(range.value, 2000);
  EXPECT_FLOAT_EQ(fit.value, 2000.0f);
}

// The window side of a check box, as the shell provides it.
struct FakeCheckbox {
  static inline std::map<int, bool> ticked;
  static inline int calls = 0;
  static void install() {
    ticked.clear();
    calls = 0;
    ParameterControlHooks hooks;
    hooks.isButtonChecked = [](HWND, int id) {
      ++calls;
      return ticked[id];
    };
    hooks.checkButton = [](HWND, int id, bool on) {
      ++calls;
      ticked[id] = on;
    };
    gf_setParameterControlHooks(hooks);
  }
  ~FakeCheckbox() { gf_setParameterControlHooks({}); }
};

TEST(ToggleCheckbox, OtherIdChangesNothing) {
  FakeCheckbox window;
  window.install();
  CheckboxParameter box("TOGGLE_TEST", true, 32900, 10);
  FakeCheckbox::ticked[32900] = true;
  EXPECT_FALSE(gf_toggleCheckbox(nullptr, 32901, box));
  EXPECT_TRUE(box.value);
  EXPECT_TRUE(FakeCheckbox::ticked[32900]);
  EXPECT_EQ(FakeCheckbox::calls, 0);
}

TEST(ToggleCheckbox, TickedBoxIsClearedStoredAndSaved) {
  ScratchFolder data;
  gf_setDataFolder(data.path());
  FakeCheckbox window;
  window.install();
  CheckboxParameter box("TOGGLE_TEST", true, 32900, 10);
  FakeCheckbox::ticked[32900] = true;

  EXPECT_TRUE(gf_toggleCheckbox(nullptr, 32900, box));
  EXPECT_FALSE(FakeCheckbox::ticked[32900]);
  EXPECT_FALSE(box.value);
  pugi::xml_document saved;
  ASSERT_TRUE(saved.load_file(gf_parametersFile().c_str()));
  EXPECT_STREQ(saved.select_node(gf_findParameterNode("TOGGLE_TEST").c_str())
                   .node()
                   .attribute("value")
                   .value(),
               "false");

  // The value follows the visible mark, not the stored value.
  box.value = false;
  FakeCheckbox::ticked[32900] = false;
  EXPECT_TRUE(gf_toggleCheckbox(nullptr, 32900, box));
  EXPECT_TRUE(box.value);
  EXPECT_TRUE(FakeCheckbox::ticked[32900]);
  gf_setDataFolder({});
}

TEST(PathGlobals, DataFolderDefaultsToRoamingAndCanBeRepointed) {
  gf_setDataFolder({});
  const auto roaming = gf_knownFolderPath(CSIDL_APPDATA);
  EXPECT_EQ(DataFolder(), roaming / "Skylume");
  EXPECT_EQ(ParametersPath(), gf_pathToUtf8(roaming / "Skylume" / "parameters.xml"));

  gf_setDataFolder("/elsewhere/data");
  EXPECT_EQ(ParametersPath(), gf_pathToUtf8(std::filesystem::path("/elsewhere/data") / "parameters.xml"));
  gf_setDataFolder({});
  EXPECT_EQ(DataFolder(), roaming / "Skylume");
}

TEST(PathGlobals, FixedNamesAreSpelledAsTheProgramHasAlwaysUsedThem) {
  const std::pair<const std::filesystem::path&, const char*> names[] = {
      {DocsFolder, "docs"},
      {InputFolder, "input"},
      {MyRegcodesFolder, "input/my_regcodes"},
      {AirportsMsfsFileName, "airports_msfs.xml"},
      {AirportsMsfsNamesFileName, "airports_msfs_names.xml"},
      {OutputFolder, "output"},
      {OutputInfoFolder, "output/info"},
      {OutputErrorsFolder, "output/errors"},
      {LiveriesScannedPath, "output/LiveriesScanned.xml"},
      {AircraftCfgWithNoFltsimSectionPath, "output/info/AircraftCfgWithNoFltsimSection.txt"},
      {AirlineModelConversionsPath, "output/info/AirlineModelConversions.txt"},
      {LiveriesSkippedOnPriorityPath, "output/info/LiveriesSkippedOnPriority.txt"},
      {AirportsScanLogPath, "output/info/AirportsScanLog.txt"},
      {InlineRegcodesPath, "output/errors/InlineRegcodes.txt"},
      {InvalidAirlineCodesPath, "output/errors/InvalidAirlineCodes.txt"},
      {InvalidAircraftCodesPath, "output/errors/InvalidAircraftCodes.txt"},
      {FixesPath, "output/errors/Fixes.txt"},
      {InvalidAircraftCfgFilesPath, "output/errors/InvalidAircraftCfgFiles.txt"},
      {IncompleFltsimSectionsPath, "output/errors/IncompleFltsimSections.txt"},
      {AirportsFolder, "airports"},
      {MyLinkpackFolder, "airports/my_linkpack"},
      {MyThirdpartyFolder, "airports/my_thirdparty"},
      {LearnedFolder, "airports/learned"},
      {LearnedStockFolder, "airports/learned/stock"},
      {LearnedLinkpackFolder, "airports/learned/linkpack"},
      {LearnedSimaddonFolder, "airports/learned/simaddon"},
      {LearnedThirdpartyFolder, "airports/learned/thirdparty"},
      {MyParkAirportsPath, "airports/my_park_airports.txt"},
      {TbloFolder, "TBLO"},
      {InstallNewVersionPath, "install_new_version.exe"},
      {VersionJsonPath, "version.json"},
      {Callsign2ObjectIdPath, "Callsign2ObjectId.txt"},
      {CommunityFolderName, "Community"},
      {OfficialFolderName, "Official"},
      {Official2024FolderName, "Official2024"},
      {InsideSystemsFolderName, "InsideSystems"},
  };
  for (const auto& [p, text] : names) EXPECT_EQ(p.generic_string(), text);
  EXPECT_EQ(FsBaseName, "fs-base");
}

}  // namespace
