#pragma once
// The livery scan of the installed AI packages, run by the start-up thread.

// Scans when SCAN_LIVERIES is on, then reads LiveriesScanned.xml and builds the
// livery tables. Throws UserErrorException 48 (no lfolder), 53 (manual, nothing
// found) or 43 (automatic, nothing found); an aborted scan saves and processes
// nothing.
void gf_scanLiveries();
