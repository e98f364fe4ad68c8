#include "report/xml.hpp"

#include <array>

#include "platform/growth.hpp"
#include "platform/utf8.hpp"

namespace dpt {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The characters that may start a replacement inside character data.
constexpr auto kCdataSpecial = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : {']', '<', '\n', '\r'}) table[c] = true;
    return table;
}();

std::size_t next_cdata_special(std::string_view text, std::size_t from) {
    while (from < text.size() && !kCdataSpecial[static_cast<unsigned char>(text[from])]) ++from;
    return from;
}

bool forbidden_control(unsigned char byte) {
    return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
}

}  // namespace

std::string xml_safe_text(std::string_view bytes) {
    std::string text = decode_utf8_lossy(bytes);
    // Ordinary text has nothing to replace: copy runs, not characters.
    std::size_t i = 0;
    const auto needs_work = [&](std::size_t at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        return forbidden_control(byte) || byte == 0xEF;
    };
    while (i < text.size() && !needs_work(i)) ++i;
    if (i == text.size()) return text;

    std::string out;
    out.reserve(text.size() + 16);
    out.append(text, 0, i);
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (forbidden_control(byte)) {
            out += kReplacement;
            ++i;
        } else if (byte == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            // U+FFFE and U+FFFF; the decoded text is well-formed, so the bytes are one character.
            out += kReplacement;
            i += 3;
        } else {
            const std::size_t start = i++;
            while (i < text.size() && !needs_work(i)) ++i;
            out.append(text, start, i - start);
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
    // Room for the whole element at once: every replacement below adds a fixed length.
    std::size_t extra = 12;
    for (std::size_t at = next_cdata_special(view, 0); at < view.size();
         at = next_cdata_special(view, at + 1)) {
        if (view[at] == '\n' || view[at] == '\r')
            extra += 16;
        else if (view.substr(at, 3) == "]]>" || view.substr(at, 2) == "<?")
            extra += 12;
    }
    grow_for_append(out, view.size() + extra);
    out += "<![CDATA[";
    std::size_t i = 0;
    while (i < view.size()) {
        // Copy the run up to the next character that may need a replacement.
        const std::size_t run_end = next_cdata_special(view, i);
        out.append(view.substr(i, run_end - i));
        i = run_end;
        if (i == view.size()) break;
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
