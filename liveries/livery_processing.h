#pragma once
// Reading LiveriesScanned.xml back and building every livery table from it,
// once per process; and the one place where those tables are cleared.
#include <atomic>

// Set once the tables stand; an in-process restart then skips the processing.
extern std::atomic<bool> gLiveriesProcessed;

// Once per process (until a clearing): reads the file and builds the tables.
// Throws the reader's UserErrorExceptions (51, 52, 533), leaving the flag unset.
void gf_processScannedLiveries();

// The window's simulator switch and rescan only ask for a clearing: the tables
// are read without locks and aircraft hold views into them.
void gf_requestLiveryClearing();
// Called first in every start-up, when no traffic and no view into the tables
// remain: serves a pending request by clearing the tables and the processed flag.
void gf_serveLiveryClearing();
