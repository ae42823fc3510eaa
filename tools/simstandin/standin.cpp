#include "tools/simstandin/standin.h"

#include <iostream>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>
#include <variant>

#include <pugixml.hpp>

#include "core/format.h"

namespace standin {

using simwire::Call;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegToRad = kPi / 180.0;
constexpr double kEarthRadiusM = 6371008.8;
constexpr auto kSendTimeout = std::chrono::milliseconds(2000);
constexpr auto kPollWait = std::chrono::milliseconds(100);

enum class Var {
  Latitude, Longitude, Pitch, Bank, Heading, Altitude, VerticalSpeed, AirspeedTrue, AltAboveGround,
  GroundVelocity, ZuluTime, ZuluDayOfYear, ZuluYear, LightStates, LightOnStates, GroundAltitude,
  SimOnGround, AtcId, AtcModel, Title, StaticCg, StaticPitch, Spoilers, Throttle,
};
enum class Dim { Angle, Length, Speed, VerticalSpeed, Time, Number, Text };

struct VarInfo {
  std::string_view name;
  Var var;
  Dim dim;
};

constexpr std::array<VarInfo, 23> kVars = {{
    {"PLANE LATITUDE", Var::Latitude, Dim::Angle},
    {"PLANE LONGITUDE", Var::Longitude, Dim::Angle},
    {"PLANE PITCH DEGREES", Var::Pitch, Dim::Angle},
    {"PLANE BANK DEGREES", Var::Bank, Dim::Angle},
    {"PLANE HEADING DEGREES TRUE", Var::Heading, Dim::Angle},
    {"PLANE ALTITUDE", Var::Altitude, Dim::Length},
    {"VERTICAL SPEED", Var::VerticalSpeed, Dim::VerticalSpeed},
    {"AIRSPEED TRUE", Var::AirspeedTrue, Dim::Speed},
    {"PLANE ALT ABOVE GROUND", Var::AltAboveGround, Dim::Length},
    {"GROUND VELOCITY", Var::GroundVelocity, Dim::Speed},
    {"ZULU TIME", Var::ZuluTime, Dim::Time},
    {"ZULU DAY OF YEAR", Var::ZuluDayOfYear, Dim::Number},
    {"ZULU YEAR", Var::ZuluYear, Dim::Number},
    {"LIGHT STATES", Var::LightStates, Dim::Number},
    {"LIGHT ON STATES", Var::LightOnStates, Dim::Number},
    {"GROUND ALTITUDE", Var::GroundAltitude, Dim::Length},
    {"SIM ON GROUND", Var::SimOnGround, Dim::Number},
    {"ATC ID", Var::AtcId, Dim::Text},
    {"ATC MODEL", Var::AtcModel, Dim::Text},
    {"TITLE", Var::Title, Dim::Text},
    {"STATIC CG TO GROUND", Var::StaticCg, Dim::Length},
    {"STATIC PITCH", Var::StaticPitch, Dim::Angle},
    {"SPOILERS HANDLE POSITION", Var::Spoilers, Dim::Number},
}};
constexpr std::string_view kThrottlePrefix = "GENERAL ENG THROTTLE LEVER POSITION:";

struct UnitInfo {
  std::string_view name;
  Dim dim;
  double factor;  // canonical units per unit
};
constexpr std::array<UnitInfo, 19> kUnits = {{
    {"radians", Dim::Angle, 1.0},
    {"radian", Dim::Angle, 1.0},
    {"degrees", Dim::Angle, kDegToRad},
    {"degree", Dim::Angle, kDegToRad},
    {"feet", Dim::Length, 1.0},
    {"foot", Dim::Length, 1.0},
    {"meters", Dim::Length, 1.0 / 0.3048},
    {"meter", Dim::Length, 1.0 / 0.3048},
    {"knots", Dim::Speed, 1.0},
    {"knot", Dim::Speed, 1.0},
    {"meters per second", Dim::Speed, 3600.0 / 1852.0},
    {"feet per second", Dim::VerticalSpeed, 1.0},
    {"feet per minute", Dim::VerticalSpeed, 1.0 / 60.0},
    {"seconds", Dim::Time, 1.0},
    {"second", Dim::Time, 1.0},
    {"number", Dim::Number, 1.0},
    {"bool", Dim::Number, 1.0},
    {"mask", Dim::Number, 1.0},
    {"percent", Dim::Number, 1.0},
}};

// The client events the simulator knows.
constexpr std::array<std::string_view, 17> kSimEvents = {
    "GEAR_SET", "ENGINE_AUTO_START", "ENGINE_AUTO_SHUTDOWN", "THROTTLE_SET", "FLAPS_SET", "SPOILERS_SET",
    "NAV_LIGHTS_SET", "BEACON_LIGHTS_SET", "LANDING_LIGHTS_SET", "TAXI_LIGHTS_SET", "STROBES_SET",
    "LOGO_LIGHTS_SET", "CABIN_LIGHTS_SET", "ALL_LIGHTS_TOGGLE", "FREEZE_LATITUDE_LONGITUDE_SET",
    "FREEZE_ALTITUDE_SET", "FREEZE_ATTITUDE_SET",
};
constexpr std::array<std::string_view, 5> kSystemEvents = {"sim", "objectadded", "objectremoved", "flightloaded",
                                                           "frame"};

std::string lf_upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
std::string lf_lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Bytes a value of this type takes in a data block; 0 for STRINGV.
std::optional<std::size_t> lf_typeSize(DWORD type) {
  switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
    case SIMCONNECT_DATATYPE_FLOAT32: return 4;
    case SIMCONNECT_DATATYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_STRING8: return 8;
    case SIMCONNECT_DATATYPE_STRING32: return 32;
    case SIMCONNECT_DATATYPE_STRING64: return 64;
    case SIMCONNECT_DATATYPE_STRING128: return 128;
    case SIMCONNECT_DATATYPE_STRING256: return 256;
    case SIMCONNECT_DATATYPE_STRING260: return 260;
    case SIMCONNECT_DATATYPE_STRINGV: return 0;
    default: return std::nullopt;
  }
}
bool lf_isText(DWORD type) { return type >= SIMCONNECT_DATATYPE_STRING8 && type <= SIMCONNECT_DATATYPE_STRINGV; }

