// The traffic engine's containers, its tick, the motion pass and the
// application of traffic records.
#include "traffic/engine.h"
#include "traffic/stand_learning.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <unordered_map>

#include "airports/stand.h"
#include "core/clock.h"
#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "liveries/dbase_lookups.h"
#include "shell/rt_link.h"
#include "traffic/arbitration.h"
#include "traffic/creation_failures.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_stats.h"
#include "traffic/landing.h"
#include "traffic/object_events.h"
#include "traffic/placement.h"
#include "traffic/readers.h"
#include "traffic/sim_connection.h"
#include "traffic/sim_ids.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"
#include "traffic/user_aircraft.h"

std::vector<Act> gActs;
std::vector<StaticAct> gStaticActs;
std::deque<std::uint32_t> gRemovalQueue;
std::deque<CreateReq> gCreationQueuePrio;
std::deque<CreateReq> gCreationQueue;
std::vector<std::uint32_t> gCreateHexids;
std::vector<StaticPlan> gStaticParkingList;
EngineParkAirport gEngineParkAirport;
bool gIntakeBacklogMend = true;

namespace {
// The largest radius the simulator serves a by-type request with.
constexpr std::uint32_t kWidestInRangeRadiusMeters = 200000;
bool gInitialised = false;
std::unordered_map<std::uint32_t, std::size_t> gActIndex;
std::vector<TrafficRecord> gTakenRecords;

constexpr double kRadiansToDegrees = 180.0 / 3.14159265358979323846;
// A ground report whose speed differs by more than this from the speed its
// positions show is not taken at its word.
constexpr double kContradictedSpeedKts = 25.0;
constexpr double kOutrunSpeedKts = 10.0;
constexpr double kSpeedBaselineSeconds = 4.0;
// An airliner gains or loses some 4 kt a second on its take-off or landing roll.
constexpr double kMostAccelerationKts = 6.0;
constexpr double kSmallStepNm = 0.010799136069114472;  // 20 m
constexpr double kSpikeNm = 60.0 / 1852.0;                // a detour of 60 m
constexpr double kTaxiKnots = 30.0;
constexpr double kStillNm = 10.0 / 1852.0;  // the scatter of a standing aircraft's positions
constexpr double kOffRunwayNm = 25.0 / 1852.0;
constexpr double kFeetPerNm = 6076.11549;
constexpr double kAcrossDeg = 45.0;  // this far off the track reported, a way runs across it

void lf_removeCallsignFile() {
  if (std::filesystem::exists(Callsign2ObjectIdPath)) std::filesystem::remove(Callsign2ObjectIdPath);
}

// Moved out under gUpdateMutex and applied after it is released, so the
// traffic reader never waits for the applications.
void lf_takeUpdates() {
  gTakenRecords.clear();
  {
    std::lock_guard lock(gUpdateMutex);
    const std::size_t count = gf_updatesPerTick(gUpdateQueue.size());
    for (std::size_t i = 0; i < count; ++i) {
      gTakenRecords.push_back(std::move(gUpdateQueue.front()));
      gUpdateQueue.pop_front();
    }
  }
  const std::int64_t tick = gTick.load();
  for (TrafficRecord& record : gTakenRecords) {
    gf_noteQueueAge(kUpdateDueTicks - gf_ticksUntil(record.point.dueTick, tick));
    lf_applyUpdate(record);
  }
  gTakenRecords.clear();
}

void lf_queueDecidedCreation() {
  if (gCreateHexids.empty()) return;
  const std::uint32_t hexid = gCreateHexids.back();
  gCreateHexids.pop_back();
  const Act* aircraft = gf_findAct(hexid);
  if (!aircraft) return;
  CreateReq request;
  request.initPos.Latitude = aircraft->pose.latitude;
  request.initPos.Longitude = aircraft->pose.longitude;
  request.initPos.Altitude = aircraft->pose.altitude;
  // An aircraft reported on the ground is created on it: at altitude 0 and
  // airborne it would stand below the terrain of any airport above sea level.
  const bool onGround = !aircraft->track.empty() && !aircraft->track.front().airborne;
  if (onGround && !gEngineParkAirport.code.empty()) request.initPos.Altitude = gEngineParkAirport.altitude;
  request.initPos.Pitch = aircraft->pose.pitch * kRadiansToDegrees;
  request.initPos.Bank = aircraft->pose.bank * kRadiansToDegrees;
  request.initPos.Heading = aircraft->pose.heading * kRadiansToDegrees;
  request.initPos.OnGround = onGround ? 1 : 0;
  request.initPos.Airspeed = 0;
  request.tailNumber = aircraft->key.callsign;
  request.liveryTitle = aircraft->liveryTitle;
  request.hexid = hexid;
  gCreationQueuePrio.push_back(std::move(request));
}

// Altitude test: clearly on the ground or clearly away from the park airport.
bool lf_altitudePasses(double altitude) {
  const double reference = gEngineParkAirport.code.empty() ? -1000.0 : gEngineParkAirport.altitude;
  return altitude >= 10000.0 || altitude <= 0.0 || std::abs(altitude - reference) > 120.0;
}

// The report the positions' speed is measured from: the newest applied one at
// least a few seconds older, else the oldest kept. Real positions a second apart
// are each some metres off, which would make tens of knots of a steady roll.
const Act::ReportFix& lf_speedBase(const Act& aircraft, double timestamp) {
  for (std::size_t i = aircraft.recentFixCount; i-- > 1;)
    if (timestamp - aircraft.recentFixes[i].timestamp >= kSpeedBaselineSeconds)
      return aircraft.recentFixes[i];
  return aircraft.recentFixes[0];
}

// Keeps the fixes a later base may be: the newest one old enough and all after it.
void lf_noteFix(Act& aircraft, const LatLon& at, double timestamp) {
  auto& fixes = aircraft.recentFixes;
  std::size_t keepFrom = 0;
  for (std::size_t i = aircraft.recentFixCount; i-- > 0;)
    if (timestamp - fixes[i].timestamp >= kSpeedBaselineSeconds) {
      keepFrom = i;
      break;
    }
  if (aircraft.recentFixCount - keepFrom == fixes.size()) ++keepFrom;
  std::move(fixes.begin() + static_cast<std::ptrdiff_t>(keepFrom), fixes.begin() + aircraft.recentFixCount,
            fixes.begin());
  aircraft.recentFixCount = static_cast<std::uint8_t>(aircraft.recentFixCount - keepFrom);
  fixes[aircraft.recentFixCount++] = {at, timestamp};
}

// Whether the way from the base report's position contradicts the report's speed.
bool lf_speedContradicted(const TrackPoint& point, const Act::ReportFix& base, double timestamp,
                          double& shown) {
  const double dt = std::max(timestamp - base.timestamp, 1e-3);
  shown = gf_distanceNm(base.at, {point.latitude, point.longitude}) / dt * 3600.0;
  return std::abs(shown - point.groundSpeed) > kContradictedSpeedKts;
}

// Ground reports may carry a speed the transponder stopped updating (100 kt
// for minutes while the positions show a taxi, 0.0 through a take-off roll);
// such a report keeps the speed its positions show beside the reported one.
// Positions that run ahead of the speed, 20 m or more from the base, tell it
// from the first reports of a roll on: believed only beyond 25 kt, the roll
// would trail its reports by seconds.
void lf_checkReportedSpeed(TrafficRecord& record, const Act::ReportFix& base) {
  TrackPoint& point = record.point;
  if (point.airborne) return;
  double shown = 0.0;
  const bool contradicted = lf_speedContradicted(point, base, record.timestamp, shown);
  const bool ahead = shown - point.groundSpeed > kOutrunSpeedKts &&
                     gf_distanceNm(base.at, {point.latitude, point.longitude}) >= kSmallStepNm;
  if (contradicted || ahead) point.positionSpeed = shown;
}

double lf_trackDifference(double a, double b) {
  const double d = std::fmod(std::abs(a - b), 360.0);
  return d > 180.0 ? 360.0 - d : d;
}

LatLon at(const TrackPoint& p) {
  return {p.latitude, p.longitude};
}

// How far a point lies off the line through two others, from its distances to
// them and theirs: the height of the triangle over that side.
double lf_offLineNm(double toOne, double toOther, double between) {
  const double half = (toOne + toOther + between) / 2.0;
  return 2.0 * std::sqrt(std::max(half * (half - toOne) * (half - toOther) * (half - between), 0.0)) /
         between;
}

// Real surface positions jump tens of metres aside for a report and come back.
// The engine shows a report half a minute after it came, so the next report
// tells such a spike before it is reached: a ground point the way out to and
// back from is far longer than the way past it, at more than taxi speed, loses
// its position, which no later speed is measured from. The way out may start in
// the air: a landing's first ground point is judged from the last place it flew
// over.
void lf_dropSpike(Act& aircraft, const TrackPoint& point, double timestamp) {
  std::deque<TrackPoint>& track = aircraft.track;
  if (point.airborne || track.size() < 2 || aircraft.recentFixCount < 2) return;
  const TrackPoint& spike = track.back();
  const TrackPoint& before = track[track.size() - 2];
  if (spike.airborne || spike.stationary) return;
  const double past = gf_distanceNm(at(before), at(point));
  const double out = gf_distanceNm(at(before), at(spike)), back = gf_distanceNm(at(spike), at(point));
  const auto knots = [](double nm, double seconds) { return nm * 3600.0 / std::max(seconds, 1.0); };
  const bool faster = std::max(knots(out, spike.timestamp - before.timestamp), knots(back, timestamp - spike.timestamp)) >
                      kTaxiKnots;
  if (!faster) return;
  // A roll at speed is on a runway, straight: a point well off the line past it
  // is out of place however far apart the reports lie.
  const double aside = past > 0.0 ? lf_offLineNm(out, back, past) : out;
  const bool offRunway = gf_believedSpeed(before) >= kLiftOffKnots && aside > kOffRunwayNm;
  if (!offRunway && (out + back - past <= kSpikeNm || out + back <= 1.25 * past)) return;
  if (aircraft.recentFixes[aircraft.recentFixCount - 1].timestamp == spike.timestamp) --aircraft.recentFixCount;
  // A take-off roll lifts off where its reports start to climb, so the rest of
  // such a report stands, its time above all: it is put on the way past where
  // that way is at its time, at the speed the way shows when its own is far
  // off. The roll gains speed and its reports do not descend; elsewhere the
  // report goes.
  const double seconds = timestamp - before.timestamp;
  const bool rollsToTakeOff = !aircraft.landingRoll && !aircraft.approach &&
                              gf_believedSpeed(before) >= kLiftOffKnots &&
                              gf_believedSpeed(point) > gf_believedSpeed(before) &&
                              spike.verticalSpeed >= 0.0 && point.verticalSpeed >= 0.0;
  if (!rollsToTakeOff || before.airborne || before.timestamp <= 0.0 || spike.timestamp <= before.timestamp ||
      seconds <= spike.timestamp - before.timestamp) {
    track.pop_back();
    return;
  }
  TrackPoint& placed = track.back();
  const LatLon on = gf_destinationPoint(at(before), gf_bearing(at(before), at(point)),
                                        past * kFeetPerNm * (spike.timestamp - before.timestamp) / seconds);
  placed.latitude = on.lat;
  placed.longitude = on.lon;
  const double shown = knots(past, seconds);
  placed.positionSpeed = std::abs(shown - placed.groundSpeed) > kContradictedSpeedKts ? shown : -1.0;
}

// An aircraft's first report has none before it to tell a spike by, and it
// starts the track the aircraft is created on. The two after it tell: at more
// than taxi speed, a first point 60 m off the line they go along, the way from
// it across the track reported, is a place it never was, and the aircraft
// starts from the second.
void lf_dropAsideStart(Act& aircraft, const TrackPoint& point) {
  std::deque<TrackPoint>& track = aircraft.track;
  if (aircraft.state != ACT_NOT_IN_SIM || aircraft.phase != PHASE_NEW || track.size() != 2 || point.airborne)
    return;
  const TrackPoint& first = track[0];
  const TrackPoint& second = track[1];
  if (first.airborne || second.airborne) return;
  const double out = gf_distanceNm(at(first), at(second)), line = gf_distanceNm(at(second), at(point));
  if (line < kSmallStepNm || out * 3600.0 <= kTaxiKnots * std::max(second.timestamp - first.timestamp, 1.0))
    return;
  // Measured behind the two points, not between them, real positions lie up to some 40 m off.
  if (lf_offLineNm(out, gf_distanceNm(at(first), at(point)), line) <= kSpikeNm) return;
  // Which of the first two is out of place: the one whose way to the other runs
  // across the track both report (a track of 0 tells nothing).
  const double way = gf_bearing(at(first), at(second)) * kRadiansToDegrees;
  if (first.track == 0.0 || second.track == 0.0 || lf_trackDifference(way, first.track) < kAcrossDeg ||
      lf_trackDifference(way, second.track) < kAcrossDeg)
    return;
  const double dropped = first.timestamp;
  track.pop_front();
  auto& fixes = aircraft.recentFixes;
  if (aircraft.recentFixCount >= 2 && fixes[0].timestamp == dropped) {
    std::move(fixes.begin() + 1, fixes.begin() + aircraft.recentFixCount, fixes.begin());
    --aircraft.recentFixCount;
  }
}

bool lf_speedJump(double g0, double g) {
  return (g0 > 5.0 && g >= 10.0 * g0) || (g > 5.0 && g0 >= 10.0 * g) || (g0 <= 5.0 && g >= 80.0) ||
         (g <= 5.0 && g0 >= 80.0);
}
}  // namespace

