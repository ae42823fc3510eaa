// The data base through the real download: a tool-made temp2.xml in dbase.zip
// from the stand-in server, read through the livery code's download hook.
#include "core/errors.h"
#include "core/paths.h"
#include "download_test_support.h"
#include "liveries/data_downloads.h"
#include "liveries/dbase.h"
#include "liveries/dbase_lookups.h"
#include "shell/update.h"

namespace {

using DbaseDownload = DownloadTest;

TEST_F(DbaseDownload, ServedDataBaseFillsTheTables) {
  std::filesystem::create_directories(InputFolder);
  serveArchive("dbase.zip", {{"temp2.xml", readBytes(std::filesystem::path(SKLM_BINARY_DIR) / "scrambled" / "temp2.xml")}});
  gf_setDataDownloads({gf_downloadDbase, gf_downloadAigRegcodes});
  gf_readDataBase();
  EXPECT_EQ(gf_categoryOf("B772"), 3);
  EXPECT_EQ(gf_dbaseAirlineOf("GGDFA"), "BAW");
  EXPECT_FALSE(std::filesystem::exists(Temp2Path));
  gf_clearDataBase();

  std::filesystem::remove(served() / "dbase.zip");
  EXPECT_THROW(gf_readDataBase(), qlx::SysErrorException);
  EXPECT_TRUE(gAircraftModels.empty());
  gf_setDataDownloads({});
}

}  // namespace
