#include "liveries/regcodes.h"

#include <exception>
#include <fstream>
#include <pugixml.hpp>

#include "core/file_read.h"
#include "core/format.h"
#include "core/log.h"
#include "core/message.h"
#include "core/paths.h"
#include "core/util.h"
#include "liveries/airline_type.h"
#include "liveries/data_downloads.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_tables.h"
#include "liveries/scan_lists.h"
#include "liveries/scramble.h"

std::vector<std::string> gRegcodeResultLines;

namespace {

constexpr std::size_t kMaxRegcodeLength = 12;
constexpr std::size_t kMinListedRegcodeLength = 3;

const char* plural(std::size_t count) { return count == 1 ? "" : "s"; }

std::vector<std::string> sortedPieces(const std::string& text) {
  const auto pieces = gf_splitCommaToList(text);
  return {pieces.begin(), pieces.end()};
}

bool hasRegularFile(const std::filesystem::path& folder) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return false;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_regular_file(error)) return true;
  }
  return false;
}

std::size_t appendTitlesNotToUse(const std::vector<RegcodeEntry>& entries) {
  std::size_t appended = 0;
  for (const auto& entry : entries) {
    if (!entry.regcodes.empty()) continue;
    gDontUseTitles.insert(entry.title);
    ++appended;
  }
  return appended;
}

}  // namespace

void lf_readRegcodeFile(const std::filesystem::path& file, std::vector<RegcodeEntry>& entries, bool& error,
                        const std::string& line) {
  if (line.empty()) return;
  const auto fields = gf_splitSemicolon(line);
  if (fields.size() == 1) {
    if (!fields[0].empty()) entries.push_back({fields[0], {}, false});
    return;
  }
  if (fields.size() != 2 && fields.size() != 3) {
    gf_log(sk::format("{}: wrong format \"{}\"", gf_pathToUtf8(file), line));
    error = true;
    return;
  }
  const auto regcodes = sortedPieces(fields[1]);
  if (regcodes.empty()) return;
  if (regcodes.size() == 1) {
    if (fields[1].size() > kMaxRegcodeLength) {
      gf_log(sk::format("wrong regcode length \"{}\" in {}", fields[1], gf_pathToUtf8(file)));
      error = true;
      return;
    }
    entries.push_back({fields[0], regcodes, true});
    return;
  }
  RegcodeEntry entry{fields[0], {}, fields.size() == 3 && fields[2] == "#"};
  for (const auto& regcode : regcodes) {
    if (regcode.size() >= kMinListedRegcodeLength && regcode.size() <= kMaxRegcodeLength) {
      entry.regcodes.push_back(regcode);
    } else {
      gf_log(sk::format("wrong regcode length \"{}\" in {}", regcode, gf_pathToUtf8(file)));
      error = true;
    }
  }
  if (entry.regcodes.empty()) {
    gf_log(sk::format("{} ; regs empty? ", gf_pathToUtf8(file)));
    return;
  }
  entries.push_back(std::move(entry));
}

bool lf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeEntry>& entries) {
  bool error = false;
  try {
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
      if (!item.is_regular_file() || item.path().extension() != ".TXT") continue;
      gf_logText(sk::format("Processing regcodes file \"{}\"", gf_pathToUtf8(item.path())));
      if (gf_tooLargeToRead(item.path())) {
        // Not read, as an unreadable file is not: the user is told, not only the log.
        gf_log(gf_tooLargeText(item.path()));
        error = true;
        continue;
      }
      FileLines file{item.path(), {}};
      if (const auto* lines = gf_readFile(file, 512)) {
        for (const auto& line : *lines) lf_readRegcodeFile(item.path(), entries, error, line);
      } else if (!std::ifstream(item.path())) {
        // An empty file has no lines either, and is no error; the other files are still read.
        gf_log(sk::format("Error in reading regcode file {}, what: cannot be opened",
                          gf_pathToUtf8(item.path())));
        error = true;
      }
    }
    gf_logText(sk::format("{} liverie{} read", entries.size(), plural(entries.size())));
  } catch (const std::exception& failure) {
    gf_log(sk::format("Error in reading regcode file {}, what: {}", gf_pathToUtf8(folder), failure.what()));
    return false;
  }
  return !error;
}

bool lf_readAigRegcodes(const std::filesystem::path& path, std::vector<RegcodeEntry>& entries) {
  pugi::xml_document document;
  if (!gf_loadXmlFile(document, path)) {
    gf_log(sk::format("Failed to load {}", gf_pathToUtf8(path)));
    return false;
  }
  const std::size_t before = entries.size();
  for (const pugi::xml_node node : document.child("AIG-regcodes").children("livery")) {
    const std::string title = node.attribute("title").as_string();
    if (title.empty()) continue;
    // One bad entry from the server must not stop the start-up.
    try {
      auto regcodes = sortedPieces(node.attribute("reg").as_string());
      for (auto& regcode : regcodes) regcode = gf_decryptRegcode(regcode);
      entries.push_back({title, std::move(regcodes), gf_xmlAttrBool(node, "special")});
    } catch (const std::exception& error) {
      gf_log(sk::format("exception in lf_readAigRegcodes: {}", error.what()));
    }
  }
  gf_backupFile(path);
  const std::size_t read = entries.size() - before;
  gf_logText(sk::format("{} liverie{} read from {}", read, plural(read), gf_pathToUtf8(path)));
  return true;
}

