#pragma once
// Helpers of the simulator-link tests: a fixture that puts the link's global
// state back between tests, a thread-safe message sink, crafted messages and a
// lockstep driver of the dispatch against the in-process stand-in.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/message.h"
#include "doubles.h"
#include "link_reset.h"
#include "platform/simconnect.h"
#include "shell/run_state.h"
#include "test_support.h"
#include "tools/simstandin/standin.h"
#include "traffic/object_events.h"
#include "traffic/sim_connection.h"
#include "traffic/sim_queues.h"
#include "traffic/user_aircraft.h"

namespace simlink {

using namespace std::chrono_literals;

// What reaches the message line, from any thread.
class Sink : public MessageSink {
 public:
  Sink() { gf_setMessageSink(this); }
  ~Sink() override { gf_setMessageSink(nullptr); }
  void showMessage(const std::string& text, bool) override {
    std::lock_guard lock(m_mutex);
    m_messages.push_back(text);
  }
  void showError(const std::string& text) override {
    std::lock_guard lock(m_mutex);
    m_errors.push_back(text);
  }
  std::vector<std::string> messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
  }
  std::vector<std::string> errors() const {
    std::lock_guard lock(m_mutex);
    return m_errors;
  }
  std::size_t count(const std::string& text) const {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(std::count(m_messages.begin(), m_messages.end(), text));
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_messages;
  std::vector<std::string> m_errors;
};

inline std::vector<ObjectEvent> takeEvents() {
  std::lock_guard lock(gObjectAddedMutex);
  std::vector<ObjectEvent> events;
  events.swap(gObjectAddedQueue);
  return events;
}

inline void resetLink() {
  testing_traffic::resetSimLink();
  gf_setSimconRetrySleep(nullptr);
  gf_simConnectFailNextCalls("AICreateNonATCAircraft", 0);
  gf_simConnectFailNextCalls("AIRemoveObject", 0);
  gf_simConnectFailNextCalls("TransmitClientEvent", 0);
  gf_simConnectFailNextCalls("GetLastSentPacketID", 0);
  takeEvents();
  doubles::clearExitCalls();
}

class SimLinkTest : public ::testing::Test {
 protected:
  void SetUp() override { resetLink(); }
  void TearDown() override { resetLink(); }

  // A stand-in in step mode with its trace in the scratch folder.
  standin::StandIn& startStandIn(standin::Scenario sc = {}) {
    if (!sc.knownTitles) sc.knownTitles = std::vector<std::string>{"Known Livery"};
    sc.createDelaySeconds = 0;
    sc.user.latDeg = 52.3;
    sc.user.lonDeg = 4.76;
    m_standIn = std::make_unique<standin::StandIn>(sc, standin::StandInOptions{0, m_scratch / "trace.jsonl"});
    gf_setSimConnectAddress(m_standIn->address());
    return *m_standIn;
  }

  // Opens the link on the test thread and handles what the stand-in answered.
  void openInLockstep() {
    ASSERT_TRUE(gf_simconOpen());
    settle();
  }

  // Dispatches until the stand-in has handled every call made so far and
  // every answer has been dispatched.
  void settle() {
    DWORD last = 0;
    {
      std::lock_guard lock(gScMutex);
      SimConnect_GetLastSentPacketID(gHSimConnect, &last);
    }
    ASSERT_TRUE(m_standIn->waitProcessed(last, 30s));
    while (gf_simConnectWaitForMessage(gHSimConnect, 20ms)) ASSERT_TRUE(gf_simconDispatchPass());
  }

  // One frame of the stand-in, dispatched.
  void frame() {
    m_standIn->step();
    ASSERT_TRUE(gf_simConnectWaitForMessage(gHSimConnect, 30s));
    ASSERT_TRUE(gf_simconDispatchPass());
    settle();
  }

  std::vector<nlohmann::json> trace(const std::string& event = {}) const {
    std::vector<nlohmann::json> lines;
    for (const auto& line : fileLines(m_scratch / "trace.jsonl")) {
      auto j = nlohmann::json::parse(line);
      if (event.empty() || j["event"] == event) lines.push_back(j);
    }
    return lines;
  }

  ScratchFolder m_scratch;
  testing_traffic::LogCapture m_log;
  Sink m_sink;
  std::unique_ptr<standin::StandIn> m_standIn;
};

// Crafted messages, laid out as the layer delivers them.
template <typename M>
M message(DWORD id) {
  M m{};
  m.dwSize = sizeof(M);
  m.dwID = id;
  return m;
}

inline SIMCONNECT_RECV_EVENT systemEvent(DWORD eventId, DWORD data) {
  auto m = message<SIMCONNECT_RECV_EVENT>(SIMCONNECT_RECV_ID_EVENT);
  m.uGroupID = SIMCONNECT_UNUSED;
  m.uEventID = eventId;
  m.dwData = data;
  return m;
}

inline SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE objectEvent(DWORD eventId, DWORD objectId) {
  auto m = message<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
  m.uEventID = eventId;
  m.dwData = objectId;
  m.eObjType = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
  return m;
}

inline SIMCONNECT_RECV_EXCEPTION exception(DWORD code, DWORD sendId = 0, DWORD index = 0) {
  auto m = message<SIMCONNECT_RECV_EXCEPTION>(SIMCONNECT_RECV_ID_EXCEPTION);
  m.dwException = code;
  m.dwSendID = sendId;
  m.dwIndex = index;
  return m;
}

// A data answer: the header and its block, 8-byte aligned.
struct DataAnswer {
  std::vector<std::uint64_t> storage;
  DWORD size = 0;
  SIMCONNECT_RECV* get() { return reinterpret_cast<SIMCONNECT_RECV*>(storage.data()); }
};

inline DataAnswer dataAnswer(DWORD recvId, DWORD requestId, DWORD objectId, const void* block, std::size_t bytes) {
  DataAnswer a;
  a.size = static_cast<DWORD>(kSimDataOffset + bytes);
  a.storage.assign((a.size + 7) / 8 + 64, 0);  // the layer's padding
  SIMCONNECT_RECV_SIMOBJECT_DATA h{};
  h.dwSize = a.size;
  h.dwID = recvId;
  h.dwRequestID = requestId;
  h.dwObjectID = objectId;
  std::memcpy(a.storage.data(), &h, kSimDataOffset);
  std::memcpy(reinterpret_cast<char*>(a.storage.data()) + kSimDataOffset, block, bytes);
  return a;
}

// A by-type answer of definition 404.
inline DataAnswer inRange(DWORD objectId, double agl, double ground, std::int64_t onGround, const std::string& atcId) {
  struct {
    double agl, ground;
    std::int64_t onGround;
    char atc[32];
  } b{agl, ground, onGround, {}};
  std::memcpy(b.atc, atcId.data(), std::min<std::size_t>(atcId.size(), 32));
  return dataAnswer(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, 101, objectId, &b, sizeof b);
}

template <typename M>
void dispatch(M& m, DWORD size = sizeof(M)) {
  lf_simconDispatch(reinterpret_cast<SIMCONNECT_RECV*>(&m), size, nullptr);
}
inline void dispatch(DataAnswer& a) { lf_simconDispatch(a.get(), a.size, nullptr); }

}  // namespace simlink
