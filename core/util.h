#pragma once
// Shared text, file and encoding helpers. All of them are free functions
// without state of their own and may be called from any thread.
#include <bitset>
#include <filesystem>
#include <iosfwd>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "platform/system.h"  // CSIDL_APPDATA, CSIDL_LOCAL_APPDATA

// The characters that trimming removes: blank, tab, line feed, carriage return.
inline constexpr std::string_view gTrimChars = " \t\n\r";

// Character encodings of text files as gf_detectEncoding reports them.
// ENC_UTF8_WITHOUT_BOM is never detected: such a file reads as ENC_ANSI.
enum TextEncoding : int {
  ENC_ANSI = 0,
  ENC_UNICODE = 1,
  ENC_UNICODE_BIG_ENDIAN = 2,
  ENC_UTF8_WITH_BOM = 3,
  ENC_UTF8_WITHOUT_BOM = 4,
  ENC_NONE_FOUND = 5,
};

// The program's names of the encoding codes, by code.
inline constexpr std::string_view gEncodingNames[] = {"ANSI", "Unicode", "Unicode_big_endian",
                                                      "UTF8_with_BOM", "UTF8_without_BOM", "none_found"};
// The name of an encoding code; "none_found" for a number that is no code.
constexpr std::string_view gf_encodingName(int encoding) {
  return encoding >= ENC_ANSI && encoding <= ENC_NONE_FOUND ? gEncodingNames[encoding]
                                                            : gEncodingNames[ENC_NONE_FOUND];
}

// One bit per half-hour slot of a day.
using SlotSet = std::bitset<48>;

// A text file to be read whole.
struct FileLines {
  std::filesystem::path path;
  std::vector<std::string> lines;
};

// ---- Text ----

std::string gf_trim(std::string_view text);

// The list splitters read piece by piece up to each separator and trim every
// piece: an empty text gives nothing, a separator at the very end gives no
// empty last piece.
std::vector<std::string> gf_splitComma(std::string_view text);
std::vector<std::string> gf_splitSemicolon(std::string_view text);
std::vector<std::string> lf_splitComma(std::string_view text);
// Sorted, each piece once.
std::list<std::string> gf_splitCommaToList(std::string_view text);

// "X, Y ,Z" becomes "X,Y,Z"; a text without blanks, tabs or line ends is left alone.
void gf_normalizeList(std::string& text);

std::string gf_betweenQuotes(std::string_view text);

// Returns the text before the first ':'. rest receives the text after it only
// when there is exactly one ':'; otherwise rest is left as it was.
std::string gf_splitAtColon(std::string_view text, std::string& rest);

// True when a equals b with b's letters a-z turned to upper case.
bool gf_equals(const std::string& a, std::string b);
// True when b is a followed by one '*'.
bool gf_equalsStarred(const std::string& a, const std::string& b);

std::string gf_formatDecimal(float x);

// "1,2,40" -> slots 1, 2 and 40. Stops at the first piece that is not a slot
// number, logs it and returns what it has.
SlotSet lf_hours2bitset(const std::string& text);
// The inverse: the set slot numbers, ascending, comma-separated.
std::string gf_join(const SlotSet& slots);

std::string gf_bannerLine(unsigned width, unsigned extra, bool newlineBefore, bool newlineAfter,
                          const std::string& title);

// "10061 Connection refused".
std::string gf_wsaErrorText(int code);

// ---- Encodings ----

// Strict conversions: invalid input throws win32::Utf8ConversionException
// with code 1113; text longer than 2147483647 units throws std::overflow_error.
std::u16string gf_utf8ToUtf16(const std::string& text);
std::string gf_utf16ToUtf8(std::u16string_view text);
// The same text in the unit the system's W calls take (WCHAR: wchar_t on
// Windows, char16_t on Linux), and back; they throw as the two above.
using WideText = std::basic_string<WCHAR>;
WideText gf_wideText(const std::string& text);
std::string gf_textFromWide(std::basic_string_view<WCHAR> text);
// Splits UTF-16 text at line feeds and appends each line in UTF-8, one trailing
// carriage return dropped. On a conversion failure the lines before it stay.
void gf_utf16ToUtf8(std::u16string_view text, std::vector<std::string>& lines);

