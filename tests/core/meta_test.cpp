#include "core/meta.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/clock.h"
#include "core/parameters.h"
#include "core_test_support.h"

namespace {

using Items = std::vector<std::pair<std::string, std::string>>;

Items metaItems(const pugi::xml_document& document) {
  Items items;
  for (auto info : document.child("meta").children("info"))
    items.emplace_back(info.attribute("name").value(), info.attribute("value").value());
  return items;
}

pugi::xml_document parse(const char* text) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_string(text));
  return document;
}

int countLine(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

TEST(MetaBlock, WrittenIn2024ModeBeforeTheFilesOwnRoot) {
  const bool mode = MSFS_2020.value;
  MSFS_2020.value = false;
  pugi::xml_document document;
  ASSERT_TRUE(gf_writeMeta(document));
  document.append_child("liveries");
  MSFS_2020.value = mode;

  EXPECT_EQ(metaItems(document), (Items{{"author", "Skylume"},
                                        {"version", "10.9.4"},
                                        {"date", gf_dateStamp()},
                                        {"copyright", meta::copyright.value()},
                                        {"MSFS", "2024"}}));
  EXPECT_FALSE(meta::copyright.value().empty());

  // Saved and read back, the file has meta first, then its own root.
  std::ostringstream saved;
  document.save(saved);
  pugi::xml_document reread = parse(saved.str().c_str());
  EXPECT_STREQ(reread.first_child().name(), "meta");
  EXPECT_STREQ(reread.first_child().next_sibling().name(), "liveries");
  EXPECT_TRUE(gf_checkMeta(reread));
  EXPECT_EQ(meta::version.value(), "10.9.4");
  EXPECT_EQ(meta::author.value(), "Skylume");
}

TEST(MetaBlock, WrittenIn2020Mode) {
  const bool mode = MSFS_2020.value;
  MSFS_2020.value = true;
  pugi::xml_document document;
  ASSERT_TRUE(gf_writeMeta(document));
  MSFS_2020.value = mode;
  EXPECT_EQ(metaItems(document).back(), (std::pair<std::string, std::string>{"MSFS", "2020"}));
}

TEST(MetaBlock, ItemPath) { EXPECT_EQ(gf_metaItemPath("version"), "/meta/info[@name='version']"); }

TEST(MetaCheck, MissingItemFailsWithOneLogLine) {
  LogCapture log;
  const auto document = parse(
      "<meta><info name=\"author\" value=\"Skylume\"/><info name=\"version\" value=\"10.9.4\"/></meta>"
      "<liveries/>");
  EXPECT_FALSE(gf_checkMeta(document));
  EXPECT_EQ(countLine(log.lines(), "===> meta data incorrect?"), 1);
  EXPECT_EQ(log.lines().size(), 1u);

  EXPECT_FALSE(gf_checkMeta(parse("<liveries/>")));
  EXPECT_EQ(meta::author.value(), "");
  EXPECT_EQ(countLine(log.lines(), "===> meta data incorrect?"), 2);
}

TEST(MetaCheck, OnlyPresenceCounts) {
  LogCapture log;
  meta::date.setValue("stale");
  const auto document = parse(
      "<meta><info name=\"author\" value=\"Someone\"/><info name=\"date\"/>"
      "<info name=\"version\" value=\"1.2.3\"/></meta>");
  EXPECT_TRUE(gf_checkMeta(document));
  EXPECT_EQ(meta::date.value(), "");
  EXPECT_EQ(meta::version.value(), "1.2.3");
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
