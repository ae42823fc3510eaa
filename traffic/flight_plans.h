#pragma once
// The minimal flight plan a live aircraft with an origin and a destination
// hands to the simulator: one file per simulator object in a folder of the
// data folder that lives from start-up to exit.
#include <cstdint>
#include <filesystem>

#include "traffic/records.h"

// DataFolder()/"orig_dest" once gf_createFlightPlanFolder has run.
extern std::filesystem::path gFlightPlanFolder;

// Start-up: sets gFlightPlanFolder and creates it (and the data folder) when
// missing; throws the file-system error of a failed creation. True when the
// folder exists afterwards.
bool gf_createFlightPlanFolder();

// "{objectId}.pln", to be joined to gFlightPlanFolder.
std::filesystem::path lf_planFileName(std::uint32_t objectId);

// Writes the aircraft's plan (IFR for categories 1-3, VFR otherwise) over any
// earlier file; false when the file cannot be opened or written.
bool gf_writeFlightPlan(const std::filesystem::path& file, const ActBase& aircraft);

// Shutdown: removes the folder with its plans; a failure is logged, never
// thrown. True when the folder no longer exists.
bool gf_removeFlightPlanFolder();
