#pragma once
// Test helpers: a scratch folder per test and a log opened inside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/log.h"
#include "core/message.h"

// A fresh folder under the system's temp folder, removed with its content.
class ScratchFolder {
 public:
  // The suffix ends the folder's name after a blank (a name a user's folder may have).
  explicit ScratchFolder(const std::string& suffix = {}) {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::random_device random;
    // Parameterised tests have a '/' in their names: one folder, never a nest
    // whose parent the removal would leave behind.
    std::string name = std::string("sklm_") + info->test_suite_name() + "_" + info->name() + "_" +
                       std::to_string(random());
    std::replace(name.begin(), name.end(), '/', '_');
    if (!suffix.empty()) name += " " + suffix;
    m_path = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(m_path);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

inline std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The text with each "\n" as the line end the program's text files have:
// "\r\n" on Windows.
inline std::string withLineEnds(std::string_view text) {
#ifdef _WIN32
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
#else
  return std::string(text);
#endif
}

// The lines of a file split at '\n' (a last line without '\n' counts too).
// On Windows the files the program writes as text end their lines with "\r\n".
inline std::vector<std::string> fileLines(const std::filesystem::path& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
#ifdef _WIN32
    if (line.ends_with('\r')) line.pop_back();
#endif
    lines.push_back(line);
  }
  return lines;
}

// Opens Log.txt in a scratch folder; lines() gives what was logged after the header.
class LogCapture {
 public:
  LogCapture() { gf_startLog(m_folder / "Log.txt"); }
  ~LogCapture() { gf_closeLog(); }
  std::vector<std::string> lines() const {
    auto all = fileLines(m_folder / "Log.txt");
    if (!all.empty()) all.erase(all.begin());
    return all;
  }

 private:
  ScratchFolder m_folder;
};

// Records what reaches the message line.
struct RecordingSink : MessageSink {
  std::vector<std::string> messages;
  std::vector<std::string> errors;
  RecordingSink() { gf_setMessageSink(this); }
  ~RecordingSink() override { gf_setMessageSink(nullptr); }
  void showMessage(const std::string& text, bool) override { messages.push_back(text); }
  void showError(const std::string& text) override { errors.push_back(text); }
};
