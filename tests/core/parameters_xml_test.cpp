#include "core/parameters_xml.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "core/file_save.h"
#include "core/paths.h"
#include "core_test_support.h"

namespace {

using NodeList = std::vector<std::pair<std::string, std::string>>;

// The registration lists the start-up hands to the loader.
struct Lists {
  std::vector<BoolParameter*> plainBools{&RANDOM};
  std::vector<CheckboxParameter*> checkboxes{
      &AEROWINX,       &MSFS_2020,          &CALLSIGN_OBJECTIDS, &COLLISION_USER_AIR,
      &COLLISION_USER_GND, &COLLISION_LIVE_PARKED_GND, &SUPPRESS_STUB, &LOG,
      &ALWAYS_ON_TOP,  &SCAN_LIVERIES,      &LIG_AUTOMATIC,      &LIG_PRIORITIZE,
      &SCAN_AIRPORTS,  &LIGHT_AIRCRAFT,     &HELICOPTERS,        &HIGH_PERF_AIRCRAFT,
      &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE, &LEARN_SOFT,        &STRAIGHT_PBS_ONLY,
      &PARK_SOFT,      &PARK_FAKE,          &WEEK,               &INITIAL_LOAD_ONLY,
      &GUID_CHANGES};
  std::vector<IntParameter*> plainInts{&CUSTOM_PARKING_PERCENTAGE, &MAIN_WINDOW_X, &MAIN_WINDOW_Y,
                                       &LAST_EPOCH_TIME, &HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES};
  std::vector<IntEditParameter*> intEdits{&MATCHING_DEPTH, &LATERAL_RANGE,  &MAX_FIT,
                                          &AUTO_RANGE_ABOVE_HEIGHT, &MAX_LIVE, &AIRPORT_RANGE,
                                          &AIRPORT_HEIGHT, &CUSTOM_MAX_PARK, &AI_PACKAGE_ORDER};
  std::vector<StringParameter*> strings{&PROGRAM_VERSION, &MSFS_INSTALL_PATH, &PORT_NUMBER, &lfolder0,
                                        &lfolder1,        &lfolder2,          &lfolder3,    &lfolder4,
                                        &lfolder5,        &lfolder6,          &lfolder7,    &lfolder8,
                                        &lfolder9,        &PROGRAM_INSTALL_PATH, &MYLINKPACK24_VERSION,
                                        &MSFS_2024_INSTALL_PATH, &DESTINATION};
  std::vector<StringEditParameter*> stringEdits{&BLOCK_CALLSIGN};

  void load() const { gf_loadParameters(plainBools, checkboxes, plainInts, intEdits, strings, stringEdits); }

