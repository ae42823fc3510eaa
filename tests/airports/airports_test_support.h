#pragma once
// Test helpers of the airport side: a scratch folder that is the current
// folder (the airport files are found relative to it) and a download double.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "airports/archived_files.h"
#include "core/parameters.h"
#include "liveries/data_downloads.h"
#include "liveries/dbase.h"
#include "tests/core/core_test_support.h"

// A scratch folder made the current folder for the test's lifetime.
class WorkFolder {
 public:
  WorkFolder() : m_previous(std::filesystem::current_path()) { std::filesystem::current_path(m_scratch.path()); }
  ~WorkFolder() { std::filesystem::current_path(m_previous); }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  const std::filesystem::path& path() const { return m_scratch.path(); }
  // Writes a file below the folder, making its parents.
  void write(const std::filesystem::path& relative, const std::string& bytes) const {
    std::filesystem::create_directories((path() / relative).parent_path());
    writeBytes(path() / relative, bytes);
  }

 private:
  ScratchFolder m_scratch;
  std::filesystem::path m_previous;
};

// Reads the tool-made scrambled data base of tests/data/airports through the
// data-download hook, into the real tables; call inside a work folder.
inline void seedDataBase() {
  const std::filesystem::path fixture = std::filesystem::path(SKLM_BINARY_DIR) / "scrambled" / "airports_dbase.xml";
  gf_clearDataBase();
  std::filesystem::create_directories("input");
  gf_setDataDownloads({[fixture](const std::filesystem::path& target) {
                         std::error_code error;
                         std::filesystem::copy_file(fixture, target, std::filesystem::copy_options::overwrite_existing,
                                                    error);
                         return !error;
                       },
                       {}});
  gf_readDataBase();
  gf_setDataDownloads({});
}

// Serves URLs below kBase, in the folder layout of the download server, from a folder ("%20" read as a blank) and records
// every URL asked for. Installed for its lifetime.
class DownloadDouble {
 public:
  static constexpr const char* kBase = "https://downloads.test/";

  explicit DownloadDouble(std::filesystem::path served) : m_served(std::move(served)) {
    gf_setAirportDownloads({[](bool force2020) {
                              return std::string(kBase) + (force2020 || MSFS_2020.value ? "MSFS/" : "MSFS2024/");
                            },
                            [this](const std::string& url, const std::filesystem::path& file, bool) {
                              return serve(url, file);
                            }});
  }
  ~DownloadDouble() { gf_setAirportDownloads({}); }

  std::vector<std::string> urls() const {
    std::lock_guard lock(m_mutex);
    return m_urls;
  }
  // Runs on the downloading thread at the start of every download.
  std::function<void()> whileServing;
  // Every download fails so while set: NoAnswer for a server that gives no
  // answer at all (no connection), Failed for an error status of its own,
  // Cancelled for one an exit ended.
  std::atomic<ServerAnswer> failing{ServerAnswer::Fetched};

 private:
  ServerAnswer serve(const std::string& url, const std::filesystem::path& file) {
    if (whileServing) whileServing();
    {
      std::lock_guard lock(m_mutex);
      m_urls.push_back(url);
    }
    if (const ServerAnswer failure = failing.load(); failure != ServerAnswer::Fetched) return failure;
    // As the real downloader does: the file is opened before the transfer.
    writeBytes(file, "");
    std::string relative = url.substr(std::string(kBase).size());
    for (std::size_t at = relative.find("%20"); at != std::string::npos; at = relative.find("%20"))
      relative.replace(at, 3, " ");
    const std::filesystem::path source = m_served / relative;
    if (!std::filesystem::is_regular_file(source)) return ServerAnswer::NotFound;
    writeBytes(file, readBytes(source));
    return std::filesystem::is_regular_file(file) ? ServerAnswer::Fetched : ServerAnswer::Failed;
  }

  std::filesystem::path m_served;
  mutable std::mutex m_mutex;
  std::vector<std::string> m_urls;
};
