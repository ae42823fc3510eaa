#include "tools/runreport/runreport.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "core/format.h"

namespace runreport {
namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180;
constexpr double kEarthRadiusM = 6371008.8;
constexpr std::size_t kNamesShown = 8;

const char* const kUsage =
    "usage: runreport table TRACE.jsonl LOG.txt [--frame-rate N]\n"
    "       runreport status TRACE.jsonl LOG.txt [--mark FILE] [--frame-rate N]\n"
    "  table   the capabilities of one run, counted from the simulator stand-in's trace\n"
    "          and the program's Log.txt (N: the stand-in's frames per second, 30)\n"
    "  status  one line: the aircraft in the simulator, those created and removed since\n"
    "          the last line (FILE keeps where it was) and the last removal Log.txt explains\n";

std::optional<double> lf_number(const nlohmann::json& j, const char* key) {
  if (!j.contains(key) || !j[key].is_number()) return std::nullopt;
  return j[key].get<double>();
}

// A position set's values by datum name, whatever case the client named them in.
std::optional<double> lf_datum(const nlohmann::json& values, std::string_view name) {
  for (const auto& [key, value] : values.items()) {
    if (!value.is_number() || key.size() != name.size()) continue;
    if (std::equal(key.begin(), key.end(), name.begin(),
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; }))
      return value.get<double>();
  }
  return std::nullopt;
}

// The motion from a to b split along and across b's heading, in metres (local flat earth).
double lf_alongHeadingM(const TracePoint& a, const TracePoint& b, double& distanceM) {
  const double north = (b.lat - a.lat) * kDegToRad * kEarthRadiusM;
  const double east = (b.lon - a.lon) * kDegToRad * kEarthRadiusM * std::cos((a.lat + b.lat) / 2 * kDegToRad);
  distanceM = std::hypot(north, east);
  return north * std::cos(b.headingRad) + east * std::sin(b.headingRad);
}

void lf_addPosition(TracedObject& o, const nlohmann::json& values, std::int64_t frame, std::int64_t tick,
                    const CountOptions& options) {
  const auto lat = lf_datum(values, "plane latitude"), lon = lf_datum(values, "plane longitude");
  if (!lat || !lon || o.points.empty()) return;
  TracePoint p = o.points.back();
  p.frame = frame;
  p.tick = tick;
  p.lat = *lat;
  p.lon = *lon;
  // The program gives the heading in radians, as the simulator keeps it.
  if (const auto heading = lf_datum(values, "plane heading degrees true")) p.headingRad = *heading;
  if (const auto altitude = lf_datum(values, "plane altitude")) p.altitudeFt = *altitude;
  double distanceM = 0;
  const double along = lf_alongHeadingM(o.points.back(), p, distanceM);
  const double seconds = static_cast<double>(frame - o.points.back().frame) / options.frameRate;
  const bool slow = seconds > 0 && distanceM / seconds <= options.pushSpeedKts * 1852 / 3600;
  if (distanceM > 0 && along < -0.5 * distanceM && slow) o.backwardM += distanceM;
  o.points.push_back(p);
}

// Log.txt's own lines lose the prefix the log gives some of them.
std::string lf_logText(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  if (line.starts_with("===> ")) line.erase(0, 5);
  return line;
}

// A Log.txt line that says why aircraft were or will be removed; the settings'
// and the files' own removals are not about aircraft.
bool lf_isRemovalReason(const std::string& line) {
  return line.find("removed") != std::string::npos && !line.starts_with("Parameter ") &&
         line.find("could not be removed") == std::string::npos;
}

