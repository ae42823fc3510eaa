#pragma once
// UTF-8 and the system's wide text, for the Windows side of the platform layer
// (core's converters lie above it).
#include <string>
#include <string_view>

std::wstring gf_wideFromUtf8(std::string_view text);
std::string gf_utf8FromWide(std::wstring_view text);
