#pragma once
// The standard library of our toolchain has no <format>; every message text is
// built through this one alias over {fmt}, which takes the same format strings.
#include <fmt/format.h>

namespace sk {
using fmt::format;
using fmt::format_to;
using fmt::format_to_n;
using fmt::formatted_size;
using fmt::make_format_args;
using fmt::vformat;
template <typename... T>
using format_string = fmt::format_string<T...>;
}  // namespace sk
