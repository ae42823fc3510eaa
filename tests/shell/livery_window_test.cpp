#include "shell/livery_window.h"

#include <gtest/gtest.h>

#include "liveries/livery_window.h"
#include "shell/app_state.h"

namespace {

TEST(LiveryWindowTest, ProcessingReachesTheStatusArea) {
  gf_installLiveryWindow();
  const LiveryWindow& window = gf_liveryWindow();
  ASSERT_TRUE(window.showLiveryCount && window.redrawStatus && window.enableCategoryCheckbox &&
              window.checkScanLiveries);
  window.showLiveryCount(1234);
  EXPECT_EQ(gAppState.liveryCount.load(), 1234);
  gf_setLiveryWindow({});
}

}  // namespace
