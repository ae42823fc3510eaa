#include "airports/publisher.h"

#include <algorithm>

#include "airports/scan_log.h"
#include "tests/airports/airports_test_support.h"

namespace {

std::string withBackslashes(std::string text) {
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

bool scanLogHas(const std::string& part) {
  std::lock_guard lock(gScanLogMutex);
  return std::any_of(gScanLog.begin(), gScanLog.end(),
                     [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

}  // namespace

TEST(Publisher, FromPathDataBaseAndManifest) {
  struct Case {
    std::string name;
    std::vector<std::pair<std::string, std::string>> manifests;  // folder below the work folder, content
    std::string scenery;                                         // below the work folder
    std::string publisher;
    std::vector<std::string> lines;  // scan-log lines expected (parts)
    std::string absent;              // a scan-log part that must not appear
  };
  const Case cases[] = {
      {"own airport",
       {{"Community/microsoft-airport-egll", "{broken"}},
       "Community/microsoft-airport-egll/scenery/egll.bgl", "simaddon",
       {"from filename => publisher simaddon"}, "found"},
      {"path names a publisher", {}, "Community/orbx-egkk/scenery/egkk.bgl", "Orbx", {"publisher \"Orbx\" found"}, "manifest"},
      {"creator known",
       {{"Community/pkg-egkb", R"({"manufacturer": "Nobody Ltd", "creator": "the FlyTampa team"})"}},
       "Community/pkg-egkb/scenery/egkb.bgl", "FlyTampa",
       {"manifest.json found", "from manifest.json creator \"the FlyTampa team\" => publisher \"FlyTampa\""}, ""},
      {"nothing known",
       {{"Community/pkg-egkc", R"({"manufacturer": null, "title": "x"})"}},
       "Community/pkg-egkc/scenery/egkc.bgl", "unknown",
       {"no valid info found in manifest about publisher, manufacturer:\"\", creator:\"\" "}, ""},
      {"invalid json",
       {{"Community/pkg-egkd", "{\"manufacturer\": "}},
       "Community/pkg-egkd/scenery/egkd.bgl", "unknown",
       {"exception in lf_searchManifest: ", "===> No publisher found"}, ""},
      {"empty manifest ends the search",
       {{"", R"({"creator": "FlyTampa"})"}, {"Community/pkg-egke", ""}},
       "Community/pkg-egke/scenery/egke.bgl", "unknown", {"===> No publisher found"}, ""},
      {"package outside Community",
       {{"Addons/pkg-egkf", R"({"manufacturer": "iniBuilds"})"}},
       "Addons/pkg-egkf/scenery/world/egkf.bgl", "iniBuilds",
       {"from manifest.json: manufacturer \"iniBuilds\" => publisher \"iniBuilds\""}, ""},
  };
  for (const Case& item : cases) {
    for (bool backslashes : {false, true}) {
      WorkFolder folder;
      seedDataBase();
      for (const auto& [where, content] : item.manifests)
        folder.write(std::filesystem::path(where) / "manifest.json", content);
      folder.write(item.scenery, "bgl");
      {
        std::lock_guard lock(gScanLogMutex);
        gScanLog.clear();
      }
      std::string path = (folder.path() / item.scenery).string();
      if (backslashes) path = withBackslashes(path);
      EXPECT_EQ(gf_findPublisher(path), item.publisher) << item.name << backslashes;
      for (const std::string& line : item.lines) EXPECT_TRUE(scanLogHas(line)) << item.name << ": " << line;
      if (!item.absent.empty()) EXPECT_FALSE(scanLogHas(item.absent)) << item.name;
    }
  }
}
