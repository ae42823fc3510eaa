#pragma once
// RealTraffic's two UDP feeds: traffic lines on 49005, the sea-level pressure
// on 49004. Each reader runs a blocking receive loop on a thread of its own;
// the shutdown stops it with requestStop, which closes the socket under it.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/geometry.h"
#include "core/log_throttle.h"
#include "platform/winsock.h"
#include "traffic/reader_status.h"

inline constexpr std::uint16_t TRAFFIC_PORT = 49005;
inline constexpr std::uint16_t QNH_PORT = 49004;
inline constexpr std::int32_t STANDARD_QNH = 1013;

// Reader lights of the status area (traffic/reader_status.h).
extern std::atomic<std::int32_t> gTrafficReaderStatus;
extern std::atomic<std::int32_t> gQnhReaderStatus;

// The current sea-level pressure in hPa: shown in the status area and used by
// the motion code.
extern std::atomic<std::int32_t> gQnh;

// Repaints the status area after a light or the QNH changed. The window
// installs it; until then (and in tests without a window) nothing is drawn.
using ReaderRepaintHook = void (*)();
void gf_setReaderRepaintHook(ReaderRepaintHook hook);

class UdpReader {
 public:
  // A datagram of this size or more did not fit and is dropped.
  static constexpr int kBufferSize = 16384;
  // The socket's receive buffer asked for: a burst of datagrams waits there
  // instead of being lost in the kernel while the reader is busy.
  static constexpr int kReceiveBufferBytes = 4 << 20;

  explicit UdpReader(std::string threadName);
  virtual ~UdpReader();
  UdpReader(const UdpReader&) = delete;
  UdpReader& operator=(const UdpReader&) = delete;

  // Winsock start-up and the UDP socket with its receive buffer asked for
  // (what the system grants is logged); qlx::SysErrorException 30 or 31.
  void open();
  // The receive buffer the system granted, in bytes; 0 without a socket.
  int receiveBufferBytes() const;
  // Binds to the port (0: any free one) on 127.0.0.1 when RealTraffic runs on
  // this PC, else on every address; qlx::SysErrorException 32.
  void bindPort(std::uint16_t port);
  // Receives until a stop is requested or the socket is closed under it; then
  // closes the socket and calls onStopped.
  void receiveLoop();
  // Closes the socket when still open and ends the Winsock use of open.
  void close();
  // Ends the Winsock use of one open.
  void endWinsock();

  // From any thread: sets the stop flag and closes the socket, which wakes a
  // blocked receive. Exactly one side closes a socket.
  void requestStop();
  bool stopRequested() const { return m_stopRequested.load(); }
  void clearStopRequest() { m_stopRequested.store(false); }

  const std::string& threadName() const { return m_threadName; }
  SOCKET socketHandle() const { return m_socket.load(); }
  // The bound port, 0 while no socket is bound.
  std::uint16_t boundPort() const;

  std::uint32_t received() const { return m_received.load(); }
  // The watchdog's view: whether anything arrived since its last look.
  std::uint32_t seenByWatchdog() const { return m_seenByWatchdog.load(); }
  void setSeenByWatchdog(std::uint32_t count) { m_seenByWatchdog.store(count); }
  void resetCounters();

  // How long the loop pauses after the n-th receive error in a row (n >= 1),
  // so that a socket that keeps failing does not spin a core.
  static std::chrono::milliseconds errorPause(unsigned consecutiveErrors);
  // Replaces the pause between failing receives (tests); the default waits
  // for errorPause or a stop request, whichever comes first.
  using PauseFunction = std::function<void(std::chrono::milliseconds)>;
  void setPauseFunction(PauseFunction pause) { m_pause = std::move(pause); }

  // One datagram's text, up to its first zero byte.
  virtual void onDatagram(std::string_view datagram) = 0;
  // Once, when the receive loop has ended.
  virtual void onStopped() = 0;

 protected:
  // A log line that a datagram's content triggers, at most a few per second.
  LogThrottle m_inputErrorLog;

 private:
  // A socket with the number of the open that made it: Windows hands a closed
  // socket's handle value to the next socket it makes, the number never
  // comes back.
  struct OwnSocket {
    SOCKET handle = INVALID_SOCKET;
    std::uint64_t opening = 0;
    bool operator==(const OwnSocket&) const = default;
  };
  OwnSocket currentSocket() const;
  // Closes the socket when it is still the given one: a loop that outlived a
  // restart of its reader leaves the new socket alone.
  void closeSocket(OwnSocket own);
  void waitBeforeRetry(std::chrono::milliseconds pause);
  void dispatch(std::string_view datagram);

