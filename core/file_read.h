#pragma once
// Reading files whose content the program does not control: XML files the
// user or another program may have damaged or replaced, and text files read
// whole from folders the program does not own.
#include <cstdint>
#include <filesystem>
#include <string>

#include <pugixml.hpp>

// What loading an XML file came to: false when it was not loaded, with the
// reason in description() (pugixml's own words for a missing file and for a
// parse error).
struct XmlFileLoad {
  std::string reason;  // empty when loaded
  explicit operator bool() const { return reason.empty(); }
  const char* description() const { return reason.c_str(); }
};
// The one way the program loads an XML file: only a regular file of at most
// maxBytes is handed to the parser (it would take a folder for a file of 2^63
// bytes). A document that failed is left empty.
XmlFileLoad gf_loadXmlFile(pugi::xml_document& document, const std::filesystem::path& file,
                           std::uintmax_t maxBytes = UINTMAX_MAX);

// Text files read whole from folders the program does not own (aircraft.cfg,
// manifest.json, regcode and parking files) are refused above this size: the
// largest real ones are below 100 KB, and a huge one would be held whole.
inline constexpr std::uintmax_t gMaxForeignTextBytes = 16U << 20;
// True when the file is larger than gMaxForeignTextBytes.
bool gf_tooLargeToRead(const std::filesystem::path& file);
// What a reader logs or reports for such a file: "<file> is larger than 16 MB, not read".
std::string gf_tooLargeText(const std::filesystem::path& file);