// A log line on one line of the terminal: its runs of blanks made one.
std::string lf_squeezed(const std::string& line) {
  std::string out;
  for (char c : line) {
    if (std::isspace(static_cast<unsigned char>(c)) && (out.empty() || out.back() == ' ')) continue;
    out += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::vector<std::string> lf_names(const std::vector<const TracedObject*>& objects) {
  std::vector<std::string> names;
  for (const TracedObject* o : objects) names.push_back(o->tail);
  return names;
}

}  // namespace

TraceFacts gf_readTrace(std::istream& trace, const CountOptions& options) {
  TraceFacts facts;
  std::vector<std::pair<std::size_t, std::int64_t>> removals;  // (line, id)
  std::size_t lineNumber = 0, lastActivity = 0;
  for (std::string line; std::getline(trace, line);) {
    ++lineNumber;
    const auto j = nlohmann::json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("event") || !j["event"].is_string()) {
      ++facts.skippedLines;
      continue;
    }
    const std::string event = j["event"].get<std::string>();
    const std::int64_t frame = lf_number(j, "frame").value_or(0);
    facts.lastFrame = std::max(facts.lastFrame, frame);
    const bool hasId = j.contains("id") && j["id"].is_number_integer();
    if (event == "create" || event == "position" || event == "set_data" || event == "by_type" ||
        event == "client_event" || event == "freeze")
      lastActivity = lineNumber;
    if (!hasId) continue;
    const std::int64_t id = j["id"].get<std::int64_t>();
    if (event == "create") {
      TracedObject& o = facts.objects[id];
      o.id = id;
      o.tail = j.value("tail", "");
      o.title = j.value("title", "");
      o.createdOnGround = j.value("on_ground", false);
      o.points.push_back({frame, lf_number(j, "lat").value_or(0), lf_number(j, "lon").value_or(0),
                          lf_number(j, "alt").value_or(0), lf_number(j, "heading").value_or(0)});
      continue;
    }
    const auto it = facts.objects.find(id);
    if (it == facts.objects.end()) continue;  // the user aircraft, or an object of another client
    if (event == "position" && j.contains("values") && j["values"].is_object()) {
      lf_addPosition(it->second, j["values"], frame, j.value("tick", std::int64_t{-1}), options);
    } else if ((event == "remove" || event == "vanish") && !it->second.removedFrame) {
      it->second.removedFrame = frame;
      removals.emplace_back(lineNumber, id);
    }
  }
  for (const auto& [line, id] : removals) facts.objects[id].removedAtClose = line > lastActivity;
  return facts;
}

LogFacts gf_readLog(std::istream& log) {
  static const std::regex landed(R"(^(\S+) +landed( from .*)?$)");
  static const std::regex tookOff(R"(^(\S+) +took-off( to .*)?$)");
  static const std::regex atStand(R"(^.*: (\S+) +arrived at stand$)");
  static const std::regex parks(R"(^.*: (\S+) +parks$)");
  static const std::regex pullingOut(R"(^.*: (\S+) +pulling out$)");
  LogFacts facts;
  std::smatch m;
  for (std::string raw; std::getline(log, raw);) {
    const std::string line = lf_logText(raw);
    if (std::regex_match(line, m, landed))
      facts.landed.push_back(m[1]);
    else if (std::regex_match(line, m, tookOff))
      facts.tookOff.push_back(m[1]);
    else if (std::regex_match(line, m, atStand))
      facts.arrivedAtStand.push_back(m[1]);
    else if (std::regex_match(line, m, parks) && line.find("towed aircraft") == std::string::npos)
      facts.createdParked.push_back(m[1]);
    else if (std::regex_match(line, m, pullingOut))
      facts.pulledOut.push_back(m[1]);
  }
  return facts;
}

std::vector<CapabilityRow> gf_countCapabilities(const TraceFacts& trace, const LogFacts& log,
                                                const CountOptions& options) {
  std::vector<const TracedObject*> airborne, onGround, pushedBack, statics, quicklyRemoved, left;
  const auto quick = static_cast<std::int64_t>(std::llround(options.quickRemovalS * options.frameRate));
  for (const auto& [id, o] : trace.objects) {
    if (o.isStatic())
      statics.push_back(&o);
    else
      (o.createdOnGround ? onGround : airborne).push_back(&o);
    if (!o.isStatic() && o.backwardM >= options.pushedBackM) pushedBack.push_back(&o);
    if (!o.removedFrame)
      left.push_back(&o);
    else if (!o.removedAtClose && *o.removedFrame - o.createdFrame() <= quick)
      quicklyRemoved.push_back(&o);
  }
  return {{"created airborne", lf_names(airborne)},
          {"created on the ground", lf_names(onGround)},
          {"created parked", log.createdParked},
          {"landed", log.landed},
          {"took off", log.tookOff},
          {"parked at a stand", log.arrivedAtStand},
          {"pushed back", lf_names(pushedBack)},
          {"static parked", lf_names(statics)},
          {sk::format("removed within {:g} s of creation", options.quickRemovalS), lf_names(quicklyRemoved)},
          {"left at the close", lf_names(left)}};
}

std::string gf_formatTable(const std::vector<CapabilityRow>& rows) {
  std::size_t width = 0;
  for (const auto& row : rows) width = std::max(width, row.name.size());
  std::string text = sk::format("{:<{}}  {:>5}  {}\n", "capability", width, "count", "aircraft");
  for (const auto& row : rows) {
    std::string names;
    for (std::size_t i = 0; i < row.aircraft.size() && i < kNamesShown; ++i)
      names += (i ? " " : "") + row.aircraft[i];
    if (row.aircraft.size() > kNamesShown) names += " ...";
    text += sk::format("{:<{}}  {:>5}  {}", row.name, width, row.aircraft.size(), names);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text += '\n';
  }
  return text;
}

