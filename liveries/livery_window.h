#pragma once
// What the livery processing shows in the main window, through one seam the
// shell fills at start (liveries/ does not link the shell); tests record the
// calls. An empty entry does nothing.
#include <cstdint>
#include <functional>

struct LiveryWindow {
  // The livery count of the status area.
  std::function<void(std::int64_t count)> showLiveryCount;
  std::function<void()> redrawStatus;
  // The check box of LIGHT_AIRCRAFT (0), HIGH_PERF_AIRCRAFT (4) or HELICOPTERS (5).
  std::function<void(int category, bool enabled)> enableCategoryCheckbox;
  // The check state of the SCAN_LIVERIES box.
  std::function<void(bool checked)> checkScanLiveries;
};

void gf_setLiveryWindow(LiveryWindow window);
const LiveryWindow& gf_liveryWindow();
