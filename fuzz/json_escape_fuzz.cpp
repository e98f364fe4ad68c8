// The escaped text, quoted, reads back through a JSON parser as the decoded input, and
// holds no raw control byte that a strict parser would reject.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "platform/utf8.hpp"
#include "report/json_escape.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string text = dpt::decode_utf8_lossy(input);
    const std::string escaped = dpt::json_escape(text);
    for (const char c : escaped) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) std::abort();
    }
    const auto parsed = nlohmann::json::parse("\"" + escaped + "\"", nullptr, false);
    if (parsed.is_discarded() || !parsed.is_string()) std::abort();
    if (parsed.get<std::string>() != text) std::abort();
    return 0;
}
