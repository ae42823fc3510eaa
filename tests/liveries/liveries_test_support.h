#pragma once
// A program folder for one test: a scratch folder made the current folder
// (the program resolves its fixed names against it), with input/ and a log.
#include <filesystem>
#include <string>

#include "core/paths.h"
#include "liveries/data_downloads.h"
#include "tests/core/core_test_support.h"

// The tool-made scrambled fixture of tests/data/liveries/NAME.plain.xml.
inline std::filesystem::path scrambledFixture(const std::string& name) {
  return std::filesystem::path(SKLM_BINARY_DIR) / "scrambled" / (name + ".xml");
}

// A download that copies a file to the target, as the real one unpacks its archive.
inline DataDownload copier(std::filesystem::path source) {
  return [source](const std::filesystem::path& target) {
    std::error_code error;
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, error);
    return !error;
  };
}

class ProgramFolder {
 public:
  ProgramFolder() : m_previous(std::filesystem::current_path()) {
    std::filesystem::current_path(m_scratch.path());
    std::filesystem::create_directories("input");
    std::filesystem::create_directories("output");
    std::filesystem::create_directories(m_scratch.path() / "data");
    gf_setDataFolder(m_scratch.path() / "data");
  }
  ~ProgramFolder() {
    gf_setDataDownloads({});
    gf_setDataFolder({});
    std::filesystem::current_path(m_previous);
  }
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  const std::filesystem::path& path() const { return m_scratch.path(); }

 private:
  ScratchFolder m_scratch;
  std::filesystem::path m_previous;
};
