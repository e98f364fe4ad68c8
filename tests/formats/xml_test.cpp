#include "report/xml.hpp"

#include <gtest/gtest.h>

#include <string>

namespace dpt {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct TextCase {
    std::string input;
    std::string expected;
};

TEST(XmlSafeText, ReplacesWhatXmlForbidsAndKeepsTheRest) {
    const TextCase cases[] = {
        {"plain", "plain"},
        {"tab\t lf\n cr\r", "tab\t lf\n cr\r"},
        {"\x1b[31m", kFffd + "[31m"},
        {std::string("a\0b", 3), "a" + kFffd + "b"},
        {"\x01\x08\x0b\x0c\x1f", kFffd + kFffd + kFffd + kFffd + kFffd},
        {"del\x7f", "del\x7f"},                                    // allowed in XML 1.0
        {"\xef\xbf\xbe\xef\xbf\xbf", kFffd + kFffd},               // U+FFFE, U+FFFF
        {"\xef\xbf\xbd\xee\x80\x80", "\xef\xbf\xbd\xee\x80\x80"},  // U+FFFD, U+E000 stay
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
        {"bad \xff end", "bad " + kFffd + " end"},
        {"cut \xe2\x9c", "cut " + kFffd},
        {"\xed\xa0\x80", kFffd + kFffd + kFffd},  // an encoded surrogate
    };
    for (const auto& c : cases) EXPECT_EQ(xml_safe_text(c.input), c.expected) << c.input;
}

TEST(XmlAttribute, EscapesWhatWouldEndOrAlterTheValue) {
    const TextCase cases[] = {
        {"", ""},
        {"integration", "integration"},
        {"a \"quoted\" <tag> & more > less 'single'",
         "a &quot;quoted&quot; &lt;tag> &amp; more > less 'single'"},
        {"line one\nline two", "line one&#10;line two"},
        {"tab\tcr\r", "tab&#9;cr&#13;"},
        {"esc\x1b", "esc" + kFffd},
        {"&amp;", "&amp;amp;"},
    };
    for (const auto& c : cases) EXPECT_EQ(xml_attribute(c.input), c.expected) << c.input;
}

TEST(WriteCdata, WrapsTextSoNoSectionEndsEarlyAndNoLineBreakRemains) {
    const TextCase cases[] = {
        {"", "<![CDATA[]]>"},
        {"plain <b>&amp;</b>", "<![CDATA[plain <b>&amp;</b>]]>"},
        {"]]>", "<![CDATA[]]]]><![CDATA[>]]>"},
        {"a]]]>b", "<![CDATA[a]]]]]><![CDATA[>b]]>"},
        {"<?xml?>", "<![CDATA[<]]><![CDATA[?xml?>]]>"},
        {"<<?", "<![CDATA[<<]]><![CDATA[?]]>"},
        {"one\ntwo\n", "<![CDATA[one]]>&#xA;<![CDATA[two]]>&#xA;<![CDATA[]]>"},
        {"crlf\r\n", "<![CDATA[crlf]]>&#xD;<![CDATA[]]>&#xA;<![CDATA[]]>"},
        {"\x1b[1mbold", "<![CDATA[" + kFffd + "[1mbold]]>"},
        {"bad\xc3(", "<![CDATA[bad" + kFffd + "(]]>"},
    };
    for (const auto& c : cases) {
        std::string out = "<x>";
        write_cdata(out, c.input);
        EXPECT_EQ(out, "<x>" + c.expected) << c.input;
    }
}

}  // namespace
}  // namespace dpt
