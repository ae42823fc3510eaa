#include <gtest/gtest.h>

#include "../../core/core_test_support.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/tools/simstandin/sim_client.h"
#include "tools/simstandin/standin.h"

using simtest::Received;
using simtest::SimClient;
using namespace std::chrono_literals;

namespace {

const std::filesystem::path kData = std::filesystem::path(SKLM_TEST_DATA_DIR) / "simstandin";

// Registers what the traffic client registers when it connects, in its order.
void lf_registerLikeTheClient(HANDLE h) {
  for (auto [id, name] : {std::pair<DWORD, const char*>{201, "Sim"}, {202, "ObjectAdded"}, {203, "ObjectRemoved"},
                          {205, "FlightLoaded"}, {204, "Frame"}})
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, id, name), S_OK);
  auto add = [&](DWORD def, const char* name, const char* unit, SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_FLOAT64) {
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, def, name, unit, type, 0, SIMCONNECT_UNUSED), S_OK);
  };
  add(407, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV);
  add(408, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32);
  add(409, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
  const char* pose[][2] = {{"Plane Latitude", "degree"},         {"Plane Longitude", "degree"},
                           {"Plane Pitch degrees", "radians"},   {"Plane Bank degrees", "radians"},
                           {"Plane Heading degrees true", "radians"}, {"Plane Altitude", "feet"}};
  for (auto& p : pose) add(402, p[0], p[1]);
  add(402, "Vertical Speed", "feet per second");
  add(402, "Airspeed True", "knots");
  for (auto& p : pose) add(403, p[0], p[1]);
  add(403, "Plane Alt Above Ground", "feet");
  add(403, "Ground Velocity", "knots");
  add(403, "ZULU TIME", "Seconds", SIMCONNECT_DATATYPE_INT64);
  add(403, "ZULU DAY OF YEAR", "Number", SIMCONNECT_DATATYPE_INT64);
  add(403, "ZULU YEAR", "Number", SIMCONNECT_DATATYPE_INT64);
  add(403, "LIGHT STATES", "Mask", SIMCONNECT_DATATYPE_INT64);
  add(405, "Static CG to Ground", "feet");
  add(405, "Static Pitch", "radians");
  add(406, "Light On States", "Mask", SIMCONNECT_DATATYPE_INT64);
  add(404, "Plane Alt Above Ground", "feet");
  add(404, "Ground Altitude", "feet");
  add(404, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
  add(404, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32);
  const std::pair<DWORD, const char*> events[] = {
      {219, "GEAR_SET"}, {220, "ENGINE_AUTO_START"}, {221, "ENGINE_AUTO_SHUTDOWN"}, {222, "THROTTLE_SET"},
      {217, "FLAPS_SET"}, {218, "SPOILERS_SET"}, {207, "NAV_LIGHTS_SET"}, {206, "BEACON_LIGHTS_SET"},
      {210, "LANDING_LIGHTS_SET"}, {208, "TAXI_LIGHTS_SET"}, {209, "STROBES_SET"}, {212, "LOGO_LIGHTS_SET"},
      {211, "CABIN_LIGHTS_SET"}, {213, "ALL_LIGHTS_TOGGLE"}, {214, "FREEZE_LATITUDE_LONGITUDE_SET"},
      {215, "FREEZE_ALTITUDE_SET"}, {216, "FREEZE_ATTITUDE_SET"}};
  for (auto [id, name] : events) ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, id, name), S_OK);
  for (DWORD id : {207, 206, 210, 208, 209, 212, 211, 213, 217, 218, 219, 221, 222, 214, 215, 216})
    ASSERT_EQ(SimConnect_AddClientEventToNotificationGroup(h, 301, id, TRUE), S_OK);
  ASSERT_EQ(SimConnect_SetNotificationGroupPriority(h, 301, 1), S_OK);
  add(401, "SPOILERS HANDLE POSITION", "percent");
  add(401, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent");
  add(401, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent");
}

std::vector<nlohmann::json> lf_trace(const std::filesystem::path& file) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

SIMCONNECT_DATA_INITPOSITION lf_initPos(bool onGround) {
  return {52.30, 4.76, onGround ? 0.0 : 2500.0, 0, 0, 90.0, onGround ? 1u : 0u, onGround ? 0u : 180u};
}

struct PosBlock {  // data definition 402
  double lat, lon, pitch, bank, heading, altitude, vs, tas;
};

class StandInTest : public ::testing::Test {
 protected:
  void start(standin::Scenario sc) {
    traceFile = scratch / "trace.jsonl";
    sim = std::make_unique<standin::StandIn>(std::move(sc), standin::StandInOptions{0, traceFile, traceRate});
    ASSERT_TRUE(client.open(sim->address()));
    lf_registerLikeTheClient(client.h);
    sync();
  }
  void start() { start(standin::gf_loadScenario(kData / "schiphol.json")); }
  void sync() { ASSERT_TRUE(sim->waitProcessed(client.lastPacket(), 30s)); }
  void stepAndPump(int frames) {
    sync();
    std::size_t before = client.count(SIMCONNECT_RECV_ID_EVENT_FRAME);
    sim->step(frames);
    ASSERT_TRUE(client.pumpUntil([&] { return client.count(SIMCONNECT_RECV_ID_EVENT_FRAME) >= before + frames; }));
  }
  // Creates an aircraft and steps until the simulator reports it; its id.
  DWORD create(const char* title, const char* tail) {
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(client.h, title, tail, lf_initPos(true), 104), S_OK);
    std::size_t before = client.count(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    for (int i = 0; i < 10 && client.count(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE) == before; ++i) stepAndPump(1);
    for (auto m = client.messages.rbegin(); m != client.messages.rend(); ++m)
      if (m->id() == SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE && m->as<SIMCONNECT_RECV_EVENT>().uEventID == 202)
        return m->as<SIMCONNECT_RECV_EVENT>().dwData;
    return 0;
  }
  // Asks for an aircraft the simulator will refuse; the exception code, after
  // checking that the refusal names the creation's packet.
  DWORD refusal(const char* title, const char* tail) {
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(client.h, title, tail, lf_initPos(false), 104), S_OK);
    DWORD packet = client.lastPacket();
    std::size_t before = client.count(SIMCONNECT_RECV_ID_EXCEPTION);
    if (!client.pumpFor(SIMCONNECT_RECV_ID_EXCEPTION, {}, before + 1)) return 0;
    const auto& ex = client.messages.back().as<SIMCONNECT_RECV_EXCEPTION>();
    EXPECT_EQ(ex.dwSendID, packet);
    return ex.dwException;
  }
  std::vector<const Received*> byType(DWORD request) {
    std::vector<const Received*> out;
    for (const auto& m : client.messages)
      if (m.id() == SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE &&
          m.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwRequestID == request)
        out.push_back(&m);
    return out;
  }

  ScratchFolder scratch;  // declared first: removed after the stand-in has closed its trace
  std::filesystem::path traceFile;
  double traceRate = 0;
  std::unique_ptr<standin::StandIn> sim;
  SimClient client;
};

