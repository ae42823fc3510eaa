#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "platform/simconnect.h"
#include "platform/simconnect_wire.h"
#ifdef _WIN32
#include "platform/system.h"
#endif

using namespace std::chrono_literals;
using simwire::Call;

namespace {

// The simulator's end of one connection, played by the test.
class FakeSim {
 public:
  FakeSim() : m_listener(simwire::Listener::listen(0)) {
    gf_setSimConnectAddress("127.0.0.1:" + std::to_string(m_listener.port()));
  }
  ~FakeSim() { gf_setSimConnectAddress(""); }

  // Accepts the client and takes its open packet.
  std::vector<std::byte> accept() {
    auto s = m_listener.accept(3s);
    if (!s) return {};
    m_stream = std::move(*s);
    return next();
  }
  std::vector<std::byte> next() {
    for (;;) {
      auto p = m_in.next();
      if (!p.empty()) return {p.begin(), p.end()};
      if (m_stream.receive(m_in.buffer(), 3s) != simwire::RecvStatus::Data) return {};
    }
  }
  void sendBytes(const void* data, std::size_t size) {
    ASSERT_TRUE(m_stream.sendAll(std::span(static_cast<const std::byte*>(data), size)));
  }
  template <typename M>
  void send(M m, DWORD id) {
    m.dwSize = sizeof m;
    m.dwVersion = simwire::gProtocolVersion;
    m.dwID = id;
    sendBytes(&m, sizeof m);
  }
  void close() { m_stream.close(); }

