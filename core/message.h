#pragma once
// The message line of the main window, seen from the code that has something
// to tell the user. The core never touches the window: it forwards to one sink
// that the shell installs. Without a sink, texts only go to the log.
#include <string>

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void showMessage(const std::string& text, bool toLog) = 0;
  virtual void showError(const std::string& text) = 0;
};

// Installs the sink (null: back to the log-only default). The sink must stay
// alive until it is replaced.
void gf_setMessageSink(MessageSink* sink);

// Shows a message; logs it when toLog is set and the text is not empty.
void gf_showMessage(const std::string& text, bool toLog);
// Shows an error that stays until cleared; always logs "Error {}".
void gf_showError(const std::string& text);
// What the user must learn even when it happens before the window exists (a
// settings file kept aside, a failed save): shown at once when a sink is
// installed, else logged and shown when the next sink is installed.
void gf_showNotice(const std::string& text);
// Empties the message; an error stays.
void gf_clearMessage();