// Paths and their text. A path made from text (a setting, a line of a file, an
// archive entry) and a path shown or stored as text go through these two: on
// Windows a std::string handed straight to std::filesystem::path (or taken back
// with .string()) passes through the C library's narrow code page, which
// garbles or refuses any name outside ASCII. UTF-8 in, UTF-8 out, on both
// systems; on Linux the bytes pass unchanged. Text that is no UTF-8 (a user's
// file in an old code page) never throws: on Windows each bad sequence becomes
// U+FFFD, a name that finds nothing.
std::filesystem::path gf_pathFromUtf8(std::string_view text);
std::string gf_pathToUtf8(const std::filesystem::path& path);

// The roaming (CSIDL_APPDATA) or local (CSIDL_LOCAL_APPDATA) application-data
// folder; empty when the system cannot give it.
std::filesystem::path gf_knownFolderPath(int csidl);

// The encoding code of a file; ENC_NONE_FOUND (logged) when it cannot be opened.
int gf_detectEncoding(const std::filesystem::path& path);
// Appends the lines of a file of the given encoding; false when it cannot be
// opened or a UTF-16 file does not convert (shown as a message).
bool gf_readUtf16File(int encoding, const std::filesystem::path& path,
                      std::vector<std::string>& lines);

// ---- Files ----

// Appends every line of a stream, one trailing carriage return dropped per line.
void gf_readLines(std::istream& stream, std::vector<std::string>& lines);

// The file's lines, or null when it cannot be opened or has none.
std::vector<std::string>* gf_readFile(FileLines& file, int reserve);

bool gf_writeFile(const std::string& text, const std::filesystem::path& path, bool newline);
bool gf_writeTextFile(const std::vector<std::string>& lines, const std::filesystem::path& path);
bool gf_saveXmlFile(const pugi::xml_document& document, const std::filesystem::path& path);

// Renames over `to`, replacing what is there, through the rename that waits out
// a handle another program holds on the file for a moment (a virus scanner, an
// indexer). The error names the kind of failure only.
bool gf_renameReplacing(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error);

// Copies the file over `to`, replacing what is there, through a copy beside it
// renamed over it. Not copy_file's overwrite_existing: the Windows build's C++
// library refuses any existing target ("File exists"). The second form throws
// std::filesystem::filesystem_error.
bool gf_copyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                          std::error_code& error);
void gf_copyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Log.txt: Log0.txt is copied over Log00.txt, then Log.txt over Log0.txt.
void gf_backupFile(const std::filesystem::path& path);
// The same names by rename, for what cannot be copied (unreadable, a folder):
// Log0.txt becomes Log00.txt, then Log.txt becomes Log0.txt. The new name of
// the file; empty when it has no extension or a rename failed.
std::filesystem::path gf_moveAside(const std::filesystem::path& path);

// Regular files directly in the folder; 0 when it does not exist.
int gf_countFiles(const std::filesystem::path& folder);

// Removes every entry directly in the folder (a missing folder, or a path that
// is no folder, is left alone). An entry that was not removed is logged as
// "<path> could not be removed"; a filesystem error (a non-empty subfolder
// included) throws qlx::UserErrorException 5 with the error's text.
void gf_clearFolder(const std::filesystem::path& folder);

std::string gf_xmlAttrString(const pugi::xml_node& node, const std::string& name);
bool gf_xmlAttrBool(const pugi::xml_node& node, const std::string& name);
int gf_xmlAttrInt(const pugi::xml_node& node, const std::string& name);
double gf_xmlAttrDouble(const pugi::xml_node& node, const std::string& name);