 private:
  simwire::Listener m_listener;
  simwire::Stream m_stream;
  simwire::PacketAssembler m_in;
};

struct Seen {
  std::vector<DWORD> ids;
  std::vector<double> values;
  bool aligned = true;
};

void lf_collect(SIMCONNECT_RECV* msg, DWORD, void* ctx) {
  auto* seen = static_cast<Seen*>(ctx);
  seen->ids.push_back(msg->dwID);
  seen->aligned = seen->aligned && reinterpret_cast<std::uintptr_t>(msg) % 8 == 0;
  if (msg->dwID == SIMCONNECT_RECV_ID_SIMOBJECT_DATA) {
    auto* data = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(msg);
    auto* block = reinterpret_cast<const double*>(&data->dwData);  // aligned, so read in place
    seen->values.assign(block, block + data->dwDefineCount);
  }
}

// Opens against the fake simulator, which accepts; the handle or null.
HANDLE lf_open(FakeSim& sim, std::vector<std::byte>* openPacket = nullptr) {
  HANDLE h = nullptr;
  std::thread server([&] {
    auto packet = sim.accept();
    if (openPacket) *openPacket = packet;
    SIMCONNECT_RECV_OPEN open{};
    std::strcpy(open.szApplicationName, "KittyHawk");
    sim.send(open, SIMCONNECT_RECV_ID_OPEN);
  });
  HRESULT hr = SimConnect_Open(&h, "Skylume", nullptr, 0, nullptr, 0);
  server.join();
  return SUCCEEDED(hr) ? h : nullptr;
}

bool lf_dispatchUntil(HANDLE h, Seen& seen, std::size_t count) {
  for (int i = 0; i < 100 && seen.ids.size() < count; ++i) {
    if (FAILED(SimConnect_CallDispatch(h, lf_collect, &seen))) return false;
    if (seen.ids.size() < count) gf_simConnectWaitForMessage(h, 100ms);
  }
  return seen.ids.size() >= count;
}

TEST(SimWire, PacketsSurviveArbitrarySplitsAndShortPacketsAreCaught) {
  simwire::Writer w(Call::AICreateNonATCAircraft, 7);
  w.str("Stand-in A320").u32(42).f64(52.5).f32(1.5f);
  std::vector<std::byte> one = w.finish();
  std::vector<std::byte> stream = one;
  stream.insert(stream.end(), one.begin(), one.end());

  simwire::PacketAssembler in;
  int packets = 0;
  for (std::byte b : stream) {  // one byte at a time
    in.buffer().push_back(b);
    for (auto p = in.next(); !p.empty(); p = in.next()) {
      simwire::Reader r(p);
      EXPECT_EQ(r.header().call, static_cast<DWORD>(Call::AICreateNonATCAircraft));
      EXPECT_EQ(r.header().packetId, 7u);
      EXPECT_EQ(r.str(), "Stand-in A320");
      EXPECT_EQ(r.u32(), 42u);
      EXPECT_EQ(r.f64(), 52.5);
      EXPECT_EQ(r.f32(), 1.5f);
      EXPECT_THROW(r.u32(), simwire::WireError);
      ++packets;
    }
  }
  EXPECT_EQ(packets, 2);

  // A string claiming more bytes than the packet has.
  simwire::Writer bad(Call::MapClientEventToSimEvent, 1);
  bad.u32(1000);
  simwire::Reader r(bad.finish());
  EXPECT_THROW(r.str(), simwire::WireError);

  simwire::PacketAssembler nonsense;
  DWORD tiny = 3;
  nonsense.buffer().resize(sizeof tiny);
  std::memcpy(nonsense.buffer().data(), &tiny, sizeof tiny);
  EXPECT_THROW(nonsense.next(), simwire::WireError);
}

TEST(SimWire, OversizedAndStalledPacketsAreRefused) {
  std::chrono::steady_clock::time_point now{};
  simwire::PacketAssembler in(64, [&] { return now; });
  simwire::Writer w(Call::Close, 1);
  auto packet = w.finish();
  in.buffer().assign(packet.begin(), packet.end() - 1);  // all but its last byte
  EXPECT_TRUE(in.next().empty());
  EXPECT_FALSE(in.ready());
  now += simwire::gPartialPacketTimeout;
  EXPECT_FALSE(in.stalled());
  now += 1ms;
  EXPECT_TRUE(in.stalled());
  in.buffer().push_back(packet.back());
  EXPECT_TRUE(in.ready());
  EXPECT_FALSE(in.next().empty());
  EXPECT_TRUE(in.next().empty());
  EXPECT_FALSE(in.stalled()) << "nothing partial is left";

  const DWORD big = 65;
  in.buffer().resize(sizeof big);
  std::memcpy(in.buffer().data(), &big, sizeof big);
  EXPECT_THROW(in.next(), simwire::WireError);
}

// The dispatch's way of reading: another read whenever less than one is
// pending, at most 1024 messages taken per round, while the peer never stops.
TEST(SimWire, AFloodKeepsTheBufferWithinTwoReadsAndGivesItBack) {
  std::vector<std::byte> read;
  while (read.size() + sizeof(SIMCONNECT_RECV_EVENT) <= simwire::gMaxReceiveBytes) {
    SIMCONNECT_RECV_EVENT event{};
    event.dwSize = sizeof event;
    event.dwID = SIMCONNECT_RECV_ID_EVENT;
    const auto bytes = std::as_bytes(std::span(&event, 1));
    read.insert(read.end(), bytes.begin(), bytes.end());
  }
  simwire::PacketAssembler in(simwire::gMaxMessageSize);
  std::size_t sent = 0, taken = 0, largest = 0;
  constexpr std::size_t kFlood = 50u << 20;
  while (sent < kFlood || in.pending() > 0) {
    if (sent < kFlood && in.pending() < simwire::gMaxReceiveBytes) {
      in.buffer().insert(in.buffer().end(), read.begin(), read.end());
      sent += read.size();
    }
    largest = std::max(largest, in.buffer().capacity());
    for (int budget = 1024; budget > 0 && !in.next().empty(); --budget) ++taken;
  }
  EXPECT_EQ(taken * sizeof(SIMCONNECT_RECV_EVENT), sent);
  EXPECT_LE(largest, 2 * simwire::gMaxReceiveBytes);
  EXPECT_LE(in.buffer().capacity(), simwire::gMaxReceiveBytes / 2) << "kept after the flood";
}

TEST(SimWire, AddressesAndLoopbackOnly) {
  std::string host;
  std::uint16_t port = 0;
  EXPECT_TRUE(simwire::gf_splitAddress("127.0.0.2:5000", host, port));
  EXPECT_EQ(host, "127.0.0.2");
  EXPECT_EQ(port, 5000);
  EXPECT_TRUE(simwire::gf_splitAddress("6000", host, port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 6000);
  for (const char* bad : {"", "abc", "127.0.0.1:0", "127.0.0.1:70000", ":5000", "127.0.0.1:50x"})
    EXPECT_FALSE(simwire::gf_splitAddress(bad, host, port)) << bad;
  EXPECT_FALSE(simwire::Stream::connect("192.0.2.1", 5000).has_value());

  gf_setSimConnectAddress("127.0.0.1:1234");
  EXPECT_EQ(gf_simConnectAddress(), "127.0.0.1:1234");
  gf_setSimConnectAddress("");
  EXPECT_NE(gf_simConnectAddress(), "127.0.0.1:1234");
}

TEST(SimConnectClient, OpenFailsWithoutASimulatorOrWhenRefused) {
  std::uint16_t unused = simwire::Listener::listen(0).port();
  gf_setSimConnectAddress("127.0.0.1:" + std::to_string(unused));
  HANDLE h = reinterpret_cast<HANDLE>(1);
  EXPECT_EQ(SimConnect_Open(&h, "Skylume", nullptr, 0, nullptr, 0), E_FAIL);
  EXPECT_EQ(h, nullptr);

  FakeSim sim;
  std::thread server([&] {
    sim.accept();
    sim.send(SIMCONNECT_RECV{}, simwire::gOpenRefusedId);
  });
  EXPECT_EQ(SimConnect_Open(&h, "Skylume", nullptr, 0, nullptr, 0), E_FAIL);
  server.join();
  EXPECT_EQ(h, nullptr);
}

TEST(SimConnectClient, CallsTravelInOrderAndMessagesArriveAlignedInDispatch) {
  FakeSim sim;
  std::vector<std::byte> openPacket;
  HANDLE h = lf_open(sim, &openPacket);
  ASSERT_NE(h, nullptr);
  simwire::Reader open(openPacket);
  EXPECT_EQ(open.header().call, static_cast<DWORD>(Call::Open));
  EXPECT_EQ(open.str(), "Skylume");

  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 204, "Frame"), S_OK);
  SIMCONNECT_DATA_INITPOSITION pos{52.3, 4.7, 100, 1, 2, 270, 1, 0};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Stand-in A320", "KLM1", pos, 104), S_OK);
  DWORD last = 0;
  ASSERT_EQ(SimConnect_GetLastSentPacketID(h, &last), S_OK);
  EXPECT_EQ(last, 3u);  // open, subscribe, create

