#pragma once
// What the livery tests set in the doubles of live traffic's services.
#include <string>
#include <vector>

namespace doubles {
// What gf_creationFailureList returns.
void setCreationFailures(std::vector<std::string> lines);
}  // namespace doubles
