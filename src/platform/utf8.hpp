#pragma once

#include <string>
#include <string_view>

namespace dpt {

// Decodes bytes as UTF-8, replacing each maximal ill-formed subsequence by U+FFFD, as
// the Unicode Standard recommends. Valid input comes back unchanged.
std::string decode_utf8_lossy(std::string_view bytes);

// Whether the bytes are well-formed UTF-8.
bool is_valid_utf8(std::string_view bytes) noexcept;

}  // namespace dpt