TEST_F(StandInTest, OpenFramesAndUserAnswersUnpackAsRegistered) {
  start();
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_OPEN));
  EXPECT_EQ(client.messages.front().id(), SIMCONNECT_RECV_ID_OPEN);
  EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EXCEPTION), 0u);  // every registration was accepted
  const Received* open = client.find(SIMCONNECT_RECV_ID_OPEN);
  ASSERT_NE(open, nullptr);
  EXPECT_STREQ(open->as<SIMCONNECT_RECV_OPEN>().szApplicationName, "KittyHawk");
  EXPECT_EQ(open->as<SIMCONNECT_RECV_OPEN>().dwApplicationBuildMajor, 282174u);
  // The "Sim" subscription answers the flight state at once.
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_EVENT));
  EXPECT_EQ(client.find(SIMCONNECT_RECV_ID_EVENT)->as<SIMCONNECT_RECV_EVENT>().uEventID, 201u);
  EXPECT_EQ(client.find(SIMCONNECT_RECV_ID_EVENT)->as<SIMCONNECT_RECV_EVENT>().dwData, 1u);

  ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, 108, 409, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND), S_OK);
  stepAndPump(60);
  EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EVENT_FRAME), 60u);
  const auto& frame = client.find(SIMCONNECT_RECV_ID_EVENT_FRAME)->as<SIMCONNECT_RECV_EVENT_FRAME>();
  EXPECT_EQ(frame.uEventID, 204u);
  EXPECT_FLOAT_EQ(frame.fFrameRate, 30.0f);
  auto onGround = [](const Received& m) { return m.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwRequestID == 108; };
  // Answered at the first frame, then every full second: 60 frames at 30 per second.
  EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, onGround), 3u);
  EXPECT_EQ(client.find(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, onGround)->field<std::int64_t>(0), 1);

  // Aircraft within 10 km: the user and the scenario's other aircraft.
  ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(client.h, 101, 404, 10000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT), S_OK);
  ASSERT_TRUE(client.pumpUntil([&] { return byType(101).size() == 2; }));
  const Received& user = *byType(101)[0];
  const auto& head = user.as<SIMCONNECT_RECV_SIMOBJECT_DATA>();
  EXPECT_EQ(head.dwObjectID, 1u);
  EXPECT_EQ(head.dwentrynumber, 1u);
  EXPECT_EQ(head.dwoutof, 2u);
  EXPECT_EQ(head.dwDefineCount, 4u);
  EXPECT_EQ(user.size, 40u + 56u);
  EXPECT_DOUBLE_EQ(user.field<double>(0), 7.5);    // -3.5 ft over ground at -11 ft
  EXPECT_DOUBLE_EQ(user.field<double>(8), -11.0);
  EXPECT_EQ(user.field<std::int64_t>(16), 1);
  EXPECT_EQ(user.text(24, 32), "PH-SKL");
  const Received& other = *byType(101)[1];
  EXPECT_EQ(other.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwObjectID, 200u);
  EXPECT_EQ(other.field<std::int64_t>(16), 0);
  EXPECT_EQ(other.text(24, 32), "OTHER1");
  // A radius that reaches only the user.
  ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(client.h, 111, 404, 100, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT), S_OK);
  ASSERT_TRUE(client.pumpUntil([&] { return byType(111).size() == 1; }));

  // The user block, title and model.
  for (auto [req, def] : {std::pair<DWORD, DWORD>{109, 403}, {106, 407}, {107, 408}})
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, req, def, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE), S_OK);
  auto answer = [&](DWORD req) {
    return client.find(SIMCONNECT_RECV_ID_SIMOBJECT_DATA,
                       [req](const Received& m) { return m.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwRequestID == req; });
  };
  ASSERT_TRUE(client.pumpUntil([&] { return answer(107) != nullptr; }));
  const Received& block = *answer(109);
  EXPECT_EQ(block.size, 40u + 96u);
  EXPECT_NEAR(block.field<double>(0), 52.308601, 1e-9);
  EXPECT_NEAR(block.field<double>(32), 240.0 * std::numbers::pi / 180.0, 1e-12);
  EXPECT_DOUBLE_EQ(block.field<double>(40), -3.5);
  EXPECT_EQ(block.field<std::int64_t>(64), 2);  // two seconds after midnight
  EXPECT_EQ(block.field<std::int64_t>(72), 183);
  EXPECT_EQ(block.field<std::int64_t>(80), 2024);
  EXPECT_EQ(block.field<std::int64_t>(88), 6);
  EXPECT_EQ(answer(106)->text(0, 200), "Stand-in Jet 737-800 House Livery With A Rather Long Title Text");
  EXPECT_EQ(answer(106)->size % 4, 0u);
  EXPECT_EQ(answer(107)->text(0, 32), "B738");
}

