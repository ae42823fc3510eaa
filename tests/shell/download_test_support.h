#pragma once
// Downloads against the stand-in server: a scratch tree holding the program's
// folder (the current folder during the test) and the server's folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "../core/core_test_support.h"
#include "core/paths.h"
#include "platform/system.h"
#include "tools/dlserver/archive_writer.h"
#include "tools/dlserver/dlserver.h"

class DownloadTest : public testing::Test {
 protected:
  void SetUp() override {
    m_scratch.emplace();
    m_previousFolder = std::filesystem::current_path();
    std::filesystem::create_directories(program() / AirportsFolder);
    std::filesystem::create_directories(served());
    std::filesystem::current_path(program());
    gf_setDataFolder(program());
    gf_startLog(m_scratch->path() / "Log.txt");
    m_headerSize = readBytes(m_scratch->path() / "Log.txt").size();
    m_server.emplace(m_scratch->path() / "server");
    gf_setEnvironmentVariable("SKLM_DOWNLOAD_SERVER", m_server->address());
  }

  void TearDown() override {
    gf_setEnvironmentVariable("SKLM_DOWNLOAD_SERVER", dlsrv::gf_closedLoopbackUrl());
    m_server.reset();
    gf_closeLog();
    gf_setDataFolder({});
    std::filesystem::current_path(m_previousFolder);
    m_scratch.reset();
  }

  std::filesystem::path root() const { return m_scratch->path(); }
  std::filesystem::path program() const { return m_scratch->path() / "program"; }
  std::filesystem::path served() const { return m_scratch->path() / "server" / "downloads"; }
  dlsrv::DownloadServer& server() { return *m_server; }
  std::string url(const std::string& name) const { return m_server->address() + "/downloads/" + name; }

  void serve(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories((served() / name).parent_path());
    writeBytes(served() / name, bytes);
  }
  void serveArchive(const std::string& name, const std::vector<dlsrv::ArchiveEntry>& entries) {
    dlsrv::gf_writeArchive(served() / name, entries);
  }
  // An archive whose entry `damaged` holds other bytes than its CRC says.
  void serveDamagedArchive(const std::string& name, const std::vector<dlsrv::ArchiveEntry>& entries,
                           std::size_t damaged) {
    serveArchive(name, entries);
    std::string bytes = readBytes(served() / name);
    const auto at = bytes.find(entries.at(damaged).bytes);
    ASSERT_NE(at, std::string::npos);
    bytes[at] ^= 0x5A;
    writeBytes(served() / name, bytes);
  }
  static std::string randomBytes(std::size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
  }

  std::vector<std::string> logLines() const {
    auto text = readBytes(m_scratch->path() / "Log.txt").substr(m_headerSize);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
      auto end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
#ifdef _WIN32
      if (line.ends_with('\r')) line.pop_back();  // the program's text files end their lines with "\r\n"
#endif
      lines.push_back(std::move(line));
      start = end + 1;
    }
    return lines;
  }
  bool logged(const std::string& line) const {
    const auto lines = logLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // Request lines the server saw for one path.
  std::size_t requestsFor(const std::string& name) const {
    const auto all = m_server->requests();
    return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [&](const dlsrv::Request& r) {
      return r.line == "GET /downloads/" + name + " HTTP/1.1";
    }));
  }

  // Every file under a folder with its bytes (folders as empty-named entries).
  static std::map<std::string, std::string> tree(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      const auto relative = std::filesystem::relative(entry.path(), folder).generic_string();
      files[relative] = entry.is_regular_file() ? readBytes(entry.path()) : std::string("<dir>");
    }
    return files;
  }

 private:
  std::optional<ScratchFolder> m_scratch;
  std::optional<dlsrv::DownloadServer> m_server;
  std::filesystem::path m_previousFolder;
  std::size_t m_headerSize = 0;
};
