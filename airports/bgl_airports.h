#pragma once
// The airport records of a BGL scenery file: helipads and parking spots become
// the stands of one ApfAirport per airport record. Only the airport sections'
// data are read, by positioned reads, each record checked against its region.
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "airports/apf_file.h"

// What the decoding of one file hands to the scan, airport by airport. The
// defaults link nothing and write nothing.
class BglAirportActions {
 public:
  virtual ~BglAirportActions() = default;
  // One scan-log line, in the order the decoding writes them.
  virtual void scanLog(const std::string& line);
  // Fills the publisher strings; true when the airport was linked to an
  // archived file, whose stand count goes to archivedCount.
  virtual bool publisherAndLink(ApfAirport& airport, std::int32_t& archivedCount);
  virtual void generateApf(ApfAirport& airport);
  // A 2024-compiled airport record, which is not read.
  virtual void notRecognisedAirport();
};

struct BglFileResult {
  std::vector<ApfAirport> airports;  // every airport record decoded, in file order
  std::vector<std::string> log;      // the lines also handed to scanLog
  bool notRecognised = false;        // the walk ended at a 2024-compiled record
};

// Decodes one file. In 2024 mode (msfs2020 false) a 0x0113 record ends the
// file and a linked airport is not decoded. Never reads outside the file.
BglFileResult gf_decodeBglFile(const std::filesystem::path& path, bool msfs2020, BglAirportActions& actions);
// The same over a file's bytes in memory; path names it in the log lines.
BglFileResult gf_decodeBglBytes(std::string_view bytes, const std::string& path, bool msfs2020,
                                BglAirportActions& actions);

// The cheap test of the scan's walk: the header's section table fits the file
// and lists an airport section.
bool lf_bglHasAirports(const std::filesystem::path& path);
bool gf_bglBytesHaveAirports(std::string_view bytes);

// The two text decoders of the airport records.
std::string lf_parkingName(std::uint32_t code);
std::string lf_decodeIdentifierOrRegionCode(std::uint32_t code, bool& valid);

// Gives the stands that share an identifier distinct names, the largest
// keeping the plain one, the others lettered a to f by decreasing radius.
void lf_resolveDuplicateStands(ApfAirport& airport);