TEST_F(StandInTest, CreationsAddObjectsOrFailWithTheirPacketId) {
  start();
  DWORD id = create("Stand-in A320 Blue", "KLM1234");
  EXPECT_GT(id, 1u);
  const auto& added = client.find(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE)->as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>();
  EXPECT_EQ(added.uEventID, 202u);
  EXPECT_EQ(added.eObjType, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
  DWORD second = create("Stand-in 738 Generic", "TRA55");
  EXPECT_GT(second, id);

  // The new object answers by type with its tail number as ATC ID, on the ground.
  ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(client.h, 101, 404, 20000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT), S_OK);
  ASSERT_TRUE(client.pumpUntil([&] { return byType(101).size() == 4; }));
  auto answers = byType(101);
  auto mine = std::find_if(answers.begin(), answers.end(), [&](const Received* m) {
    return m->as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwObjectID == id;
  });
  ASSERT_NE(mine, answers.end());
  EXPECT_EQ((*mine)->text(24, 32), "KLM1234");
  EXPECT_EQ((*mine)->field<std::int64_t>(16), 1);

  // An unknown title is refused with exception 22 naming the creation's packet.
  EXPECT_EQ(refusal("Nobody Knows Me", "XX1"), SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED);
  sim->step(10);
  ASSERT_TRUE(client.pumpUntil([&] { return client.count(SIMCONNECT_RECV_ID_EVENT_FRAME) >= 10; }));
  EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE), 2u);

  auto lines = lf_trace(traceFile);
  auto creates = std::count_if(lines.begin(), lines.end(), [](auto& l) { return l["event"] == "create"; });
  EXPECT_EQ(creates, 2);
  auto refused = std::find_if(lines.begin(), lines.end(), [](auto& l) { return l["event"] == "create_refused"; });
  ASSERT_NE(refused, lines.end());
  EXPECT_EQ((*refused)["title"], "Nobody Knows Me");
}