template <typename T>
void lf_append(std::vector<std::byte>& out, const T& v) {
  auto p = reinterpret_cast<const std::byte*>(&v);
  out.insert(out.end(), p, p + sizeof v);
}

template <typename M>
M lf_message(DWORD id) {
  M m{};
  m.dwSize = sizeof(M);
  m.dwVersion = simwire::gProtocolVersion;
  m.dwID = id;
  return m;
}

template <std::size_t N>
void lf_copyText(char (&into)[N], const std::string& text) {
  std::size_t n = std::min(text.size(), N - 1);
  std::memcpy(into, text.data(), n);
  into[n] = '\0';
}

double lf_distanceM(double lat1, double lon1, double lat2, double lon2) {
  double p1 = lat1 * kDegToRad, p2 = lat2 * kDegToRad;
  double dp = p2 - p1, dl = (lon2 - lon1) * kDegToRad;
  double a = std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
  return 2 * kEarthRadiusM * std::asin(std::min(1.0, std::sqrt(a)));
}

}  // namespace

struct StandIn::Datum {
  std::string name;  // as the client gave it
  std::string jsonKey;  // the name as a JSON string, for the trace
  Var var;
  int index = 0;     // engine number of a throttle lever
  double factor = 1;
  DWORD type = SIMCONNECT_DATATYPE_FLOAT64;
};

struct StandIn::Object {
  DWORD id = 0;
  bool user = false;
  bool fromClient = false;
  AircraftSpec a;
  double spoilers = 0;
  std::array<double, 4> throttle{};
  bool released = false;
  bool frozenLatLon = false;
  bool frozenAltitude = false;
  bool frozenAttitude = false;
};

struct StandIn::PendingCreation {
  std::int64_t dueFrame = 0;
  int session = 0;
  DWORD packetId = 0;
  DWORD requestId = 0;
  AircraftSpec a;
};

struct StandIn::Session {
  struct Periodic {
    DWORD requestId;
    DWORD defineId;
    DWORD objectId;
    DWORD period;
    double nextDue;
  };
  int serial = 0;
  simwire::Stream stream;
  std::thread thread;
  std::string clientName;
  bool open = false;
  bool dead = false;
  bool finished = false;
  std::map<DWORD, std::string> systemEvents;  // client event id -> lower-case name
  std::map<DWORD, std::vector<Datum>> definitions;
  std::map<DWORD, std::string> clientEvents;  // client event id -> simulator event
  std::map<DWORD, std::vector<DWORD>> groups;
  std::map<DWORD, DWORD> groupPriorities;
  std::vector<Periodic> periodic;
};

StandIn::StandIn(Scenario scenario, StandInOptions options) : m_sc(std::move(scenario)) {
  gf_checkScenario(m_sc);
  m_running = m_sc.running;
  m_flightRunning = m_sc.flightRunning;
  if (!m_sc.route.empty()) {
    m_sc.user.latDeg = m_sc.route.front().latDeg;
    m_sc.user.lonDeg = m_sc.route.front().lonDeg;
    m_sc.user.altitudeFt = m_sc.route.front().altitudeFt;
  }
  Object user;
  user.id = m_sc.userObjectId;
  user.user = true;
  user.a = m_sc.user;
  m_objects.emplace(user.id, user);
  m_nextObjectId = m_sc.firstAiObjectId;
  for (const auto& spec : m_sc.objects) {
    Object o;
    o.id = m_nextObjectId++;
    o.a = spec;
    m_objects.emplace(o.id, o);
  }
  m_traceSetsPerSecond = options.traceSetsPerSecond;
  if (!options.traceFile.empty()) {
    m_trace.open(options.traceFile, std::ios::binary | std::ios::trunc);
    if (!m_trace) throw std::runtime_error(sk::format("cannot write trace {}", options.traceFile.string()));
  }
  m_listener = simwire::Listener::listen(options.port);
  m_port = m_listener.port();
  m_acceptThread = std::thread([this] { acceptLoop(); });
}

StandIn::~StandIn() {
  stop();
  m_stopping = true;
  m_listener.shutdown();
  {
    std::lock_guard lk(m_mutex);
    for (auto& s : m_sessions) closeSession(*s);
  }
  if (m_acceptThread.joinable()) m_acceptThread.join();
  std::vector<std::unique_ptr<Session>> sessions;
  {
    std::lock_guard lk(m_mutex);
    sessions.swap(m_sessions);
  }
  for (auto& s : sessions)
    if (s->thread.joinable()) s->thread.join();
}

std::string StandIn::address() const { return sk::format("127.0.0.1:{}", m_port); }

// ---- connections ----

