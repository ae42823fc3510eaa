#pragma once
// The scan worker of ordinary AI packages: one aircraft.cfg becomes the
// liveries of its [fltsim.N] sections, every fault of the file going to the
// scan's report lists (liveries/scan_lists.h) instead of stopping the scan.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "liveries/dbase.h"
#include "liveries/scan_lists.h"

// The worker. Its candidates become liveries through lf_claimScannedFile. An
// exception in a section is logged and passed on: the file's liveries are lost.
ScannedCfgFile lf_searchLiveriesinFile(int priority, const std::filesystem::path& path);

// Model code of the file, "" when none (the reason is then in a report list).
// A corrected code leaves its "Model fix" line in fixes.
std::string lf_modelOfFile(const std::string& path, const std::vector<std::string>& lines,
                           std::vector<std::string>& fixes);
// The fall-back through base_container lines and the package's path.
std::string lf_fixModel(const std::string& path, const std::vector<std::string>& lines,
                        std::vector<std::string>& fixes);
// A code as the data base takes it: valid, corrected (with a fix line) or "".
std::string lf_validateModel(const std::string& code, const std::string& path, std::vector<std::string>& fixes);

// The livery of one section, if any; section is the header line and the lines after it.
std::optional<LiveryCandidate> lf_procesFltSimSection(int priority, std::vector<std::string>& section,
                                                      const std::string& model, const std::string& path,
                                                      const std::string& folder);

// The first record among the registration's lookup keys that names an airline.
std::optional<DbaseRecord> lf_airlineRecordOf(const std::string& registration);