std::vector<CapabilityRow> gf_countFiles(const std::string& tracePath, const std::string& logPath,
                                         const CountOptions& options) {
  std::ifstream trace(tracePath, std::ios::binary), log(logPath, std::ios::binary);
  if (!trace) throw std::runtime_error(sk::format("cannot read {}", tracePath));
  if (!log) throw std::runtime_error(sk::format("cannot read {}", logPath));
  return gf_countCapabilities(gf_readTrace(trace, options), gf_readLog(log), options);
}

std::string gf_statusLine(const TraceFacts& trace, std::istream& log, StatusMark& mark,
                          const CountOptions& options) {
  int live = 0, statics = 0, created = 0;
  std::vector<std::string> removed;
  for (const auto& [id, o] : trace.objects) {
    if (!o.removedFrame) ++(o.isStatic() ? statics : live);
    if (o.createdFrame() > mark.frame) ++created;
    if (o.removedFrame && *o.removedFrame > mark.frame) removed.push_back(o.tail);
  }
  // The last removal Log.txt explains after the mark; all of a Log.txt begun anew
  // (shorter than the mark: a restart).
  // So is the last error shown to the user: a program stopped on one shows it in its
  // window and waits to be closed, which without a window nobody would see.
  std::vector<std::pair<std::size_t, std::string>> reasons, errors;
  std::size_t lines = 0;
  for (std::string raw; std::getline(log, raw); ++lines) {
    std::string line = lf_squeezed(lf_logText(raw));
    if (line.starts_with("Error "))
      errors.emplace_back(lines, std::move(line));
    else if (lf_isRemovalReason(line))
      reasons.emplace_back(lines, std::move(line));
  }
  const std::size_t from = lines < mark.logLines ? 0 : mark.logLines;
  auto lastSince = [&](const std::vector<std::pair<std::size_t, std::string>>& found) {
    return !found.empty() && found.back().first >= from ? found.back().second : std::string();
  };
  const std::string reason = lastSince(reasons), error = lastSince(errors);
  const auto seconds = static_cast<std::int64_t>(static_cast<double>(trace.lastFrame) / options.frameRate);
  std::string text =
      sk::format("[{}:{:02}:{:02}] in the simulator: {} live, {} static; since {}: {} created, {} removed",
                 seconds / 3600, seconds / 60 % 60, seconds % 60, live, statics,
                 mark.frame < 0 ? "the start" : "the last line", created, removed.size());
  if (!removed.empty()) {
    std::string names;
    for (std::size_t i = 0; i < removed.size() && i < kNamesShown; ++i) names += (i ? " " : "") + removed[i];
    text += sk::format(" ({}{})", names, removed.size() > kNamesShown ? " ..." : "");
  }
  if (!reason.empty()) text += sk::format("; Log.txt: \"{}\"", reason);
  if (!error.empty()) text += sk::format("; Log.txt: \"{}\"", error);
  mark = {trace.lastFrame, lines};
  return text;
}

namespace {

// status: the mark file holds "FRAME LOGLINES"; a missing one starts from nothing,
// and so do a trace or Log.txt not written yet.
int lf_status(const std::vector<std::string>& files, const std::optional<std::string>& markFile,
              const CountOptions& options, std::ostream& out, std::ostream& err) {
  StatusMark mark;
  if (markFile) {
    std::ifstream in(*markFile);
    if (in && !(in >> mark.frame >> mark.logLines)) mark = {};
  }
  std::ifstream trace(files[0], std::ios::binary), log(files[1], std::ios::binary);
  out << gf_statusLine(gf_readTrace(trace), log, mark, options) << '\n';
  if (markFile) {
    std::ofstream save(*markFile, std::ios::trunc);
    if (!(save << mark.frame << ' ' << mark.logLines << '\n')) {
      err << sk::format("cannot write {}\n", *markFile);
      return 1;
    }
  }
  return 0;
}

}  // namespace

int gf_runRunreport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kUsage;
    return 0;
  }
  if (args.empty() || (args[0] != "table" && args[0] != "status")) {
    err << kUsage;
    return 2;
  }
  std::vector<std::string> files;
  std::optional<std::string> markFile;
  CountOptions options;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--mark" && args[0] == "status" && i + 1 < args.size()) {
      markFile = args[++i];
      continue;
    }
    if (args[i] != "--frame-rate") {
      files.push_back(args[i]);
      continue;
    }
    char* end = nullptr;
    const std::string value = i + 1 < args.size() ? args[++i] : "";
    options.frameRate = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(options.frameRate > 0)) {
      err << sk::format("--frame-rate needs a positive number, not \"{}\"\n", value) << kUsage;
      return 2;
    }
  }
  if (files.size() != 2) {
    err << kUsage;
    return 2;
  }
  if (args[0] == "status") return lf_status(files, markFile, options, out, err);
  try {
    out << gf_formatTable(gf_countFiles(files[0], files[1], options));
  } catch (const std::runtime_error& e) {
    err << e.what() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace runreport