  auto sub = sim.next();
  simwire::Reader r1(sub);
  EXPECT_EQ(r1.header().call, static_cast<DWORD>(Call::SubscribeToSystemEvent));
  EXPECT_EQ(r1.header().packetId, 2u);
  EXPECT_EQ(r1.u32(), 204u);
  EXPECT_EQ(r1.str(), "Frame");
  auto create = sim.next();
  simwire::Reader r2(create);
  EXPECT_EQ(r2.header().packetId, 3u);
  EXPECT_EQ(r2.str(), "Stand-in A320");
  EXPECT_EQ(r2.str(), "KLM1");
  EXPECT_EQ(r2.f64(), 52.3);

  // A frame, then a data answer sent in two pieces.
  SIMCONNECT_RECV_EVENT_FRAME frame{};
  frame.uEventID = 204;
  frame.fFrameRate = 30;
  sim.send(frame, SIMCONNECT_RECV_ID_EVENT_FRAME);
  std::vector<std::byte> data(simwire::gDataOffset + 16);
  SIMCONNECT_RECV_SIMOBJECT_DATA head{};
  head.dwSize = static_cast<DWORD>(data.size());
  head.dwID = SIMCONNECT_RECV_ID_SIMOBJECT_DATA;
  head.dwDefineCount = 2;
  std::memcpy(data.data(), &head, simwire::gDataOffset);
  double values[2] = {7.5, -11.0};
  std::memcpy(data.data() + simwire::gDataOffset, values, sizeof values);
  sim.sendBytes(data.data(), 13);

