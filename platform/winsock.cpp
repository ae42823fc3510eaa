#include "platform/winsock.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/system.h"

namespace {

// A SOCKET is a key into this table, never the descriptor itself. A thread
// inside a call holds a reference to the entry, so the descriptor stays open
// (and its number cannot be handed to an unrelated file) until that call has
// returned, even when another thread closes the socket meanwhile.
struct SocketEntry {
  SocketEntry(int fd_, int type_) : fd(fd_), type(type_) {}
  ~SocketEntry() { ::close(fd); }
  SocketEntry(const SocketEntry&) = delete;
  SocketEntry& operator=(const SocketEntry&) = delete;

  const int fd;
  const int type;  // SOCK_STREAM, SOCK_DGRAM, ...
  std::atomic<bool> closed{false};
  std::atomic<bool> sendShutDown{false};
};
using EntryPtr = std::shared_ptr<SocketEntry>;

struct Registry {
  std::mutex mutex;
  std::unordered_map<SOCKET, EntryPtr> sockets;
  SOCKET nextHandle = 1;
  int startups = 0;
};

// Never destroyed: detached reader threads may still be inside a call while
// the process runs its static destructors.
Registry& lf_registry() {
  static Registry* registry = new Registry;
  return *registry;
}

int lf_failWith(int wsaCode) {
  WSASetLastError(wsaCode);
  return SOCKET_ERROR;
}

// The error of a failed call on an entry; a call woken by closesocket reports WSAEINTR.
int lf_fail(const SocketEntry& entry, int errnoValue) {
  if (entry.closed.load()) return lf_failWith(WSAEINTR);
  if (errnoValue == EPIPE && entry.sendShutDown.load()) return lf_failWith(WSAESHUTDOWN);
  return lf_failWith(gf_wsaCodeFromErrno(errnoValue));
}

EntryPtr lf_find(SOCKET s) {
  Registry& r = lf_registry();
  std::lock_guard lock(r.mutex);
  auto it = r.sockets.find(s);
  if (it == r.sockets.end()) {
    WSASetLastError(WSAENOTSOCK);
    return nullptr;
  }
  return it->second;
}

SOCKET lf_register(int fd, int type) {
  auto entry = std::make_shared<SocketEntry>(fd, type);
  Registry& r = lf_registry();
  std::lock_guard lock(r.mutex);
  SOCKET handle = r.nextHandle++;
  r.sockets.emplace(handle, std::move(entry));
  return handle;
}

bool lf_started() {
  Registry& r = lf_registry();
  std::lock_guard lock(r.mutex);
  return r.startups > 0;
}

int lf_clampCount(ssize_t n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

// Datagram sockets ask for the true size of a datagram that did not fit.
int lf_receiveFlags(const SocketEntry& entry, int flags) {
  return entry.type == SOCK_DGRAM ? (flags | MSG_TRUNC) : flags;
}

// A result of 0 from a receive woken by closesocket is no orderly end of the
// peer: report it as the interrupted call Winsock gives.
int lf_receiveResult(const SocketEntry& entry, ssize_t n, int errnoValue) {
  if (n < 0) return lf_fail(entry, errnoValue);
  if (n == 0 && entry.closed.load()) return lf_failWith(WSAEINTR);
  return lf_clampCount(n);
}

template <typename Call>
ssize_t lf_retryOnSignal(Call call) {
  ssize_t n;
  do {
    n = call();
  } while (n < 0 && errno == EINTR);
  return n;
}

std::atomic<std::uint64_t> gAcceptCalls{0};
std::atomic<std::uint64_t> gSendCalls{0};

}  // namespace

WinsockCallCounts gf_winsockCallCounts() { return {gAcceptCalls.load(), gSendCalls.load()}; }

int gf_wsaCodeFromErrno(int errnoValue) {
  switch (errnoValue) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES: case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE: case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;  // EWOULDBLOCK is the same value here
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    // Winsock reports a send to a peer that has gone as a reset connection.
    case ECONNRESET: case EPIPE: return WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return errnoValue;
  }
}

