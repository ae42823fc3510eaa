#pragma once
// The one way every stop and every in-process restart begins.
#include <cstdint>

enum class ExitReason : std::uint32_t {
  NOT_YET_SET = 0,
  SIM_WAS_CLOSED = 1,
  RESTART = 2,
  RESTART_IPP = 3,
  USER_CLOSED_SIM = 4,
  SYSTEM_ERROR = 5,
};

// Starts the shutdown on its first call only; later calls do nothing. Returns at once.
void gf_exit(ExitReason reason, int delaySeconds);