TEST_F(StandInTest, TooManyObjectsIsException11) {
  auto sc = standin::gf_loadScenario(kData / "schiphol.json");
  sc.maxObjects = 2;  // the scenario's other aircraft counts
  sc.knownTitles.reset();
  start(sc);
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(client.h, "Any", "A1", lf_initPos(true), 104), S_OK);
  EXPECT_EQ(refusal("Any", "A2"), SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS);
}

TEST_F(StandInTest, TraceRecordsCommandsPerFrameAndRemovedObjectsTakeNoMore) {
  start();
  DWORD id = create("Stand-in A320 Blue", "KLM1");
  ASSERT_NE(id, 0u);
  // What the client does with a newly matched object.
  ASSERT_EQ(SimConnect_AIReleaseControl(client.h, id, 103), S_OK);
  for (DWORD e : {214, 215, 216}) ASSERT_EQ(SimConnect_TransmitClientEvent(client.h, id, e, 1, 301, 0), S_OK);
  ASSERT_EQ(SimConnect_TransmitClientEvent(client.h, id, 219, 1, 301, 0), S_OK);
  const double brakes[3] = {100.0, -100.0, -100.0};  // spoilers and both throttle levers
  ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, 401, id, 0, 0, sizeof brakes, brakes), S_OK);
  // The static CG of a new object.
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, 102, 405, id, SIMCONNECT_PERIOD_ONCE), S_OK);
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, [](const Received& m) {
    return m.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwRequestID == 102;
  }));
  const Received& cg = client.messages.back();
  EXPECT_EQ(cg.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwObjectID, id);
  EXPECT_EQ(cg.size, 40u + 16u);
  EXPECT_DOUBLE_EQ(cg.field<double>(0), 8.0);
  EXPECT_DOUBLE_EQ(cg.field<double>(8), 0.01);
  PosBlock pos{52.301, 4.761, 0.01, -0.02, 1.5, 120.0, 2.0, 140.0};
  for (int f = 0; f < 3; ++f) {
    pos.lat += 0.001;
    // Only the first set is timed: the later ones must not carry its time.
    if (f == 0) gf_simConnectNoteDataTime(7);
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, 402, id, 0, 0, sizeof pos, &pos), S_OK);
    stepAndPump(1);
  }
  std::int64_t frameOfLastSet = sim->frame();
  std::int16_t odd = 0;  // a block of the wrong size is refused
  ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, 402, id, 0, 0, sizeof odd, &odd), S_OK);
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_EXCEPTION));
  EXPECT_EQ(client.messages.back().as<SIMCONNECT_RECV_EXCEPTION>().dwException, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE);

  auto state = sim->objects();
  auto obj = std::find_if(state.begin(), state.end(), [&](auto& o) { return o.id == id; });
  ASSERT_NE(obj, state.end());
  EXPECT_TRUE(obj->released && obj->frozenLatLon && obj->frozenAltitude && obj->frozenAttitude);
  EXPECT_DOUBLE_EQ(obj->latDeg, pos.lat);

  ASSERT_EQ(SimConnect_AIRemoveObject(client.h, id, 105), S_OK);
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, [&](const Received& m) {
    return m.as<SIMCONNECT_RECV_EVENT>().uEventID == 203 && m.as<SIMCONNECT_RECV_EVENT>().dwData == id;
  }));
  ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, 402, id, 0, 0, sizeof pos, &pos), S_OK);
  ASSERT_EQ(SimConnect_TransmitClientEvent(client.h, id, 219, 0, 301, 0), S_OK);
  ASSERT_EQ(SimConnect_AIRemoveObject(client.h, id, 105), S_OK);
  stepAndPump(1);
  auto unrecognized = [](const Received& m) {
    return m.as<SIMCONNECT_RECV_EXCEPTION>().dwException == SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID;
  };
  EXPECT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_EXCEPTION, unrecognized, 3));

  auto lines = lf_trace(traceFile);
  std::vector<std::int64_t> frames;
  std::vector<std::int64_t> ticks;  // -1: none told
  bool removed = false;
  for (auto& l : lines) {
    if (l.value("id", 0u) != id) continue;
    if (l["event"] == "remove") {
      EXPECT_FALSE(removed);
      removed = true;
      continue;
    }
    EXPECT_FALSE(removed) << l.dump();  // nothing after the removal
    if (l["event"] == "position") {
      frames.push_back(l["frame"]);
      ticks.push_back(l.value("tick", std::int64_t{-1}));
      EXPECT_EQ(l["values"]["Plane Altitude"], 120.0);
    }
  }
  EXPECT_TRUE(removed);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[2], frameOfLastSet - 1);
  EXPECT_EQ(frames[1] + 1, frames[2]);
  EXPECT_EQ(ticks, (std::vector<std::int64_t>{7, -1, -1}));
  auto has = [&](const char* event, const char* name) {
    return std::any_of(lines.begin(), lines.end(), [&](auto& l) {
      return l["event"] == event && l.value("id", 0u) == id && (!name || l["name"] == name);
    });
  };
  EXPECT_TRUE(has("release", nullptr));
  EXPECT_TRUE(has("freeze", "FREEZE_ALTITUDE_SET"));
  EXPECT_TRUE(has("client_event", "GEAR_SET"));
  auto set = std::find_if(lines.begin(), lines.end(), [](auto& l) { return l["event"] == "set_data"; });
  ASSERT_NE(set, lines.end());
  EXPECT_EQ((*set)["define"], 401);
  EXPECT_EQ((*set)["values"]["SPOILERS HANDLE POSITION"], 100.0);
  EXPECT_EQ((*set)["values"]["GENERAL ENG THROTTLE LEVER POSITION:2"], -100.0);
}

