#pragma once
// A fixture whose aircraft are really in the stand-in: created through the
// Frame flush, matched by the in-range answer and set present from their events.
#include <filesystem>
#include <map>

#include "core/parameters.h"
#include "sim_link_support.h"
#include "traffic/creation_failures.h"
#include "traffic/engine.h"
#include "traffic/update_queue.h"

namespace simlink {

inline constexpr double kUserLat = 52.3;
inline constexpr double kUserLon = 4.76;

class EnginePlacementTest : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    resetEngine();
    m_folder = std::filesystem::current_path();
    std::filesystem::current_path(m_scratch.path());  // Callsign2ObjectId.txt lands here
  }
  void TearDown() override {
    std::filesystem::current_path(m_folder);
    resetEngine();
    SimLinkTest::TearDown();
  }
  static void resetEngine() {
    gf_resetTraffic();
    gf_forgetCreationRefusals();
    gSimRequestsPaused = false;
    gTick = 1;
  }

  // The link opened in lockstep, with every aircraft in range of the user.
  void openStandIn() {
    startStandIn();
    openInLockstep();
    gUserObjectId = 1;
    gLateralRangeMeters = 200 * 1852;
    gUserAc = UserAc{};
    gUserAc.latitude = kUserLat;
    gUserAc.longitude = kUserLon;
  }

  static Act liveAct(std::uint32_t hexid, const std::string& callsign, double northNm) {
    ModelKey key;
    key.callsign = callsign;
    key.operatorCode = callsign.substr(0, 3);
    key.type = "A320";
    Act a(ActBase(std::move(key)), TrackPoint{}, 0.0);
    a.hexid = hexid;
    a.pose.latitude = kUserLat + northNm / 60.0;
    a.pose.longitude = kUserLon;
    return a;
  }

  static CreateReq creation(const PlacedAct& a, double lat, double lon) {
    CreateReq r;
    r.initPos.Latitude = lat;
    r.initPos.Longitude = lon;
    r.tailNumber = a.key.callsign;
    r.liveryTitle = "Known Livery";
    r.hexid = a.hexid;
    return r;
  }

  // Creates every aircraft of gActs and gStaticActs in state 0 and sets it
  // present with the object id its matched event carries.
  void placeAll() {
    for (const Act& a : gActs)
      if (a.state == ACT_NOT_IN_SIM) lf_queueCreation(creation(a, a.pose.latitude, a.pose.longitude));
    for (const StaticAct& a : gStaticActs)
      if (a.state == ACT_NOT_IN_SIM) lf_queueCreation(creation(a, a.standLatitude, a.standLongitude));
    frame();  // sent
    frame();  // created; ObjectAdded
    lf_requestAircraftInRange();
    settle();
    std::map<std::uint32_t, std::uint32_t> objectOf;  // hexid -> object id
    for (const ObjectEvent& e : takeEvents())
      if (e.kind == OBJ_CREATED_LIVE || e.kind == OBJ_CREATED_STATIC) objectOf[e.value] = e.objectId;
    const auto present = [&](PlacedAct& a) {
      if (a.state != ACT_NOT_IN_SIM) return;
      ASSERT_TRUE(objectOf.contains(a.hexid)) << a.key.callsign;
      a.objectId = objectOf[a.hexid];
      a.state = ACT_PRESENT;
    };
    for (Act& a : gActs) present(a);
    for (StaticAct& a : gStaticActs) present(a);
  }

  std::vector<DWORD> aiObjects() const {
    std::vector<DWORD> ids;
    for (const auto& o : m_standIn->objects())
      if (!o.user) ids.push_back(o.id);
    return ids;
  }

  // The trace lines of one event. Such lines are flushed whole; the position
  // lines around them may still be half written.
  std::vector<nlohmann::json> events(const std::string& event) const {
    std::vector<nlohmann::json> lines;
    const std::string mark = "\"event\":\"" + event + "\"";
    for (const auto& line : fileLines(m_scratch / "trace.jsonl"))
      if (line.find(mark) != std::string::npos) lines.push_back(nlohmann::json::parse(line));
    return lines;
  }

  // Object id -> how often the stand-in was told to remove it.
  std::map<DWORD, int> removals() const {
    std::map<DWORD, int> counts;
    for (const auto& line : events("remove")) ++counts[line["id"].get<DWORD>()];
    return counts;
  }

  // Waits until the stand-in has handled every call made so far.
  void waitHandled() {
    DWORD last = 0;
    {
      std::lock_guard lock(gScMutex);
      if (gHSimConnect) SimConnect_GetLastSentPacketID(gHSimConnect, &last);
    }
    ASSERT_TRUE(m_standIn->waitProcessed(last, 30s));
  }

  std::filesystem::path m_folder;
};

}  // namespace simlink
