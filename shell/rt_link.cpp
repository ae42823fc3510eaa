#include "shell/rt_link.h"

#include "core/format.h"
#include "core/message.h"
#include "shell/startup.h"

std::atomic<bool> gRtClientConnected{false};

void gf_readerStopped(bool traffic, const std::string& error) {
  // "TrafficReader " keeps its trailing blank: the text has always read that way.
  gf_showMessage(sk::format("The {} has stopped with an error: {}", traffic ? "TrafficReader " : "WeatherReader",
                            error),
                 true);
  gReaderError.store(true);
}
