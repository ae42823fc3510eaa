// The one download path against the stand-in server.
#include "shell/download.h"

#include <chrono>
#include <functional>
#include <future>

#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "download_test_support.h"
#include "shell/run_state.h"
#include "shell/update.h"

namespace {

// Before the first test of this program: a download that forgets its own server
// goes to a closed loopback port, never to the internet.
const bool kClosedServer = gf_setEnvironmentVariable("SKLM_DOWNLOAD_SERVER", dlsrv::gf_closedLoopbackUrl());

using DownloadFetch = DownloadTest;

TEST_F(DownloadFetch, TransferFailuresLeaveNoFile) {
  ASSERT_TRUE(kClosedServer);
  serve("whole.bin", std::string(300000, 'w'));
  serve("short.bin", std::string(300000, 's'));
  serve("broken.bin", "x");
  dlsrv::Fault truncated;
  truncated.truncateAfter = 1000;
  server().setFault("/downloads/short.bin", truncated);
  dlsrv::Fault status;
  status.status = 500;
  server().setFault("/downloads/broken.bin", status);

  // Only a 404 is the server's answer that it has no such file; a refused
  // connection or a body cut short is no answer at all.
  using enum DownloadOutcome;
  struct Row {
    std::string url;
    DownloadOutcome outcome;
  } rows[] = {{dlsrv::gf_closedLoopbackUrl() + "/downloads/whole.bin", NoAnswer},
              {url("whole.bin"), Fetched},
              {url("missing.bin"), NotFound},
              {url("short.bin"), NoAnswer},
              {url("broken.bin"), Failed}};
  HttpSession handle;
  for (const Row& row : rows) {
    const std::filesystem::path target = "got_" + std::filesystem::path(row.url).filename().string();
    std::filesystem::remove(target);
    EXPECT_EQ(gf_downloadOutcome(&handle, row.url, target, true), row.outcome) << row.url;
    EXPECT_EQ(std::filesystem::exists(target), row.outcome == Fetched) << row.url;
  }
  EXPECT_EQ(readBytes("got_whole.bin"), std::string(300000, 'w'));
  for (const auto& request : server().requests()) EXPECT_EQ(request.userAgent, "SKLM") << request.line;
}

TEST_F(DownloadFetch, VersionFileForms) {
  struct Row {
    const char* served;  // null: not on the server
    Version expected;
  } rows[] = {{"10.9.5\r\nnoise", {10, 9, 5}},
              {R"({"major":10,"minor":9,"patch":5})", {10, 9, 5}},
              {"", {}},
              {nullptr, {}}};
  HttpSession handle;
  for (const Row& row : rows) {
    std::filesystem::remove(served() / "release" / "version.json");
    if (row.served) serve("release/version.json", row.served);
    EXPECT_EQ(gf_fetchVersion(&handle, url("release/version.json")), row.expected) << (row.served ? row.served : "404");
    EXPECT_FALSE(std::filesystem::exists(VersionJsonPath));
  }
  EXPECT_TRUE(logged(sk::format("===> downloading \"{}\" failed", url("release/version.json"))));
  // What the start-up waits for, before it waits.
  EXPECT_TRUE(logged(sk::format("asking the download server for \"{}\"", url("release/version.json"))));
}

TEST_F(DownloadFetch, TargetInMissingFolderMakesNoRequest) {
  serve("dbase.zip", "bytes");
  HttpSession handle;
  const std::filesystem::path target = "nowhere/dbase.zip";
  EXPECT_FALSE(gf_download(&handle, url("dbase.zip"), target, true));
  EXPECT_TRUE(logged("could not open output file: nowhere/dbase.zip"));
  EXPECT_TRUE(server().requests().empty());
}

TEST_F(DownloadFetch, AirportFolderFollowsTheMode) {
  const bool saved = MSFS_2020.value;
  const std::string base = server().address() + "/downloads/";
  for (bool mode : {true, false}) {
    MSFS_2020.value = mode;
    EXPECT_EQ(gf_downloadUrl(true), base + "MSFS/");
    EXPECT_EQ(gf_downloadUrl(false), base + (mode ? "MSFS/" : "MSFS2024/"));
  }
  MSFS_2020.value = saved;
}

// A server that accepts and never answers, or trickles slower than the stall
// limit, ends the transfer within the limits as no answer; a trickle faster than
// it ends at the whole bound or under the rate over its stretch, as it would
// have the main loop or the start-up wait for as long as its body lasts; a line
// faster than those goes on to the whole file.
TEST_F(DownloadFetch, AStalledTransferEndsWithinItsLimits) {
  using namespace std::chrono_literals;
  using enum DownloadOutcome;
  const HttpLimits stalls{.connect = 2s, .stall = 2s};
  const HttpLimits whole{.connect = 2s, .stall = 5s, .whole = 6s};
  const HttpLimits rate{.connect = 2s, .stall = 5s, .lowSpeedBytes = 100, .lowSpeedTime = 4s};
  const struct Row {
    const char* name;
    dlsrv::Fault fault;
    HttpLimits limits;
    std::size_t bytes;
    DownloadOutcome outcome;
  } rows[] = {{"silent.bin", {.silent = true}, stalls, 8, NoAnswer},
              {"trickle.bin", {.byteEvery = 8s}, stalls, 8, NoAnswer},
              {"steady.bin", {.byteEvery = 500ms}, stalls, 8, Fetched},
              // 20 s of body, a byte every 2 s.
              {"trickle-whole.bin", {.byteEvery = 2s}, whole, 10, NoAnswer},
              {"trickle-rate.bin", {.byteEvery = 2s}, rate, 10, NoAnswer},
              {"slow-line.bin", {.bytesPerSecond = 400}, rate, 2400, Fetched}};
  for (const Row& row : rows) {
    serve(row.name, std::string(row.bytes, 'b'));
    server().setFault(std::string("/downloads/") + row.name, row.fault);
    HttpSession handle(row.limits);
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(gf_downloadOutcome(&handle, url(row.name), row.name, true), row.outcome) << row.name;
    EXPECT_LT(std::chrono::steady_clock::now() - began, 10s) << row.name;
    EXPECT_EQ(std::filesystem::exists(row.name), row.outcome == Fetched) << row.name;
  }
}

// An exit ends a slow transfer within seconds, and is no failure of it: the
// data base's download says nothing, nor does the airport side's probe, which
// holds nothing back either.
TEST_F(DownloadFetch, ExitEndsASlowTransfer) {
  std::filesystem::create_directories(InputFolder);
  gf_setAirportDownloads({gf_downloadUrl, gf_downloadAirportFile});
  const struct Row {
    const char* name;
    std::function<bool()> endsQuietly;
  } rows[] = {{"slow.bin",
               [&] {
                 HttpSession handle;
                 return gf_downloadOutcome(&handle, url("slow.bin"), "slow.bin", true) ==
                        DownloadOutcome::Cancelled;
               }},
              {"dbase.zip", [] { return !gf_downloadDbase(InputFolder / "temp2.xml"); }},
              {"MSFS/archive/stock/LFCL.xml", [] { return !gf_downloadArchivedAirport("LFCL"); }}};
  for (const Row& row : rows) {
    serve(row.name, std::string(1000, 'z'));
    dlsrv::Fault slow;
    slow.bytesPerSecond = 1;
    server().setFault(std::string("/downloads/") + row.name, slow);
    const std::size_t asked = server().requests().size();
    auto result = std::async(std::launch::async, row.endsQuietly);
    ASSERT_TRUE(server().waitForRequests(asked + 1, std::chrono::seconds(30))) << row.name;
    const auto exitBegan = std::chrono::steady_clock::now();
    gExitStarted = true;
    const bool quiet = result.get();
    const auto took = std::chrono::steady_clock::now() - exitBegan;
    gExitStarted = false;
    EXPECT_TRUE(quiet) << row.name;
    EXPECT_LT(took, std::chrono::seconds(5)) << row.name;
    EXPECT_FALSE(std::filesystem::exists(row.name)) << row.name;
  }
  EXPECT_FALSE(logged("===> downloading dbase failed?"));
  for (const std::string& line : logLines()) {
    EXPECT_EQ(line.find("could not be downloaded"), std::string::npos) << line;
    EXPECT_EQ(line.find("failed to download"), std::string::npos) << line;
  }
  server().setFault("/downloads/MSFS/archive/stock/LFCL.xml", {});
  EXPECT_TRUE(gf_downloadArchivedAirport("LFCL")) << "asked again at once";
  gf_setAirportDownloads({});
}

}  // namespace
