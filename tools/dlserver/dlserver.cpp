#include "tools/dlserver/dlserver.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>

#include "core/errors.h"
#include "core/format.h"

namespace dlsrv {

namespace {

constexpr std::size_t kMaxHeader = 16384;
constexpr std::size_t kSendChunk = 262144;

std::string lf_lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The request head (up to the blank line); empty when the peer went away first.
std::string lf_readHead(SOCKET client) {
  std::string head;
  std::array<char, 2048> buffer{};
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHeader) {
    const int got = ws::recv(client, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (got <= 0) return {};
    head.append(buffer.data(), static_cast<std::size_t>(got));
  }
  return head;
}

Request lf_parseHead(const std::string& head) {
  Request request;
  std::size_t start = 0;
  bool first = true;
  while (start < head.size()) {
    std::size_t end = head.find("\r\n", start);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(start, end - start);
    start = end + 2;
    if (first) {
      request.line = line;
      first = false;
    } else if (line.empty()) {
      break;
    } else if (const auto colon = line.find(':'); colon != std::string::npos &&
                                                  lf_lower(line.substr(0, colon)) == "user-agent") {
      const auto value = line.find_first_not_of(" \t", colon + 1);
      request.userAgent = value == std::string::npos ? "" : line.substr(value);
    }
  }
  return request;
}

}  // namespace

std::string gf_statusLine(int status) {
  switch (status) {
    case 200: return "200 OK";
    case 400: return "400 Bad Request";
    case 403: return "403 Forbidden";
    case 404: return "404 Not Found";
    case 405: return "405 Method Not Allowed";
    case 500: return "500 Internal Server Error";
    case 503: return "503 Service Unavailable";
    default: return sk::format("{} Status {}", status, status);
  }
}

std::optional<std::string> gf_requestPath(const std::string& requestLine) {
  const auto firstBlank = requestLine.find(' ');
  const auto lastBlank = requestLine.rfind(' ');
  if (firstBlank == std::string::npos || lastBlank <= firstBlank) return std::nullopt;
  if (requestLine.substr(0, firstBlank) != "GET") return std::nullopt;
  std::string path = requestLine.substr(firstBlank + 1, lastBlank - firstBlank - 1);
  if (const auto query = path.find('?'); query != std::string::npos) path.resize(query);
  if (path.empty() || path.front() != '/' || path.find('\\') != std::string::npos ||
      path.find('%') != std::string::npos) {
    return std::nullopt;
  }
  for (std::size_t start = 1; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    start = end + 1;
  }
  return path;
}

DownloadServer::DownloadServer(std::filesystem::path folder, rtplay::Ipv4Address address, std::uint16_t port)
    : m_folder(std::move(folder)), m_addressValue(address) {
  const sockaddr_in local = rtplay::gf_loopbackSocketAddress(address, port);
  m_listener = ws::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (m_listener == INVALID_SOCKET)
    throw qlx::SysErrorException(WSAGetLastError(), "dlserver: no socket");
  const int yes = 1;
  ws::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof(yes));
  sockaddr_in bound = local;
  int length = sizeof(bound);
  if (ws::bind(m_listener, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
      ws::listen(m_listener, SOMAXCONN) != 0 ||
      ws::getsockname(m_listener, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    const int error = WSAGetLastError();
    closesocket(m_listener);
    throw qlx::SysErrorException(error, sk::format("dlserver: cannot listen on {}:{}",
                                                   rtplay::gf_ipv4Text(address), port));
  }
  m_port = ntohs(bound.sin_port);
  m_acceptor = std::thread([this] { acceptLoop(); });
}

DownloadServer::~DownloadServer() { stop(); }

std::string DownloadServer::address() const {
  return sk::format("http://{}:{}", rtplay::gf_ipv4Text(m_addressValue), m_port);
}

void DownloadServer::setFault(const std::string& path, Fault fault) {
  std::lock_guard lock(m_mutex);
  m_faults[path] = fault;
}

std::vector<Request> DownloadServer::requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

bool DownloadServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  return m_wake.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

bool DownloadServer::stopped() {
  std::lock_guard lock(m_mutex);
  return m_stop;
}

void DownloadServer::stop() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(m_mutex);
    if (m_stop && !m_acceptor.joinable()) return;
    m_stop = true;
    // Wakes a connection blocked in recv or send; its thread closes the socket.
    for (SOCKET client : m_clients) ws::shutdown(client, SD_BOTH);
  }
  m_wake.notify_all();
  closesocket(m_listener);
  if (m_acceptor.joinable()) m_acceptor.join();
  {
    std::lock_guard lock(m_mutex);
    threads.swap(m_threads);
  }
  for (auto& thread : threads) thread.join();
}

