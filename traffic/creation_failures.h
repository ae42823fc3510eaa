#pragma once
// The two ways a live aircraft misses its livery: the simulator refused the
// chosen one, or none was found at all. Main-loop thread (and the shutdown
// once the main loop has ended).
#include <cstddef>
#include <set>
#include <string>

#include "traffic/records.h"

// Refusals per process that stop the run with Error 81.
inline constexpr std::size_t kMaxCreationRefusals = 20;

// Key texts of aircraft for which no livery was found, in order; arbitration
// fills it.
extern std::set<std::string> gNoLiveryKeys;

// The simulator refused the aircraft's livery: the user is told, the title is
// never chosen again and its type and operator are listed at exit. The 20th
// refusal of the process (a title refused twice counts twice) logs Error 81
// and throws qlx::UserErrorException 81.
void gf_noteCreationFailure(const ActBase& aircraft);
// The program never calls it: the count lives as long as the process, restarts
// included. Tests that share one process start from zero with it.
void gf_forgetCreationRefusals();

// Writes the no-livery list to the log while LOG is on.
void gf_logNoMatch();
void gf_clearNoMatchList();
