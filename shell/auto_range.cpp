#include "shell/auto_range.h"

std::atomic<bool> gAutoRangeAtTen{false};
