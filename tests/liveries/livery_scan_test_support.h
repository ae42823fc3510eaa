#pragma once
// A small data base and the scan's shared state, set up and emptied per test,
// and helpers that run a file through a worker and the title claim.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "../core/core_test_support.h"
#include "core/parameters.h"
#include "core/util.h"
#include "liveries/dbase.h"
#include "liveries/livery_data.h"
#include "liveries/scan_lists.h"

inline bool operator==(const LiveryData& a, const LiveryData& b) { return lf_liveryEquals(a, b); }
inline std::ostream& operator<<(std::ostream& out, const LiveryData& l) {
  return out << "{" << l.airl << "," << l.type << ",\"" << l.title << "\",\"" << l.atcid << "\","
             << (l.cargo ? "true" : "false") << "}";
}

class LiveryScanTest : public testing::Test {
 protected:
  void SetUp() override {
    gf_clearDataBase();
    lf_clearScanLists();
    gAircraftModels = {"B738", "A20N", "C172", "B744", "B.38", "?738"};
    gLargeModels = {"B738", "A20N"};
    gHeavyModels = {"B744"};
    gAirlineCodes = {"BAW", "DLH", "ZZZ"};
    gModelFixes = {{"B73H", "B738"}, {"BX38", "B.38"}, {"Q738", "?738"}};
    gDbaseRegistrations = {{"D-ABCD", {"DLH", "B738", "DLH", false}}, {"G-EMPT", {"", "B744", "", false}}};
    m_stub = SUPPRESS_STUB.value;
    gf_startLog(m_scratch / "Log.txt");
  }
  void TearDown() override {
    gf_closeLog();
    SUPPRESS_STUB.value = m_stub;
    gf_clearDataBase();
    lf_clearScanLists();
  }

  // Writes text (LF line ends) to folder/aircraft.cfg under the scratch folder.
  std::filesystem::path writeCfg(const std::string& folder, const std::string& text) {
    const auto dir = m_scratch.path() / folder;
    std::filesystem::create_directories(dir);
    writeBytes(dir / "aircraft.cfg", text);
    return dir / "aircraft.cfg";
  }

  // What was logged after the header line.
  std::vector<std::string> logLines() const {
    auto all = fileLines(m_scratch / "Log.txt");
    if (!all.empty()) all.erase(all.begin());
    return all;
  }
  std::uintmax_t logSize() const { return std::filesystem::file_size(m_scratch / "Log.txt"); }

  ScratchFolder m_scratch;

 private:
  bool m_stub = true;
};

// The text with {path} and {folder} put in for the file and its folder, and
// {folder/NAME} for NAME (UTF-8) in that folder, spelled as the program shows paths.
inline std::string withPaths(std::string text, const std::filesystem::path& file) {
  for (auto at = text.find("{folder/"); at != std::string::npos; at = text.find("{folder/", at)) {
    const auto end = text.find('}', at);
    const std::string name = text.substr(at + 8, end - at - 8);
    const std::string value = gf_pathToUtf8(file.parent_path() / gf_pathFromUtf8(name));
    text.replace(at, end + 1 - at, value);
    at += value.size();
  }
  for (const auto& [name, value] : {std::pair<std::string, std::string>{"{path}", gf_pathToUtf8(file)},
                                    {"{folder}", gf_pathToUtf8(file.parent_path())}}) {
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
      text.replace(at, name.size(), value);
    }
  }
  return text;
}

// All six report lists, one line each, prefixed by the list's name.
inline std::vector<std::string> reportLines() {
  std::vector<std::string> all;
  auto add = [&](const char* name, const auto& lines) {
    for (const std::string& line : lines) all.push_back(std::string(name) + ": " + line);
  };
  add("fix", gScanFixes.lines());
  add("invalid file", gInvalidCfgFiles.lines());
  add("incomplete", gIncompleteSections.lines());
  add("airline", gInvalidAirlineCodes.lines());
  add("model", gInvalidModelCodes.lines());
  add("no sections", gCfgFilesWithoutSections.lines());
  return all;
}
