#pragma once
// The user's stand when a flight is loaded or the link ends. The SimConnect
// thread only records what it saw (the latest user position, its ground speed
// and whether the user state is known); the stand is worked out and stored
// where the stands and the park-airport list live: on the main loop, or in
// the shutdown after the SimConnect thread has been joined.

// SimConnect thread: records the hand-over (FlightLoaded).
void gf_recordUserStandHandover();
// SimConnect thread, at its end: records it unless one recorded at FlightLoaded
// waits untaken; the user stands wherever the new flight put it by then.
void gf_recordLinkEndHandover();

// The shutdown, once the SimConnect thread has ended: consumes a pending hand-over;
// when the user stood still on a stand of the park airport first in the list,
// that stand becomes its reserved stand and the list is saved.
void gf_takeUserStandHandover();
