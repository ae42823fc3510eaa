#pragma once
// tracemap: a picture of one run. It draws every object of a stand-in trace as a
// line and the positions RealTraffic reported (a replay file) as points in the
// same colour, so a person can see where the engine put an aircraft against
// where it was reported.
//
//   tracemap TRACE.jsonl [--feed FILE.replay [--played SECONDS]] [--stands LAYOUT.json]
//            [--scenario WORLD.json] [--ids LIST] [--frames A:B] -o MAP.svg
//
// --played keeps the reports a player sent in its first SECONDS (a looped replay
// sends nothing new after its first pass), so that reports never sent do not look
// like aircraft the program ignored. --stands draws the parking spots of a scenery
// layout (bglwrite's) and an inset of their airport; --scenario the stand-in's user
// aircraft where the world starts it (the trace's "user" lines move it).
//
// The trace's "by_type" lines are the program's requests for the aircraft within a
// radius of the user aircraft: that radius is its traffic range, and the map draws
// it as a ring around the user aircraft, so a reader sees why reports beyond it were
// never created.
//
// The projection is the map's own (local equirectangular around the data), not
// the program's: a fault in the program's maths must not hide itself here.
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tracemap {

struct Options {
  std::filesystem::path trace;
  std::optional<std::filesystem::path> feed;
  std::set<std::int64_t> ids;                 // empty: every object
  std::optional<std::pair<std::int64_t, std::int64_t>> frames;  // inclusive
  std::optional<double> played;                                 // seconds of the replay sent; none: all of it
  std::optional<std::filesystem::path> stands;
  std::optional<std::filesystem::path> scenario;
  std::filesystem::path output;
};

struct MapPoint {
  std::int64_t frame = 0;  // the replay's timestamp for reported points
  double lat = 0;
  double lon = 0;
};

struct ObjectTrack {
  std::int64_t id = 0;
  std::string tail;
  std::vector<MapPoint> points;
  std::optional<MapPoint> created;
  std::optional<MapPoint> removed;
};

struct RangeRequest {
  std::int64_t frame = 0;
  double radiusM = 0;
};

struct TraceData {
  std::map<std::int64_t, ObjectTrack> objects;
  std::vector<MapPoint> user;  // where the user aircraft was put, in order
  std::vector<RangeRequest> rangeRequests;
  int skippedLines = 0;
};

struct FeedData {
  std::map<std::string, std::vector<MapPoint>> byCallsign;
  std::map<std::string, std::string> registrationOf;  // by callsign: an object may carry either
  int skippedLines = 0;
};

struct Stand {
  std::string airport;
  std::string name;  // "A12", or the number alone
  double lat = 0;
  double lon = 0;
  double radiusM = 0;
};

extern const char* const kUsage;

// Throws std::invalid_argument with the reason on a bad command line.
Options gf_parseOptions(const std::vector<std::string>& args);

TraceData gf_readTrace(std::istream& in, const Options& options);
FeedData gf_readFeed(std::string_view replayText);
// Keeps the reports due within `seconds` of the replay's first report.
void gf_keepPlayed(FeedData& feed, double seconds);
// The parking spots of a bglwrite layout; throws std::runtime_error on a bad one.
std::vector<Stand> gf_readStands(const std::string& layoutJson);

// The number of positions (object points and reported points) drawn from.
std::size_t gf_positionCount(const TraceData& trace, const FeedData& feed);

std::string gf_drawSvg(const TraceData& trace, const FeedData& feed, const std::vector<Stand>& stands = {});

// The whole program; messages go to `err`. Returns the exit code.
int gf_runTracemap(const std::vector<std::string>& args, std::ostream& err);

}  // namespace tracemap
