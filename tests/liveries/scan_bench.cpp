// 2,000 aircraft.cfg files of 25 [fltsim.N] sections (50,000 liveries), each
// beside a texture folder of 10 files: first the same walk and pool only read
// every file's lines (warming the cache), then the real driver scans the tree.
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <random>
#include <future>
#include <string>
#include <thread>

#include "core/format.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/random.h"
#include "core/util.h"
#include "liveries/dbase.h"
#include "liveries/scan_driver.h"
#include "shell/run_state.h"

std::atomic<bool> gExitStarted{false};
std::atomic<bool> gStopRequested{false};

namespace {

constexpr int kFiles = 2000;
constexpr int kSections = 25;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::size_t readAll(const std::filesystem::path& root) {
  std::deque<std::future<std::size_t>> pending;
  std::size_t lines = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.path().filename() != "aircraft.cfg") continue;
    pending.push_back(gf_startWorker([file = entry.path()] {
      FileLines read{file, {}};
      const auto* text = gf_readFile(read, 512);
      return text ? text->size() : std::size_t{0};
    }));
    if (pending.size() > static_cast<std::size_t>(gMaxWorkers.load())) {
      lines += pending.front().get();
      pending.pop_front();
    }
  }
  for (auto& future : pending) lines += future.get();
  return lines;
}

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / ("skylume_scan_bench_" + std::to_string(std::random_device{}()));
  std::filesystem::remove_all(folder);
  const auto root = folder / "liveries";
  for (int f = 0; f < kFiles; ++f) {
    const auto aircraft = root / sk::format("Aircraft{:04}", f);
    std::filesystem::create_directories(aircraft / "texture.X");
    for (int t = 0; t < 10; ++t) std::ofstream(aircraft / "texture.X" / sk::format("t{}.dds", t)) << "dds";
    std::ofstream cfg(aircraft / "aircraft.cfg");
    cfg << "[GENERAL]\nicao_type_designator = \"B738\"\n";
    for (int s = 0; s < kSections; ++s) {
      cfg << sk::format("\n[FLTSIM.{}]\ntitle = \"Livery {} {}\"\nicao_airline = \"{}\"\natc_id = \"G-{:04}{}\"\n"
                        "atc_parking_types = \"GATE\"\nisAirTraffic = 1\n",
                        s, f, s, s % 2 ? "BAW" : "KLM", f, static_cast<char>('A' + s));
    }
  }
  std::filesystem::create_directories(folder / OutputFolder);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  gAircraftModels = {"B738"};
  gLargeModels = {"B738"};
  gAirlineCodes = {"BAW", "KLM"};
  gf_setWorkerLimit(std::thread::hardware_concurrency());

  auto start = std::chrono::steady_clock::now();
  readAll(root);
  const double read = secondsSince(start);

  lfolder0.setValue(root.string());
  SCAN_LIVERIES.value = true;
  LIG_AUTOMATIC.value = false;
  start = std::chrono::steady_clock::now();
  lf_scanLiveryFolders({root.string()});
  const double scan = secondsSince(start);
  std::printf("%d liveries, %d files, %d workers: scan %.3f s, read %.3f s, ratio %.2f\n", kFiles * kSections, kFiles,
              gMaxWorkers.load(), scan, read, scan / read);
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  return 0;
}
