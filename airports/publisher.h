#pragma once
// The publisher of a scenery file: from its path, from the data base's
// publisher patterns, or from the manifest.json of its package.
#include <filesystem>
#include <optional>
#include <string>

struct ManifestValues {
  std::string manufacturer;
  std::string creator;
  std::string title;
};

// "simaddon" for the simulator's own airports, "unknown" when none is found.
// The manifest values read on the way, if any, go to manifest: the caller
// needs not search (and log) the manifest a second time.
std::string gf_findPublisher(const std::string& sceneryPath, std::optional<ManifestValues>* manifest = nullptr);
std::optional<ManifestValues> lf_searchManifest(const std::string& sceneryPath);
// The folder's manifest.json, or an empty path.
std::filesystem::path lf_findManifestFile(const std::filesystem::path& folder);
std::optional<ManifestValues> lf_readManifest(const std::filesystem::path& manifestPath);