void lf_requestAircraftInRange() {
  // A created object is known only once an answer lists it. The range may have
  // shrunk since its creation was decided (the user landed): while a creation
  // is unanswered the simulator's widest radius is asked for, so that the
  // object is taken, or removed at the exit, wherever it was created.
  const std::uint32_t radius = gPendingCreationCount.load() > 0 ? kWidestInRangeRadiusMeters : gLateralRangeMeters.load();
  std::lock_guard lock(gScMutex);
  const HRESULT result = SimConnect_RequestDataOnSimObjectType(gHSimConnect, REQ_IN_RANGE, DEF_IN_RANGE, radius,
                                                               SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
  if (FAILED(result)) {
    gf_log("SimConnect request ac within range fails");
    gf_simRequestError();
  }
}

std::size_t gf_updatesPerTick(std::size_t queued) {
  const std::size_t wanted = gIntakeBacklogMend ? std::max<std::size_t>(2, (queued + 15) / 16) : 2;
  return std::min(queued, wanted);
}

Act* gf_findAct(std::uint32_t hexid) {
  const auto found = gActIndex.find(hexid);
  if (found != gActIndex.end() && found->second < gActs.size() && gActs[found->second].hexid == hexid) {
    return &gActs[found->second];
  }
  // gActs changed by hand (or no such hexid): the scan answers and mends the index.
  for (std::size_t i = 0; i < gActs.size(); ++i) {
    if (gActs[i].hexid == hexid) {
      gf_rebuildActIndex();
      return &gActs[i];
    }
  }
  if (found != gActIndex.end()) gActIndex.erase(found);
  return nullptr;
}

void gf_appendAct(Act&& aircraft) {
  gActIndex.try_emplace(aircraft.hexid, gActs.size());
  gActs.push_back(std::move(aircraft));
}

void gf_swapEraseAct(std::size_t position) {
  if (position + 1 != gActs.size()) gActs[position] = std::move(gActs.back());
  gActs.pop_back();
  gf_rebuildActIndex();
}

void gf_rebuildActIndex() {
  gActIndex.clear();
  for (std::size_t i = 0; i < gActs.size(); ++i) gActIndex.try_emplace(gActs[i].hexid, i);
}

bool gf_actIndexExact() {
  std::unordered_map<std::uint32_t, std::size_t> scan;
  for (std::size_t i = 0; i < gActs.size(); ++i) scan.try_emplace(gActs[i].hexid, i);
  return scan == gActIndex;
}

void gf_initTraffic() {
  if (gInitialised) return;
  gActs.reserve(512);
  gStaticActs.reserve(256);
  gStands.reserve(512);
  gCreateHexids.reserve(64);
  gTakenRecords.reserve(64);
  gActIndex.reserve(512);
  gStaticParkingList.clear();
  gInitialised = true;
  lf_removeCallsignFile();
}

void lf_motionPass() {
  bool anyErased = false;
  const std::int64_t tick = gTick.load();
  std::uint64_t steady = 0;  // read once a pass, and only for a parked aircraft that reports
  for (Act& aircraft : gActs) {
    if (aircraft.state == ACT_PRESENT) {
      if (aircraft.reporting && aircraft.phase == PHASE_PARKED) {
        if (steady == 0) steady = gf_steadyNow();
        gf_lapseParkedReports(aircraft, steady);
      }
      if (!aircraft.track.empty() && gf_ticksUntil(aircraft.track.front().dueTick, tick) <= 0) {
        nextPosMain(aircraft);
        aircraft.pose.verticalSpeed = aircraft.targetVs / 60.0;
        const bool stationary = !aircraft.track.empty() && aircraft.track.front().stationary;
        aircraft.pose.trueAirspeed = stationary ? 0.0 : aircraft.targetTas;
      }
      if (aircraft.state == ACT_PRESENT) {
        if (aircraft.track.empty() || !aircraft.track.front().stationary) lf_advancePose(aircraft);
        if (aircraft.objectId != 0) {
          const SimPose& p = aircraft.pose;
          gPosSetsWrite->push_back({p.latitude, p.longitude, p.pitch, p.bank, p.heading, p.altitude,
                                    p.verticalSpeed, p.trueAirspeed, aircraft.objectId, tick});
        }
      }
    } else if (aircraft.state == ACT_NOT_IN_SIM) {
      lf_checkCreation(aircraft);
    }
    anyErased = anyErased || aircraft.eraseMark;
  }
  if (anyErased) {
    // Whatever marked it (a lost creation, MAX_LIVE, no livery, a record back in
    // state 0 with its stand), a stand it held must not stay occupied.
    std::erase_if(gActs, [](const Act& aircraft) {
      if (aircraft.eraseMark != 0) gf_freeStandOf(aircraft);
      return aircraft.eraseMark != 0;
    });
    gf_rebuildActIndex();
  }
  std::erase_if(gStaticActs, [](const StaticAct& aircraft) { return aircraft.eraseMark != 0; });
  gf_handOverPosSets();
}

void gf_clearPositionSets() {
  std::lock_guard lock(gScMutex);
  gPosSetsWrite->clear();
  gPosSetsSend->clear();
}

namespace {
void lf_guardedTick(std::int64_t tick) {
  std::lock_guard guard(gEngineMutex);
  gf_processCreatedObjects();
  lf_motionPass();
  if (tick % 10 == 0) {
    if (!gRemovalQueue.empty()) {
      const std::uint32_t objectId = gRemovalQueue.front();
      gRemovalQueue.pop_front();
      lf_queueRemoval(objectId);
    }
    if (tick % 50 == 0) {
      if (!gCreationQueuePrio.empty()) {
        lf_queueCreation(gCreationQueuePrio.front());
        gCreationQueuePrio.pop_front();
      } else {
        if (!gCreationQueue.empty()) {
          lf_queueCreation(gCreationQueue.front());
          gCreationQueue.pop_front();
        }
        if (!gStaticParkingList.empty()) lf_createStaticParked();
      }
    }
  }
  lf_takeUpdates();
  lf_queueDecidedCreation();
  if (tick % 20 == 0 && !gSimRequestsPaused.load()) lf_requestAircraftInRange();
}
}  // namespace

void gf_trafficTick() {
  const std::int64_t tick = gTick.load();
  lf_guardedTick(tick);
  if (tick % 100 == 0) {
    // Outside the guard: while RealTraffic is away this waits in accept, and
    // the shutdown must still find the engine free. A failed send takes the
    // guard itself to remove the live aircraft.
    gf_sendQs121();
    std::lock_guard guard(gEngineMutex);
    gUserAc = gf_requestUserAcPosition();
    gf_updateUserStand(gUserAc);
  }
  ++gTick;
}

void gf_setTrafficParkAirport(const EngineParkAirport& airport) {
  std::lock_guard guard(gEngineMutex);
  gEngineParkAirport = airport;
  gTrafficReader.setParkAirport(
      airport.code.empty() ? std::nullopt : std::optional(LatLon{airport.latitude, airport.longitude}));
  gTrafficReader.setParkElevation(std::nullopt);
}

void gf_resetTraffic() {
  std::lock_guard guard(gEngineMutex);
  gf_setTrafficParkAirport({});
  gStaticParkingList.clear();
  gCreateHexids.clear();
  gRemovalQueue.clear();
  gCreationQueuePrio.clear();
  gCreationQueue.clear();
  gStaticActs.clear();
  gLightsQueue.clear();
  {
    std::lock_guard lock(gUpdateMutex);
    gUpdateQueue.clear();
  }
  {
    std::lock_guard events(gObjectAddedMutex);
    gObjectAddedQueue.clear();
  }
  lf_removeCallsignFile();
  gStands.clear();
  gf_clearStandLearning();
  // A new run starts without the old one's memories of ghosts, missing liveries and coupled callsigns.
  gf_clearGhostCallsigns();
  gf_clearNoMatchList();
  gTwinCheckHexids.clear();
  // Every object was handed to the simulator's removal by the shutdown; records
  // left here would swallow the updates of their hexids in the next run.
  gActs.clear();
  gf_rebuildActIndex();
}

namespace {
// A creation of this hexid not yet handed to the simulator is dropped.
bool lf_withdrawCreation(std::uint32_t hexid) {
  if (std::erase(gCreateHexids, hexid) > 0) return true;
  auto& queue = hexid > 10000 ? gCreationQueuePrio : gCreationQueue;
  return std::erase_if(queue, [hexid](const CreateReq& entry) { return entry.hexid == hexid; }) > 0;
}
}  // namespace

void gf_freeStandOf(const PlacedAct& aircraft) {
  if (aircraft.hexid <= 10000) return;  // static aircraft take stands, they do not occupy them live
  if (Stand* stand = gf_standById(aircraft.standId)) stand->liveOccupied = false;
}

void gf_removeAct(PlacedAct& aircraft) {
  std::lock_guard guard(gEngineMutex);
  if (aircraft.state == ACT_NOT_IN_SIM) {
    gf_freeStandOf(aircraft);
    aircraft.eraseMark = 1;
    return;
  }
  if (aircraft.state == ACT_CREATION_REQUESTED) {
    // Its object is not known yet: a queued creation is dropped, else the
    // object leaves as soon as it has settled.
    gf_freeStandOf(aircraft);
    if (lf_withdrawCreation(aircraft.hexid)) {
      aircraft.eraseMark = 1;
    } else {
      aircraft.removeWhenCreated = 1;
    }
    return;
  }
  gf_freeStandOf(aircraft);
  aircraft.state = ACT_REMOVAL_REQUESTED;
  if (aircraft.objectId != 0 && gSelectedObjectId.load() == aircraft.objectId) gf_clearObjectSelection();
  if (aircraft.objectId == 0) {
    gf_log(sk::format("removing act {} with objectId=0 ?", gf_aircraftDescription(aircraft)));
    return;
  }
  gRemovalQueue.push_back(aircraft.objectId);
}

bool gf_withdrawQueuedCreation(const std::string& callsign) {
  std::lock_guard guard(gEngineMutex);
  bool found = false;
  for (auto entry = gCreationQueuePrio.begin(); entry != gCreationQueuePrio.end();) {
    if (entry->tailNumber != callsign) {
      ++entry;
      continue;
    }
    // Marked, not erased: callers walk gActs; the motion pass compacts.
    if (Act* aircraft = gf_findAct(entry->hexid)) {
      gf_freeStandOf(*aircraft);
      aircraft->eraseMark = 1;
    }
    entry = gCreationQueuePrio.erase(entry);
    found = true;
  }
  return found;
}

void lf_applyUpdate(TrafficRecord& record) {
  // Only the first Act of a hexid can answer for it: the others are never offered it.
  if (Act* aircraft = gf_findAct(record.hexid)) {
    lf_updateAct(record, *aircraft);
    return;
  }
  if (!record.key.callsign.empty()) {
    for (const Act& aircraft : gActs) {
      if (aircraft.key.callsign == record.key.callsign && aircraft.key.type == record.key.type) return;
    }
  }
  lf_checkTypeAndCreate(record);
}

namespace {
void lf_takeReport(TrafficRecord& record, Act& aircraft) {
  const TrackPoint& point = record.point;
  if (!aircraft.track.empty()) {
    const double dt = record.timestamp - aircraft.lastUpdate;
    const double g = point.groundSpeed;
    lf_dropAsideStart(aircraft, point);
    lf_dropSpike(aircraft, point, record.timestamp);
    const TrackPoint& last = aircraft.track.back();
    const Act::ReportFix& base = lf_speedBase(aircraft, record.timestamp);
    lf_checkReportedSpeed(record, base);
    // A speed jump is judged on the speeds believed: a stale speed would drop
    // every report of an aircraft that stopped, and freeze it there. An aircraft
    // held on the ground whose reports come back airborne, at the speed their
    // positions show, has taken off: it is no jump. Nor is a change of speed an
    // aircraft reaches in the time between the reports: after a pause in them,
    // one that rolled on to take off would stand for good.
    double shown = 0.0;
    const bool backInTheAir = aircraft.onGround && last.stationary && point.airborne &&
                              !lf_speedContradicted(point, base, record.timestamp, shown);
    const double g0 = gf_believedSpeed(last), g1 = gf_believedSpeed(point);
    if (!backInTheAir && lf_speedJump(g0, g1) && std::abs(g1 - g0) > kMostAccelerationKts * dt) return;
    if (aircraft.extrapolationsLeft < 1) {
      const double turn = lf_trackDifference(point.track, last.track);
      if (point.airborne && g > 120.0 && turn <= 1.0 && dt <= 0.2429805615550756 / (g / 3600.0)) return;
      // Too small a step on the ground by the speed believed: a roll reported at
      // 0 kt whose positions advance is no standing aircraft's jitter. Nor is a
      // report 20 m or more from the last one taken, whatever its speed says: a
      // roll from a standstill would otherwise be seen only once its positions
      // outran its stale speed, seconds later.
      const double believed = gf_believedSpeed(point);
      const Act::ReportFix& lastFix = aircraft.recentFixes[aircraft.recentFixCount - 1];
      const LatLon at{point.latitude, point.longitude};
      const double moved = gf_distanceNm(lastFix.at, at);
      if (!point.airborne && believed <= 30.0 && turn <= 2.0 && moved < kSmallStepNm) {
        const double limit = believed == 0.0 ? 15.0 : std::min(kSmallStepNm / (believed / 3600.0), 15.0);
        if (dt <= limit) return;
      }
    }
  }
  if (aircraft.state == ACT_NOT_IN_SIM && !lf_altitudePasses(point.altitude)) return;
  if (!gf_updateIdentity(aircraft, record)) return;
  aircraft.lastUpdate = record.timestamp;
  lf_noteFix(aircraft, {point.latitude, point.longitude}, record.timestamp);
  gf_takeTrackPoint(aircraft, record.point);
}

bool lf_beyondTaxi(const LatLon& from, double fromTime, const TrafficRecord& record) {
  const double nm = gf_distanceNm(from, {record.point.latitude, record.point.longitude});
  return nm * 3600.0 > kTaxiKnots * std::max(record.timestamp - fromTime, 0.0);
}

// Real surface positions of a standing aircraft jump tens of metres aside for a
// report or a few, and a track may end in one. A report farther from the one
// before it than it could have taxied in the time between, by the reports' own
// times (a replay at ten times speed sends them a tenth of a second apart), is
// held: the next one confirms the new place when it could have been reached
// from there, else the held one is dropped. True: the record is done with.
bool lf_holdsAside(Act& aircraft, TrafficRecord& record) {
  if (aircraft.heldAside) {
    TrafficRecord held = *std::exchange(aircraft.heldAside, std::nullopt);
    if (lf_beyondTaxi({held.point.latitude, held.point.longitude}, held.timestamp, record)) return false;
    lf_takeReport(held, aircraft);
    return record.timestamp - aircraft.lastUpdate <= 1.0;
  }
  // Standing: as its track says, or as its reports show, whose speed may be stale.
  const TrackPoint& last = aircraft.track.back();
  const Act::ReportFix& taken = aircraft.recentFixes[aircraft.recentFixCount - 1];
  const bool stillSince = aircraft.lastSeen.timestamp > taken.timestamp &&
                          gf_distanceNm(aircraft.lastSeen.at, taken.at) <= kStillNm;
  const bool standing = !last.airborne && (last.stationary || stillSince);
  if (record.point.airborne || !standing ||
      !lf_beyondTaxi(aircraft.lastSeen.at, aircraft.lastSeen.timestamp, record))
    return false;
  aircraft.heldAside = record;
  return true;
}

}  // namespace

bool lf_updateAct(TrafficRecord& record, Act& aircraft) {
  if (record.hexid != aircraft.hexid) return false;
  if (aircraft.state == ACT_LIVERY_CHANGE || aircraft.state == ACT_REMOVAL_REQUESTED) return true;
  if (!aircraft.track.empty()) {
    const double dt = record.timestamp - aircraft.lastUpdate;
    const bool done = dt == 0.0 || dt <= 1.0 || lf_holdsAside(aircraft, record);
    aircraft.lastSeen = {{record.point.latitude, record.point.longitude}, record.timestamp};
    if (done) return true;
  }
  lf_takeReport(record, aircraft);
  return true;
}

void lf_checkTypeAndCreate(TrafficRecord& record) {
  if (record.key.type.empty()) record.key.type = gf_dbaseModelOf(record.key.registration);
  if (gf_isValidModel(record.key.type)) {
    lf_newLiveAct(record);
    return;
  }
  std::string type = gf_dbaseModelOf(record.key.registration);
  if (type.empty()) return;
  record.key.type = std::move(type);
  lf_newLiveAct(record);
}

void lf_newLiveAct(TrafficRecord& record) {
  const auto category = static_cast<AircraftCategory>(gf_categoryOf(record.key.type));
  const bool wanted = (category >= 1 && category <= 3) || (category == 0 && LIGHT_AIRCRAFT.value) ||
                      (category == 5 && HELICOPTERS.value) || (category == 4 && HIGH_PERF_AIRCRAFT.value);
  if (!wanted) return;
  if (!lf_altitudePasses(record.point.altitude)) return;
  record.key.firstCallsign = record.key.callsign;
  record.key.otherCallsign.clear();
  record.key.coupledSearched = false;
  ActBase base(std::move(record.key));
  base.hexid = record.hexid;
  const CategoryPerformance& performance = gf_categoryPerformance(category);
  base.baseTurnRate = performance.turnRate;
  base.turnRate = performance.turnRate;
  base.maxClimbStep = performance.maxClimbStep;
  base.standSpeed = performance.standSpeed;
  gf_appendAct(Act(std::move(base), record.point, record.timestamp));
}
