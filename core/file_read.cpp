#include "core/file_read.h"

#include <system_error>

#include "core/format.h"
#include "core/util.h"

bool gf_tooLargeToRead(const std::filesystem::path& file) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  return !error && size > gMaxForeignTextBytes;
}

std::string gf_tooLargeText(const std::filesystem::path& file) {
  return sk::format("{} is larger than {} MB, not read", gf_pathToUtf8(file), gMaxForeignTextBytes >> 20);
}

XmlFileLoad gf_loadXmlFile(pugi::xml_document& document, const std::filesystem::path& file,
                           std::uintmax_t maxBytes) {
  document.reset();
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(file, error);
  if (status.type() == std::filesystem::file_type::not_found) return {"File was not found"};
  if (error) return {error.message()};
  if (std::filesystem::is_directory(status)) return {"is a folder, not a file"};
  if (!std::filesystem::is_regular_file(status)) return {"is not a regular file"};
  if (std::filesystem::file_size(file, error) > maxBytes && !error)
    return {sk::format("is larger than {} bytes", maxBytes)};
  const pugi::xml_parse_result loaded = document.load_file(file.c_str());
  if (loaded) return {};
  document.reset();
  return {loaded.description()};
}
