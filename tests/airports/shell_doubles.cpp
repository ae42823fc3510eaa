// The shell's services the airport code calls and the shell does not define yet.
#include "shell/auto_range.h"

// The automatic range follows the user aircraft; these tests have none.
void gf_autoRange() {}
