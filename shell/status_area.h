#pragma once
// Everything of the main window that is not a control is drawn here, on
// WM_PAINT, from the fields of gAppState.
#include <cstdint>
#include <string>

#include "platform/window.h"

// The WM_PAINT work on the paint's device context.
void lf_paint(HDC hdc);

// One text on the paint device context at (x, y) (its top left) in the colour.
// A text that does not convert to UTF-16 is logged and not drawn.
void lf_textOut(int x, int y, const std::string& text, COLORREF colour);
// lf_textOut of as much of the text as ends a few pixels before x = right.
void lf_textOutBefore(int x, int y, const std::string& text, COLORREF colour, int right);
// lf_textOut in black when enabled, else in grey.
void lf_textOutEnabled(int x, int y, const std::string& text, bool enabled);

// What the once-a-second recount of the traffic engine found.
struct AircraftCounts {
  std::int32_t live = 0;          // present in the simulator and not parked
  std::int32_t parkedLive = 0;    // live aircraft parked at the park airport this half-hour
  std::int32_t parkedStatic = 0;  // static parked aircraft counted this half-hour
};

// Stores the counts and repaints only the band whose figures changed.
void lf_updateAircraftCounts(const AircraftCounts& counts);

// From now on the status area follows the UDP readers' lights and QNH.
void gf_followReaderLights();
