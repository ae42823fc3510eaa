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
  // The pressures (hPa) of the other days it is also played as if flown on.
  std::vector<int> otherDays;
  // Also played as a feed that updates every third line.
  bool thinned = false;
};

// Every aircraft of the recorded worlds that the program can create (a type known).
std::vector<Track> gf_recordedTracks();
// Scripted tracks for what the recordings lack: a low circuit whose rollout
// reports pause, parked aircraft setting off briskly, waits beside a stand.
std::vector<Track> gf_scriptedTracks();

// The lines (0-based) it is first seen at: the first, and every k-th below
// 3,000 ft within 5 nm of the field, and those always entered.
std::vector<std::size_t> gf_entries(const Track& track, std::size_t k);

// How a track is played beside its spoilt report: on its own day, as if flown
// on another day's pressure (its pressure altitudes read higher or lower, the
// program is told that day's QNH), or with only every n-th of its reports.
struct Conditions {
  int qnh = 0;  // 0: the day's own
  std::size_t every = 1;
  bool operator==(const Conditions&) const = default;
};

struct Case {
  const Track* track = nullptr;
  std::size_t entry = 0;
  Mutation mutation = Mutation::none;
  Conditions conditions;
};

// The test plays every 50th line of the whole sweep's entries.
inline constexpr std::size_t kTestEveryKth = 50;

// Every case of a track: each entry plain and with each spoilt report on its
// own day; on each other day every entry plain and one in five with each
// spoilt report; thinned, every entry plain.
std::vector<Case> gf_cases(const Track& track, std::size_t k);
// What was played, as the table names it: "plain", "0 ft", "990 hPa, 0 ft", "every 3rd".
std::string gf_playedName(Mutation mutation, const Conditions& conditions);

// One check a run broke: the first tick and the worst excess. An excused row
// names the rule that asks for it.
struct Finding {
  std::string track;
  std::size_t entryLine = 0;  // 1-based
  Mutation mutation = Mutation::none;
  Conditions conditions;
  std::string check;
  std::int64_t tick = 0;
  std::string amount;
  std::string excusedBy;
};

// Plays one case in `scratch` (a folder of its own) and judges it.
std::vector<Finding> gf_runCase(const Case& sweepCase, const std::filesystem::path& scratch);

void gf_printTable(std::ostream& out, const std::vector<Finding>& findings);

// Rows known to be open, each with its cause: a row the sweep shows is open
// unless a rule excuses it or it is listed here. One row a line, tab-separated:
// track, entry line, what was played, check, cause; '#' begins a comment.
struct KnownRow {
  std::string track;
  std::size_t entryLine = 0;
  std::string played;
  std::string check;
  std::string cause;
};
std::vector<KnownRow> gf_readKnownRows(const std::filesystem::path& file);
// The list committed beside the sweep.
std::filesystem::path gf_knownRowsFile();
bool gf_matches(const KnownRow& row, const Finding& finding);

}  // namespace sweep
