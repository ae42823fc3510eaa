#pragma once
// parameters.xml: one root element "parameters" holding one element
// "parameter" (attributes "name", "value") per setting. Every load-change-save
// cycle of the file runs under one process-wide lock, and the file is replaced
// whole (written beside it, then renamed over it), so a crash mid-save leaves
// the previous file intact.
#include <cstdint>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/parameters.h"

// XPath of the key's element: /parameters/parameter[@name='KEY'] (the key verbatim).
std::string gf_findParameterNode(const std::string& key);

// Appends <element name=... value=.../> to an element or document node; false
// when the parent is neither or an append fails. Shared by parameters.xml and
// the meta block.
bool gf_appendNameValueElement(pugi::xml_node parent, const char* element, const std::string& name,
                               const std::string& text);

// Append <parameter name=key value=.../> to an element or document node; false
// when the parent is neither or an append fails.
bool gf_appendParameterNode(pugi::xml_node parent, const std::string& key, const std::string& text);
bool gf_appendIntParameterNode(pugi::xml_node parent, const std::string& key, std::int32_t number);
bool gf_appendBoolParameterNode(pugi::xml_node parent, const std::string& key, bool flag);

// The node's first attribute of that name; empty when there is none.
pugi::xml_attribute gf_findAttribute(pugi::xml_node node, const std::string& name);

// Reads the key from the document into the current value, clamped to the limits;
// the default when the key is missing (result false). Logs "KEY=value" when asked.
bool gf_readIntParameter(IntParameter& parameter, const pugi::xml_document& document, bool log);

// Loads parameters.xml into the registered parameters (null entries skipped),
// adding missing keys with their defaults, or writes a new file of defaults
// when there is none or it cannot be read. The bound controls are shown their
// values afterwards, outside the file lock.
void gf_loadParameters(const std::vector<BoolParameter*>& plainBools,
                       const std::vector<CheckboxParameter*>& checkboxes,
                       const std::vector<IntParameter*>& plainInts,
                       const std::vector<IntEditParameter*>& intEdits,
                       const std::vector<StringParameter*>& strings,
                       const std::vector<StringEditParameter*>& stringEdits);
