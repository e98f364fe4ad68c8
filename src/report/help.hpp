#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dpt {

// The harness's help: the usage line naming `program`, one row per option and the
// explanation paragraphs.
std::string help_text(std::string_view program);

// Cuts a line into words at white space and packs them greedily into pieces of at most
// `width` characters, one space between words; a longer word stands alone.
std::vector<std::string> pack_words(std::string_view line, std::size_t width);

}  // namespace dpt
