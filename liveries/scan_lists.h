#pragma once
// What one livery scan gathers besides the liveries: the six report lists, the
// titles kept so far and the titles not to use. The workers append to the lists
// from many threads, each list under its own mutex held for the one insert; the
// reports read them on the start-up thread after every worker has ended.
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "liveries/livery_data.h"

template <typename Container>
class ScanList {
 public:
  void add(std::string line) {
    std::lock_guard lock(m_mutex);
    m_lines.push_back(std::move(line));
  }
  Container lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
  }
  void clear() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
  }

 private:
  mutable std::mutex m_mutex;
  Container m_lines;
};

extern ScanList<std::vector<std::string>> gScanFixes;            // output/errors/Fixes.txt
extern ScanList<std::list<std::string>> gInvalidCfgFiles;        // InvalidAircraftCfgFiles.txt
extern ScanList<std::list<std::string>> gIncompleteSections;     // IncompleFltsimSections.txt
extern ScanList<std::list<std::string>> gInvalidAirlineCodes;    // InvalidAirlineCodes.txt
extern ScanList<std::list<std::string>> gInvalidModelCodes;      // InvalidAircraftCodes.txt
extern ScanList<std::list<std::string>> gCfgFilesWithoutSections;  // info/AircraftCfgWithNoFltsimSection.txt

// One line per field of a scanned livery that the data base corrected
// (output/info/AirlineModelConversions.txt); start-up thread only.
extern std::vector<std::string> gDbaseCorrections;

// Titles never to turn into a livery; filled on the start-up thread before the
// scan, only asked for membership while it runs.
extern std::unordered_set<std::string> gDontUseTitles;

void lf_addFix(std::string text);
void lf_addInvalidCfgFile(std::string text);
void lf_addIncompleteSection(std::string text);
void lf_addFileWithoutSections(std::string path);
// "{:12} in {} " + header line.
void lf_addInvalidAirline(const std::string& code, const std::string& path, const std::string& header);
// "{:16} in {}".
void lf_addInvalidModel(const std::string& code, const std::string& path);

// A livery a worker accepted; it becomes a livery once its title is claimed.
// The folder and header line make the message when the title is already taken.
struct LiveryCandidate {
  LiveryData livery;
  std::string folder;
  std::string header;
  bool ivao = false;  // the IVAO files word their duplicate message differently
};

// The result of one aircraft.cfg: accepted sections in section order and the
// file's "Model fix" lines, both handed to lf_claimScannedFile.
struct ScannedCfgFile {
  std::list<LiveryCandidate> candidates;
  std::vector<std::string> fixes;
};

// Takes a title for this scan; false when an earlier claim holds it.
bool lf_claimTitle(const std::string& title);
// Appends the file's fixes to the fixes list and claims its titles in section
// order; a title already taken goes to the incomplete sections. The scan driver
// calls it in the order the files were submitted, so which file keeps a title
// never depends on which worker ended first.
std::list<LiveryData> lf_claimScannedFile(ScannedCfgFile& file);

// Empties the six lists, the corrections, the claimed titles and the titles not to use.
void lf_clearScanLists();
