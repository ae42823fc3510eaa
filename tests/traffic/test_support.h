#pragma once
// Helpers shared by the traffic tests.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../core/core_test_support.h"
#include "core/format.h"
#include "core/log.h"
#include "platform/winsock.h"
#include "traffic/update_queue.h"

namespace testing_traffic {

// Log.txt in a scratch folder for the lifetime of the object.
class LogCapture : public ::LogCapture {
 public:
  bool contains(const std::string& line) const {
    const auto all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
  }
};

// Sends datagrams to 127.0.0.1.
class UdpSender {
 public:
  UdpSender() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_socket = ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  }
  ~UdpSender() {
    closesocket(m_socket);
    WSACleanup();
  }
  bool send(std::uint16_t port, const std::string& text) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = ws::inet_addr("127.0.0.1");
    return ws::sendto(m_socket, text.data(), static_cast<int>(text.size()), 0,
                      reinterpret_cast<const sockaddr*>(&to), sizeof to) == static_cast<int>(text.size());
  }

 private:
  SOCKET m_socket = INVALID_SOCKET;
};

// For state that gives no notification (the global readers): looks again every
// millisecond, for at most thirty seconds: under load a started process may
// take several seconds to listen.
inline bool waitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The number of records in the update queue.
inline std::size_t queuedRecords() {
  std::lock_guard lock(gUpdateMutex);
  return gUpdateQueue.size();
}

// Every queued record, in order; the queue is left empty.
inline std::vector<TrafficRecord> takeQueued() {
  std::lock_guard lock(gUpdateMutex);
  std::vector<TrafficRecord> records(std::make_move_iterator(gUpdateQueue.begin()),
                                     std::make_move_iterator(gUpdateQueue.end()));
  gUpdateQueue.clear();
  return records;
}

// A real-format traffic line (30 fields) of a B738 climbing out of EHAM.
inline std::vector<std::string> baseFields() {
  return {"RTTFC", "4840199", "52.30870", "4.76390", "2375", "-704", "0", "181.4", "168.0",
          "KLM1234", "B738", "PH-BXA", "AMS", "JFK", "1765200000.5", "X", "KL1234", "adsb_icao",
          "2400", "160", "172", "0.27", "0.0", "-1.5", "180.2", "183.5", "-640", "none", "A3",
          "1013.2"};
}

inline std::string joinFields(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += fields[i];
  }
  return line;
}

}  // namespace testing_traffic