void StandIn::acceptLoop() {
  while (!m_stopping) {
    auto stream = m_listener.accept(kPollWait);
    reapSessions();
    if (!stream) continue;
    stream->setSendTimeout(kSendTimeout);
    std::lock_guard lk(m_mutex);
    auto s = std::make_unique<Session>();
    s->serial = ++m_connections;
    m_latestProcessed = 0;
    s->stream = std::move(*stream);
    Session& ref = *s;
    m_sessions.push_back(std::move(s));
    ref.thread = std::thread([this, &ref] { readLoop(ref); });
    m_changed.notify_all();
  }
}

void StandIn::reapSessions() {
  std::vector<std::unique_ptr<Session>> done;
  {
    std::lock_guard lk(m_mutex);
    auto split = std::stable_partition(m_sessions.begin(), m_sessions.end(), [](const auto& s) { return !s->finished; });
    std::move(split, m_sessions.end(), std::back_inserter(done));
    m_sessions.erase(split, m_sessions.end());
  }
  for (auto& s : done) s->thread.join();
}

void StandIn::readLoop(Session& s) {
  simwire::PacketAssembler in;
  bool ended = false;
  while (!ended && !m_stopping) {
    // What arrived with the end of the stream (a client's last Close) is still handled.
    bool closed = s.stream.receive(in.buffer(), kPollWait) == simwire::RecvStatus::Closed;
    std::lock_guard lk(m_mutex);
    DWORD handled = 0;
    try {
      for (auto packet = in.next(); !packet.empty() && !s.dead; packet = in.next()) handled = handlePacket(s, packet);
      if (!s.dead && in.stalled())
        throw simwire::WireError("packet left incomplete for over " +
                                 std::to_string(simwire::gPartialPacketTimeout.count()) + " s");
    } catch (const simwire::WireError& e) {
      // A client that sends what no client sends is cut off, and says why.
      std::cerr << "simstandin: " << e.what() << ", link to \"" << s.clientName << "\" closed\n";
      trace("protocol_error", {{"client", s.clientName}, {"what", e.what()}});
      closeSession(s);
    }
    // The trace is complete before anyone hears the packets were handled.
    if (m_trace.is_open()) m_trace.flush();
    if (handled && s.serial == m_connections) m_latestProcessed = handled;
    m_changed.notify_all();
    ended = s.dead || closed;
  }
  std::lock_guard lk(m_mutex);
  if (!s.dead) {
    if (s.open) trace("disconnect", {{"client", s.clientName}});
    closeSession(s);
  }
  s.finished = true;
  m_changed.notify_all();
}

void StandIn::closeSession(Session& s) {
  s.dead = true;
  s.open = false;
  s.stream.shutdown();
}

void StandIn::send(Session& s, const void* data, std::size_t size) {
  if (s.dead) return;
  if (!s.stream.sendAll(std::span(static_cast<const std::byte*>(data), size))) {
    trace("send_failed", {{"client", s.clientName}});
    closeSession(s);
  }
}

void StandIn::sendException(Session& s, DWORD code, DWORD packetId, DWORD index) {
  auto m = lf_message<SIMCONNECT_RECV_EXCEPTION>(SIMCONNECT_RECV_ID_EXCEPTION);
  m.dwException = code;
  m.dwSendID = packetId;
  m.dwIndex = index;
  trace("exception", {{"code", code}, {"packet", packetId}, {"index", index}});
  send(s, m);
}

template <typename Msg>
void StandIn::sendToSubscribers(const char* name, Msg m) {
  m.uGroupID = SIMCONNECT_UNUSED;
  for (auto& s : m_sessions) {
    if (!s->open) continue;
    for (const auto& [id, sub] : s->systemEvents) {
      if (sub != name) continue;
      m.uEventID = id;
      send(*s, m);
    }
  }
}

void StandIn::sendObjectEvent(const char* name, DWORD objectId) {
  auto m = lf_message<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
  m.dwData = objectId;
  m.eObjType = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
  sendToSubscribers(name, m);
}

// ---- the values of the world ----

namespace {

using Value = std::variant<double, std::string>;

struct Clock {
  std::int64_t secondsOfDay;
  std::int64_t dayOfYear;
  std::int64_t year;
};

Clock lf_clock(std::int64_t epoch) {
  using namespace std::chrono;
  auto days = floor<std::chrono::days>(sys_seconds(seconds(epoch)));
  year_month_day ymd(days);
  auto first = sys_days(ymd.year() / January / 1);
  return {epoch - days.time_since_epoch().count() * 86400LL, (days - first).count() + 1,
          static_cast<int>(ymd.year())};
}

Value lf_value(const Var var, int index, const AircraftSpec& a, bool onGround, double groundFt, double staticCg,
               double staticPitch, double spoilers, const std::array<double, 4>& throttle, const Clock& clock) {
  switch (var) {
    case Var::Latitude: return a.latDeg * kDegToRad;
    case Var::Longitude: return a.lonDeg * kDegToRad;
    case Var::Pitch: return a.pitchRad;
    case Var::Bank: return a.bankRad;
    case Var::Heading: return a.headingRad;
    case Var::Altitude: return a.altitudeFt;
    case Var::VerticalSpeed: return a.verticalSpeedFps;
    case Var::AirspeedTrue: return a.airspeedKts;
    case Var::AltAboveGround: return a.altitudeFt - groundFt;
    case Var::GroundVelocity: return a.groundSpeedKts;
    case Var::ZuluTime: return static_cast<double>(clock.secondsOfDay);
    case Var::ZuluDayOfYear: return static_cast<double>(clock.dayOfYear);
    case Var::ZuluYear: return static_cast<double>(clock.year);
    case Var::LightStates:
    case Var::LightOnStates: return static_cast<double>(a.lightStates);
    case Var::GroundAltitude: return groundFt;
    case Var::SimOnGround: return onGround ? 1.0 : 0.0;
    case Var::AtcId: return a.atcId;
    case Var::AtcModel: return a.atcModel;
    case Var::Title: return a.title;
    case Var::StaticCg: return staticCg;
    case Var::StaticPitch: return staticPitch;
    case Var::Spoilers: return spoilers;
    case Var::Throttle: return throttle[static_cast<std::size_t>(index - 1)];
  }
  return 0.0;
}

void lf_pack(std::vector<std::byte>& out, DWORD type, double factor, const Value& v) {
  if (const double* d = std::get_if<double>(&v)) {
    double x = *d / factor;
    switch (type) {
      case SIMCONNECT_DATATYPE_INT32: lf_append(out, static_cast<std::int32_t>(std::llround(x))); break;
      case SIMCONNECT_DATATYPE_INT64: lf_append(out, static_cast<std::int64_t>(std::llround(x))); break;
      case SIMCONNECT_DATATYPE_FLOAT32: lf_append(out, static_cast<float>(x)); break;
      default: lf_append(out, x); break;
    }
    return;
  }
  const std::string& text = std::get<std::string>(v);
  std::size_t size = lf_typeSize(type).value_or(0);
  if (size == 0) size = (text.size() + 1 + 3) / 4 * 4;  // STRINGV: zero-terminated, padded to 4
  std::size_t n = std::min(text.size(), size - 1);
  auto start = out.size();
  out.resize(start + size, std::byte{0});
  std::memcpy(out.data() + start, text.data(), n);
}

}  // namespace