  void resetToDefaults() const {
    for (auto* p : plainBools) p->value = p->defaultValue;
    for (auto* p : checkboxes) p->value = p->defaultValue;
    for (auto* p : plainInts) p->value = p->defaultValue;
    for (auto* p : intEdits) p->value = p->defaultValue;
    for (auto* p : strings) p->setValue(p->defaultValue);
    for (auto* p : stringEdits) p->setValue(p->defaultValue);
  }
};

// A new file: every registered key but the lfolders, in registration order.
const NodeList kDefaultFile{
    {"RANDOM", "true"},
    {"AEROWINX", "false"},
    {"MSFS_2020", "true"},
    {"CALLSIGN_OBJECTIDS", "false"},
    {"COLLISION_USER_AIR", "true"},
    {"COLLISION_USER_GND", "true"},
    {"COLLISION_LIVE_PARKED_GND", "false"},
    {"SUPPRESS_STUB", "true"},
    {"LOG", "true"},
    {"ALWAYS_ON_TOP", "false"},
    {"SCAN_LIVERIES", "true"},
    {"LIG_AUTOMATIC", "true"},
    {"LIG_PRIORITIZE", "false"},
    {"SCAN_AIRPORTS", "true"},
    {"LIGHT_AIRCRAFT", "true"},
    {"HELICOPTERS", "true"},
    {"HIGH_PERF_AIRCRAFT", "true"},
    {"NAV_LIGHTS_WHILE_PARKED", "true"},
    {"AUTO_RANGE", "true"},
    {"LEARN_SOFT", "true"},
    {"STRAIGHT_PBS_ONLY", "false"},
    {"PARK_SOFT", "true"},
    {"PARK_FAKE", "false"},
    {"WEEK", "false"},
    {"INITIAL_LOAD_ONLY", "false"},
    {"GUID_CHANGES", "true"},
    {"CUSTOM_PARKING_PERCENTAGE", "-1"},
    {"MAIN_WINDOW_X", "400"},
    {"MAIN_WINDOW_Y", "20"},
    {"LAST_EPOCH_TIME", "0"},
    {"HOLDING_THRESHOLD_METERS", "250"},
    {"MAX_HOLDING_MINUTES", "20"},
    {"MATCHING_DEPTH", "4"},
    {"LATERAL_RANGE", "40"},
    {"MAX_FIT", "47"},
    {"AUTO_RANGE_ABOVE_HEIGHT", "49000"},
    {"MAX_LIVE", "-1"},
    {"AIRPORT_RANGE", "20"},
    {"AIRPORT_HEIGHT", "18000"},
    {"CUSTOM_MAX_PARK", "-1"},
    {"AI_PACKAGE_ORDER", "1"},
    {"PROGRAM_VERSION", ""},
    {"MSFS_INSTALL_PATH", ""},
    {"PORT_NUMBER", "10747"},
    {"PROGRAM_INSTALL_PATH", ""},
    {"MYLINKPACK24_VERSION", ""},
    {"MSFS_2024_INSTALL_PATH", ""},
    {"DESTINATION", ""},
    {"BLOCK_CALLSIGN", ""},
};

class ParametersFile : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_setDataFolder(m_data.path());
    ParameterControlHooks hooks;
    hooks.showCheck = [this](const CheckboxParameter& p) { checksShown.emplace_back(p.name, p.value); };
    hooks.showInt = [this](IntEditParameter& p) { intsShown.emplace_back(p.name, p.value); };
    hooks.showText = [this](StringEditParameter& p) { textsShown.push_back(p.name); };
    gf_setParameterControlHooks(hooks);
  }
  void TearDown() override {
    { RecordingSink drain; }  // a notice no window took stays out of the next test
    gf_setParameterControlHooks({});
    gf_setDataFolder({});
    lists.resetToDefaults();
  }

  std::filesystem::path file() const { return m_data / "parameters.xml"; }
  std::string fileText() const { return file().string(); }

  // The (name, value) pairs under the first root; "<none>" for a missing value.
  NodeList fileNodes() const {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_file(file().c_str()));
    NodeList nodes;
    for (auto node : document.child("parameters").children()) {
      const auto value = node.attribute("value");
      nodes.emplace_back(node.attribute("name").value(), value ? value.value() : "<none>");
    }
    return nodes;
  }
  std::string fileValue(const std::string& key) const {
    for (const auto& [name, value] : fileNodes())
      if (name == key) return value;
    return "<missing>";
  }
  static bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  ScratchFolder m_data;
  LogCapture log;
  Lists lists;
  std::vector<std::pair<std::string, bool>> checksShown;
  std::vector<std::pair<std::string, int>> intsShown;
  std::vector<std::string> textsShown;
};

TEST_F(ParametersFile, NoFileWritesEveryDefaultAndLogsTheBlock) {
  LATERAL_RANGE.value = 77;
  PORT_NUMBER.setValue("1");
  lists.load();

  EXPECT_EQ(fileNodes(), kDefaultFile);
  EXPECT_EQ(LATERAL_RANGE.value, 40);
  EXPECT_EQ(PORT_NUMBER.value(), "10747");

  std::vector<std::string> expected{"", std::string(34, '*') + " parameters " + std::string(34, '*'),
                                    fileText() + " not found, default values taken:"};
  for (const auto& [key, value] : kDefaultFile) expected.push_back(key + "=" + value);
  expected.push_back("\"" + fileText() + "\" saved");
  expected.push_back(std::string(80, '*'));
  expected.push_back("");
  EXPECT_EQ(log.lines(), expected);

  EXPECT_EQ(checksShown.size(), 25u);
  EXPECT_EQ(intsShown.size(), 9u);
  EXPECT_EQ(textsShown, std::vector<std::string>{"BLOCK_CALLSIGN"});
  EXPECT_FALSE(std::filesystem::exists(m_data / "parameters.xml.tmp"));
}

