#pragma once
// What surrounds one livery scan: the previous reports removed, the AIG titles
// not to use refreshed, the liveries corrected from the data base, and the
// report files with their Log.txt summary. Start-up thread, after the workers.
#include <filesystem>
#include <list>
#include <string>

#include "liveries/livery_data.h"

// Removes the previous scan's reports (not LiveriesScanned.xml: it stays until
// a new one is saved) and output/errors when that is left empty.
void lf_removePreviousScanFiles();
// The AIG file through the download hook, then the user's regcode folder, into
// the titles not to use.
void lf_refreshAigRegcodes();
// Corrects the livery from its registration's data base record, only from
// non-empty record values, one gDbaseCorrections line per changed field.
void lf_logDbaseCorrections(LiveryData& livery);
void lf_writeScanReports();

bool lf_writeListToFile(const std::list<std::string>& list, const std::filesystem::path& path);
