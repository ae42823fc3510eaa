#pragma once
// The live aircraft parked at the park airport, as the last collection found
// them; static parking reads them when it plans. Main-loop thread only.
#include <cstdint>
#include <string>
#include <vector>

struct LiveStayer {
  std::string callsign;
  std::uint32_t standId = 0;
  std::int32_t minutesParked = 0;
};

extern std::vector<LiveStayer> gLiveStayers;

// Appends the live aircraft parked at stands (those parked too long removed
// unless INITIAL_LOAD_ONLY is on), sorted by minutes parked.
void gf_collectLiveStayers();
// Removes the count live parked aircraft parked longest.
void gf_removeLongestParked(std::int64_t count);
