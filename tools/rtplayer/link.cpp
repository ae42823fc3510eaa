#include "tools/rtplayer/link.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "core/format.h"
#include "tools/rtplayer/udp_sink.h"

namespace rtplay {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// A peer that never ends its message must not grow the buffer without bound.
constexpr std::size_t kMaxMessage = 65536;
constexpr auto kRetryDelay = std::chrono::milliseconds(1000);
// After a link Skylume closed it may be listening again at once (a restart); the short
// pause keeps a server that hangs up at once from making this a busy loop.
constexpr auto kReconnectDelay = std::chrono::milliseconds(100);
constexpr int kStopCheckSliceMs = 100;

bool lf_isRecorded(std::string_view body) {
  return body.starts_with("Qs121=") || body.starts_with("Qs123=") || body == "exit";
}

}  // namespace

std::string gf_versionReply(const VersionInfo& info) {
  const nlohmann::json reply = {{"version", info.version},
                                {"level", info.edition == Edition::Professional ? 2 : 1}};
  return reply.dump() + std::string(kLineEnd);
}

LinkSession::Step LinkSession::feed(std::string_view bytes) {
  Step step;
  m_pending.append(bytes);
  std::size_t start = 0;
  for (auto end = m_pending.find(kLineEnd); end != std::string::npos; end = m_pending.find(kLineEnd, start)) {
    const std::string_view message(m_pending.data() + start, end + kLineEnd.size() - start);
    const auto body = message.substr(0, message.size() - kLineEnd.size());
    start = end + kLineEnd.size();
    if (body == "Qs999=version") {
      step.reply += gf_versionReply(m_info);
      step.versionAnswered = true;
    } else if (lf_isRecorded(body)) {
      step.recorded.emplace_back(message);
      if (body == "exit") step.exitReceived = true;
    } else {
      step.unexpected.emplace_back(message);
    }
  }
  m_pending.erase(0, start);
  if (m_pending.size() > kMaxMessage) {
    step.unexpected.push_back(std::move(m_pending));
    m_pending.clear();
  }
  return step;
}

RtLinkClient::RtLinkClient(Ipv4Address address, std::uint16_t port, VersionInfo info, LinkObserver observer)
    : m_target(gf_loopbackSocketAddress(address, port)),
      m_info(std::move(info)),
      m_observer(std::move(observer)) {}

void RtLinkClient::run() {
  WinsockSession winsock;
  bool waitingNoted = false;
  while (!stopped()) {
    const SOCKET socket = ws::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
      if (m_observer.note) m_observer.note(sk::format("cannot create a socket: error {}", WSAGetLastError()));
      if (!waitBeforeRetry(kRetryDelay)) return;
      continue;
    }
    setSocket(socket);
    bool served = false;
    if (ws::connect(socket, reinterpret_cast<const sockaddr*>(&m_target), sizeof(m_target)) == SOCKET_ERROR) {
      if (!waitingNoted && m_observer.note)
        m_observer.note(sk::format("waiting for Skylume on port {} (error {})", ntohs(m_target.sin_port),
                                   WSAGetLastError()));
      waitingNoted = true;
    } else if (!stopped()) {  // a stop() during connect could not shut the socket down
      waitingNoted = false;
      if (m_observer.note) m_observer.note("connected to Skylume");
      serve(socket);
      if (m_observer.note) m_observer.note("link closed");
      served = true;
    }
    setSocket(INVALID_SOCKET);
    closesocket(socket);
    if (!waitBeforeRetry(served ? kReconnectDelay : kRetryDelay)) return;
  }
}

void RtLinkClient::serve(SOCKET socket) {
  LinkSession session(m_info);
  char buffer[8192];
  for (;;) {
    if (!awaitReadable(socket)) return;
    const int received = ws::recv(socket, buffer, sizeof(buffer), 0);
    if (received <= 0) return;
    const auto step = session.feed(std::string_view(buffer, static_cast<std::size_t>(received)));
    if (m_observer.record)
      for (const auto& message : step.recorded) m_observer.record(message);
    if (m_observer.note)
      for (const auto& message : step.unexpected)
        m_observer.note(sk::format("unexpected message: {}", message));
    for (std::size_t done = 0; done < step.reply.size();) {
      const int sent =
          ws::send(socket, step.reply.data() + done, static_cast<int>(step.reply.size() - done), 0);
      if (sent <= 0) return;
      done += static_cast<std::size_t>(sent);
    }
    if (step.versionAnswered && m_observer.versionAnswered) m_observer.versionAnswered();
    if (step.exitReceived) return;
  }
}

// In slices, as the receive itself cannot be woken on Windows: shutting the
// socket down does not end it there, and the socket is run()'s to close.
bool RtLinkClient::awaitReadable(SOCKET socket) {
  for (;;) {
    if (stopped()) return false;
    WSAPOLLFD entry{socket, POLLIN, 0};
    if (ws::WSAPoll(&entry, 1, kStopCheckSliceMs) != 0) return true;
  }
}

bool RtLinkClient::stopped() {
  std::lock_guard lock(m_mutex);
  return m_stop;
}

void RtLinkClient::setSocket(SOCKET socket) {
  std::lock_guard lock(m_mutex);
  m_socket = socket;
}

bool RtLinkClient::waitBeforeRetry(std::chrono::milliseconds delay) {
  std::unique_lock lock(m_mutex);
  return !m_wake.wait_for(lock, delay, [this] { return m_stop; });
}

void RtLinkClient::stop() {
  std::lock_guard lock(m_mutex);
  m_stop = true;
  // Shutting down, not closing: the socket stays run()'s to close. Its receive
  // returns at once on Linux, after the current wait's slice on Windows.
  if (m_socket != INVALID_SOCKET) ws::shutdown(m_socket, SD_BOTH);
  m_wake.notify_all();
}

}  // namespace rtplay
