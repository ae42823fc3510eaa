// Benchmark: the stand-in program and this client, in two processes, exchange
// position sets for many aircraft at the simulator's frame rate, the way the
// Frame flush sends them. Prints the measured rate and how far the simulator
// lagged behind.
//
// usage: simconnect_bench [aircraft] [seconds] [frame rate]   (default 300 10 30)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/format.h"
#include "platform/simconnect.h"
#include "platform/simconnect_wire.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Bench {
  HANDLE h = nullptr;
  std::vector<DWORD> objects;
  std::size_t frames = 0;
  std::map<DWORD, Clock::time_point> probes;  // request id -> when sent
  std::vector<double> lagsMs;
  bool lost = false;
};

void lf_onMessage(SIMCONNECT_RECV* msg, DWORD, void* ctx) {
  auto& b = *static_cast<Bench*>(ctx);
  switch (msg->dwID) {
    case SIMCONNECT_RECV_ID_EVENT_FRAME: ++b.frames; break;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
      b.objects.push_back(static_cast<SIMCONNECT_RECV_EVENT*>(msg)->dwData);
      break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA: {
      auto it = b.probes.find(static_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(msg)->dwRequestID);
      if (it != b.probes.end()) {
        b.lagsMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - it->second).count());
        b.probes.erase(it);
      }
      break;
    }
    case SIMCONNECT_RECV_ID_EXCEPTION:
      std::printf("exception %u\n", static_cast<SIMCONNECT_RECV_EXCEPTION*>(msg)->dwException);
      break;
    case SIMCONNECT_RECV_ID_QUIT: b.lost = true; break;
    default: break;
  }
}

bool lf_pump(Bench& b, Clock::time_point until) {
  while (Clock::now() < until && !b.lost) {
    if (FAILED(SimConnect_CallDispatch(b.h, lf_onMessage, &b))) return false;
    gf_simConnectWaitForMessage(b.h, std::chrono::milliseconds(1));
  }
  return !b.lost;
}

}  // namespace

int main(int argc, char** argv) {
  int aircraft = argc > 1 ? std::atoi(argv[1]) : 300;
  double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
  double rate = argc > 3 ? std::atof(argv[3]) : 30.0;
  if (aircraft <= 0 || seconds <= 0 || rate <= 0) {
    std::puts("usage: simconnect_bench [aircraft] [seconds] [frame rate]");
    return 2;
  }
  auto trace = std::filesystem::temp_directory_path() / sk::format("simconnect_bench_trace_{}.jsonl", ::getpid());
  std::uint16_t port = simwire::Listener::listen(0).port();
  auto program = simwire::ChildProcess::spawn(
      SKLM_SIMSTANDIN_EXE, {"--scenario", std::string(SKLM_TEST_DATA_DIR) + "/simstandin/schiphol.json", "--port",
                            std::to_string(port), "--rate", sk::format("{}", rate), "--trace", trace.string()});
  gf_setSimConnectAddress(sk::format("127.0.0.1:{}", port));

  Bench b;
  for (auto end = Clock::now() + std::chrono::seconds(10); FAILED(SimConnect_Open(&b.h, "Skylume", nullptr, 0, nullptr, 0));) {
    if (Clock::now() > end) {
      std::puts("the stand-in did not start");
      return 1;
    }
  }
  const char* pose[][2] = {{"Plane Latitude", "degree"},      {"Plane Longitude", "degree"},
                           {"Plane Pitch degrees", "radians"}, {"Plane Bank degrees", "radians"},
                           {"Plane Heading degrees true", "radians"}, {"Plane Altitude", "feet"},
                           {"Vertical Speed", "feet per second"}, {"Airspeed True", "knots"}};
  for (auto& p : pose) SimConnect_AddToDataDefinition(b.h, 402, p[0], p[1]);
  SimConnect_AddToDataDefinition(b.h, 409, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
  SimConnect_SubscribeToSystemEvent(b.h, 202, "ObjectAdded");
  SimConnect_SubscribeToSystemEvent(b.h, 204, "Frame");

  SIMCONNECT_DATA_INITPOSITION init{52.30, 4.76, 3000, 0, 0, 90, 0, 250};
  for (int i = 0; i < aircraft; ++i)
    SimConnect_AICreateNonATCAircraft(b.h, "Stand-in A320 Blue", sk::format("BNC{}", i).c_str(), init, 104);
  auto created = Clock::now() + std::chrono::seconds(20);
  while (b.objects.size() < static_cast<std::size_t>(aircraft) && Clock::now() < created && lf_pump(b, Clock::now() + std::chrono::milliseconds(10))) {
  }
  if (b.objects.size() < static_cast<std::size_t>(aircraft)) {
    std::printf("only %zu of %d aircraft were created\n", b.objects.size(), aircraft);
    return 1;
  }

  // Every frame: one position set per aircraft, then a probe whose answer
  // tells when the simulator had handled them all.
  struct Pos {
    double lat, lon, pitch, bank, heading, alt, vs, tas;
  };
  std::size_t sets = 0, framesAtStart = b.frames, seen = b.frames;
  DWORD probe = 1000;
  auto start = Clock::now();
  auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  while (Clock::now() < end) {
    if (!lf_pump(b, Clock::now() + std::chrono::milliseconds(1))) break;
    if (b.frames == seen) continue;
    seen = b.frames;
    for (std::size_t i = 0; i < b.objects.size(); ++i) {
      Pos p{52.30 + 0.0001 * static_cast<double>(seen % 100), 4.76 + 0.001 * static_cast<double>(i), 0, 0, 1.57, 3000, 0, 250};
      if (SUCCEEDED(SimConnect_SetDataOnSimObject(b.h, 402, b.objects[i], 0, 0, sizeof p, &p))) ++sets;
    }
    b.probes[++probe] = Clock::now();
    SimConnect_RequestDataOnSimObject(b.h, probe, 409, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE);
  }
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  std::size_t frames = b.frames - framesAtStart;
  lf_pump(b, Clock::now() + std::chrono::seconds(2));  // the last probes
  SimConnect_Close(b.h);

  std::size_t traced = 0;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) traced += line.find("\"event\":\"position\"") != std::string::npos;
  in.close();
  std::filesystem::remove(trace);
  program.kill();

  std::sort(b.lagsMs.begin(), b.lagsMs.end());
  double p50 = b.lagsMs.empty() ? 0 : b.lagsMs[b.lagsMs.size() / 2];
  double p99 = b.lagsMs.empty() ? 0 : b.lagsMs[b.lagsMs.size() * 99 / 100];
  double worst = b.lagsMs.empty() ? 0 : b.lagsMs.back();
  std::printf("%s\n", sk::format("{} aircraft, {:.1f} s, {} frames ({:.1f}/s, expected {:.0f}/s)", aircraft, elapsed,
                                 frames, static_cast<double>(frames) / elapsed, rate)
                          .c_str());
  std::printf("%s\n", sk::format("position sets sent {} ({:.0f}/s), recorded by the stand-in {}", sets,
                                 static_cast<double>(sets) / elapsed, traced)
                          .c_str());
  std::printf("%s\n", sk::format("handling lag per frame: median {:.2f} ms, 99% {:.2f} ms, worst {:.2f} ms, "
                                 "unanswered probes {}",
                                 p50, p99, worst, b.probes.size())
                          .c_str());
  bool kept = traced == sets && b.probes.empty() && static_cast<double>(frames) >= 0.9 * rate * elapsed;
  std::printf("%s\n", kept ? "kept up" : "FELL BEHIND");
  return kept ? 0 : 1;
}
