#pragma once
// Which settings parameters.xml holds, their reload at every start, and the
// step that follows a version change.

// Registers the settings with the loader, loads parameters.xml, handles a
// version change and derives the traffic radius from LATERAL_RANGE.
void lf_loadParameterLists();
// After an update both scans run again; a first run or a downgrade only
// stores the running version.
void lf_versionUpdate();
// The traffic radius := n nautical miles (and n x 1852 m), unclamped;
// LATERAL_RANGE := n clamped to its limits.
void gf_setLateralRange(int n);
