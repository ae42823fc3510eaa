#pragma once
// The world a stand-in simulator starts from, read from a small JSON file.
// Keys (all optional): "app_name", "version" [4 numbers], "frame_rate",
// "reported_frame_rate", "ground_elevation_ft", "zulu" ("2024-07-01T00:00:00"),
// "running", "flight_running", "user_object_id", "first_ai_object_id",
// "user" and each of "objects": {"title", "atc_model", "atc_id", "lat", "lon",
// "pitch_deg", "bank_deg", "heading_deg", "altitude_ft", "vertical_speed_fps",
// "airspeed_kts", "ground_speed_kts", "on_ground", "light_states"},
// "route" [{"lat", "lon", "altitude_ft"}] with "route_speed_kts",
// "titles" (the titles it can create; absent: any), "create_delay_s",
// "max_objects", "static_cg_ft", "static_pitch_rad".
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace standin {

struct Waypoint {
  double latDeg = 0;
  double lonDeg = 0;
  double altitudeFt = 0;
};

// One aircraft of the world: the user's, or one the scenario places.
struct AircraftSpec {
  std::string title;
  std::string atcModel;
  std::string atcId;
  double latDeg = 0;
  double lonDeg = 0;
  double pitchRad = 0;
  double bankRad = 0;
  double headingRad = 0;
  double altitudeFt = 0;
  double verticalSpeedFps = 0;
  double airspeedKts = 0;
  double groundSpeedKts = 0;
  bool onGround = true;
  std::int64_t lightStates = 0;
};

struct Scenario {
  std::string appName = "KittyHawk";  // "SunRise" for the 2024 simulator
  std::array<DWORD, 4> version{11, 0, 282174, 999};
  double frameRate = 30;          // frames emitted per second in real time
  double reportedFrameRate = 0;   // carried by Frame events; 0 = frameRate
  double groundElevationFt = 0;   // the world is flat
  std::int64_t startEpochSeconds = 1719792000;  // 2024-07-01 00:00:00 UTC
  bool running = true;            // accepts connections
  bool flightRunning = true;      // state of the "Sim" event
  DWORD userObjectId = 1;
  DWORD firstAiObjectId = 100;
  AircraftSpec user;
  std::vector<Waypoint> route;    // the user aircraft follows it when given
  double routeSpeedKts = 0;
  std::vector<AircraftSpec> objects;  // present from the start, not created by a client
  std::optional<std::vector<std::string>> knownTitles;  // none: every title is known
  double createDelaySeconds = 0.5;
  std::size_t maxObjects = 1000;
  double staticCgFt = 8.0;
  double staticPitchRad = 0.01;
};

// Throws std::runtime_error naming the file and the fault.
Scenario gf_loadScenario(const std::filesystem::path& file);
Scenario gf_parseScenario(const std::string& json);
// Refuses a world that cannot run (std::runtime_error) and fills the defaults
// that depend on other fields, such as the reported frame rate. The parser and
// the stand-in both apply it, so a scenario built in code behaves as a file would.
void gf_checkScenario(Scenario& sc);

// "2024-07-01T00:00:00" (UTC) as seconds since 1970.
std::optional<std::int64_t> gf_parseUtc(const std::string& text);

}  // namespace standin
