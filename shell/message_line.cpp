#include "shell/message_line.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "shell/app_state.h"
#include "shell/status_area.h"

namespace {

constexpr int kMessageAge = 25;
constexpr int kTextX = 3;
constexpr int kTextY = 455;

// Under the message mutex. InvalidateRect only records the region, so no paint
// (which takes the same mutex) can run inside it.
void lf_invalidateLine() {
  gf_invalidateMain(kMessageRect);
}

class WindowMessageLine : public MessageSink {
 public:
  void showMessage(const std::string& text, bool toLog) override {
    std::lock_guard lock(gAppState.messageMutex);
    if (!gAppState.errorText.empty()) return;
    gAppState.messageText = text;
    gAppState.messageStartCount = text.empty() ? 0 : std::max(1, gAppState.messageSeconds);
    if (toLog && !text.empty()) gf_logText(text);
    lf_invalidateLine();
  }

  void showError(const std::string& text) override {
    std::lock_guard lock(gAppState.messageMutex);
    gAppState.messageText.clear();
    gAppState.messageStartCount = 0;
    gAppState.errorText = text;
    gf_logText(sk::format("Error {}", text));
    lf_invalidateLine();
  }
};

WindowMessageLine messageLine;

}  // namespace

void gf_installMessageLine() {
  gf_setMessageSink(&messageLine);
}

void gf_messageSecondTick() {
  std::lock_guard lock(gAppState.messageMutex);
  ++gAppState.messageSeconds;
  // Cleared here under the same lock, so a message shown meanwhile is never
  // taken for the old one.
  if (gAppState.messageStartCount >= 1 &&
      gAppState.messageSeconds - gAppState.messageStartCount >= kMessageAge) {
    gAppState.messageText.clear();
    gAppState.messageStartCount = 0;
    lf_invalidateLine();
  }
}

void gf_clearError() {
  std::lock_guard lock(gAppState.messageMutex);
  gAppState.errorText.clear();
  gAppState.messageText.clear();
  gAppState.messageStartCount = 0;
  lf_invalidateLine();
}

void gf_paintMessageLine() {
  std::lock_guard lock(gAppState.messageMutex);
  const bool error = !gAppState.errorText.empty();
  FillRect(gAppState.paintDc, &kMessageRect, error ? gAppState.redBrush : gAppState.greenBrush);
  const std::string& text = error ? gAppState.errorText : gAppState.messageText;
  if (!text.empty()) lf_textOut(kTextX, kTextY, text, kYellow);
}
