#pragma once
// The follow-the-reports sweep: every recorded aircraft played alone in its
// world through the scenario bed, first seen at many moments of its flight and
// with one report spoilt, judged by what a user sees against what its reports
// show: where it is, when it is on the ground or in the air, how fast it rolls,
// which stand it takes and when it goes.
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/geometry.h"

namespace sweep {

// The report spoilt, the tenth after the entry: RealTraffic sends all of these.
enum class Mutation { none, zeroAltitude, repeatedPosition, pause, aside };
const char* gf_mutationName(Mutation mutation);
inline constexpr Mutation kMutations[] = {Mutation::none, Mutation::zeroAltitude, Mutation::repeatedPosition,
                                          Mutation::pause, Mutation::aside};

// An airport with its stands, simulator and pressure.
struct World {
  std::string code;
  LatLon field;
  double elevationFt = 0;
  int qnh = 1013;
  std::filesystem::path simulator;  // the stand-in's world
  std::filesystem::path stands;     // the scenery layout of its stands
};
const World& gf_world(const std::string& code);

// One aircraft's traffic lines, in time order.
struct Track {
  std::string name;
  std::string world;
  std::vector<std::string> lines;
  // Entries beside every k-th: the moments a fault was seen at.
  std::vector<std::size_t> alwaysEntered;
  // A script is entered only where its story starts (at its first line, or at
  // those always entered) and plays to its end.
  bool scripted = false;
};

// Every aircraft of the recorded worlds that the program can create (a type known).
std::vector<Track> gf_recordedTracks();
// Scripted tracks for what the recordings lack: a low circuit whose rollout
// reports pause, parked aircraft setting off briskly, waits beside a stand.
std::vector<Track> gf_scriptedTracks();

// The lines (0-based) it is first seen at: the first, and every k-th below
// 3,000 ft within 5 nm of the field, and those always entered.
std::vector<std::size_t> gf_entries(const Track& track, std::size_t k);

struct Case {
  const Track* track = nullptr;
  std::size_t entry = 0;
  Mutation mutation = Mutation::none;
};

// One check a run broke: the first tick and the worst excess. An excused row
// names the rule that asks for it.
struct Finding {
  std::string track;
  std::size_t entryLine = 0;  // 1-based
  Mutation mutation = Mutation::none;
  std::string check;
  std::int64_t tick = 0;
  std::string amount;
  std::string excusedBy;
};

// Plays one case in `scratch` (a folder of its own) and judges it.
std::vector<Finding> gf_runCase(const Case& sweepCase, const std::filesystem::path& scratch);

void gf_printTable(std::ostream& out, const std::vector<Finding>& findings);

}  // namespace sweep
