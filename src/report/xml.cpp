#include "report/xml.hpp"

#include "platform/utf8.hpp"

namespace dpt {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool forbidden_control(unsigned char byte) {
    return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
}

}  // namespace

std::string xml_safe_text(std::string_view bytes) {
    const std::string text = decode_utf8_lossy(bytes);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (forbidden_control(byte)) {
            out += kReplacement;
        } else if (byte == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            // U+FFFE and U+FFFF; the decoded text is well-formed, so the bytes are one character.
            out += kReplacement;
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string xml_attribute(std::string_view bytes) {
    const std::string text = xml_safe_text(bytes);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\t':
                out += "&#9;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void write_cdata(std::string& out, std::string_view bytes) {
    const std::string text = xml_safe_text(bytes);
    const std::string_view view = text;
    out += "<![CDATA[";
    for (std::size_t i = 0; i < view.size();) {
        if (view.substr(i, 3) == "]]>") {
            out += "]]]]><![CDATA[>";
            i += 3;
        } else if (view.substr(i, 2) == "<?") {
            out += "<]]><![CDATA[?";
            i += 2;
        } else if (view[i] == '\n') {
            out += "]]>&#xA;<![CDATA[";
            ++i;
        } else if (view[i] == '\r') {
            // Parsers turn a raw carriage return into a line feed; a reference keeps it.
            out += "]]>&#xD;<![CDATA[";
            ++i;
        } else {
            out += view[i];
            ++i;
        }
    }
    out += "]]>";
}

}  // namespace dpt
