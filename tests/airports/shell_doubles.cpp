// The services the linked shell calls and later issues build: the traffic
// engine's containers and the shell's automatic range.
#include "tests/shell/engine_doubles.h"

// The installation services the airport scan asks, without the shell's
// start-up that lives beside them: the install path of the selected simulator
// and the ".xml" stems of airports/my_thirdparty.
#include <filesystem>
#include <string>
#include <vector>

#include "core/parameters.h"
#include "core/paths.h"
#include "shell/install_detection.h"

std::filesystem::path gf_simPackagesPath(const std::filesystem::path& folder) {
  return std::filesystem::path((MSFS_2020.value ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH).value()) / folder;
}

std::vector<std::string> gf_listXmlFiles() {
  std::vector<std::string> stems;
  for (const auto& entry : std::filesystem::directory_iterator(MyThirdpartyFolder)) {
    const std::string name = entry.path().filename().string();
    if (name.size() == 8 && (name.ends_with(".xml") || name.ends_with(".XML"))) stems.push_back(name.substr(0, 4));
  }
  return stems;
}
