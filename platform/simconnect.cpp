// The loopback client: on Linux the program's SimConnect; on Windows built
// only into simconnect-standin.dll, which stands in for the simulator's own
// library under test (platform/simconnect_dll.cpp loads either).
#if !defined(_WIN32) || defined(SKLM_SIMCONNECT_STANDIN_DLL)
#include "platform/simconnect.h"

#include <algorithm>
#include <limits>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "platform/simconnect_wire.h"

using simwire::Call;

namespace {

constexpr auto kOpenAnswerWait = std::chrono::milliseconds(3000);
constexpr auto kSendTimeout = std::chrono::milliseconds(5000);
// Messages one dispatch hands over at most; the next dispatch goes on, so a
// simulator that keeps sending never holds the caller in one call.
constexpr int kDispatchBudget = 1024;
// How long a Close waits for the simulator to end the link after reading it.
constexpr auto kCloseLinger = std::chrono::milliseconds(1000);

struct Client {
  simwire::Stream stream;

  std::mutex sendMutex;
  DWORD packetCounter = 0;  // under sendMutex
  // Calls made by the thread inside CallDispatch (a Frame's whole flush) go
  // out as one write when the dispatch returns; under sendMutex.
  std::vector<std::byte> batch;
  std::atomic<std::thread::id> dispatching{};
  std::atomic<DWORD> lastPacketId{0};
  std::atomic<bool> broken{false};

  std::mutex dispatchMutex;  // everything below
  simwire::PacketAssembler in{simwire::gMaxMessageSize};
  std::vector<std::vector<std::byte>> early;  // arrived with the open answer
  std::vector<std::uint64_t> aligned;
  bool lost = false;
  bool quitSeen = false;
};

Client* lf_client(HANDLE h) { return reinterpret_cast<Client*>(h); }

void lf_logToStderr(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }
std::atomic<SimConnectLogHook> gLogHook{&lf_logToStderr};

void lf_logLine(const std::string& line) { gLogHook.load()(line); }

std::mutex gAddressMutex;
std::string gAddressOverride;

std::mutex gFailMutex;
std::map<std::string, int, std::less<>> gFailCounts;
std::atomic<int> gFailPending{0};

bool lf_injectedFailure(std::string_view function) {
  if (gFailPending.load() == 0) return false;
  std::lock_guard lk(gFailMutex);
  auto it = gFailCounts.find(function);
  if (it == gFailCounts.end() || it->second <= 0) return false;
  if (--it->second == 0) gFailCounts.erase(it);
  gFailPending.fetch_sub(1);
  return true;
}

constexpr std::size_t kBatchLimit = 64 * 1024;

// Built as the stand-in for the simulator's library, the client hands messages
// over 4 bytes off an 8-byte boundary: nothing promises better there, and the
// loader must cope.
#ifdef SKLM_SIMCONNECT_STANDIN_DLL
constexpr std::size_t kHandOverOffset = 4;
#else
constexpr std::size_t kHandOverOffset = 0;
#endif

// Sends what the dispatch thread batched; under sendMutex.
bool lf_flushBatch(Client& c) {
  if (c.batch.empty()) return true;
  bool sent = c.stream.sendAll(c.batch);
  c.batch.clear();
  return sent;
}

// The program's time of the set this thread sends next; NaN: not told. The set
// takes it, so one the program did not time carries none rather than an older
// set's: a thread that once sent timed sets would date all later ones by it.
thread_local double tDataTicks = std::numeric_limits<double>::quiet_NaN();

template <typename Fill>
HRESULT lf_send(HANDLE h, Call call, Fill&& fill) {
  Client* c = lf_client(h);
  if (!c) return E_FAIL;
  if (lf_injectedFailure(simwire::gf_callName(call)) || c->broken.load()) return E_FAIL;
  simwire::Writer w(call);
  fill(w);
  std::lock_guard lk(c->sendMutex);
  DWORD id = ++c->packetCounter;
  w.setPacketId(id);
  const auto& packet = w.finish();
  bool sent;
  if (c->dispatching.load() == std::this_thread::get_id()) {
    c->batch.insert(c->batch.end(), packet.begin(), packet.end());
    sent = c->batch.size() < kBatchLimit || lf_flushBatch(*c);
  } else {
    // Another thread's call follows what the dispatch batched, in packet order.
    sent = lf_flushBatch(*c) && c->stream.sendAll(packet);
  }
  if (!sent) {
    c->broken = true;
    return E_FAIL;
  }
  c->lastPacketId = id;
  return S_OK;
}

// Marks the calling thread as the dispatching one for its lifetime and sends
// its batch at the end, on every way out.
class DispatchBatch {
 public:
  explicit DispatchBatch(Client& c) : m_c(c) { m_c.dispatching = std::this_thread::get_id(); }
  ~DispatchBatch() {
    std::lock_guard lk(m_c.sendMutex);
    m_c.dispatching = std::thread::id{};
    if (!lf_flushBatch(m_c)) m_c.broken = true;
  }
  DispatchBatch(const DispatchBatch&) = delete;
  DispatchBatch& operator=(const DispatchBatch&) = delete;

