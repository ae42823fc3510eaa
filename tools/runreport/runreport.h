#pragma once
// runreport: what one run of the program did, told from the outside. It reads
// the simulator stand-in's trace (what the simulator was asked to create, move
// and remove) and the program's Log.txt, and counts each capability a run on
// real traffic should show.
//
//   runreport table TRACE.jsonl LOG.txt [--frame-rate N]
//   runreport status TRACE.jsonl LOG.txt [--mark FILE] [--frame-rate N]
//
// "status" is one line for a person watching a run: the aircraft in the simulator,
// those created and removed since the line before (FILE keeps where that was) and
// the last removal Log.txt gives a reason for.
//
// It judges with its own reading of both files and links none of the program's
// logic, so a fault in the program cannot hide itself in the report.
#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace runreport {

struct CountOptions {
  double frameRate = 30;  // the stand-in's frames per second (the trace counts frames only)
  double quickRemovalS = 60;
  double pushedBackM = 10;   // backward motion that makes a push-back, not jitter
  double pushSpeedKts = 15;  // faster backward motion is no push-back (a flight turning, a jump)
};

// One position the simulator was given for an object (the create included).
struct TracePoint {
  std::int64_t frame = 0;
  double lat = 0, lon = 0;  // degrees
  double altitudeFt = 0;
  double headingRad = 0;
  std::int64_t tick = -1;  // the program's own time of the set, in engine ticks; -1: not traced
};

// One object the program created in the simulator.
struct TracedObject {
  std::int64_t id = 0;
  std::string tail;  // the ATC id: the callsign; static parked aircraft end in "*"
  std::string title;
  bool createdOnGround = false;
  std::vector<TracePoint> points;  // the creation first
  std::optional<std::int64_t> removedFrame;
  bool removedAtClose = false;  // nothing was created or moved after its removal
  double backwardM = 0;         // distance moved slowly against its own heading

  bool isStatic() const { return !tail.empty() && tail.back() == '*'; }
  std::int64_t createdFrame() const { return points.front().frame; }
};

struct TraceFacts {
  std::map<std::int64_t, TracedObject> objects;  // by object id
  std::int64_t lastFrame = 0;
  int skippedLines = 0;
};

// The capability lines of Log.txt, each as the callsigns it names in log order.
struct LogFacts {
  std::vector<std::string> landed, tookOff, arrivedAtStand, createdParked, pulledOut;
};

TraceFacts gf_readTrace(std::istream& trace, const CountOptions& options = {});
LogFacts gf_readLog(std::istream& log);

// One row of the table: its name and the aircraft counted (tails or callsigns).
struct CapabilityRow {
  std::string name;
  std::vector<std::string> aircraft;
};

// The rows in the table's order: created airborne, created on the ground, created
// parked, landed, took off, parked at a stand, pushed back, static parked, removed
// within 60 s of creation, left at the close.
std::vector<CapabilityRow> gf_countCapabilities(const TraceFacts& trace, const LogFacts& log,
                                                const CountOptions& options = {});

// The table as text: one line a row, its count and up to a few of its aircraft.
std::string gf_formatTable(const std::vector<CapabilityRow>& rows);

// Both files read and counted; throws std::runtime_error naming a file that cannot be read.
std::vector<CapabilityRow> gf_countFiles(const std::string& tracePath, const std::string& logPath,
                                         const CountOptions& options = {});

// Where the previous status line had read to.
struct StatusMark {
  std::int64_t frame = -1;  // none yet: everything counts as new
  std::size_t logLines = 0;
};

// The status line (no line end) for the trace and Log.txt as they stand; moves the mark.
std::string gf_statusLine(const TraceFacts& trace, std::istream& log, StatusMark& mark,
                          const CountOptions& options = {});

// The whole program: the subcommand and its arguments. Returns the exit code.
int gf_runRunreport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace runreport
