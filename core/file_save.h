#pragma once
// The one way the program replaces a file the user owns: the new content is
// written to a temporary beside the target, flushed to disk, renamed over the
// target and the folder flushed. A crash or a full disk at any point leaves
// either the old file or the complete new one, never a mix.
#include <filesystem>
#include <string_view>

#include <pugixml.hpp>

// False when any step fails: the temporary is removed and the target is left as
// it was. The temporary's name holds the process id and a per-call counter, so
// neither two processes nor two threads ever write the same one.
bool gf_replaceFile(const std::filesystem::path& target, std::string_view content);

// The document as pugixml's save_file writes it, through gf_replaceFile.
bool gf_replaceXmlFile(const pugi::xml_document& document, const std::filesystem::path& target);

// The temporary the next replace of target in this process writes (what a test
// puts an obstacle in the way of).
std::filesystem::path gf_nextReplaceTemporary(const std::filesystem::path& target);
