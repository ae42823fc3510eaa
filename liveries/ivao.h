#pragma once
// The scan worker of the IVAO multiplayer packages (IVAO_MTL, ivao_x-csl): the
// aircraft folder names the model, and the title names the airline right after
// the model.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/scan_lists.h"

ScannedCfgFile lf_searchLiveriesinIvaoFile(int priority, const std::filesystem::path& path);

// The model as the aircraft folder names it, when the path reads (letter case
// aside, either separator) "<any>/IVAO_MTL/SimObjects/Airplanes/IVAO_<word
// characters>/aircraft.cfg", or the same under ivao_x-csl. Walks the path from
// its end by hand: a regex engine recurses per character of a long path.
std::optional<std::string> lf_ivaoPathModel(std::string_view path);
// The validated model of the file's aircraft folder; "" when none.
std::string lf_ivaoModelFromPath(const std::string& path, std::vector<std::string>& fixes);

// What a title must begin with to name its airline: the model, and a "W" for the
// five folders whose titles put one after it. Built once per file.
struct IvaoTitlePattern {
  std::string prefix;
  // The airline of a title that reads prefix, blanks, three word characters,
  // then anything without CR or LF, the prefix in any letter case.
  std::optional<std::string> airlineOf(const std::string& title) const;
};
IvaoTitlePattern lf_ivaoTitlePattern(const std::string& model, const std::string& path);

std::optional<LiveryCandidate> lf_procesIvaoFltSimSection(int priority, std::vector<std::string>& section,
                                                          const IvaoTitlePattern& pattern,
                                                          const std::string& model, const std::string& path,
                                                          const std::string& folder);

// An IVAO livery, its title yet to be claimed. IVAO liveries are never cargo.
LiveryCandidate lf_makeIvaoLivery(int priority, const std::string& airline, const std::string& model,
                                  const std::string& title, const std::string& registration,
                                  const std::string& folder, const std::string& header);