  Seen seen;
  ASSERT_TRUE(lf_dispatchUntil(h, seen, 2));  // OPEN and the frame; the answer is incomplete
  EXPECT_EQ(seen.ids, (std::vector<DWORD>{SIMCONNECT_RECV_ID_OPEN, SIMCONNECT_RECV_ID_EVENT_FRAME}));
  sim.sendBytes(data.data() + 13, data.size() - 13);
  ASSERT_TRUE(lf_dispatchUntil(h, seen, 3));
  EXPECT_EQ(seen.ids.back(), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
  EXPECT_EQ(seen.values, (std::vector<double>{7.5, -11.0}));
  EXPECT_TRUE(seen.aligned);
  EXPECT_EQ(SimConnect_Close(h), S_OK);
  auto close = sim.next();
  ASSERT_FALSE(close.empty());
  EXPECT_EQ(simwire::Reader(close).header().call, static_cast<DWORD>(Call::Close));
}

TEST(SimConnectClient, AClosingClientLetsTheSimulatorEndTheLink) {
  FakeSim sim;
  HANDLE h = lf_open(sim);
  ASSERT_NE(h, nullptr);
  // Frames the client never reads: a link closed over unread data is reset,
  // and a simulator whose next send fails drops the Close it has not read yet.
  SIMCONNECT_RECV_EVENT_FRAME frame{};
  for (int i = 0; i < 100; ++i) sim.send(frame, SIMCONNECT_RECV_ID_EVENT_FRAME);
  std::thread closing([&] { EXPECT_EQ(SimConnect_Close(h), S_OK); });
  auto close = sim.next();
  ASSERT_FALSE(close.empty());
  EXPECT_EQ(simwire::Reader(close).header().call, static_cast<DWORD>(Call::Close));
  // Time for a client that does not wait to close its end (no event tells it).
  std::this_thread::sleep_for(100ms);
  sim.send(frame, SIMCONNECT_RECV_ID_EVENT_FRAME);
  sim.send(frame, SIMCONNECT_RECV_ID_EVENT_FRAME);
  sim.close();  // the simulator ends the link on a Close
  closing.join();
}

TEST(SimConnectClient, InjectedFailuresSendNothing) {
  FakeSim sim;
  HANDLE h = lf_open(sim);
  ASSERT_NE(h, nullptr);
  gf_simConnectFailNextCalls("AIRemoveObject", 2);
  gf_simConnectFailNextCalls("GetLastSentPacketID", 1);
  EXPECT_EQ(SimConnect_AIRemoveObject(h, 300, 105), E_FAIL);
  EXPECT_EQ(SimConnect_AIRemoveObject(h, 300, 105), E_FAIL);
  DWORD last = 0;
  EXPECT_EQ(SimConnect_GetLastSentPacketID(h, &last), E_FAIL);
  EXPECT_EQ(SimConnect_GetLastSentPacketID(h, &last), S_OK);
  EXPECT_EQ(last, 1u);  // only the open went out
  EXPECT_EQ(SimConnect_AIRemoveObject(h, 300, 105), S_OK);
  simwire::Reader r(sim.next());
  EXPECT_EQ(r.header().call, static_cast<DWORD>(Call::AIRemoveObject));
  EXPECT_EQ(r.header().packetId, 2u);
  SimConnect_Close(h);
}

TEST(SimConnectClient, ALostConnectionIsOneQuitThenFailures) {
  FakeSim sim;
  HANDLE h = lf_open(sim);
  ASSERT_NE(h, nullptr);
  SIMCONNECT_RECV_EVENT ev{};
  ev.uEventID = 201;
  ev.dwData = 1;
  sim.send(ev, SIMCONNECT_RECV_ID_EVENT);
  sim.close();
  Seen seen;
  ASSERT_TRUE(lf_dispatchUntil(h, seen, 3));
  // Everything sent before the end is still delivered, then the loss.
  EXPECT_EQ(seen.ids, (std::vector<DWORD>{SIMCONNECT_RECV_ID_OPEN, SIMCONNECT_RECV_ID_EVENT, SIMCONNECT_RECV_ID_QUIT}));
  EXPECT_EQ(SimConnect_CallDispatch(h, lf_collect, &seen), E_FAIL);
  EXPECT_EQ(seen.ids.size(), 3u);
  EXPECT_FALSE(gf_simConnectWaitForMessage(h, 10ms));
  EXPECT_EQ(SimConnect_RequestDataOnSimObject(h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE), E_FAIL);
  EXPECT_EQ(SimConnect_Close(h), S_OK);
}

TEST(SimConnectClient, AGarbledStreamCountsAsLost) {
  FakeSim sim;
  HANDLE h = lf_open(sim);
  ASSERT_NE(h, nullptr);
  DWORD garbage[3] = {2, 0, 0};  // a message shorter than its own header
  sim.sendBytes(garbage, sizeof garbage);
  Seen seen;
  ASSERT_TRUE(lf_dispatchUntil(h, seen, 2));
  EXPECT_EQ(seen.ids.back(), SIMCONNECT_RECV_ID_QUIT);
  SimConnect_Close(h);
}

TEST(SimConnectClient, AShortMessageReadsAsZerosNotPastItsEnd) {
  FakeSim sim;
  std::thread server([&] {
    sim.accept();
    sim.send(SIMCONNECT_RECV{}, SIMCONNECT_RECV_ID_OPEN);  // the header alone
  });
  HANDLE h = nullptr;
  ASSERT_EQ(SimConnect_Open(&h, "Skylume", nullptr, 0, nullptr, 0), S_OK);
  server.join();
  SIMCONNECT_RECV_OPEN open;
  std::memset(&open, 0xAB, sizeof open);
  ASSERT_EQ(SimConnect_CallDispatch(
                h, [](SIMCONNECT_RECV* msg, DWORD, void* ctx) { std::memcpy(ctx, msg, sizeof(SIMCONNECT_RECV_OPEN)); },
                &open),
            S_OK);
  EXPECT_EQ(open.dwID, SIMCONNECT_RECV_ID_OPEN);
  EXPECT_EQ(open.szApplicationName[0], '\0');
  EXPECT_EQ(open.dwApplicationBuildMinor, 0u);
  EXPECT_EQ(open.dwReserved2, 0u);
  SimConnect_Close(h);
}

std::vector<std::string> gWireLog;
void lf_keepLine(const std::string& line) { gWireLog.push_back(line); }

TEST(SimConnectClient, ADispatchHandsOverABudgetAndTheNextGoesOn) {
  FakeSim sim;
  HANDLE h = lf_open(sim);
  ASSERT_NE(h, nullptr);
  constexpr DWORD kSent = 3000;
  std::vector<SIMCONNECT_RECV_EVENT> flood(kSent);
  for (DWORD i = 0; i < kSent; ++i) {
    flood[i].dwSize = sizeof flood[i];
    flood[i].dwVersion = simwire::gProtocolVersion;
    flood[i].dwID = SIMCONNECT_RECV_ID_EVENT;
    flood[i].dwData = i;
  }
  sim.sendBytes(flood.data(), flood.size() * sizeof flood[0]);
  std::vector<DWORD> data;
  std::size_t largestDispatch = 0;
  for (int i = 0; i < 200 && data.size() < kSent; ++i) {
    std::size_t before = data.size();
    ASSERT_EQ(SimConnect_CallDispatch(
                  h,
                  [](SIMCONNECT_RECV* msg, DWORD, void* ctx) {
                    if (msg->dwID == SIMCONNECT_RECV_ID_EVENT)
                      static_cast<std::vector<DWORD>*>(ctx)->push_back(reinterpret_cast<SIMCONNECT_RECV_EVENT*>(msg)->dwData);
                  },
                  &data),
              S_OK);
    largestDispatch = std::max(largestDispatch, data.size() - before);
    if (data.size() < kSent) gf_simConnectWaitForMessage(h, 100ms);
  }
  ASSERT_EQ(data.size(), kSent);
  for (DWORD i = 0; i < kSent; ++i) ASSERT_EQ(data[i], i);
  EXPECT_LE(largestDispatch, 1024u);
  SimConnect_Close(h);
}

TEST(SimConnectClient, AnOversizedOrUnfinishedMessageEndsTheLinkWithALogLine) {
  gf_setSimConnectLogHook(&lf_keepLine);
  struct Case {
    const char* what;
    DWORD size;
    std::size_t sent;  // bytes of the message actually sent
    const char* line;
  };
  for (const Case& c : {Case{"larger than any message", 1u << 20, 12, "SimConnect: packet of 1048576 bytes"},
                        Case{"half sent", 64, 20, "SimConnect: a message left incomplete for over 5 s"}}) {
    SCOPED_TRACE(c.what);
    gWireLog.clear();
    FakeSim sim;
    HANDLE h = lf_open(sim);
    ASSERT_NE(h, nullptr);
    std::vector<DWORD> message(c.sent / sizeof(DWORD), 0);
    message[0] = c.size;
    message[2] = SIMCONNECT_RECV_ID_EVENT;
    sim.sendBytes(message.data(), c.sent);
    Seen seen;
    const auto deadline = std::chrono::steady_clock::now() + simwire::gPartialPacketTimeout + 10s;
    while ((seen.ids.empty() || seen.ids.back() != SIMCONNECT_RECV_ID_QUIT) && std::chrono::steady_clock::now() < deadline) {
      ASSERT_EQ(SimConnect_CallDispatch(h, lf_collect, &seen), S_OK);
      gf_simConnectWaitForMessage(h, 1s);
    }
    ASSERT_FALSE(seen.ids.empty());
    EXPECT_EQ(seen.ids.back(), SIMCONNECT_RECV_ID_QUIT);
    ASSERT_EQ(gWireLog.size(), 1u);
    EXPECT_TRUE(gWireLog[0].starts_with(c.line)) << gWireLog[0];
    SimConnect_Close(h);
  }
  gf_setSimConnectLogHook(nullptr);
}

// What a handler throws leaves CallDispatch as thrown, and nothing more of
// that call is handed on. On Windows the throw must not unwind through the
// library: the stand-in library ends the test program if it does.
TEST(SimConnectClient, AHandlersExceptionLeavesCallDispatchAndStopsItsMessages) {
  FakeSim sim;
  HANDLE h = lf_open(sim);
  ASSERT_NE(h, nullptr);
  Seen seen;
  ASSERT_TRUE(lf_dispatchUntil(h, seen, 1));
  SIMCONNECT_RECV_EVENT events[2] = {};
  for (auto& event : events) {
    event.dwSize = sizeof event;
    event.dwVersion = simwire::gProtocolVersion;
    event.dwID = SIMCONNECT_RECV_ID_EVENT;
  }
  sim.sendBytes(events, sizeof events);
  ASSERT_TRUE(gf_simConnectWaitForMessage(h, 3s));
  int handed = 0;
  try {
    SimConnect_CallDispatch(
        h,
        [](SIMCONNECT_RECV*, DWORD, void* ctx) {
          ++*static_cast<int*>(ctx);
          throw std::runtime_error("71: refused");
        },
        &handed);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "71: refused");
  }
  EXPECT_EQ(handed, 1);
  EXPECT_EQ(SimConnect_Close(h), S_OK);
}

