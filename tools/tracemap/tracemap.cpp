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
#include "tools/bglwrite/bglwrite.h"
#include "tools/rtplayer/replay.h"

namespace tracemap {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPictureWidth = 1200.0;  // pixels of the map; the height follows the data
constexpr double kMargin = 60.0;
constexpr double kMinSpanNm = 0.5;     // a parked aircraft still gets a readable map
constexpr double kPanelWidth = 400.0;  // the legend and the inset, right of the map
constexpr double kInsetWidth = kPanelWidth - 40.0;
constexpr double kInsetMarginNm = 0.12;  // around the stands, so aircraft taxiing to them show
constexpr double kMetresPerNm = 1852.0;

// Colours far enough apart on white to tell sixteen callsigns apart; further ones
// are spread around the colour wheel, so no two callsigns share one.
constexpr std::array<std::string_view, 16> kPalette = {
    "#e6194b", "#3cb44b", "#4363d8", "#f58231", "#911eb4", "#42d4f4", "#f032e6", "#9a6324",
    "#800000", "#469990", "#000075", "#808000", "#bfef45", "#e6a800", "#5e3c99", "#d95f02"};
// Objects no report names: the static aircraft the program parked.
constexpr std::string_view kUnreportedColour = "#707070";
constexpr std::string_view kUserColour = "#000000";
constexpr std::string_view kStandColour = "#9a9a9a";
constexpr std::string_view kRangeColour = "#303030";

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
  double left = kMargin, top = kMargin;  // where minX and maxY land in the picture
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
    return {left + (x - minX) * scale, top + (maxY - y) * scale};
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

struct AskedRange {
  MapPoint centre;
  double radiusNm = 0;
};

// While a creation is unanswered the program asks for a far wider radius for a
// moment, so the radius it asked for most often is the range it kept. Its centre is
// the user aircraft where it stood at the last of those requests.
std::optional<AskedRange> lf_askedRange(const TraceData& trace) {
  if (trace.rangeRequests.empty() || trace.user.empty()) return std::nullopt;
  std::map<double, std::pair<std::size_t, std::int64_t>> asked;  // radius: requests, last frame
  for (const auto& r : trace.rangeRequests) {
    auto& [count, last] = asked[r.radiusM];
    ++count;
    last = std::max(last, r.frame);
  }
  const auto most = std::max_element(asked.begin(), asked.end(),
                                     [](const auto& a, const auto& b) { return a.second < b.second; });
  MapPoint centre = trace.user.front();
  for (const auto& p : trace.user)
    if (p.frame <= most->second.second) centre = p;
  return AskedRange{centre, most->first / kMetresPerNm};
}

std::string lf_nmText(double nm) { return sk::format("{:g}", std::round(nm * 10) / 10); }

template <typename F>
void lf_forEachMapPoint(const TraceData& trace, const FeedData& feed, const std::vector<Stand>& stands,
                        const std::optional<AskedRange>& range, F f) {
  lf_forEachPoint(trace, feed, f);
  for (const auto& p : trace.user) f(p);
  for (const auto& s : stands) f(MapPoint{0, s.lat, s.lon});
  // The ring whole on the map: a ring cut off at the edge would hide how far it reaches.
  if (range) {
    const MapPoint& c = range->centre;
    const double dLat = range->radiusNm / 60.0;
    const double dLon = range->radiusNm / (60.0 * std::max(std::cos(c.lat * kPi / 180), 0.01));
    f(MapPoint{0, std::min(c.lat + dLat, 90.0), c.lon});
    f(MapPoint{0, std::max(c.lat - dLat, -90.0), c.lon});
    f(MapPoint{0, c.lat, c.lon + dLon});
    f(MapPoint{0, c.lat, c.lon - dLon});
  }
}

Projection lf_projection(const TraceData& trace, const FeedData& feed, const std::vector<Stand>& stands,
                         const std::optional<AskedRange>& range) {
  Projection pr;
  // The centre longitude: the circular mean, so data on both sides of 180 centre there.
  double sx = 0, sy = 0, slat = 0;
  std::size_t n = 0;
  lf_forEachMapPoint(trace, feed, stands, range, [&](const MapPoint& p) {
    sx += std::cos(p.lon * kPi / 180);
    sy += std::sin(p.lon * kPi / 180);
    slat += p.lat;
    ++n;
  });
  pr.lat0 = slat / static_cast<double>(n);
  pr.lon0 = std::atan2(sy, sx) * 180 / kPi;
  pr.cosLat = std::max(std::cos(pr.lat0 * kPi / 180), 0.01);
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  lf_forEachMapPoint(trace, feed, stands, range, [&](const MapPoint& p) {
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

// A colour for the i-th key: the palette, then hues spread by the golden angle.
std::string lf_colourNumber(std::size_t i) {
  if (i < kPalette.size()) return std::string(kPalette[i]);
  double hue = std::fmod(static_cast<double>(i) * 137.508, 360.0) / 60.0;
  double light = i % 2 ? 0.35 : 0.5, sat = 0.75;
  double chroma = (1 - std::abs(2 * light - 1)) * sat;
  double x = chroma * (1 - std::abs(std::fmod(hue, 2.0) - 1));
  std::array<double, 3> rgb{};
  switch (static_cast<int>(hue)) {
    case 0:
      rgb = {chroma, x, 0};
      break;
    case 1:
      rgb = {x, chroma, 0};
      break;
    case 2:
      rgb = {0, chroma, x};
      break;
    case 3:
      rgb = {0, x, chroma};
      break;
    case 4:
      rgb = {x, 0, chroma};
      break;
    default:
      rgb = {chroma, 0, x};
      break;
  }
  double m = light - chroma / 2;
  auto byte = [&](double v) { return static_cast<int>(std::lround((v + m) * 255)); };
  return sk::format("#{:02x}{:02x}{:02x}", byte(rgb[0]), byte(rgb[1]), byte(rgb[2]));
}

// Who gets which colour. With reports, one colour per callsign, shared by the object
// that carries the callsign or its registration, and one grey for the objects no
// report names (the static aircraft); without reports, one colour per object.
struct Colours {
  std::vector<std::string> callsigns;  // the legend's order: first reported first
  std::map<std::string, std::string> ofCallsign;
  std::map<std::string, std::string> callsignOfTail;
  std::set<std::string> created;  // callsigns an object carried
  std::map<std::int64_t, std::string> ofObject;
  bool unreportedObjects = false;
};

Colours lf_colours(const TraceData& trace, const FeedData& feed) {
  Colours c;
  std::vector<std::pair<std::int64_t, std::string>> firstReport;
  for (const auto& [callsign, points] : feed.byCallsign)
    if (!points.empty()) firstReport.emplace_back(points.front().frame, callsign);
  std::sort(firstReport.begin(), firstReport.end());
  for (const auto& [time, callsign] : firstReport) {
    c.ofCallsign[callsign] = lf_colourNumber(c.callsigns.size());
    c.callsigns.push_back(callsign);
    c.callsignOfTail[callsign] = callsign;
  }
  for (const auto& [callsign, registration] : feed.registrationOf)
    if (!registration.empty() && c.ofCallsign.contains(callsign))
      c.callsignOfTail.try_emplace(registration, callsign);
  std::map<std::string, std::string> ofUnreportedTail;
  for (const auto& [id, o] : trace.objects) {
    auto callsign = c.callsignOfTail.find(o.tail);
    if (callsign != c.callsignOfTail.end()) {
      c.ofObject[id] = c.ofCallsign[callsign->second];
      c.created.insert(callsign->second);
    } else if (!c.callsigns.empty()) {
      c.ofObject[id] = kUnreportedColour;
      c.unreportedObjects = true;
    } else {
      std::string key = o.tail.empty() ? sk::format("#{}", id) : o.tail;
      auto [it, added] = ofUnreportedTail.try_emplace(key, lf_colourNumber(ofUnreportedTail.size()));
      c.ofObject[id] = it->second;
    }
  }
  return c;
}

std::string lf_star(double x, double y, double r, std::string_view colour) {
  std::string points;
  for (int i = 0; i < 10; ++i) {
    double a = kPi / 2 + i * kPi / 5, radius = i % 2 ? r * 0.45 : r;
    points += sk::format("{}{:.1f},{:.1f}", i ? " " : "", x + radius * std::cos(a), y - radius * std::sin(a));
  }
  return sk::format("<polygon points=\"{}\" fill=\"{}\"/>", points, colour);
}

// The runs of points that fall inside the projection's box (a margin beyond it kept,
// so lines leave the box's edge instead of stopping short of it).
std::vector<std::vector<MapPoint>> lf_runsInside(const Projection& pr, const std::vector<MapPoint>& points,
                                                 double width) {
  std::vector<std::vector<MapPoint>> runs;
  bool inside = false;
  for (const auto& p : points) {
    auto [x, y] = pr.pixel(p);
    bool in = x > pr.left - 40 && x < pr.left + width + 40 && y > pr.top - 40 && y < pr.top + pr.height + 40;
    if (in && !inside) runs.emplace_back();
    if (in) runs.back().push_back(p);
    inside = in;
  }
  return runs;
}

// Stands, objects, reports and the user aircraft on one projection. The inset shows
// only what lies in its box, with every stand named.
void lf_drawLayer(std::string& svg, const Projection& pr, const TraceData& trace, const FeedData& feed,
                  const std::vector<Stand>& stands, const Colours& colours, bool inset) {
  for (const auto& s : stands) {
    if (inset && s.airport != stands.front().airport) continue;
    auto [x, y] = pr.pixel({0, s.lat, s.lon});
    double r = std::max(s.radiusM / kMetresPerNm * pr.scale, 1.5);
    svg += sk::format(
        "<g class=\"stand\" data-name=\"{}\"><circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"{:.1f}\" fill=\"none\" "
        "stroke=\"{}\"/>",
        lf_escape(s.name), x, y, r, kStandColour);
    if (inset)
      svg += sk::format(
          "<text x=\"{:.1f}\" y=\"{:.1f}\" font-size=\"8\" text-anchor=\"end\" fill=\"#555\">{}</text>",
          x - r - 1, y + 3, lf_escape(s.name));
    svg += "</g>\n";
  }
  const double width = inset ? kInsetWidth : kPictureWidth;
  for (const auto& [id, o] : trace.objects) {
    std::string_view c = colours.ofObject.at(id);
    auto runs = inset ? lf_runsInside(pr, o.points, width) : std::vector<std::vector<MapPoint>>{o.points};
    for (const auto& run : runs)
      svg += sk::format(
          "<polyline class=\"object\" data-id=\"{}\" data-tail=\"{}\" fill=\"none\" stroke=\"{}\" "
          "stroke-width=\"1.5\" points=\"{}\"/>\n",
          id, lf_escape(o.tail), c, lf_polylinePoints(pr, run));
    std::string label = lf_escape(o.tail.empty() ? sk::format("#{}", id) : o.tail);
    auto marker = [&](const MapPoint& p, const char* kind, bool created) {
      auto [x, y] = pr.pixel(p);
      if (inset && lf_runsInside(pr, {p}, width).empty()) return;
      std::string shape =
          created ? sk::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"5\" fill=\"none\" stroke=\"{}\"/>", x,
                               y, c)
                  : sk::format("<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"8\" height=\"8\" fill=\"{}\"/>",
                               x - 4, y - 4, c);
      svg += sk::format(
          "<g class=\"{}\" data-id=\"{}\">{}<text x=\"{:.1f}\" y=\"{:.1f}\" fill=\"{}\"{}>{}</text></g>\n",
          kind, id, shape, x + 6, y - 6, c, inset ? " font-size=\"8\"" : "", label);
    };
    if (o.created) marker(*o.created, "created", true);
    if (o.removed) marker(*o.removed, "removed", false);
  }
  for (const auto& callsign : colours.callsigns) {
    const std::string& c = colours.ofCallsign.at(callsign);
    std::string dots;
    double lastX = 0, lastY = 0;
    bool any = false;
    for (const auto& p : feed.byCallsign.at(callsign)) {
      if (inset && lf_runsInside(pr, {p}, width).empty()) continue;
      auto [x, y] = pr.pixel(p);
      if (any && std::hypot(x - lastX, y - lastY) < 1.0) continue;
      // A callsign no object carried is named at its first report: nothing else names it.
      if (!any && !inset && !colours.created.contains(callsign))
        dots += sk::format("<text x=\"{:.1f}\" y=\"{:.1f}\">{}</text>\n", x + 4, y - 4, lf_escape(callsign));
      dots += sk::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"2\"/>\n", x, y);
      lastX = x, lastY = y, any = true;
    }
    if (any)
      svg += sk::format("<g class=\"reported\" data-tail=\"{}\" fill=\"{}\">\n{}</g>\n", lf_escape(callsign),
                        c, dots);
  }
  for (const auto& p : trace.user) {
    if (inset && lf_runsInside(pr, {p}, width).empty()) continue;
    auto [x, y] = pr.pixel(p);
    svg += sk::format("<g class=\"user\">{}</g>\n", lf_star(x, y, inset ? 8 : 6, kUserColour));
  }
}

void lf_drawScaleBar(std::string& svg, double x, double y, double lengthPx, const std::string& label) {
  svg += sk::format(
      "<g class=\"scale\"><line x1=\"{0:.1f}\" y1=\"{1:.1f}\" x2=\"{2:.1f}\" y2=\"{1:.1f}\" stroke=\"black\" "
      "stroke-width=\"2\"/><text x=\"{0:.1f}\" y=\"{3:.1f}\">{4}</text></g>\n",
      x, y, x + lengthPx, y - 5, label);
}

// The legend: what each mark means, then the colour of every callsign. Sets `bottom`
// to the lowest pixel it drew on.
std::string lf_legend(const Colours& colours, const std::optional<AskedRange>& range, double& bottom) {
  const double x = kPictureWidth + 20;
  double y = 30;
  std::string svg = sk::format(
      "<g class=\"legend\"><text x=\"{:.1f}\" y=\"{:.1f}\" font-weight=\"bold\">Legend</text>\n", x, y);
  auto row = [&](const char* kind, const std::string& mark, std::string_view text) {
    y += 17;
    svg += sk::format(
        "<g class=\"legend-row\" data-kind=\"{}\">{}<text x=\"{:.1f}\" y=\"{:.1f}\">{}</text></g>\n", kind,
        mark, x + 28, y + 4, text);
  };
  const double mx = x + 10;
  row("report", sk::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"2\" fill=\"#444\"/>", mx, y + 17),
      "dot: a report the player sent");
  row("object",
      sk::format("<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"#444\" "
                 "stroke-width=\"1.5\"/>",
                 mx - 8, y + 17, mx + 8, y + 17),
      "line: an aircraft in the simulator");
  row("created",
      sk::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"5\" fill=\"none\" stroke=\"#444\"/>", mx, y + 17),
      "circle: created there");
  row("removed",
      sk::format("<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"8\" height=\"8\" fill=\"#444\"/>", mx - 4, y + 13),
      "square: removed there");
  row("user", lf_star(mx, y + 17, 6, kUserColour), "star: the user aircraft");
  row("stand",
      sk::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"5\" fill=\"none\" stroke=\"{}\"/>", mx, y + 17,
                 kStandColour),
      "grey ring: a stand in the scenery");
  if (range)
    row("range",
        sk::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"6\" fill=\"none\" stroke=\"{}\" "
                   "stroke-dasharray=\"3,2\"/>",
                   mx, y + 17, kRangeColour),
        sk::format("dashed ring: the range asked for, {} nm around the user", lf_nmText(range->radiusNm)));
  if (colours.unreportedObjects)
    row("unreported",
        sk::format("<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"{}\" "
                   "stroke-width=\"3\"/>",
                   mx - 8, y + 17, mx + 8, y + 17, kUnreportedColour),
        "grey: parked (static) aircraft, never reported");
  if (!colours.callsigns.empty()) {
    y += 26;
    svg += sk::format(
        "<text x=\"{:.1f}\" y=\"{:.1f}\" font-weight=\"bold\">Callsigns (reported only: never "
        "created)</text>\n",
        x, y);
    y += 4;
    for (std::size_t i = 0; i < colours.callsigns.size(); ++i) {
      const std::string& callsign = colours.callsigns[i];
      double kx = x + static_cast<double>(i % 2) * (kInsetWidth / 2);
      double ky = y + static_cast<double>(i / 2 + 1) * 15;
      bool created = colours.created.contains(callsign);
      svg += sk::format(
          "<g class=\"key\" data-callsign=\"{0}\" data-created=\"{1}\"><rect x=\"{2:.1f}\" "
          "y=\"{3:.1f}\" width=\"10\" height=\"10\" fill=\"{4}\"/><text x=\"{5:.1f}\" "
          "y=\"{6:.1f}\">{0}{7}</text></g>\n",
          lf_escape(callsign), created ? "yes" : "no", kx, ky - 9, colours.ofCallsign.at(callsign), kx + 16,
          ky, created ? "" : " (reported only)");
    }
    y += static_cast<double>((colours.callsigns.size() + 1) / 2) * 15;
  }
  svg += "</g>\n";
  bottom = y;
  return svg;
}

