// simstandin: a stand-in flight simulator for end-to-end runs on a machine
// without the simulator. It listens on 127.0.0.1, emits frames in real time
// and takes commands on its standard input (type "help").
#include <charconv>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "core/format.h"
#include "tools/simstandin/standin.h"

namespace {

const char* kUsage =
    "usage: simstandin --scenario FILE [--port N] [--trace FILE] [--app NAME] [--rate FPS]\n"
    "                  [--start-delay SECONDS] [--trace-rate N]\n"
    "The port defaults to the one the client looks for (SKLM_SIM_ADDR, else its default); 0 takes any.\n"
    "--trace-rate N traces an object's position and data sets N times a second (default: every one).\n"
    "Commands are read from standard input (\"help\"); its end ends the program as \"exit\" does.\n";

const char* kHelp =
    "commands: running on|off    the simulator accepts clients or refuses them\n"
    "          flight on|off     a flight starts or stops (the \"Sim\" event)\n"
    "          load FILE         \"FlightLoaded\" with the file name\n"
    "          user LAT LON ALT ground|air  put the user aircraft there\n"
    "          fail CALL CODE [COUNT]  refuse the next calls of that kind with the exception code\n"
    "          remove ID         remove an AI object as the simulator would\n"
    "          drop              close every connection without a word\n"
    "          quit              the simulator quits: clients are told QUIT; this program keeps running\n"
    "          objects           list the objects of the world\n"
    "          exit              end this program (as does the end of standard input)\n";

bool lf_number(const std::string& text, double& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc{} && end == text.data() + text.size();
}

void lf_console(standin::StandIn& sim) {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd, arg;
    in >> cmd >> arg;
    if (cmd.empty()) continue;
    if (cmd == "exit") return;
    if (cmd == "running" || cmd == "flight") {
      bool on = arg == "on";
      if (!on && arg != "off") {
        std::cout << kHelp;
        continue;
      }
      cmd == "running" ? sim.setRunning(on) : sim.setFlightRunning(on);
    } else if (cmd == "load") {
      sim.loadFlight(arg);
    } else if (cmd == "fail") {
      auto call = simwire::gf_callFromName(arg);
      DWORD code = 0;
      int count = 1;
      if (!call || !(in >> code)) {
        std::cout << "fail CALL CODE [COUNT], CALL as AICreateNonATCAircraft\n";
        continue;
      }
      in >> count;
      sim.failNextCalls(*call, code, count);
    } else if (cmd == "user") {
      double lat = 0, lon = 0, alt = 0;
      std::string lonText, altText, where;
      in >> lonText >> altText >> where;
      if (!lf_number(arg, lat) || !lf_number(lonText, lon) || !lf_number(altText, alt) ||
          (where != "ground" && where != "air")) {
        std::cout << "user LAT LON ALT ground|air\n";
        continue;
      }
      sim.setUser(lat, lon, alt, where == "ground");
    } else if (cmd == "remove") {
      double id = 0;
      if (!lf_number(arg, id) || !sim.removeObject(static_cast<DWORD>(id))) std::cout << "no such AI object\n";
    } else if (cmd == "drop") {
      sim.dropConnections();
    } else if (cmd == "quit") {
      sim.quit();
    } else if (cmd == "objects") {
      for (const auto& o : sim.objects())
        std::cout << sk::format("{} {} \"{}\" {:.6f} {:.6f} {:.0f}ft{}\n", o.id, o.atcId, o.title, o.latDeg, o.lonDeg,
                                o.altitudeFt, o.user ? " (user)" : "");
    } else {
      std::cout << kHelp;
    }
    std::cout.flush();
  }
  // The end of the input ends the program as "exit" does: a run started with
  // its input from /dev/null or a finished pipe does not linger.
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenarioFile, traceFile, app, host;
  std::uint16_t clientPort = gSimConnectDefaultPort;
  simwire::gf_splitAddress(gf_simConnectAddress(), host, clientPort);
  double port = clientPort, rate = 0, startDelay = 0, traceRate = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::cout << kUsage << kHelp;
      return 0;
    }
    bool hasValue = i + 1 < argc;
    std::string v = hasValue ? argv[i + 1] : "";
    bool ok = hasValue;
    if (a == "--scenario") scenarioFile = v;
    else if (a == "--trace") traceFile = v;
    else if (a == "--app") app = v;
    else if (a == "--port") ok = ok && lf_number(v, port) && port >= 0 && port <= 65535;
    else if (a == "--rate") ok = ok && lf_number(v, rate) && rate > 0 && rate <= 1000;
    else if (a == "--start-delay") ok = ok && lf_number(v, startDelay) && startDelay >= 0;
    else if (a == "--trace-rate") ok = ok && lf_number(v, traceRate) && traceRate > 0;
    else ok = false;
    if (!ok) {
      std::cerr << kUsage;
      return 2;
    }
    ++i;
  }
  if (scenarioFile.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    standin::Scenario sc = standin::gf_loadScenario(scenarioFile);
    if (!app.empty()) sc.appName = app;
    if (rate > 0) {
      if (sc.reportedFrameRate == sc.frameRate) sc.reportedFrameRate = rate;
      sc.frameRate = rate;
    }
    if (startDelay > 0) sc.running = false;
    standin::StandIn sim(sc, {static_cast<std::uint16_t>(port), traceFile, traceRate});
    std::cout << sk::format("simstandin \"{}\" listening on {}", sc.appName, sim.address()) << std::endl;
    sim.startRealTime();
    std::thread starter;
    if (startDelay > 0) {
      starter = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::duration<double>(startDelay));
        sim.setRunning(true);
      });
    }
    lf_console(sim);
    if (starter.joinable()) starter.join();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << sk::format("simstandin: {}", e.what()) << std::endl;
    return 1;
  }
}