TEST_F(ParametersFile, ExistingFileIsReadClampedCompletedAndKept) {
  std::filesystem::copy_file(std::filesystem::path(SKLM_TEST_DATA_DIR) / "core/params/existing_crlf.xml", file());
  MAX_LIVE.value = 5;  // not in the file: must come back as the default
  MSFS_INSTALL_PATH.setValue("stale");  // in the file without a value
  lists.load();

  EXPECT_EQ(LATERAL_RANGE.value, 100);
  EXPECT_EQ(MAX_FIT.value, 16);
  EXPECT_EQ(AIRPORT_RANGE.value, 8);
  EXPECT_TRUE(AEROWINX.value);
  EXPECT_TRUE(COLLISION_LIVE_PARKED_GND.value);
  EXPECT_TRUE(LIG_PRIORITIZE.value);
  EXPECT_FALSE(LOG.value);
  EXPECT_FALSE(SCAN_LIVERIES.value);
  EXPECT_FALSE(SCAN_AIRPORTS.value);
  EXPECT_FALSE(RANDOM.value);  // a node without a value attribute
  EXPECT_EQ(PORT_NUMBER.value(), "20000");
  EXPECT_EQ(MSFS_INSTALL_PATH.value(), "");
  EXPECT_EQ(lfolder1.value(), "D:\\Liveries\\AI");
  EXPECT_EQ(MAX_LIVE.value, -1);

  const auto nodes = fileNodes();
  // lfolder3 is gone, the unknown node stays where it was, missing keys follow it.
  const NodeList kept(nodes.begin(), nodes.begin() + 14);
  EXPECT_EQ(kept[0], (std::pair<std::string, std::string>{"LATERAL_RANGE", "500"}));
  EXPECT_EQ(kept[12], (std::pair<std::string, std::string>{"lfolder1", "D:\\Liveries\\AI"}));
  EXPECT_EQ(kept[13], (std::pair<std::string, std::string>{"SOMETHING_ELSE", "kept"}));
  EXPECT_EQ(fileValue("lfolder3"), "<missing>");
  EXPECT_EQ(fileValue("lfolder0"), "<missing>");
  EXPECT_EQ(fileValue("MSFS_INSTALL_PATH"), "<none>");
  EXPECT_EQ(fileValue("MAX_LIVE"), "-1");
  EXPECT_EQ(nodes.back().first, "BLOCK_CALLSIGN");
  EXPECT_EQ(nodes.size(), 14u + 49u - 12u);  // registered keys not in the file were appended

  const auto lines = log.lines();
  EXPECT_EQ(lines.at(2), "from \"" + fileText() + "\"");
  EXPECT_TRUE(contains(lines, "LATERAL_RANGE=100"));
  EXPECT_TRUE(contains(lines, "lfolder1=D:\\Liveries\\AI"));
  EXPECT_TRUE(contains(lines, "===> Parameter lfolder3 removed"));
  EXPECT_TRUE(contains(lines, "MSFS_INSTALL_PATH="));
  EXPECT_FALSE(contains(lines, "lfolder3="));
  EXPECT_FALSE(contains(lines, "lfolder0="));

  // Controls show what was loaded, found in the file or not.
  EXPECT_NE(std::find(checksShown.begin(), checksShown.end(), std::pair<std::string, bool>{"AEROWINX", true}),
            checksShown.end());
  EXPECT_NE(std::find(intsShown.begin(), intsShown.end(), std::pair<std::string, int>{"LATERAL_RANGE", 100}),
            intsShown.end());
}

TEST_F(ParametersFile, NonNumbersReadAsZeroAndAreClamped) {
  writeBytes(file(), "<parameters><parameter name=\"LATERAL_RANGE\" value=\"abc\"/>"
                     "<parameter name=\"MAX_LIVE\" value=\"99999999999\"/></parameters>");
  lists.load();
  EXPECT_EQ(LATERAL_RANGE.value, 2);
  EXPECT_EQ(MAX_LIVE.value, 300);
}

TEST_F(ParametersFile, FileThatDoesNotLoadIsKeptAsideBeforeDefaultsAreWritten) {
  const std::string good = readBytes(std::filesystem::path(SKLM_TEST_DATA_DIR) / "core/params/existing_crlf.xml");
  struct Case {
    std::string what;
    std::string bytes;  // empty: a folder in the file's place
    bool unreadable = false;
  };
  std::vector<Case> cases{{"not XML", "parameters: MAX_LIVE=5"}, {"a folder", ""},
                          {"no closing tag", good.substr(0, good.rfind("</parameters>"))}};
  for (std::size_t cut = 1; cut < good.size(); cut += 97) {
    pugi::xml_document probe;
    if (!probe.load_string(good.substr(0, cut).c_str())) cases.push_back({"cut at " + std::to_string(cut), good.substr(0, cut)});
  }
#ifndef _WIN32
  // Root reads any file; on Windows a file's mode does not make it unreadable.
  if (::geteuid() != 0) cases.push_back({"mode 000", good, true});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingSink sink;
    for (const char* name : {"parameters.xml", "parameters0.xml", "parameters00.xml"})
      std::filesystem::remove_all(m_data / name);
    writeBytes(m_data / "parameters0.xml", "older backup");
    if (c.bytes.empty()) {
      std::filesystem::create_directory(file());
    } else {
      writeBytes(file(), c.bytes);
    }
    if (c.unreadable) std::filesystem::permissions(file(), std::filesystem::perms::none);
    lists.load();
    const auto kept = m_data / "parameters0.xml";
    if (c.unreadable) std::filesystem::permissions(kept, std::filesystem::perms::owner_all);
    if (c.bytes.empty()) {
      EXPECT_TRUE(std::filesystem::is_directory(kept));
    } else {
      EXPECT_EQ(readBytes(kept), c.bytes);
    }
    EXPECT_EQ(readBytes(m_data / "parameters00.xml"), "older backup");
    EXPECT_EQ(fileNodes(), kDefaultFile);
    EXPECT_EQ(PORT_NUMBER.value(), "10747");
    EXPECT_EQ(sink.messages, (std::vector<std::string>{
                                 "Settings file could not be read: kept as parameters0.xml, default values taken"}));
    EXPECT_TRUE(contains(log.lines(), "===> " + fileText() + " cannot be read; kept as " + kept.string()));
  }
}

