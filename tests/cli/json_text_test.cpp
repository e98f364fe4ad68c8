#include "cli/json_text.hpp"

#include <gtest/gtest.h>

namespace dpt {
namespace {

TEST(EscapeJsonText, EscapesQuotesBackslashesAndControlCharacters) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"plain text 123", "plain text 123"},
        {"", ""},
        {R"(say "hi")", R"(say \"hi\")"},
        {R"(C:\dir)", R"(C:\\dir)"},
        {"\b\f\n\r\t", R"(\b\f\n\r\t)"},
        {std::string("\x00\x01\x1f", 3), R"(\u0000\u0001\u001f)"},
        {"\x7f caf\xC3\xA9 \xFF", "\\u007f caf\xC3\xA9 \xFF"},
    };
    for (const auto& c : cases) EXPECT_EQ(escape_json_text(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace dpt