int WSAStartup(WORD versionRequested, WSADATA* data) {
  if (data == nullptr) return WSAEFAULT;
  if (LOBYTE(versionRequested) < 1) return WSAVERNOTSUPPORTED;
  std::memset(data, 0, sizeof *data);
  const WORD highest = MAKEWORD(2, 2);
  const bool aboveHighest = LOBYTE(versionRequested) > 2 ||
                            (LOBYTE(versionRequested) == 2 && HIBYTE(versionRequested) > 2);
  data->wVersion = aboveHighest ? highest : versionRequested;
  data->wHighVersion = highest;
  std::strcpy(data->szDescription, "WinSock 2.0");
  std::strcpy(data->szSystemStatus, "Running");
  Registry& r = lf_registry();
  std::lock_guard lock(r.mutex);
  ++r.startups;
  return 0;
}

int WSACleanup() {
  Registry& r = lf_registry();
  std::lock_guard lock(r.mutex);
  if (r.startups == 0) return lf_failWith(WSANOTINITIALISED);
  --r.startups;
  return 0;
}

int WSAGetLastError() { return static_cast<int>(GetLastError()); }

void WSASetLastError(int error) { SetLastError(static_cast<DWORD>(error)); }

int closesocket(SOCKET s) {
  EntryPtr entry;
  {
    Registry& r = lf_registry();
    std::lock_guard lock(r.mutex);
    auto it = r.sockets.find(s);
    if (it == r.sockets.end()) return lf_failWith(WSAENOTSOCK);
    entry = std::move(it->second);
    r.sockets.erase(it);
  }
  // A plain close leaves a thread blocked on the descriptor asleep; shutting
  // the socket down wakes accept, recv and recvfrom (also on UDP, where it
  // reports ENOTCONN but still wakes the receivers). The descriptor itself is
  // closed by whichever holder of the entry lets go of it last.
  entry->closed.store(true);
  ::shutdown(entry->fd, SHUT_RDWR);
  return 0;
}

int WSAPoll(WSAPOLLFD* fds, unsigned long count, int timeoutMs) {
  // The entries are held for the wait, so a socket closed meanwhile keeps its
  // descriptor (shut down, which wakes the wait) until the wait has returned.
  std::vector<EntryPtr> entries(count);
  std::vector<pollfd> polled(count);
  bool unknown = false;
  for (unsigned long i = 0; i < count; ++i) {
    fds[i].revents = 0;
    entries[i] = lf_find(fds[i].fd);
    if (!entries[i]) {
      fds[i].revents = POLLNVAL;
      unknown = true;
    }
    polled[i] = {entries[i] ? entries[i]->fd : -1, fds[i].events, 0};
  }
  if (unknown) return lf_failWith(WSAENOTSOCK);
  const int ready = static_cast<int>(lf_retryOnSignal([&] { return ::poll(polled.data(), count, timeoutMs); }));
  if (ready < 0) return lf_failWith(gf_wsaCodeFromErrno(errno));
  for (unsigned long i = 0; i < count; ++i) fds[i].revents = polled[i].revents;
  return ready;
}

namespace ws {

SOCKET socket(int af, int type, int protocol) {
  if (!lf_started()) {
    WSASetLastError(WSANOTINITIALISED);
    return INVALID_SOCKET;
  }
  const int fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    WSASetLastError(gf_wsaCodeFromErrno(errno));
    return INVALID_SOCKET;
  }
  return lf_register(fd, type);
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (::bind(e->fd, name, static_cast<socklen_t>(namelen)) != 0) return lf_fail(*e, errno);
  return 0;
}

int listen(SOCKET s, int backlog) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (::listen(e->fd, backlog) != 0) return lf_fail(*e, errno);
  return 0;
}

SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) {
  ++gAcceptCalls;
  EntryPtr e = lf_find(s);
  if (!e) return INVALID_SOCKET;
  socklen_t length = addrlen != nullptr ? static_cast<socklen_t>(*addrlen) : 0;
  const int fd = static_cast<int>(lf_retryOnSignal([&] {
    return ::accept4(e->fd, addrlen != nullptr ? addr : nullptr, addrlen != nullptr ? &length : nullptr,
                     SOCK_CLOEXEC);
  }));
  if (fd < 0) {
    lf_fail(*e, errno);
    return INVALID_SOCKET;
  }
  if (e->closed.load()) {  // accepted in the instant the listener was closed
    ::close(fd);
    WSASetLastError(WSAEINTR);
    return INVALID_SOCKET;
  }
  if (addrlen != nullptr) *addrlen = static_cast<int>(length);
  return lf_register(fd, SOCK_STREAM);
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (::connect(e->fd, name, static_cast<socklen_t>(namelen)) != 0) return lf_fail(*e, errno);
  return 0;
}

int shutdown(SOCKET s, int how) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (how != SD_RECEIVE && how != SD_SEND && how != SD_BOTH) return lf_failWith(WSAEINVAL);
  if (::shutdown(e->fd, how) != 0) return lf_fail(*e, errno);
  if (how != SD_RECEIVE) e->sendShutDown.store(true);
  return 0;
}

int recv(SOCKET s, char* buf, int len, int flags) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (len < 0) return lf_failWith(WSAEINVAL);
  const ssize_t n = lf_retryOnSignal(
      [&] { return ::recv(e->fd, buf, static_cast<size_t>(len), lf_receiveFlags(*e, flags)); });
  return lf_receiveResult(*e, n, errno);
}

int send(SOCKET s, const char* buf, int len, int flags) {
  ++gSendCalls;
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (len < 0) return lf_failWith(WSAEINVAL);
  const ssize_t n = lf_retryOnSignal(
      [&] { return ::send(e->fd, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL); });
  if (n < 0) return lf_fail(*e, errno);
  return lf_clampCount(n);
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (len < 0) return lf_failWith(WSAEINVAL);
  const bool wantsSource = from != nullptr && fromlen != nullptr;
  socklen_t length = wantsSource ? static_cast<socklen_t>(*fromlen) : 0;
  const ssize_t n = lf_retryOnSignal([&] {
    return ::recvfrom(e->fd, buf, static_cast<size_t>(len), lf_receiveFlags(*e, flags),
                      wantsSource ? from : nullptr, wantsSource ? &length : nullptr);
  });
  const int result = lf_receiveResult(*e, n, errno);
  if (result >= 0 && wantsSource) *fromlen = static_cast<int>(length);
  return result;
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (len < 0) return lf_failWith(WSAEINVAL);
  const ssize_t n = lf_retryOnSignal([&] {
    return ::sendto(e->fd, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL, to,
                    static_cast<socklen_t>(tolen));
  });
  if (n < 0) return lf_fail(*e, errno);
  return lf_clampCount(n);
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (optlen < 0 || (optlen > 0 && optval == nullptr)) return lf_failWith(WSAEFAULT);
  int widened = 0;
  const void* value = optval;
  socklen_t length = static_cast<socklen_t>(optlen);
  if (optlen > 0 && optlen < static_cast<int>(sizeof(int))) {
    for (int i = 0; i < optlen; ++i) widened |= static_cast<unsigned char>(optval[i]);
    widened = widened != 0;
    value = &widened;
    length = sizeof widened;
  }
  // Windows grants the receive buffer asked for; Linux caps it at a system
  // limit unless the process may pass that limit, so try that first.
  if (level == SOL_SOCKET && optname == SO_RCVBUF && ::setsockopt(e->fd, level, SO_RCVBUFFORCE, value, length) == 0)
    return 0;
  if (::setsockopt(e->fd, level, optname, value, length) != 0) return lf_fail(*e, errno);
  return 0;
}

