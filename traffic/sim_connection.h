#pragma once
// The engine's one link to the simulator: a thread of its own opens
// SimConnect, polls its dispatch and flushes the command queues on every Frame.
#include <stop_token>

// Body of the SimConnect thread; ends when a stop is requested or an exit is seen.
void gf_simconThread(std::stop_token stop);

// Sizes the command queues before the thread starts.
void gf_reserveSimQueues();

// Starts the SimConnect thread, stopping and joining the thread of an earlier run first.
void gf_startSimconnect();

// From the shutdown: requests the stop, joins the thread and closes the
// connection (without treating it as the simulator leaving).
void gf_stopSimconnect();
