// One Frame flush of 500 position sets and 100 client events to the
// in-process stand-in: microseconds per Frame (mean, max).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "service_doubles.h"
#include "tools/simstandin/standin.h"
#include "traffic/sim_connection.h"
#include "traffic/sim_ids.h"
#include "traffic/sim_queues.h"
#include "traffic/user_aircraft.h"

int main() {
  using clock = std::chrono::steady_clock;
  constexpr int kSets = 500, kEvents = 100, kFrames = 200;
  standin::Scenario sc;
  sc.firstAiObjectId = 100;
  for (int i = 0; i < kSets; ++i) {
    standin::AircraftSpec a;
    a.atcId = "B" + std::to_string(i);
    a.latDeg = 52.3 + i * 1e-4;
    a.lonDeg = 4.7;
    sc.objects.push_back(a);
  }
  standin::StandIn sim(sc, {});
  gf_setSimConnectAddress(sim.address());
  gf_reserveSimQueues();
  if (!gf_simconOpen()) {
    std::puts("flush_bench: no link to the stand-in");
    return 1;
  }
  while (gf_simConnectWaitForMessage(gHSimConnect, std::chrono::milliseconds(200))) gf_simconDispatchPass();
  gUserObjectId = 1;
  std::vector<double> micros;
  for (int f = 0; f < kFrames; ++f) {
    for (int i = 0; i < kSets; ++i)
      gPosSetsWrite->push_back({52.3 + i * 1e-4, 4.7 + f * 1e-5, 0, 0, 1.0, 1000, 0, 200, 100u + i});
    gf_handOverPosSets();
    {
      std::lock_guard lock(gScMutex);
      for (int i = 0; i < kEvents; ++i) gEventCmds.push_back({100u + i, EV_NAV_LIGHTS_SET, static_cast<DWORD>(f & 1)});
    }
    // The Frame arrives and the dispatch pass that handles it sends everything.
    sim.step();
    gf_simConnectWaitForMessage(gHSimConnect, std::chrono::seconds(10));
    auto start = clock::now();
    gf_simconDispatchPass();
    micros.push_back(std::chrono::duration<double, std::micro>(clock::now() - start).count());
    // Let the stand-in keep up and take what it sent back.
    DWORD last = 0;
    SimConnect_GetLastSentPacketID(gHSimConnect, &last);
    sim.waitProcessed(last, std::chrono::seconds(10));
    while (gf_simConnectWaitForMessage(gHSimConnect, std::chrono::milliseconds(0))) gf_simconDispatchPass();
  }
  double mean = 0;
  for (double m : micros) mean += m;
  mean /= static_cast<double>(micros.size());
  std::printf("flush_bench: %d sets + %d events per Frame, %d Frames: mean %.0f us, max %.0f us per Frame\n", kSets,
              kEvents, kFrames, mean, *std::max_element(micros.begin(), micros.end()));
  gf_stopSimconnect();
  return 0;
}
