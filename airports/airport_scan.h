#pragma once
// The airport scan: the add-on airports' BGL files into parking files.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "airports/apf_file.h"

// Run by the start-up thread when SCAN_AIRPORTS is on.
void gf_scanAirports();

// Set when an airport was linked to an archived file or a file was generated.
extern std::atomic<bool> gAirportsFound;
// Entries of this scan in the TBLO folder: airports the scan cannot read and
// thirdparty files copied for learning.
extern std::atomic<std::int32_t> gTbloEntryCount;

// True when the airports-found flag is set at its end. False as well when an
// exit cut the walk short; gf_scanAirports then leaves SCAN_AIRPORTS on.
bool lf_runAirportsScan(const std::vector<std::filesystem::path>& folders);
// Whether the last lf_runAirportsScan was cut short by an exit.
bool gf_airportScanCutShort();
// Called on the walk after each worker it started, with their number; tests
// raise an exit there.
void gf_setScanWorkerHook(std::function<void(std::size_t started)> hook);
void lf_checkScanFolders(const std::filesystem::path& folder);
void lf_scanFolder(const std::filesystem::path& folder);
bool lf_isBglFile(const std::filesystem::path& extension);
bool lf_skipPackage(const std::string& path);

// Under the publisher mutex: finds the publisher and links the airport to the
// archived file of a known one (archivedCount: its stand count).
bool lf_publisherAndLink(ApfAirport& airport, std::int32_t& archivedCount, const std::string& bglPath);
std::pair<std::string, bool> lf_simaddonExists(const std::string& icao);
bool lf_linkSimaddon(const ApfAirport& airport);
std::pair<std::string, bool> lf_thirdpartyExists(const std::string& publisher, const std::string& icao,
                                                  std::int32_t& archivedCount);
bool lf_linkThirdparty(const std::string& publisher, const ApfAirport& airport, std::int32_t& archivedCount);

std::string lf_readPublisher(const std::filesystem::path& file);
std::string lf_metaSummary(const std::filesystem::path& file);
bool lf_suitableForOfflineLearning(const std::string& icao);

// The worker of one BGL file.
void lf_toParkingPositions(const std::filesystem::path& path);
// Writes the parking file of a scanned airport with stands; a hand-made file
// of the user's stays.
void lf_generateApf(ApfAirport& airport);
// A 2024-compiled airport record: its ICAO from the file's name, its package's
// title or its path, then a link or a TBLO entry.
void lf_notRecognisedAirport(const std::string& bglPath);
// An airport parking file whose header value "handmade" reads true.
bool gf_isHandmadeApf(const std::filesystem::path& file);

// The scan's per-run state (publisher flag, helipad list and counter, TBLO
// count) back to its start; run by a start-up after a switch of the simulator.
void gf_resetAirportScan();
