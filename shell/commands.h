#pragma once
// The main window's commands: a click on a check box or button and Enter in an
// edit box take effect here, on the window thread. Whatever touches the
// traffic engine is handed to the main loop through one-shot requests.
#include <atomic>
#include <string>

#include "platform/window.h"
#include "shell/controls.h"

// One-shot requests of the window, served and cleared (atomic exchange) by the
// main loop's one-second step: the nav lights of parked aircraft follow
// NAV_LIGHTS_WHILE_PARKED, and the live aircraft are trimmed to MAX_LIVE.
extern std::atomic<bool> gNavLightsRequest;
extern std::atomic<bool> gTrimLiveRequest;
// The simulator was switched: the next start-up thread resets the airport
// scan's per-run state before its scans (no scan of the old run can still run then).
extern std::atomic<bool> gAirportScanResetRequest;
// The window never waits for the main loop (which may wait for RealTraffic):
// AUTO_RANGE switched on and a new DESTINATION are applied by the loop's
// one-second step; the destination is read from DESTINATION then.
extern std::atomic<bool> gAutoRangeRequest;
extern std::atomic<bool> gParkAirportSelectRequest;

// WM_COMMAND; true when the id is one of the controls.
bool lf_onCommand(HWND window, WPARAM wParam);
// The subclass procedures of the edit boxes, for gf_setEditProcedures.
EditProcedures gf_commandEditProcedures();

// After a change of a static-parking setting: announces when the renewal responds.
void lf_restartNotice();

// Makes the airport (one of the airport list) the destination: saved, shown,
// and asked to become the first park airport. Also the start-up's, with the
// saved destination.
void lf_applyDestination(const std::string& icao);

// Main-loop thread, each second: serves the requests above.
void gf_serveCommandRequests();
// Makes DESTINATION the first park airport when gParkAirportSelectRequest is
// set; the thread that owns the park-airport list (start-up, then main loop).
void gf_serveParkAirportSelection();
// The nav-lights event with the value for every static aircraft present and
// every live aircraft present and parked; main-loop thread.
void gf_setParkedNavLights(bool on);
// Start-up thread, before the scans: serves gAirportScanResetRequest.
void gf_serveAirportScanReset();
