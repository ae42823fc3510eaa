#include "platform/simconnect_wire.h"

// The transport (Stream, Listener, ChildProcess) over POSIX here; over Winsock
// and Win32 processes in simconnect_wire_win.cpp.
#ifndef _WIN32
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include <algorithm>
#include <array>
#include <cstddef>
#include <charconv>
#include <utility>

namespace simwire {

namespace {

constexpr std::array<std::string_view, 18> kCallNames = {
    "",
    "Open",
    "Close",
    "SubscribeToSystemEvent",
    "UnsubscribeFromSystemEvent",
    "AddToDataDefinition",
    "ClearDataDefinition",
    "MapClientEventToSimEvent",
    "AddClientEventToNotificationGroup",
    "SetNotificationGroupPriority",
    "RequestDataOnSimObject",
    "RequestDataOnSimObjectType",
    "SetDataOnSimObject",
    "TransmitClientEvent",
    "AICreateNonATCAircraft",
    "AIRemoveObject",
    "AIReleaseControl",
    "AISetAircraftFlightPlan",
};

#ifndef _WIN32
int lf_pollFor(int fd, short events, std::chrono::milliseconds wait) {
  pollfd p{fd, events, 0};
  int ms = static_cast<int>(std::max<std::int64_t>(0, wait.count()));
  for (;;) {
    int r = ::poll(&p, 1, ms);
    if (r >= 0 || errno != EINTR) return r < 0 ? -1 : (r == 0 ? 0 : p.revents);
  }
}
#endif

// Room an idle assembler keeps: more than a few ordinary reads' worth is only
// ever needed during a flood.
constexpr std::size_t kKeptCapacity = gMaxReceiveBytes / 2;

// Moves the bytes not yet handed out to the front.
void lf_dropConsumed(std::vector<std::byte>& buffer, std::size_t& start) {
  if (start == 0) return;
  buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(start));
  start = 0;
}

#ifndef _WIN32
bool lf_isLoopback(const std::string& host, in_addr& out) {
  if (::inet_pton(AF_INET, host == "localhost" ? "127.0.0.1" : host.c_str(), &out) != 1) return false;
  return (ntohl(out.s_addr) >> 24) == 127;
}
#endif

}  // namespace

std::string_view gf_callName(Call call) {
  auto i = static_cast<std::size_t>(call);
  return i < kCallNames.size() ? kCallNames[i] : std::string_view{};
}

std::optional<Call> gf_callFromName(std::string_view name) {
  for (std::size_t i = 1; i < kCallNames.size(); ++i)
    if (kCallNames[i] == name) return static_cast<Call>(i);
  return std::nullopt;
}

// ---- Writer / Reader ----

Writer::Writer(Call call, DWORD packetId) {
  m_buf.reserve(128);
  PacketHeader h{0, static_cast<DWORD>(call), packetId};
  raw(&h, sizeof h);
}

void Writer::raw(const void* data, std::size_t size) {
  auto p = static_cast<const std::byte*>(data);
  m_buf.insert(m_buf.end(), p, p + size);
}

Writer& Writer::u32(DWORD value) {
  raw(&value, sizeof value);
  return *this;
}
Writer& Writer::f32(float value) {
  raw(&value, sizeof value);
  return *this;
}
Writer& Writer::f64(double value) {
  raw(&value, sizeof value);
  return *this;
}
Writer& Writer::str(std::string_view text) {
  u32(static_cast<DWORD>(text.size()));
  raw(text.data(), text.size());
  return *this;
}
Writer& Writer::bytes(std::span<const std::byte> data) {
  u32(static_cast<DWORD>(data.size()));
  raw(data.data(), data.size());
  return *this;
}

void Writer::setPacketId(DWORD packetId) {
  std::memcpy(m_buf.data() + offsetof(PacketHeader, packetId), &packetId, sizeof packetId);
}

std::vector<std::byte>& Writer::finish() {
  auto size = static_cast<DWORD>(m_buf.size());
  std::memcpy(m_buf.data(), &size, sizeof size);
  return m_buf;
}

Reader::Reader(std::span<const std::byte> packet) : m_data(packet) { raw(&m_header, sizeof m_header); }

