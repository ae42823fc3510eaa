// The real aircraft.cfg files of an installed AI package, read against a data
// base that knows their types and airlines: nothing a reader could get wrong
// (file-name case, comments, spellings, stub titles, base containers) refuses
// a file or a section.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <list>
#include <string>
#include <vector>

#include "core/random.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/dbase.h"
#include "liveries/livery_section.h"
#include "liveries_test_support.h"
#include "livery_scan_test_support.h"

TEST_F(LiveryScanTest, RealFsltlPackage) {
  {
    gf_clearDataBase();
    ProgramFolder program;
    gf_setDataDownloads({copier(scrambledFixture("temp2_fsltl")), {}});
    gf_readDataBase();
  }
  const auto root = std::filesystem::path(SKLM_TEST_DATA_DIR) / "liveries" / "fsltl-traffic-base";
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (lf_upper(entry.path().filename().string()) == "AIRCRAFT.CFG") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  auto scan = [&] {
    lf_clearScanLists();
    std::vector<std::future<ScannedCfgFile>> pending;
    for (const auto& file : files) {
      pending.push_back(gf_startWorker([file] { return lf_searchLiveriesinFile(1, file); }));
    }
    std::list<LiveryData> liveries;
    for (auto& future : pending) {
      ScannedCfgFile file = future.get();
      liveries.splice(liveries.end(), lf_claimScannedFile(file));
    }
    return liveries;
  };
  // Sections and stub titles counted by plain text tests, skipping the files
  // whose type the data base does not know (a fact of the data, not of the reader).
  const std::vector<std::string> unknownTypes = {"Asobo_Generic_Airliner_QuadEngines",
                                                 "Asobo_Generic_Airliner_TwinEngines", "FSLTL_B73X"};
  std::size_t sections = 0, stubs = 0, usable = 0;
  for (const auto& file : files) {
    const bool known = std::find(unknownTypes.begin(), unknownTypes.end(),
                                 file.parent_path().filename().string()) == unknownTypes.end();
    for (std::string line : fileLines(file)) {
      line = lf_upper(line);
      const bool header = line.starts_with("[FLTSIM.");
      const bool stub = line.starts_with("TITLE") && line.find("-STUB\"") != std::string::npos;
      sections += header ? 1 : 0;
      stubs += stub ? 1 : 0;
      usable += known ? (header ? 1 : 0) - (stub ? 1 : 0) : 0;
    }
  }

  SUPPRESS_STUB.value = false;
  const std::size_t withStubs = scan().size();
  SUPPRESS_STUB.value = true;
  const std::size_t kept = scan().size();
  std::printf("%zu files, %zu sections (%zu -STUB titles), %zu liveries kept (%zu with stubs); reports: %zu fixes, "
              "%zu invalid files, %zu incomplete sections, %zu invalid airlines, %zu invalid models, "
              "%zu without sections\n",
              files.size(), sections, stubs, kept, withStubs, gScanFixes.lines().size(),
              gInvalidCfgFiles.lines().size(), gIncompleteSections.lines().size(),
              gInvalidAirlineCodes.lines().size(), gInvalidModelCodes.lines().size(),
              gCfgFilesWithoutSections.lines().size());
  EXPECT_EQ(files.size(), 131u);
  EXPECT_EQ(kept, usable);
  std::vector<std::string> models;
  for (const std::string& line : gInvalidModelCodes.lines()) models.push_back(line.substr(0, line.find(' ')));
  std::sort(models.begin(), models.end());
  EXPECT_EQ(models, (std::vector<std::string>{"737", "ASOB", "ASOB"}));
  EXPECT_EQ(reportLines().size(), 3u);
}
