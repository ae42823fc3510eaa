#include "tools/rtplayer/options.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "core/errors.h"
#include "core/format.h"

namespace rtplay {

const char* const kPlayerUsage =
    "usage: rtplayer [options] REPLAY_FILE\n"
    "  --speed X            play X times as fast (default 1)\n"
    "  --now                rewrite the traffic timestamps to the moment each line is sent\n"
    "  --loop               after the last line start again from the first, until stopped\n"
    "  --qnh VALUE          pressure sent as {\"QNH\":VALUE} at the start and every 10 s\n"
    "  --edition standard|professional   edition told in the version reply (default professional)\n"
    "  --address A          target address, within 127.0.0.0/8 (default 127.0.0.1)\n"
    "  --traffic-port N     traffic lines (default 49005)\n"
    "  --pressure-port N    pressure datagrams (default 49004)\n"
    "  --link-port N        Skylume's TCP server (default 10747)\n"
    "  --no-link            no TCP link\n"
    "  --wait-version       start the replay once Skylume asked for the version\n"
    "  --record FILE        append the received requests to FILE (default: standard output)\n";

const char* const kConverterUsage =
    "usage: rtconvert [--units metric|aviation] REPORTS_CSV REPLAY_FILE\n"
    "  rows: time,hex id,callsign,latitude,longitude,baro altitude,ground speed,track,\n"
    "        vertical rate,on-ground[,registration[,type]]\n"
    "  --units metric       metres and metres per second (default)\n"
    "  --units aviation     feet, knots and feet per minute\n";

namespace {

[[noreturn]] void lf_usageError(const std::string& reason, const char* usage) {
  throw qlx::UserErrorException(99, sk::format("{}\n{}", reason, usage));
}

// Hands out the arguments one by one; an option's value must follow it.
class ArgumentReader {
 public:
  ArgumentReader(const std::vector<std::string>& args, const char* usage) : m_args(args), m_usage(usage) {}
  bool done() const { return m_next >= m_args.size(); }
  const std::string& next() { return m_args[m_next++]; }
  const std::string& valueOf(const std::string& option) {
    if (done()) fail(sk::format("{} needs a value", option));
    return next();
  }
  std::uint16_t portOf(const std::string& option) {
    const auto& text = valueOf(option);
    unsigned port = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || ptr != text.data() + text.size() || port == 0 || port > 65535)
      fail(sk::format("{} needs a port 1..65535, not {}", option, text));
    return static_cast<std::uint16_t>(port);
  }
  [[noreturn]] void fail(const std::string& reason) const { lf_usageError(reason, m_usage); }

 private:
  const std::vector<std::string>& m_args;
  const char* m_usage;
  std::size_t m_next = 0;
};

struct Arguments {
  bool help = false;
  std::vector<std::string> files;
};

// The loop both commands share; takeOption reads one option of its command and
// returns false for an option it does not know.
template <typename TakeOption>
Arguments lf_readArguments(ArgumentReader& reader, TakeOption takeOption) {
  Arguments result;
  while (!reader.done()) {
    const auto& arg = reader.next();
    if (arg == "--help" || arg == "-h")
      result.help = true;
    else if (!arg.starts_with("-"))
      result.files.push_back(arg);
    else if (!takeOption(arg))
      reader.fail(sk::format("unknown option {}", arg));
  }
  return result;
}

}  // namespace

PlayerOptions gf_parsePlayerOptions(const std::vector<std::string>& args) {
  PlayerOptions options;
  ArgumentReader reader(args, kPlayerUsage);
  const auto arguments = lf_readArguments(reader, [&](const std::string& arg) {
    if (arg == "--speed") {
      const auto& text = reader.valueOf(arg);
      const auto speed = gf_parseNumber(text);
      if (!speed || *speed <= 0.0) reader.fail(sk::format("--speed needs a positive number, not {}", text));
      options.play.speed = *speed;
    } else if (arg == "--now") {
      options.play.shiftToNow = true;
    } else if (arg == "--loop") {
      options.play.loop = true;
    } else if (arg == "--qnh") {
      const auto& text = reader.valueOf(arg);
      if (!nlohmann::json::accept(text)) reader.fail(sk::format("--qnh needs a JSON value, not {}", text));
      options.play.pressure = text;
    } else if (arg == "--edition") {
      const auto& text = reader.valueOf(arg);
      if (text == "standard")
        options.edition = Edition::Standard;
      else if (text == "professional")
        options.edition = Edition::Professional;
      else
        reader.fail(sk::format("--edition is standard or professional, not {}", text));
    } else if (arg == "--address") {
      options.address = gf_loopbackAddress(reader.valueOf(arg));
    } else if (arg == "--traffic-port") {
      options.trafficPort = reader.portOf(arg);
    } else if (arg == "--pressure-port") {
      options.pressurePort = reader.portOf(arg);
    } else if (arg == "--link-port") {
      options.linkPort = reader.portOf(arg);
    } else if (arg == "--no-link") {
      options.link = false;
    } else if (arg == "--wait-version") {
      options.waitForVersion = true;
    } else if (arg == "--record") {
      options.recordFile = reader.valueOf(arg);
    } else {
      return false;
    }
    return true;
  });
  options.help = arguments.help;
  if (options.help) return options;
  if (arguments.files.size() != 1) reader.fail("one replay file is needed");
  if (options.waitForVersion && !options.link) reader.fail("--wait-version needs the link");
  options.replayFile = arguments.files.front();
  return options;
}

ConverterOptions gf_parseConverterOptions(const std::vector<std::string>& args) {
  ConverterOptions options;
  ArgumentReader reader(args, kConverterUsage);
  const auto arguments = lf_readArguments(reader, [&](const std::string& arg) {
    if (arg != "--units") return false;
    const auto& text = reader.valueOf(arg);
    if (text == "metric")
      options.units = ReportUnits::Metric;
    else if (text == "aviation")
      options.units = ReportUnits::Aviation;
    else
      reader.fail(sk::format("--units is metric or aviation, not {}", text));
    return true;
  });
  options.help = arguments.help;
  if (options.help) return options;
  if (arguments.files.size() != 2) reader.fail("an input and an output file are needed");
  options.input = arguments.files[0];
  options.output = arguments.files[1];
  return options;
}

}  // namespace rtplay
