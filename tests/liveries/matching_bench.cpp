// Processes 50,000 scanned liveries (30,000 with an atc_id) with a tool-made
// 20,000-entry AIG file served through the download hook, then runs 10,000
// ladder calls over a mix of registrations, airlines, similar and unknown types.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/parameters.h"
#include "core/paths.h"
#include "liveries/data_downloads.h"
#include "liveries/dbase.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_processing.h"
#include "liveries/matching_ladder.h"
#include "bench_codes.h"
#include "tools/scramble/scrambler.h"

namespace {

constexpr std::size_t kLiveries = 50'000;
constexpr std::size_t kAtcIds = 30'000;
constexpr std::size_t kAigEntries = 20'000;
constexpr std::size_t kAirlines = 400;
constexpr std::size_t kTypes = 120;

std::string airlineOf(std::size_t i) { return i % 50 == 0 ? "ZZZ" : code(i % kAirlines, 3); }
std::string typeOf(std::size_t i) { return code(i % kTypes, 4); }
std::string titleOf(std::size_t i) { return "Livery " + airlineOf(i) + " " + typeOf(i) + " " + std::to_string(i); }

std::string plainAig() {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<AIG-regcodes>\n";
  for (std::size_t i = 0; i < kAigEntries; ++i) {
    // Half of them name registrations the atc_ids hold already, under other titles.
    const std::size_t livery = (i * 7) % kLiveries;
    const std::string reg = i % 2 ? "G-" + code(i, 5) : "D-" + code(i, 5);
    xml += "<livery title=\"" + titleOf(livery) + "\" reg=\"" + reg + "\" special=\"" + (i % 10 ? "0" : "1") +
           "\" />\n";
  }
  return xml + "</AIG-regcodes>\n";
}

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / "sklm_matching_bench";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder / InputFolder);
  std::filesystem::create_directories(folder / OutputFolder);
  std::filesystem::create_directories(folder / "data");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  gf_setDataFolder(folder / "data");
  {
    std::ofstream out("served.xml", std::ios::binary);
    out << gf_scrambleDocument(plainAig(), ScrambleMode::Aig, gf_defaultScrambleKey());
  }
  gf_setDataDownloads({{}, [](const std::filesystem::path& target) {
                         std::filesystem::copy_file("served.xml", target,
                                                    std::filesystem::copy_options::overwrite_existing);
                         return true;
                       }});
  for (std::size_t i = 0; i < kTypes; ++i) (i % 3 ? gLargeModels : gHeavyModels).insert(typeOf(i));
  for (std::size_t i = 0; i + 2 < kTypes; i += 3) gSimilarTypes.push_back({typeOf(i), typeOf(i + 1), typeOf(i + 2)});
  for (std::size_t i = 0; i < kLiveries; ++i) {
    gScannedLiveries.push_back({airlineOf(i), typeOf(i), titleOf(i), i < kAtcIds ? "G-" + code(i, 5) : "", 0,
                                i % 17 == 0});
  }
  lf_saveLiveriesScanned();

  auto start = std::chrono::steady_clock::now();
  gf_processScannedLiveries();
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%zu liveries processed in %.3f s\n", kLiveries, took.count());

  gf_initLiveryMatching();
  RANDOM.value = true;
  MATCHING_DEPTH.value = 4;
  std::vector<ActBase> mix(10'000);
  for (std::size_t i = 0; i < mix.size(); ++i) {
    ActBase& act = mix[i];
    switch (i % 5) {
      case 0: act.key.registration = "G-" + code(i, 5); break;            // by registration
      case 1: act.key.operatorCode = airlineOf(i + 1); break;             // airline and type
      case 2: act.key.operatorCode = airlineOf(i + 2); act.key.type = typeOf(i + 5); break;  // similar or generic
      case 3: act.key.operatorCode = "QQQ"; break;                        // unknown airline
      default: act.key.operatorCode = airlineOf(i); act.key.type = "ZZZZ"; break;  // unknown type
    }
    if (act.key.type.empty()) act.key.type = typeOf(i + 1);
    act.category = i % 3 ? AircraftCategory{2} : AircraftCategory{3};
    act.cargo = i % 11 == 0 ? 1 : 0;
  }
  std::size_t matched = 0;
  start = std::chrono::steady_clock::now();
  for (ActBase& act : mix) {
    gf_matchLiveryLive(act);
    if (!act.liveryTitle.empty()) ++matched;
  }
  took = std::chrono::steady_clock::now() - start;
  std::printf("%zu ladder calls in %.3f s (%zu matched)\n", mix.size(), took.count(), matched);

  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  return 0;
}
