#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dpt {

// One option of the harness's command line, as the parser reads it and the help shows it.
struct OptionInfo {
    char short_name;             // '\0' when it has none
    std::string_view long_name;  // empty when it has none
    std::string_view hint;       // the argument's hint; empty for a flag
    bool takes_argument;
    bool hidden;  // accepted but not shown in the help
    std::initializer_list<std::string_view> description;
};

// Every option, in the order of the help.
std::span<const OptionInfo> harness_options();

// The harness's help: the usage line naming `program`, one row per option and the
// explanation paragraphs.
std::string help_text(std::string_view program);

// Cuts a line into words at white space and packs them greedily into pieces of at most
// `width` characters, one space between words; a longer word stands alone.
std::vector<std::string> pack_words(std::string_view line, std::size_t width);

}  // namespace dpt
