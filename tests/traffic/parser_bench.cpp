// Traffic lines parsed per second on one core. RealTraffic sends at most a few
// thousand lines per second; the parser must stay far above that.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "core/parameters.h"
#include "service_doubles.h"
#include "traffic/readers.h"
#include "traffic/update_queue.h"

int main() {
  std::vector<std::string> lines;
  std::ifstream in(std::string(SKLM_TEST_DATA_DIR) + "/traffic/rt_lines.txt");
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  if (lines.empty()) {
    std::fprintf(stderr, "no traffic lines found\n");
    return 1;
  }

  TrafficReader reader;
  reader.setUserPosition({52.3, 4.76});
  reader.setParkAirport(LatLon{52.3105, 4.7683});
  reader.setParkElevation(-11.0);
  gLateralRangeNm = 40.0;
  gf_setAcceptUpdates(true);

  constexpr std::size_t kLines = 1'000'000;
  std::size_t queued = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < kLines; ++i) {
    reader.onDatagram(lines[i % lines.size()]);
    if (i % 1024 == 1023) {
      std::lock_guard lock(gUpdateMutex);
      queued += gUpdateQueue.size();
      gUpdateQueue.clear();
    }
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("parsed %zu lines (%zu queued) in %.3f s: %.0f lines/s\n", kLines, queued,
              elapsed.count(), static_cast<double>(kLines) / elapsed.count());
  return 0;
}
