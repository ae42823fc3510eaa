#include "core/zip_archive.h"

#include <zip.h>

#include <algorithm>
#include <memory>
#include <ostream>

#include "core/format.h"
#include "core/util.h"

namespace skzip {

namespace {

struct FileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using OpenEntry = std::unique_ptr<zip_file_t, FileCloser>;

// The entry's data is pulled in chunks; fewer or more bytes than announced is
// a failure. The announced size is checked before anything is read, so an
// entry claiming terabytes costs nothing.
template <class Sink>
int lf_readChunks(zip* archive, std::uint64_t index, std::uint64_t size, std::uint64_t chunkSize,
                  Sink&& sink) {
  if (size > ZipEntry::kMaxSize) return ZIP_ER_INCONS;
  OpenEntry file(zip_fopen_index(archive, index, 0));
  if (!file) return zip_error_code_zip(zip_get_error(archive));
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, size ? size : 1)));
  std::uint64_t done = 0;
  while (done < size) {
    const zip_int64_t got = zip_fread(file.get(), buffer.data(), buffer.size());
    if (got < 0) return zip_error_code_zip(zip_file_get_error(file.get()));
    if (got == 0) return ZIP_ER_INCONS;
    if (!sink(buffer.data(), static_cast<std::size_t>(got))) return ZIP_ER_WRITE;
    done += static_cast<std::uint64_t>(got);
  }
  // The CRC is checked once the end is reached.
  char extra = 0;
  const zip_int64_t tail = zip_fread(file.get(), &extra, 1);
  if (tail < 0) return zip_error_code_zip(zip_file_get_error(file.get()));
  if (tail > 0) return ZIP_ER_INCONS;
  return 0;
}

std::string lf_errorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

}  // namespace

std::string ZipEntry::readAsText() const {
  std::string text;
  if (m_size <= kMaxSize) text.reserve(static_cast<std::size_t>(m_size));
  const int code = lf_readChunks(m_archive, m_index, m_size, kChunkSize, [&](const char* data, std::size_t n) {
    text.append(data, n);
    return true;
  });
  if (code != 0) throw ZipError(sk::format("{}: {}", m_name, lf_errorText(code)));
  return text;
}

int ZipEntry::readContent(std::ostream& out, std::uint64_t chunkSize) const {
  const int code = lf_readChunks(m_archive, m_index, m_size, chunkSize, [&](const char* data, std::size_t n) {
    out.write(data, static_cast<std::streamsize>(n));
    return static_cast<bool>(out);
  });
  // What the stream still buffers must reach the file for the copy to count.
  if (code == 0 && !out.flush()) return ZIP_ER_WRITE;
  return code;
}

bool ZipArchive::open() {
  if (m_archive) return true;
  int error = 0;
  m_archive = zip_open(gf_pathToUtf8(m_path).c_str(), ZIP_RDONLY, &error);
  return m_archive != nullptr;
}

std::vector<ZipEntry> ZipArchive::getEntries() const {
  std::vector<ZipEntry> entries;
  if (!m_archive) return entries;
  const zip_int64_t count = zip_get_num_entries(m_archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    // An entry whose directory record cannot be read keeps its place with an
    // empty name, so that callers refuse it rather than never see it.
    const bool known = zip_stat_index(m_archive, static_cast<zip_uint64_t>(i), 0, &stat) == 0;
    entries.push_back(ZipEntry(m_archive, static_cast<std::uint64_t>(i), known && stat.name ? stat.name : "",
                               known && (stat.valid & ZIP_STAT_SIZE) ? stat.size : 0));
  }
  return entries;
}

void ZipArchive::close() {
  if (!m_archive) return;
  zip_discard(m_archive);  // read-only: nothing to write back
  m_archive = nullptr;
}

}  // namespace skzip
