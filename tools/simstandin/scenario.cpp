#include "tools/simstandin/scenario.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "core/format.h"

namespace standin {

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;

template <typename T>
void lf_take(const nlohmann::json& j, const char* key, T& into) {
  if (auto it = j.find(key); it != j.end() && !it->is_null()) into = it->get<T>();
}

AircraftSpec lf_aircraft(const nlohmann::json& j) {
  AircraftSpec a;
  lf_take(j, "title", a.title);
  lf_take(j, "atc_model", a.atcModel);
  lf_take(j, "atc_id", a.atcId);
  lf_take(j, "lat", a.latDeg);
  lf_take(j, "lon", a.lonDeg);
  double deg = 0;
  if (j.contains("pitch_deg")) a.pitchRad = (lf_take(j, "pitch_deg", deg), deg * kDegToRad);
  if (j.contains("bank_deg")) a.bankRad = (lf_take(j, "bank_deg", deg), deg * kDegToRad);
  if (j.contains("heading_deg")) a.headingRad = (lf_take(j, "heading_deg", deg), deg * kDegToRad);
  lf_take(j, "altitude_ft", a.altitudeFt);
  lf_take(j, "vertical_speed_fps", a.verticalSpeedFps);
  lf_take(j, "airspeed_kts", a.airspeedKts);
  lf_take(j, "ground_speed_kts", a.groundSpeedKts);
  lf_take(j, "on_ground", a.onGround);
  lf_take(j, "light_states", a.lightStates);
  return a;
}

}  // namespace

std::optional<std::int64_t> gf_parseUtc(const std::string& text) {
  int y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) return {};
  using namespace std::chrono;
  year_month_day ymd{year(y), month(static_cast<unsigned>(mo)), day(static_cast<unsigned>(d))};
  if (!ymd.ok() || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60) return {};
  return sys_days(ymd).time_since_epoch().count() * 86400LL + h * 3600 + mi * 60 + s;
}

Scenario gf_parseScenario(const std::string& text) {
  auto j = nlohmann::json::parse(text);
  if (!j.is_object()) throw std::runtime_error("a scenario is a JSON object");
  Scenario sc;
  lf_take(j, "app_name", sc.appName);
  if (j.contains("version")) {
    auto v = j.at("version").get<std::vector<DWORD>>();
    if (v.size() != 4) throw std::runtime_error("\"version\" takes four numbers");
    std::copy(v.begin(), v.end(), sc.version.begin());
  }
  lf_take(j, "frame_rate", sc.frameRate);
  lf_take(j, "reported_frame_rate", sc.reportedFrameRate);
  lf_take(j, "ground_elevation_ft", sc.groundElevationFt);
  if (j.contains("zulu")) {
    auto epoch = gf_parseUtc(j.at("zulu").get<std::string>());
    if (!epoch) throw std::runtime_error("\"zulu\" is not a time like 2024-07-01T00:00:00");
    sc.startEpochSeconds = *epoch;
  }
  lf_take(j, "running", sc.running);
  lf_take(j, "flight_running", sc.flightRunning);
  lf_take(j, "user_object_id", sc.userObjectId);
  lf_take(j, "first_ai_object_id", sc.firstAiObjectId);
  if (j.contains("user")) sc.user = lf_aircraft(j.at("user"));
  if (j.contains("route")) {
    for (const auto& p : j.at("route")) {
      Waypoint w;
      lf_take(p, "lat", w.latDeg);
      lf_take(p, "lon", w.lonDeg);
      w.altitudeFt = sc.user.altitudeFt;
      lf_take(p, "altitude_ft", w.altitudeFt);
      sc.route.push_back(w);
    }
  }
  lf_take(j, "route_speed_kts", sc.routeSpeedKts);
  if (j.contains("objects"))
    for (const auto& o : j.at("objects")) sc.objects.push_back(lf_aircraft(o));
  if (j.contains("titles")) sc.knownTitles = j.at("titles").get<std::vector<std::string>>();
  lf_take(j, "create_delay_s", sc.createDelaySeconds);
  lf_take(j, "max_objects", sc.maxObjects);
  lf_take(j, "static_cg_ft", sc.staticCgFt);
  lf_take(j, "static_pitch_rad", sc.staticPitchRad);
  gf_checkScenario(sc);
  return sc;
}

void gf_checkScenario(Scenario& sc) {
  if (!(sc.frameRate > 0 && sc.frameRate <= 1000)) throw std::runtime_error("\"frame_rate\" must be in (0, 1000]");
  if (sc.firstAiObjectId <= sc.userObjectId)
    throw std::runtime_error("\"first_ai_object_id\" must be above \"user_object_id\"");
  if (!(sc.createDelaySeconds >= 0 && sc.createDelaySeconds <= 3600))
    throw std::runtime_error("\"create_delay_s\" must be in [0, 3600]");
  if (!(sc.reportedFrameRate > 0)) sc.reportedFrameRate = sc.frameRate;
}

Scenario gf_loadScenario(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(sk::format("cannot read scenario {}", file.string()));
  std::ostringstream text;
  text << in.rdbuf();
  try {
    return gf_parseScenario(text.str());
  } catch (const std::exception& e) {
    throw std::runtime_error(sk::format("scenario {}: {}", file.string(), e.what()));
  }
}

}  // namespace standin
