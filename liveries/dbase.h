#pragma once
// The aircraft and airline data base: temp2.xml, downloaded at every process
// start, read once into these tables on the start-up thread and only read
// afterwards, without locks. Every code in them is plain (unscrambled).
#include <array>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

// What the data base knows of one registration; fields empty when not given.
struct DbaseRecord {
  std::string airl;
  std::string type;
  std::string opr;
  bool cargo = false;
  bool operator==(const DbaseRecord&) const = default;
};

// A thirdparty airport package: publisher name and its airport items.
struct ThirdpartyAirports {
  std::string name;
  std::vector<std::string> airports;
};

using CodeSet = std::set<std::string>;

extern CodeSet gAircraftModels;
extern CodeSet gHighPerformanceModels;
extern CodeSet gHeavyModels;
extern CodeSet gLargeModels;
extern CodeSet gBuzjetModels;
extern CodeSet gRotorcraftModels;
extern CodeSet gCargoModels;
// One list per similar group, its codes ascending.
extern std::vector<std::vector<std::string>> gSimilarTypes;
extern CodeSet gAirlineCodes;
extern CodeSet gCargoOperators;
// One list per publisher: its name first, then names or patterns that identify it.
extern std::vector<std::vector<std::string>> gPublishers;
// Half the wing span in nautical miles.
extern std::map<std::string, double> gWingspans;
extern double gMaxWingspan;
// Mean half span per size category (0 Light .. 5 Rotorcraft).
extern std::array<double, 6> gCategoryWingspans;
extern std::unordered_map<std::string, std::string> gModelFixes;
extern CodeSet gLinkpackAirports;
extern std::vector<ThirdpartyAirports> gThirdpartyAirports20;
extern std::vector<ThirdpartyAirports> gThirdpartyAirports24;
extern std::unordered_map<std::string, DbaseRecord> gDbaseRegistrations;
// The "PVT" registrations shorter than 5 characters, longer first, then
// ascending: a fixed order, whatever the hash map's, for gf_privateRegcodeIn.
extern std::vector<std::string> gPrivateRegistrations;
// Set by the start-up once the read succeeded: an in-process restart reads nothing.
extern bool gDataBaseRead;

// Downloads temp2.xml through the data-download hook into the input folder,
// reads it into the tables and deletes it. Throws SysErrorException 23 when
// the download fails (no table touched), UserErrorException 60 when the file
// does not parse, 61 for a required section without a word, and the decoders'
// errors; the file then stays on disk.
void gf_readDataBase();

// Lists gPrivateRegistrations from gDbaseRegistrations; the last step of the read.
void lf_listPrivateRegistrations();

// Empties every table, as at program start (a new process reads afresh).
void gf_clearDataBase();
