#pragma once
// The learned file of the park airport: what was learned at its stands and the
// parking settings last used there, read after the archived stands.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "airports/stand.h"

// What the park airport's loaded file was (one instance, main-loop thread).
struct ApfInfo {
  std::string airportName;  // header "airport_name"
  std::string publisher;    // header "publisher"
  std::int32_t altitude = 0;
};

// Where the park airport came from and where its learned file lies: the save
// writes to exactly the path the load read.
struct LearnedFileState {
  std::string source;                 // the source location the load was given
  std::filesystem::path learnedPath;  // empty when the source maps to no safe path
  // The learned file exists but was not read through: the save keeps it as a
  // backup before replacing it.
  bool notFullyRead = false;
  // Learned parkpos whose id names no stand, written back unchanged at every save.
  pugi::xml_document keptParkpos;
};
extern LearnedFileState gLearnedFile;

// Reads the learned file at path after the archived stands: applies its
// settings in memory, then replaces the stands (hand-made file) or merges its
// learned uses and manual stands. Every failure is logged.
void lf_readLearned(const std::filesystem::path& path, const ApfInfo& info, std::vector<Stand>& stands,
                    bool& handmade);
bool lf_readParkposAttributes(const std::string& id, const pugi::xml_node& parkpos, Stand& stand);
bool lf_sameOptionUse(const StandOption& candidate, const StandOption& option);
void lf_maxFitText(std::int32_t value);
