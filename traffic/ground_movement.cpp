// Ground movement, take-off and stand arrival; replaced by the ground-movement
// issue. Until then a ground segment is only timed, without curve or turn.
#include "traffic/track_following.h"

void lf_planGroundSegment(Act& aircraft) {
  if (aircraft.track.size() >= 2) lf_timeGroundSegment(aircraft);
}

void lf_groundConfig(Act&) {}

void lf_prepareTakeOff(Act& aircraft) { aircraft.takeOffRoll = true; }

void lf_liftOffStep(Act&) {}

void lf_arriveAtStand(Act&) {}