TEST_F(ParametersFile, NoticeGivenBeforeTheWindowIsShownWhenItComes) {
  writeBytes(file(), "<parameters>");
  lists.load();
  RecordingSink sink;
  EXPECT_EQ(sink.messages, (std::vector<std::string>{
                               "Settings file could not be read: kept as parameters0.xml, default values taken"}));
}

TEST_F(ParametersFile, TruncatedTemporaryNeverCostsThePreviousFile) {
  writeBytes(file(), "<?xml version=\"1.0\"?>\n<parameters>\n\t<parameter name=\"PORT_NUMBER\" value=\"20000\" />\n"
                     "</parameters>\n");
  // What a save killed half-way leaves behind, at the temporary this process writes next.
  const auto stale = gf_nextReplaceTemporary(file());
  writeBytes(stale, "<?xml version=\"1.0\"?>\n<parameters>\n\t<parameter name=\"PO");
  lists.load();
  EXPECT_EQ(PORT_NUMBER.value(), "20000");
  EXPECT_EQ(fileValue("PORT_NUMBER"), "20000");
  EXPECT_EQ(fileValue("MAX_LIVE"), "-1");
  EXPECT_FALSE(std::filesystem::exists(stale));
}

TEST_F(ParametersFile, SavesWriteOneKeyAndLogIt) {
  lists.load();
  MAX_LIVE.value = 120;
  MAX_LIVE.save();
  SCAN_LIVERIES.value = false;
  SCAN_LIVERIES.save();
  BLOCK_CALLSIGN.setAndSave("DLH123");
  StringParameter added("NEW_KEY", "x");
  added.save();

  auto expected = kDefaultFile;
  for (auto& [key, value] : expected) {
    if (key == "MAX_LIVE") value = "120";
    if (key == "SCAN_LIVERIES") value = "false";
    if (key == "BLOCK_CALLSIGN") value = "DLH123";
  }
  expected.emplace_back("NEW_KEY", "x");
  EXPECT_EQ(fileNodes(), expected);

  const auto lines = log.lines();
  const std::vector<std::string> tail(lines.end() - 4, lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"MAX_LIVE=120", "SCAN_LIVERIES=false", "BLOCK_CALLSIGN=DLH123",
                                            "NEW_KEY=x"}));
}

TEST_F(ParametersFile, SaveAddsAMissingValueAttribute) {
  writeBytes(file(), "<parameters><parameter name=\"PORT_NUMBER\"/></parameters>");
  StringParameter port("PORT_NUMBER", "10747");
  port.setAndSave("12345");
  EXPECT_EQ(fileNodes(), (NodeList{{"PORT_NUMBER", "12345"}}));
}

TEST_F(ParametersFile, SaveWithoutFileOrAfterFailedLoadStartsANewDocument) {
  IntParameter range("LATERAL_RANGE", 40, 2, 100);
  range.value = 55;
  range.save();
  EXPECT_EQ(fileNodes(), (NodeList{{"LATERAL_RANGE", "55"}}));

  // A truncated file leaves a partial tree in the parser; it must not become a
  // second root. The file is kept aside, and the new one holds the saved key.
  const std::string truncated = "<parameters><parameter name=\"LATERAL_RANGE\" value=\"3\"/><parameter name=\"X\"";
  writeBytes(file(), truncated);
  range.save();
  EXPECT_EQ(readBytes(m_data / "parameters0.xml"), truncated);
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(file().c_str()));
  EXPECT_EQ(std::distance(document.children().begin(), document.children().end()), 1);
  EXPECT_EQ(fileNodes(), (NodeList{{"LATERAL_RANGE", "55"}}));
}

