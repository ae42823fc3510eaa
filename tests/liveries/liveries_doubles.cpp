// Doubles of what live traffic and the shell define for the livery code.
#include "liveries_doubles.h"

#include "liveries/uncreatable_titles.h"
#include "shell/run_state.h"

// The exit flags the scan reads; the shell defines them in the program.
std::atomic<bool> gExitStarted{false};
std::atomic<bool> gStopRequested{false};

namespace {
std::vector<std::string> gFailureLines;
}

std::vector<std::string> gf_creationFailureList() { return gFailureLines; }

namespace doubles {
void setCreationFailures(std::vector<std::string> lines) { gFailureLines = std::move(lines); }
}  // namespace doubles
