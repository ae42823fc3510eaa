#pragma once
// What the traffic tests see of the stand-ins for the shell, airports and
// livery services (defined in service_doubles.h).
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "shell/exit.h"

namespace doubles {

// The calls of gf_readerStopped, in order.
std::vector<std::pair<bool, std::string>> readerStoppedCalls();
void clearReaderStoppedCalls();

// gf_standNameAt answers this name and records the threads that asked.
void setStandName(const std::string& name);
std::vector<std::thread::id> standNameThreads();

// The engine tick's gf_sendQs121 calls so far.
int qs121Sends();
// lf_createStaticParked calls so far; nextPosMain calls (hexid, tick), main-loop thread.
int staticCreations();
std::vector<std::pair<std::uint32_t, std::int32_t>>& nextPosCalls();
// The motion hooks run the real track following (off: they only record).
void setRealMotion(bool on);
// The static-creation hook runs the real creation from the plans (off: it only counts).
void setRealStaticCreation(bool on);

// The calls of gf_exit, in order.
std::vector<std::pair<ExitReason, int>> exitCalls();
void clearExitCalls();

// Puts a type into the real data base tables with this category and half span
// (an unknown type stays category 0, span 0.0). Call before traffic runs.
void setModel(const std::string& type, int category, double halfSpan);

}  // namespace doubles
