#pragma once
// Run-time learning of stand use at the park airport: live aircraft that park
// at or leave a stand teach its options by weekday and half-hour, and the
// small stand look-ups the engine and static parking share. Main-loop thread
// only: the stands, the visit maps and the name cache are changed there
// without a lock.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "airports/stand.h"
#include "core/clock.h"

struct ActBase;

// Counts the aircraft at the stand (with the slot's registration option of
// kind real): 1 when the stand's options changed. With counting the visit is
// tracked so that a stay over several half-hours marks each of them; leaving
// ends it.
std::uint8_t lf_addRealOption(std::uint32_t standId, const ActBase& aircraft, std::uint8_t counting, DaySlot slot,
                              std::uint8_t leaving);
// The same for a stand only inferred for the aircraft (kind soft).
std::uint8_t lf_addSoftOption(std::uint32_t standId, const ActBase& aircraft, std::uint8_t counting, DaySlot slot);

// Marks the count half-hours that end at the slot in one option (the
// aircraft's callsign recorded with them).
void lf_markSlots(DaySlot slot, const ActBase& aircraft, std::uint32_t count, std::uint32_t standId,
                  std::uint32_t optionId);
// Marks the count - 1 half-hours before the slot: in optionId (no callsign)
// up to half-hour 47 and, when crossing midnight, in newOptionId (with the
// callsign) after it. The slot itself is left alone.
void lf_markSlotsBack(DaySlot slot, const ActBase& aircraft, bool crossing, std::uint32_t newOptionId,
                      std::uint32_t count, std::uint32_t standId, std::uint32_t optionId);

// The half-hour at which each live aircraft last taught a stand: (hexid, half-hour).
extern std::vector<std::pair<std::uint32_t, std::uint32_t>> gLiveLearningList;
// Records that the aircraft teaches at this slot; without force false when it
// taught less than three half-hours ago.
bool gf_recordLearnedSlot(DaySlot slot, std::uint32_t hexid, bool force);

// Raises the park airport's unsaved-change counter by one and repaints its
// shown copy when that differs.
void gf_noteStandUpdate();

// The park airport's stand of that name, or gStands.end().
std::vector<Stand>::iterator gf_findStand(const std::string& name);
// A stand chosen by static parking: taken, and its adjacent stands next to taken.
void gf_markOptionStands(Stand& stand);

// Name of the nearest stand of the park airport within 55 m of the position;
// empty when the park airport has no stands or the user aircraft is not on
// the ground. The last position and its answer are cached.
std::string gf_standNameAt(double latitude, double longitude);
// gf_standNameAt's work (gf_standNameAt is its own unit so that test programs
// can stand it in).
std::string gf_nearestStandName(double latitude, double longitude);
// Forgets the cached stand name and the live-learning list: whenever gStands
// is emptied or loaded.
void gf_clearStandLearning();
