#include "shell/auto_range.h"

#include "core/parameters.h"

std::atomic<bool> gAutoRangeAtTen{false};
std::atomic<std::int32_t> gHandSetRange{0};

void gf_setLateralRange(std::int32_t n) {
  LATERAL_RANGE.value = LATERAL_RANGE.clamped(n);
  gLateralRangeNm.store(static_cast<double>(n));
  gLateralRangeMeters.store(static_cast<std::uint32_t>(static_cast<std::int64_t>(n) * 1852));
}
