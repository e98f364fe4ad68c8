#pragma once

#include <string>
#include <string_view>

namespace dpt {

// The contents of a JSON string for `text`: `"` and `\` get a backslash, control
// characters (below U+0020) become \b \f \n \r \t or \u00XX; every other byte is copied.
std::string escape_json_text(std::string_view text);

}  // namespace dpt
