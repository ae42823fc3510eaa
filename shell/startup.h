#pragma once
// Start-up state that other threads read once the traffic phase runs.
#include <atomic>

// RealTraffic is installed on this PC: the UDP readers bind to 127.0.0.1 and
// take every datagram, repeats included.
extern bool gRtLocal;

// A RealTraffic UDP reader stopped with an error; the main loop turns it into an exit.
extern std::atomic<bool> gReaderError;
