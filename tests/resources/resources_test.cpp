#include "resources/resources.h"

#include <gtest/gtest.h>

#include "platform/window.h"

namespace {

TEST(Resources, TheProgramNameAndIconComeThroughTheWindowLayer) {
  gf_registerResources();
  WCHAR name[64] = {};
  EXPECT_EQ(LoadStringW(nullptr, IDS_APP_TITLE, name, 64), 7);
  EXPECT_EQ(std::u16string(name), u"Skylume");

  const HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_SKYLUME));
  ASSERT_NE(icon, nullptr);
  EXPECT_NE(icon, LoadIconW(nullptr, MAKEINTRESOURCEW(101))) << "another id is the stock icon";
  EXPECT_EQ(icon, LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_SKYLUME))) << "one handle";
}

}  // namespace