// A long demo's trace stays small: positions once a second, every event kept.
TEST_F(StandInTest, ATraceRateKeepsOnePositionASecondPerObjectAndEveryEvent) {
  traceRate = 1;
  start();  // 30 frames a second
  DWORD id = create("Stand-in A320 Blue", "KLM1");
  ASSERT_NE(id, 0u);
  PosBlock pos{52.301, 4.761, 0.01, -0.02, 1.5, 120.0, 2.0, 140.0};
  for (int f = 0; f < 75; ++f) {
    pos.lat += 0.0001;
    ASSERT_EQ(SimConnect_SetDataOnSimObject(client.h, 402, id, 0, 0, sizeof pos, &pos), S_OK);
    ASSERT_EQ(SimConnect_TransmitClientEvent(client.h, id, 219, f % 2, 301, 0), S_OK);
    stepAndPump(1);
  }
  ASSERT_EQ(SimConnect_AIRemoveObject(client.h, id, 105), S_OK);
  stepAndPump(1);
  std::vector<std::int64_t> positions;
  int events = 0, removals = 0, creations = 0;
  for (auto& l : lf_trace(traceFile)) {
    if (l.value("id", 0u) != id) continue;
    if (l["event"] == "position") positions.push_back(l["frame"]);
    events += l["event"] == "client_event";
    removals += l["event"] == "remove";
    creations += l["event"] == "create";
  }
  // One in each second the sets span (2.5 s from wherever the creation left the clock).
  ASSERT_GE(positions.size(), 3u);
  EXPECT_LE(positions.size(), 4u);
  for (std::size_t i = 1; i < positions.size(); ++i) {
    EXPECT_EQ(positions[i] / 30, positions[i - 1] / 30 + 1);
    EXPECT_EQ(positions[i] % 30, 0);
  }
  EXPECT_EQ(events, 75);
  EXPECT_EQ(creations, 1);
  EXPECT_EQ(removals, 1);
}

