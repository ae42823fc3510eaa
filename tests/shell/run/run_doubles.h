#pragma once
// What the run tests see of the recording doubles (run_doubles.cpp) that stand
// in for the engine, the SimConnect side, airports, liveries and the link.
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "traffic/user_aircraft.h"

namespace run_doubles {

// Every call, in order, as "name" or "name(argument)".
std::vector<std::string> calls();
void clear();
void record(const std::string& call);
// The calls made on that thread, in order.
std::vector<std::string> callsOn(std::thread::id thread);
// Waits (at most 10 s) until a call satisfies the predicate; false when none did.
bool waitForCall(const std::function<bool(const std::vector<std::string>&)>& predicate);
bool waitForCall(const std::string& call);

// Behaviour of the doubles, back to these defaults by clear().
struct Behaviour {
  UserAc position{52.3, 4.76};       // what gf_requestUserAcPosition returns
  bool hasParkStands = false;        // gf_hasParkStands
  bool parkLoadPending = false;      // gf_parkAirportLoadPending, until the next check loads it
  bool removalsSent = true;          // gf_waitExitRemovalsSent
  bool connectBlocks = false;        // lf_connectRealTraffic blocks until gf_wakeRtLink
  bool companionMissing = false;     // lf_companionFolderMissing
  std::function<void(const std::string&)> onCall;  // runs after each record, on the caller's thread
  std::function<void()> trafficTick;               // the engine tick's work
};
Behaviour& behaviour();

}  // namespace run_doubles
