#include <gtest/gtest.h>

#include "core/util.h"
#include "core_test_support.h"

using Pieces = std::vector<std::string>;

TEST(UtilText, TrimRemovesOnlyOuterBlanksTabsAndLineEnds) {
  EXPECT_EQ(gf_trim(""), "");
  EXPECT_EQ(gf_trim("   "), "");
  EXPECT_EQ(gf_trim("\t\r\n\t"), "");
  EXPECT_EQ(gf_trim(" \tA B\r\n"), "A B");
  EXPECT_EQ(gf_trim("x"), "x");
}

TEST(UtilText, SplittersFollowGetlineRulesAndTrimPieces) {
  EXPECT_EQ(gf_splitComma(""), Pieces{});
  EXPECT_EQ(gf_splitComma(","), Pieces{""});
  EXPECT_EQ(gf_splitComma(",,"), (Pieces{"", ""}));
  EXPECT_EQ(gf_splitComma(" A , B"), (Pieces{"A", "B"}));
  EXPECT_EQ(gf_splitComma("A,B,"), (Pieces{"A", "B"}));
  EXPECT_EQ(gf_splitComma("A,  "), (Pieces{"A", ""}));
  EXPECT_EQ(gf_splitComma("A x,\tB\r"), (Pieces{"A x", "B"}));
  EXPECT_EQ(lf_splitComma("a, b"), (Pieces{"a", "b"}));
  EXPECT_EQ(gf_splitSemicolon("Title ; D-ABCD,D-EFGH ;#"), (Pieces{"Title", "D-ABCD,D-EFGH", "#"}));
  EXPECT_EQ(gf_splitSemicolon("a,b"), Pieces{"a,b"});
}

TEST(UtilText, SplitCommaToListSortsAndDropsDuplicates) {
  EXPECT_EQ(gf_splitCommaToList("B, A, B"), (std::list<std::string>{"A", "B"}));
  EXPECT_EQ(gf_splitCommaToList("b,B,a"), (std::list<std::string>{"B", "a", "b"}));
  EXPECT_TRUE(gf_splitCommaToList("").empty());
}

TEST(UtilText, NormalizeListRemovesBlanksAroundCommasOnly) {
  std::string text = "X, Y ,Z";
  gf_normalizeList(text);
  EXPECT_EQ(text, "X,Y,Z");
  text = " New York , Paris";
  gf_normalizeList(text);
  EXPECT_EQ(text, "New York,Paris");
  text = "  single ";
  gf_normalizeList(text);
  EXPECT_EQ(text, "single");
  text = "a,,b";  // nothing to trim: untouched
  gf_normalizeList(text);
  EXPECT_EQ(text, "a,,b");
  text = " , ";
  gf_normalizeList(text);
  EXPECT_EQ(text, ",");
}

TEST(UtilText, BetweenQuotesAndSplitAtColon) {
  EXPECT_EQ(gf_betweenQuotes("title = \"Airbus A320\" ; x"), "Airbus A320");
  EXPECT_EQ(gf_betweenQuotes("no quotes"), "no quotes");
  EXPECT_EQ(gf_betweenQuotes("only \" one"), "");
  EXPECT_EQ(gf_betweenQuotes("\"\"adjacent\""), "");

  std::string rest = "old";
  EXPECT_EQ(gf_splitAtColon("nocolon", rest), "nocolon");
  EXPECT_EQ(rest, "old");
  EXPECT_EQ(gf_splitAtColon("head:tail", rest), "head");
  EXPECT_EQ(rest, "tail");
  rest = "old";
  EXPECT_EQ(gf_splitAtColon("a:b:c", rest), "a");
  EXPECT_EQ(rest, "old");
  EXPECT_EQ(gf_splitAtColon("a:", rest), "a");
  EXPECT_EQ(rest, "");
}

TEST(UtilText, EqualsUppercasesOnlyTheSecondText) {
  EXPECT_TRUE(gf_equals("MAX_LIVE", "max_live"));
  EXPECT_FALSE(gf_equals("max_live", "max_live"));
  EXPECT_TRUE(gf_equalsStarred("A320", "A320*"));
  EXPECT_FALSE(gf_equalsStarred("A320", "A320"));
  EXPECT_FALSE(gf_equalsStarred("A320", "A321*"));
  EXPECT_FALSE(gf_equalsStarred("A320", "A320**"));
  EXPECT_TRUE(gf_equalsStarred("", "*"));
}