 private:
  Client& m_c;
};

std::string lf_text(const char* s) { return s ? std::string(s) : std::string(); }

// Copies a message into aligned storage, at least as large as the biggest
// fixed message so that a short packet never lets the handler read past it.
SIMCONNECT_RECV* lf_aligned(Client& c, std::span<const std::byte> packet) {
  constexpr std::size_t kLargestFixed = std::max({sizeof(SIMCONNECT_RECV_OPEN), sizeof(SIMCONNECT_RECV_EVENT_FILENAME),
                                                   sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA)});
  std::size_t size = std::max(packet.size(), kLargestFixed) + kHandOverOffset;
  c.aligned.assign((size + 7) / 8, 0);
  auto* at = reinterpret_cast<std::byte*>(c.aligned.data()) + kHandOverOffset;
  std::memcpy(at, packet.data(), packet.size());
  return reinterpret_cast<SIMCONNECT_RECV*>(at);
}

void lf_deliver(Client& c, std::span<const std::byte> packet, DispatchProc proc, void* ctx) {
  SIMCONNECT_RECV* msg = lf_aligned(c, packet);
  if (msg->dwID >= simwire::gOpenRefusedId) return;  // transport's own messages
  if (msg->dwID == SIMCONNECT_RECV_ID_QUIT) c.quitSeen = true;
#ifdef SKLM_SIMCONNECT_STANDIN_DLL
  // Standing in for a library of another compiler, through which no exception
  // may unwind: one that reaches here ends the program, so that the tests
  // show it rather than the simulator's library at a user's.
  try {
    proc(msg, static_cast<DWORD>(packet.size()), ctx);
  } catch (...) {
    std::fprintf(stderr,
                 "simconnect-standin.dll: an exception of the dispatch procedure reached "
                 "SimConnect_CallDispatch, which the simulator's library would not survive\n");
    std::fflush(stderr);
    std::_Exit(3);
  }
#else
  proc(msg, static_cast<DWORD>(packet.size()), ctx);
#endif
}

}  // namespace

std::string gf_simConnectAddress() {
  {
    std::lock_guard lk(gAddressMutex);
    if (!gAddressOverride.empty()) return gAddressOverride;
  }
  // Read here, not through the system layer: the stand-in library links nothing else.
  if (const char* env = std::getenv("SKLM_SIM_ADDR"); env && *env) return env;
  return "127.0.0.1:" + std::to_string(gSimConnectDefaultPort);
}

std::string gf_simConnectLibraryProblem() { return {}; }

void gf_setSimConnectLogHook(SimConnectLogHook hook) { gLogHook.store(hook ? hook : &lf_logToStderr); }

