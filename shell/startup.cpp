#include "shell/startup.h"

bool gRtLocal = false;
std::atomic<bool> gReaderError{false};
