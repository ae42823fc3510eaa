#include "airports/publisher.h"

#include <fstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "airports/scan_log.h"
#include "core/file_read.h"
#include "core/format.h"
#include "core/util.h"
#include "liveries/dbase_lookups.h"

namespace {

// Scenery paths come as Windows text; either separator is taken, and the
// system's own is shown.
std::filesystem::path lf_pathOf(std::string text) {
  for (char& c : text)
    if (c == '\\') c = '/';
  return gf_pathFromUtf8(text).make_preferred();
}

// The Community folder followed by the package's folder name, when the path
// holds "Community" and two separators after it.
std::optional<std::string> lf_communityPackage(const std::string& path) {
  const std::size_t community = path.find("Community");
  if (community == std::string::npos) return std::nullopt;
  const std::size_t first = path.find_first_of("/\\", community);
  if (first == std::string::npos) return std::nullopt;
  const std::size_t second = path.find_first_of("/\\", first + 1);
  if (second == std::string::npos) return std::nullopt;
  return path.substr(0, second);
}

std::string lf_jsonText(const nlohmann::json& json, const char* key) {
  const auto found = json.find(key);
  if (found == json.end() || found->is_null()) return {};
  return found->get<std::string>();
}

}  // namespace

std::filesystem::path lf_findManifestFile(const std::filesystem::path& folder) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return {};
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().extension() == ".json" && entry.path().stem() == "manifest")
      return entry.path();
  }
  return {};
}

std::optional<ManifestValues> lf_readManifest(const std::filesystem::path& manifestPath) {
  if (gf_tooLargeToRead(manifestPath)) {
    gf_addScanLog(gf_tooLargeText(manifestPath));
    return std::nullopt;
  }
  std::ifstream stream(manifestPath, std::ios::binary);
  std::vector<std::string> lines;
  gf_readLines(stream, lines);
  if (lines.empty()) return std::nullopt;
  std::string text;
  for (const std::string& line : lines) text += line;
  const nlohmann::json json = nlohmann::json::parse(text);
  return ManifestValues{lf_jsonText(json, "manufacturer"), lf_jsonText(json, "creator"), lf_jsonText(json, "title")};
}

std::optional<ManifestValues> lf_searchManifest(const std::string& sceneryPath) {
  try {
    if (const std::optional<std::string> package = lf_communityPackage(sceneryPath)) {
      const std::filesystem::path folder = lf_pathOf(*package);
      if (std::filesystem::is_directory(folder)) {
        const std::filesystem::path manifest = lf_findManifestFile(folder);
        if (!manifest.empty()) {
          gf_addScanLog(gf_pathToUtf8(manifest) + " found");
          return lf_readManifest(manifest);
        }
      }
    }
    // Outside a Community package: the nearest manifest from the top down.
    std::filesystem::path candidate;
    for (const std::filesystem::path& component : lf_pathOf(sceneryPath).parent_path()) {
      candidate /= component;
      const std::filesystem::path manifest = lf_findManifestFile(candidate);
      if (manifest.empty()) continue;
      gf_addScanLog(gf_pathToUtf8(manifest) + " found");
      if (std::optional<ManifestValues> values = lf_readManifest(manifest)) return values;
    }
    return std::nullopt;
  } catch (const std::exception& error) {
    gf_addScanLog(sk::format("exception in lf_searchManifest: {}", error.what()));
    return std::nullopt;
  }
}

std::string gf_findPublisher(const std::string& sceneryPath, std::optional<ManifestValues>* manifestOut) {
  gf_addScanLog(sk::format("\nTry find publisher in: {}", sceneryPath));
  if (gf_wildcardMatch(sceneryPath, "microsoft-airport") || gf_wildcardMatch(sceneryPath, "asobo-airport")) {
    gf_addScanLog(sk::format("from filename => publisher {}", "simaddon"));
    return "simaddon";
  }
  std::string publisher = gf_publisherOf(sceneryPath);
  if (publisher != "unknown") {
    gf_addScanLog(sk::format("publisher \"{}\" found", publisher));
    return publisher;
  }
  std::optional<ManifestValues> own;
  std::optional<ManifestValues>& manifest = manifestOut ? *manifestOut : own;
  manifest = lf_searchManifest(sceneryPath);
  if (!manifest) {
    gf_addScanLog(sk::format("{}No publisher found", "===> "));
    return "unknown";
  }
  if (!manifest->manufacturer.empty()) {
    publisher = gf_publisherOf(manifest->manufacturer);
    if (publisher != "unknown") {
      gf_addScanLog(sk::format("from manifest.json: manufacturer \"{}\" => publisher \"{}\"", manifest->manufacturer,
                               publisher));
      return publisher;
    }
  }
  if (!manifest->creator.empty()) {
    publisher = gf_publisherOf(manifest->creator);
    if (publisher != "unknown") {
      gf_addScanLog(sk::format("from manifest.json creator \"{}\" => publisher \"{}\"", manifest->creator, publisher));
      return publisher;
    }
  }
  gf_addScanLog(sk::format("no valid info found in manifest about publisher, manufacturer:\"{}\", creator:\"{}\" {}",
                           manifest->manufacturer, manifest->creator, sceneryPath));
  return "unknown";
}
