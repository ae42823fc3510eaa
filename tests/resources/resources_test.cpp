#include "resources/resources.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/window.h"

namespace {

// On Windows the program file carries the resources (resources/skylume.rc);
// on Linux the program registers them with the window layer.
TEST(Resources, TheProgramNameAndIconComeThroughTheWindowLayer) {
  gf_registerResources();
  const HINSTANCE instance = gf_programInstance();
  WCHAR name[64] = {};
  EXPECT_EQ(LoadStringW(instance, IDS_APP_TITLE, name, 64), 7);
  EXPECT_TRUE(std::basic_string<WCHAR>(name) == TEXT("Skylume"));

  const HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SKYLUME));
  ASSERT_NE(icon, nullptr);
  EXPECT_NE(icon, LoadIconW(instance, MAKEINTRESOURCEW(101))) << "another id is the stock icon";
  EXPECT_EQ(icon, LoadIconW(instance, MAKEINTRESOURCEW(IDI_SKYLUME))) << "one handle";
}

#ifdef _WIN32
// The manifest makes UTF-8 the code page of the narrow system calls.
TEST(Resources, TheManifestMakesUtf8TheActiveCodePage) {
  EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}
#endif

}  // namespace
