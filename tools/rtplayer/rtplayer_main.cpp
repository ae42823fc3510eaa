// rtplayer: plays a replay file to Skylume as RealTraffic would, over UDP and the TCP link.
#include <condition_variable>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "core/format.h"
#include "tools/rtplayer/link.h"
#include "tools/rtplayer/options.h"
#include "tools/rtplayer/replay.h"
#include "tools/rtplayer/schedule.h"
#include "tools/rtplayer/udp_sink.h"

namespace {

using namespace rtplay;

// The link runs beside the replay; whatever ends main stops and joins it.
class LinkThread {
 public:
  LinkThread(const PlayerOptions& options, std::ostream& records) {
    LinkObserver observer;
    observer.record = [&records](std::string_view message) {
      records.write(message.data(), static_cast<std::streamsize>(message.size()));
      records.flush();
    };
    observer.note = [](std::string_view text) { std::cerr << "link: " << text << '\n'; };
    observer.versionAnswered = [this] {
      std::lock_guard lock(m_mutex);
      m_versionAnswered = true;
      m_changed.notify_all();
    };
    m_client = std::make_unique<RtLinkClient>(options.address, options.linkPort,
                                              VersionInfo{.edition = options.edition}, std::move(observer));
    m_thread = std::thread([this] {
      try {
        m_client->run();
      } catch (const std::exception& e) {
        std::cerr << "link: " << e.what() << '\n';
      }
    });
  }
  ~LinkThread() {
    m_client->stop();
    m_thread.join();
  }
  void waitForVersion() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_versionAnswered; });
  }

 private:
  std::unique_ptr<RtLinkClient> m_client;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_versionAnswered = false;
  std::thread m_thread;
};

int lf_play(const PlayerOptions& options) {
  const auto replay = gf_readReplayFile(options.replayFile);
  for (const auto& warning : replay.warnings) std::cerr << warning << '\n';

  std::ofstream recordFile;
  if (options.recordFile) {
    recordFile.open(*options.recordFile, std::ios::binary | std::ios::app);
    if (!recordFile) {
      std::cerr << sk::format("cannot open {}\n", options.recordFile->string());
      return 1;
    }
  }
  UdpSink sink(options.address, options.trafficPort, options.pressurePort);
  std::unique_ptr<LinkThread> link;
  if (options.link) link = std::make_unique<LinkThread>(options, options.recordFile ? recordFile : std::cout);
  if (options.waitForVersion) {
    std::cerr << "waiting for Skylume to ask for the version\n";
    link->waitForVersion();
  }

  SystemReplayClock clock;
  std::cerr << sk::format("playing {} lines to {}{}\n", replay.items.size(), gf_ipv4Text(options.address),
                          options.play.loop ? ", looped" : "");
  const auto sent = gf_playReplay(replay, options.play, clock, sink);
  std::cerr << sk::format("{} datagrams sent\n", sent);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const auto options = rtplay::gf_parsePlayerOptions({argv + 1, argv + argc});
    if (options.help) {
      std::cout << rtplay::kPlayerUsage;
      return 0;
    }
    return lf_play(options);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
}
