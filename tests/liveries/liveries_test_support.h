#pragma once
// A program folder for one test: a scratch folder made the current folder
// (the program resolves its fixed names against it), with input/ and a log.
#ifndef _WIN32
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>

#include "core/paths.h"
#include "core/util.h"
#include "liveries/data_downloads.h"
#include "tests/core/core_test_support.h"

// The tool-made scrambled fixture of tests/data/liveries/NAME.plain.xml.
inline std::filesystem::path scrambledFixture(const std::string& name) {
  return std::filesystem::path(SKLM_BINARY_DIR) / "scrambled" / (name + ".xml");
}

#ifndef _WIN32
// Root reads every file and lists every folder whatever its mode: for its
// lifetime the calling thread (and the workers it starts) gives up the two
// capabilities that let it.
class WithoutReadOverride {
 public:
  WithoutReadOverride() {
    ::syscall(SYS_capget, &m_header, m_saved);
    __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
    reduced[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
    ::syscall(SYS_capset, &m_header, reduced);
  }
  ~WithoutReadOverride() { ::syscall(SYS_capset, &m_header, m_saved); }
  WithoutReadOverride(const WithoutReadOverride&) = delete;
  WithoutReadOverride& operator=(const WithoutReadOverride&) = delete;

 private:
  __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct m_saved[2]{};
};
#endif

// A download that copies a file to the target, as the real one unpacks its archive.
inline DataDownload copier(std::filesystem::path source) {
  return [source](const std::filesystem::path& target) {
    std::error_code error;
    return gf_copyFileReplacing(source, target, error);
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
