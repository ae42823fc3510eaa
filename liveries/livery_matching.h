#pragma once
// The livery matching as the start-up and the shutdown call it.
#include "liveries/matching_ladder.h"   // gf_initLiveryMatching
#include "liveries/matching_summary.h"  // gf_logLiveryMatchingSummary
