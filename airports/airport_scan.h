#pragma once
// The airport scan: the add-on airports' BGL files into parking files.

// Run by the start-up thread when SCAN_AIRPORTS is on.
void gf_scanAirports();
