#include "shell/rt_link.h"

#include <array>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/util.h"
#include "shell/app_state.h"
#include "shell/run_state.h"
#include "shell/startup.h"
#include "traffic/engine.h"
#include "traffic/readers.h"
#include "traffic/user_aircraft.h"

std::atomic<bool> gRtClientConnected{false};
std::atomic<SOCKET> gRtListenSocket{INVALID_SOCKET};
std::atomic<SOCKET> gRtClientSocket{INVALID_SOCKET};

namespace {

constexpr int kReceiveSize = 8192;
constexpr int kReplyWaitSliceMs = 100;

// WSAStartups of lf_startServer that lf_stopServer has still to match. Counted,
// so that a stop without a server never takes away the readers' Winsock.
std::atomic<int> gServerWinsockUses{0};

std::string lf_lastErrorText() { return gf_wsaErrorText(WSAGetLastError()); }

// The thread that takes the handle out of the slot closes it; the other finds
// none. A call racing with the close fails: Windows may give the value to the
// next socket opened, but none is opened while an exit closes the link.
void lf_closeSlot(std::atomic<SOCKET>& slot) {
  const SOCKET s = slot.exchange(INVALID_SOCKET);
  if (s != INVALID_SOCKET) closesocket(s);
}

void lf_showRtLight(bool shown) {
  gAppState.rtShown.store(shown);
  gf_invalidateMain(kStatusRect);
}

// A "level" that is missing, null or an empty text counts as not given.
bool lf_notGiven(const nlohmann::json& value) {
  return value.is_null() || (value.is_string() && value.get_ref<const std::string&>().empty());
}

// The reply is whole once a line has ended, a JSON object has closed, or the
// text is no object at all (the parser then says what is wrong with it).
bool lf_replyComplete(std::string_view text) {
  if (text.find('\n') != std::string_view::npos) return true;
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return false;
  if (text[first] != '{') return true;
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : text.substr(first)) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if ((c == '}' || c == ']') && --depth == 0) {
      return true;
    }
  }
  return false;
}

// Until the client socket has something to receive (bytes, its end or an
// error) or an exit has begun. The receive waits in slices because on Windows
// the exit's wake cannot end a blocked receive: only closing the socket would,
// and the client must stay open for the exit's goodbye.
bool lf_awaitReply() {
  for (;;) {
    if (gExitStarted.load()) return false;
    WSAPOLLFD entry{gRtClientSocket.load(), POLLIN, 0};
    if (ws::WSAPoll(&entry, 1, kReplyWaitSliceMs) != 0) return true;  // a failure is the receive's to report
  }
}

}  // namespace

void lf_startServer(const std::string& port) {
  WSADATA data;
  if (const int rc = WSAStartup(MAKEWORD(2, 2), &data); rc != 0) {
    throw qlx::SysErrorException(0, sk::format("WSAStartup failed with error {}", rc));
  }
  addrinfo hints{};
  hints.ai_flags = AI_PASSIVE;
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* addresses = nullptr;
  if (const int rc = ws::getaddrinfo(nullptr, port.c_str(), &hints, &addresses); rc != 0) {
    WSACleanup();
    throw qlx::SysErrorException(1, sk::format("getaddrinfo failed with error {}", rc));
  }
  SOCKET listener = INVALID_SOCKET;
  // The error text is taken before closing, which may change the last error.
  const auto fail = [&](int code, std::string text) {
    ws::freeaddrinfo(addresses);
    if (listener != INVALID_SOCKET) closesocket(listener);
    WSACleanup();
    throw qlx::SysErrorException(code, text);
  };
  listener = ws::socket(addresses->ai_family, addresses->ai_socktype, addresses->ai_protocol);
  if (listener == INVALID_SOCKET) fail(2, "socket failed with error " + lf_lastErrorText());
  unsigned long blocking = 0;
  if (ws::ioctlsocket(listener, FIONBIO, &blocking) == SOCKET_ERROR) {
    fail(3, "ioctlsocket failed with error " + lf_lastErrorText());
  }
  const BOOL reuse = 1;
  if (ws::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse) ==
      SOCKET_ERROR) {
    fail(4, "setsockopt(SO_REUSEADDR) failed");
  }
  if (ws::bind(listener, addresses->ai_addr, static_cast<int>(addresses->ai_addrlen)) == SOCKET_ERROR) {
    fail(5, "Bind failed at port " + port + " with error " + lf_lastErrorText());
  }
  ws::freeaddrinfo(addresses);
  addresses = nullptr;
  if (ws::listen(listener, SOMAXCONN) == SOCKET_ERROR) fail(6, "listen failed with error " + lf_lastErrorText());
  ++gServerWinsockUses;
  lf_closeSlot(gRtListenSocket);  // a server left open by an earlier run is not leaked
  gRtListenSocket.store(listener);
}