TEST(UtilText, EncodingNamesByCode) {
  const std::vector<std::string_view> names{"ANSI", "Unicode", "Unicode_big_endian", "UTF8_with_BOM",
                                            "UTF8_without_BOM", "none_found"};
  for (int code = ENC_ANSI; code <= ENC_NONE_FOUND; ++code) EXPECT_EQ(gf_encodingName(code), names[code]);
  EXPECT_EQ(gf_encodingName(-1), "none_found");
  EXPECT_EQ(gf_encodingName(6), "none_found");
}

TEST(UtilText, FormatDecimal) {
  EXPECT_EQ(gf_formatDecimal(3.0f), "3");
  EXPECT_EQ(gf_formatDecimal(2.5f), "2.5");
  EXPECT_EQ(gf_formatDecimal(0.0f), "0");
  EXPECT_EQ(gf_formatDecimal(23.75f), "23.8");
}

TEST(UtilText, HoursListAndJoinAreInverse) {
  LogCapture log;
  SlotSet slots = lf_hours2bitset("3,4,40");
  EXPECT_EQ(gf_join(slots), "3,4,40");
  EXPECT_EQ(lf_hours2bitset(" 0, 47"), SlotSet().set(0).set(47));
  EXPECT_EQ(gf_join(SlotSet().set(0).set(47)), "0,47");
  EXPECT_EQ(gf_join(SlotSet()), "");
  EXPECT_TRUE(lf_hours2bitset("").none());
  EXPECT_TRUE(log.lines().empty());
}

TEST(UtilText, HoursListStopsAtTheFirstBadPieceAndLogsIt) {
  LogCapture log;
  EXPECT_EQ(lf_hours2bitset("1,2,48,3"), SlotSet().set(1).set(2));
  EXPECT_EQ(lf_hours2bitset("5,x,6"), SlotSet().set(5));
  EXPECT_EQ(lf_hours2bitset("7,99999999999,8"), SlotSet().set(7));
  EXPECT_EQ(lf_hours2bitset("-1"), SlotSet());
  EXPECT_EQ(lf_hours2bitset("9abc,10"), SlotSet().set(9).set(10));
  EXPECT_EQ(log.lines(), (Pieces{"===> exception invalid bitset position in lf_hours2bitset",
                                 "===> exception invalid stoi argument in lf_hours2bitset",
                                 "===> exception stoi argument out of range in lf_hours2bitset",
                                 "===> exception invalid bitset position in lf_hours2bitset"}));
}

TEST(UtilText, BannerLine) {
  const std::string stars34(34, '*');
  EXPECT_EQ(gf_bannerLine(70, 0, false, false, "parameters"), stars34 + " parameters " + stars34);
  EXPECT_EQ(gf_bannerLine(70, 0, true, false, "parameters"), "\n" + stars34 + " parameters " + stars34);
  EXPECT_EQ(gf_bannerLine(70, 10, false, true, ""), std::string(80, '*') + "\n");
  EXPECT_EQ(gf_bannerLine(7, 0, false, false, ""), std::string(8, '*'));  // odd widths round up
  EXPECT_EQ(gf_bannerLine(10, 0, true, false, "12345678"), "12345678");  // too narrow: title alone
  EXPECT_EQ(gf_bannerLine(11, 0, false, false, "abc"), "***** abc *****");
}

TEST(UtilText, WinsockErrorTexts) {
  EXPECT_EQ(gf_wsaErrorText(10061), "10061 Connection refused");
  EXPECT_EQ(gf_wsaErrorText(10058), "10058 Can't send numLines socket shutdown");
  EXPECT_EQ(gf_wsaErrorText(11004), "11004 No host data of that type was found");
  EXPECT_EQ(gf_wsaErrorText(11002), "11002 Unknown errror code");
  EXPECT_EQ(gf_wsaErrorText(-1), "-1 Unknown errror code");
}
