#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "core/errors.h"
#include "core/file_save.h"
#include "core/format.h"
#include "core/log.h"
#include "core/util.h"
#include "platform/system.h"

void gf_readLines(std::istream& stream, std::vector<std::string>& lines) {
  std::string line;
  while (std::getline(stream, line)) {
    // Files written on Windows end their lines in CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
}

std::vector<std::string>* gf_readFile(FileLines& file, int reserve) {
  std::ifstream stream(file.path);
  if (!stream) return nullptr;
  if (reserve > 0) file.lines.reserve(static_cast<std::size_t>(reserve));
  gf_readLines(stream, file.lines);
  return file.lines.empty() ? nullptr : &file.lines;
}

bool gf_writeFile(const std::string& text, const std::filesystem::path& path, bool newline) {
  std::ofstream stream(path, std::ios::trunc);
  if (!stream) return false;
  stream << text;
  if (newline) stream << '\n';
  stream.flush();
  return stream.good();
}

bool gf_writeTextFile(const std::vector<std::string>& lines, const std::filesystem::path& path) {
  std::ofstream stream(path, std::ios::trunc);
  if (!stream) return false;
  for (const std::string& line : lines) stream << line << '\n';
  stream.flush();
  return stream.good();
}

bool gf_saveXmlFile(const pugi::xml_document& document, const std::filesystem::path& path) {
  if (gf_replaceXmlFile(document, path)) {
    gf_logText(sk::format("\"{}\" saved", gf_pathToUtf8(path)));
    return true;
  }
  gf_logText(sk::format("could not save to \"{}\"", gf_pathToUtf8(path)));
  return false;
}

namespace {

// Log.txt gives Log0.txt and Log00.txt; false for a name without extension (of
// the file name only: a dot in a folder name is no extension).
bool lf_backupNames(const std::filesystem::path& path, std::filesystem::path& first,
                    std::filesystem::path& second) {
  const std::filesystem::path extension = path.extension();
  if (extension.empty()) return false;
  const std::filesystem::path stem = path.stem();
  first = path.parent_path() / gf_pathFromUtf8(gf_pathToUtf8(stem) + "0" + gf_pathToUtf8(extension));
  second = path.parent_path() / gf_pathFromUtf8(gf_pathToUtf8(stem) + "00" + gf_pathToUtf8(extension));
  return true;
}

}  // namespace

bool gf_renameReplacing(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error) {
  if (gf_renameOver(from, to)) {
    error.clear();
    return true;
  }
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
      error = std::make_error_code(std::errc::no_such_file_or_directory);
      break;
    case ERROR_ACCESS_DENIED:
      error = std::make_error_code(std::errc::permission_denied);
      break;
    default:
      error = std::make_error_code(std::errc::io_error);
  }
  return false;
}

std::filesystem::path gf_moveAside(const std::filesystem::path& path) {
  std::filesystem::path first, second;
  if (!lf_backupNames(path, first, second)) return {};
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::symlink_status(first, error))) {
    std::filesystem::remove_all(second, error);
    if (!gf_renameReplacing(first, second, error)) return {};
  }
  return gf_renameReplacing(path, first, error) ? first : std::filesystem::path();
}

bool gf_copyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                          std::error_code& error) {
  std::filesystem::path copy = to;
  copy += ".copy";
  std::error_code ignored;
  std::filesystem::remove(copy, ignored);
  if (std::filesystem::copy_file(from, copy, error)) gf_renameReplacing(copy, to, error);
  if (!error) return true;
  std::filesystem::remove(copy, ignored);
  return false;
}

void gf_copyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  if (!gf_copyFileReplacing(from, to, error)) throw std::filesystem::filesystem_error("copy_file", from, to, error);
}

void gf_backupFile(const std::filesystem::path& path) {
  std::filesystem::path first, second;
  if (!lf_backupNames(path, first, second)) return;
  if (std::filesystem::exists(first)) gf_copyFileReplacing(first, second);
  if (std::filesystem::exists(path)) gf_copyFileReplacing(path, first);
}

int gf_countFiles(const std::filesystem::path& folder) {
  if (!std::filesystem::exists(folder)) return 0;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) ++count;
  }
  return count;
}

std::string gf_xmlAttrString(const pugi::xml_node& node, const std::string& name) {
  return node.attribute(name.c_str()).as_string();
}

bool gf_xmlAttrBool(const pugi::xml_node& node, const std::string& name) {
  return node.attribute(name.c_str()).as_bool(false);
}

int gf_xmlAttrInt(const pugi::xml_node& node, const std::string& name) {
  const pugi::xml_attribute attribute = node.attribute(name.c_str());
  if (!attribute) return 0;
  const long long value = std::strtoll(attribute.value(), nullptr, 10);
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

double gf_xmlAttrDouble(const pugi::xml_node& node, const std::string& name) {
  const pugi::xml_attribute attribute = node.attribute(name.c_str());
  if (!attribute) return 0.0;
  return std::strtod(attribute.value(), nullptr);
}

std::filesystem::path gf_knownFolderPath(int csidl) { return gf_shellFolderPath(csidl); }

void gf_clearFolder(const std::filesystem::path& folder) {
  try {
    if (!std::filesystem::exists(folder) || !std::filesystem::is_directory(folder)) return;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (!std::filesystem::exists(entry.symlink_status())) continue;
      if (!std::filesystem::remove(entry.path())) {
        gf_logText(sk::format("{} could not be removed", gf_pathToUtf8(entry.path())));
      }
    }
  } catch (const std::filesystem::filesystem_error& error) {
    throw qlx::UserErrorException(5, error.what());
  }
}