void DownloadServer::acceptLoop() {
  for (;;) {
    SOCKET client = ws::accept(m_listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;  // closed by stop()
    std::lock_guard lock(m_mutex);
    if (m_stop) {
      closesocket(client);
      return;
    }
    m_clients.push_back(client);
    m_threads.emplace_back([this, client] {
      serve(client);
      std::lock_guard inner(m_mutex);
      m_clients.erase(std::find(m_clients.begin(), m_clients.end(), client));
      closesocket(client);
    });
  }
}

bool DownloadServer::sendAll(SOCKET client, const char* data, std::size_t size) {
  while (size > 0) {
    const int sent = ws::send(client, data, static_cast<int>(std::min(size, kSendChunk)), 0);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void DownloadServer::serve(SOCKET client) {
  const std::string head = lf_readHead(client);
  if (head.empty()) return;
  Request request = lf_parseHead(head);
  const auto path = gf_requestPath(request.line);
  Fault fault;
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(request);
    if (path) {
      if (auto found = m_faults.find(*path); found != m_faults.end()) fault = found->second;
    }
  }
  m_wake.notify_all();
  if (fault.silent) {
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_stop; });
    return;
  }
  int status = fault.status;
  std::filesystem::path file;
  if (status == 0) {
    std::error_code error;
    file = path ? m_folder / path->substr(1) : std::filesystem::path{};
    status = !path ? 400 : std::filesystem::is_regular_file(file, error) ? 200 : 404;
  }
  if (status != 200) {
    const std::string body = gf_statusLine(status) + "\n";
    const std::string reply = sk::format("HTTP/1.1 {}\r\nContent-Type: text/plain\r\nContent-Length: {}\r\n"
                                         "Connection: close\r\n\r\n{}",
                                         gf_statusLine(status), body.size(), body);
    sendAll(client, reply.data(), reply.size());
    return;
  }
  sendFile(client, file, fault);
}

void DownloadServer::sendFile(SOCKET client, const std::filesystem::path& file, const Fault& fault) {
  std::ifstream in(file, std::ios::binary);
  std::error_code error;
  const std::uint64_t size = std::filesystem::file_size(file, error);
  if (!in || error) return;
  const std::string head = sk::format("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                      "Content-Length: {}\r\nConnection: close\r\n\r\n",
                                      size);
  std::uint64_t left = std::min(size, fault.truncateAfter.value_or(size));
  // The file is closed before the client can have the last of its answer: a
  // client that then removes it at once (a test between two rows) would meet
  // a file still open, which Windows refuses to remove.
  if (left == 0) in.close();
  if (!sendAll(client, head.data(), head.size())) return;
  const bool trickle = fault.byteEvery.count() > 0;
  const std::size_t chunk = trickle                   ? 1
                            : fault.bytesPerSecond > 0 ? static_cast<std::size_t>(fault.bytesPerSecond)
                                                       : kSendChunk;
  const auto pause = trickle ? fault.byteEvery : std::chrono::milliseconds(1000);
  std::vector<char> buffer(chunk);
  bool firstChunk = !trickle;
  while (left > 0) {
    if ((trickle || fault.bytesPerSecond > 0) && !firstChunk) {
      std::unique_lock lock(m_mutex);
      if (m_wake.wait_for(lock, pause, [this] { return m_stop; })) return;
    } else if (stopped()) {
      return;
    }
    firstChunk = false;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk));
    in.read(buffer.data(), static_cast<std::streamsize>(want));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) return;
    left -= got;
    if (left == 0) in.close();
    if (!sendAll(client, buffer.data(), got)) return;
  }
  // A truncated body: the connection closes short of the announced length.
}

std::string gf_closedLoopbackUrl() {
  // Port 1 is privileged and unused on a test machine: a connection is refused at once.
  return "http://127.0.0.1:1";
}

}  // namespace dlsrv
