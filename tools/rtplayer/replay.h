#pragma once
// Replay files: what RealTraffic sent, one datagram per line.
//
//   # comment                       ignored, like empty lines
//   QNH,<time>,<json value>         a pressure datagram {"QNH":<json value>} due at <time>
//   <any other line>                a traffic line, sent as it stands; it is due at the
//                                   time in its field 14 (RealTraffic's timestamp)
//
// A traffic line whose field 14 is not a number still goes out, right after the line
// before it, so that broken lines can be replayed too. CR LF and LF files read the same.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rtplay {

enum class DatagramKind { Traffic, Pressure };

inline constexpr std::size_t kTimestampField = 14;

struct ReplayItem {
  DatagramKind kind = DatagramKind::Traffic;
  std::optional<double> time;  // seconds; none when the line carries no readable timestamp
  std::string text;            // the datagram, without a line end
  int lineNumber = 0;
};

struct Replay {
  std::vector<ReplayItem> items;
  std::vector<std::string> warnings;  // lines that were skipped, with the reason
};

Replay gf_parseReplay(std::string_view text);
// Throws qlx::UserErrorException when the file cannot be read.
Replay gf_readReplayFile(const std::filesystem::path& path);

// The lines of a text without their line ends (LF or CR LF); line n is element n - 1.
std::vector<std::string_view> gf_splitLines(std::string_view text);
// The comma-separated fields of a line, empty ones included.
std::vector<std::string_view> gf_splitFields(std::string_view line);
// A whole field as a finite number (surrounding blanks allowed), else none.
std::optional<double> gf_parseNumber(std::string_view field);
// The traffic line with its field 14 replaced by the given time.
std::string gf_withTimestamp(std::string_view line, double time);
std::string gf_pressureDatagram(std::string_view jsonValue);

}  // namespace rtplay
