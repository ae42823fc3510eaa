#include "core/message.h"

#include <atomic>
#include <mutex>

#include "core/format.h"
#include "core/log.h"

namespace {

std::atomic<MessageSink*> currentSink{nullptr};

std::mutex gPendingMutex;
std::string gPendingNotice;  // the latest notice given while no sink was installed

}  // namespace

void gf_setMessageSink(MessageSink* sink) {
  currentSink.store(sink);
  if (!sink) return;
  std::string pending;
  {
    std::lock_guard lock(gPendingMutex);
    pending.swap(gPendingNotice);
  }
  if (!pending.empty()) sink->showMessage(pending, false);  // logged when it was given
}

void gf_showNotice(const std::string& text) {
  if (MessageSink* sink = currentSink.load()) {
    sink->showMessage(text, true);
    return;
  }
  gf_logText(text);
  std::lock_guard lock(gPendingMutex);
  gPendingNotice = text;
}

void gf_showMessage(const std::string& text, bool toLog) {
  if (MessageSink* sink = currentSink.load()) {
    sink->showMessage(text, toLog);
  } else if (toLog && !text.empty()) {
    gf_logText(text);
  }
}

void gf_showError(const std::string& text) {
  if (MessageSink* sink = currentSink.load()) {
    sink->showError(text);
  } else {
    gf_logText(sk::format("Error {}", text));
  }
}

void gf_clearMessage() { gf_showMessage(std::string(), true); }
