#pragma once
// Builds zip archives for the download server's folder (the demo's and the tests'),
// straight over libzip so that it shares nothing with the program's reading side.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace dlsrv {

struct ArchiveEntry {
  std::string name;   // as stored, "sub/EGLL.dat"; a trailing '/' makes a folder entry
  std::string bytes;  // ignored for a folder entry
};

// Writes the archive (stored, uncompressed, so that entry bytes can be found in
// the file); creates missing folders. Throws std::runtime_error on a failure.
void gf_writeArchive(const std::filesystem::path& path, const std::vector<ArchiveEntry>& entries);

// A stored archive of one entry holding `size` bytes of a repeating pattern,
// streamed so that a large one never sits in memory. Deflated, the pattern
// shrinks several hundred times: a small file that unpacks huge.
void gf_writeLargeArchive(const std::filesystem::path& path, const std::string& entryName, std::uint64_t size,
                          bool deflated = false);

// A zip64 archive of one stored entry holding `bytes` whose records claim
// `claimedSize` bytes instead: what a damaged or hostile server may send.
void gf_writeLyingZip64Archive(const std::filesystem::path& path, const std::string& entryName,
                               const std::string& bytes, std::uint64_t claimedSize);

// Fills FOLDER/downloads with what a program of that version finds at start:
// release/version.json and mylinkpack24/version.json at `version`, and a small
// companion archive of link files.
void gf_writeDemoFolder(const std::filesystem::path& folder, const std::string& version);

}  // namespace dlsrv
