#include "resources/resources.h"

// The string table and the icon are compiled into skylume.exe from
// resources/skylume.rc; LoadStringW and LoadIconW find them there.
void gf_registerResources() {}