void gf_setSimConnectAddress(const std::string& address) {
  std::lock_guard lk(gAddressMutex);
  gAddressOverride = address;
}

void gf_simConnectFailNextCalls(const std::string& function, int count) {
  std::lock_guard lk(gFailMutex);
  int& n = gFailCounts[function];
  gFailPending.fetch_add(count - n);
  n = count;
  if (n <= 0) gFailCounts.erase(function);
}

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND, DWORD, HANDLE, DWORD ConfigIndex) {
  if (!phSimConnect) return E_INVALIDARG;
  *phSimConnect = nullptr;
  if (lf_injectedFailure("Open")) return E_FAIL;
  std::string host;
  std::uint16_t port = 0;
  if (!simwire::gf_splitAddress(gf_simConnectAddress(), host, port)) return E_FAIL;
  auto stream = simwire::Stream::connect(host, port);
  if (!stream) return E_FAIL;

  auto c = std::make_unique<Client>();
  c->stream = std::move(*stream);
  c->stream.setSendTimeout(kSendTimeout);
  simwire::Writer w(Call::Open, ++c->packetCounter);
  w.str(lf_text(szName)).u32(simwire::gProtocolVersion).u32(ConfigIndex);
  if (!c->stream.sendAll(w.finish())) return E_FAIL;
  c->lastPacketId = c->packetCounter;

  // The simulator answers OPEN when it accepts the client, or refuses it.
  auto deadline = std::chrono::steady_clock::now() + kOpenAnswerWait;
  for (;;) {
    try {
      auto packet = c->in.next();
      if (!packet.empty()) {
        DWORD id;
        std::memcpy(&id, packet.data() + offsetof(SIMCONNECT_RECV, dwID), sizeof id);
        if (id != SIMCONNECT_RECV_ID_OPEN) return E_FAIL;
        c->early.emplace_back(packet.begin(), packet.end());
        break;
      }
    } catch (const simwire::WireError&) {
      return E_FAIL;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || c->stream.receive(c->in.buffer(), left) == simwire::RecvStatus::Closed)
      return E_FAIL;
  }
  *phSimConnect = reinterpret_cast<HANDLE>(c.release());
  return S_OK;
}

HRESULT SimConnect_Close(HANDLE hSimConnect) {
  Client* c = lf_client(hSimConnect);
  if (!c) return E_FAIL;
  bool failed = lf_injectedFailure("Close");
  if (!c->broken.load()) {
    simwire::Writer w(Call::Close);
    std::lock_guard lk(c->sendMutex);
    w.setPacketId(++c->packetCounter);
    if (lf_flushBatch(*c) && c->stream.sendAll(w.finish())) c->stream.closeAfterPeer(kCloseLinger);
  }
  c->stream.shutdown();
  delete c;
  return failed ? E_FAIL : S_OK;
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) {
  Client* c = lf_client(hSimConnect);
  if (!c || !pfcnDispatch) return E_FAIL;
  std::lock_guard lk(c->dispatchMutex);
  if (c->lost) return E_FAIL;
  DispatchBatch batch(*c);
  for (auto& packet : c->early) lf_deliver(*c, packet, pfcnDispatch, pContext);
  c->early.clear();

  // Read more only while what is buffered is less than one read: the buffer
  // stays bounded however fast the simulator sends.
  bool closed = c->broken.load();
  if (!closed && c->in.pending() < simwire::gMaxReceiveBytes)
    closed = c->stream.receive(c->in.buffer(), std::chrono::milliseconds(0)) == simwire::RecvStatus::Closed;
  try {
    int budget = kDispatchBudget;
    for (auto packet = c->in.next(); !packet.empty(); packet = --budget > 0 ? c->in.next() : decltype(packet)())
      lf_deliver(*c, packet, pfcnDispatch, pContext);
    if (!closed && c->in.stalled()) {
      lf_logLine("SimConnect: a message left incomplete for over " +
                 std::to_string(simwire::gPartialPacketTimeout.count()) + " s, link closed");
      closed = true;
    }
  } catch (const simwire::WireError& e) {
    // A stream that no longer makes sense is as good as gone.
    lf_logLine(std::string("SimConnect: ") + e.what() + ", link closed");
    closed = true;
  }
  if (closed) {
    // The connection is gone: the client hears it as the simulator quitting,
    // once (unless the simulator said so itself); from then on every call fails.
    c->lost = true;
    c->broken = true;
    c->stream.shutdown();
    if (c->quitSeen) return S_OK;
    SIMCONNECT_RECV_QUIT quit{};
    quit.dwSize = sizeof quit;
    quit.dwVersion = simwire::gProtocolVersion;
    quit.dwID = SIMCONNECT_RECV_ID_QUIT;
    lf_deliver(*c, std::as_bytes(std::span(&quit, 1)), pfcnDispatch, pContext);
  }
  return S_OK;
}