TEST_F(StandInTest, FlightPlansAreReadAndBadOnesRefused) {
  start();
  DWORD id = create("Stand-in A320 Blue", "KLM2");
  ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(client.h, id, (kData / "plan_good.pln").string().c_str(), 110), S_OK);
  ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(client.h, id, (kData / "plan_bad.pln").string().c_str(), 110), S_OK);
  DWORD bad = client.lastPacket();
  ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(client.h, id, (kData / "missing.pln").string().c_str(), 110), S_OK);
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_EXCEPTION, {}, 2));
  EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EXCEPTION), 2u);
  const auto& ex = client.find(SIMCONNECT_RECV_ID_EXCEPTION)->as<SIMCONNECT_RECV_EXCEPTION>();
  EXPECT_EQ(ex.dwException, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED);
  EXPECT_EQ(ex.dwSendID, bad);
  auto lines = lf_trace(traceFile);
  auto plan = std::find_if(lines.begin(), lines.end(), [](auto& l) { return l["event"] == "flight_plan"; });
  ASSERT_NE(plan, lines.end());
  EXPECT_EQ((*plan)["departure"], "EHAM");
  EXPECT_EQ((*plan)["destination"], "KJFK");
}

TEST_F(StandInTest, SimulatorEventsAndInjectedFaults) {
  start();
  sim->setFlightRunning(false);
  sim->loadFlight("C:\\flights\\next.FLT");
  sim->failNextCalls(simwire::Call::RequestDataOnSimObject, SIMCONNECT_EXCEPTION_ERROR);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
  DWORD failed = client.lastPacket();
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA));
  EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_SIMOBJECT_DATA), 1u);  // only the second one was answered
  const auto* ex = client.find(SIMCONNECT_RECV_ID_EXCEPTION);
  ASSERT_NE(ex, nullptr);
  EXPECT_EQ(ex->as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, failed);
  auto simStopped = [](const Received& m) { return m.as<SIMCONNECT_RECV_EVENT>().dwData == 0; };
  EXPECT_EQ(client.count(SIMCONNECT_RECV_ID_EVENT, simStopped), 1u);
  const auto* file = client.find(SIMCONNECT_RECV_ID_EVENT_FILENAME);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->as<SIMCONNECT_RECV_EVENT_FILENAME>().uEventID, 205u);
  EXPECT_STREQ(file->as<SIMCONNECT_RECV_EVENT_FILENAME>().szFileName, "C:\\flights\\next.FLT");

  // Unknown names are refused at registration.
  ASSERT_EQ(SimConnect_AddToDataDefinition(client.h, 500, "PLANE WARP FACTOR", "number"), S_OK);
  ASSERT_EQ(SimConnect_AddToDataDefinition(client.h, 500, "PLANE ALTITUDE", "furlongs"), S_OK);
  ASSERT_EQ(SimConnect_MapClientEventToSimEvent(client.h, 500, "WARP_SET"), S_OK);
  auto unknownName = [](const Received& m) {
    return m.as<SIMCONNECT_RECV_EXCEPTION>().dwException == SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED;
  };
  EXPECT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_EXCEPTION, unknownName, 3));
}

TEST_F(StandInTest, DropAndQuitReachTheDispatchAndClosedSimRefusesOpens) {
  start();
  sim->dropConnections();
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_QUIT));
  EXPECT_EQ(SimConnect_CallDispatch(client.h, [](SIMCONNECT_RECV*, DWORD, void*) {}, nullptr), E_FAIL);
  EXPECT_EQ(SimConnect_TransmitClientEvent(client.h, 0, 219, 1, 301, 0), E_FAIL);
  client.close();

  SimClient second;
  ASSERT_TRUE(second.open(sim->address()));
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(second.h, 204, "Frame"), S_OK);
  sim->quit();
  EXPECT_FALSE(second.pumpUntil([] { return false; }));  // ends as the connection ends
  EXPECT_EQ(second.lastResult, E_FAIL);
  EXPECT_EQ(second.count(SIMCONNECT_RECV_ID_QUIT), 1u);  // the simulator's own, no second from the loss
  EXPECT_FALSE(SimClient().open(sim->address()));         // no longer running
  sim->setRunning(true);
  EXPECT_TRUE(SimClient().open(sim->address()));
}

