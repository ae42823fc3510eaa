#include "tools/dlserver/archive_writer.h"

#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace dlsrv {

namespace {

struct Pattern {
  std::uint64_t size;
  std::uint64_t offset = 0;
};

// libzip source callback producing size bytes of 0..250 repeating.
zip_int64_t lf_patternSource(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto* pattern = static_cast<Pattern*>(state);
  switch (command) {
    case ZIP_SOURCE_OPEN: pattern->offset = 0; return 0;
    case ZIP_SOURCE_READ: {
      const auto n = std::min<std::uint64_t>(length, pattern->size - pattern->offset);
      auto* out = static_cast<unsigned char*>(data);
      for (std::uint64_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>((pattern->offset + i) % 251);
      pattern->offset += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE: return 0;
    case ZIP_SOURCE_STAT: {
      auto* stat = static_cast<zip_stat_t*>(data);
      zip_stat_init(stat);
      stat->size = pattern->size;
      stat->valid |= ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR: return 2 * sizeof(int);
    case ZIP_SOURCE_FREE: delete pattern; return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default: return -1;
  }
}

std::uint32_t lf_crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

zip_t* lf_create(const std::filesystem::path& path) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  int error = 0;
  // libzip takes its names as UTF-8 on every system.
  const std::u8string name = path.u8string();
  zip_t* archive = zip_open(reinterpret_cast<const char*>(name.c_str()), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("cannot create " + path.string());
  return archive;
}

void lf_add(zip_t* archive, const std::string& name, zip_source_t* source, zip_int32_t method = ZIP_CM_STORE,
            zip_uint32_t level = 0) {
  if (!source) throw std::runtime_error("no source for " + name);
  const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
  if (index < 0) {
    zip_source_free(source);
    throw std::runtime_error("cannot add " + name + ": " + zip_strerror(archive));
  }
  zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), method, level);
}

void lf_finish(zip_t* archive, const std::filesystem::path& path) {
  if (zip_close(archive) != 0) {
    const std::string why = zip_strerror(archive);
    zip_discard(archive);
    throw std::runtime_error("cannot write " + path.string() + ": " + why);
  }
}

void lf_writeText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

void gf_writeArchive(const std::filesystem::path& path, const std::vector<ArchiveEntry>& entries) {
  zip_t* archive = lf_create(path);
  try {
    for (const ArchiveEntry& entry : entries) {
      if (!entry.name.empty() && entry.name.back() == '/') {
        if (zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8) < 0)
          throw std::runtime_error("cannot add " + entry.name);
        continue;
      }
      // libzip keeps the buffer until the archive is written.
      lf_add(archive, entry.name, zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0));
    }
  } catch (...) {
    zip_discard(archive);
    throw;
  }
  lf_finish(archive, path);
}

void gf_writeLargeArchive(const std::filesystem::path& path, const std::string& entryName, std::uint64_t size,
                          bool deflated) {
  zip_t* archive = lf_create(path);
  try {
    lf_add(archive, entryName, zip_source_function(archive, lf_patternSource, new Pattern{size}),
           deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE, deflated ? 9 : 0);
  } catch (...) {
    zip_discard(archive);
    throw;
  }
  lf_finish(archive, path);
}

void gf_writeLyingZip64Archive(const std::filesystem::path& path, const std::string& entryName,
                               const std::string& bytes, std::uint64_t claimedSize) {
  std::string out;
  const auto put = [&out](std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  const std::uint32_t crc = lf_crc32(bytes);
  const auto header = [&](bool central) {
    put(central ? 0x02014b50 : 0x04034b50, 4);
    if (central) put(45, 2);  // made by
    put(45, 2);               // needed: zip64
    put(0, 2);                // flags
    put(0, 2);                // stored
    put(0, 4);                // time and date
    put(crc, 4);
    put(0xFFFFFFFF, 4);  // both sizes in the zip64 field
    put(0xFFFFFFFF, 4);
    put(entryName.size(), 2);
    put(20, 2);  // extra field length
    if (central) {
      put(0, 2);  // comment
      put(0, 2);  // disk
      put(0, 2);  // internal attributes
      put(0, 4);  // external attributes
      put(0, 4);  // local header at 0
    }
    out += entryName;
    put(0x0001, 2);
    put(16, 2);
    put(claimedSize, 8);   // uncompressed
    put(bytes.size(), 8);  // compressed
  };
  header(false);
  out += bytes;
  const std::size_t directory = out.size();
  header(true);
  const std::size_t directorySize = out.size() - directory;
  put(0x06054b50, 4);
  put(0, 4);  // disks
  put(1, 2);
  put(1, 2);
  put(directorySize, 4);
  put(directory, 4);
  put(0, 2);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << out;
}

void gf_writeDemoFolder(const std::filesystem::path& folder, const std::string& version) {
  const auto downloads = folder / "downloads";
  lf_writeText(downloads / "release" / "version.json", version + "\r\n");
  lf_writeText(downloads / "mylinkpack24" / "version.json", version + "\r\n");
  gf_writeArchive(downloads / "mylinkpack24" / "my_linkpack2024.zip",
                  {{"links/", ""},
                   {"links/EHAM.dat", "archive/simaddon/EHAM.xml"},
                   {"links/LFBO.dat", "archive/simaddon/LFBO.xml"}});
}

}  // namespace dlsrv
