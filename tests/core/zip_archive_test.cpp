#include "core/zip_archive.h"

#include <sstream>

#include "core_test_support.h"
#include "tools/dlserver/archive_writer.h"

namespace skzip {
namespace {

TEST(DownloadZipArchive, ReadsEveryEntryWholeOrInChunks) {
  ScratchFolder scratch;
  std::string big(1300000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 253);
  dlsrv::gf_writeArchive(scratch / "a.zip", {{"dir/", ""}, {"dir/big.bin", big}, {"small.txt", "line\r\n"}, {"empty", ""}});
  ZipArchive archive(scratch / "a.zip");
  EXPECT_TRUE(archive.getEntries().empty());  // not open yet
  ASSERT_TRUE(archive.open());
  const auto entries = archive.getEntries();
  ASSERT_EQ(entries.size(), 4U);
  EXPECT_TRUE(entries[0].isDirectory());
  EXPECT_EQ(entries[1].getName(), "dir/big.bin");
  EXPECT_FALSE(entries[1].isDirectory());
  EXPECT_EQ(entries[1].readAsText(), big);
  for (std::uint64_t chunk : {ZipEntry::kChunkSize, std::uint64_t{1000}}) {
    std::ostringstream out;
    EXPECT_EQ(entries[1].readContent(out, chunk), 0);
    EXPECT_EQ(out.str(), big);
  }
  EXPECT_EQ(entries[2].readAsText(), "line\r\n");
  EXPECT_EQ(entries[3].readAsText(), "");
  archive.close();
  EXPECT_TRUE(archive.getEntries().empty());
}

TEST(DownloadZipArchive, DamageIsAnErrorNeverAShortRead) {
  ScratchFolder scratch;
  const std::string first(2000, 'f'), second(3000, 's');
  dlsrv::gf_writeArchive(scratch / "a.zip", {{"first", first}, {"second", second}});
  std::string bytes = readBytes(scratch / "a.zip");
  bytes[bytes.find(second) + 10] = 'X';
  writeBytes(scratch / "crc.zip", bytes);
  writeBytes(scratch / "cut.zip", bytes.substr(0, bytes.size() / 2));
  writeBytes(scratch / "text.zip", "not an archive at all");

  for (const char* name : {"cut.zip", "text.zip", "missing.zip"}) {
    ZipArchive archive(scratch / name);
    EXPECT_FALSE(archive.open()) << name;
  }
  ZipArchive archive(scratch / "crc.zip");
  ASSERT_TRUE(archive.open());
  const auto entries = archive.getEntries();
  EXPECT_EQ(entries.at(0).readAsText(), first);
  EXPECT_THROW(entries.at(1).readAsText(), ZipError);
  std::ostringstream out;
  EXPECT_NE(entries.at(1).readContent(out), 0);
  std::ostringstream failing;
  failing.setstate(std::ios::badbit);
  EXPECT_NE(entries.at(0).readContent(failing), 0);

  // Entries above the cap, by their records or by what they inflate to, are
  // refused before a byte is read or a byte of room is taken.
  dlsrv::gf_writeLargeArchive(scratch / "bomb.zip", "bomb", ZipEntry::kMaxSize + 1, true);
  dlsrv::gf_writeLyingZip64Archive(scratch / "liar.zip", "liar", "small", 1ULL << 40);
  dlsrv::gf_writeLyingZip64Archive(scratch / "short.zip", "short", "only five", 100);
  for (const char* name : {"bomb.zip", "liar.zip", "short.zip"}) {
    SCOPED_TRACE(name);
    ZipArchive refused(scratch / name);
    ASSERT_TRUE(refused.open());
    const auto entry = refused.getEntries().at(0);
    EXPECT_THROW(entry.readAsText(), ZipError);
    std::ostringstream none;
    EXPECT_NE(entry.readContent(none), 0);
    if (entry.getSize() > ZipEntry::kMaxSize) {
      EXPECT_EQ(none.tellp(), 0);
    }
  }
}

}  // namespace
}  // namespace skzip
