#pragma once
// Winsock 2 in the shape the program's code calls it, over POSIX sockets.
//
// The structures, constants and byte-order helpers are the system's own
// (sockaddr_in, addrinfo, AF_INET, SOCK_STREAM, SOL_SOCKET, SO_REUSEADDR,
// TCP_NODELAY, INADDR_ANY, AI_PASSIVE, SOMAXCONN, FIONBIO, htons, ...), so
// values pass through unchanged. Functions whose Winsock names clash with
// POSIX live in namespace ws and must be called qualified (ws::bind, ws::recv);
// the Winsock-only names (SOCKET, closesocket, WSAStartup, ...) are global and
// are also reachable as ws::closesocket etc.
//
// Differences from POSIX that callers rely on:
// - SOCKET is an opaque handle, never reused; INVALID_SOCKET has all bits set.
// - Failures return SOCKET_ERROR / INVALID_SOCKET and leave a Winsock code
//   (10048 WSAEADDRINUSE, 10061 WSAECONNREFUSED, ...) for WSAGetLastError.
// - closesocket from any thread wakes a thread blocked in accept, recv or
//   recvfrom on that socket; the woken call fails with WSAEINTR.
// - send and sendto never raise SIGPIPE: a peer that went away gives
//   SOCKET_ERROR with WSAECONNRESET.
// - On a datagram socket, a result of recvfrom >= len means "did not fit":
//   only len bytes are stored and the caller must not read past len. Linux
//   gives the datagram's true size; Windows fails the call with WSAEMSGSIZE,
//   which ws::recvfrom turns into len.
// - socket and getaddrinfo need WSAStartup (else WSANOTINITIALISED, 10093).
// - shutdown does not wake a thread blocked in recv on Windows (only
//   closesocket does): a receive that another thread must be able to end
//   without closing the socket waits first in WSAPoll, in slices.
//
// On Windows all of it is the system's Winsock; namespace ws names the
// system's functions, so that callers read the same on both systems, and
// gives recvfrom the result above.
#ifdef _WIN32
#include "platform/win_types.h"

namespace ws {

using ::accept;
using ::bind;
using ::closesocket;
using ::connect;
using ::freeaddrinfo;
using ::getaddrinfo;
using ::getsockname;
using ::getsockopt;
using ::inet_addr;
using ::inet_pton;
using ::ioctlsocket;
using ::listen;
using ::recv;
using ::send;
using ::sendto;
using ::setsockopt;
using ::shutdown;
using ::socket;
using ::WSACleanup;
using ::WSAGetLastError;
using ::WSAPoll;
using ::WSASetLastError;
using ::WSAStartup;

inline int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  const int n = ::recvfrom(s, buf, len, flags, from, fromlen);
  return n == SOCKET_ERROR && ::WSAGetLastError() == WSAEMSGSIZE ? len : n;
}

}  // namespace ws

#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <concepts>
#include <cstdint>
#include <type_traits>

#include "platform/win_types.h"

using SOCKET = std::uintptr_t;
inline constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
inline constexpr int SOCKET_ERROR = -1;

inline constexpr int SD_RECEIVE = 0;
inline constexpr int SD_SEND = 1;
inline constexpr int SD_BOTH = 2;

#ifndef MAKEWORD
#define MAKEWORD(low, high) \
  static_cast<WORD>((static_cast<unsigned>(low) & 0xFFu) | ((static_cast<unsigned>(high) & 0xFFu) << 8))
#endif
#ifndef LOBYTE
#define LOBYTE(w) static_cast<BYTE>(static_cast<unsigned>(w) & 0xFFu)
#define HIBYTE(w) static_cast<BYTE>((static_cast<unsigned>(w) >> 8) & 0xFFu)
#endif

inline constexpr int WSADESCRIPTION_LEN = 256;
inline constexpr int WSASYS_STATUS_LEN = 128;

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
};
using LPWSADATA = WSADATA*;

// Winsock error codes.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEPROCLIM = 10067;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAEDISCON = 10101;
inline constexpr int WSATYPE_NOT_FOUND = 10109;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;
inline constexpr int WSA_NOT_ENOUGH_MEMORY = 8;

// Reference-counted like Winsock: every successful WSAStartup needs one
// WSACleanup. Returns 0 or a Winsock code (not through WSAGetLastError).
int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();

