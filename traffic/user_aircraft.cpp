#include "traffic/user_aircraft.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>

#include "core/clock.h"
#include "core/geometry.h"
#include "core/log.h"
#include "shell/app_state.h"
#include "shell/exit.h"
#include "shell/run_state.h"
#include "traffic/object_events.h"
#include "traffic/sim_connection.h"
#include "traffic/sim_ids.h"
#include "traffic/stand_learning.h"

std::atomic<std::uint32_t> gUserObjectId{2};
SharedText gUserTitle;
std::atomic<double> gUserHalfSpan{0.0};
std::string gUserStandName;

namespace {

constexpr std::size_t kDataOffset = kSimDataOffset;
constexpr double kTeleportNm = 10.0;

// The latest block: written on the SimConnect thread, copied whole by the
// main loop; the lock keeps a copy from mixing two answers.
std::mutex gUserAcMutex;
UserAc gUserAcLatest;
// Previous position, for the teleport test; SimConnect thread only.
double gUserLastLat = 0.0;
double gUserLastLon = 0.0;

// The data block of an answer, when the message holds `bytes` of it.
const std::byte* lf_block(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, DWORD size, std::size_t bytes) {
  if (!gf_simMessageFits(data, size, kDataOffset + bytes)) return nullptr;
  return reinterpret_cast<const std::byte*>(&data) + kDataOffset;
}

// A text field of `capacity` bytes at the block's start, cut at its first
// zero; the simulator need not end a field that fills it.
std::string lf_textField(const std::byte* block, std::size_t capacity) {
  const char* text = reinterpret_cast<const char*>(block);
  return std::string(text, ::strnlen(text, capacity));
}

// Seconds since 1970 of the block's zulu date and time; false for a date that cannot be.
bool lf_simSeconds(const UserAc& b, std::int64_t& seconds) {
  using namespace std::chrono;
  if (b.zuluYear < 1970 || b.zuluYear > 9999) return false;
  year y(static_cast<int>(b.zuluYear));
  if (b.zuluDayOfYear < 1 || b.zuluDayOfYear > (y.is_leap() ? 366 : 365)) return false;
  sys_days day = sys_days(y / January / 1) + days(b.zuluDayOfYear - 1);
  seconds = day.time_since_epoch().count() * 86400LL + b.zuluTime;
  return true;
}

void lf_onUserBlock(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, const std::byte* block) {
  UserAc b;
  std::memcpy(&b, block, sizeof b);
  if (b.altitude < 0.0) b.altitude = 0.0;
  // A block without a finite position is no position: the readers keep the
  // last one (nothing downstream would survive a NaN position).
  if (std::isfinite(b.latitude) && std::isfinite(b.longitude)) {
    {
      std::lock_guard lock(gUserAcMutex);
      gUserAcLatest = b;
    }
    if (!gf_isNullPosition(gUserLastLat, gUserLastLon) &&
        gf_distanceNm({gUserLastLat, gUserLastLon}, {b.latitude, b.longitude}) > kTeleportNm) {
      gf_logText("Teleport");
      gf_exit(ExitReason::RESTART, 45);
    }
    gUserLastLat = b.latitude;
    gUserLastLon = b.longitude;
  }
  std::int64_t seconds = 0;
  if (gRtProfessional.load() && lf_simSeconds(b, seconds)) gSimTime = seconds;
  gUserObjectId = data.dwObjectID;
}

void lf_onUserOnGround(const std::byte* block) {
  std::int64_t onGround = 0;
  std::memcpy(&onGround, block, sizeof onGround);
  UserAc latest = gf_latestUserAc();
  if (!gf_isNullPosition(latest.latitude, latest.longitude)) {
    gUserOnGround = onGround != 0;
    gUserStateKnown = true;
  }
  gSecondTick = true;
}

}  // namespace

bool gf_isNullPosition(double latitude, double longitude) {
  return latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05;
}

UserAc gf_latestUserAc() {
  std::lock_guard lock(gUserAcMutex);
  return gUserAcLatest;
}

