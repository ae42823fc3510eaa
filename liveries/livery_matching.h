#pragma once
// The livery matching as the start-up and the shutdown call it.

// Prepares the matching lists at the start of each traffic phase.
void gf_initLiveryMatching();
// The matching summary into the log (final exit, and once a day).
void gf_logLiveryMatchingSummary();