void lf_processInlineRegcodes() {
  std::vector<std::string> clashes;
  for (const LiveryData& livery : gScannedLiveries) {
    if (livery.atcid.empty()) continue;
    const std::string_view stored = gf_findStoredTitle(livery.title);
    if (stored.empty()) {
      clashes.push_back(sk::format("==> [{}] {} \"{}\" not available, system error, should not happen?",
                                   gf_airlineTypeLabel(livery), livery.atcid, livery.title));
      continue;
    }
    const auto [where, inserted] = gLiveriesByRegistration.try_emplace(livery.atcid, stored);
    if (!inserted && where->second != stored) {
      clashes.push_back(
          sk::format("{} \"{}\" => already in use by \"{}\"", livery.atcid, livery.title, where->second));
    }
  }
  if (clashes.empty()) return;
  std::filesystem::create_directories(OutputErrorsFolder);
  gf_writeTextFile(clashes, InlineRegcodesPath);
  gf_logText(sk::format("{} in-line regcode clashes, see \"{}\"", clashes.size(),
                        gf_pathToUtf8(InlineRegcodesPath)));
}

void lf_addRegcodes(const std::vector<RegcodeEntry>& entries) {
  std::size_t added = 0, replaced = 0, special = 0;
  for (const auto& entry : entries) {
    const std::string_view stored = gf_findStoredTitle(entry.title);
    if (stored.empty()) continue;
    for (const auto& regcode : entry.regcodes) {
      const auto [where, inserted] = gLiveriesByRegistration.try_emplace(regcode, stored);
      if (inserted || where->second == stored) {
        ++added;
        continue;
      }
      gRegcodeResultLines.push_back(
          sk::format("   regcode {} for \"{}\", instead of the same for \"{}\"", regcode, stored, where->second));
      where->second = stored;
      ++replaced;
    }
    if (entry.special) {
      gSpecialLiveries.push_back(stored);
      gSpecialLiveryIndex.insert(stored);
      ++special;
    }
  }
  std::string line = sk::format("{} new regcode{} added", added, plural(added));
  if (replaced >= 1) line += sk::format(", {} regcode{} replaced", replaced, replaced > 1 ? "s" : "");
  if (special >= 1) line += sk::format(", {} regcode{} defined as special", special, special > 1 ? "s" : "");
  gRegcodeResultLines.push_back(std::move(line));
}

void lf_readAigRegcodeFile(const std::filesystem::path& path) {
  gRegcodeResultLines.push_back("Processing file " + gf_pathToUtf8(path));
  std::vector<RegcodeEntry> entries;
  if (!lf_readAigRegcodes(path, entries)) {
    gRegcodeResultLines.push_back(sk::format(
        "There were errors in processing the AIG-regcode file \"{}\", see the Log.txt", gf_pathToUtf8(path)));
  }
  lf_addRegcodes(entries);
}

void lf_readRegcodeFolder() {
  if (!hasRegularFile(MyRegcodesFolder)) return;
  gRegcodeResultLines.push_back("Processing files in " + gf_pathToUtf8(MyRegcodesFolder));
  std::vector<RegcodeEntry> entries;
  if (!lf_readRegcodeFiles(MyRegcodesFolder, entries)) {
    gf_showMessage(
        sk::format("There were errors in processing the regcode files in folder \"{}\", see the Log.txt",
                   gf_pathToUtf8(MyRegcodesFolder)),
        true);
  }
  lf_addRegcodes(entries);
}

void gf_processRegcodes() {
  gRegcodeResultLines.clear();
  if (lf_downloadAigRegcodes(AigRegcodesPath)) {
    lf_readAigRegcodeFile(AigRegcodesPath);
    if (std::filesystem::exists(AigRegcodesPath)) std::filesystem::remove(AigRegcodesPath);
  } else {
    gf_log("reading AIG-regcodes failed?");
  }
  lf_readRegcodeFolder();
  if (std::filesystem::exists(OfflineRegcodesPath)) std::filesystem::remove(OfflineRegcodesPath);
  if (gRegcodeResultLines.empty()) return;
  std::filesystem::create_directories(OutputInfoFolder);
  gf_writeTextFile(gRegcodeResultLines, OfflineRegcodesPath);
  gf_logText(sk::format("Offline regcode files processed, results can be found in \"{}\"",
                        gf_pathToUtf8(OfflineRegcodesPath)));
  if (!gSpecialLiveries.empty()) gf_logText(sk::format("{} special liveries", gSpecialLiveries.size()));
}

void lf_readTitleFile(const std::filesystem::path& path) {
  std::vector<RegcodeEntry> entries;
  lf_readAigRegcodes(path, entries);
  const std::size_t appended = appendTitlesNotToUse(entries);
  gf_logText(sk::format("{} don't use title{} read", appended, plural(appended)));
}

void lf_readTitleFolder() {
  std::vector<RegcodeEntry> entries;
  lf_readRegcodeFiles(MyRegcodesFolder, entries);
  const std::size_t appended = appendTitlesNotToUse(entries);
  gf_logText(sk::format("{} don't use title{} read from files in {}", appended, plural(appended),
                        gf_pathToUtf8(MyRegcodesFolder)));
}