bool gf_simConnectWaitForMessage(HANDLE hSimConnect, std::chrono::milliseconds timeout) {
  Client* c = lf_client(hSimConnect);
  if (!c) return false;
  std::lock_guard lk(c->dispatchMutex);
  if (c->lost) return false;
  if (!c->early.empty() || c->broken.load() || c->in.ready() || c->in.stalled()) return true;
  // Wake when a partial packet would have stalled, so the link is ended in time.
  if (c->in.pending() > 0) timeout = std::min(timeout, std::chrono::milliseconds(200));
  return c->stream.waitReadable(timeout) != simwire::RecvStatus::Timeout || c->in.stalled();
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID EventID, const char* SystemEventName) {
  return lf_send(h, Call::SubscribeToSystemEvent, [&](simwire::Writer& w) { w.u32(EventID).str(lf_text(SystemEventName)); });
}

HRESULT SimConnect_UnsubscribeFromSystemEvent(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID EventID) {
  return lf_send(h, Call::UnsubscribeFromSystemEvent, [&](simwire::Writer& w) { w.u32(EventID); });
}

HRESULT SimConnect_AddToDataDefinition(HANDLE h, SIMCONNECT_DATA_DEFINITION_ID DefineID, const char* DatumName,
                                       const char* UnitsName, SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                       DWORD DatumID) {
  return lf_send(h, Call::AddToDataDefinition, [&](simwire::Writer& w) {
    w.u32(DefineID).str(lf_text(DatumName)).str(lf_text(UnitsName)).u32(DatumType).f32(fEpsilon).u32(DatumID);
  });
}

HRESULT SimConnect_ClearDataDefinition(HANDLE h, SIMCONNECT_DATA_DEFINITION_ID DefineID) {
  return lf_send(h, Call::ClearDataDefinition, [&](simwire::Writer& w) { w.u32(DefineID); });
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID EventID, const char* EventName) {
  return lf_send(h, Call::MapClientEventToSimEvent, [&](simwire::Writer& w) { w.u32(EventID).str(lf_text(EventName)); });
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE h, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID, BOOL bMaskable) {
  return lf_send(h, Call::AddClientEventToNotificationGroup, [&](simwire::Writer& w) {
    w.u32(GroupID).u32(EventID).u32(static_cast<DWORD>(bMaskable));
  });
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE h, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, DWORD uPriority) {
  return lf_send(h, Call::SetNotificationGroupPriority, [&](simwire::Writer& w) { w.u32(GroupID).u32(uPriority); });
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE h, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID, SIMCONNECT_OBJECT_ID ObjectID,
                                          SIMCONNECT_PERIOD Period, SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                          DWORD interval, DWORD limit) {
  return lf_send(h, Call::RequestDataOnSimObject, [&](simwire::Writer& w) {
    w.u32(RequestID).u32(DefineID).u32(ObjectID).u32(Period).u32(Flags).u32(origin).u32(interval).u32(limit);
  });
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE h, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID, DWORD dwRadiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type) {
  return lf_send(h, Call::RequestDataOnSimObjectType, [&](simwire::Writer& w) {
    w.u32(RequestID).u32(DefineID).u32(dwRadiusMeters).u32(type);
  });
}

