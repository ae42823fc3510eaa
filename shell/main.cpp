// Entry of the program.
#include <string>

#include "airports/archived_files.h"
#include "liveries/data_downloads.h"
#include "liveries/scan_driver.h"
#include "platform/window.h"
#include "resources/resources.h"
#include "shell/download.h"
#include "shell/entry.h"
#include "shell/install_detection.h"
#include "shell/livery_window.h"
#include "shell/message_line.h"
#include "shell/update.h"

int main() {
  // Once, before any thread starts: every download builds on it.
  gf_httpStartUp();
  gf_setDataDownloads({gf_downloadDbase, gf_downloadAigRegcodes});
  gf_setLiveryScanSeams({[] { return gf_simPackagesPath("Community"); }, {}});
  gf_setAirportDownloads(
      {gf_downloadUrl, [](const std::string& url, const std::filesystem::path& file, bool binary) {
         // The main loop and the airport scan wait for these.
         HttpSession handle(kSmallFileLimits);
         switch (gf_downloadOutcome(&handle, url, file, binary)) {
           case DownloadOutcome::Fetched:
             return ServerAnswer::Fetched;
           case DownloadOutcome::NotFound:
             return ServerAnswer::NotFound;
           case DownloadOutcome::NoAnswer:
             return ServerAnswer::NoAnswer;
           case DownloadOutcome::Cancelled:
           case DownloadOutcome::Failed:
             break;
         }
         return ServerAnswer::Failed;
       }});
  gf_enableDisplay();
  gf_installMessageLine();
  gf_installLiveryWindow();
  gf_registerResources();
  return gf_winMain(gf_programInstance());
}