TEST(StandInScenario, RouteMovesTheUserAndTheClockRollsOver) {
  auto sc = standin::gf_loadScenario(kData / "route_2024.json");
  standin::StandIn sim(sc, {});
  SimClient client;
  ASSERT_TRUE(client.open(sim.address()));
  const Received* open = client.pumpFor(SIMCONNECT_RECV_ID_OPEN) ? client.find(SIMCONNECT_RECV_ID_OPEN) : nullptr;
  ASSERT_NE(open, nullptr);
  EXPECT_STREQ(open->as<SIMCONNECT_RECV_OPEN>().szApplicationName, "SunRise");
  for (auto [name, unit] : {std::pair{"PLANE LATITUDE", "radians"}, {"PLANE ALTITUDE", "meters"},
                            {"GROUND VELOCITY", "knots"}, {"PLANE HEADING DEGREES TRUE", "degrees"}})
    ASSERT_EQ(SimConnect_AddToDataDefinition(client.h, 1, name, unit), S_OK);
  ASSERT_EQ(SimConnect_AddToDataDefinition(client.h, 1, "ZULU YEAR", "number", SIMCONNECT_DATATYPE_INT32), S_OK);
  ASSERT_EQ(SimConnect_AddToDataDefinition(client.h, 1, "ZULU DAY OF YEAR", "number", SIMCONNECT_DATATYPE_INT32), S_OK);
  ASSERT_TRUE(sim.waitProcessed(client.lastPacket(), 30s));
  sim.step(30);  // 3 s at 1 nm per second: half way
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, 1, 1, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA));
  const Received& m = *client.find(SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
  EXPECT_NEAR(m.field<double>(0), 50.05 * std::numbers::pi / 180.0, 1e-9);
  EXPECT_NEAR(m.field<double>(8), 3500 * 0.3048, 1e-6);
  EXPECT_DOUBLE_EQ(m.field<double>(16), 3600.0);
  EXPECT_NEAR(m.field<double>(24), 0.0, 1e-9);
  EXPECT_EQ(m.field<std::int32_t>(32), 2025);
  EXPECT_EQ(m.field<std::int32_t>(36), 1);
  sim.step(100);  // past the end of the route
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, 2, 1, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, {}, 2));
  EXPECT_NEAR(client.messages.back().field<double>(0), 50.1 * std::numbers::pi / 180.0, 1e-12);
  EXPECT_DOUBLE_EQ(client.messages.back().field<double>(16), 0.0);
  // Put elsewhere, the user aircraft stays there: its route is over.
  sim.setUser(51.0, 4.0, 9000, false);
  sim.step(30);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(client.h, 3, 1, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, {}, 3));
  EXPECT_NEAR(client.messages.back().field<double>(0), 51.0 * std::numbers::pi / 180.0, 1e-12);
  EXPECT_NEAR(client.messages.back().field<double>(8), 9000 * 0.3048, 1e-6);
}

TEST(StandInScenario, AWorldBuiltInCodeRunsAsAFileWould) {
  standin::Scenario sc;
  sc.frameRate = 25;  // the reported rate left at its default
  standin::StandIn sim(sc, {});
  SimClient client;
  ASSERT_TRUE(client.open(sim.address()));
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(client.h, 204, "Frame"), S_OK);
  ASSERT_TRUE(sim.waitProcessed(client.lastPacket(), 30s));
  sim.step();
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_EVENT_FRAME));
  EXPECT_FLOAT_EQ(client.find(SIMCONNECT_RECV_ID_EVENT_FRAME)->as<SIMCONNECT_RECV_EVENT_FRAME>().fFrameRate, 25.0f);

  sc.firstAiObjectId = sc.userObjectId;  // AI objects would overwrite the user
  EXPECT_THROW(standin::StandIn(sc, {}), std::runtime_error);
  sc = {};
  sc.frameRate = 0;
  EXPECT_THROW(standin::StandIn(sc, {}), std::runtime_error);
}

