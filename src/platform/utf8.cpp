#include "platform/utf8.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/growth.hpp"

namespace dpt {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the run of ASCII bytes at the start of `s`, eight bytes at a time: output is
// mostly ASCII, and a byte-by-byte scan was most of the cost of taking a line.
std::size_t ascii_prefix(const unsigned char* s, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s + i, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0) break;
    }
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

// Length of the well-formed sequence at the start of `s`, or 0 when none starts there.
// `*consumed` receives the length of the maximal subpart to replace in the ill-formed case
// (at least 1): the longest prefix that could still begin a well-formed sequence.
std::size_t sequence_length(const unsigned char* s, std::size_t n, std::size_t* consumed) {
    const unsigned char b0 = s[0];
    if (b0 < 0x80) return 1;
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        *consumed = 1;
        return 0;
    }
    std::size_t i = 1;
    for (; i < need; ++i) {
        if (i >= n) break;
        const unsigned char b = s[i];
        const bool fits = i == 1 ? (b >= lo && b <= hi) : (b >= 0x80 && b <= 0xBF);
        if (!fits) break;
    }
    if (i == need) return need;
    *consumed = i;
    return 0;
}

// Length of the well-formed UTF-8 at the start of `s`.
std::size_t valid_prefix(const unsigned char* s, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            i += ascii_prefix(s + i, n - i);
            continue;
        }
        std::size_t consumed = 0;
        const std::size_t len = sequence_length(s + i, n - i, &consumed);
        if (len == 0) break;
        i += len;
    }
    return i;
}

}  // namespace

std::string decode_utf8_lossy(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::string out;
    std::size_t i = valid_prefix(s, n);
    if (i == n) {
        grow_for_append(out, n);
        out.append(bytes);
        return out;
    }
    grow_for_append(out, n + 8);
    // Each pass copies one well-formed run and replaces the ill-formed subpart after it.
    std::size_t run_start = 0;
    while (i < n) {
        out.append(bytes.data() + run_start, i - run_start);
        out.append(kReplacement);
        std::size_t consumed = 0;
        sequence_length(s + i, n - i, &consumed);
        i += consumed;
        run_start = i;
        i += valid_prefix(s + i, n - i);
    }
    out.append(bytes.data() + run_start, n - run_start);
    return out;
}

bool is_valid_utf8(std::string_view bytes) noexcept {
    return valid_prefix(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) ==
           bytes.size();
}

}  // namespace dpt