// The inset around the first airport's stands, below the legend; none without stands.
std::optional<Projection> lf_insetProjection(const Projection& map, const std::vector<Stand>& stands,
                                             double top) {
  if (stands.empty()) return std::nullopt;
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  for (const auto& s : stands) {
    if (s.airport != stands.front().airport) continue;
    auto [x, y] = map.nm({0, s.lat, s.lon});
    minX = std::min(minX, x), maxX = std::max(maxX, x);
    minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
  minX -= kInsetMarginNm, maxX += kInsetMarginNm, minY -= kInsetMarginNm, maxY += kInsetMarginNm;
  // No taller than wide and a half: a long row of stands widens the box instead.
  double widthNm = std::max(maxX - minX, (maxY - minY) / 1.5);
  Projection inset = map;
  inset.minX = (minX + maxX) / 2 - widthNm / 2;
  inset.maxY = maxY;
  inset.scale = kInsetWidth / widthNm;
  inset.left = kPictureWidth + 20;
  inset.top = top;
  inset.height = (maxY - minY) * inset.scale;
  return inset;
}

// The position at a pixel of the inset, relative to its top left corner.
MapPoint lf_insetCorner(const Projection& inset, double px, double py) {
  double x = inset.minX + px / inset.scale, y = inset.maxY - py / inset.scale;
  return {0, inset.lat0 + y / 60.0, inset.lon0 + x / (60.0 * inset.cosLat)};
}

}  // namespace

