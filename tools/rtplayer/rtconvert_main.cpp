// rtconvert: turns recorded position reports into a replay file for rtplayer.
#include <fstream>
#include <iostream>
#include <sstream>

#include "core/format.h"
#include "tools/rtplayer/convert.h"
#include "tools/rtplayer/options.h"

int main(int argc, char** argv) {
  try {
    const auto options = rtplay::gf_parseConverterOptions({argv + 1, argv + argc});
    if (options.help) {
      std::cout << rtplay::kConverterUsage;
      return 0;
    }
    std::ifstream in(options.input, std::ios::binary);
    if (!in) {
      std::cerr << sk::format("cannot open {}\n", options.input.string());
      return 1;
    }
    std::ostringstream csv;
    csv << in.rdbuf();
    const auto result = rtplay::gf_convertPositionReports(csv.str(), options.units);
    for (const auto& warning : result.warnings) std::cerr << warning << '\n';

    std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
    out << result.replay;
    out.close();
    if (!out) {
      std::cerr << sk::format("cannot write {}\n", options.output.string());
      return 1;
    }
    std::cerr << sk::format("{} of {} reports written to {}\n", result.lines, result.reports,
                            options.output.string());
    return 0;
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
}
