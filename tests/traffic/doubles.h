#pragma once
// What the traffic tests see of the stand-ins for the shell, airports and
// livery services (defined in service_doubles.h).
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace doubles {

// The calls of gf_readerStopped, in order.
std::vector<std::pair<bool, std::string>> readerStoppedCalls();
void clearReaderStoppedCalls();

// Category and half span the data base double gives a type (unknown: 0, 0.0).
void setModel(const std::string& type, int category, double halfSpan);

}  // namespace doubles