StandIn::Object* StandIn::findObject(DWORD id) {
  if (id == SIMCONNECT_OBJECT_ID_USER) id = m_sc.userObjectId;
  auto it = m_objects.find(id);
  return it == m_objects.end() ? nullptr : &it->second;
}

void StandIn::sendData(Session& s, DWORD recvId, DWORD requestId, DWORD defineId, const Object& o, DWORD entry,
                       DWORD outOf) {
  const auto& datums = s.definitions.at(defineId);
  SIMCONNECT_RECV_SIMOBJECT_DATA h{};
  h.dwVersion = simwire::gProtocolVersion;
  h.dwID = recvId;
  h.dwRequestID = requestId;
  h.dwObjectID = o.id;
  h.dwDefineID = defineId;
  h.dwentrynumber = entry;
  h.dwoutof = outOf;
  h.dwDefineCount = static_cast<DWORD>(datums.size());
  std::vector<std::byte> out(simwire::gDataOffset);
  // A frame rate such as 100/3 puts whole seconds a rounding error short of
  // themselves; a microsecond of slack keeps them whole.
  Clock clock = lf_clock(m_sc.startEpochSeconds + static_cast<std::int64_t>(m_simSeconds + 1e-6));
  bool onGround = o.user || !o.fromClient ? o.a.onGround
                                          : o.a.altitudeFt - m_sc.groundElevationFt <= m_sc.staticCgFt + 1.0;
  for (const auto& d : datums)
    lf_pack(out, d.type, d.factor,
            lf_value(d.var, d.index, o.a, onGround, m_sc.groundElevationFt, m_sc.staticCgFt, m_sc.staticPitchRad,
                     o.spoilers, o.throttle, clock));
  h.dwSize = static_cast<DWORD>(out.size());
  std::memcpy(out.data(), &h, simwire::gDataOffset);
  send(s, out.data(), out.size());
}

// ---- the calls ----

DWORD StandIn::handlePacket(Session& s, std::span<const std::byte> packet) {
  simwire::Reader r(packet);
  auto call = static_cast<Call>(r.header().call);
  DWORD packetId = r.header().packetId;
  if (!s.open) {
    if (call != Call::Open) throw simwire::WireError("the first call must open");
    s.clientName = r.str();
    DWORD version = r.u32();
    if (!m_running || version != simwire::gProtocolVersion) {
      auto refused = lf_message<SIMCONNECT_RECV>(simwire::gOpenRefusedId);
      send(s, refused);
      trace("open_refused", {{"client", s.clientName}, {"running", m_running}});
      closeSession(s);
      return packetId;
    }
    s.open = true;
    auto m = lf_message<SIMCONNECT_RECV_OPEN>(SIMCONNECT_RECV_ID_OPEN);
    lf_copyText(m.szApplicationName, m_sc.appName);
    m.dwApplicationVersionMajor = m_sc.version[0];
    m.dwApplicationVersionMinor = m_sc.version[1];
    m.dwApplicationBuildMajor = m_sc.version[2];
    m.dwApplicationBuildMinor = m_sc.version[3];
    m.dwSimConnectVersionMajor = m_sc.version[0];
    m.dwSimConnectVersionMinor = m_sc.version[1];
    m.dwSimConnectBuildMajor = m_sc.version[2];
    m.dwSimConnectBuildMinor = m_sc.version[3];
    trace("open", {{"client", s.clientName}});
    send(s, m);
  } else {
    handleCall(s, call, packetId, r);
  }
  return packetId;
}

