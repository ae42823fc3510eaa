#include "tools/tracemap/tracemap.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "core/format.h"
#include "tools/rtplayer/replay.h"

namespace tracemap {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPictureWidth = 1200.0;  // pixels; the height follows the data
constexpr double kMargin = 60.0;
constexpr double kMinSpanNm = 0.5;  // a parked aircraft still gets a readable map

// Colours far enough apart to tell twenty aircraft apart; more repeat.
constexpr std::array<std::string_view, 20> kPalette = {
    "#e6194b", "#3cb44b", "#4363d8", "#f58231", "#911eb4", "#42d4f4", "#f032e6", "#9a6324", "#800000", "#469990",
    "#000075", "#bfef45", "#808000", "#ffd8b1", "#dcbeff", "#aaffc3", "#fabed4", "#a9a9a9", "#ffe119", "#000000"};

std::int64_t lf_integer(std::string_view text, const char* what) {
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    throw std::invalid_argument(sk::format("{} is not a whole number: {}", what, text));
  return value;
}

std::string lf_upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// A position set's latitude and longitude, whatever case the client named them in.
std::optional<std::pair<double, double>> lf_setPosition(const nlohmann::json& values) {
  std::optional<double> lat, lon;
  for (const auto& [key, value] : values.items()) {
    if (!value.is_number()) continue;
    std::string name = lf_upper(key);
    if (name == "PLANE LATITUDE") lat = value.get<double>();
    if (name == "PLANE LONGITUDE") lon = value.get<double>();
  }
  if (!lat || !lon) return std::nullopt;
  return std::pair{*lat, *lon};
}

bool lf_valid(double lat, double lon) {
  return std::isfinite(lat) && std::isfinite(lon) && std::abs(lat) <= 90 && std::abs(lon) <= 360;
}

// Local equirectangular projection: nautical miles east and north of the centre.
struct Projection {
  double lat0 = 0, lon0 = 0, cosLat = 1;
  double minX = 0, maxY = 0, scale = 1;  // pixels per nm
  double height = 0;

  // The longitude unwrapped to lie within 180 degrees of the centre, so a track
  // across the antimeridian stays one line.
  double unwrap(double lon) const {
    double d = std::fmod(lon - lon0, 360.0);
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return d;
  }
  std::pair<double, double> nm(const MapPoint& p) const {
    return {unwrap(p.lon) * 60.0 * cosLat, (p.lat - lat0) * 60.0};
  }
  std::pair<double, double> pixel(const MapPoint& p) const {
    auto [x, y] = nm(p);
    return {kMargin + (x - minX) * scale, kMargin + (maxY - y) * scale};
  }
};

template <typename F>
void lf_forEachPoint(const TraceData& trace, const FeedData& feed, F f) {
  for (const auto& [id, o] : trace.objects) {
    for (const auto& p : o.points) f(p);
    if (o.created) f(*o.created);
    if (o.removed) f(*o.removed);
  }
  for (const auto& [callsign, points] : feed.byCallsign)
    for (const auto& p : points) f(p);
}

Projection lf_projection(const TraceData& trace, const FeedData& feed) {
  Projection pr;
  // The centre longitude: the circular mean, so data on both sides of 180 centre there.
  double sx = 0, sy = 0, slat = 0;
  std::size_t n = 0;
  lf_forEachPoint(trace, feed, [&](const MapPoint& p) {
    sx += std::cos(p.lon * kPi / 180);
    sy += std::sin(p.lon * kPi / 180);
    slat += p.lat;
    ++n;
  });
  pr.lat0 = slat / static_cast<double>(n);
  pr.lon0 = std::atan2(sy, sx) * 180 / kPi;
  pr.cosLat = std::max(std::cos(pr.lat0 * kPi / 180), 0.01);
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  lf_forEachPoint(trace, feed, [&](const MapPoint& p) {
    auto [x, y] = pr.nm(p);
    minX = std::min(minX, x), maxX = std::max(maxX, x);
    minY = std::min(minY, y), maxY = std::max(maxY, y);
  });
  double width = std::max(maxX - minX, kMinSpanNm);
  double height = std::max(maxY - minY, kMinSpanNm);
  pr.minX = minX - (width - (maxX - minX)) / 2;
  pr.maxY = maxY + (height - (maxY - minY)) / 2;
  pr.scale = (kPictureWidth - 2 * kMargin) / width;
  pr.height = height * pr.scale + 2 * kMargin;
  return pr;
}

// A round length near a fifth of the picture.
double lf_scaleBarNm(double pictureNm) {
  double target = pictureNm / 5;
  double power = std::pow(10.0, std::floor(std::log10(target)));
  for (double step : {5.0, 2.0, 1.0})
    if (step * power <= target) return step * power;
  return power;
}

std::string lf_escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
  }
  return out;
}

