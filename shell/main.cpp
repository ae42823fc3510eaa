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
  gf_setAirportDownloads({gf_downloadUrl, gf_downloadAirportFile});
  gf_enableDisplay();
  gf_installMessageLine();
  gf_installLiveryWindow();
  gf_registerResources();
  return gf_winMain(gf_programInstance());
}