void Reader::raw(void* data, std::size_t size) {
  if (size > m_data.size() - m_pos) throw WireError("packet too short");
  std::memcpy(data, m_data.data() + m_pos, size);
  m_pos += size;
}

DWORD Reader::u32() {
  DWORD v;
  raw(&v, sizeof v);
  return v;
}
float Reader::f32() {
  float v;
  raw(&v, sizeof v);
  return v;
}
double Reader::f64() {
  double v;
  raw(&v, sizeof v);
  return v;
}
std::span<const std::byte> Reader::block() {
  DWORD n = u32();
  if (n > m_data.size() - m_pos) throw WireError("packet too short");
  auto block = m_data.subspan(m_pos, n);
  m_pos += n;
  return block;
}
std::string Reader::str() {
  auto b = block();
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}
std::vector<std::byte> Reader::bytes() {
  auto b = block();
  return {b.begin(), b.end()};
}

PacketAssembler::PacketAssembler(std::size_t maxPacket, Clock clock)
    : m_maxPacket(maxPacket), m_clock(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)) {}

std::vector<std::byte>& PacketAssembler::buffer() {
  lf_dropConsumed(m_buf, m_start);
  return m_buf;
}

bool PacketAssembler::ready() const {
  const std::size_t avail = pending();
  if (avail < sizeof(DWORD)) return false;
  DWORD size;
  std::memcpy(&size, m_buf.data() + m_start, sizeof size);
  return avail >= size;
}

bool PacketAssembler::stalled(std::chrono::steady_clock::duration timeout) const {
  return m_partialSince && m_clock() - *m_partialSince > timeout;
}

std::span<const std::byte> PacketAssembler::next() {
  std::size_t avail = m_buf.size() - m_start;
  if (avail >= sizeof(DWORD)) {
    DWORD size;
    std::memcpy(&size, m_buf.data() + m_start, sizeof size);
    if (size < 3 * sizeof(DWORD)) throw WireError("bad packet size " + std::to_string(size));
    if (size > m_maxPacket)
      throw WireError("packet of " + std::to_string(size) + " bytes, more than the largest known (" +
                      std::to_string(m_maxPacket) + ")");
    if (avail >= size) {
      std::span<const std::byte> packet(m_buf.data() + m_start, size);
      m_start += size;
      m_partialSince.reset();
      return packet;
    }
  }
  lf_dropConsumed(m_buf, m_start);
  if (m_buf.empty()) {
    m_partialSince.reset();
    // What a flood made room for is given back once it has been taken.
    if (m_buf.capacity() > kKeptCapacity) std::vector<std::byte>().swap(m_buf);
  } else if (!m_partialSince) {
    m_partialSince = m_clock();
  }
  return {};
}

#ifndef _WIN32
// ---- Stream ----

