#pragma once
// The livery scan that SCAN_LIVERIES starts: the folders to search (the user's
// lfolder values, or the AI traffic packages of the Community folder), one
// worker per aircraft.cfg on a pool bounded by gMaxWorkers, results taken in
// submission order, LiveriesScanned.xml and the reports. Start-up thread.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "liveries/livery_scan.h"

struct LiveryScanSeams {
  // The selected simulator's Community folder; empty when unknown.
  std::function<std::filesystem::path()> communityFolder;
  // Runs in the worker before the file is read: a test slows down or fails a file.
  std::function<void(const std::filesystem::path& file)> beforeFile;
};
void gf_setLiveryScanSeams(LiveryScanSeams seams);

enum class ScanOutcome { Found, NothingFound, Aborted };


void lf_findAigFolders(const std::filesystem::path& packages, std::vector<std::string>& folders);
void lf_findFsltlFolders(const std::filesystem::path& packages, std::vector<std::string>& folders);
void lf_findJfFolders(const std::filesystem::path& packages, std::vector<std::string>& folders);
void lf_findUserAiTrafficFolders(const std::filesystem::path& packages, std::vector<std::string>& folders);

ScanOutcome lf_scanLiveryFolders(const std::vector<std::string>& folders);
