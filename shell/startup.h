#pragma once
// Start-up state that other threads read once the traffic phase runs.

// RealTraffic is installed on this PC: the UDP readers bind to 127.0.0.1 and
// take every datagram, repeats included.
extern bool gRtLocal;