// The points of a line with those closer than one pixel to the last drawn one left out.
std::string lf_polylinePoints(const Projection& pr, const std::vector<MapPoint>& points) {
  std::string out;
  double lastX = 0, lastY = 0;
  bool any = false;
  for (std::size_t i = 0; i < points.size(); ++i) {
    auto [x, y] = pr.pixel(points[i]);
    bool last = i + 1 == points.size();
    if (any && std::hypot(x - lastX, y - lastY) < 1.0 && !last) continue;
    out += sk::format("{}{:.1f},{:.1f}", any ? " " : "", x, y);
    lastX = x, lastY = y, any = true;
  }
  return out;
}

}  // namespace

Options gf_parseOptions(const std::vector<std::string>& args) {
  Options o;
  bool haveTrace = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument(sk::format("{} needs a value", a));
      return args[++i];
    };
    if (a == "--feed") {
      o.feed = value();
    } else if (a == "--ids") {
      std::string_view list = value();
      while (!list.empty()) {
        auto comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        if (!item.empty()) o.ids.insert(lf_integer(item, "an id"));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
      }
    } else if (a == "--frames") {
      std::string_view range = value();
      auto colon = range.find(':');
      if (colon == std::string_view::npos) throw std::invalid_argument("--frames needs A:B");
      o.frames = std::pair{lf_integer(range.substr(0, colon), "the first frame"),
                           lf_integer(range.substr(colon + 1), "the last frame")};
    } else if (a == "-o") {
      o.output = value();
    } else if (!a.empty() && a[0] == '-') {
      throw std::invalid_argument(sk::format("unknown option {}", a));
    } else if (!haveTrace) {
      o.trace = a;
      haveTrace = true;
    } else {
      throw std::invalid_argument(sk::format("one trace only: {}", a));
    }
  }
  if (!haveTrace) throw std::invalid_argument("no trace file given");
  if (o.output.empty()) throw std::invalid_argument("no output file given (-o MAP.svg)");
  return o;
}

TraceData gf_readTrace(std::istream& in, const Options& options) {
  TraceData data;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("frame") || !j["frame"].is_number_integer() ||
        !j.contains("event") || !j["event"].is_string()) {
      ++data.skippedLines;
      continue;
    }
    std::int64_t frame = j["frame"].get<std::int64_t>();
    const std::string event = j["event"].get<std::string>();
    bool objectEvent = event == "create" || event == "position" || event == "remove" || event == "vanish";
    if (!objectEvent) continue;
    if (!j.contains("id") || !j["id"].is_number_integer()) {
      ++data.skippedLines;
      continue;
    }
    std::int64_t id = j["id"].get<std::int64_t>();
    if (!options.ids.empty() && !options.ids.contains(id)) continue;
    if (options.frames && (frame < options.frames->first || frame > options.frames->second)) continue;
    ObjectTrack& o = data.objects[id];
    o.id = id;
    if (event == "create") {
      if (j.contains("tail") && j["tail"].is_string()) o.tail = j["tail"].get<std::string>();
      if (j.contains("lat") && j["lat"].is_number() && j.contains("lon") && j["lon"].is_number()) {
        MapPoint p{frame, j["lat"].get<double>(), j["lon"].get<double>()};
        if (lf_valid(p.lat, p.lon)) {
          o.created = p;
          o.points.push_back(p);
        }
      }
    } else if (event == "position") {
      if (!j.contains("values") || !j["values"].is_object()) {
        ++data.skippedLines;
        continue;
      }
      // A NaN is traced as null: that set moved nothing the map could draw.
      if (auto pos = lf_setPosition(j["values"]); pos && lf_valid(pos->first, pos->second))
        o.points.push_back({frame, pos->first, pos->second});
    } else if (!o.points.empty()) {
      o.removed = MapPoint{frame, o.points.back().lat, o.points.back().lon};
    }
  }
  // Objects met only through events outside the chosen frames carry nothing to draw.
  std::erase_if(data.objects, [](const auto& entry) { return entry.second.points.empty(); });
  return data;
}

FeedData gf_readFeed(std::string_view replayText) {
  FeedData feed;
  rtplay::Replay replay = rtplay::gf_parseReplay(replayText);
  feed.skippedLines = static_cast<int>(replay.warnings.size());
  for (const auto& item : replay.items) {
    if (item.kind != rtplay::DatagramKind::Traffic) continue;
    auto fields = rtplay::gf_splitFields(item.text);
    if (fields.size() <= 9) {
      ++feed.skippedLines;
      continue;
    }
    auto lat = rtplay::gf_parseNumber(fields[2]);
    auto lon = rtplay::gf_parseNumber(fields[3]);
    if (!lat || !lon || !lf_valid(*lat, *lon)) {
      ++feed.skippedLines;
      continue;
    }
    std::string callsign(fields[9]);
    feed.byCallsign[callsign].push_back(
        {static_cast<std::int64_t>(std::llround(item.time.value_or(0))), *lat, *lon});
  }
  return feed;
}

std::size_t gf_positionCount(const TraceData& trace, const FeedData& feed) {
  std::size_t n = 0;
  lf_forEachPoint(trace, feed, [&](const MapPoint&) { ++n; });
  return n;
}

