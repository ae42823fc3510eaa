#include "shell/livery_window.h"

#include "core/parameters.h"
#include "liveries/livery_window.h"
#include "platform/window.h"
#include "shell/app_state.h"

void gf_installLiveryWindow() {
  gf_setLiveryWindow({
      [](std::int64_t count) { gAppState.liveryCount = count; },
      [] { gf_invalidateMain(kStatusRect); },
      [](int category, bool enabled) {
        CheckboxParameter* setting = category == 0   ? &LIGHT_AIRCRAFT
                                     : category == 4 ? &HIGH_PERF_AIRCRAFT
                                     : category == 5 ? &HELICOPTERS
                                                     : nullptr;
        if (setting && setting->controlWindow) EnableWindow(setting->controlWindow, enabled ? TRUE : FALSE);
      },
      [](bool checked) {
        if (SCAN_LIVERIES.controlWindow) {
          SendMessageW(SCAN_LIVERIES.controlWindow, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        }
      },
  });
}
