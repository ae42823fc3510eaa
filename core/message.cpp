#include "core/message.h"

#include <atomic>

#include "core/format.h"
#include "core/log.h"

namespace {

std::atomic<MessageSink*> currentSink{nullptr};

}  // namespace

void gf_setMessageSink(MessageSink* sink) { currentSink.store(sink); }

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
