// The loopback transport of the SimConnect wire over Winsock, and the tests'
// child processes through Win32, for the Windows build of the stand-in
// library, the stand-in simulator and the tests.
//
// Socket handles travel in the transport's int descriptors: Windows handles
// have 32 significant bits. A poll is not woken by a shutdown made on another
// thread, so waits go in short slices and look at the shut sockets between.
#ifdef _WIN32
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <set>
#include <utility>

#include "platform/simconnect_wire.h"

namespace simwire {

namespace {

constexpr auto kPollSlice = std::chrono::milliseconds(50);

bool lf_winsockReady() {
  static const bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

SOCKET lf_socket(int fd) {
  return static_cast<SOCKET>(static_cast<unsigned>(fd));
}

// A socket made here is not handed to child processes.
int lf_keep(SOCKET s) {
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  BOOL one = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return static_cast<int>(s);
}

std::mutex gShutMutex;
std::set<int> gShut;  // sockets shut down and not yet closed

void lf_markShut(int fd, bool shut) {
  std::lock_guard lock(gShutMutex);
  if (shut)
    gShut.insert(fd);
  else
    gShut.erase(fd);
}

bool lf_isShut(int fd) {
  std::lock_guard lock(gShutMutex);
  return gShut.count(fd) > 0;
}

// The events seen, 0 when the wait ran out, -1 on failure.
int lf_pollFor(int fd, short events, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (lf_isShut(fd)) return POLLHUP;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    WSAPOLLFD p{lf_socket(fd), events, 0};
    const int r =
        WSAPoll(&p, 1, static_cast<INT>(std::clamp(left, std::chrono::milliseconds(0), kPollSlice).count()));
    if (r < 0) return -1;
    if (r > 0) return p.revents;
    if (left <= kPollSlice) return 0;
  }
}

bool lf_isLoopback(const std::string& host, in_addr& out) {
  if (::inet_pton(AF_INET, host == "localhost" ? "127.0.0.1" : host.c_str(), &out) != 1) return false;
  return (ntohl(out.s_addr) >> 24) == 127;
}

std::wstring lf_wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

// One argument as the child's command-line parser reads it back.
std::wstring lf_quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

HANDLE lf_handle(int value) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(value));
}
int lf_handleValue(HANDLE h) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(h));
}

}  // namespace

// ---- Stream ----

std::optional<Stream> Stream::connect(const std::string& host, std::uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (!lf_winsockReady() || !lf_isLoopback(host, addr.sin_addr)) return std::nullopt;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return std::nullopt;
  Stream stream(lf_keep(s));
  if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return std::nullopt;
  return stream;
}

