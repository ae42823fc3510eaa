#include "platform/window.h"

bool gf_enableDisplay(bool) {
  return true;
}

bool gf_displayActive() {
  return true;
}

HINSTANCE gf_programInstance() {
  return GetModuleHandleW(nullptr);
}
