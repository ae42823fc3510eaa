#pragma once
// The per-frame checker of a scenario run: it reads the stand-in's trace and the
// side log the driver keeps of the engine's own state, and names every frame at
// which an object moved in a way the engine's rules do not allow.
#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace scenario {

// The engine's per-category motion limits (categories 0 to 5).
struct CategoryLimits {
  double maxBankDeg;
  double bankStepDeg;   // per tick
  double pitchStepDeg;  // per tick
  double maxClimbStep;  // feet per tick
};
const CategoryLimits& gf_categoryLimits(int category);

// The engine state of one object after one tick.
struct ObjectTick {
  std::int64_t tick = 0;
  std::uint32_t objectId = 0;
  std::string hexid;
  std::string callsign;
  int category = 2;
  int phase = 0;
  bool onGround = false;
  bool approach = false;
  int flareStage = 0;
  int rotationCountdown = 0;
  bool derotating = false;
  bool reportedRoll = false;    // the current segment's next point carries a roll
  bool groundAnswered = false;  // the first ground answer has been applied
};

// A segment starting: its length and the ticks it is to take.
struct SegmentStart {
  std::int64_t tick = 0;
  std::uint32_t objectId = 0;
  double lengthNm = 0;
  int n = 0;
};

// A point added to an object's track, invented ones included.
struct TrackPointAdded {
  std::int64_t tick = 0;
  std::uint32_t objectId = 0;
  double groundSpeedKts = 0;  // the speed believed: its positions' where they contradict the report
  std::int64_t dueTick = 0;
  bool invented = false;
};

struct SideLog {
  std::vector<ObjectTick> states;
  std::vector<SegmentStart> segments;
  std::vector<TrackPointAdded> points;
};

struct CheckerWorld {
  std::int64_t tickOfFrameZero = 0;
  int ticksPerFrame = 3;
  double groundElevationFt = 0;
  double staticCgFt = 0;
};

struct Violation {
  std::uint32_t objectId = 0;
  std::string callsign;
  std::int64_t frame = 0;
  std::string rule;
  std::string detail;
};
std::string gf_describe(const Violation& v);

// Every violation of the trace, in trace order.
std::vector<Violation> gf_checkTrace(std::istream& trace, const SideLog& log, const CheckerWorld& world);

}  // namespace scenario
