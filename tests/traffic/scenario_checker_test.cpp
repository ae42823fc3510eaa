#include "scenario_checker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <numbers>
#include <sstream>

#include <nlohmann/json.hpp>

#include "test_support.h"
#include "platform/simconnect.h"
#include "tools/simstandin/standin.h"

namespace scenario {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<nlohmann::ordered_json>;

constexpr DWORD kCruise = 100, kTaxi = 101;
constexpr int kFrames = 300;
constexpr double kStaticCg = 5.0;
constexpr double kDeg = std::numbers::pi / 180;

struct Pose {
  double lat, lon, pitch, bank, heading, alt;
};

// The cruise aircraft flies east at 450 kt, climbing 1.5 ft a frame and rolling into a
// bank at 0.045 degrees a frame; the other taxis south at 15 kt. Frames are 3 ticks.
Pose lf_pose(DWORD id, int i) {
  const double metres = (id == kCruise ? 450.0 : 15.0) * 1852.0 / 3600.0 * 0.03 * i;
  if (id == kCruise)
    return {52.0, 4.0 + metres / (111195.0 * std::cos(52.0 * kDeg)), 2 * kDeg, std::min(0.045 * i, 10.0) * kDeg,
            90 * kDeg, 20000 + 1.5 * i};
  return {52.3 - metres / 111195.0, 4.76, 0, 0, 180 * kDeg, kStaticCg};
}

// Creates both aircraft, sets them every frame and removes them, through the
// stand-in in step mode; returns the trace's lines.
Lines lf_clientScriptTrace(const ScratchFolder& scratch) {
  standin::Scenario sc;
  sc.createDelaySeconds = 0;
  sc.staticCgFt = kStaticCg;
  standin::StandIn standIn(sc, {0, scratch / "trace.jsonl"});
  gf_setSimConnectAddress(standIn.address());
  HANDLE h = nullptr;
  EXPECT_TRUE(SUCCEEDED(SimConnect_Open(&h, "Skylume", nullptr, 0, nullptr, 0)));
  auto settle = [&] {
    DWORD last = 0;
    SimConnect_GetLastSentPacketID(h, &last);
    EXPECT_TRUE(standIn.waitProcessed(last, 30s));
    standIn.step();
  };
  for (const char* datum : {"Plane Latitude", "Plane Longitude"}) SimConnect_AddToDataDefinition(h, 1, datum, "degree");
  for (const char* datum : {"Plane Pitch degrees", "Plane Bank degrees", "Plane Heading degrees true"})
    SimConnect_AddToDataDefinition(h, 1, datum, "radians");
  SimConnect_AddToDataDefinition(h, 1, "Plane Altitude", "feet");
  for (DWORD id : {kCruise, kTaxi}) {
    Pose p = lf_pose(id, 0);
    SIMCONNECT_DATA_INITPOSITION init{p.lat, p.lon, p.alt, 0, 0, p.heading / kDeg, id == kTaxi, 0};
    SimConnect_AICreateNonATCAircraft(h, "Stand-in B738", id == kCruise ? "SAS1" : "KLM2", init, id);
  }
  settle();
  for (int i = 0; i < kFrames; ++i) {
    for (DWORD id : {kCruise, kTaxi}) {
      Pose p = lf_pose(id, i);
      SimConnect_SetDataOnSimObject(h, 1, id, 0, 1, sizeof p, &p);
    }
    settle();
  }
  for (DWORD id : {kCruise, kTaxi}) SimConnect_AIRemoveObject(h, id, 50 + id);
  settle();
  SimConnect_Close(h);
  Lines lines;
  for (const auto& text : fileLines(scratch / "trace.jsonl")) lines.push_back(nlohmann::ordered_json::parse(text));
  return lines;
}

// What the driver would have logged of the engine for the script.
SideLog lf_sideLog() {
  SideLog log;
  for (int f = 0; f <= kFrames + 2; ++f) {
    log.states.push_back({f * 3, kCruise, "4901457", "SAS1", 2, 4, false});
    log.states.push_back({f * 3, kTaxi, "4737937", "KLM2", 2, 1, true, false, 0, 0, false, false, true});
  }
  for (int s = 0; s <= 10; ++s) {
    log.points.push_back({s * 100, kCruise, 450, s * 100 + 3000, false});
    log.points.push_back({s * 100, kTaxi, 15, s * 100 + 3000, false});
  }
  return log;
}

nlohmann::ordered_json& lf_set(Lines& lines, DWORD id, std::int64_t frame) {
  for (auto& j : lines)
    if (j["event"] == "position" && j["id"] == id && j["frame"] == frame) return j;
  throw std::runtime_error("no such set");
}

ObjectTick& lf_state(SideLog& log, DWORD id, std::int64_t frame) {
  for (auto& s : log.states)
    if (s.objectId == id && s.tick == frame * 3) return s;
  throw std::runtime_error("no such state");
}

TEST(ScenarioChecker, FindsEachBrokenRuleAndPassesMotionTheEngineMayMake) {
  ScratchFolder scratch;
  const Lines clean = lf_clientScriptTrace(scratch);
  ASSERT_GT(clean.size(), 2u * kFrames);
  const std::int64_t removal = std::find_if(clean.begin(), clean.end(), [](auto& j) {
                                 return j["event"] == "remove";
                               })->at("frame").get<std::int64_t>();
  const std::int64_t last = clean.back()["frame"].get<std::int64_t>();
  constexpr std::int64_t F = 150;
  auto shiftSouth = [](Lines& l, DWORD id, double metres) { lf_set(l, id, F)["values"]["Plane Latitude"] =
      lf_set(l, id, F)["values"]["Plane Latitude"].get<double>() - metres / 111195.0; };
  auto inventedTakeOff = [](SideLog& s) { s.points.push_back({F * 3 - 50, kTaxi, 180, F * 3 + 10, true}); };
  // The program's own time on every taxi set; from F on it stalled 27 ticks and
  // caught up by the way it taxies in them, or jumped that way in no time.
  auto stalled = [](Lines& l, std::int64_t stallTicks) {
    for (auto& j : l) {
      if (j["event"] != "position" || j["id"] != kTaxi) continue;
      const std::int64_t frame = j["frame"];
      j["tick"] = frame * 3 + (frame >= F ? stallTicks : 0);
      if (frame >= F)
        j["values"]["Plane Latitude"] = j["values"]["Plane Latitude"].get<double>() - 15.0 * 1852.0 / 3600.0 * 0.27 / 111195.0;
    }
  };

  struct Case {
    const char* name;
    std::function<void(Lines&)> trace;
    std::function<void(SideLog&)> side;
    std::string rule;  // empty: passes
    DWORD id;
    std::int64_t frame;
  } cases[] = {
      {"clean", {}, {}, "", 0, 0},
      {"NaN", [](Lines& l) { lf_set(l, kCruise, F)["values"]["Plane Bank degrees"] = nullptr; }, {}, "not finite",
       kCruise, F},
      {"set after removal",
       [&](Lines& l) {
         auto j = lf_set(l, kTaxi, F);
         j["frame"] = removal;
         l.push_back(j);
       },
       {}, "set after removal", kTaxi, removal},
      {"never removed",
       [](Lines& l) { std::erase_if(l, [](auto& j) { return j["event"] == "remove" && j["id"] == kTaxi; }); }, {},
       "never removed", kTaxi, last},
      {"2 km jump", [&](Lines& l) { shiftSouth(l, kCruise, 2000); }, {}, "step too long", kCruise, F},
      {"bank 5 over", [](Lines& l) { lf_set(l, kCruise, F)["values"]["Plane Bank degrees"] = 35 * kDeg; }, {},
       "bank over maximum", kCruise, F},
      {"bank step twice the limit",
       [](Lines& l) { lf_set(l, kCruise, F)["values"]["Plane Bank degrees"] = lf_pose(kCruise, F - 2).bank + 0.12 * kDeg; },
       {}, "bank step", kCruise, F},
      {"climb 3 ft a frame", [](Lines& l) { lf_set(l, kCruise, F)["values"]["Plane Altitude"] = lf_pose(kCruise, F - 2).alt + 3; },
       {}, "climb step", kCruise, F},
      {"climb 3 ft in phase 3",
       [](Lines& l) { lf_set(l, kCruise, F)["values"]["Plane Altitude"] = lf_pose(kCruise, F - 2).alt + 3; },
       [](SideLog& s) { lf_state(s, kCruise, F).phase = 3; }, "", 0, 0},
      {"climb 3 ft on approach",
       [](Lines& l) { lf_set(l, kCruise, F)["values"]["Plane Altitude"] = lf_pose(kCruise, F - 2).alt + 3; },
       [](SideLog& s) { lf_state(s, kCruise, F).approach = true; }, "", 0, 0},
      {"taxi step beyond its speed", [&](Lines& l) { shiftSouth(l, kTaxi, 2.5); }, {}, "step too long", kTaxi, F},
      {"step after an invented take-off point", [&](Lines& l) { shiftSouth(l, kTaxi, 2.5); }, inventedTakeOff, "", 0,
       0},
      {"late point covered in 25 ticks", [&](Lines& l) { shiftSouth(l, kTaxi, 2.5); },
       [](SideLog& s) { s.segments.push_back({F * 3 - 30, kTaxi, 0.03, 10}); }, "", 0, 0},
      {"a stall caught up at the taxi's speed", [&](Lines& l) { stalled(l, 27); }, {}, "", 0, 0},
      {"the same way in no time", [&](Lines& l) { stalled(l, 0); }, {}, "step too long", kTaxi, F},
      {"off the ground on the ground", [](Lines& l) { lf_set(l, kTaxi, F)["values"]["Plane Altitude"] = kStaticCg + 1; },
       {}, "ground altitude", kTaxi, F},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Lines lines = clean;
    SideLog side = lf_sideLog();
    if (c.trace) c.trace(lines);
    if (c.side) c.side(side);
    std::stringstream text;
    for (const auto& j : lines) text << j.dump() << '\n';
    auto found = gf_checkTrace(text, side, {0, 3, 0, kStaticCg});
    if (c.rule.empty()) {
      EXPECT_TRUE(found.empty()) << gf_describe(found.front());
      continue;
    }
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.front().rule, c.rule) << gf_describe(found.front());
    EXPECT_EQ(found.front().objectId, c.id);
    EXPECT_EQ(found.front().frame, c.frame);
    EXPECT_EQ(found.front().callsign, c.id == kCruise ? "SAS1" : "KLM2");
  }
}

}  // namespace
}  // namespace scenario