const char* const kUsage =
    "usage: tracemap TRACE.jsonl [--feed FILE.replay [--played SECONDS]] [--stands LAYOUT.json]\n"
    "                [--scenario WORLD.json] [--ids LIST] [--frames A:B] -o MAP.svg\n";

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
    } else if (a == "--played") {
      const std::string& text = value();
      double seconds = 0;
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
      if (error != std::errc() || end != text.data() + text.size() || !(seconds >= 0))
        throw std::invalid_argument(sk::format("--played needs seconds: {}", text));
      o.played = seconds;
    } else if (a == "--stands") {
      o.stands = value();
    } else if (a == "--scenario") {
      o.scenario = value();
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
    if (event == "by_type") {
      if (options.frames && (frame < options.frames->first || frame > options.frames->second)) continue;
      const auto radius = j.find("radius");
      if (radius == j.end() || !radius->is_number() || !std::isfinite(radius->get<double>()) ||
          !(radius->get<double>() > 0)) {
        ++data.skippedLines;
        continue;
      }
      data.rangeRequests.push_back({frame, radius->get<double>()});
      continue;
    }
    if (event == "user") {
      if (j.contains("lat") && j["lat"].is_number() && j.contains("lon") && j["lon"].is_number()) {
        MapPoint p{frame, j["lat"].get<double>(), j["lon"].get<double>()};
        if (lf_valid(p.lat, p.lon)) data.user.push_back(p);
      }
      continue;
    }
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
    if (fields.size() > 11) feed.registrationOf[callsign] = std::string(fields[11]);
    feed.byCallsign[callsign].push_back(
        {static_cast<std::int64_t>(std::llround(item.time.value_or(0))), *lat, *lon});
  }
  return feed;
}

