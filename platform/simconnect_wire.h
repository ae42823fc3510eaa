#pragma once
// What travels between the SimConnect client layer and the stand-in simulator,
// and the loopback transport both ends use.
//
// Client to simulator: a packet header (size, call, packet id) followed by the
// call's arguments, each little-endian: DWORD, float, double, and strings and
// byte blocks as a DWORD length followed by the bytes.
// Simulator to client: SIMCONNECT_RECV messages exactly as the dispatch gets them.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/simconnect.h"
#include "platform/win_types.h"

namespace simwire {

enum class Call : DWORD {
  Open = 1,
  Close,
  SubscribeToSystemEvent,
  UnsubscribeFromSystemEvent,
  AddToDataDefinition,
  ClearDataDefinition,
  MapClientEventToSimEvent,
  AddClientEventToNotificationGroup,
  SetNotificationGroupPriority,
  RequestDataOnSimObject,
  RequestDataOnSimObjectType,
  SetDataOnSimObject,
  TransmitClientEvent,
  AICreateNonATCAircraft,
  AIRemoveObject,
  AIReleaseControl,
  AISetAircraftFlightPlan,
};
// The function name without its "SimConnect_" prefix; empty for an unknown value.
std::string_view gf_callName(Call call);
std::optional<Call> gf_callFromName(std::string_view name);

// Simulator-to-client message ids outside the public range, never dispatched.
constexpr DWORD gOpenRefusedId = 0x7F000001u;

// 2: a set of data carries the program's time of it after its block.
constexpr DWORD gProtocolVersion = 2;
// Where the data block of a SIMOBJECT_DATA message begins.
constexpr std::size_t gDataOffset = sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) - sizeof(DWORD);
static_assert(gDataOffset == 40);
// The largest packet a client sends (its data block is refused above half of it).
constexpr std::size_t gMaxPacketSize = 1u << 20;
// The largest message the simulator sends: a few fixed fields and a data block
// of a handful of values and titles. Anything larger is not a simulator.
constexpr std::size_t gMaxMessageSize = 1u << 16;
// A packet begun and not completed within this time ends the link: a peer that
// stopped half-way would otherwise be waited for forever.
constexpr std::chrono::seconds gPartialPacketTimeout{5};
// What one receive takes from the socket at most, so that a peer that keeps
// sending never holds a reader in one call nor grows its buffer without end.
constexpr std::size_t gMaxReceiveBytes = 256u << 10;

struct PacketHeader {
  DWORD size;  // whole packet, header included
  DWORD call;
  DWORD packetId;
};

class WireError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Writer {
 public:
  explicit Writer(Call call, DWORD packetId = 0);
  Writer& u32(DWORD value);
  Writer& f32(float value);
  Writer& f64(double value);
  Writer& str(std::string_view text);
  Writer& bytes(std::span<const std::byte> data);
  // Fills in the size and returns the finished packet.
  std::vector<std::byte>& finish();
  void setPacketId(DWORD packetId);

 private:
  void raw(const void* data, std::size_t size);
  std::vector<std::byte> m_buf;
};

// Reads the arguments of one packet; every read past the end throws WireError.
class Reader {
 public:
  explicit Reader(std::span<const std::byte> packet);
  const PacketHeader& header() const { return m_header; }
  DWORD u32();
  float f32();
  double f64();
  std::string str();
  std::vector<std::byte> bytes();

 private:
  void raw(void* data, std::size_t size);
  // A DWORD length and that many bytes.
  std::span<const std::byte> block();
  std::span<const std::byte> m_data;
  std::size_t m_pos = 0;
  PacketHeader m_header{};
};

// Splits a byte stream into whole packets by their leading size.
class PacketAssembler {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // Packets above maxPacket are refused; the clock (steady by default) times
  // a partial packet.
  explicit PacketAssembler(std::size_t maxPacket = gMaxPacketSize, Clock clock = {});

