#pragma once
// A stand-in for the flight simulator: it answers the SimConnect client layer
// over loopback TCP as the simulator would, and records what it was told in a
// trace file (one JSON object per line).
//
// Step mode (the default) emits a frame only when step() is called, so tests
// decide when time moves; startRealTime() emits frames at the scenario's rate.
//
// Trace lines carry "frame" and "event": "open", "open_refused", "close",
// "disconnect", "create" (id, title, tail, initial position, packet),
// "create_refused" (title, tail, code, packet), "remove", "release", "freeze"
// and "client_event" (id, name, value, group), "position" and "set_data" (id,
// define, values by datum name), "flight_plan", "flight_plan_refused",
// "exception" (code, packet, index), "fault", "sim", "running", "vanish" (id),
// "flight_loaded", "user", "drop", "quit".
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/simconnect.h"
#include "platform/simconnect_wire.h"
#include "tools/simstandin/scenario.h"

namespace standin {

struct StandInOptions {
  std::uint16_t port = 0;           // 0: any free port
  std::filesystem::path traceFile;  // empty: no trace
  // Position and data sets traced per object and definition each second; 0: every
  // one. Creations, removals and events are always traced.
  double traceSetsPerSecond = 0;
};

// What a test may look at of one object of the world.
struct ObjectState {
  DWORD id = 0;
  bool user = false;
  std::string title;
  std::string atcId;
  double latDeg = 0;
  double lonDeg = 0;
  double altitudeFt = 0;
  bool released = false;
  bool frozenLatLon = false;
  bool frozenAltitude = false;
  bool frozenAttitude = false;
};

class StandIn {
 public:
  StandIn(Scenario scenario, StandInOptions options);
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  std::uint16_t port() const { return m_port; }
  std::string address() const;

  // Emits `frames` frames now (step mode).
  void step(int frames = 1);
  // Emits frames at the scenario's rate on a thread of its own until stop().
  void startRealTime();
  void stop();

  // While not running the simulator refuses every open.
  void setRunning(bool running);
  // The "Sim" event: a flight starts (true) or stops.
  void setFlightRunning(bool running);
  // "FlightLoaded" with the file name.
  void loadFlight(const std::string& file);
  // Puts the user aircraft at a position, on the ground or in the air; it
  // leaves its route there.
  void setUser(double latDeg, double lonDeg, double altitudeFt, bool onGround);
  // The next `count` calls of this kind are refused with the exception code.
  void failNextCalls(simwire::Call call, DWORD exceptionCode, int count = 1);
  // Removes an AI object on the simulator's own account: ObjectRemoved goes to
  // the clients, and later commands for the id draw exception 3. False when
  // there is no such AI object.
  bool removeObject(DWORD id);
  // Closes every connection without a word.
  void dropConnections();
  // Tells every client QUIT, closes the connections and stops running.
  void quit();

  // Waits until the latest client's packet `packetId` has been handled.
  bool waitProcessed(DWORD packetId, std::chrono::milliseconds timeout);
  // Waits until every client's link has ended, its last packets traced.
  bool waitAllClosed(std::chrono::milliseconds timeout);
  // Waits until `count` clients have connected since the start.
  bool waitConnections(int count, std::chrono::milliseconds timeout);

  std::int64_t frame() const;
  std::vector<ObjectState> objects() const;
  std::size_t openSessions() const;

 private:
  struct Datum;
  struct Object;
  struct Session;
  struct PendingCreation;

  void acceptLoop();
  void readLoop(Session& s);
  // The packet id handled.
  DWORD handlePacket(Session& s, std::span<const std::byte> packet);
  void handleCall(Session& s, simwire::Call call, DWORD packetId, simwire::Reader& r);
  void stepLocked();
  void moveUser(double seconds);
  void send(Session& s, const void* data, std::size_t size);
  template <typename Msg>
  void send(Session& s, const Msg& msg) {
    send(s, &msg, sizeof msg);
  }
  void sendException(Session& s, DWORD code, DWORD packetId, DWORD index);
  // Sends an event message to every subscriber of the system event, with its own event id.
  template <typename Msg>
  void sendToSubscribers(const char* name, Msg m);
  void sendObjectEvent(const char* name, DWORD objectId);
  void sendData(Session& s, DWORD recvId, DWORD requestId, DWORD defineId, const Object& o, DWORD entry,
                DWORD outOf);
  void materializeDue();
  Object* findObject(DWORD id);
  void closeSession(Session& s);
  void reapSessions();
  // Adds a line to the trace and flushes it.
  void trace(const char* event, nlohmann::ordered_json fields);
  // The bulk of the trace: flushed after each batch of packets and each frame.
  void tracePosition(const char* event, DWORD objectId, DWORD defineId, const std::string& values,
                     double programTicks);

  Scenario m_sc;
  std::uint16_t m_port = 0;
  simwire::Listener m_listener;

  mutable std::mutex m_mutex;  // the world and every session's state
  std::condition_variable m_changed;
  std::int64_t m_frame = 0;
  double m_simSeconds = 0;
  bool m_running = true;
  bool m_flightRunning = true;
  std::map<DWORD, Object> m_objects;
  std::vector<PendingCreation> m_pending;
  DWORD m_nextObjectId = 0;
  std::size_t m_routeLeg = 0;
  std::map<simwire::Call, std::pair<DWORD, int>> m_faults;
  std::vector<std::unique_ptr<Session>> m_sessions;
  int m_connections = 0;
  DWORD m_latestProcessed = 0;  // of the latest connection
  std::ofstream m_trace;
  double m_traceSetsPerSecond = 0;
  std::map<std::pair<DWORD, DWORD>, std::int64_t> m_lastTracedSet;  // its time slot, by object and definition

  std::atomic<bool> m_stopping{false};
  std::atomic<bool> m_realTime{false};
  std::thread m_acceptThread;
  std::thread m_frameThread;
};

}  // namespace standin