void StandIn::handleCall(Session& s, Call call, DWORD packetId, simwire::Reader& r) {
  if (auto it = m_faults.find(call); it != m_faults.end()) {
    DWORD code = it->second.first;
    if (--it->second.second <= 0) m_faults.erase(it);
    trace("fault", {{"call", simwire::gf_callName(call)}, {"code", code}, {"packet", packetId}});
    sendException(s, code, packetId, 0);
    return;
  }
  auto refuse = [&](DWORD code, DWORD index) { sendException(s, code, packetId, index); };

  switch (call) {
    case Call::Open: throw simwire::WireError("opened twice");
    case Call::Close:
      trace("close", {{"client", s.clientName}});
      closeSession(s);
      return;
    case Call::SubscribeToSystemEvent: {
      DWORD id = r.u32();
      std::string name = lf_lower(r.str());
      if (std::find(kSystemEvents.begin(), kSystemEvents.end(), name) == kSystemEvents.end())
        return refuse(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2);
      s.systemEvents[id] = name;
      if (name == "sim") {  // answers the current state at once
        auto m = lf_message<SIMCONNECT_RECV_EVENT>(SIMCONNECT_RECV_ID_EVENT);
        m.uGroupID = SIMCONNECT_UNUSED;
        m.uEventID = id;
        m.dwData = m_flightRunning ? 1 : 0;
        send(s, m);
      }
      return;
    }
    case Call::UnsubscribeFromSystemEvent:
      if (s.systemEvents.erase(r.u32()) == 0) refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
      return;
    case Call::AddToDataDefinition: {
      DWORD def = r.u32();
      Datum d;
      d.name = r.str();
      std::string unit = lf_lower(r.str());
      d.type = r.u32();
      std::string upper = lf_upper(d.name);
      std::optional<Dim> dim;
      if (upper.starts_with(kThrottlePrefix)) {
        int engine = std::atoi(upper.c_str() + kThrottlePrefix.size());
        if (engine < 1 || engine > 4) return refuse(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2);
        d.var = Var::Throttle;
        d.index = engine;
        dim = Dim::Number;
      } else {
        for (const auto& v : kVars)
          if (v.name == upper) {
            d.var = v.var;
            dim = v.dim;
          }
      }
      if (!dim) return refuse(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2);
      if (!lf_typeSize(d.type) || lf_isText(d.type) != (*dim == Dim::Text))
        return refuse(SIMCONNECT_EXCEPTION_ERROR, 4);
      if (*dim == Dim::Text) {
        if (!unit.empty()) return refuse(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 3);
      } else {
        auto u = std::find_if(kUnits.begin(), kUnits.end(), [&](const UnitInfo& x) { return x.name == unit; });
        if (u == kUnits.end() || u->dim != *dim) return refuse(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 3);
        d.factor = u->factor;
      }
      d.jsonKey = nlohmann::json(d.name).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      s.definitions[def].push_back(std::move(d));
      return;
    }
    case Call::ClearDataDefinition: {
      DWORD def = r.u32();
      if (s.definitions.erase(def) == 0) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
      std::erase_if(s.periodic, [&](const auto& p) { return p.defineId == def; });
      return;
    }
    case Call::MapClientEventToSimEvent: {
      DWORD id = r.u32();
      std::string name = lf_upper(r.str());
      if (std::find(kSimEvents.begin(), kSimEvents.end(), name) == kSimEvents.end())
        return refuse(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2);
      s.clientEvents[id] = name;
      return;
    }
    case Call::AddClientEventToNotificationGroup: {
      DWORD group = r.u32();
      DWORD event = r.u32();
      if (!s.clientEvents.contains(event)) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
      s.groups[group].push_back(event);
      return;
    }
    case Call::SetNotificationGroupPriority: {
      DWORD group = r.u32();
      DWORD priority = r.u32();
      if (!s.groups.contains(group)) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
      s.groupPriorities[group] = priority;
      return;
    }
    case Call::RequestDataOnSimObject: {
      DWORD request = r.u32();
      DWORD def = r.u32();
      DWORD objectId = r.u32();
      DWORD period = r.u32();
      if (!s.definitions.contains(def)) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
      Object* o = findObject(objectId);
      if (!o) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 3);
      std::erase_if(s.periodic, [&](const auto& p) { return p.requestId == request; });
      if (period == SIMCONNECT_PERIOD_ONCE)
        sendData(s, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, request, def, *o, 1, 1);
      else if (period != SIMCONNECT_PERIOD_NEVER)
        s.periodic.push_back({request, def, o->id, period, m_simSeconds});
      return;
    }
    case Call::RequestDataOnSimObjectType: {
      DWORD request = r.u32();
      DWORD def = r.u32();
      double radius = r.u32();
      DWORD type = r.u32();
      trace("by_type", {{"request", request}, {"radius", radius}});
      if (!s.definitions.contains(def)) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
      const Object& user = m_objects.at(m_sc.userObjectId);
      std::vector<const Object*> found;
      for (const auto& [id, o] : m_objects) {
        if (type == SIMCONNECT_SIMOBJECT_TYPE_USER && !o.user) continue;
        if (lf_distanceM(user.a.latDeg, user.a.lonDeg, o.a.latDeg, o.a.lonDeg) <= radius) found.push_back(&o);
      }
      for (std::size_t i = 0; i < found.size(); ++i)
        sendData(s, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, request, def, *found[i], static_cast<DWORD>(i + 1),
                 static_cast<DWORD>(found.size()));
      return;
    }
    case Call::SetDataOnSimObject: {
      DWORD def = r.u32();
      DWORD objectId = r.u32();
      r.u32();  // flags
      DWORD count = std::max<DWORD>(r.u32(), 1);
      DWORD unit = r.u32();
      auto block = r.bytes();
      const double programTicks = r.f64();
      auto d = s.definitions.find(def);
      if (d == s.definitions.end()) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
      Object* o = findObject(objectId);
      if (!o) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
      std::size_t want = 0;
      for (const auto& datum : d->second) want += lf_typeSize(datum.type).value_or(0);
      bool variable = std::any_of(d->second.begin(), d->second.end(),
                                  [](const Datum& x) { return x.type == SIMCONNECT_DATATYPE_STRINGV; });
      if (variable || unit != want || block.size() != static_cast<std::size_t>(unit) * count)
        return refuse(SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, 5);
      // Of an array the last element stands.
      const std::byte* p = block.data() + static_cast<std::size_t>(unit) * (count - 1);
      std::string values;  // the trace's JSON object, built directly: sets are the bulk of the trace
      bool position = false;
      for (const auto& datum : d->second) {
        std::size_t size = *lf_typeSize(datum.type);
        double x = 0;
        values += values.empty() ? "{" : ",";
        values += datum.jsonKey;
        values += ':';
        if (lf_isText(datum.type)) {
          std::string text(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), size));
          values += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        } else {
          if (datum.type == SIMCONNECT_DATATYPE_FLOAT64) std::memcpy(&x, p, 8);
          else if (datum.type == SIMCONNECT_DATATYPE_FLOAT32) { float f; std::memcpy(&f, p, 4); x = f; }
          else if (datum.type == SIMCONNECT_DATATYPE_INT64) { std::int64_t i; std::memcpy(&i, p, 8); x = static_cast<double>(i); }
          else { std::int32_t i; std::memcpy(&i, p, 4); x = i; }
          values += std::isfinite(x) ? sk::format("{}", x) : std::string("null");
          x *= datum.factor;
        }
        p += size;
        AircraftSpec& a = o->a;
        switch (datum.var) {  // what the simulator lets a client set; the rest is ignored
          case Var::Latitude: a.latDeg = x / kDegToRad; position = true; break;
          case Var::Longitude: a.lonDeg = x / kDegToRad; position = true; break;
          case Var::Pitch: a.pitchRad = x; break;
          case Var::Bank: a.bankRad = x; break;
          case Var::Heading: a.headingRad = x; break;
          case Var::Altitude: a.altitudeFt = x; break;
          case Var::VerticalSpeed: a.verticalSpeedFps = x; break;
          case Var::AirspeedTrue: a.airspeedKts = x; break;
          case Var::Spoilers: o->spoilers = x; break;
          case Var::Throttle: o->throttle[static_cast<std::size_t>(datum.index - 1)] = x; break;
          default: break;
        }
      }
      values += values.empty() ? "{}" : "}";
      tracePosition(position ? "position" : "set_data", o->id, def, values, programTicks);
      return;
    }
    case Call::TransmitClientEvent: {
      DWORD objectId = r.u32();
      DWORD event = r.u32();
      DWORD data = r.u32();
      DWORD group = r.u32();
      Object* o = findObject(objectId);
      if (!o) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
      auto e = s.clientEvents.find(event);
      if (e == s.clientEvents.end()) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
      const std::string& name = e->second;
      bool freeze = name.starts_with("FREEZE_");
      if (name == "FREEZE_LATITUDE_LONGITUDE_SET") o->frozenLatLon = data != 0;
      if (name == "FREEZE_ALTITUDE_SET") o->frozenAltitude = data != 0;
      if (name == "FREEZE_ATTITUDE_SET") o->frozenAttitude = data != 0;
      trace(freeze ? "freeze" : "client_event",
            {{"id", o->id}, {"name", name}, {"value", data}, {"group", group}});
      return;
    }
    case Call::AICreateNonATCAircraft: {
      PendingCreation c;
      c.a.title = r.str();
      c.a.atcId = r.str();
      c.a.latDeg = r.f64();
      c.a.lonDeg = r.f64();
      c.a.altitudeFt = r.f64();
      c.a.pitchRad = r.f64() * kDegToRad;
      c.a.bankRad = r.f64() * kDegToRad;
      c.a.headingRad = r.f64() * kDegToRad;
      c.a.onGround = r.u32() != 0;
      c.a.airspeedKts = r.u32();
      c.requestId = r.u32();
      c.packetId = packetId;
      c.session = s.serial;
      auto refused = [&](DWORD code, DWORD index) {
        trace("create_refused", {{"title", c.a.title}, {"tail", c.a.atcId}, {"code", code}, {"packet", packetId}});
        refuse(code, index);
      };
      if (m_sc.knownTitles && std::find(m_sc.knownTitles->begin(), m_sc.knownTitles->end(), c.a.title) ==
                                  m_sc.knownTitles->end())
        return refused(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 1);
      if (m_objects.size() - 1 + m_pending.size() >= m_sc.maxObjects)
        return refused(SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS, 0);
      if (c.a.onGround) c.a.altitudeFt = m_sc.groundElevationFt + m_sc.staticCgFt;
      c.dueFrame = m_frame + static_cast<std::int64_t>(std::ceil(m_sc.createDelaySeconds * m_sc.frameRate));
      m_pending.push_back(std::move(c));
      return;
    }
    case Call::AIRemoveObject:
    case Call::AIReleaseControl: {
      DWORD objectId = r.u32();
      DWORD request = r.u32();
      Object* o = objectId == SIMCONNECT_OBJECT_ID_USER ? nullptr : findObject(objectId);
      if (!o) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
      if (o->user) return refuse(SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, 1);
      if (call == Call::AIReleaseControl) {
        o->released = true;
        trace("release", {{"id", objectId}, {"request", request}});
        return;
      }
      m_objects.erase(objectId);
      trace("remove", {{"id", objectId}, {"request", request}});
      sendObjectEvent("objectremoved", objectId);
      return;
    }
    case Call::AISetAircraftFlightPlan: {
      DWORD objectId = r.u32();
      std::string path = r.str();
      DWORD request = r.u32();
      Object* o = findObject(objectId);
      if (!o || o->user) return refuse(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
      pugi::xml_document doc;
      std::string departure, destination;
      if (doc.load_file(path.c_str())) {
        auto plan = doc.child("SimBase.Document").child("FlightPlan.FlightPlan");
        departure = plan.child("DepartureID").text().as_string();
        destination = plan.child("DestinationID").text().as_string();
      }
      if (departure.empty() || destination.empty()) {
        trace("flight_plan_refused", {{"id", objectId}, {"path", path}});
        return refuse(SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, 2);
      }
      trace("flight_plan", {{"id", objectId},
                            {"path", path},
                            {"departure", departure},
                            {"destination", destination},
                            {"request", request}});
      return;
    }
  }
  throw simwire::WireError(sk::format("unknown call {}", static_cast<DWORD>(call)));
}