TEST_F(ParametersFile, FailedSaveIsLoggedShownAndLeavesNothingBehind) {
  lists.load();
  const std::string before = readBytes(file());
  RecordingSink sink;
  StringParameter port("PORT_NUMBER", "10747");
  // A folder where the save's temporary goes: the file stays byte for byte.
  const auto temporary = gf_nextReplaceTemporary(file());
  std::filesystem::create_directory(temporary);
  port.setAndSave("5");
  EXPECT_EQ(port.value(), "5");
  EXPECT_EQ(readBytes(file()), before);
  std::filesystem::remove(temporary);  // the folder only: nothing else was left
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(m_data.path())) left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"parameters.xml"});
  // A data folder that is a file; the user is told once a minute at most.
  writeBytes(m_data / "not-a-folder", "x");
  gf_setDataFolder(m_data / "not-a-folder");
  port.setAndSave("6");
  const auto lines = log.lines();
  EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
            (std::vector<std::string>{"PORT_NUMBER=5", "===> saving xml did not work?", "PORT_NUMBER=6",
                                      "===> saving xml did not work?"}));
  EXPECT_EQ(sink.messages, std::vector<std::string>{"Settings could not be saved to " + fileText()});
}

TEST_F(ParametersFile, ConcurrentSavesKeepEveryKey) {
  lists.load();
  constexpr int kPerThread = 100;
  std::vector<std::unique_ptr<IntParameter>> numbers;
  std::vector<std::unique_ptr<StringParameter>> texts;
  for (int i = 0; i < kPerThread; ++i) {
    numbers.push_back(std::make_unique<IntParameter>("INT_" + std::to_string(i), i, 0, 1000));
    texts.push_back(std::make_unique<StringParameter>("TEXT_" + std::to_string(i), "t" + std::to_string(i)));
  }
  std::thread first([&] {
    for (auto& p : numbers) p->save();
  });
  std::thread second([&] {
    for (auto& p : texts) p->save();
  });
  first.join();
  second.join();

  const auto nodes = fileNodes();
  EXPECT_EQ(nodes.size(), kDefaultFile.size() + 2 * kPerThread);
  for (int i = 0; i < kPerThread; ++i) {
    EXPECT_EQ(fileValue("INT_" + std::to_string(i)), std::to_string(i));
    EXPECT_EQ(fileValue("TEXT_" + std::to_string(i)), "t" + std::to_string(i));
  }
}

TEST(ParameterNodes, LookupAppendAndSilentIntRead) {
  EXPECT_EQ(gf_findParameterNode("MAX_LIVE"), "/parameters/parameter[@name='MAX_LIVE']");

  pugi::xml_document document;
  EXPECT_FALSE(gf_appendParameterNode(pugi::xml_node(), "A", "1"));
  auto root = document.append_child("parameters");
  pugi::xml_document other;
  EXPECT_FALSE(gf_appendParameterNode(other.append_child(pugi::node_pcdata), "A", "1"));
  EXPECT_TRUE(gf_appendIntParameterNode(root, "MAX_LIVE", 0x10));
  EXPECT_TRUE(gf_appendBoolParameterNode(root, "WEEK", true));
  EXPECT_TRUE(gf_appendParameterNode(root, "PATH", "C:\\a b"));
  EXPECT_STREQ(root.first_child().attribute("value").value(), "16");
  EXPECT_STREQ(root.child("parameter").next_sibling().attribute("value").value(), "true");
  EXPECT_STREQ(gf_findAttribute(root.last_child(), "value").value(), "C:\\a b");
  EXPECT_FALSE(gf_findAttribute(root.last_child(), "other"));
  EXPECT_FALSE(gf_findAttribute(pugi::xml_node(), "value"));

  LogCapture log;
  IntParameter live("MAX_LIVE", -1, -1, 300);
  EXPECT_TRUE(gf_readIntParameter(live, document, false));
  EXPECT_EQ(live.value, 16);
  IntParameter missing("NOT_THERE", 7, 0, 10);
  missing.value = 3;
  EXPECT_FALSE(gf_readIntParameter(missing, document, false));
  EXPECT_EQ(missing.value, 7);
  EXPECT_TRUE(log.lines().empty());
  EXPECT_TRUE(gf_readIntParameter(live, document, true));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"MAX_LIVE=16"});
}

}  // namespace
