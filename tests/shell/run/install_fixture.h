#pragma once
// One fake simulator installation in a scratch folder: roaming and local
// application-data roots that APPDATA and LOCALAPPDATA point at, and builders
// for the Store, Steam, Steam2 and boxed layouts and for RealTraffic.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "../../core/core_test_support.h"
#include "platform/system.h"

// On Windows the program takes the application-data folders from the user's
// registry, never from APPDATA: a fake installation there would have to move
// the user's folders under every test program running at the same time.
#ifdef _WIN32
#define SKLM_SKIP_WITHOUT_FAKE_APPDATA() \
  GTEST_SKIP() << "Windows takes the application-data folders from the user's registry, not from APPDATA"
#else
#define SKLM_SKIP_WITHOUT_FAKE_APPDATA() static_cast<void>(0)
#endif

class FakeInstallation {
 public:
  FakeInstallation()
      : m_previousAppData(gf_environmentVariable("APPDATA")),
        m_previousLocalAppData(gf_environmentVariable("LOCALAPPDATA")) {
    std::filesystem::create_directories(roaming());
    std::filesystem::create_directories(local());
    gf_setEnvironmentVariable("APPDATA", roaming().string());
    gf_setEnvironmentVariable("LOCALAPPDATA", local().string());
  }
  ~FakeInstallation() {
    gf_setEnvironmentVariable("APPDATA", m_previousAppData);
    gf_setEnvironmentVariable("LOCALAPPDATA", m_previousLocalAppData);
  }
  FakeInstallation(const FakeInstallation&) = delete;
  FakeInstallation& operator=(const FakeInstallation&) = delete;

  std::filesystem::path roaming() const { return m_folder.path() / "roaming"; }
  std::filesystem::path local() const { return m_folder.path() / "local"; }

  static const char* simFolder(bool msfs2020) {
    return msfs2020 ? "Microsoft Flight Simulator" : "Microsoft Flight Simulator 2024";
  }

  // A packages folder holding Community and the official folder of the
  // edition(s) asked for.
  std::filesystem::path packages(const std::string& name, bool official2020, bool official2024) const {
    const auto folder = m_folder.path() / name;
    std::filesystem::create_directories(folder / "Community");
    if (official2020) std::filesystem::create_directories(folder / "Official" / "OneStore");
    if (official2024) std::filesystem::create_directories(folder / "Official2024" / "OneStore");
    return folder;
  }

  // The Steam layout: APPDATA/<simulator folder>/Packages, with its UserCfg.opt.
  std::filesystem::path steam(bool msfs2020) const {
    const auto simulator = roaming() / simFolder(msfs2020);
    const auto folder = simulator / "Packages";
    std::filesystem::create_directories(folder / "Community");
    std::filesystem::create_directories(folder / "Official" / "Steam");
    std::filesystem::create_directories(folder / "Official2024" / "Steam");
    userCfg(simulator / "UserCfg.opt", folder);
    return folder;
  }

  // UserCfg.opt of the Store layout naming the packages folder.
  std::filesystem::path store(bool msfs2020, const std::filesystem::path& packagesFolder) const {
    const std::string family =
        msfs2020 ? "Microsoft.FlightSimulator_8wekyb3d8bbwe" : "Microsoft.Limitless_8wekyb3d8bbwe";
    return userCfg(local() / "Packages" / family / "LocalCache" / "UserCfg.opt", packagesFolder);
  }
  std::filesystem::path steam2(const std::filesystem::path& packagesFolder) const {
    return userCfg(local() / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
                   packagesFolder);
  }
  std::filesystem::path boxed(const std::filesystem::path& packagesFolder) const {
    return userCfg(local() / "MSFSPackages" / "UserCfg.opt", packagesFolder);
  }

  void realTraffic() const {
    std::filesystem::create_directories(roaming() / "InsideSystems");
    writeBytes(roaming() / "InsideSystems" / "RealTraffic.jar", "jar");
  }

  // A UserCfg.opt with the usual lines around the key, as the simulator writes it.
  static std::filesystem::path userCfg(const std::filesystem::path& file, const std::filesystem::path& packagesFolder,
                                       const std::string& lineEnd = "\n") {
    std::filesystem::create_directories(file.parent_path());
    writeBytes(file, "Version 66" + lineEnd + "{Graphics" + lineEnd + "}" + lineEnd + "InstalledPackagesPath \"" +
                         packagesFolder.string() + "\"" + lineEnd);
    return file;
  }

 private:
  ScratchFolder m_folder;
  std::optional<std::string> m_previousAppData;
  std::optional<std::string> m_previousLocalAppData;
};
