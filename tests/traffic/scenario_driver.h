#pragma once
// The lockstep driver of the scenario bed: the test thread plays the main loop
// and the SimConnect thread in turn. Each tick feeds the lines due to the real
// parser and runs the engine tick; every few ticks the stand-in emits a frame and
// the engine's own dispatch handles everything it answers before the next tick.
// Nothing waits on wall time, so one script and one seed give one trace.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "scenario_checker.h"
#include "scenario_feed.h"
#include "tools/simstandin/scenario.h"

class TrafficReader;
extern TrafficReader gTrafficReader;
namespace standin {
class StandIn;
}

namespace scenario {

struct ParkAirport {
  std::string code;
  LatLon position;
  double elevationFt = 0;
};

struct DriverSetup {
  std::int64_t epoch = 1733652000;  // UTC at tick 0: Sunday 8 December 2024, 10:00:00
  std::uint64_t seed = 1;
  int ticksPerFrame = 3;              // 3: reported as 30 fps, 2: as 60
  standin::Scenario world;            // user aircraft and route, ground, static CG, titles
  LatLon user{52.3, 4.76};            // the reader's user position
  std::optional<ParkAirport> park;
  double rangeNm = 40;
  std::filesystem::path traceFile;    // the stand-in's trace
  bool keepSideLog = true;            // off for long runs that are not checked
  std::function<void()> engineTick;   // called in place of gf_trafficTick when set (a benchmark times it)
};

// One of the main loop's once-a-second engine tasks, run every `everySeconds`
// beats in the order of the list.
struct SecondHook {
  std::string name;
  int everySeconds = 1;
  std::function<void()> run;
};

class Driver {
 public:
  // Installs the clocks, seeds the engine's random numbers, starts the stand-in
  // and opens the engine's link to it. Throws std::runtime_error when it cannot.
  explicit Driver(DriverSetup setup);
  // Ends the run (finish) if the test did not, and puts the clocks back.
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // Runs `ticks` more ticks, handing the feed's lines to the parser at their ticks.
  void run(FeedBuilder& feed, std::int64_t ticks);
  // The shutdown as the program runs it: the engine's exit removals, frames
  // until they went out (else the direct removals), then the link stopped.
  void finish();

  std::vector<SecondHook>& hooks() { return m_hooks; }
  std::int64_t tick() const;
  const SideLog& sideLog() const { return m_log; }
  CheckerWorld checkerWorld() const;
  TrafficReader& reader() { return *m_reader; }
  // Until finish(), which closes it with its trace.
  standin::StandIn& standIn() { return *m_standIn; }
  const std::filesystem::path& traceFile() const { return m_setup.traceFile; }
  // Every violation of the trace so far (the trace file is read).
  std::vector<Violation> check() const;

 private:
  void lf_showPark(const ParkAirport& park);
  void lf_tick(FeedBuilder* feed);
  void lf_frame();
  void lf_settle();
  void lf_waitHandled(std::uint32_t packetId);  // throws when the stand-in stops answering
  void lf_recordSideLog(std::int64_t tick);

  DriverSetup m_setup;
  std::unique_ptr<standin::StandIn> m_standIn;
  TrafficReader* m_reader = &gTrafficReader;  // the program's own, which the park airport's choice reaches
  std::string m_addedAirport;                 // to the airport list, taken out again at the end
  std::vector<SecondHook> m_hooks;
  SideLog m_log;
  std::vector<std::uint32_t> m_pointHexids;  // beside m_log.points
  std::map<std::uint32_t, std::uint32_t> m_lastDue;  // hexid -> due tick of its newest point seen
  std::map<std::uint32_t, std::uint32_t> m_objectOf;  // hexid -> its object id, once it has one
  std::int64_t m_seconds = 0;
  bool m_finished = false;
};

// One object's life as the stand-in traced it, in frames.
struct TracedObject {
  std::string tail;
  std::int64_t createFrame = -1;
  double createLat = 0, createLon = 0;
  bool createdOnGround = false;
  struct Event {
    std::int64_t frame;
    std::string name;
    std::uint32_t value;
  };
  std::vector<Event> events;  // client events, in order
  struct Fix {
    std::int64_t frame;
    double lat, lon, altitudeFt, pitchRad;
  };
  std::vector<Fix> path;  // its position sets
  int flightPlans = 0;
  std::vector<std::int64_t> removeFrames;
};
// Object id -> its life, for every object a client created; the tails the
// stand-in refused to create are left out.
std::map<std::uint32_t, TracedObject> gf_tracedObjects(const std::filesystem::path& trace);

// The folder a failing scenario keeps its files in: build/<tree>/scenario-out.
std::filesystem::path gf_scenarioOutDir();

// Keeps a failing run for a person to look at: <caseName>.jsonl (the trace),
// <caseName>.replay (the feed, to run by hand) and <caseName>.svg (the map).
void gf_keepFailedRun(const std::filesystem::path& trace, const FeedBuilder& feed, const std::filesystem::path& outDir,
                      const std::string& caseName);

// The first violation of a finished run; a run that has one keeps its files in
// gf_scenarioOutDir() under the case's name, so the failing test leaves them behind.
std::optional<Violation> gf_firstViolationKept(const Driver& driver, const FeedBuilder& feed,
                                               const std::string& caseName);

}  // namespace scenario