// The calling thread's last Winsock error (the same per-thread value as
// GetLastError of platform/system.h).
int WSAGetLastError();
void WSASetLastError(int error);

// Closes the socket; a thread blocked on it wakes with WSAEINTR.
int closesocket(SOCKET s);

// Winsock's readiness wait. events and revents are the system's POLL* bits
// (POLLIN, POLLOUT; POLLHUP, POLLERR and POLLNVAL only ever in revents).
struct WSAPOLLFD {
  SOCKET fd;
  short events;
  short revents;
};
// Waits up to timeoutMs (negative: for ever) until a socket is ready or closed;
// the number of entries with revents, 0 when the time ran out. A handle that is
// no socket gets POLLNVAL and the call fails with WSAENOTSOCK.
int WSAPoll(WSAPOLLFD* fds, unsigned long count, int timeoutMs);

// Calls of ws::accept and ws::send made in this process so far, whatever their
// outcome, so that tests can tell that code left the network alone.
struct WinsockCallCounts {
  std::uint64_t accepts = 0;
  std::uint64_t sends = 0;
};
WinsockCallCounts gf_winsockCallCounts();

// The Winsock code for a POSIX errno value (unknown values are returned unchanged).
int gf_wsaCodeFromErrno(int errnoValue);

namespace ws {

SOCKET socket(int af, int type, int protocol);
int bind(SOCKET s, const sockaddr* name, int namelen);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);
int connect(SOCKET s, const sockaddr* name, int namelen);
int shutdown(SOCKET s, int how);

int recv(SOCKET s, char* buf, int len, int flags);
int send(SOCKET s, const char* buf, int len, int flags);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);

// A boolean option may be given as a 1-byte value, as Winsock accepts it.
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int getsockname(SOCKET s, sockaddr* name, int* namelen);

// FIONBIO (non-zero: non-blocking) and FIONREAD (bytes ready).
int ioctlsocket(SOCKET s, long cmd, unsigned long* argp);

// Returns 0 or a Winsock code (WSAHOST_NOT_FOUND, WSATYPE_NOT_FOUND, ...),
// which is also set as the last error.
int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result);
void freeaddrinfo(addrinfo* list);

// Dotted IPv4 text to an address in network order; INADDR_NONE when invalid.
in_addr_t inet_addr(const char* text);
// 1 converted, 0 not an address of that family, -1 unknown family (WSAEAFNOSUPPORT).
int inet_pton(int family, const char* text, void* address);

using ::closesocket;
using ::WSACleanup;
using ::WSAGetLastError;
using ::WSAPoll;
using ::WSASetLastError;
using ::WSAStartup;

}  // namespace ws

// The POSIX function of the same name reached by mistake (recv instead of
// ws::recv) would take the handle for a descriptor and read or write some
// unrelated file: such calls with a SOCKET do not compile.
template <class S>
concept WinsockHandle = std::same_as<std::remove_cvref_t<S>, SOCKET>;
#define SKLM_REFUSE_POSIX_SOCKET_CALL(name) \
  template <WinsockHandle S, class... Args>   \
  int name(S&&, Args&&...) = delete;
SKLM_REFUSE_POSIX_SOCKET_CALL(bind)
SKLM_REFUSE_POSIX_SOCKET_CALL(listen)
SKLM_REFUSE_POSIX_SOCKET_CALL(accept)
SKLM_REFUSE_POSIX_SOCKET_CALL(connect)
SKLM_REFUSE_POSIX_SOCKET_CALL(shutdown)
SKLM_REFUSE_POSIX_SOCKET_CALL(recv)
SKLM_REFUSE_POSIX_SOCKET_CALL(send)
SKLM_REFUSE_POSIX_SOCKET_CALL(recvfrom)
SKLM_REFUSE_POSIX_SOCKET_CALL(sendto)
SKLM_REFUSE_POSIX_SOCKET_CALL(setsockopt)
SKLM_REFUSE_POSIX_SOCKET_CALL(getsockopt)
SKLM_REFUSE_POSIX_SOCKET_CALL(getsockname)
#undef SKLM_REFUSE_POSIX_SOCKET_CALL
#endif  // _WIN32