void gf_keepPlayed(FeedData& feed, double seconds) {
  std::int64_t first = INT64_MAX;
  for (const auto& [callsign, points] : feed.byCallsign)
    for (const auto& p : points) first = std::min(first, p.frame);
  const double last = static_cast<double>(first) + seconds;
  for (auto& [callsign, points] : feed.byCallsign)
    std::erase_if(points, [&](const MapPoint& p) { return static_cast<double>(p.frame) > last; });
  std::erase_if(feed.byCallsign, [](const auto& entry) { return entry.second.empty(); });
}

std::vector<Stand> gf_readStands(const std::string& layoutJson) {
  std::vector<Stand> stands;
  for (const auto& section : bglw::gf_parseSpec(layoutJson).sections) {
    for (const auto& record : section.records) {
      if (!record.airport) continue;
      for (const auto& spot : record.airport->spots) {
        // Name codes 12 to 37 are the letters A to Z; the others name kinds of ramp.
        std::string prefix;
        if (spot.nameCode >= 12 && spot.nameCode <= 37)
          prefix = std::string(1, static_cast<char>('A' + spot.nameCode - 12));
        stands.push_back({record.airport->icao, sk::format("{}{}", prefix, spot.number), spot.latitude,
                          spot.longitude, spot.radius});
      }
    }
  }
  return stands;
}

