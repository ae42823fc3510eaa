#pragma once
// The program's one way to fetch a file over HTTP(S): libcurl on Linux,
// WinHTTP on Windows (the system's proxy settings and certificate store).
// A session serves a sequence of GETs made from one thread.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

// What a GET came to: whole when the body arrived whole with a status below
// 400; status is the server's answer when it gave one (a refusal included, and
// the 200 of a body cut short), 0 when none came; cancelled when the caller's
// Cancelled ended it.
struct HttpResult {
  bool whole = false;
  long status = 0;
  bool cancelled = false;
};

// How long a transfer waits, the same on both systems: for its connection
// (name resolution, proxy and TLS included) and, once connected, for its next
// byte; and, when set, in all (connection included) and at a rate kept over a
// stretch of time. A transfer past any of them ends as a failure with no
// status beyond what the server had sent: a server that accepts and never
// answers, or trickles, must not hold its caller for long.
struct HttpLimits {
  std::chrono::milliseconds connect{10000};
  std::chrono::milliseconds stall{20000};
  // Zero: no bound on the whole transfer.
  std::chrono::milliseconds whole{0};
  // Fewer than lowSpeedBytes a second over lowSpeedTime ends the transfer;
  // a zero in either: no such bound. libcurl counts the time in whole seconds.
  long lowSpeedBytes = 0;
  std::chrono::seconds lowSpeedTime{0};
};

class HttpSession {
 public:
  // Receives each piece of the body as it arrives; false stops the transfer.
  using Sink = std::function<bool(const char* data, std::size_t size)>;
  // Asked about once a second at least, also while nothing arrives; true ends
  // the transfer.
  using Cancelled = std::function<bool()>;

  explicit HttpSession(HttpLimits limits = {});
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // False when the system could not make one; every get then fails.
  bool valid() const { return m_handle != nullptr; }

  // Whole when the body arrived whole with a status below 400 and the sink took
  // every piece. The request names the program ("SKLM").
  HttpResult get(const std::string& url, const Sink& sink, const Cancelled& cancelled);

 private:
  void* m_handle;
  HttpLimits m_limits;
};

// Once, before any thread starts and before the first session.
void gf_httpStartUp();
