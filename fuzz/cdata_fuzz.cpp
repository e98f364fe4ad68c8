// A document holding the bytes as character data and as an attribute value parses, and
// both read back as the decoded text with every character XML forbids replaced by U+FFFD.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/utf8.hpp"
#include "report/xml.hpp"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool allowed_in_xml(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The expected text, worked out per code point rather than per byte as the writer does.
std::string expected_text(std::string_view bytes) {
    const std::string text = dpt::decode_utf8_lossy(bytes);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1   ? lead
                     : length == 2 ? lead & 0x1F
                     : length == 3 ? lead & 0x0F
                                   : lead & 0x07;
        for (std::size_t k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (allowed_in_xml(c)) {
            out.append(text, i, length);
        } else {
            out += kReplacement;
        }
        i += length;
    }
    return out;
}

std::string as_string(xmlChar* owned) {
    if (owned == nullptr) std::abort();
    std::string s(reinterpret_cast<const char*>(owned));
    xmlFree(owned);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    xmlInitParser();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string expected = expected_text(input);
    if (dpt::xml_safe_text(input) != expected) std::abort();

    std::string cdata;
    dpt::write_cdata(cdata, input);
    if (cdata.find_first_of("\r\n") != std::string::npos) std::abort();

    const std::string document = "<r a=\"" + dpt::xml_attribute(input) + "\">" + cdata + "</r>";
    xmlDocPtr doc =
        xmlReadMemory(document.data(), static_cast<int>(document.size()), nullptr, "UTF-8",
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr) std::abort();
    xmlNodePtr root = xmlDocGetRootElement(doc);
    if (root == nullptr) std::abort();
    const std::string content = as_string(xmlNodeGetContent(root));
    const std::string attribute =
        as_string(xmlGetProp(root, reinterpret_cast<const xmlChar*>("a")));
    xmlFreeDoc(doc);
    if (content != expected || attribute != expected) std::abort();
    return 0;
}