bool waitForClient() {
  if (gRtClientConnected.load()) return false;
  // The exit closes the listening socket after it has set gExitStarted; one
  // opened after that close is caught here.
  if (gExitStarted.load()) return false;
  const SOCKET listener = gRtListenSocket.load();
  if (listener == INVALID_SOCKET) return false;
  const SOCKET client = ws::accept(listener, nullptr, nullptr);
  if (client == INVALID_SOCKET) return false;
  const BOOL noDelay = 1;
  if (ws::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                     sizeof noDelay) == SOCKET_ERROR) {
    const qlx::SysErrorException error(
        7, sk::format("{} setsockopt failed with error {}", gf_utcNowString(), lf_lastErrorText()));
    // Never counted as connected, so never closed by anyone else: closed here.
    closesocket(client);
    gf_log(sk::format("waitForClient interrupted: {}", error.what()));
    return false;
  }
  if (const SOCKET old = gRtClientSocket.exchange(client); old != INVALID_SOCKET) closesocket(old);
  gRtClientConnected.store(true);
  return true;
}

void lf_connectRealTraffic() {
  gf_showMessage(sk::format("Waiting for RealTraffic to connect to {} ...", "Skylume"), true);
  gf_resetRealTrafficReaders();
  if (waitForClient()) {
    sendDataPacket("Qs999=version\r\n");
    lf_readRtVersion(lf_receive());
    lf_showRtLight(true);
    gStartupPhase.store(false);
    gf_log("RealTraffic connected");
  }
  gf_clearMessage();
}

std::string lf_receive() {
  // TCP keeps no message bounds: the reply may come in several pieces, and
  // only the whole of it parses.
  std::string reply;
  std::array<char, kReceiveSize> buffer{};
  while (reply.size() < kReceiveSize && !lf_replyComplete(reply)) {
    // As in waitForClient: a client accepted after the exit's wake is not waited on.
    if (!lf_awaitReply()) return {};
    const int received =
        ws::recv(gRtClientSocket.load(), buffer.data(), static_cast<int>(kReceiveSize - reply.size()), 0);
    if (received == SOCKET_ERROR) {
      gf_log(sk::format("receive: {}", lf_lastErrorText()));
      break;
    }
    if (received <= 0) break;
    reply.append(buffer.data(), static_cast<std::size_t>(received));
  }
  return reply.substr(0, reply.find('\0'));
}

void lf_readRtVersion(const std::string& reply) {
  if (reply.empty()) {
    gf_showMessage("No RealTraffic version received?", true);
    gRtProfessional.store(false);
    return;
  }
  // Parse and type errors are the caller's: they end the run as a system error.
  const nlohmann::json json = nlohmann::json::parse(reply);
  const nlohmann::json version = json.value("version", nlohmann::json());
  std::string versionText = version.is_null() ? std::string() : version.get<std::string>();
  if (versionText.empty()) versionText = "?";
  const nlohmann::json level = json.value("level", nlohmann::json());
  const bool professional = lf_notGiven(level) || std::trunc(level.get<double>()) == 2.0;
  gRtProfessional.store(professional);
  gAppState.rtVersionText.set(sk::format("RT{} edition: {}", professional ? " prof" : " stnd", versionText));
  gf_invalidateMain(kStatusRect);
}

bool sendDataPacket(const std::string& text) {
  const int sent = ws::send(gRtClientSocket.load(), text.data(), static_cast<int>(text.size()), 0);
  if (sent != SOCKET_ERROR) return true;
  gf_log(sk::format("sendDataPacket to RealTraffic failed: {}", lf_lastErrorText()));
  gRtClientConnected.store(false);
  lf_closeSlot(gRtClientSocket);
  gf_log("RealTraffic client socket closed");
  return false;
}