TEST(StandInScenario, BadScenariosAreRefusedWithTheirFault) {
  EXPECT_THROW(standin::gf_parseScenario("[1]"), std::runtime_error);
  EXPECT_THROW(standin::gf_parseScenario(R"({"zulu": "2024-13-01T00:00:00"})"), std::runtime_error);
  EXPECT_THROW(standin::gf_parseScenario(R"({"frame_rate": 0})"), std::runtime_error);
  EXPECT_THROW(standin::gf_parseScenario(R"({"user_object_id": 5, "first_ai_object_id": 5})"), std::runtime_error);
  EXPECT_THROW(standin::gf_parseScenario(R"({"version": [1, 2]})"), std::runtime_error);
  EXPECT_THROW(standin::gf_loadScenario(kData / "no_such_scenario.json"), std::runtime_error);
  EXPECT_EQ(standin::gf_parseUtc("2024-07-01T00:00:00"), 1719792000);
  EXPECT_FALSE(standin::gf_parseUtc("2024-07-01 00:00:00").has_value());
}

TEST_F(StandInTest, AClientStoppingHalfWayThroughAPacketIsCutOffWithinSeconds) {
  start();
  auto raw = simwire::Stream::connect("127.0.0.1", sim->port());
  ASSERT_TRUE(raw);
  ASSERT_TRUE(sim->waitConnections(2, 30s));
  simwire::Writer open(simwire::Call::Open, 1);
  open.str("half").u32(simwire::gProtocolVersion).u32(0);
  auto packet = open.finish();
  ASSERT_TRUE(raw->sendAll(std::span(packet).first(packet.size() - 3)));
  const auto deadline = std::chrono::steady_clock::now() + simwire::gPartialPacketTimeout + 10s;
  std::vector<std::byte> ignored;
  simwire::RecvStatus status = simwire::RecvStatus::Timeout;
  while (status != simwire::RecvStatus::Closed && std::chrono::steady_clock::now() < deadline)
    status = raw->receive(ignored, 1s);
  EXPECT_EQ(status, simwire::RecvStatus::Closed);
  EXPECT_EQ(sim->openSessions(), 1u) << "the client that completes its packets keeps its link";
}

#ifdef SKLM_SIMSTANDIN_EXE
TEST(StandInProgram, KillingItIsReportedAndARestartOpensAgain) {
  std::uint16_t port = simwire::Listener::listen(0).port();  // a free port, released again
  std::vector<std::string> args = {"--scenario", (kData / "schiphol.json").string(), "--port",
                                   std::to_string(port), "--rate", "100"};
  auto program = simwire::ChildProcess::spawn(SKLM_SIMSTANDIN_EXE, args);
  SimClient client;
  ASSERT_TRUE(client.open("127.0.0.1:" + std::to_string(port), 10s));
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(client.h, 204, "Frame"), S_OK);
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_EVENT_FRAME, {}, 5));  // real time now
  program.kill();
  ASSERT_TRUE(client.pumpFor(SIMCONNECT_RECV_ID_QUIT));
  EXPECT_EQ(SimConnect_CallDispatch(client.h, [](SIMCONNECT_RECV*, DWORD, void*) {}, nullptr), E_FAIL);
  client.close();

  program = simwire::ChildProcess::spawn(SKLM_SIMSTANDIN_EXE, args);
  SimClient again;
  ASSERT_TRUE(again.open("127.0.0.1:" + std::to_string(port), 10s));
  EXPECT_TRUE(again.pumpFor(SIMCONNECT_RECV_ID_OPEN));
}

TEST(StandInProgram, ExitTheEndOfInputAndHelpEndItWithStatusZero) {
  const std::vector<std::string> args = {"--scenario", (kData / "schiphol.json").string(), "--port", "0"};
  // "quit" is the simulator's quit: the program goes on until "exit".
  auto program = simwire::ChildProcess::spawn(SKLM_SIMSTANDIN_EXE, args);
  ASSERT_TRUE(program.writeInput("quit\nexit\n"));
  EXPECT_EQ(program.wait(), 0);
  program = simwire::ChildProcess::spawn(SKLM_SIMSTANDIN_EXE, args);
  program.closeInput();
  EXPECT_EQ(program.wait(), 0);
  program = simwire::ChildProcess::spawn(SKLM_SIMSTANDIN_EXE, {"--help"});
  EXPECT_EQ(program.wait(), 0);
}
#endif

}  // namespace
