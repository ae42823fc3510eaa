#pragma once
// Definitions of the services the traffic library calls in the shell, the
// airports and the livery code. Include in exactly one file of each program.
//
// Plain definitions: should a linked library ever define one of these too,
// the link fails loudly instead of a test quietly using the real service.
#include <atomic>
#include <cstdint>

#include "airports/apf_loading.h"
#include "liveries/dbase_lookups.h"
#include "shell/auto_range.h"
#include "shell/rt_link.h"
#include "shell/startup.h"
#include "doubles.h"

std::atomic<bool> gRtClientConnected{false};
bool gRtLocal = false;
std::atomic<bool> gAutoRangeAtTen{false};

std::atomic<std::uint8_t> gParkAirportLoaded{0};

namespace {
std::mutex gDoublesMutex;
std::vector<std::pair<bool, std::string>> gReaderStoppedCalls;
std::map<std::string, std::pair<int, double>> gModels;
}  // namespace

void gf_readerStopped(bool traffic, const std::string& error) {
  std::lock_guard lock(gDoublesMutex);
  gReaderStoppedCalls.emplace_back(traffic, error);
}

int gf_categoryOf(const std::string& model) {
  std::lock_guard lock(gDoublesMutex);
  const auto found = gModels.find(model);
  return found == gModels.end() ? 0 : found->second.first;
}

double gf_wingspanOf(const std::string& model) {
  std::lock_guard lock(gDoublesMutex);
  const auto found = gModels.find(model);
  return found == gModels.end() ? 0.0 : found->second.second;
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

void setModel(const std::string& type, int category, double halfSpan) {
  std::lock_guard lock(gDoublesMutex);
  gModels[type] = {category, halfSpan};
}

}  // namespace doubles