std::size_t gf_positionCount(const TraceData& trace, const FeedData& feed) {
  std::size_t n = 0;
  lf_forEachPoint(trace, feed, [&](const MapPoint&) { ++n; });
  return n;
}

std::string gf_drawSvg(const TraceData& trace, const FeedData& feed, const std::vector<Stand>& stands) {
  const std::optional<AskedRange> range = lf_askedRange(trace);
  Projection pr = lf_projection(trace, feed, stands, range);
  Colours colours = lf_colours(trace, feed);
  std::string layers;
  if (range) {
    auto [x, y] = pr.pixel(range->centre);
    const double r = range->radiusNm * pr.scale;
    layers += sk::format(
        "<g class=\"range\" data-nm=\"{0}\"><circle cx=\"{1:.1f}\" cy=\"{2:.1f}\" r=\"{3:.1f}\" fill=\"none\" "
        "stroke=\"{4}\" stroke-width=\"1.5\" stroke-dasharray=\"8,4\"/><text x=\"{1:.1f}\" y=\"{5:.1f}\" "
        "text-anchor=\"middle\" fill=\"{4}\">range asked for: {0} nm</text></g>\n",
        lf_nmText(range->radiusNm), x, y, r, kRangeColour, y - r - 5);
  }
  lf_drawLayer(layers, pr, trace, feed, stands, colours, false);

  double pictureNm = (kPictureWidth - 2 * kMargin) / pr.scale;
  double barNm = lf_scaleBarNm(pictureNm);
  lf_drawScaleBar(layers, kMargin, pr.height - kMargin / 2, barNm * pr.scale, sk::format("{:g} nm", barNm));

  double panelBottom = 0;
  std::string panel = lf_legend(colours, range, panelBottom);
  if (std::optional<Projection> inset = lf_insetProjection(pr, stands, panelBottom + 30)) {
    // The inset's outline on the map, so a reader sees where it lies.
    auto [x0, y0] = pr.pixel(lf_insetCorner(*inset, 0, 0));
    auto [x1, y1] = pr.pixel(lf_insetCorner(*inset, kInsetWidth, inset->height));
    layers += sk::format(
        "<rect class=\"inset-area\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"{:.1f}\" "
        "fill=\"none\" "
        "stroke=\"#444\" stroke-dasharray=\"3,2\"/>\n",
        x0, y0, std::max(x1 - x0, 1.0), std::max(y1 - y0, 1.0));
    panel += sk::format(
        "<g class=\"inset\" data-airport=\"{0}\"><text x=\"{1:.1f}\" y=\"{2:.1f}\" font-weight=\"bold\">{0}: "
        "its stands and the aircraft near them</text>\n<clipPath id=\"inset-clip\"><rect x=\"{1:.1f}\" "
        "y=\"{3:.1f}\" width=\"{4:.1f}\" height=\"{5:.1f}\"/></clipPath>\n<rect x=\"{1:.1f}\" y=\"{3:.1f}\" "
        "width=\"{4:.1f}\" height=\"{5:.1f}\" fill=\"white\" stroke=\"#444\"/>\n<g "
        "clip-path=\"url(#inset-clip)\">\n",
        lf_escape(stands.front().airport), inset->left, inset->top - 8, inset->top, kInsetWidth,
        inset->height);
    lf_drawLayer(panel, *inset, trace, feed, stands, colours, true);
    panel += "</g>\n";
    double insetBarM = lf_scaleBarNm(kInsetWidth / inset->scale * kMetresPerNm);
    lf_drawScaleBar(panel, inset->left, inset->top + inset->height + 20,
                    insetBarM / kMetresPerNm * inset->scale, sk::format("{:g} m", insetBarM));
    panel += "</g>\n";
    panelBottom = inset->top + inset->height + 30;
  }

  double height = std::max(pr.height, panelBottom + 20);
  double width = kPictureWidth + kPanelWidth;
  std::string svg = sk::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{:.0f}\" height=\"{:.0f}\" "
      "viewBox=\"0 0 {:.0f} {:.0f}\" font-family=\"sans-serif\" font-size=\"11\">\n"
      "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n",
      width, height, width, height);
  svg += layers;
  svg += panel;
  svg += "</svg>\n";
  return svg;
}

