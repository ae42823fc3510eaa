#include "core/file_save.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core_test_support.h"
#include "platform/process.h"
#include "platform/system.h"

namespace {

std::vector<std::string> names(const std::filesystem::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) found.push_back(entry.path().filename().string());
  std::sort(found.begin(), found.end());
  return found;
}

TEST(ReplaceFile, WritesTheWholeContentAndLeavesNoTemporary) {
  ScratchFolder folder;
  const auto target = folder / "data.xml";
  const auto first = gf_nextReplaceTemporary(target);
  EXPECT_NE(first.filename().string().find(std::to_string(GetCurrentProcessId())), std::string::npos);
  ASSERT_TRUE(gf_replaceFile(target, "old"));
  EXPECT_NE(gf_nextReplaceTemporary(target), first);  // a name per call
  ASSERT_TRUE(gf_replaceFile(target, std::string(100000, 'n')));
  EXPECT_EQ(readBytes(target), std::string(100000, 'n'));
  EXPECT_EQ(names(folder.path()), (std::vector<std::string>{"data.xml"}));

  pugi::xml_document document;
  document.append_child("root").append_attribute("a") = "1";
  ASSERT_TRUE(gf_replaceXmlFile(document, target));
  EXPECT_EQ(readBytes(target), "<?xml version=\"1.0\"?>\n<root a=\"1\" />\n");
}

// Saves killed half-way left temporaries; the next save of their target takes
// away those of processes that are gone, and nothing else.
TEST(ReplaceFile, TheNextSaveRemovesTemporariesOfEndedProcesses) {
  ScratchFolder folder;
  const auto target = folder / "data.xml";
  const std::string gone = "2147480000";  // above any process id the system gives
  ASSERT_FALSE(gf_processRunning(2147480000U));
  ASSERT_TRUE(gf_processRunning(GetCurrentProcessId()));
  const std::string self = std::to_string(GetCurrentProcessId());
  for (const std::string& name : std::vector<std::string>{
           "data.xml." + gone + "-3.tmp", "data.xml." + gone + "-0.tmp", "data.xml." + self + "-99999.tmp",
           "other.xml." + gone + "-1.tmp", "data.xml." + gone + "-x.tmp", "data.xml.backup.tmp"})
    writeBytes(folder / name, "left");
  std::filesystem::create_directory(folder / ("data.xml." + gone + "-4.tmp"));
  ASSERT_TRUE(gf_replaceFile(target, "new"));
  std::vector<std::string> kept{"data.xml",
                                "data.xml." + gone + "-4.tmp",
                                "data.xml." + gone + "-x.tmp",
                                "data.xml." + self + "-99999.tmp",
                                "data.xml.backup.tmp",
                                "other.xml." + gone + "-1.tmp"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(names(folder.path()), kept);
}

TEST(ReplaceFile, FailureKeepsTheTargetAndLeavesNothingBehind) {
  struct Case {
    const char* what;
    bool dirAtTemporary;
    std::string target;  // relative to the scratch folder
  };
  for (const Case& c : {Case{"directory at the temporary", true, "data.xml"},
                        Case{"parent is a file", false, "data.xml/inner.xml"},
                        Case{"missing folder", false, "missing/data.xml"}}) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    writeBytes(folder / "data.xml", "kept\r\n");
    const auto target = folder.path() / c.target;
    const auto temporary = gf_nextReplaceTemporary(target);
    if (c.dirAtTemporary) std::filesystem::create_directory(temporary);
    auto before = names(folder.path());
    EXPECT_FALSE(gf_replaceFile(target, "new"));
    EXPECT_EQ(readBytes(folder / "data.xml"), "kept\r\n");
    EXPECT_EQ(names(folder.path()), before);
    EXPECT_EQ(std::filesystem::is_directory(temporary), c.dirAtTemporary);
  }
}

TEST(ReplaceFile, ThreadsReplacingOneFileNeverShareATemporary) {
  ScratchFolder folder;
  const auto target = folder / "shared.txt";
  std::vector<std::jthread> writers;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      const std::string content(20000, static_cast<char>('a' + t));
      for (int i = 0; i < 50; ++i)
        if (!gf_replaceFile(target, content)) ++failures;
    });
  }
  writers.clear();
  EXPECT_EQ(failures.load(), 0);
  const std::string last = readBytes(target);
  ASSERT_EQ(last.size(), 20000u);
  EXPECT_EQ(last, std::string(20000, last[0]));
  EXPECT_EQ(names(folder.path()), (std::vector<std::string>{"shared.txt"}));
}

}  // namespace