  // Where a reader appends what arrived. What next() handed out is dropped
  // first, so the buffer never holds more than the pending bytes and the one
  // append, however long the peer keeps it from running empty.
  std::vector<std::byte>& buffer();
  // The next whole packet, or an empty span; throws WireError on a size that
  // cannot be right. The span stays valid until the next call of next() or
  // buffer().
  std::span<const std::byte> next();
  // Bytes buffered and not yet handed out by next().
  std::size_t pending() const { return m_buf.size() - m_start; }
  // A whole packet is buffered.
  bool ready() const;
  // Part of a packet has waited longer than the timeout for its rest.
  bool stalled(std::chrono::steady_clock::duration timeout = gPartialPacketTimeout) const;

 private:
  std::vector<std::byte> m_buf;
  std::size_t m_start = 0;
  std::size_t m_maxPacket;
  Clock m_clock;
  std::optional<std::chrono::steady_clock::time_point> m_partialSince;
};

enum class RecvStatus { Data, Timeout, Closed };

// A connected loopback TCP stream.
class Stream {
 public:
  Stream() = default;
  explicit Stream(int fd);
  Stream(Stream&& other) noexcept;
  Stream& operator=(Stream&& other) noexcept;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream();

  // Only addresses in 127.0.0.0/8 are accepted.
  static std::optional<Stream> connect(const std::string& host, std::uint16_t port);
  bool valid() const { return m_fd >= 0; }
  // Writes everything or gives up (false) after the send timeout.
  bool sendAll(std::span<const std::byte> data);
  // Waits up to `wait` for data, then appends what has arrived to `into`, at
  // most gMaxReceiveBytes.
  RecvStatus receive(std::vector<std::byte>& into, std::chrono::milliseconds wait);
  // Waits for readable data without reading it.
  RecvStatus waitReadable(std::chrono::milliseconds wait);
  // Ends both directions; a thread blocked in receive returns Closed.
  void shutdown();
  // Ends the stream after what was sent and lets the peer end it too: no more
  // writes, then whatever arrives is dropped until the peer closes or the
  // bound passes. Closing over unread data would reset the link, and a peer
  // whose send then fails may drop the last message before reading it.
  void closeAfterPeer(std::chrono::milliseconds bound);
  void close();
  void setSendTimeout(std::chrono::milliseconds timeout);

 private:
  void shutdownSend();
  int m_fd = -1;
};

// A listening TCP socket on 127.0.0.1.
class Listener {
 public:
  Listener() = default;
  Listener(Listener&&) noexcept;
  Listener& operator=(Listener&&) noexcept;
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  ~Listener();

  // Port 0 takes any free port. Throws std::runtime_error when it cannot listen.
  static Listener listen(std::uint16_t port);
  std::uint16_t port() const { return m_port; }
  std::optional<Stream> accept(std::chrono::milliseconds wait);
  // Wakes a thread waiting in accept; no connection is taken afterwards.
  void shutdown();
  void close();

 private:
  int m_fd = -1;
  std::uint16_t m_port = 0;
};

// Splits "host:port" or "port"; false when the text is neither.
bool gf_splitAddress(const std::string& address, std::string& host, std::uint16_t& port);

// A child process, for tests that must kill a simulator abruptly. Its
// standard input is a pipe this object holds open until closeInput or wait.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(ChildProcess&&) noexcept;
  ChildProcess& operator=(ChildProcess&&) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();  // kills and reaps a child still running

  // Throws std::runtime_error when the program cannot be started.
  static ChildProcess spawn(const std::string& program, const std::vector<std::string>& args);
  bool running() const { return m_pid > 0; }
  // Writes to the child's standard input; false once it is closed.
  bool writeInput(std::string_view text);
  // The child reads the end of its input.
  void closeInput();
  void kill();  // abrupt, as a crash would be; waits for the end
  int wait();   // closes the input, then waits; the exit code

 private:
  int m_pid = -1;
  int m_input = -1;
};

}  // namespace simwire
