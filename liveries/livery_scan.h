#pragma once
// The livery scan of the installed AI packages, run by the start-up thread.

// Scans when SCAN_LIVERIES is on, else reads LiveriesScanned.xml; builds the
// livery tables either way.
void gf_scanLiveries();
