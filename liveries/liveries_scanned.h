#pragma once
// output/LiveriesScanned.xml: the meta block, then "liveries" with one "liv"
// per livery (attributes airl, type, cargo only when true, title, atcid only
// when set). What a scan leaves behind and what every later start reads back.
#include <list>

#include <pugixml.hpp>

#include "liveries/livery_data.h"

// The scan's one list of liveries, owned by the start-up thread: the scan fills
// it, the file is saved from it, the processing refills it from the file and
// empties it once the tables stand.
extern std::list<LiveryData> gScannedLiveries;

void lf_appendLiveryNode(pugi::xml_node parent, const LiveryData& livery);
// Saves gScannedLiveries through the replace-by-rename save; an empty list
// writes nothing and leaves an older file whole, as does a failed save (logged).
void lf_saveLiveriesScanned();
// Refills gScannedLiveries from the file, sorted by airline, type and title.
// Throws UserErrorException 51 (missing or unreadable), 52 (no "liveries"),
// 533 (no "liv").
void lf_readLiveriesScanned();
