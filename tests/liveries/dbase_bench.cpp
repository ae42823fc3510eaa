// Reads a tool-made data base of 500,000 registrations and 10,000 models.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/paths.h"
#include "liveries/data_downloads.h"
#include "liveries/dbase.h"
#include "bench_codes.h"
#include "tools/scramble/scrambler.h"

namespace {

std::string plainDataBase(std::size_t models, std::size_t registrations) {
  std::string xml = "<aircrafts><aircraft types=\"";
  for (std::size_t i = 0; i < models; ++i) xml += (i ? "," : "") + code(i, 4);
  xml += "\"/></aircrafts>\n";
  for (const char* section : {"high_performance hpf", "heavy hvy", "large lar", "buzjet bzj", "rotorcraft rot",
                              "cargo_types cargo_type"}) {
    const std::string names = section;
    const auto blank = names.find(' ');
    xml += "<" + names.substr(0, blank) + "><" + names.substr(blank + 1) + " types=\"" + code(7, 4) + "\"/></" +
           names.substr(0, blank) + ">\n";
  }
  xml += "<ICAO_airlines><ICAO codes=\"BAW,KLM,DLH\"/></ICAO_airlines>\n";
  xml += "<cargo_operators><ICAO codes=\"FDX\"/></cargo_operators>\n";
  xml += "<linkpacks20><linkpack20 arpts=\"EGLL\"/></linkpacks20>\n<wingspans>\n";
  for (std::size_t i = 0; i < models; ++i) xml += "<wingspan type=\"" + code(i, 4) + "\" meters=\"35.8\"/>\n";
  xml += "</wingspans>\n<dbase>\n";
  for (std::size_t i = 0; i < registrations; ++i) {
    xml += "<db reg=\"G-" + code(i, 5) + "\" airl=\"BAW\" type=\"" + code(i % models, 4) + "\" opr=\"KLM\"/>\n";
  }
  return xml + "</dbase>\n";
}

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / "sklm_dbase_bench";
  std::filesystem::create_directories(folder / InputFolder);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  {
    std::ofstream out("served.xml", std::ios::binary);
    out << gf_scrambleDocument(plainDataBase(10'000, 500'000), ScrambleMode::Temp2, gf_defaultScrambleKey());
  }
  gf_setDataDownloads({[](const std::filesystem::path& target) {
                         std::filesystem::copy_file("served.xml", target,
                                                    std::filesystem::copy_options::overwrite_existing);
                         return true;
                       },
                       {}});
  const auto start = std::chrono::steady_clock::now();
  gf_readDataBase();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("gf_readDataBase: %zu db records, %zu models in %.3f s (one thread)\n", gDbaseRegistrations.size(),
              gAircraftModels.size(), took.count());
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  return 0;
}
