#pragma once
// A thin read-only view of a zip archive over libzip, with only what the
// program's unpacking needs. An entry is valid while its archive is open.
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

struct zip;

namespace skzip {

// A read that fails, or ends before the entry's announced size.
class ZipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ZipEntry {
 public:
  static constexpr std::uint64_t kChunkSize = 524288;
  // The largest entry unpacked: far above any real data base or installer,
  // far below what a damaged or hostile archive may claim.
  static constexpr std::uint64_t kMaxSize = 256ULL << 20;

  const std::string& getName() const { return m_name; }
  std::uint64_t getSize() const { return m_size; }
  // Folder entries are named with a trailing '/'.
  bool isDirectory() const { return !m_name.empty() && m_name.back() == '/'; }

  // The whole entry. Throws ZipError when it cannot be read whole (a CRC
  // failure included), so a damaged entry never passes for a short text.
  // An entry above kMaxSize, announced or found, is refused the same way.
  std::string readAsText() const;
  // Copies the entry into the stream in chunks of kChunkSize bytes. 0 on
  // success, else a libzip error code (ZIP_ER_INCONS for a short or long read
  // and for an entry above kMaxSize, ZIP_ER_WRITE when the stream fails).
  int readContent(std::ostream& out, std::uint64_t chunkSize = kChunkSize) const;

 private:
  friend class ZipArchive;
  ZipEntry(zip* archive, std::uint64_t index, std::string name, std::uint64_t size)
      : m_archive(archive), m_index(index), m_name(std::move(name)), m_size(size) {}

  zip* m_archive;
  std::uint64_t m_index;
  std::string m_name;
  std::uint64_t m_size;
};

class ZipArchive {
 public:
  explicit ZipArchive(std::filesystem::path path) : m_path(std::move(path)) {}
  ~ZipArchive() { close(); }
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Read-only, without libzip's consistency check. False when the file is
  // missing or not an archive.
  bool open();
  bool isOpen() const { return m_archive != nullptr; }
  // Every entry in archive order; empty while closed.
  std::vector<ZipEntry> getEntries() const;
  void close();

 private:
  std::filesystem::path m_path;
  zip* m_archive = nullptr;
};

}  // namespace skzip
