// Interim shell services for the program: the installation detection (replaced
// by the settings load and detection), the automatic range and the destination
// command (replaced by the window's edit boxes and commands).
#include "shell/auto_range.h"
#include "shell/commands.h"
#include "shell/install_detection.h"

void lf_detectInstallPaths() {}
void gf_autoRange() {}
void lf_applyDestination(const std::string&, double, double) {}
