#pragma once
// The Log.txt block of how the live aircraft of this run got their liveries:
// matches per ladder step and the titles the simulator refused.

void gf_logLiveryMatchingSummary();
