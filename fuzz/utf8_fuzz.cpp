// The lossy decoder always yields valid UTF-8, and gives valid input back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/utf8.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string decoded = dpt::decode_utf8_lossy(input);
    if (!dpt::is_valid_utf8(decoded)) std::abort();
    if (dpt::is_valid_utf8(input) && decoded != input) std::abort();
    // Decoding is idempotent: nothing valid is replaced a second time.
    if (dpt::decode_utf8_lossy(decoded) != decoded) std::abort();
    return 0;
}
