// Track following: the engine's two motion hooks (traffic/track_motion.cpp
// holds their bodies, which the engine's own tests leave out).
#include "traffic/engine_hooks.h"
#include "traffic/track_following.h"

void nextPosMain(Act& aircraft) { lf_followTrack(aircraft); }

void lf_advancePose(Act& aircraft) { lf_stepPose(aircraft); }
