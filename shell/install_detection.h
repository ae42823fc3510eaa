#pragma once
// Finding the settings, the simulator's installation and RealTraffic at every
// start. The simulator's folders are only looked for and read, never written.
#include <filesystem>
#include <string>
#include <vector>

#include "core/parameters.h"

// Reloads parameters.xml, handles a version change, finds the simulator's
// folders and RealTraffic, makes the data folders, reads the data base once
// per process and the airport list.
void lf_detectInstallPaths();

// The selected simulator's packages folder (Steam folder first, then
// UserCfg.opt), or an empty path.
std::filesystem::path gf_detectSimPackages();
// The stored install path of the selected simulator joined with the folder
// name; empty when no install path is stored.
std::filesystem::path gf_simPackagesPath(const std::filesystem::path& folder);

std::filesystem::path lf_findSteamPackages();
std::filesystem::path lf_findUserCfg();
std::filesystem::path lf_readUserCfg();
// True for the first line holding the key; out is the quoted folder when it
// exists, else empty.
bool lf_parseInstalledPackagesPath(std::filesystem::path& out, const std::string& line);
// The packages folder holds Community and the selected simulator's official folder.
bool lf_checkCommunityFolder(const std::filesystem::path& packages);
std::string lf_packageFamilyName();
std::string lf_simFolderName();
// A stored Community folder becomes its parent, the packages folder (saved).
void lf_communityPath(StringParameter& installPath);
// The program's data folders under the current folder, one level each.
void lf_createFolders();
// The ICAO stems of the ".XML" files in airports/my_thirdparty.
std::vector<std::string> gf_listXmlFiles();