std::optional<Stream> Stream::connect(const std::string& host, std::uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (!lf_isLoopback(host, addr.sin_addr)) return std::nullopt;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  Stream s(fd);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  int r;
  do {
    r = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return std::nullopt;
  return s;
}

void Stream::setSendTimeout(std::chrono::milliseconds timeout) {
  if (m_fd < 0) return;
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool Stream::sendAll(std::span<const std::byte> data) {
  std::size_t done = 0;
  while (m_fd >= 0 && done < data.size()) {
    ssize_t n = ::send(m_fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;  // includes the send timeout
    }
    done += static_cast<std::size_t>(n);
  }
  return done == data.size();
}

RecvStatus Stream::waitReadable(std::chrono::milliseconds wait) {
  if (m_fd < 0) return RecvStatus::Closed;
  int r = lf_pollFor(m_fd, POLLIN, wait);
  if (r < 0) return RecvStatus::Closed;
  return r == 0 ? RecvStatus::Timeout : RecvStatus::Data;
}

RecvStatus Stream::receive(std::vector<std::byte>& into, std::chrono::milliseconds wait) {
  RecvStatus ready = waitReadable(wait);
  if (ready != RecvStatus::Data) return ready;
  std::size_t got = 0;
  for (;;) {
    std::size_t old = into.size();
    into.resize(old + 65536);
    ssize_t n = ::recv(m_fd, into.data() + old, 65536, MSG_DONTWAIT);
    into.resize(old + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (n > 0) {
      got += static_cast<std::size_t>(n);
      if (n < 65536 || got >= gMaxReceiveBytes) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // Orderly end or error; whatever came before it is still handed back.
    return got > 0 ? RecvStatus::Data : RecvStatus::Closed;
  }
  return got > 0 ? RecvStatus::Data : RecvStatus::Timeout;
}

void Stream::shutdown() {
  if (m_fd >= 0) ::shutdown(m_fd, SHUT_RDWR);
}

void Stream::shutdownSend() {
  if (m_fd >= 0) ::shutdown(m_fd, SHUT_WR);
}

void Stream::close() {
  if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
}

// ---- Listener ----

Listener Listener::listen(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  Listener l;
  l.m_fd = fd;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || ::listen(fd, 16) < 0)
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  l.m_port = ntohs(addr.sin_port);
  return l;
}

std::optional<Stream> Listener::accept(std::chrono::milliseconds wait) {
  if (m_fd < 0) return std::nullopt;
  int r = lf_pollFor(m_fd, POLLIN, wait);
  if (r <= 0 || !(r & POLLIN)) return std::nullopt;
  int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return std::nullopt;
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return Stream(fd);
}

void Listener::shutdown() {
  if (m_fd >= 0) ::shutdown(m_fd, SHUT_RDWR);
}

void Listener::close() {
  if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
}

#endif

bool gf_splitAddress(const std::string& address, std::string& host, std::uint16_t& port) {
  auto colon = address.rfind(':');
  std::string_view portText = address;
  host = "127.0.0.1";
  if (colon != std::string::npos) {
    host = address.substr(0, colon);
    portText = std::string_view(address).substr(colon + 1);
  }
  unsigned value = 0;
  auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
  if (ec != std::errc{} || end != portText.data() + portText.size() || value == 0 || value > 65535 ||
      host.empty())
    return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

#ifndef _WIN32
// ---- ChildProcess ----

bool ChildProcess::writeInput(std::string_view text) {
  while (m_input >= 0 && !text.empty()) {
    const ssize_t n = ::write(m_input, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return m_input >= 0;
}

void ChildProcess::closeInput() {
  if (m_input >= 0) ::close(std::exchange(m_input, -1));
}

ChildProcess ChildProcess::spawn(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> all;
  all.reserve(args.size() + 1);
  all.push_back(program);
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int input[2];
  if (::pipe2(input, O_CLOEXEC) != 0) throw std::runtime_error("cannot start " + program);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  if (failed != 0) {
    ::close(input[1]);
    throw std::runtime_error("cannot start " + program);
  }
  ChildProcess c;
  c.m_pid = pid;
  c.m_input = input[1];
  return c;
}

void ChildProcess::kill() {
  if (m_pid <= 0) return;
  ::kill(m_pid, SIGKILL);
  wait();
}

int ChildProcess::wait() {
  closeInput();
  if (m_pid <= 0) return -1;
  int status = 0;
  while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
  }
  m_pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// ---- Stream, Listener, ChildProcess: the parts the systems share ----

Stream::Stream(int fd) : m_fd(fd) {}
Stream::Stream(Stream&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
Stream& Stream::operator=(Stream&& other) noexcept {
  if (this != &other) {
    close();
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}
Stream::~Stream() { close(); }

void Stream::closeAfterPeer(std::chrono::milliseconds bound) {
  if (m_fd < 0) return;
  shutdownSend();
  const auto deadline = std::chrono::steady_clock::now() + bound;
  std::vector<std::byte> dropped;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    dropped.clear();
    if (left.count() <= 0 || receive(dropped, left) == RecvStatus::Closed) break;
  }
  close();
}

Listener::Listener(Listener&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_port(other.m_port) {}
Listener& Listener::operator=(Listener&& other) noexcept {
  if (this != &other) {
    close();
    m_fd = std::exchange(other.m_fd, -1);
    m_port = other.m_port;
  }
  return *this;
}
Listener::~Listener() { close(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_input(std::exchange(other.m_input, -1)) {}
ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    kill();
    m_pid = std::exchange(other.m_pid, -1);
    m_input = std::exchange(other.m_input, -1);
  }
  return *this;
}
ChildProcess::~ChildProcess() { kill(); }

}  // namespace simwire