namespace {
// After a failed send, whichever request found RealTraffic gone: the next
// position request only waits for it to come back.
void lf_realTrafficGone() {
  lf_showRtLight(false);
  // The exit removes every aircraft itself, walking gActs on its own thread.
  if (gExitStarted.load()) return;
  gf_removeLiveAircraft();
  gf_resetRealTrafficReaders();
  gf_showMessage(sk::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", gf_utcNowString()),
                 true);
}
}  // namespace

void lf_sendQs123(std::int64_t simTimeSeconds) {
  if (!gRtClientConnected.load()) return;
  if (simTimeSeconds < 1 || simTimeSeconds > std::numeric_limits<std::int64_t>::max() / 1000) return;
  if (!sendDataPacket(sk::format("Qs123={}\r\n", simTimeSeconds * 1000))) lf_realTrafficGone();
}

std::string gf_qs121Text(const UserAc& user) {
  // RealTraffic reads exactly this form, "{:.0}" giving one significant digit
  // in general notation (2340 goes as "2e+03"): do not change it.
  return sk::format("Qs121={:.0};{:.0};{:.6f};{:.0};{};{:.6f};{:.6f}\r\n", user.pitch * 100000.0,
                    user.bank * 100000.0, user.heading, user.altitude * 1000.0, user.groundSpeed * 1000.0,
                    user.latitude * DEG_TO_RAD, user.longitude * DEG_TO_RAD);
}

void gf_removeLiveAircraft() {
  std::lock_guard guard(gEngineMutex);
  std::vector<std::pair<std::uint32_t, std::string>> queued;
  for (Act& act : gActs) {
    if (act.state == ACT_PRESENT) {
      gf_removeAct(act);
    } else if (act.state == ACT_CREATION_REQUESTED) {
      queued.emplace_back(act.hexid, act.key.callsign);
    }
  }
  // A withdrawal erases records from gActs: each aircraft is looked up again by its hexid.
  for (const auto& [hexid, callsign] : queued) {
    if (gf_withdrawQueuedCreation(callsign)) continue;
    for (Act& act : gActs) {
      if (act.hexid == hexid) act.removeWhenCreated = 1;
    }
  }
}

void gf_sendQs121() {
  if (!gRtLocal) return;
  // In Aerowinx mode no server was opened: an accept would fail at once, every second.
  if (gRtListenSocket.load() == INVALID_SOCKET) return;
  const UserAc user = gUserAc;
  if (!gf_isRealPosition({user.latitude, user.longitude})) return;
  if (!gRtClientConnected.load()) {
    if (gExitStarted.load()) return;
    // Blocks the main loop until RealTraffic is back or the exit closes the listening socket.
    if (waitForClient()) {
      lf_showRtLight(true);
      gf_showMessage(sk::format("{} RealTraffic re-connected", gf_utcNowString()), true);
      gf_clearMessage();
    }
    return;
  }
  if (!sendDataPacket(gf_qs121Text(user))) lf_realTrafficGone();
}

void lf_stopServer() {
  if (gRtClientConnected.load()) sendDataPacket("exit\r\n");
  lf_closeSlot(gRtListenSocket);
  lf_closeSlot(gRtClientSocket);
  for (int uses = gServerWinsockUses.exchange(0); uses > 0; --uses) WSACleanup();
  gRtClientConnected.store(false);
}

void gf_wakeRtLink() {
  lf_closeSlot(gRtListenSocket);
  // Only the receive side: the client stays for lf_stopServer's "exit".
  if (const SOCKET client = gRtClientSocket.load(); client != INVALID_SOCKET) ws::shutdown(client, SD_RECEIVE);
}

void gf_readerStopped(bool traffic, const std::string& error) {
  // "TrafficReader " keeps its trailing blank: the text has always read that way.
  gf_showMessage(sk::format("The {} has stopped with an error: {}", traffic ? "TrafficReader " : "WeatherReader",
                            error),
                 true);
  gReaderError.store(true);
}