int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (optval == nullptr || optlen == nullptr || *optlen < 0) return lf_failWith(WSAEFAULT);
  socklen_t length = static_cast<socklen_t>(*optlen);
  if (::getsockopt(e->fd, level, optname, optval, &length) != 0) return lf_fail(*e, errno);
  *optlen = static_cast<int>(length);
  if (level == SOL_SOCKET && optname == SO_ERROR && length == sizeof(int)) {
    int error;
    std::memcpy(&error, optval, sizeof error);
    if (error != 0) error = gf_wsaCodeFromErrno(error);
    std::memcpy(optval, &error, sizeof error);
  }
  // Linux reports twice the buffer size it was given (its own bookkeeping
  // counted in); Windows reports the size, which is what callers compare.
  if (level == SOL_SOCKET && (optname == SO_RCVBUF || optname == SO_SNDBUF) && length == sizeof(int)) {
    int size;
    std::memcpy(&size, optval, sizeof size);
    size /= 2;
    std::memcpy(optval, &size, sizeof size);
  }
  return 0;
}

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (name == nullptr || namelen == nullptr || *namelen < 0) return lf_failWith(WSAEFAULT);
  socklen_t length = static_cast<socklen_t>(*namelen);
  if (::getsockname(e->fd, name, &length) != 0) return lf_fail(*e, errno);
  *namelen = static_cast<int>(length);
  return 0;
}

int ioctlsocket(SOCKET s, long cmd, unsigned long* argp) {
  EntryPtr e = lf_find(s);
  if (!e) return SOCKET_ERROR;
  if (argp == nullptr) return lf_failWith(WSAEFAULT);
  if (cmd == static_cast<long>(FIONBIO)) {
    const int flags = ::fcntl(e->fd, F_GETFL);
    if (flags < 0) return lf_fail(*e, errno);
    const int wanted = *argp != 0 ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (::fcntl(e->fd, F_SETFL, wanted) != 0) return lf_fail(*e, errno);
    return 0;
  }
  if (cmd == static_cast<long>(FIONREAD)) {
    int ready = 0;
    if (::ioctl(e->fd, FIONREAD, &ready) != 0) return lf_fail(*e, errno);
    *argp = static_cast<unsigned long>(ready);
    return 0;
  }
  return lf_failWith(WSAEINVAL);
}

int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
  if (!lf_started()) {
    WSASetLastError(WSANOTINITIALISED);
    return WSANOTINITIALISED;
  }
  const int rc = ::getaddrinfo(node, service, hints, result);
  int code = 0;
  switch (rc) {
    case 0: code = 0; break;
    case EAI_AGAIN: code = WSATRY_AGAIN; break;
    case EAI_BADFLAGS: code = WSAEINVAL; break;
    case EAI_FAIL: code = WSANO_RECOVERY; break;
    case EAI_FAMILY: code = WSAEAFNOSUPPORT; break;
    case EAI_MEMORY: code = WSA_NOT_ENOUGH_MEMORY; break;
    case EAI_NONAME: code = WSAHOST_NOT_FOUND; break;
    case EAI_NODATA: code = WSANO_DATA; break;
    case EAI_SERVICE: code = WSATYPE_NOT_FOUND; break;
    case EAI_SOCKTYPE: code = WSAESOCKTNOSUPPORT; break;
    case EAI_SYSTEM: code = gf_wsaCodeFromErrno(errno); break;
    default: code = WSANO_RECOVERY; break;
  }
  if (code != 0) WSASetLastError(code);
  return code;
}

void freeaddrinfo(addrinfo* list) {
  if (list != nullptr) ::freeaddrinfo(list);
}

in_addr_t inet_addr(const char* text) {
  if (text == nullptr) return INADDR_NONE;
  return ::inet_addr(text);
}

int inet_pton(int family, const char* text, void* address) {
  const int rc = ::inet_pton(family, text, address);
  if (rc < 0) WSASetLastError(WSAEAFNOSUPPORT);
  return rc;
}

}  // namespace ws
