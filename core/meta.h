#pragma once
// The meta block of the program's own XML files: a top-level element "meta",
// written before the file's root, with one "info" element (attributes "name",
// "value") per item: author, version, date, copyright, MSFS.
#include <string>

#include <pugixml.hpp>

// Appends the block with its five items; false when an item could not be
// appended (the block then holds the items before it).
bool gf_writeMeta(pugi::xml_document& document);

// XPath of an item: /meta/info[@name='ITEM'] (the name verbatim).
std::string gf_metaItemPath(const std::string& itemName);

// True when the block holds "author", "date" and "version" (their values land in
// the meta parameters); otherwise logs "meta data incorrect?" once.
bool gf_checkMeta(const pugi::xml_document& document);
