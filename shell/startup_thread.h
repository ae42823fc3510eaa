#pragma once
// The start-up thread: everything slow before traffic (detection, scans), then
// the traffic phase that waits for a flight, for RealTraffic and for the first
// traffic, then the main loop on the same thread. A new one runs on every
// WM_APP+1, so on every in-process restart.
#include <chrono>
#include <cstdint>
#include <string>

// The RealTraffic UDP readers as the run drives them. The program uses the
// real readers; tests record the calls instead of binding fixed ports.
struct ReaderControl {
  void (*start)(bool traffic, std::uint16_t port);  // starts a detached, named reader thread
  void (*check)();                                  // the watchdog
  void (*stop)();                                   // stops both readers
};
ReaderControl gf_defaultReaderControl();
void gf_setReaderControl(const ReaderControl& control);
const ReaderControl& gf_readerControl();

// Body of the start-up thread as the window starts it: names the thread
// "sklm-startup", binds it to the current run and reports an exception under
// "lf_startUpSKLM". FinalExit waits for it to end.
void gf_startUpThreadBody();
// Waits until no start-up thread runs, at most for the bound; false when one still runs.
bool gf_waitStartUpEnded(std::chrono::milliseconds bound);

// True once this run is ending: an exit has begun, the user closed the
// program, or (on a start-up thread) a newer run has begun.
bool gf_runEnding();

void lf_startUpSKLM();
void lf_runTraffic();
// Waits for a running flight and a real user position; false when the run ends first.
bool lf_requestUserOnGround();

// The program's name, as string resource 101 gives it.
std::string lf_programNameText();
