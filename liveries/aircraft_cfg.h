#pragma once
// The line-level layer of the livery scan: reading an aircraft.cfg into lines,
// checking its [fltsim.N] numbering, cutting it into sections and the key
// parsers. Everything here is re-entrant; the workers run it on many threads.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Folder of one of the simulator's own aircraft -> model code. Case-sensitive.
// The user-aircraft code reads the same table.
extern const std::unordered_map<std::string, std::string> gBaseContainerTypes;

// The value of `key = value` when the whole line reads so: blanks (ECMAScript
// \s) around key, '=' and value, the key in any letter case, the value ending
// in a non-blank and holding no CR or LF. Answers as the whole-line pattern
// "\s*(key)\s*=\s*(.*\S)\s*" would, without a regex engine, whose recursion per
// character cannot take the megabyte lines of broken files.
std::optional<std::string_view> lf_matchKey(std::string_view line, std::string_view key);

// The section number as text: "" for no header (or one commented out with
// "//"), the digits of [fltsim.N], "10000" for a line that only mentions
// "[fltsim." or "[FLTSIM.".
inline constexpr std::string_view kHeaderWithoutNumber = "10000";
std::string lf_parseFltSimHeader(const std::string& line);

// The key parsers. Values in double quotes give the text between the first two
// quotes (empty when there is no second quote or the quotes are adjacent).
bool lf_parseTitle(const std::string& line, std::string& out);    // true on a title line; out kept when empty
bool lf_parseTexture(const std::string& line, std::string& out);  // true on a non-empty value
// Model of the folder named after "..\"; "" when the line is none or the folder
// is not in the table. A value shorter than three characters throws std::out_of_range.
std::string lf_parseBaseContainer(const std::string& line);
std::string lf_parseIcaoTypeDesignator(const std::string& line);  // first 4 characters, upper case
bool lf_parseAtcId(const std::string& line, std::string& out);     // true on a value of 5 or more characters
bool lf_parseIcaoAirline(const std::string& line, std::string& out);  // "" and "ZZZZ" give "ZZZ"
bool lf_parseAtcParkingTypes(const std::string& line, std::string& out);

// The plain substring tests of the duplicate-key checks.
inline bool lf_hasAtcIdKey(const std::string& line) { return line.find("atc_id=") != std::string::npos; }
inline bool lf_hasParkingTypesKey(const std::string& line) {
  return line.find("atc_parking_types") != std::string::npos;
}

std::string lf_upper(std::string text);

// Character tests of the scan's parsers, never the locale's: ECMAScript \s in
// the classic locale, and ASCII lower case.
inline bool lf_isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
inline char lf_lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline bool lf_contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// Reads the file whole in its detected encoding (UTF-16 arrives as UTF-8).
enum class CfgRead { Ok, NotOpened, NotRead };
CfgRead lf_readAircraftCfg(const std::filesystem::path& path, std::vector<std::string>& lines);

// Sections must be numbered 0, 1, 2 ...; false (and the reason in a report list
// or the log) when the file is to give no liveries. A file without sections is
// listed as such and passes.
bool lf_checkFltSimNumbers(const std::vector<std::string>& lines, const std::string& path);

// Cuts the lines into sections, each its header line first, and hands every
// finished one to process. A line with '[' at position 0..5 (anywhere when
// anyBracketEnds) that is no header closes the open section.
void lf_splitFltSimSections(const std::vector<std::string>& lines, bool anyBracketEnds,
                            const std::function<void(std::vector<std::string>&)>& process);

// Drops the empty and "//" lines that end a section: they belong to no key.
inline void lf_dropSectionTail(std::vector<std::string>& section) {
  while (!section.empty() && (section.back().empty() || section.back().starts_with("//"))) section.pop_back();
}