// ---- frames ----

void StandIn::step(int frames) {
  std::lock_guard lk(m_mutex);
  for (int i = 0; i < frames; ++i) stepLocked();
}

void StandIn::stepLocked() {
  ++m_frame;
  m_simSeconds = static_cast<double>(m_frame) / m_sc.frameRate;  // no drift from summing
  moveUser(1.0 / m_sc.frameRate);
  materializeDue();
  auto frame = lf_message<SIMCONNECT_RECV_EVENT_FRAME>(SIMCONNECT_RECV_ID_EVENT_FRAME);
  frame.fFrameRate = static_cast<float>(m_sc.reportedFrameRate);
  frame.fSimSpeed = 1.0f;
  sendToSubscribers("frame", frame);
  for (auto& s : m_sessions) {
    if (!s->open) continue;
    for (auto& p : s->periodic) {
      bool due = p.period == SIMCONNECT_PERIOD_SECOND ? m_simSeconds + 1e-9 >= p.nextDue : true;
      if (!due) continue;
      p.nextDue += 1.0;
      if (const Object* o = findObject(p.objectId); o && s->definitions.contains(p.defineId))
        sendData(*s, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, p.requestId, p.defineId, *o, 1, 1);
    }
  }
  if (m_trace.is_open()) m_trace.flush();
  m_changed.notify_all();
}

