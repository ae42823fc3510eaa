#include "scenario_driver.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>

#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "airports/airport_list.h"
#include "airports/apf_loading.h"
#include "airports/static_parking.h"
#include "core/clock.h"
#include "core/format.h"
#include "core/parameters.h"
#include "core/random.h"
#include "link_reset.h"
#include "platform/simconnect.h"
#include "shell/auto_range.h"
#include "shell/run_state.h"
#include "tools/simstandin/standin.h"
#include "tools/tracemap/tracemap.h"
#include "traffic/engine.h"
#include "traffic/readers.h"
#include "traffic/sim_connection.h"
#include "traffic/sim_queues.h"
#include "traffic/update_queue.h"
#include "traffic/user_aircraft.h"

namespace scenario {
namespace {

using namespace std::chrono_literals;

// What the clock seams read: plain functions, so the tick and the start live here.
std::int64_t gEpoch = 0;
constexpr std::uint64_t kSteadyStart = 1'000'000'000'000;  // 100 ns units; any value not 0
constexpr std::uint64_t kSteadyPerTick = 100'000;          // 10 ms

std::int64_t lf_utcNow() { return gEpoch + gTick.load() / 100; }
std::uint64_t lf_steadyNow() { return kSteadyStart + static_cast<std::uint64_t>(gTick.load()) * kSteadyPerTick; }

// A stand-in that no longer answers would otherwise hang the run; the bound
// is far above any answer's time and never reached by a healthy run.
constexpr auto kAnswerBound = 10s;
// The program's two-second wait for the exit removals to go out.
constexpr std::int64_t kExitWaitTicks = 200;
constexpr std::int64_t kExitSweepTicks = 20;

double lf_reportedFrameRate(int ticksPerFrame) {
  if (ticksPerFrame == 3) return 30;
  if (ticksPerFrame == 2) return 60;
  return 100.0 / ticksPerFrame;
}

DWORD lf_lastSent() {
  DWORD last = 0;
  std::lock_guard lock(gScMutex);
  if (gHSimConnect) SimConnect_GetLastSentPacketID(gHSimConnect, &last);
  return last;
}

}  // namespace

Driver::Driver(DriverSetup setup) : m_setup(std::move(setup)) {
  if (m_setup.ticksPerFrame < 1) throw std::runtime_error("a frame takes at least one tick");
  testing_traffic::resetSimLink();
  testing_traffic::resetEngine();
  gEpoch = m_setup.epoch;
  gf_setClockSource(&lf_utcNow);
  gf_setSteadySource(&lf_steadyNow);
  gf_randomEngine().seed(static_cast<std::mt19937::result_type>(m_setup.seed));

  gLateralRangeNm = m_setup.rangeNm;
  gLateralRangeMeters = static_cast<std::uint32_t>(m_setup.rangeNm * 1852.0);
  gAutoRangeAtTen.store(false);
  gParkAirportLoaded.store(0);
  m_reader->setUserPosition(m_setup.user);
  if (m_setup.park) lf_showPark(*m_setup.park);
  {
    std::lock_guard lock(gUpdateMutex);
    gUpdateQueue.clear();
  }
  gf_setAcceptUpdates(true);

  standin::Scenario& world = m_setup.world;
  world.startEpochSeconds = m_setup.epoch;
  world.frameRate = 100.0 / m_setup.ticksPerFrame;
  world.reportedFrameRate = lf_reportedFrameRate(m_setup.ticksPerFrame);
  m_standIn = std::make_unique<standin::StandIn>(world, standin::StandInOptions{0, m_setup.traceFile});
  gf_setSimConnectAddress(m_standIn->address());
  if (!gf_simconOpen()) throw std::runtime_error("the engine's link to the stand-in did not open");
  lf_settle();
}

// The park airport is chosen as the control step chooses it and its file's
// altitude handed on as the load does, so the engine and the reader's ground
// filter learn it the program's way; the world's airport list gets it first.
void Driver::lf_showPark(const ParkAirport& park) {
  if (!gf_findAirport(park.code)) {
    const Airport airport{park.code, "", park.position.lat, park.position.lon, park.elevationFt};
    gAirports.insert(std::upper_bound(gAirports.begin(), gAirports.end(), airport,
                                      [](const Airport& a, const Airport& b) { return a.code < b.code; }),
                     airport);
    m_addedAirport = park.code;
  }
  if (!lf_showParkAirport(park.code)) throw std::runtime_error("the park airport was not shown");
  gf_setParkAirportLoaded(park.elevationFt);
}

Driver::~Driver() {
  try {
    finish();
  } catch (...) {
    // A run that already failed must not fail again on its way out.
  }
  if (m_setup.park) {
    // Left without a save: the bed's stands have no file.
    gParkAirportLoaded.store(0);
    try {
      lf_saveApfIfChanged();
    } catch (...) {
    }
  }
  std::erase_if(gAirports, [this](const Airport& airport) { return airport.code == m_addedAirport; });
  gf_setAcceptUpdates(false);
  testing_traffic::resetSimLink();
  testing_traffic::resetEngine();
  gf_setClockSource(nullptr);
  gf_setSteadySource(nullptr);
}

std::int64_t Driver::tick() const { return gTick.load(); }

CheckerWorld Driver::checkerWorld() const {
  // The sets a frame carries are those of the tick just before it.
  return {-1, m_setup.ticksPerFrame, m_setup.world.groundElevationFt, m_setup.world.staticCgFt};
}

void Driver::run(FeedBuilder& feed, std::int64_t ticks) {
  if (m_finished) throw std::logic_error("the run has ended");
  for (std::int64_t i = 0; i < ticks; ++i) lf_tick(&feed);
}

void Driver::lf_tick(FeedBuilder* feed) {
  const std::int64_t tick = gTick.load();
  if (feed) feed->feed(*m_reader, tick);
  if (m_setup.engineTick) {
    m_setup.engineTick();
  } else {
    gf_trafficTick();
  }
#ifndef NDEBUG
  if (!gf_actIndexExact())
    throw std::logic_error(sk::format("the hexid index answers unlike a scan after tick {}", tick));
#endif
  if (m_setup.keepSideLog) lf_recordSideLog(tick);
  if ((tick + 1) % 100 == 0) {
    ++m_seconds;
    for (const SecondHook& hook : m_hooks) {
      if (hook.everySeconds > 0 && m_seconds % hook.everySeconds == 0) hook.run();
    }
  }
  if ((tick + 1) % m_setup.ticksPerFrame == 0) lf_frame();
}

void Driver::lf_frame() {
  // What the ticks sent is handled within the frame it was sent in, never the next.
  lf_waitHandled(lf_lastSent());
  m_standIn->step();
  lf_settle();
}

void Driver::lf_settle() {
  // The stand-in answers a packet before it counts it handled, and loopback
  // delivers at once: once the last packet is handled and nothing is readable,
  // the exchange is over until the next tick or frame.
  for (;;) {
    const DWORD last = lf_lastSent();
    lf_waitHandled(last);
    if (!gf_simConnectWaitForMessage(gHSimConnect, 0ms)) {
      if (lf_lastSent() == last) return;
      continue;
    }
    if (!gf_simconDispatchPass()) throw std::runtime_error("the link to the stand-in ended");
  }
}

void Driver::lf_waitHandled(std::uint32_t packetId) {
  if (!m_standIn->waitProcessed(packetId, kAnswerBound))
    throw std::runtime_error(sk::format("the stand-in did not handle packet {}", packetId));
}

void Driver::lf_recordSideLog(std::int64_t tick) {
  for (const Act& aircraft : gActs) {
    if (!aircraft.track.empty()) {
      std::uint32_t& seen = m_lastDue[aircraft.hexid];
      std::size_t first = aircraft.track.size();
      while (first > 0 && gf_ticksUntil(aircraft.track[first - 1].dueTick, seen) > 0) --first;
      for (std::size_t i = first; i < aircraft.track.size(); ++i) {
        const TrackPoint& point = aircraft.track[i];
        // Reports reset the count, so a point that comes while it runs is the engine's own.
        m_log.points.push_back({tick, aircraft.objectId, gf_believedSpeed(point), point.dueTick,
                                aircraft.extrapolationsLeft > 0 || aircraft.holding});
        m_pointHexids.push_back(aircraft.hexid);
      }
      seen = aircraft.track.back().dueTick;
    }
    if (aircraft.objectId == 0) continue;
    std::uint32_t& known = m_objectOf[aircraft.hexid];
    if (known != aircraft.objectId) {
      // The points taken while the aircraft waited for its object belong to it.
      for (std::size_t i = 0; i < m_log.points.size(); ++i) {
        if (m_pointHexids[i] == aircraft.hexid && m_log.points[i].objectId == 0)
          m_log.points[i].objectId = aircraft.objectId;
      }
      known = aircraft.objectId;
    }
    ObjectTick state;
    state.tick = tick;
    state.objectId = aircraft.objectId;
    state.hexid = sk::format("{:06x}", aircraft.hexid);
    state.callsign = aircraft.key.callsign;
    state.category = aircraft.category;
    state.phase = static_cast<int>(aircraft.phase);
    state.onGround = aircraft.onGround;
    state.approach = aircraft.approach;
    state.flareStage = static_cast<int>(aircraft.flareStage);
    state.rotationCountdown = aircraft.rotationCountdown;
    state.derotating = aircraft.derotating;
    state.reportedRoll = !aircraft.track.empty() && aircraft.track.front().roll.has_value();
    m_log.states.push_back(std::move(state));
  }
}

void Driver::finish() {
  if (m_finished) return;
  m_finished = true;
  gf_setAcceptUpdates(false);
  {
    std::lock_guard lock(gUpdateMutex);
    gUpdateQueue.clear();
  }
  // The exit as the program runs it once the main loop has ended: no more
  // ticks, the SimConnect thread's frames carry the removal list out.
  gExitStarted = true;
  gf_removeAllForExit();
  bool sent = false;
  const std::int64_t frames = kExitWaitTicks / m_setup.ticksPerFrame;
  for (std::int64_t frame = 0; frame < frames && !(sent = gf_waitExitRemovalsSent(0ms)); ++frame) {
    // The program's wait asks for the objects of unanswered creations every 200 ms.
    if (gPendingCreationCount.load() > 0 && frame % std::max<std::int64_t>(1, kExitSweepTicks / m_setup.ticksPerFrame) == 0)
      lf_requestAircraftInRange();
    lf_frame();
  }
  if (!sent) {
    gf_removeExitObjectsDirectly();
    lf_settle();
  }
  gf_stopSimconnect();
  const bool closed = m_standIn->waitAllClosed(kAnswerBound);
  m_standIn.reset();  // its trace is complete and closed
  if (!closed) throw std::runtime_error("the stand-in did not see the link close");
}

std::vector<Violation> Driver::check() const {
  std::ifstream in(m_setup.traceFile);
  return gf_checkTrace(in, m_log, checkerWorld());
}

std::map<std::uint32_t, TracedObject> gf_tracedObjects(const std::filesystem::path& trace) {
  std::map<std::uint32_t, TracedObject> objects;
  std::ifstream in(trace);
  std::string text;
  while (std::getline(in, text)) {
    const auto line = nlohmann::json::parse(text, nullptr, false);
    if (line.is_discarded() || !line.contains("id")) continue;
    const std::string event = line["event"];
    const std::int64_t frame = line["frame"];
    const auto id = line["id"].get<std::uint32_t>();
    if (event == "create") {
      objects[id].tail = line["tail"];
      objects[id].createFrame = frame;
      objects[id].createLat = line.value("lat", 0.0);
      objects[id].createLon = line.value("lon", 0.0);
      objects[id].createdOnGround = line.value("on_ground", 0) != 0;
      continue;
    }
    const auto known = objects.find(id);
    if (known == objects.end()) continue;
    TracedObject& object = known->second;
    if (event == "client_event") {
      object.events.push_back({frame, line["name"], line["value"].get<std::uint32_t>()});
    } else if (event == "position") {
      const auto& values = line["values"];
      const auto value = [&](const char* name) { return values.value(name, 0.0); };
      object.path.push_back({frame, value("Plane Latitude"), value("Plane Longitude"), value("Plane Altitude"),
                             value("Plane Pitch Degrees")});
    } else if (event == "flight_plan") {
      ++object.flightPlans;
    } else if (event == "remove") {
      object.removeFrames.push_back(frame);
    }
  }
  return objects;
}

std::filesystem::path gf_scenarioOutDir() {
#ifdef SKLM_BINARY_DIR
  return std::filesystem::path(SKLM_BINARY_DIR) / "scenario-out";
#else
  return std::filesystem::current_path() / "scenario-out";
#endif
}

void gf_keepFailedRun(const std::filesystem::path& trace, const FeedBuilder& feed, const std::filesystem::path& outDir,
                      const std::string& caseName) {
  std::filesystem::create_directories(outDir);
  const auto kept = outDir / (caseName + ".jsonl");
  const auto replay = outDir / (caseName + ".replay");
  std::filesystem::copy_file(trace, kept, std::filesystem::copy_options::overwrite_existing);
  feed.writeReplay(replay);
  std::ostringstream errors;
  tracemap::gf_runTracemap({kept.string(), "--feed", replay.string(), "-o", (outDir / (caseName + ".svg")).string()},
                           errors);
}

std::optional<Violation> gf_firstViolationKept(const Driver& driver, const FeedBuilder& feed,
                                               const std::string& caseName) {
  const auto violations = driver.check();
  if (violations.empty()) return std::nullopt;
  gf_keepFailedRun(driver.traceFile(), feed, gf_scenarioOutDir(), caseName);
  return violations.front();
}

}  // namespace scenario