void Stream::setSendTimeout(std::chrono::milliseconds timeout) {
  if (m_fd < 0) return;
  const DWORD ms = static_cast<DWORD>(std::max<std::int64_t>(timeout.count(), 1));
  ::setsockopt(lf_socket(m_fd), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

bool Stream::sendAll(std::span<const std::byte> data) {
  std::size_t done = 0;
  while (m_fd >= 0 && done < data.size()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(data.size() - done, INT_MAX));
    const int n = ::send(lf_socket(m_fd), reinterpret_cast<const char*>(data.data() + done), chunk, 0);
    if (n == SOCKET_ERROR) return false;  // includes the send timeout
    done += static_cast<std::size_t>(n);
  }
  return done == data.size();
}

RecvStatus Stream::waitReadable(std::chrono::milliseconds wait) {
  if (m_fd < 0) return RecvStatus::Closed;
  const int r = lf_pollFor(m_fd, POLLRDNORM, wait);
  if (r < 0) return RecvStatus::Closed;
  return r == 0 ? RecvStatus::Timeout : RecvStatus::Data;
}

RecvStatus Stream::receive(std::vector<std::byte>& into, std::chrono::milliseconds wait) {
  const RecvStatus ready = waitReadable(wait);
  if (ready != RecvStatus::Data) return ready;
  std::size_t got = 0;
  for (;;) {
    // After the first read, only what has arrived: the socket blocks.
    if (got > 0) {
      u_long waiting = 0;
      if (::ioctlsocket(lf_socket(m_fd), FIONREAD, &waiting) != 0 || waiting == 0) break;
    }
    const std::size_t old = into.size();
    into.resize(old + 65536);
    const int n = ::recv(lf_socket(m_fd), reinterpret_cast<char*>(into.data() + old), 65536, 0);
    into.resize(old + static_cast<std::size_t>(std::max(n, 0)));
    if (n > 0) {
      got += static_cast<std::size_t>(n);
      if (got >= gMaxReceiveBytes) break;
      continue;
    }
    // Orderly end or error; whatever came before it is still handed back.
    return got > 0 ? RecvStatus::Data : RecvStatus::Closed;
  }
  return RecvStatus::Data;
}

void Stream::shutdown() {
  if (m_fd < 0) return;
  lf_markShut(m_fd, true);
  ::shutdown(lf_socket(m_fd), SD_BOTH);
}

void Stream::shutdownSend() {
  if (m_fd >= 0) ::shutdown(lf_socket(m_fd), SD_SEND);
}

void Stream::close() {
  if (m_fd < 0) return;
  const int fd = std::exchange(m_fd, -1);
  lf_markShut(fd, false);
  ::closesocket(lf_socket(fd));
}

// ---- Listener ----

Listener Listener::listen(std::uint16_t port) {
  if (!lf_winsockReady()) throw std::runtime_error("Winsock failed to start");
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
  Listener l;
  l.m_fd = lf_keep(s);
  BOOL one = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  int len = sizeof addr;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  l.m_port = ntohs(addr.sin_port);
  return l;
}

std::optional<Stream> Listener::accept(std::chrono::milliseconds wait) {
  if (m_fd < 0) return std::nullopt;
  const int r = lf_pollFor(m_fd, POLLRDNORM, wait);
  if (r <= 0 || !(r & POLLRDNORM) || lf_isShut(m_fd)) return std::nullopt;
  const SOCKET s = ::accept(lf_socket(m_fd), nullptr, nullptr);
  if (s == INVALID_SOCKET) return std::nullopt;
  return Stream(lf_keep(s));
}

void Listener::shutdown() {
  if (m_fd >= 0) lf_markShut(m_fd, true);
}

void Listener::close() {
  if (m_fd < 0) return;
  const int fd = std::exchange(m_fd, -1);
  lf_markShut(fd, false);
  ::closesocket(lf_socket(fd));
}

// ---- ChildProcess ----
// m_pid holds the process handle, m_input the write end of the child's input.

ChildProcess ChildProcess::spawn(const std::string& program, const std::vector<std::string>& args) {
  std::wstring command = lf_quoted(lf_wide(program));
  for (const auto& arg : args) command += L" " + lf_quoted(lf_wide(arg));
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inherited, 0)) throw std::runtime_error("cannot start " + program);
  SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = read;
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  const std::wstring path = lf_wide(program);
  const BOOL started = CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(read);
  if (!started) {
    CloseHandle(write);
    throw std::runtime_error("cannot start " + program);
  }
  CloseHandle(process.hThread);
  ChildProcess c;
  c.m_pid = lf_handleValue(process.hProcess);
  c.m_input = lf_handleValue(write);
  return c;
}

bool ChildProcess::writeInput(std::string_view text) {
  while (m_input >= 0 && !text.empty()) {
    DWORD written = 0;
    if (!WriteFile(lf_handle(m_input), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written == 0)
      return false;
    text.remove_prefix(written);
  }
  return m_input >= 0;
}

void ChildProcess::closeInput() {
  if (m_input >= 0) CloseHandle(lf_handle(std::exchange(m_input, -1)));
}

void ChildProcess::kill() {
  if (m_pid <= 0) return;
  TerminateProcess(lf_handle(m_pid), 1);
  wait();
}

int ChildProcess::wait() {
  closeInput();
  if (m_pid <= 0) return -1;
  HANDLE process = lf_handle(std::exchange(m_pid, -1));
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  const bool known = GetExitCodeProcess(process, &code) != FALSE;
  CloseHandle(process);
  return known ? static_cast<int>(code) : -1;
}

}  // namespace simwire
#endif
