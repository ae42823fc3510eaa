#include "liveries/data_downloads.h"

#include "core/format.h"
#include "core/log.h"

namespace {

DataDownloads gDownloads;

bool run(const DataDownload& download, const char* archive, const std::filesystem::path& target) {
  if (!download) {
    gf_log(sk::format("no download of {} installed?", archive));
    return false;
  }
  return download(target);
}

}  // namespace

void gf_setDataDownloads(DataDownloads downloads) { gDownloads = std::move(downloads); }

bool lf_downloadDbase(const std::filesystem::path& target) { return run(gDownloads.dbase, "dbase.zip", target); }

bool lf_downloadAigRegcodes(const std::filesystem::path& target) {
  return run(gDownloads.aigRegcodes, "AIG-regcodes.zip", target);
}