  const std::string m_threadName;
  std::atomic<bool> m_stopRequested{false};
  std::atomic<std::uint32_t> m_received{0};
  std::atomic<std::uint32_t> m_seenByWatchdog{0};
  std::array<char, kBufferSize + 1> m_buffer{};
  std::string m_lastDatagram;
  LogThrottle m_overrunLog;
  WSADATA m_wsaData{};
  std::atomic<int> m_wsaStartups{0};
  mutable std::mutex m_socketMutex;  // guards the pair of m_socket and m_openings
  std::atomic<SOCKET> m_socket{INVALID_SOCKET};
  std::uint64_t m_openings = 0;
  sockaddr_in m_address{};
  int m_addressLength = sizeof(sockaddr_in);
  std::mutex m_pauseMutex;
  std::condition_variable m_pauseWake;
  PauseFunction m_pause;
};

class TrafficReader : public UdpReader {
 public:
  TrafficReader();

  // Parses the current line (its fields split by onDatagram) and queues the
  // record it gives; drops a line that fails a check.
  void processLine();

  // Written by the main loop, read by processLine.
  void setUserPosition(const LatLon& position);
  LatLon userPosition() const;
  // The park airport's position while one is set.
  void setParkAirport(std::optional<LatLon> position);
  // The park airport's elevation in feet, known once its parking file is loaded.
  void setParkElevation(std::optional<double> feet);
  std::optional<double> parkElevation() const;

  // Callsigns of the feed, gathered while collection is on.
  void setCollectCallsigns(bool on) { m_collectCallsigns.store(on); }
  bool collectCallsigns() const { return m_collectCallsigns.load(); }
  std::set<std::string> seenCallsigns() const;
  void clearSeenCallsigns();

  // Time of the latest traffic line, seconds since 1970 UTC (0 before the first).
  double lastTimestamp() const;

  // lf_onTrafficDatagram and lf_onTrafficReaderStopped.
  void onDatagram(std::string_view datagram) override;
  void onStopped() override;

 private:
  friend void lf_onTrafficDatagram(TrafficReader& reader, std::string_view datagram);

  struct Surroundings {
    LatLon user;
    std::optional<LatLon> parkAirport;
    std::optional<double> parkElevation;
  };
  Surroundings surroundings() const;

  std::vector<std::string_view> m_fields;
  std::string_view m_line;
  mutable std::mutex m_stateMutex;  // guards the members below
  LatLon m_userPosition;
  std::optional<LatLon> m_parkAirport;
  std::optional<double> m_parkElevation;
  std::set<std::string> m_seenCallsigns;
  std::atomic<bool> m_collectCallsigns{false};
};

class WeatherReader : public UdpReader {
 public:
  WeatherReader();

  std::int32_t lastQnh() const { return m_lastQnh.load(); }
  void setLastQnh(std::int32_t qnh) { m_lastQnh.store(qnh); }

  // lf_onQnhDatagram and lf_onQnhReaderStopped.
  void onDatagram(std::string_view datagram) override;
  void onStopped() override;

 private:
  friend void lf_onQnhDatagram(WeatherReader& reader, std::string_view datagram);
  LogThrottle m_noQnhLog;
  LogThrottle m_strangeQnhLog;

  std::atomic<std::int32_t> m_lastQnh{STANDARD_QNH};
};

// Ignores vehicles, splits the line into its fields (each trimmed of
// surrounding blanks, as real lines carry them) and runs processLine.
void lf_onTrafficDatagram(TrafficReader& reader, std::string_view datagram);
// Sets the traffic light to stopped and logs it.
void lf_onTrafficReaderStopped();
// Reads the "QNH" of a JSON datagram and applies a plausible value.
void lf_onQnhDatagram(WeatherReader& reader, std::string_view datagram);
// Logs the stop; the pressure light keeps its value.
void lf_onQnhReaderStopped();

extern TrafficReader gTrafficReader;
extern WeatherReader gWeatherReader;

// Thread bodies of the two readers, started detached by the start-up.
void lf_trafficReaderThread(std::uint16_t port);
void lf_qnhReaderThread(std::uint16_t port);

// Stops both readers (the shutdown).
void gf_stopRealTrafficReaders();
// The watchdog: a light turns to 2 when nothing arrived since the last run and
// back to 1 when datagrams flow again. Does nothing until RealTraffic connected.
void gf_checkReaders();
// Back to the state of a fresh start (in-process restart).
void gf_resetRealTrafficReaders();

// "{:.6f},{:.6f}" of latitude and longitude.
std::string gf_latLonText(const LatLon& position);
// False for the null box a feed gives for an unknown position:
// 0 <= latitude <= 0.0009 and 0 <= longitude <= 0.05.
bool gf_isRealPosition(const LatLon& position);
