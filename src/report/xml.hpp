#pragma once

#include <string>
#include <string_view>

namespace dpt {

// The bytes decoded as UTF-8 (each ill-formed sequence replaced by U+FFFD), with every
// character that XML 1.0 does not allow in a document (control characters other than tab,
// line feed and carriage return; U+FFFE; U+FFFF) also replaced by U+FFFD. A parser would
// otherwise reject the whole document over one stray escape byte in a child's output.
std::string xml_safe_text(std::string_view bytes);

// `xml_safe_text` of the bytes, escaped for a double-quoted attribute value: `&`, `<`, `"`
// become entity references, and tab, line feed and carriage return character references
// (a parser would turn them into spaces otherwise), so the text reads back unchanged.
std::string xml_attribute(std::string_view bytes);

// Appends `xml_safe_text` of the bytes as character data: wrapped in "<![CDATA[" and "]]>",
// with "]]>" split across two sections, "<?" split likewise, and each line feed (and
// carriage return) written as a character reference between sections, so the document
// holds no line break of its own.
void write_cdata(std::string& out, std::string_view bytes);

}  // namespace dpt
