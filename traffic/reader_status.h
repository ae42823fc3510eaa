#pragma once
// The status of a RealTraffic UDP reader, as its light in the status area shows it.
#include <cstdint>

inline constexpr std::int32_t READER_RECEIVING = 1;
inline constexpr std::int32_t READER_SILENT = 2;
inline constexpr std::int32_t READER_STOPPED = 3;
