#pragma once
// The program's fixed folder and file names. Relative names resolve against the
// current folder (the program folder) when they are used. They are inline so that
// a global of another file built from them, after including this header, never
// sees them unbuilt.
#include <filesystem>
#include <string>

inline const std::filesystem::path DocsFolder{"docs"};
inline const std::filesystem::path InputFolder{"input"};
inline const std::filesystem::path MyRegcodesFolder = InputFolder / "my_regcodes";
// The aircraft and airline data base and the AIG regcode file, as downloaded.
inline const std::filesystem::path Temp2Path = InputFolder / "temp2.xml";
inline const std::filesystem::path AigRegcodesPath = InputFolder / "AIG-regcodes.xml";
// The key of the scrambled codes in the downloaded files; the built-in key when absent.
inline const std::filesystem::path ScrambleKeyPath{"scramble_key.txt"};
inline const std::filesystem::path AirportsMsfsFileName{"airports_msfs.xml"};
inline const std::filesystem::path AirportsMsfsNamesFileName{"airports_msfs_names.xml"};

inline const std::filesystem::path OutputFolder{"output"};
inline const std::filesystem::path OutputInfoFolder = OutputFolder / "info";
inline const std::filesystem::path OutputErrorsFolder = OutputFolder / "errors";
inline const std::filesystem::path LiveriesScannedPath = OutputFolder / "LiveriesScanned.xml";
inline const std::filesystem::path AircraftCfgWithNoFltsimSectionPath = OutputInfoFolder / "AircraftCfgWithNoFltsimSection.txt";
inline const std::filesystem::path AirlineModelConversionsPath = OutputInfoFolder / "AirlineModelConversions.txt";
inline const std::filesystem::path LiveriesSkippedOnPriorityPath = OutputInfoFolder / "LiveriesSkippedOnPriority.txt";
inline const std::filesystem::path OfflineRegcodesPath = OutputInfoFolder / "OfflineRegcodes.txt";
inline const std::filesystem::path AirportsScanLogPath = OutputInfoFolder / "AirportsScanLog.txt";
inline const std::filesystem::path InlineRegcodesPath = OutputErrorsFolder / "InlineRegcodes.txt";
inline const std::filesystem::path InvalidAirlineCodesPath = OutputErrorsFolder / "InvalidAirlineCodes.txt";
inline const std::filesystem::path InvalidAircraftCodesPath = OutputErrorsFolder / "InvalidAircraftCodes.txt";
inline const std::filesystem::path FixesPath = OutputErrorsFolder / "Fixes.txt";
inline const std::filesystem::path InvalidAircraftCfgFilesPath = OutputErrorsFolder / "InvalidAircraftCfgFiles.txt";
// The file has always had this spelling; readers of the reports expect it.
inline const std::filesystem::path IncompleFltsimSectionsPath = OutputErrorsFolder / "IncompleFltsimSections.txt";

inline const std::filesystem::path AirportsFolder{"airports"};
inline const std::filesystem::path MyLinkpackFolder = AirportsFolder / "my_linkpack";
inline const std::filesystem::path MyThirdpartyFolder = AirportsFolder / "my_thirdparty";
inline const std::filesystem::path LearnedFolder = AirportsFolder / "learned";
inline const std::filesystem::path LearnedStockFolder = LearnedFolder / "stock";
inline const std::filesystem::path LearnedLinkpackFolder = LearnedFolder / "linkpack";
// Learned files of the simulator's own airports.
inline const std::filesystem::path LearnedSimaddonFolder = LearnedFolder / "simaddon";
inline const std::filesystem::path LearnedThirdpartyFolder = LearnedFolder / "thirdparty";
inline const std::filesystem::path MyParkAirportsPath = AirportsFolder / "my_park_airports.txt";

inline const std::filesystem::path TbloFolder{"TBLO"};
inline const std::filesystem::path InstallNewVersionPath{"install_new_version.exe"};
inline const std::filesystem::path VersionJsonPath{"version.json"};
inline const std::filesystem::path Callsign2ObjectIdPath{"Callsign2ObjectId.txt"};

// Single names joined at run time to other folders.
inline const std::filesystem::path CommunityFolderName{"Community"};
inline const std::filesystem::path OfficialFolderName{"Official"};
inline const std::filesystem::path Official2024FolderName{"Official2024"};
// InsideSystems lies in the roaming application-data folder.
inline const std::filesystem::path InsideSystemsFolderName{"InsideSystems"};
inline const std::string FsBaseName{"fs-base"};

// The program's data folder, "Skylume" in the roaming application-data folder,
// found on first use. Tests and the program may point it elsewhere at any time;
// an empty folder brings back the roaming one.
std::filesystem::path DataFolder();
void gf_setDataFolder(std::filesystem::path folder);
// parameters.xml in the data folder, as narrow text.
std::string ParametersPath();
// The same file as a path object, for opening it without a narrow round trip.
std::filesystem::path gf_parametersFile();
