// Traffic lines parsed per second on one core. RealTraffic sends at most a few
// thousand lines per second; the parser must stay far above that. Then a burst
// of lines over loopback UDP: how many the reader receives of those sent.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "shell/startup.h"

#include "core/parameters.h"
#include "service_doubles.h"
#include "traffic/readers.h"
#include "traffic/update_queue.h"

namespace {

// Sends 10,000 lines as fast as the socket takes them to a reader on its own
// thread and prints how many it received once nothing more arrives.
void lf_burst(const std::vector<std::string>& lines) {
  gRtLocal = true;  // every datagram counts, repeats included
  TrafficReader reader;
  reader.open();
  reader.bindPort(0);
  std::thread loop([&] { reader.receiveLoop(); });
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET out = ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(reader.boundPort());
  to.sin_addr.s_addr = ws::inet_addr("127.0.0.1");
  constexpr std::size_t kBurst = 10'000;
  std::size_t sent = 0;
  for (std::size_t i = 0; i < kBurst; ++i) {
    const std::string& line = lines[i % lines.size()];
    sent += ws::sendto(out, line.data(), static_cast<int>(line.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                       sizeof to) == static_cast<int>(line.size());
  }
  const int buffer = reader.receiveBufferBytes();
  std::uint32_t received = 0;
  do {
    received = reader.received();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  } while (reader.received() != received);
  reader.requestStop();
  loop.join();
  closesocket(out);
  WSACleanup();
  reader.endWinsock();
  std::printf("burst of %zu datagrams: %zu sent, %u received (receive buffer %d bytes)\n", kBurst, sent,
              received, buffer);
}

}  // namespace

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
  lf_burst(lines);
  return 0;
}
