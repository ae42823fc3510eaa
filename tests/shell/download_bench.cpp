// Download and unpacking of a 100 MB archive from the stand-in server: throughput
// of the installer path (streamed) and of a data archive (read whole), and the
// peak memory the streamed unpacking adds. Prints numbers, never fails.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/errors.h"
#include "core/log.h"
#include "core/paths.h"
#include "platform/system.h"
#include "shell/download.h"
#include "shell/update.h"
#include "tools/dlserver/archive_writer.h"
#include "tools/dlserver/dlserver.h"

namespace {

constexpr std::uint64_t kSize = 100ULL * 1000 * 1000;

// kB from /proc/self/status ("VmRSS", "VmHWM").
long lf_statusKb(const std::string& key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
  }
  return -1;
}

// Lets VmHWM start again from the current resident size.
void lf_resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double lf_seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  std::random_device random;
  const auto scratch = std::filesystem::temp_directory_path() / ("sklm_download_bench_" + std::to_string(random()));
  const auto served = scratch / "server" / "downloads";
  std::filesystem::create_directories(scratch / "program");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(scratch / "program");
  gf_setDataFolder(scratch / "program");
  gf_startLog(scratch / "Log.txt");
  {
    dlsrv::gf_writeLargeArchive(served / "release" / "setup_Skylume_d_v99.0.0.zip", "setup.exe", kSize);
    std::ofstream(served / "release" / "version.json") << "99.0.0\r\n";
    std::filesystem::copy_file(served / "release" / "setup_Skylume_d_v99.0.0.zip", served / "dbase.zip");
    dlsrv::DownloadServer server(scratch / "server");
    gf_setEnvironmentVariable("SKLM_DOWNLOAD_SERVER", server.address());

    {
      HttpSession handle;
      const auto start = std::chrono::steady_clock::now();
      const bool ok = gf_download(&handle, gf_downloadBase() + "dbase.zip", "plain.zip", true);
      const double seconds = lf_seconds(start);
      std::printf("download alone: %s, %.0f MB in %.2f s: %.0f MB/s\n", ok ? "ok" : "FAILED", kSize / 1e6, seconds,
                  kSize / 1e6 / seconds);
      std::filesystem::remove("plain.zip");
    }
    const long startRss = lf_statusKb("VmRSS");
    lf_resetPeak();
    auto start = std::chrono::steady_clock::now();
    bool ready = false;
    try {
      gf_checkProgramUpdate();
    } catch (const qlx::UserErrorException&) {
      ready = true;
    }
    const double installerSeconds = lf_seconds(start);
    const long peak = lf_statusKb("VmHWM");
    std::printf("installer: %s, %.0f MB downloaded and unpacked (streamed) in %.2f s: %.0f MB/s\n",
                ready ? "ready" : "FAILED", kSize / 1e6, installerSeconds, kSize / 1e6 / installerSeconds);
    std::printf("installer: peak resident memory %.1f MB above its start (%s)\n", (peak - startRss) / 1024.0,
                peak < 0 ? "no /proc" : "VmHWM - VmRSS");

    start = std::chrono::steady_clock::now();
    const bool dbase = gf_downloadDbase("temp2.xml");
    const double dbaseSeconds = lf_seconds(start);
    std::printf("dbase: %s, %.0f MB downloaded and unpacked (whole) in %.2f s: %.0f MB/s\n", dbase ? "ok" : "FAILED",
                kSize / 1e6, dbaseSeconds, kSize / 1e6 / dbaseSeconds);
  }
  gf_closeLog();
  gf_setDataFolder({});
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(scratch);
  return 0;
}
