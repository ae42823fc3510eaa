#pragma once
// The program's resources: its string table (101: the program's name, also the
// window class name) and its icon (100). Registered with the window layer at
// start, read back through LoadStringW and LoadIconW.

inline constexpr unsigned IDS_APP_TITLE = 101;
inline constexpr unsigned IDI_SKYLUME = 100;

void gf_registerResources();
