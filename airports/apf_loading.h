#pragma once
// Loading the park airport's parking file.
#include <atomic>
#include <cstdint>

// 1 once a park airport file has been read through to its end; read by the
// traffic reader thread and the window.
extern std::atomic<std::uint8_t> gParkAirportLoaded;
