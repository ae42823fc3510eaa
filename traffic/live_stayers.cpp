#include "traffic/live_stayers.h"

std::vector<LiveStayer> gLiveStayers;
