#pragma once
// The TCP link with RealTraffic, as the rest of the program sees it.
#include <atomic>
#include <string>

// A RealTraffic client is accepted and usable.
extern std::atomic<bool> gRtClientConnected;

// A RealTraffic UDP reader stopped with an error: shows and logs it and marks
// the reader error that the main loop turns into an exit.
void gf_readerStopped(bool traffic, const std::string& error);
