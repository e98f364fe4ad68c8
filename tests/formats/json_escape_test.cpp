#include "report/json_escape.hpp"

#include <gtest/gtest.h>

#include <string>

namespace dpt {
namespace {

struct EscapeCase {
    std::string input;
    std::string expected;
};

TEST(JsonEscape, EscapesExactlyQuotesBackslashesAndControlBytes) {
    const EscapeCase cases[] = {
        {"", ""},
        {"plain text 123 /:{}[]'", "plain text 123 /:{}[]'"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"C:\\dir\\file", "C:\\\\dir\\\\file"},
        {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
        {std::string("nul\0end", 7), "nul\\u0000end"},
        {"\x01\x0b\x0e\x1f", "\\u0001\\u000b\\u000e\\u001f"},
        {"\x1b[31mred\x1b[0m", "\\u001b[31mred\\u001b[0m"},
        {"del\x7f", "del\\u007f"},
        {" ~", " ~"},  // 0x20 and 0x7E stay
        {"caf\xc3\xa9 \xe2\x9c\x93", "caf\xc3\xa9 \xe2\x9c\x93"},
        {"\x80\xff", "\x80\xff"},  // other bytes pass; decoding is the caller's step
    };
    for (const auto& c : cases) EXPECT_EQ(json_escape(c.input), c.expected) << c.input;
}

}  // namespace
}  // namespace dpt
