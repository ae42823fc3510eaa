#include "liveries/ivao.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "livery_scan_test_support.h"

TEST_F(LiveryScanTest, IvaoFiles) {
  struct Case {
    std::string aircraftFolder;  // under the package folder
    std::string texture;         // the texture folder made beside the file, "" for none
    std::string section;         // after [fltsim.0]
    std::string livery;          // "airline/model/registration", "" for none
    std::vector<std::string> reports;
    std::vector<std::string> log;
  };
  const std::string baw = "texture = BAW\n";
  const std::vector<Case> cases = {
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738WLfa", "BAW", "title = \"B738W BAW Speedbird\"\n" + baw,
       "BAW/B738/", {}, {}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738WLFA", "BAW", "title = \"B738W BAW Speedbird\"\n" + baw, "",
       {"incomplete: {folder} [fltsim.0] misses airlinecode in title: B738W BAW Speedbird, and no regcode"}, {}},
      {"ivao_x-csl/SimObjects/Airplanes/IVAO_B738", "", "title = \"B738 BAW\"\n" + baw, "",
       {"incomplete: {folder/texture.BAW} [fltsim.0] does not exist"}, {}},
      // A texture named in an old code page (no UTF-8) names no folder: refused, never thrown.
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "BAW", "title = \"B738 BAW\"\ntexture = B\xC4W\n", "",
       {"incomplete: {folder/texture.B\xC4W} [fltsim.0] does not exist"}, {}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "BAW", "title = \"B738 BAW\"\natc_id = G-BAFM\n" + baw,
       "BAW/B738/", {}, {}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "BAW", "title = \"B738 ZZZ\"\natc_id = D-ABCD\n" + baw,
       "ZZZ/B738/", {}, {}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "BAW", "title = \"B738 baw\"\n" + baw, "",
       {"airline: baw          in {path} [fltsim.0]"}, {}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "BAW", "title = \"Lufthansa\"\natc_id = D-ABCD\n" + baw,
       "DLH/B738/D-ABCD", {}, {}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "BAW", "title = \"Speedbird\"\natc_id = G-EMPT\n" + baw, "",
       {"incomplete: {folder} [fltsim.0] misses airlinecode in title: Speedbird, and regcode unknownG-EMPT"}, {}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "BAW", "title = \"  B738 BAW \"\n" + baw, "BAW/B738/", {},
       {"removed spaces around title \"  B738 BAW \" --> \"B738 BAW\""}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "BAW", "title = \"B738 BAW\"\natc_id = \"G-AB*D\"\n" + baw,
       "BAW/B738/", {}, {"===> B738 BAW G-AB*D wild cards no longer supported, atc_id skipped "}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_BX38", "BAW", "title = \"B.38 BAW\"\n" + baw, "BAW/B.38/",
       {"fix: Model fix: BX38 found in {path} changed into B.38"}, {}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_BX38", "BAW", "title = \"BA38 BAW\"\n" + baw, "",
       {"fix: Model fix: BX38 found in {path} changed into B.38",
        "incomplete: {folder} [fltsim.0] misses airlinecode in title: BA38 BAW, and no regcode"}, {}},
      {"IVAO_MTL/SimObjects/Airplanes/IVAO_Q738", "BAW", "title = \"?738 BAW\"\n" + baw, "BAW/?738/",
       {"fix: Model fix: Q738 found in {path} changed into ?738"}, {}},
      {"other/SimObjects/Airplanes/IVAO_B738", "BAW", "title = \"B738 BAW\"\n" + baw, "",
       {"model:                  in {path}"}, {}},
  };
  for (const Case& c : cases) {
    lf_clearScanLists();
    const auto path = writeCfg(c.aircraftFolder, "[fltsim.0]\n" + c.section);
    if (!c.texture.empty()) std::filesystem::create_directories(path.parent_path() / ("texture." + c.texture));
    const auto before = logLines().size();
    ScannedCfgFile file = lf_searchLiveriesinIvaoFile(3, path);
    const auto liveries = lf_claimScannedFile(file);
    ASSERT_LE(liveries.size(), 1u);
    const std::string livery = liveries.empty() ? "" : liveries.front().airl + "/" + liveries.front().type + "/" +
                                                            liveries.front().atcid;
    EXPECT_EQ(livery, c.livery) << c.aircraftFolder << " " << c.section;
    std::vector<std::string> reports;
    for (const std::string& line : c.reports) {
      reports.push_back(withPaths(line, path));
    }
    EXPECT_EQ(reportLines(), reports) << c.section;
    const auto log = logLines();
    EXPECT_EQ(std::vector<std::string>(log.begin() + static_cast<long>(before), log.end()), c.log) << c.section;
  }
  // A title left free by a rejection is still free; one taken is refused the second time.
  EXPECT_TRUE(lf_claimTitle("Speedbird"));
  lf_clearScanLists();
  const auto path = writeCfg("IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "[fltsim.0]\ntitle = B738 BAW\n" + baw);
  ScannedCfgFile first = lf_searchLiveriesinIvaoFile(1, path);
  ScannedCfgFile second = lf_searchLiveriesinIvaoFile(1, path);
  EXPECT_EQ(lf_claimScannedFile(first).size(), 1u);
  EXPECT_TRUE(lf_claimScannedFile(second).empty());
  EXPECT_EQ(reportLines(), std::vector<std::string>{"incomplete: " + gf_pathToUtf8(path.parent_path()) +
                                                    " [fltsim.0] title already exists: B738 BAW"});
}