void lf_onUserAcData(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, DWORD size) {
  switch (data.dwRequestID) {
    case REQ_STATIC_CG:
      if (const std::byte* block = lf_block(data, size, 16)) {
        double cg[2];
        std::memcpy(cg, block, sizeof cg);
        gf_pushObjectEvent({data.dwObjectID, 0, 0, OBJ_STATIC_CG, cg[0], cg[1]});
      }
      return;
    case REQ_USER_TITLE:
      // Variable length: the title runs to the end of the message at most.
      if (const std::byte* block = lf_block(data, size, 0)) lf_onUserAcTitle(lf_textField(block, size - kDataOffset));
      return;
    case REQ_USER_MODEL:
      if (const std::byte* block = lf_block(data, size, 32)) lf_deduceUserAcModel(lf_textField(block, 32));
      return;
    case REQ_USER_ON_GROUND:
      if (const std::byte* block = lf_block(data, size, 8)) lf_onUserOnGround(block);
      return;
    case REQ_USER_BLOCK:
      if (const std::byte* block = lf_block(data, size, sizeof(UserAc))) lf_onUserBlock(data, block);
      return;
    default:
      return;
  }
}

UserAc gf_requestUserAcPosition() {
  if (!gSimRequestsPaused.load()) {
    bool failed = false;
    {
      std::lock_guard lock(gScMutex);
      if (gHSimConnect)
        failed = FAILED(SimConnect_RequestDataOnSimObject(gHSimConnect, REQ_USER_BLOCK, DEF_USER_BLOCK,
                                                          SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE, 0));
    }
    if (failed) {
      gf_log("SimConnect request user ac position fails");
      gf_simRequestError();
    }
  }
  return gf_latestUserAc();
}

void gf_requestUserAcTitle() {
  bool titleFailed = false, modelFailed = false;
  {
    std::lock_guard lock(gScMutex);
    if (!gHSimConnect) return;
    titleFailed = FAILED(SimConnect_RequestDataOnSimObject(gHSimConnect, REQ_USER_TITLE, DEF_USER_TITLE,
                                                           SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE, 0));
    modelFailed = FAILED(SimConnect_RequestDataOnSimObject(gHSimConnect, REQ_USER_MODEL, DEF_USER_MODEL,
                                                           SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE, 0));
  }
  if (titleFailed) {
    gf_log("SimConnect request user ac title fails");
    gf_simRequestError();
  }
  if (modelFailed) {
    gf_log("SimConnect reques user ac model fails");
    gf_simRequestError();
  }
}

bool gf_requestUserOnGround() {
  bool failed = false;
  {
    std::lock_guard lock(gScMutex);
    if (!gHSimConnect) return false;
    failed = FAILED(SimConnect_RequestDataOnSimObject(gHSimConnect, REQ_USER_ON_GROUND, DEF_USER_ON_GROUND,
                                                      SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND, 0));
  }
  if (failed) {
    gf_log("SimConnect request ac gnd/air fails");
    gf_simRequestError();
  }
  return !failed;
}

void gf_resetUserAircraft() {
  {
    std::lock_guard lock(gUserAcMutex);
    gUserAcLatest = UserAc{};
  }
  gUserLastLat = 0.0;
  gUserLastLon = 0.0;
  gUserObjectId = 2;
  gUserStateKnown = false;
  gUserOnGround = false;
  gSimTime = 0;
  gUserTitle.clear();
  gUserStandName.clear();
  gUserHalfSpan = 0.0;
}

void gf_updateUserStand(const UserAc& user) {
  if (!std::isfinite(user.latitude) || !std::isfinite(user.longitude)) return;
  std::string name = gf_standNameAt(user.latitude, user.longitude);
  if (name != gUserStandName && (!name.empty() || !gUserStandName.empty())) {
    gAppState.userStand.set(name);
    gf_invalidateMain(kStatusRect);
  }
  gUserStandName = std::move(name);
}