void StandIn::materializeDue() {
  auto due = std::stable_partition(m_pending.begin(), m_pending.end(),
                                   [&](const PendingCreation& c) { return c.dueFrame > m_frame; });
  std::vector<PendingCreation> ready(std::make_move_iterator(due), std::make_move_iterator(m_pending.end()));
  m_pending.erase(due, m_pending.end());
  for (auto& c : ready) {
    Object o;
    o.id = m_nextObjectId++;
    o.fromClient = true;
    o.a = std::move(c.a);
    trace("create", {{"id", o.id},
                     {"title", o.a.title},
                     {"tail", o.a.atcId},
                     {"lat", o.a.latDeg},
                     {"lon", o.a.lonDeg},
                     {"alt", o.a.altitudeFt},
                     {"heading", o.a.headingRad},
                     {"on_ground", o.a.onGround},
                     {"packet", c.packetId},
                     {"request", c.requestId}});
    DWORD id = o.id;
    m_objects.emplace(id, std::move(o));
    sendObjectEvent("objectadded", id);
  }
}

void StandIn::moveUser(double seconds) {
  auto& route = m_sc.route;
  AircraftSpec& a = m_objects.at(m_sc.userObjectId).a;
  if (route.size() < 2 || m_sc.routeSpeedKts <= 0) return;
  double left = m_sc.routeSpeedKts * seconds / 3600.0;  // nautical miles
  while (m_routeLeg + 1 < route.size() && left > 0) {
    const Waypoint& to = route[m_routeLeg + 1];
    double north = (to.latDeg - a.latDeg) * 60.0;
    double east = (to.lonDeg - a.lonDeg) * 60.0 * std::cos(a.latDeg * kDegToRad);
    double dist = std::hypot(north, east);
    if (dist > 1e-9) a.headingRad = std::fmod(std::atan2(east, north) + 2 * kPi, 2 * kPi);
    if (dist <= left) {
      a.latDeg = to.latDeg;
      a.lonDeg = to.lonDeg;
      a.altitudeFt = to.altitudeFt;
      left -= dist;
      ++m_routeLeg;
    } else {
      double f = left / dist;
      a.latDeg += (to.latDeg - a.latDeg) * f;
      a.lonDeg += (to.lonDeg - a.lonDeg) * f;
      a.altitudeFt += (to.altitudeFt - a.altitudeFt) * f;
      left = 0;
    }
  }
  a.groundSpeedKts = m_routeLeg + 1 < route.size() ? m_sc.routeSpeedKts : 0.0;
}

void StandIn::startRealTime() {
  if (m_realTime.exchange(true)) return;
  m_frameThread = std::thread([this] {
    using clock = std::chrono::steady_clock;
    auto period = std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(1.0 / m_sc.frameRate));
    auto next = clock::now();
    std::unique_lock lk(m_mutex);
    while (m_realTime) {
      next += period;
      if (clock::now() - next > std::chrono::seconds(1)) next = clock::now();  // fell far behind: no burst
      m_changed.wait_until(lk, next, [&] { return !m_realTime; });
      if (!m_realTime) break;
      stepLocked();
    }
  });
}

void StandIn::stop() {
  {
    std::lock_guard lk(m_mutex);
    m_realTime = false;
    m_changed.notify_all();
  }
  if (m_frameThread.joinable()) m_frameThread.join();
}

