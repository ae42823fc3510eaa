#pragma once
// Command lines of rtplayer and rtconvert.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/rtplayer/address.h"
#include "tools/rtplayer/convert.h"
#include "tools/rtplayer/link.h"
#include "tools/rtplayer/schedule.h"
#include "tools/rtplayer/udp_sink.h"

namespace rtplay {

struct PlayerOptions {
  bool help = false;
  std::filesystem::path replayFile;
  PlayOptions play;
  Ipv4Address address;
  std::uint16_t trafficPort = kTrafficPort;
  std::uint16_t pressurePort = kPressurePort;
  std::uint16_t linkPort = kLinkPort;
  bool link = true;
  bool waitForVersion = false;
  Edition edition = Edition::Professional;
  std::optional<std::filesystem::path> recordFile;
};

struct ConverterOptions {
  bool help = false;
  std::filesystem::path input;
  std::filesystem::path output;
  ReportUnits units = ReportUnits::Metric;
};

extern const char* const kPlayerUsage;
extern const char* const kConverterUsage;

// Both throw qlx::UserErrorException with the reason and the usage text.
PlayerOptions gf_parsePlayerOptions(const std::vector<std::string>& args);
ConverterOptions gf_parseConverterOptions(const std::vector<std::string>& args);

}  // namespace rtplay
