#include "core/errors.h"

#include <gtest/gtest.h>

TEST(ErrorTypes, TextsCarryTheirCodes) {
  EXPECT_STREQ(qlx::UserErrorException(61, "abc").what(), "61: abc");
  EXPECT_STREQ(qlx::UserErrorException(99, "abc").what(), "abc");
  EXPECT_STREQ(qlx::UserErrorException(99, "").what(), "");
  EXPECT_STREQ(qlx::UserErrorException(0, "").what(), "0: ");
  EXPECT_STREQ(qlx::UserErrorException(-5, "x").what(), "-5: x");
  EXPECT_STREQ(qlx::SysErrorException(40, "abc").what(), "sys error 40: abc");
  EXPECT_STREQ(qlx::SysErrorException(0, "").what(), "sys error 0: ");
  EXPECT_STREQ(qlx::SysErrorException(-3, "y").what(), "sys error -3: y");
}

TEST(ErrorTypes, ConversionErrorKeepsCodeAndDirectionThroughCopyAndBase) {
  try {
    throw win32::Utf8ConversionException("Invalid UTF-8 sequence found in input string.", 1113, 0);
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Invalid UTF-8 sequence found in input string.");
    auto copy = dynamic_cast<const win32::Utf8ConversionException&>(e);
    EXPECT_EQ(copy.errorCode(), 1113u);
    EXPECT_EQ(copy.direction(), 0u);
  }
}
