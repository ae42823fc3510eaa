#pragma once
// RealTraffic's end of the TCP link: it connects to Skylume's server, answers the
// version request and records the requests Skylume sends.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winsock.h"
#include "tools/rtplayer/address.h"

namespace rtplay {

enum class Edition { Standard, Professional };

struct VersionInfo {
  std::string version = "9.0.1";
  Edition edition = Edition::Professional;
};

// The JSON reply to "Qs999=version", with its line end.
std::string gf_versionReply(const VersionInfo& info);

// The link's messages, independent of the socket: bytes in, replies and records out.
// Requests end with CR LF and may arrive split or several in one receive.
class LinkSession {
 public:
  struct Step {
    std::string reply;                    // to send back, empty for none
    std::vector<std::string> recorded;    // "Qs121=", "Qs123=" and "exit" messages, byte for byte
    std::vector<std::string> unexpected;  // any other message
    bool versionAnswered = false;
    bool exitReceived = false;
  };

  explicit LinkSession(VersionInfo info) : m_info(std::move(info)) {}
  Step feed(std::string_view bytes);
  // Bytes of an unfinished message.
  const std::string& pending() const { return m_pending; }

 private:
  VersionInfo m_info;
  std::string m_pending;
};

struct LinkObserver {
  std::function<void(std::string_view message)> record;  // a recorded message, byte for byte
  std::function<void(std::string_view text)> note;       // what happens on the link, for people
  std::function<void()> versionAnswered;
};

class RtLinkClient {
 public:
  // Throws qlx::UserErrorException for an address outside 127.0.0.0/8.
  RtLinkClient(Ipv4Address address, std::uint16_t port, VersionInfo info, LinkObserver observer);
  RtLinkClient(const RtLinkClient&) = delete;
  RtLinkClient& operator=(const RtLinkClient&) = delete;

  // Connects, serves the link and connects again whenever Skylume closes it or is not
  // there yet, until stop(). Blocks; run it on a thread of its own.
  void run();
  // From any thread: ends run() soon, waking a blocked receive.
  void stop();

 private:
  void serve(SOCKET socket);
  // False when stopped before the socket had something to receive.
  bool awaitReadable(SOCKET socket);
  bool stopped();
  // The socket stop() may shut down; only run() closes it.
  void setSocket(SOCKET socket);
  // False when stopped while waiting.
  bool waitBeforeRetry(std::chrono::milliseconds delay);

  sockaddr_in m_target{};
  VersionInfo m_info;
  LinkObserver m_observer;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stop = false;
  SOCKET m_socket = INVALID_SOCKET;
};

}  // namespace rtplay
