#include "core/version.h"

#include <gtest/gtest.h>

namespace {

Version lf_v(int major, int minor, int patch) { return {major, minor, patch}; }

}  // namespace

TEST(Version, ParsesDottedTextWithAnySingleSeparator) {
  EXPECT_EQ(gf_parseVersion("10.9.4"), lf_v(10, 9, 4));
  EXPECT_EQ(gf_parseVersion("10-9-4"), lf_v(10, 9, 4));
  EXPECT_EQ(gf_parseVersion("10 9 4"), lf_v(10, 9, 4));
  // Five digits: the second and fourth stand where the dots would be.
  EXPECT_EQ(gf_parseVersion("12345"), lf_v(1, 3, 5));
}

TEST(Version, WindowsLineEndReadsLikeUnixOne) {
  EXPECT_EQ(gf_parseVersion("10.9.4\r"), lf_v(10, 9, 4));
  EXPECT_EQ(gf_parseVersion("10.9.4\r\n"), lf_v(10, 9, 4));
  EXPECT_EQ(gf_parseVersion("10.9.4\n"), lf_v(10, 9, 4));
  EXPECT_EQ(gf_parseVersion("{\"major\":1,\"minor\":2,\"patch\":3}\r\n"), lf_v(1, 2, 3));
}

TEST(Version, MalformedTextGivesZeroOrThePartReadBeforeTheFailure) {
  EXPECT_EQ(gf_parseVersion(""), Version{});
  EXPECT_EQ(gf_parseVersion("\r\n"), Version{});
  EXPECT_EQ(gf_parseVersion("v10.9.4"), Version{});
  EXPECT_EQ(gf_parseVersion("10.9.4 "), Version{});
  EXPECT_EQ(gf_parseVersion("1.2.3.4"), Version{});
  EXPECT_EQ(gf_parseVersion("10"), Version{});
  EXPECT_EQ(gf_parseVersion("99999999999.1.2"), Version{});
  EXPECT_EQ(gf_parseVersion("1.99999999999.2"), lf_v(1, 0, 0));
}

TEST(Version, HugeLineIsRefusedWithoutExhaustingTheStack) {
  EXPECT_EQ(gf_parseVersion(std::string(100000, '1') + ".2.3"), Version{});
  // Long texts are still read as JSON.
  EXPECT_EQ(gf_parseVersion("{\"major\":1," + std::string(1000, ' ') + "\"minor\":2,\"patch\":3}"),
            lf_v(1, 2, 3));
}

TEST(Version, ParsesJsonObjectMembersByName) {
  EXPECT_EQ(gf_parseVersion(R"({"patch":4,"major":10,"minor":9})"), lf_v(10, 9, 4));
  EXPECT_EQ(gf_parseVersion(R"({"major":2,"minor":5})"), lf_v(2, 5, 0));
  EXPECT_EQ(gf_parseVersion(R"({"major":3.9,"minor":-1,"patch":7})"), lf_v(3, -1, 7));
  EXPECT_EQ(gf_parseVersion(R"({"major":1,"minor":"2","patch":3})"), lf_v(1, 0, 0));
  EXPECT_EQ(gf_parseVersion(R"({"major":true,"minor":2,"patch":3})"), Version{});
  // Numbers beyond int are refused rather than cast.
  EXPECT_EQ(gf_parseVersion(R"({"major":1,"minor":1e300,"patch":3})"), lf_v(1, 0, 0));
  EXPECT_EQ(gf_parseVersion(R"({"major":1,"minor":2,"patch":18446744073709551615})"), lf_v(1, 2, 0));
  EXPECT_EQ(gf_parseVersion(R"({"major":-9223372036854775808,"minor":2,"patch":3})"), Version{});
  EXPECT_EQ(gf_parseVersion(R"({"major":1,)"), Version{});
}

TEST(Version, OrdersNumericallyFieldByField) {
  EXPECT_GT(lf_v(10, 10, 0), lf_v(10, 9, 4));
  EXPECT_GT(lf_v(10, 9, 4), lf_v(10, 8, 99));
  EXPECT_GT(lf_v(11, 0, 0), lf_v(10, 99, 99));
  EXPECT_LT(lf_v(10, 9, 3), lf_v(10, 9, 4));
  EXPECT_LT(lf_v(-1, 5, 5), lf_v(0, 0, 0));
  EXPECT_GT(gf_parseVersion("10.10.0"), gf_parseVersion("10.9.4"));
  EXPECT_NE(lf_v(10, 9, 4), lf_v(10, 9, 5));
}

TEST(Version, TextFormAndProgramVersion) {
  EXPECT_EQ(gf_versionToString(Version{}), "0.0.0");
  EXPECT_EQ(gf_versionToString(lf_v(-1, 20, -300)), "-1.20.-300");
  EXPECT_EQ(gf_formatVersion(lf_v(10, 9, 4)), "10.9.4");
  EXPECT_EQ(ProgramVersion, gf_parseVersion("10.9.4"));
  EXPECT_EQ(gf_versionToString(ProgramVersion), "10.9.4");
}
