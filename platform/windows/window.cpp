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

// Tahoma at 8 points: 11 pixels at the 96 dots per inch the window is laid out
// for (the program declares no awareness of the screen's scale, so the system
// enlarges the whole window on a finer screen). The device context's own font,
// the system's bold one, is so wide that labels ran into the controls beside
// them. Tahoma is on every Windows whatever its language, so the texts have the
// same widths on each; the default GUI font is another face on each language's
// Windows. Where Tahoma is missing (Wine without its own fonts) the system puts
// in the nearest face it has, DejaVu Sans under Wine, which is wider: the tests
// measure the layout in whichever face the system gives.
HFONT gf_windowFont() {
  static const HFONT font = [] {
    LOGFONTW logFont{};
    logFont.lfHeight = -11;
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfOutPrecision = OUT_DEFAULT_PRECIS;
    logFont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    logFont.lfQuality = DEFAULT_QUALITY;
    logFont.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    wcscpy_s(logFont.lfFaceName, L"Tahoma");
    HFONT made = CreateFontIndirectW(&logFont);
    return made ? made : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }();
  return font;
}
