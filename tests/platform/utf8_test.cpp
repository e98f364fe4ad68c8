#include "platform/utf8.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace dpt {
namespace {

std::string from_hex(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 3) {
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return out;
}

// Code points of well-formed UTF-8.
std::vector<std::uint32_t> code_points(std::string_view s) {
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        std::uint32_t cp = len == 1 ? b : b & (0x3F >> (len - 1));
        for (int k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += static_cast<std::size_t>(len);
    }
    return out;
}

constexpr std::uint32_t R = 0xFFFD;

TEST(DecodeUtf8Lossy, ReplacesEachMaximalIllFormedSubsequence) {
    struct Case {
        const char* hex;
        std::vector<std::uint32_t> expected;
    };
    const Case cases[] = {
        {"C0 AF E0 80 BF F0 81 82 41", {R, R, R, R, R, R, R, R, 0x41}},
        {"ED A0 80 ED BF BF ED AF 41", {R, R, R, R, R, R, R, R, 0x41}},
        {"F4 91 92 93 FF 41 80 BF 42", {R, R, R, R, R, 0x41, R, R, 0x42}},
        {"E1 80 E2 F0 91 92 F1 BF 41", {R, R, R, R, 0x41}},
        {"E2 82", {R}},
        {"E2 82 41", {R, 0x41}},
        {"EF BB BF 41", {0xFEFF, 0x41}},
        {"F0 9F 98 80 C3 A9 7F", {0x1F600, 0xE9, 0x7F}},
        {"F4 8F BF BF F4 90 80 80", {0x10FFFF, R, R, R, R}},
        {"", {}},
    };
    for (const auto& c : cases) {
        const std::string in = from_hex(c.hex);
        const std::string out = decode_utf8_lossy(in);
        EXPECT_TRUE(is_valid_utf8(out)) << c.hex;
        EXPECT_EQ(code_points(out), c.expected) << c.hex;
        EXPECT_EQ(is_valid_utf8(in), out == in) << c.hex;
    }
}

TEST(DecodeUtf8Lossy, KeepsValidTextAroundAReplacement) {
    EXPECT_EQ(decode_utf8_lossy("caf\xC3\xA9 \xFF ok"), "caf\xC3\xA9 \xEF\xBF\xBD ok");
    EXPECT_EQ(decode_utf8_lossy(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace dpt
