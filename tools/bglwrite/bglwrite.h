#pragma once
// bglwrite: writes scenery files holding airport records (the small subset of
// the BGL layout the airport scan reads), with deliberate faults for tests, and
// lays out a fake simulator installation of packages holding such files.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace bglw {

struct Helipad {
  double latitude = 0.0;
  double longitude = 0.0;
  float size = 20.0F;  // metres
};

struct ParkingSpot {
  std::uint32_t nameCode = 10;  // 10 "g", 12 'A' ..
  std::uint32_t type = 8;       // 8 gate, 1..7 ramp (5 cargo)
  std::uint32_t number = 1;
  std::uint32_t airlineCodes = 0;
  float radius = 20.0F;  // metres
  float heading = 90.0F;  // degrees
  double latitude = 0.0;
  double longitude = 0.0;
};

struct Airport {
  std::string icao;
  std::int32_t altitudeMm = 0;
  std::vector<Helipad> helipads;
  std::vector<ParkingSpot> spots;
  bool compiled2024 = false;  // a 0x0113 record: id, size and zero bytes
  // Faults: the parking list's count when it differs from the spots written.
  std::optional<std::uint16_t> parkingCount;
};

// A record written as it is: its id, a byte size (header included, any
// value, not padded) and zero bytes.
struct RawRecord {
  std::uint16_t id = 0x0099;
  std::uint32_t size = 8;
};

// One record of a section's data: an airport or a raw record.
struct Record {
  std::optional<Airport> airport;
  RawRecord raw;
};

struct Section {
  std::uint32_t type = 3;  // 3 = airports; any other type is filler
  std::vector<Record> records;
  std::uint32_t fillerSize = 0;  // zero bytes after the records
  bool sizeCodeBit = false;      // fault: the subsection-entry size code gets bit 0x10000
  // Fault: the subsection's data size, when it differs from the bytes written.
  std::optional<std::uint32_t> dataSize;
};

struct File {
  std::vector<Section> sections;
  std::uint32_t headerSize = 0x38;  // fault when not 0x38
  std::uint32_t trailingBytes = 0;  // zero bytes after the last section
  // Fault: the header's section count, when it differs from the sections written.
  std::optional<std::uint32_t> sectionCount;
};

// A file of these sections, without faults.
inline File gf_file(std::vector<Section> sections) {
  File file;
  file.sections = std::move(sections);
  return file;
}

// The file's bytes; the position fields round to the nearest unit (about 4.5e-7 degrees).
std::string gf_bglBytes(const File& file);
// Writes the bytes; false when the file cannot be written.
bool gf_writeBgl(const File& file, const std::filesystem::path& path);
// The file described by a JSON layout text (see bglwrite_main.cpp); throws
// std::runtime_error with the reason on a bad layout.
File gf_parseSpec(const std::string& json);

// The packed base-38 identifier of an ICAO code, as stored at +0x28.
std::uint32_t gf_packIdentifier(const std::string& icao);

// A fake installation: root/Official/OneStore and root/Community, packages
// holding manifest.json and BGL files, one in airportEvery holding an airport.
struct InstallationOptions {
  std::uint32_t seed = 1;
  std::uint32_t packages = 6;
  std::uint32_t files = 24;           // spread over the packages
  std::uint32_t airportEvery = 3;     // every n-th file holds an airport
  std::uint32_t minStands = 4;
  std::uint32_t maxStands = 30;
  std::uint32_t minFillerBytes = 256;  // filler section per file
  std::uint32_t maxFillerBytes = 4096;
};
struct WrittenAirport {
  std::string icao;
  std::filesystem::path file;
  std::size_t stands = 0;   // stands the file should give (distinct positions, unique names)
  std::size_t helipads = 0;
};
struct Installation {
  std::vector<WrittenAirport> airports;
  std::vector<std::filesystem::path> files;
  std::uintmax_t bytes = 0;
};
Installation gf_writeInstallation(const std::filesystem::path& root, const InstallationOptions& options);

}  // namespace bglw
