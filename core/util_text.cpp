#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "core/format.h"
#include "core/log.h"
#include "core/util.h"

namespace {

// Hands each piece up to the next separator to add, the way std::getline
// reads a string stream: no piece for an empty text or after a final separator.
template <typename Add>
void lf_forEachPiece(std::string_view text, char separator, Add add) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      add(text.substr(start));
      return;
    }
    add(text.substr(start, end - start));
    start = end + 1;
  }
}

std::vector<std::string> lf_splitTrimmed(std::string_view text, char separator,
                                         std::size_t reserve) {
  std::vector<std::string> pieces;
  pieces.reserve(reserve);
  lf_forEachPiece(text, separator, [&](std::string_view piece) { pieces.push_back(gf_trim(piece)); });
  return pieces;
}

}  // namespace

std::string gf_trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(gTrimChars);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(gTrimChars);
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> gf_splitComma(std::string_view text) { return lf_splitTrimmed(text, ',', 24); }

std::vector<std::string> gf_splitSemicolon(std::string_view text) {
  return lf_splitTrimmed(text, ';', 16);
}

std::vector<std::string> lf_splitComma(std::string_view text) { return lf_splitTrimmed(text, ',', 0); }

std::list<std::string> gf_splitCommaToList(std::string_view text) {
  std::list<std::string> pieces;
  lf_forEachPiece(text, ',', [&](std::string_view piece) { pieces.push_back(gf_trim(piece)); });
  pieces.sort();
  pieces.unique();
  return pieces;
}

void gf_normalizeList(std::string& text) {
  if (text.find_first_of(gTrimChars) == std::string::npos) return;
  std::string joined;
  for (const std::string& piece : gf_splitComma(text)) {
    joined += piece;
    joined += ',';
  }
  if (!joined.empty()) joined.pop_back();
  text = std::move(joined);
}

std::string gf_betweenQuotes(std::string_view text) {
  const std::size_t open = text.find('"');
  if (open == std::string_view::npos) return std::string(text);
  const std::size_t close = text.find('"', open + 1);
  if (close == std::string_view::npos) return {};
  return std::string(text.substr(open + 1, close - open - 1));
}

std::string gf_splitAtColon(std::string_view text, std::string& rest) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::string(text);
  const std::string_view after = text.substr(colon + 1);
  if (after.find(':') == std::string_view::npos) rest = std::string(after);
  return std::string(text.substr(0, colon));
}

bool gf_equals(const std::string& a, std::string b) {
  std::transform(b.begin(), b.end(), b.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
  return a == b;
}

bool gf_equalsStarred(const std::string& a, const std::string& b) {
  return b.size() == a.size() + 1 && b.back() == '*' && b.compare(0, a.size(), a) == 0;
}

std::string gf_formatDecimal(float x) {
  if (std::fmod(x, 1.0f) == 0.0f) return sk::format("{:.0f}", x);
  return sk::format("{:.1F}", x);
}

SlotSet lf_hours2bitset(const std::string& text) {
  SlotSet slots;
  std::string error;
  lf_forEachPiece(text, ',', [&](std::string_view piece) {
    if (!error.empty()) return;
    int slot = 0;
    try {
      slot = std::stoi(std::string(piece));
    } catch (const std::invalid_argument&) {
      error = "invalid stoi argument";
      return;
    } catch (const std::out_of_range&) {
      error = "stoi argument out of range";
      return;
    }
    if (slot < 0 || slot >= static_cast<int>(slots.size())) {
      error = "invalid bitset position";
      return;
    }
    slots.set(static_cast<std::size_t>(slot));
  });
  if (!error.empty()) gf_log(sk::format("exception {} in lf_hours2bitset", error));
  return slots;
}

std::string gf_join(const SlotSet& slots) {
  std::string text;
  for (std::size_t slot = 0; slot < slots.size(); ++slot) {
    if (slots.test(slot)) text += sk::format("{},", slot);
  }
  if (!text.empty()) text.pop_back();
  return text;
}

std::string gf_bannerLine(unsigned width, unsigned extra, bool newlineBefore, bool newlineAfter,
                          const std::string& title) {
  static const std::string newline = "\n";
  std::string line = newlineBefore ? newline : std::string();
  std::size_t w = std::size_t{width} + extra;
  if (w % 2 != 0) ++w;
  if (title.empty()) {
    line.append(w, '*');
  } else if (w > title.size() + 2) {
    const std::string stars(w / 2 - 1, '*');
    line += stars + ' ' + title + ' ' + stars;
  } else {
    line = title;
  }
  if (newlineAfter) line += newline;
  return line;
}

std::string gf_wsaErrorText(int code) {
  const char* text = "Unknown errror code";
  switch (code) {
    case 10004: text = "Interrupted system call"; break;
    case 10009: text = "Bad file number"; break;
    case 10013: text = "Permission denied"; break;
    case 10014: text = "Bad address"; break;
    case 10022: text = "Invalid argument"; break;
    case 10024: text = "Too many open sockets"; break;
    case 10035: text = "Operation would block"; break;
    case 10036: text = "Operation now in progress"; break;
    case 10037: text = "Operation already in progress"; break;
    case 10038: text = "Socket operation on non-socket"; break;
    case 10039: text = "Destination address required"; break;
    case 10040: text = "Messenger too long"; break;
    case 10041: text = "Protocol wrong type for socket"; break;
    case 10042: text = "Bad protocol option"; break;
    case 10043: text = "Protocol not supported"; break;
    case 10044: text = "Socket type not supported"; break;
    case 10045: text = "Operation not supported on socket"; break;
    case 10046: text = "Protocol family not supported"; break;
    case 10047: text = "Address family not supported"; break;
    case 10048: text = "Address already in use"; break;
    case 10049: text = "Can't assign requested address"; break;
    case 10050: text = "Network is down"; break;
    case 10051: text = "Network is unreachable"; break;
    case 10052: text = "Net connection reset"; break;
    case 10053: text = "Software caused connection abort"; break;
    case 10054: text = "Connection reset by peer"; break;
    case 10055: text = "No buffer space available"; break;
    case 10056: text = "Socket is already connected"; break;
    case 10057: text = "Socket is not connected"; break;
    case 10058: text = "Can't send numLines socket shutdown"; break;
    case 10059: text = "Too many references, can't splice"; break;
    case 10060: text = "Connection timed out"; break;
    case 10061: text = "Connection refused"; break;
    case 10062: text = "Too many levels of symbolic links"; break;
    case 10063: text = "File name too long"; break;
    case 10064: text = "Host is down"; break;
    case 10065: text = "No route to host"; break;
    case 10066: text = "Directory not empty"; break;
    case 10067: text = "Too many processes"; break;
    case 10068: text = "Too many users"; break;
    case 10069: text = "Disc quota exceeded"; break;
    case 10070: text = "Stale NFS file handle"; break;
    case 10071: text = "Too many levels of remote in path"; break;
    case 10091: text = "Network system is unavailable"; break;
    case 10092: text = "Winsock version out of range"; break;
    case 10093: text = "WSAStartup not yet called"; break;
    case 10101: text = "Graceful shutdown in progress"; break;
    case 11001: text = "Host not found"; break;
    case 11004: text = "No host data of that type was found"; break;
    default: break;
  }
  return sk::format("{} {}", code, text);
}
