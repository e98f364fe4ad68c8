#include "report/decimal.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace dpt {
namespace {

struct DecimalCase {
    double value;
    const char* expected;
};

TEST(PlainDecimal, WritesShortestPositionalForm) {
    const DecimalCase cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {0.5, "0.5"},
        {2.0, "2"},
        {0.25, "0.25"},
        {1.005, "1.005"},
        {75.0, "75"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e-7, "0.0000001"},  // {} of {fmt} writes 1e-07
        {1.5e-5, "0.000015"},
        {1e21, "1000000000000000000000"},  // and 1e+21
        {123456.789, "123456.789"},
    };
    for (const auto& c : cases) EXPECT_EQ(plain_decimal(c.value), c.expected) << c.value;
}

TEST(PlainDecimal, ReadsBackExactlyWithoutExponentAtTheExtremes) {
    const double values[] = {std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::min(), 3.3e-9, 6.02214076e23,
                             std::numeric_limits<double>::max()};
    for (const double v : values) {
        const std::string text = plain_decimal(v);
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
    }
}

TEST(PlainDecimal, NonFiniteValuesComeOutAsZero) {
    EXPECT_EQ(plain_decimal(std::numeric_limits<double>::infinity()), "0");
    EXPECT_EQ(plain_decimal(std::nan("")), "0");
}

}  // namespace
}  // namespace dpt
