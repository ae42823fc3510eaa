#pragma once
// Definitions of the services the traffic library calls in the shell, the
// airports and the livery code. Include in exactly one file of each program.
//
// Plain definitions: should a linked library ever define one of these too,
// the link fails loudly instead of a test quietly using the real service.
#include <atomic>
#include <cstdint>
#include <thread>

#include "airports/apf_loading.h"
#include "liveries/dbase.h"
#include "shell/auto_range.h"
#include "shell/exit.h"
#include "shell/rt_link.h"
#include "shell/startup.h"
#include "traffic/engine_hooks.h"
#include "traffic/stand_learning.h"
#include "traffic/static_parked.h"
#include "traffic/track_following.h"
#include "traffic/update_queue.h"
#include "doubles.h"

std::atomic<bool> gRtClientConnected{false};
bool gRtLocal = false;
// gAutoRangeAtTen and gParkAirportLoaded are plain state that the shell and
// the airport library define.

// The engine's later services, recorded: static creation, track following.
std::atomic<int> gStaticCreations{0};
std::vector<std::pair<std::uint32_t, std::int32_t>> gNextPosCalls;  // hexid, tick
bool gRealStaticCreation = false;
void lf_createStaticParked() {
  ++gStaticCreations;
  if (gRealStaticCreation) lf_createStaticFromPlan();
}
// With real motion on, the hooks run the track following instead.
bool gRealMotion = false;
void nextPosMain(Act& aircraft) {
  if (gRealMotion) return lf_followTrack(aircraft);
  gNextPosCalls.emplace_back(aircraft.hexid, gTick.load());
}
void lf_advancePose(Act& aircraft) {
  if (gRealMotion) lf_stepPose(aircraft);
}

// The engine tick's user-state line to RealTraffic, counted.
std::atomic<int> gQs121Sends{0};
void gf_sendQs121() { ++gQs121Sends; }

namespace {
std::mutex gDoublesMutex;
std::vector<std::pair<bool, std::string>> gReaderStoppedCalls;
std::vector<std::pair<ExitReason, int>> gExitCalls;
std::string gStandName;
std::vector<std::thread::id> gStandNameThreads;
}  // namespace

std::string gf_standNameAt(double, double) {
  std::lock_guard lock(gDoublesMutex);
  gStandNameThreads.push_back(std::this_thread::get_id());
  return gStandName;
}

void gf_exit(ExitReason reason, int delaySeconds) {
  std::lock_guard lock(gDoublesMutex);
  gExitCalls.emplace_back(reason, delaySeconds);
}

void gf_readerStopped(bool traffic, const std::string& error) {
  std::lock_guard lock(gDoublesMutex);
  gReaderStoppedCalls.emplace_back(traffic, error);
}

namespace doubles {

std::vector<std::pair<bool, std::string>> readerStoppedCalls() {
  std::lock_guard lock(gDoublesMutex);
  return gReaderStoppedCalls;
}

void clearReaderStoppedCalls() {
  std::lock_guard lock(gDoublesMutex);
  gReaderStoppedCalls.clear();
}

void setStandName(const std::string& name) {
  std::lock_guard lock(gDoublesMutex);
  gStandName = name;
  gStandNameThreads.clear();
}

std::vector<std::thread::id> standNameThreads() {
  std::lock_guard lock(gDoublesMutex);
  return gStandNameThreads;
}

int qs121Sends() { return gQs121Sends.load(); }
int staticCreations() { return gStaticCreations.load(); }
std::vector<std::pair<std::uint32_t, std::int32_t>>& nextPosCalls() { return gNextPosCalls; }
void setRealMotion(bool on) { gRealMotion = on; }
void setRealStaticCreation(bool on) { gRealStaticCreation = on; }

std::vector<std::pair<ExitReason, int>> exitCalls() {
  std::lock_guard lock(gDoublesMutex);
  return gExitCalls;
}

void clearExitCalls() {
  std::lock_guard lock(gDoublesMutex);
  gExitCalls.clear();
}

void setModel(const std::string& type, int category, double halfSpan) {
  // The real data base tables, filled as its read would; set before any traffic runs.
  CodeSet* const sets[] = {nullptr, &gBuzjetModels, &gLargeModels, &gHeavyModels, &gHighPerformanceModels,
                           &gRotorcraftModels};
  for (CodeSet* set : sets) {
    if (set) set->erase(type);
  }
  if (category > 0 && category < 6) sets[category]->insert(type);
  gAircraftModels.insert(type);
  gWingspans[type] = halfSpan;
}

}  // namespace doubles
