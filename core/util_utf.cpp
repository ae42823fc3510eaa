#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <type_traits>

#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/util.h"
#include "platform/system.h"

namespace {

void lf_checkLength(std::size_t length) {
  if (length > 2147483647u) {
    throw std::overflow_error("Input string too long: size_t-length doesn't fit into int.");
  }
}

[[noreturn]] void lf_throwInvalid(std::uint32_t direction) {
  throw win32::Utf8ConversionException(direction == win32::Utf8ConversionException::FROM_UTF8
                                           ? "Invalid UTF-8 sequence found in input string."
                                           : "Invalid UTF-16 sequence found in input string.",
                                       ERROR_NO_UNICODE_TRANSLATION, direction);
}

bool lf_isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Turns the bytes of a UTF-16 file into code units. The byte order comes from
// the byte-order mark, which is skipped; big-endian without one. False when an
// odd byte is left over.
bool lf_decodeUtf16Bytes(const std::string& bytes, std::u16string& units) {
  auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  bool bigEndian = true;
  std::size_t pos = 0;
  if (bytes.size() >= 2) {
    if (byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
      bigEndian = false;
      pos = 2;
    } else if (byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
      pos = 2;
    }
  }
  units.reserve((bytes.size() - pos) / 2);
  for (; pos + 1 < bytes.size(); pos += 2) {
    const unsigned high = bigEndian ? byteAt(pos) : byteAt(pos + 1);
    const unsigned low = bigEndian ? byteAt(pos + 1) : byteAt(pos);
    units.push_back(static_cast<char16_t>(high << 8 | low));
  }
  return pos == bytes.size();
}

// UTF-8 to UTF-16. An invalid sequence throws, or with `replace` becomes one
// U+FFFD for its lead byte and the continuation bytes that were right so far.
std::u16string lf_utf8ToUtf16(std::string_view text, bool replace) {
  constexpr auto direction = win32::Utf8ConversionException::FROM_UTF8;
  if (text.empty()) return {};
  lf_checkLength(text.size());
  std::u16string result;
  result.reserve(text.size());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t point = 0;
    if (lead < 0x80) {
      length = 1;
      point = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {  // C0 and C1 only start overlong forms
      length = 2;
      point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      point = lead & 0x07;
    }
    std::size_t valid = length == 0 ? 0 : 1;
    while (valid > 0 && valid < length && i + valid < size &&
           lf_isContinuation(static_cast<unsigned char>(text[i + valid]))) {
      point = point << 6 | (static_cast<unsigned char>(text[i + valid]) & 0x3F);
      ++valid;
    }
    const bool whole = length > 0 && valid == length &&
                       !(length == 3 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) &&
                       !(length == 4 && (point < 0x10000 || point > 0x10FFFF));
    if (!whole) {
      if (!replace) lf_throwInvalid(direction);
      result.push_back(u'\uFFFD');
      i += std::max<std::size_t>(valid, 1);
      continue;
    }
    if (point < 0x10000) {
      result.push_back(static_cast<char16_t>(point));
    } else {
      point -= 0x10000;
      result.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      result.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    }
    i += length;
  }
  return result;
}

}  // namespace

std::u16string gf_utf8ToUtf16(const std::string& text) { return lf_utf8ToUtf16(text, false); }

std::string gf_utf16ToUtf8(std::u16string_view text) {
  constexpr auto direction = win32::Utf8ConversionException::FROM_UTF16;
  if (text.empty()) return {};
  lf_checkLength(text.size());
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t point = text[i];
    if (point >= 0xDC00 && point <= 0xDFFF) lf_throwInvalid(direction);
    if (point >= 0xD800 && point <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
        lf_throwInvalid(direction);
      }
      point = 0x10000 + ((point - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (point < 0x80) {
      result.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
      result.push_back(static_cast<char>(0xC0 | point >> 6));
      result.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
      result.push_back(static_cast<char>(0xE0 | point >> 12));
      result.push_back(static_cast<char>(0x80 | (point >> 6 & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
      result.push_back(static_cast<char>(0xF0 | point >> 18));
      result.push_back(static_cast<char>(0x80 | (point >> 12 & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (point >> 6 & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    }
  }
  return result;
}

void gf_utf16ToUtf8(std::u16string_view text, std::vector<std::string>& lines) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(u'\n', start);
    const std::size_t next = end == std::u16string_view::npos ? text.size() : end + 1;
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    lines.push_back(gf_utf16ToUtf8(line));
    start = next;
  }
}

WideText gf_wideText(const std::string& text) {
  const std::u16string units = gf_utf8ToUtf16(text);
  return WideText(units.begin(), units.end());
}

std::string gf_textFromWide(std::basic_string_view<WCHAR> text) {
  return gf_utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

std::filesystem::path gf_pathFromUtf8(std::string_view text) {
  if constexpr (std::is_same_v<std::filesystem::path::value_type, char>) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
  } else {
    // Names are UTF-16 here; bytes that are no UTF-8 (a file read in the
    // system's old code page) make no name the user can have, and must not
    // stop the caller: they name nothing that exists.
    const std::u16string units = lf_utf8ToUtf16(text, true);
    return std::filesystem::path(std::wstring(units.begin(), units.end()));
  }
}

std::string gf_pathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

int gf_detectEncoding(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    const int error = errno;
    gf_logText(sk::format("cannot open file {} for character encoding, err: {}", gf_pathToUtf8(path), error));
    return ENC_NONE_FOUND;
  }
  unsigned char mark[3] = {};
  file.read(reinterpret_cast<char*>(mark), sizeof mark);
  const std::streamsize count = file.gcount();
  if (count >= 2 && mark[0] == 0xFF && mark[1] == 0xFE) return ENC_UNICODE;
  if (count >= 2 && mark[0] == 0xFE && mark[1] == 0xFF) return ENC_UNICODE_BIG_ENDIAN;
  if (count == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) return ENC_UTF8_WITH_BOM;
  return ENC_ANSI;
}

bool gf_readUtf16File(int encoding, const std::filesystem::path& path,
                      std::vector<std::string>& lines) {
  if (encoding == ENC_UNICODE || encoding == ENC_UNICODE_BIG_ENDIAN) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::u16string units;
    const bool whole = lf_decodeUtf16Bytes(bytes, units);
    try {
      gf_utf16ToUtf8(units, lines);
      if (!whole) lf_throwInvalid(win32::Utf8ConversionException::FROM_UTF16);
    } catch (const win32::Utf8ConversionException& e) {
      gf_showMessage(sk::format("conversion from error from utf16 to utf8, code: {}", e.errorCode()), true);
      return false;
    } catch (const std::runtime_error& e) {
      gf_showMessage(std::string("conversion from error from utf16 to utf8: ") + e.what(), true);
      return false;
    }
    return true;
  }

  std::ifstream file(path);
  if (!file) return false;
  const std::size_t first = lines.size();
  gf_readLines(file, lines);
  if (encoding == ENC_UTF8_WITH_BOM && first < lines.size() && lines[first].starts_with("\xEF\xBB\xBF")) {
    lines[first].erase(0, 3);
  }
  return true;
}
