// Interim until the shell computes the automatic range from the user
// aircraft's situation (the shell's automatic range replaces this file).
#include "shell/auto_range.h"

void gf_autoRange() {}
