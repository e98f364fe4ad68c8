#pragma once

#include <string>
#include <string_view>

namespace dpt {

// The text as the body of a JSON string: `"` and `\` get a backslash; 0x08, 0x09, 0x0A,
// 0x0C and 0x0D become \b, \t, \n, \f and \r; every other byte below 0x20, and 0x7F,
// becomes \u00XX with lower-case digits. Every other byte passes unchanged, so the caller
// decodes text that may not be UTF-8 first.
std::string json_escape(std::string_view text);

}  // namespace dpt