TEST(SimConnectClient, NullHandlesFail) {
  EXPECT_EQ(SimConnect_CallDispatch(nullptr, lf_collect, nullptr), E_FAIL);
  EXPECT_EQ(SimConnect_TransmitClientEvent(nullptr, 1, 2, 3, 301, 0), E_FAIL);
  EXPECT_EQ(SimConnect_Close(nullptr), E_FAIL);
  EXPECT_EQ(SimConnect_Open(nullptr, "Skylume", nullptr, 0, nullptr, 0), E_INVALIDARG);
}

#ifdef _WIN32
// The simulator's library is looked for beside the program, or where
// SKLM_SIMCONNECT_DLL says; until one with every function loads, opening fails
// and the reason is told. ctest runs each test in a process of its own, so no
// library is loaded before this test begins.
TEST(SimConnectLibrary, AMissingOrForeignLibraryIsNamedAndOpenFailsUntilOneLoads) {
  const auto standin = gf_environmentVariable("SKLM_SIMCONNECT_DLL");
  ASSERT_TRUE(standin) << "ctest names the stand-in library";
  HANDLE h = nullptr;
  ASSERT_TRUE(gf_setEnvironmentVariable("SKLM_SIMCONNECT_DLL", std::nullopt));
  EXPECT_EQ(gf_simConnectLibraryProblem(), "SimConnect.dll not found beside skylume.exe");
  EXPECT_EQ(SimConnect_Open(&h, "Skylume", nullptr, 0, nullptr, 0), E_FAIL);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(SimConnect_CallDispatch(h, lf_collect, nullptr), E_FAIL);
  const std::string missing = *standin + ".gone";
  ASSERT_TRUE(gf_setEnvironmentVariable("SKLM_SIMCONNECT_DLL", missing));
  EXPECT_EQ(gf_simConnectLibraryProblem(), missing + " not found");
  const std::string foreign = "C:\\windows\\system32\\kernel32.dll";
  ASSERT_TRUE(gf_setEnvironmentVariable("SKLM_SIMCONNECT_DLL", foreign));
  EXPECT_EQ(gf_simConnectLibraryProblem(), foreign + " has no SimConnect_Open");
  EXPECT_EQ(SimConnect_Open(&h, "Skylume", nullptr, 0, nullptr, 0), E_FAIL);
  // Not a library at all, as a 32-bit one is not for this program: the system
  // refuses both with error 193, which the user is told in words.
  const std::filesystem::path notLibrary =
      std::filesystem::temp_directory_path() / ("sklm_simconnect_" + std::to_string(GetCurrentProcessId()) + ".dll");
  std::ofstream(notLibrary) << "not a library\r\n";
  ASSERT_TRUE(gf_setEnvironmentVariable("SKLM_SIMCONNECT_DLL", notLibrary.string()));
  EXPECT_EQ(gf_simConnectLibraryProblem(), notLibrary.string() + " is not a 64-bit SimConnect.dll (error 193)");
  std::filesystem::remove(notLibrary);

  ASSERT_TRUE(gf_setEnvironmentVariable("SKLM_SIMCONNECT_DLL", *standin));
  EXPECT_EQ(gf_simConnectLibraryProblem(), "");
  FakeSim sim;
  h = lf_open(sim);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(SimConnect_Close(h), S_OK);
}
#endif

}  // namespace