void gf_simConnectNoteDataTime(std::int64_t ticks) { tDataTicks = static_cast<double>(ticks); }

HRESULT SimConnect_SetDataOnSimObject(HANDLE h, SIMCONNECT_DATA_DEFINITION_ID DefineID, SIMCONNECT_OBJECT_ID ObjectID,
                                      SIMCONNECT_DATA_SET_FLAG Flags, DWORD ArrayCount, DWORD cbUnitSize,
                                      const void* pDataSet) {
  // Taken on every way out: a refused set must not hand its time to the next.
  const double ticks = std::exchange(tDataTicks, std::numeric_limits<double>::quiet_NaN());
  // An array count of 0 means one element.
  std::size_t size = static_cast<std::size_t>(cbUnitSize) * std::max<DWORD>(ArrayCount, 1);
  if (!pDataSet && size > 0) return E_INVALIDARG;
  if (size > simwire::gMaxPacketSize / 2) return E_INVALIDARG;
  return lf_send(h, Call::SetDataOnSimObject, [&](simwire::Writer& w) {
    w.u32(DefineID).u32(ObjectID).u32(Flags).u32(ArrayCount).u32(cbUnitSize);
    w.bytes(std::span(static_cast<const std::byte*>(pDataSet), size));
    w.f64(ticks);
  });
}

HRESULT SimConnect_TransmitClientEvent(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                       DWORD dwData, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                       SIMCONNECT_EVENT_FLAG Flags) {
  return lf_send(h, Call::TransmitClientEvent, [&](simwire::Writer& w) {
    w.u32(ObjectID).u32(EventID).u32(dwData).u32(GroupID).u32(Flags);
  });
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE h, const char* szContainerTitle, const char* szTailNumber,
                                          SIMCONNECT_DATA_INITPOSITION InitPos, SIMCONNECT_DATA_REQUEST_ID RequestID) {
  return lf_send(h, Call::AICreateNonATCAircraft, [&](simwire::Writer& w) {
    w.str(lf_text(szContainerTitle)).str(lf_text(szTailNumber));
    w.f64(InitPos.Latitude).f64(InitPos.Longitude).f64(InitPos.Altitude);
    w.f64(InitPos.Pitch).f64(InitPos.Bank).f64(InitPos.Heading);
    w.u32(InitPos.OnGround).u32(InitPos.Airspeed).u32(RequestID);
  });
}

HRESULT SimConnect_AIRemoveObject(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_REQUEST_ID RequestID) {
  return lf_send(h, Call::AIRemoveObject, [&](simwire::Writer& w) { w.u32(ObjectID).u32(RequestID); });
}

HRESULT SimConnect_AIReleaseControl(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_REQUEST_ID RequestID) {
  return lf_send(h, Call::AIReleaseControl, [&](simwire::Writer& w) { w.u32(ObjectID).u32(RequestID); });
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE h, SIMCONNECT_OBJECT_ID ObjectID, const char* szFlightPlanPath,
                                           SIMCONNECT_DATA_REQUEST_ID RequestID) {
  return lf_send(h, Call::AISetAircraftFlightPlan, [&](simwire::Writer& w) {
    w.u32(ObjectID).str(lf_text(szFlightPlanPath)).u32(RequestID);
  });
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwError) {
  Client* c = lf_client(hSimConnect);
  if (!c || !pdwError) return E_FAIL;
  if (lf_injectedFailure("GetLastSentPacketID")) return E_FAIL;
  *pdwError = c->lastPacketId.load();
  return S_OK;
}
#endif
