#include <algorithm>
#include <cstring>

#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/util.h"
#include "shell/startup.h"
#include "traffic/readers.h"

UdpReader::UdpReader(std::string threadName) : m_threadName(std::move(threadName)) {}

UdpReader::~UdpReader() {
  close();
  while (m_wsaStartups.load() > 0) endWinsock();
}

void UdpReader::open() {
  const int result = WSAStartup(MAKEWORD(2, 2), &m_wsaData);
  if (result != 0) throw qlx::SysErrorException(30, sk::format("WSA startup error: {}", result));
  m_wsaStartups.fetch_add(1);
  const SOCKET s = ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    throw qlx::SysErrorException(
        31, sk::format("failed to create the socket with error: {}", gf_wsaErrorText(WSAGetLastError())));
  }
  // Published before the stop flag is looked at again: a stop requested from
  // now on closes this socket, one requested before is seen by receiveLoop.
  SOCKET previous = INVALID_SOCKET;
  {
    std::lock_guard lock(m_socketMutex);
    previous = m_socket.exchange(s);
    ++m_openings;
  }
  if (previous != INVALID_SOCKET) closesocket(previous);
  // The default buffer holds a few hundred lines; a burst of RealTraffic's
  // lines would be lost in the kernel before this thread sees them.
  const int wanted = kReceiveBufferBytes;
  if (ws::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&wanted), sizeof wanted) ==
      SOCKET_ERROR) {
    gf_logIndented(sk::format("{}: receive buffer of {} bytes refused: {}", m_threadName, wanted,
                              gf_wsaErrorText(WSAGetLastError())));
  }
  gf_logIndented(sk::format("{}: receive buffer {} bytes", m_threadName, receiveBufferBytes()));
}

int UdpReader::receiveBufferBytes() const {
  int granted = 0;
  int length = sizeof granted;
  if (ws::getsockopt(m_socket.load(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&granted), &length) ==
      SOCKET_ERROR)
    return 0;
  return granted;
}

void UdpReader::bindPort(std::uint16_t port) {
  std::memset(&m_address, 0, sizeof m_address);
  m_address.sin_family = AF_INET;
  m_address.sin_addr.s_addr = gRtLocal ? ws::inet_addr("127.0.0.1") : htonl(INADDR_ANY);
  m_address.sin_port = htons(port);
  m_addressLength = sizeof m_address;
  if (ws::bind(m_socket.load(), reinterpret_cast<const sockaddr*>(&m_address), m_addressLength) ==
      SOCKET_ERROR) {
    throw qlx::SysErrorException(
        32, sk::format("bind to stream socket failed with error: {}", gf_wsaErrorText(WSAGetLastError())));
  }
}

std::uint16_t UdpReader::boundPort() const {
  sockaddr_in address{};
  int length = sizeof address;
  if (ws::getsockname(m_socket.load(), reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR)
    return 0;
  return ntohs(address.sin_port);
}

std::chrono::milliseconds UdpReader::errorPause(unsigned consecutiveErrors) {
  // 10 ms after the first failure, doubling up to one second.
  const unsigned doublings = std::min(std::max(consecutiveErrors, 1u) - 1, 7u);
  return std::min(std::chrono::milliseconds(10) * (1u << doublings), std::chrono::milliseconds(1000));
}

void UdpReader::waitBeforeRetry(std::chrono::milliseconds pause) {
  if (m_pause) {
    m_pause(pause);
    return;
  }
  std::unique_lock lock(m_pauseMutex);
  m_pauseWake.wait_for(lock, pause, [this] { return m_stopRequested.load(); });
}

void UdpReader::dispatch(std::string_view datagram) {
  // A repeat is RealTraffic on another PC sending the same line to every
  // address; from this PC every datagram counts.
  if (!gRtLocal) {
    if (datagram == m_lastDatagram) return;
    m_lastDatagram.assign(datagram);
  }
  onDatagram(datagram);
}

void UdpReader::receiveLoop() {
  const OwnSocket own = currentSocket();
  const SOCKET s = own.handle;
  unsigned consecutiveErrors = 0;
  // No socket: the shutdown got here first and closed it.
  while (s != INVALID_SOCKET && !m_stopRequested.load()) {
    const int n = ws::recvfrom(s, m_buffer.data(), kBufferSize, 0, nullptr, nullptr);
    if (n > 0 && n < kBufferSize) {
      consecutiveErrors = 0;
      m_buffer[static_cast<std::size_t>(n)] = '\0';
      m_received.fetch_add(1);
      dispatch(std::string_view(m_buffer.data(), std::strlen(m_buffer.data())));
    } else if (n >= kBufferSize) {
      consecutiveErrors = 0;
      m_overrunLog.logLine(sk::format("buffer overrun: {} bytes", n));
    }
    // The shutdown may have closed our socket and a restart cleared the flag
    // since: a socket that is no longer ours ends the loop as well.
    if (m_stopRequested.load() || currentSocket() != own) break;
    if (n < 0) waitBeforeRetry(errorPause(++consecutiveErrors));
  }
  closeSocket(own);
  onStopped();
}

UdpReader::OwnSocket UdpReader::currentSocket() const {
  std::lock_guard lock(m_socketMutex);
  return {m_socket.load(), m_openings};
}

void UdpReader::closeSocket(OwnSocket own) {
  {
    std::lock_guard lock(m_socketMutex);
    if (own.handle == INVALID_SOCKET || OwnSocket{m_socket.load(), m_openings} != own) return;
    m_socket.store(INVALID_SOCKET);
  }
  // Outside the lock: the handle cannot be handed out again before this.
  closesocket(own.handle);
}

void UdpReader::close() {
  closeSocket(currentSocket());
  endWinsock();
}

void UdpReader::endWinsock() {
  int startups = m_wsaStartups.load();
  while (startups > 0 && !m_wsaStartups.compare_exchange_weak(startups, startups - 1)) {
  }
  if (startups > 0) WSACleanup();
}

void UdpReader::requestStop() {
  {
    std::lock_guard lock(m_pauseMutex);
    m_stopRequested.store(true);
  }
  m_pauseWake.notify_all();
  closeSocket(currentSocket());
}

void UdpReader::resetCounters() {
  m_received.store(0);
  m_seenByWatchdog.store(0);
}