// ---- control ----

void StandIn::setRunning(bool running) {
  std::lock_guard lk(m_mutex);
  m_running = running;
  trace("running", {{"value", running}});
}

void StandIn::setFlightRunning(bool running) {
  std::lock_guard lk(m_mutex);
  m_flightRunning = running;
  trace("sim", {{"value", running}});
  auto m = lf_message<SIMCONNECT_RECV_EVENT>(SIMCONNECT_RECV_ID_EVENT);
  m.dwData = running ? 1 : 0;
  sendToSubscribers("sim", m);
}

void StandIn::setUser(double latDeg, double lonDeg, double altitudeFt, bool onGround) {
  std::lock_guard lk(m_mutex);
  AircraftSpec& a = m_objects.at(m_sc.userObjectId).a;
  a.latDeg = latDeg;
  a.lonDeg = lonDeg;
  a.altitudeFt = altitudeFt;
  a.onGround = onGround;
  m_sc.route.clear();
  trace("user", {{"lat", latDeg}, {"lon", lonDeg}, {"alt", altitudeFt}, {"on_ground", onGround}});
}

void StandIn::loadFlight(const std::string& file) {
  std::lock_guard lk(m_mutex);
  trace("flight_loaded", {{"file", file}});
  auto m = lf_message<SIMCONNECT_RECV_EVENT_FILENAME>(SIMCONNECT_RECV_ID_EVENT_FILENAME);
  lf_copyText(m.szFileName, file);
  sendToSubscribers("flightloaded", m);
}

void StandIn::failNextCalls(Call call, DWORD exceptionCode, int count) {
  std::lock_guard lk(m_mutex);
  if (count <= 0) m_faults.erase(call);
  else m_faults[call] = {exceptionCode, count};
}

bool StandIn::removeObject(DWORD id) {
  std::lock_guard lk(m_mutex);
  auto it = m_objects.find(id);
  if (it == m_objects.end() || it->second.user) return false;
  m_objects.erase(it);
  trace("vanish", {{"id", id}});
  sendObjectEvent("objectremoved", id);
  m_changed.notify_all();
  return true;
}

void StandIn::dropConnections() {
  std::lock_guard lk(m_mutex);
  trace("drop", {});
  for (auto& s : m_sessions) closeSession(*s);
}

void StandIn::quit() {
  std::lock_guard lk(m_mutex);
  trace("quit", {});
  auto m = lf_message<SIMCONNECT_RECV_QUIT>(SIMCONNECT_RECV_ID_QUIT);
  for (auto& s : m_sessions) {
    if (s->open) send(*s, m);
    closeSession(*s);
  }
  m_running = false;
  m_flightRunning = false;
}

bool StandIn::waitProcessed(DWORD packetId, std::chrono::milliseconds timeout) {
  std::unique_lock lk(m_mutex);
  return m_changed.wait_for(lk, timeout, [&] { return m_latestProcessed >= packetId; });
}

bool StandIn::waitAllClosed(std::chrono::milliseconds timeout) {
  std::unique_lock lk(m_mutex);
  return m_changed.wait_for(lk, timeout, [&] {
    return std::all_of(m_sessions.begin(), m_sessions.end(), [](const auto& s) { return s->finished; });
  });
}

bool StandIn::waitConnections(int count, std::chrono::milliseconds timeout) {
  std::unique_lock lk(m_mutex);
  return m_changed.wait_for(lk, timeout, [&] { return m_connections >= count; });
}

std::int64_t StandIn::frame() const {
  std::lock_guard lk(m_mutex);
  return m_frame;
}

std::size_t StandIn::openSessions() const {
  std::lock_guard lk(m_mutex);
  return static_cast<std::size_t>(
      std::count_if(m_sessions.begin(), m_sessions.end(), [](const auto& s) { return s->open; }));
}

std::vector<ObjectState> StandIn::objects() const {
  std::lock_guard lk(m_mutex);
  std::vector<ObjectState> out;
  for (const auto& [id, o] : m_objects)
    out.push_back({id, o.user, o.a.title, o.a.atcId, o.a.latDeg, o.a.lonDeg, o.a.altitudeFt, o.released,
                   o.frozenLatLon, o.frozenAltitude, o.frozenAttitude});
  return out;
}

void StandIn::trace(const char* event, nlohmann::ordered_json fields) {
  if (!m_trace.is_open()) return;
  nlohmann::ordered_json line = {{"frame", m_frame}, {"event", event}};
  for (auto& [k, v] : fields.items()) line[k] = std::move(v);
  m_trace << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
  m_trace.flush();
}

void StandIn::tracePosition(const char* event, DWORD objectId, DWORD defineId, const std::string& values,
                            double programTicks) {
  if (!m_trace.is_open()) return;
  if (m_traceSetsPerSecond > 0) {
    // The first set of each object and definition in each 1/N s of simulator time.
    const auto slot = static_cast<std::int64_t>(std::floor(m_simSeconds * m_traceSetsPerSecond + 1e-9));
    auto [last, first] = m_lastTracedSet.try_emplace({objectId, defineId}, slot);
    if (!first && last->second == slot) return;
    last->second = slot;
  }
  // The client's own time of the set, when it told it.
  const std::string told = std::isfinite(programTicks) ? sk::format(R"(,"tick":{:.0f})", programTicks) : std::string();
  m_trace << sk::format(R"({{"frame":{},"event":"{}","id":{},"define":{},"values":{}{}}})", m_frame, event,
                        objectId, defineId, values, told)
          << '\n';
}

}  // namespace standin
