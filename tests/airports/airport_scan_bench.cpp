// The airport scan over a writer-made installation of 1,000 BGL files, one in
// ten with an airport, against reading every byte of the same files with the
// same number of workers; then a scan of many small airports, whose link files
// fill one folder, and saves into a folder of 4,000 files. Prints numbers;
// build Release for meaningful ones.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "airports/airport_scan.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/file_save.h"
#include "core/random.h"
#include "liveries/dbase.h"
#include "tools/bglwrite/bglwrite.h"

namespace fs = std::filesystem;

namespace {

long lf_peakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

double lf_seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of all threads: on a shared, busy machine the wall times
// wait for processors and disks the other programs hold.
double lf_cpuSeconds(std::clock_t start) { return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC; }

// Reads every byte of the files on the given number of threads, 1 MB at a time.
std::uint64_t lf_readAll(const std::vector<fs::path>& files, unsigned workers) {
  std::atomic<std::size_t> next{0};
  std::atomic<std::uint64_t> total{0};
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers; ++w) {
    threads.emplace_back([&] {
      std::vector<char> buffer(1 << 20);
      for (std::size_t i = next++; i < files.size(); i = next++) {
        std::ifstream stream(files[i], std::ios::binary);
        while (stream.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || stream.gcount() > 0)
          total += static_cast<std::uint64_t>(stream.gcount());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  return total.load();
}

std::size_t lf_generatedFiles() {
  std::size_t generated = 0;
  for (const fs::path& folder : {MyLinkpackFolder, MyThirdpartyFolder})
    if (fs::is_directory(folder))
      for (const fs::directory_entry& entry : fs::directory_iterator(folder)) generated += entry.is_regular_file();
  return generated;
}

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / ("sklm_airport_scan_bench_" + std::to_string(std::random_device()()));
  fs::create_directories(root / "work" / "data");
  const fs::path previous = fs::current_path();
  fs::current_path(root / "work");
  gf_setDataFolder(root / "work" / "data");

  bglw::InstallationOptions options;
  options.seed = 34;
  options.packages = 50;
  options.files = 1000;
  options.airportEvery = 10;
  options.minStands = 20;
  options.maxStands = 400;
  options.minFillerBytes = 50'000;
  options.maxFillerBytes = 150'000;
  const bglw::Installation installation = bglw::gf_writeInstallation(root / "sim", options);
  // A publisher table of the data base's size, none of it in the packages' paths or manifests: every
  // Community airport is looked up against all of it.
  for (int n = 0; n < 600; ++n) {
    const std::string name = "Studio Q" + std::to_string(n) + "x";
    const std::string pattern = n % 10 == 0 ? "sq*" + std::to_string(n) + "y" : name;
    gPublishers.push_back({name, "sq" + std::to_string(n) + "x", pattern});
  }
  MSFS_2020.value = true;
  MSFS_INSTALL_PATH.setValue((root / "sim").string());
  const unsigned workers = std::max(1U, std::thread::hardware_concurrency());
  gf_setWorkerLimit(workers);

  lf_readAll(installation.files, 1);  // warm the cache
  const long rssBefore = lf_peakRssKb();
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpuStart = std::clock();
  SCAN_AIRPORTS.value = true;
  gf_scanAirports();
  const double scan = lf_seconds(start);
  const double scanCpu = lf_cpuSeconds(cpuStart);
  const long rssGrowth = lf_peakRssKb() - rssBefore;
  start = std::chrono::steady_clock::now();
  cpuStart = std::clock();
  const std::uint64_t bytes = lf_readAll(installation.files, workers);
  const double read = lf_seconds(start);
  const double readCpu = lf_cpuSeconds(cpuStart);

  const std::size_t generated = lf_generatedFiles();
  std::printf("installation: %zu files, %.1f MB, %zu airports, %u workers\n", installation.files.size(),
              static_cast<double>(installation.bytes) / 1e6, installation.airports.size(), workers);
  std::printf("scan:       %.3f s (%.0f files/s), %zu files generated, peak RSS growth %ld kB\n", scan,
              static_cast<double>(installation.files.size()) / scan, generated, rssGrowth);
  std::printf("plain read: %.3f s (%.0f files/s), %.1f MB\n", read,
              static_cast<double>(installation.files.size()) / read, static_cast<double>(bytes) / 1e6);
  std::printf("scan / read: %.2f (processor time %.3f s / %.3f s: %.2f)\n", scan / read, scanCpu, readCpu,
              scanCpu / readCpu);

  // Every save into a full folder costs what one save into an empty one does.
  const fs::path full = root / "full";
  fs::create_directories(full);
  for (int n = 0; n < 4000; ++n) std::ofstream(full / ("F" + std::to_string(n) + ".txt")) << n;
  constexpr int kSaves = 200;
  start = std::chrono::steady_clock::now();
  for (int n = 0; n < kSaves; ++n) gf_replaceFile(full / ("S" + std::to_string(n) + ".txt"), "link");
  std::printf("save into a folder of 4000 files: %.2f ms a save\n", lf_seconds(start) * 1000.0 / kSaves);

  // One link file per airport, all in one folder.
  bglw::InstallationOptions many;
  many.seed = 35;
  many.packages = 50;
  many.files = 1500;
  many.airportEvery = 1;
  const bglw::Installation manyAirports = bglw::gf_writeInstallation(root / "sim-many", many);
  MSFS_INSTALL_PATH.setValue((root / "sim-many").string());
  start = std::chrono::steady_clock::now();
  cpuStart = std::clock();
  SCAN_AIRPORTS.value = true;
  gf_scanAirports();
  std::printf("scan of %zu small airports: %.3f s (processor time %.3f s), %zu files generated\n",
              manyAirports.airports.size(), lf_seconds(start), lf_cpuSeconds(cpuStart), lf_generatedFiles());

  fs::current_path(previous);
  gf_setDataFolder({});
  gPublishers.clear();
  fs::remove_all(root);
  return 0;
}
