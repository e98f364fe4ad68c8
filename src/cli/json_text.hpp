#pragma once

#include <string>
#include <string_view>

namespace dpt {

// The contents of a JSON string for `text`, for the texts written for the CLI: `"` and `\`
// get a backslash, control characters (below U+0020, and DEL) become \b \f \n \r \t or
// \u00XX; every other byte is copied, so ordinary values come out unchanged.
std::string escape_json_text(std::string_view text);

}  // namespace dpt
