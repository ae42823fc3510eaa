#include "traffic/sim_connection.h"

#include <cctype>
#include <condition_variable>
#include <cstring>
#include <string>
#include <thread>

#include "core/clock.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/parameters.h"
#include "platform/system.h"
#include "platform/process.h"
#include "shell/app_state.h"
#include "shell/exit.h"
#include "shell/run_state.h"
#include "traffic/object_events.h"
#include "traffic/sim_ids.h"
#include "traffic/sim_queues.h"
#include "traffic/stand_handover.h"
#include "traffic/user_aircraft.h"

HANDLE gHSimConnect = nullptr;
std::mutex gScMutex;
std::atomic<float> gFrameRate{0.0F};
std::atomic<int> gSimRequestErrors{0};
std::atomic<bool> gSimRequestsPaused{false};

namespace {

constexpr const char* kProgramName = "Skylume";
constexpr auto kRetryPause = std::chrono::seconds(1);
constexpr auto kPollInterval = std::chrono::milliseconds(1);

int gFrameCount = 0;          // SimConnect thread only
bool gLinkEnded = false;      // QUIT seen in this dispatch pass; SimConnect thread only

std::mutex gThreadMutex;  // gSimconThread
std::jthread gSimconThread;

void lf_defaultRetrySleep(std::chrono::milliseconds pause, std::stop_token stop) {
  std::mutex m;
  std::condition_variable_any cv;
  std::unique_lock lock(m);
  cv.wait_for(lock, stop, pause, [] { return false; });
}
std::atomic<SimconRetrySleep> gRetrySleep{&lf_defaultRetrySleep};

void lf_invalidateStatus() { gf_invalidateMain(kStatusRect); }


// ---- registration ----

struct Datum {
  const char* name;
  const char* unit;
  SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_FLOAT64;
};

void lf_define(std::uint32_t def, std::initializer_list<Datum> datums) {
  for (const Datum& d : datums) SimConnect_AddToDataDefinition(gHSimConnect, def, d.name, d.unit, d.type, 0, SIMCONNECT_UNUSED);
}

void lf_simconDefinitions() {
  HANDLE h = gHSimConnect;
  SimConnect_SubscribeToSystemEvent(h, EVENT_SIM, "Sim");
  SimConnect_SubscribeToSystemEvent(h, EVENT_OBJECT_ADDED, "ObjectAdded");
  SimConnect_SubscribeToSystemEvent(h, EVENT_OBJECT_REMOVED, "ObjectRemoved");
  SimConnect_SubscribeToSystemEvent(h, EVENT_FLIGHT_LOADED, "FlightLoaded");
  SimConnect_SubscribeToSystemEvent(h, EVENT_FRAME, "Frame");

  lf_define(DEF_USER_TITLE, {{"TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV}});
  lf_define(DEF_USER_MODEL, {{"ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32}});
  lf_define(DEF_USER_ON_GROUND, {{"SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64}});
  const Datum pose[] = {{"Plane Latitude", "degree"},       {"Plane Longitude", "degree"},
                        {"Plane Pitch degrees", "radians"}, {"Plane Bank degrees", "radians"},
                        {"Plane Heading degrees true", "radians"}, {"Plane Altitude", "feet"}};
  lf_define(DEF_POSITION, {pose[0], pose[1], pose[2], pose[3], pose[4], pose[5],
                           {"Vertical Speed", "feet per second"}, {"Airspeed True", "knots"}});
  lf_define(DEF_USER_BLOCK, {pose[0], pose[1], pose[2], pose[3], pose[4], pose[5],
                             {"Plane Alt Above Ground", "feet"},
                             {"Ground Velocity", "knots"},
                             {"ZULU TIME", "Seconds", SIMCONNECT_DATATYPE_INT64},
                             {"ZULU DAY OF YEAR", "Number", SIMCONNECT_DATATYPE_INT64},
                             {"ZULU YEAR", "Number", SIMCONNECT_DATATYPE_INT64},
                             {"LIGHT STATES", "Mask", SIMCONNECT_DATATYPE_INT64}});
  lf_define(DEF_STATIC_CG, {{"Static CG to Ground", "feet"}, {"Static Pitch", "radians"}});
  lf_define(DEF_LIGHT_ON, {{"Light On States", "Mask", SIMCONNECT_DATATYPE_INT64}});
  lf_define(DEF_IN_RANGE, {{"Plane Alt Above Ground", "feet"},
                           {"Ground Altitude", "feet"},
                           {"SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64},
                           {"ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32}});

  static constexpr std::pair<std::uint32_t, const char*> kEvents[] = {
      {EV_GEAR_SET, "GEAR_SET"},
      {EV_ENGINE_AUTO_START, "ENGINE_AUTO_START"},
      {EV_ENGINE_AUTO_SHUTDOWN, "ENGINE_AUTO_SHUTDOWN"},
      {EV_THROTTLE_SET, "THROTTLE_SET"},
      {EV_FLAPS_SET, "FLAPS_SET"},
      {EV_SPOILERS_SET, "SPOILERS_SET"},
      {EV_NAV_LIGHTS_SET, "NAV_LIGHTS_SET"},
      {EV_BEACON_LIGHTS_SET, "BEACON_LIGHTS_SET"},
      {EV_LANDING_LIGHTS_SET, "LANDING_LIGHTS_SET"},
      {EV_TAXI_LIGHTS_SET, "TAXI_LIGHTS_SET"},
      {EV_STROBES_SET, "STROBES_SET"},
      {EV_LOGO_LIGHTS_SET, "LOGO_LIGHTS_SET"},
      {EV_CABIN_LIGHTS_SET, "CABIN_LIGHTS_SET"},
      {EV_ALL_LIGHTS_TOGGLE, "ALL_LIGHTS_TOGGLE"},
      {EV_FREEZE_LATITUDE_LONGITUDE_SET, "FREEZE_LATITUDE_LONGITUDE_SET"},
      {EV_FREEZE_ALTITUDE_SET, "FREEZE_ALTITUDE_SET"},
      {EV_FREEZE_ATTITUDE_SET, "FREEZE_ATTITUDE_SET"},
  };
  for (const auto& [id, name] : kEvents) SimConnect_MapClientEventToSimEvent(h, id, name);
  // Every mapped event but the engine start, which is never sent to a group.
  static constexpr std::uint32_t kGroupEvents[] = {
      EV_NAV_LIGHTS_SET, EV_BEACON_LIGHTS_SET, EV_LANDING_LIGHTS_SET, EV_TAXI_LIGHTS_SET, EV_STROBES_SET,
      EV_LOGO_LIGHTS_SET, EV_CABIN_LIGHTS_SET, EV_ALL_LIGHTS_TOGGLE, EV_FLAPS_SET, EV_SPOILERS_SET,
      EV_GEAR_SET, EV_ENGINE_AUTO_SHUTDOWN, EV_THROTTLE_SET, EV_FREEZE_LATITUDE_LONGITUDE_SET,
      EV_FREEZE_ALTITUDE_SET, EV_FREEZE_ATTITUDE_SET};
  for (std::uint32_t id : kGroupEvents) SimConnect_AddClientEventToNotificationGroup(h, GROUP_AI, id, TRUE);
  SimConnect_SetNotificationGroupPriority(h, GROUP_AI, 1);

  lf_define(DEF_AI_CONTROLS, {{"SPOILERS HANDLE POSITION", "percent"},
                              {"GENERAL ENG THROTTLE LEVER POSITION:1", "percent"},
                              {"GENERAL ENG THROTTLE LEVER POSITION:2", "percent"}});
}

// ---- handlers ----

void lf_onSimconOpen(const SIMCONNECT_RECV_OPEN& open, DWORD size) {
  // The name is read within its field and within what arrived.
  std::size_t field = std::min<std::size_t>(sizeof open.szApplicationName,
                                            size - kOpenNameOffset);
  std::string raw(open.szApplicationName, strnlen(open.szApplicationName, field));
  if (raw.empty()) {
    gf_logText("! Simulator name empty?");
    return;
  }
  gAppState.simConnected = true;
  lf_invalidateStatus();
  std::string name;
  for (char c : raw) {
    auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || std::isspace(u)) name += c;
  }
  std::string simName;
  if (name == "KittyHawk") {
    if (!MSFS_2020.value)
      throw qlx::UserErrorException(
          71, sk::format("MSFS 2020 is running ..., switch Sim or toggle the Install path checkbox of {}", kProgramName));
    simName = "MSFS 2020";
  } else if (name == "SunRise") {
    if (MSFS_2020.value)
      throw qlx::UserErrorException(
          71, sk::format("MSFS 2024 is running ..., switch Sim or toggle the Install path checkbox of {}", kProgramName));
    simName = "MSFS 2024";
  } else {
    throw qlx::UserErrorException(77, sk::format("\"{}\" not being MSFS 2020 or MSFS 2024 connects ... ? ", name));
  }
  std::string status = MSFS_2020.value ? sk::format("{} ({}.{}.{}.{})", simName, open.dwApplicationVersionMajor,
                                                    open.dwApplicationVersionMinor, open.dwApplicationBuildMajor,
                                                    open.dwApplicationBuildMinor)
                                       : simName;
  // The name is shown before the line is logged: whoever reads the line may look at the name.
  gAppState.simName.set(status);
  gf_logText(status + " connected ");
  lf_invalidateStatus();
  gf_clearMessage();
}

void lf_onSimconException(const SIMCONNECT_RECV_EXCEPTION& e) {
  switch (e.dwException) {
    case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID: {
      UserAc user = gf_latestUserAc();
      if (!gf_isNullPosition(user.latitude, user.longitude)) gf_log("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
      return;
    }
    case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
      throw qlx::UserErrorException(95, sk::format("Simconnect Version Mismatch, dwindex: {} ", e.dwIndex));
    case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS:
      gf_showMessage("SimConnect: too many objects (max 1000)", true);
      return;
    case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE:
      gf_logText("SIMCON EXCEP 19");
      return;
    case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED: {
      // Static hexids start at 0, so a found flag, not the hexid, tells a match.
      std::uint32_t hexid = 0;
      if (gf_takePendingCreation(e.dwSendID, hexid))
        gf_pushObjectEvent({0, hexid, 0, OBJ_CREATE_FAILED, 0.0, 0.0});
      return;
    }
    case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
      gf_log("Simconnect Exception: load flight plan failed");
      return;
    case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
      gf_logText("SIMCON EXCEP 24");
      return;
    default:
      gf_log(sk::format("SIMCON EXCEP {}", e.dwException));
  }
}

void lf_onFlightLoadedAndRestart(const char* what) {
  gf_log(what);
  gf_recordUserStandHandover();
  gf_exit(ExitReason::RESTART, 45);
}

void lf_onSystemEvent(const SIMCONNECT_RECV_EVENT& event) {
  if (event.uEventID == EVENT_SIM) {
    bool running = event.dwData == 1;
    gFlightRunning = running;
    gAppState.flightLight = running;
    lf_invalidateStatus();
  } else if (event.uEventID == EVENT_FLIGHT_LOADED) {
    lf_onFlightLoadedAndRestart("Flight loaded");
  }
}

void lf_onObjectAddRemove(const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE& event) {
  if (event.eObjType != SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) return;
  std::uint32_t id = event.dwData;
  if (event.uEventID == EVENT_OBJECT_ADDED) {
    if (id > gUserObjectId.load()) gAddedObjectIds.push_back(id);
  } else if (event.uEventID == EVENT_OBJECT_REMOVED) {
    // A foreign object never answered by type would otherwise stay for the whole run.
    std::erase(gAddedObjectIds, id);
    gf_pushObjectEvent({id, 0, 0, OBJ_REMOVED, 0.0, 0.0});
  }
}

void lf_onFrameEvent(const SIMCONNECT_RECV_EVENT_FRAME& frame) {
  lf_onFrame();
  if (++gFrameCount >= 30) {
    gFrameCount = 0;
    gFrameRate = frame.fFrameRate;
  }
}

// Closes the link under gScMutex; the SimConnect thread is the only other user.
void lf_closeLink() {
  gAppState.simConnected = false;
  lf_invalidateStatus();
  std::lock_guard lock(gScMutex);
  HANDLE h = gHSimConnect;
  if (!h) return;
  for (std::uint32_t def : {DEF_USER_TITLE, DEF_USER_MODEL, DEF_USER_ON_GROUND, DEF_POSITION, DEF_USER_BLOCK,
                            DEF_AI_CONTROLS, DEF_IN_RANGE, DEF_STATIC_CG, DEF_LIGHT_ON})
    SimConnect_ClearDataDefinition(h, def);
  for (std::uint32_t ev : {EVENT_SIM, EVENT_OBJECT_ADDED, EVENT_OBJECT_REMOVED, EVENT_FRAME, EVENT_FLIGHT_LOADED})
    SimConnect_UnsubscribeFromSystemEvent(h, ev);
  if (FAILED(SimConnect_Close(h))) gf_log("SimConnect close failed!");
  gHSimConnect = nullptr;
}

}  // namespace

// ---- public ----

bool gf_simMessageFits(const SIMCONNECT_RECV& message, DWORD size, std::size_t needed) {
  if (size >= needed) return true;
  gf_logText(sk::format("! SimConnect message dwID {} too short: {} bytes", message.dwID, size));
  return false;
}

SimconRetrySleep gf_setSimconRetrySleep(SimconRetrySleep sleep) {
  return gRetrySleep.exchange(sleep ? sleep : &lf_defaultRetrySleep);
}

void lf_simconDispatch(SIMCONNECT_RECV* message, DWORD size, void*) {
  if (!message) return;
  const SIMCONNECT_RECV& m = *message;
  switch (m.dwID) {
    case SIMCONNECT_RECV_ID_EXCEPTION:
      if (gf_simMessageFits(m, size, sizeof(SIMCONNECT_RECV_EXCEPTION)))
        lf_onSimconException(static_cast<const SIMCONNECT_RECV_EXCEPTION&>(m));
      return;
    case SIMCONNECT_RECV_ID_OPEN:
      if (gf_simMessageFits(m, size, kOpenReadSize))
        lf_onSimconOpen(static_cast<const SIMCONNECT_RECV_OPEN&>(m), size);
      return;
    case SIMCONNECT_RECV_ID_QUIT:
      gFlightRunning = false;
      gLinkEnded = true;
      return;
    case SIMCONNECT_RECV_ID_EVENT:
      if (gf_simMessageFits(m, size, sizeof(SIMCONNECT_RECV_EVENT))) lf_onSystemEvent(static_cast<const SIMCONNECT_RECV_EVENT&>(m));
      return;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
      if (gf_simMessageFits(m, size, sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE)))
        lf_onObjectAddRemove(static_cast<const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE&>(m));
      return;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
      if (gf_simMessageFits(m, size, sizeof(SIMCONNECT_RECV_EVENT))) lf_onFlightLoadedAndRestart("New file loaded");
      return;
    case SIMCONNECT_RECV_ID_EVENT_FRAME:
      if (gf_simMessageFits(m, size, sizeof(SIMCONNECT_RECV_EVENT_FRAME)))
        lf_onFrameEvent(static_cast<const SIMCONNECT_RECV_EVENT_FRAME&>(m));
      return;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
      if (gf_simMessageFits(m, size, kSimDataOffset))
        lf_onUserAcData(static_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA&>(m), size);
      return;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
      if (gf_simMessageFits(m, size, kSimDataOffset))
        lf_onObjectsByType(static_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA&>(m), size);
      return;
    case 12:
    case 16:
    case 27:
      return;
    default:
      gf_logText(sk::format("! Unknown Dispatch dwID {}", m.dwID));
  }
}

bool gf_simconOpen() {
  // Why the layer ended a link belongs in Log.txt.
  gf_setSimConnectLogHook([](const std::string& line) { gf_log(line); });
  HANDLE h = nullptr;
  if (FAILED(SimConnect_Open(&h, kProgramName, nullptr, 0, nullptr, 0)) || !h) return false;
  gLinkEnded = false;
  // Once published, the handle is the other threads' too: the simulator's
  // library promises nothing of two calls at once, so the registration keeps
  // them out. No handler runs before the first dispatch, so none waits on it.
  std::lock_guard lock(gScMutex);
  gHSimConnect = h;
  lf_simconDefinitions();
  return true;
}

bool gf_simconDispatchPass() {
  HANDLE h = gHSimConnect;
  if (!h) return false;
  if (FAILED(SimConnect_CallDispatch(h, &lf_simconDispatch, nullptr))) return false;
  return !gLinkEnded;
}

void lf_onSimconnectClose() {
  lf_closeLink();
  if (!gExitStarted.load()) {
    gf_logText(sk::format("{} Flight Simulator no longer connected, {} will stop ...", gf_utcNowString(), kProgramName));
    gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
  }
}

void gf_simconThread(std::stop_token stop) {
  bool firstPass = true;
  try {
    for (;;) {
      if (gExitStarted.load() || gStopRequested.load() || stop.stop_requested()) break;
      if (firstPass) {
        firstPass = false;
        // Without the simulator's client library nothing ever connects: the user
        // is told why, and the thread waits as for a simulator not running.
        if (const std::string problem = gf_simConnectLibraryProblem(); !problem.empty()) {
          gf_showError(problem);  // logged with it
        } else {
          gf_showMessage(sk::format("Waiting for MSFS {} ...", MSFS_2020.value ? "2020" : "2024"), true);
        }
        gf_invalidateMain(kMessageRect);
      }
      if (!gf_simconOpen()) {
        gRetrySleep.load()(kRetryPause, stop);
        continue;
      }
      TimerResolutionGuard period(1);
      bool linked = true;
      while (linked && !stop.stop_requested()) {
        // The library signals the event it was opened with when a message
        // comes; the bound keeps the poll's pace when it signals nothing.
        gf_simConnectWaitForMessage(gHSimConnect, kPollInterval);
        linked = gf_simconDispatchPass();
      }
      if (!linked) {
        gFlightRunning = false;
        lf_onSimconnectClose();
        break;
      }
    }
  } catch (const qlx::UserErrorException& e) {
    gf_showError(e.what());
  } catch (const std::exception& e) {
    gf_showError(e.what());
    gFlightRunning = false;
    lf_onSimconnectClose();
  } catch (...) {
    gf_showError(sk::format("Exception in {}", "SimClient"));
    gFlightRunning = false;
    lf_onSimconnectClose();
  }
  gf_recordLinkEndHandover();
}

void gf_reserveSimQueues() {
  gf_reserveSimQueueRoom();
  gSimRequestsPaused = false;
}

void gf_startSimconnect() {
  std::lock_guard lock(gThreadMutex);
  if (gSimconThread.joinable()) {
    gSimconThread.request_stop();
    gSimconThread.join();
  }
  gSimconThread = std::jthread([](std::stop_token stop) {
    gf_setThreadName("sklm-simconnect");
    gf_simconThread(stop);
  });
}

void gf_stopSimconnect() {
  {
    std::lock_guard lock(gThreadMutex);
    if (gSimconThread.joinable()) {
      gSimconThread.request_stop();
      if (gSimconThread.get_id() != std::this_thread::get_id()) gSimconThread.join();
      else gSimconThread.detach();
    }
  }
  lf_closeLink();
  gf_takeUserStandHandover();  // before the shutdown leaves the park airport
}

void gf_simRequestError() {
  int count = ++gSimRequestErrors;
  if (count < 3) return;
  gSimRequestsPaused = true;
  // Two threads count; only the one that reaches three restarts.
  if (count != 3) return;
  gf_showMessage(sk::format("SimConnect request error {}, see Log.txt", count), true);
  gf_exit(ExitReason::RESTART, 10);
}

void gf_resetSimConnection() {
  gSimRequestErrors = 0;
  gFrameCount = 0;
  gFrameRate = 0.0F;
  gFlightRunning = false;
  gf_clearSimQueues();
  gf_resetUserAircraft();
}
