#pragma once
// Which settings parameters.xml holds, their reload at every start, and the
// step that follows a version change.

// Registers the settings with the loader, loads parameters.xml, handles a
// version change and derives the traffic radius from LATERAL_RANGE.
void lf_loadParameterLists();
// After an update both scans run again; a first run or a downgrade only
// stores the running version.
void lf_versionUpdate();
