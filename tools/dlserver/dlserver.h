#pragma once
// A stand-in for the program's download server: HTTP/1.1 GET of the files of one
// folder on 127.0.0.0/8, with faults per path (slow, truncated, any status) and
// a record of every request for tests. URL path /a/b.zip is the file FOLDER/a/b.zip.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/winsock.h"
#include "tools/rtplayer/address.h"
#include "tools/rtplayer/udp_sink.h"

namespace dlsrv {

struct Fault {
  int bytesPerSecond = 0;                     // > 0: the body trickles at this rate
  std::chrono::milliseconds byteEvery{0};     // > 0: after the head, one byte of the body each such pause
  std::optional<std::uint64_t> truncateAfter{};  // the full length is announced, this many bytes sent
  int status = 0;                             // != 0: this status instead of the file
  bool silent = false;                        // the request is read and never answered
};

struct Request {
  std::string line;       // "GET /downloads/dbase.zip HTTP/1.1"
  std::string userAgent;  // empty when none was sent
};

// "<status> <reason>" for the statuses the server gives.
std::string gf_statusLine(int status);
// The path of a request line when it is a GET of a safe path ("/" then names
// without "..", "." or backslashes); none otherwise.
std::optional<std::string> gf_requestPath(const std::string& requestLine);

class DownloadServer {
 public:
  // Listens at once; port 0 takes any free port. Throws qlx::UserErrorException
  // for an address outside 127.0.0.0/8, qlx::SysErrorException when it cannot listen.
  explicit DownloadServer(std::filesystem::path folder, rtplay::Ipv4Address address = {},
                          std::uint16_t port = 0);
  ~DownloadServer();
  DownloadServer(const DownloadServer&) = delete;
  DownloadServer& operator=(const DownloadServer&) = delete;

  std::uint16_t port() const { return m_port; }
  // "http://127.0.0.1:PORT"
  std::string address() const;

  // path as in the request line, e.g. "/downloads/dbase.zip".
  void setFault(const std::string& path, Fault fault);
  std::vector<Request> requests() const;
  // Waits until `count` requests have arrived; false when the time ran out.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Ends every transfer and joins the threads; the destructor does it too.
  void stop();

 private:
  void acceptLoop();
  void serve(SOCKET client);
  void sendFile(SOCKET client, const std::filesystem::path& file, const Fault& fault);
  bool sendAll(SOCKET client, const char* data, std::size_t size);
  bool stopped();

  rtplay::WinsockSession m_winsock;
  std::filesystem::path m_folder;
  rtplay::Ipv4Address m_addressValue;
  SOCKET m_listener = INVALID_SOCKET;
  std::uint16_t m_port = 0;

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_wake;
  bool m_stop = false;
  std::map<std::string, Fault> m_faults;
  std::vector<Request> m_requests;
  std::vector<SOCKET> m_clients;
  std::vector<std::thread> m_threads;
  std::thread m_acceptor;
};

// A URL on 127.0.0.1 where nothing listens: tests point the program's
// downloads at it so that one that forgets its own server fails at once.
std::string gf_closedLoopbackUrl();

}  // namespace dlsrv