std::string gf_drawSvg(const TraceData& trace, const FeedData& feed) {
  Projection pr = lf_projection(trace, feed);
  std::string svg = sk::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{:.0f}\" height=\"{:.0f}\" "
      "viewBox=\"0 0 {:.0f} {:.0f}\" font-family=\"sans-serif\" font-size=\"11\">\n"
      "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n",
      kPictureWidth, pr.height, kPictureWidth, pr.height);

  // One colour per tail number, so an object and its reports share it.
  std::map<std::string, std::string_view> colourOf;
  std::size_t next = 0;
  auto colour = [&](const std::string& key) {
    auto [it, added] = colourOf.try_emplace(key, kPalette[next % kPalette.size()]);
    if (added) ++next;
    return it->second;
  };
  for (const auto& [id, o] : trace.objects) {
    std::string key = o.tail.empty() ? sk::format("#{}", id) : o.tail;
    std::string_view c = colour(key);
    svg += sk::format("<polyline class=\"object\" data-id=\"{}\" data-tail=\"{}\" fill=\"none\" stroke=\"{}\" "
                       "stroke-width=\"1.5\" points=\"{}\"/>\n",
                       id, lf_escape(o.tail), c, lf_polylinePoints(pr, o.points));
    std::string label = lf_escape(o.tail.empty() ? sk::format("#{}", id) : o.tail);
    auto marker = [&](const MapPoint& p, const char* kind, const std::string& shape) {
      auto [x, y] = pr.pixel(p);
      svg += sk::format("<g class=\"{}\" data-id=\"{}\">{}<text x=\"{:.1f}\" y=\"{:.1f}\" fill=\"{}\">{}</text></g>\n",
                        kind, id, shape, x + 6, y - 6, c, label);
    };
    if (o.created) {
      auto [x, y] = pr.pixel(*o.created);
      marker(*o.created, "created",
             sk::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"5\" fill=\"none\" stroke=\"{}\"/>", x, y, c));
    }
    if (o.removed) {
      auto [x, y] = pr.pixel(*o.removed);
      marker(*o.removed, "removed",
             sk::format("<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"8\" height=\"8\" fill=\"{}\"/>", x - 4, y - 4, c));
    }
  }
  for (const auto& [callsign, points] : feed.byCallsign) {
    std::string_view c = colour(callsign);
    svg += sk::format("<g class=\"reported\" data-tail=\"{}\" fill=\"{}\">\n", lf_escape(callsign), c);
    double lastX = 0, lastY = 0;
    bool any = false;
    for (const auto& p : points) {
      auto [x, y] = pr.pixel(p);
      if (any && std::hypot(x - lastX, y - lastY) < 1.0) continue;
      svg += sk::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"2\"/>\n", x, y);
      lastX = x, lastY = y, any = true;
    }
    svg += "</g>\n";
  }

  double pictureNm = (kPictureWidth - 2 * kMargin) / pr.scale;
  double barNm = lf_scaleBarNm(pictureNm);
  double barPx = barNm * pr.scale;
  double y = pr.height - kMargin / 2;
  svg += sk::format(
      "<g class=\"scale\"><line x1=\"{0:.1f}\" y1=\"{1:.1f}\" x2=\"{2:.1f}\" y2=\"{1:.1f}\" stroke=\"black\" "
      "stroke-width=\"2\"/><text x=\"{0:.1f}\" y=\"{3:.1f}\">{4:g} nm</text></g>\n",
      kMargin, y, kMargin + barPx, y - 5, barNm);
  svg += "</svg>\n";
  return svg;
}

int gf_runTracemap(const std::vector<std::string>& args, std::ostream& err) {
  Options options;
  try {
    options = gf_parseOptions(args);
  } catch (const std::invalid_argument& e) {
    err << e.what() << "\nusage: tracemap TRACE.jsonl [--feed FILE.replay] [--ids LIST] [--frames A:B] -o MAP.svg\n";
    return 2;
  }
  std::ifstream in(options.trace, std::ios::binary);
  if (!in) {
    err << sk::format("cannot read {}\n", options.trace.string());
    return 1;
  }
  TraceData trace = gf_readTrace(in, options);
  FeedData feed;
  if (options.feed) {
    std::ifstream f(*options.feed, std::ios::binary);
    if (!f) {
      err << sk::format("cannot read {}\n", options.feed->string());
      return 1;
    }
    std::stringstream text;
    text << f.rdbuf();
    feed = gf_readFeed(text.str());
    // Only the reports of the objects drawn, when a choice of objects was made.
    if (!options.ids.empty())
      std::erase_if(feed.byCallsign, [&](const auto& entry) {
        return std::none_of(trace.objects.begin(), trace.objects.end(),
                            [&](const auto& o) { return o.second.tail == entry.first; });
      });
  }
  int skipped = trace.skippedLines + feed.skippedLines;
  if (skipped > 0) err << sk::format("{} line{} skipped\n", skipped, skipped == 1 ? "" : "s");
  if (trace.objects.empty()) {
    err << sk::format("no positions in {}\n", options.trace.string());
    return 1;
  }
  std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
  out << gf_drawSvg(trace, feed);
  if (!out.flush()) {
    err << sk::format("cannot write {}\n", options.output.string());
    return 1;
  }
  return 0;
}

}  // namespace tracemap
