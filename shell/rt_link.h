#pragma once
// The TCP link with RealTraffic, as the rest of the program sees it. The
// program is the server, RealTraffic its one client: it asks for RealTraffic's
// edition once, then sends the user aircraft's state (and, to the professional
// edition, the simulator time) and says "exit" when it closes the link.
//
// Every call runs on the start-up/main-loop thread, except lf_stopServer and
// gf_wakeRtLink, which the shutdown thread calls.
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/winsock.h"

// A RealTraffic client is accepted and usable.
extern std::atomic<bool> gRtClientConnected;
// The listening socket and the accepted RealTraffic socket (INVALID_SOCKET when none).
extern std::atomic<SOCKET> gRtListenSocket;
extern std::atomic<SOCKET> gRtClientSocket;

// Opens the listening socket on the port; qlx::SysErrorException 0 to 6.
void lf_startServer(const std::string& port);
// Accepts RealTraffic unless a client is connected; blocks until it connects,
// the listening socket is closed or an exit has begun. True when it connected.
bool waitForClient();
// The start-up handshake: waits for RealTraffic, asks for its version and
// reads the reply (a reply that is no JSON version object throws the JSON
// library's error).
void lf_connectRealTraffic();
// RealTraffic's reply, received until it is whole (a line end, a closed JSON
// object, or text that is no object), the link ends or 8192 bytes came; cut at
// its first NUL; empty when nothing came before the link closed or failed.
std::string lf_receive();
// Takes RealTraffic's edition and version from its reply.
void lf_readRtVersion(const std::string& reply);
// One send; on failure the client socket is closed and false returned.
bool sendDataPacket(const std::string& text);
// The simulator time (seconds since 1970) to a connected RealTraffic; nothing for 0.
void lf_sendQs123(std::int64_t simTimeSeconds);
// The user aircraft's state to RealTraffic; waits for RealTraffic when it went away.
void gf_sendQs121();
// Says "exit" to a connected RealTraffic and closes the link (shutdown thread).
void lf_stopServer();
// From the shutdown thread, once gExitStarted is set and before it waits for
// the start-up thread: ends a blocked accept at once and a receive within a
// tenth of a second, keeping a connected client so that lf_stopServer can
// still say "exit".
void gf_wakeRtLink();

// Takes every live aircraft out of the simulator: present ones are removed,
// queued creations withdrawn, and those the simulator is still creating are
// marked for removal once it has. Main-loop thread, or the exit's walk.
void gf_removeLiveAircraft();

// The Qs121 request for a user aircraft state.
struct UserAc;
std::string gf_qs121Text(const UserAc& user);

// A RealTraffic UDP reader stopped with an error: shows and logs it and marks
// the reader error that the main loop turns into an exit.
void gf_readerStopped(bool traffic, const std::string& error);
