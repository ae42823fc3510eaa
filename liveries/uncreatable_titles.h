#pragma once
// The titles the simulator refused to create, kept for the whole process: live
// traffic appends to it (traffic links liveries, not the other way round), the
// matching ladder never returns such a title, the matching summary lists them.
// The clearing of the livery tables never touches it. Main-loop thread only,
// except gf_creationFailureList (under live traffic's own guard).
#include <set>
#include <string>
#include <string_view>
#include <vector>

// Owned copies, never views: a refused title outlives the tables it came from.
extern std::set<std::string, std::less<>> gUncreatableTitles;

inline bool gf_isUncreatableTitle(std::string_view title) { return gUncreatableTitles.contains(title); }

// The refused titles sorted ascending without repeats, with the type and
// operator lines of live traffic; defined by live traffic over this record.
std::vector<std::string> gf_creationFailureList();
