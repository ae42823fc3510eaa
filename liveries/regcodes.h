#pragma once
// Registration codes: the user's text files in input/my_regcodes and the AIG
// regcode file, read into entries that bind registrations to livery titles,
// merged with the scanned liveries' atc_ids into the registration map.
// Start-up thread only.
#include <filesystem>
#include <string>
#include <vector>

struct RegcodeEntry {
  std::string title;
  std::vector<std::string> regcodes;  // none: a title not to be used
  bool special = false;               // matched by its registrations only
};

// Lines of output/info/OfflineRegcodes.txt, gathered while the files are merged.
extern std::vector<std::string> gRegcodeResultLines;

// Every ".TXT" file directly in the folder; false when a line was in error.
bool lf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeEntry>& entries);
// One line of a regcode text file; a bad line sets error.
void lf_readRegcodeFile(const std::filesystem::path& file, std::vector<RegcodeEntry>& entries, bool& error,
                        const std::string& line);
// False only when the file does not load; a livery element whose registrations
// cannot be unscrambled is logged and skipped.
bool lf_readAigRegcodes(const std::filesystem::path& path, std::vector<RegcodeEntry>& entries);

// The atc_ids of gScannedLiveries into the registration map; clashes into InlineRegcodes.txt.
void lf_processInlineRegcodes();
// The AIG file (through the download hook), then the user's folder; OfflineRegcodes.txt.
void gf_processRegcodes();
void lf_readAigRegcodeFile(const std::filesystem::path& path);
void lf_readRegcodeFolder();
void lf_addRegcodes(const std::vector<RegcodeEntry>& entries);

// The titles not to use, into gDontUseTitles, before the scan.
void lf_readTitleFile(const std::filesystem::path& path);
void lf_readTitleFolder();
