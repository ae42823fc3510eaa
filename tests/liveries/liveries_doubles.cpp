// Doubles of what live traffic defines for the livery code.
#include "liveries_doubles.h"

#include "liveries/uncreatable_titles.h"

namespace {
std::vector<std::string> gFailureLines;
}

std::vector<std::string> gf_creationFailureList() { return gFailureLines; }

namespace doubles {
void setCreationFailures(std::vector<std::string> lines) { gFailureLines = std::move(lines); }
}  // namespace doubles