int gf_runTracemap(const std::vector<std::string>& args, std::ostream& err) {
  Options options;
  try {
    options = gf_parseOptions(args);
  } catch (const std::invalid_argument& e) {
    err << e.what() << '\n' << kUsage;
    return 2;
  }
  std::ifstream in(options.trace, std::ios::binary);
  if (!in) {
    err << sk::format("cannot read {}\n", options.trace.string());
    return 1;
  }
  TraceData trace = gf_readTrace(in, options);
  auto readAll = [&](const std::filesystem::path& path, std::string& text) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream buffer;
    buffer << f.rdbuf();
    text = buffer.str();
    if (!f) err << sk::format("cannot read {}\n", path.string());
    return static_cast<bool>(f);
  };
  std::string text;
  FeedData feed;
  if (options.feed) {
    if (!readAll(*options.feed, text)) return 1;
    feed = gf_readFeed(text);
    if (options.played) gf_keepPlayed(feed, *options.played);
    // Only the reports of the objects drawn, when a choice of objects was made.
    if (!options.ids.empty())
      std::erase_if(feed.byCallsign, [&](const auto& entry) {
        return std::none_of(trace.objects.begin(), trace.objects.end(), [&](const auto& o) {
          return o.second.tail == entry.first || o.second.tail == feed.registrationOf[entry.first];
        });
      });
  }
  std::vector<Stand> stands;
  try {
    if (options.stands) {
      if (!readAll(*options.stands, text)) return 1;
      stands = gf_readStands(text);
    }
    if (options.scenario) {
      if (!readAll(*options.scenario, text)) return 1;
      // The world's user aircraft before any "user" line moved it.
      const nlohmann::json user = nlohmann::json::parse(text).at("user");
      trace.user.insert(trace.user.begin(),
                        MapPoint{0, user.at("lat").get<double>(), user.at("lon").get<double>()});
    }
  } catch (const std::exception& e) {
    err << sk::format("{}: {}\n", (options.scenario ? *options.scenario : *options.stands).string(),
                      e.what());
    return 1;
  }
  if (!trace.rangeRequests.empty() && trace.user.empty())
    err << "the range asked for is not drawn: no position of the user aircraft (--scenario)\n";
  int skipped = trace.skippedLines + feed.skippedLines;
  if (skipped > 0) err << sk::format("{} line{} skipped\n", skipped, skipped == 1 ? "" : "s");
  if (trace.objects.empty()) {
    err << sk::format("no positions in {}\n", options.trace.string());
    return 1;
  }
  std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
  out << gf_drawSvg(trace, feed, stands);
  if (!out.flush()) {
    err << sk::format("cannot write {}\n", options.output.string());
    return 1;
  }
  return 0;
}

}  // namespace tracemap
