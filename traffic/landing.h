#pragma once
// Touchdown, the approach to and the departure from a stand, and the stops of
// a ground track. Main-loop thread, inside the engine tick; the definition-401
// set takes gScMutex.
#include <cstddef>
#include <cstdint>

#include "traffic/records.h"

// A report of an aircraft taxiing to or standing at its stand: false drops it.
// Notices an aircraft leaving its stand (leaveStand) and one that gave it up.
bool lf_approachStand(Act& aircraft, TrackPoint& point);
// A parked aircraft reported from its stand holds it while the reports come;
// five minutes after the last one (steady time `now`) it no longer does, and
// its stay limits count from that report.
void gf_lapseParkedReports(Act& aircraft, std::uint64_t now);
// The stay at the stand ends: towed or not, the stand's learned use, the stand free.
void lf_arrivedAtStand(Act& aircraft);
// A short stop in a ground track that the aircraft now leaves is cut to its first point.
void removeSmallStop(Act& aircraft, const TrackPoint& point);
// Of the last n points: the n - 1 after the n-th from the end go when the stop
// they make was short or the new point lies by it. std::out_of_range for a bad n.
void checkstops(Act& aircraft, std::size_t n, const TrackPoint& point);
// Reports arrive again after invented points: the track goes on from now.
void lf_resumeReports(Act& aircraft);
