#pragma once
// Finding the settings, the simulator's installation and RealTraffic at every start.

// Reloads parameters.xml, handles a version change, finds the simulator's
// folders and RealTraffic, makes the data folders and reads the airport list.
void lf_detectInstallPaths();
