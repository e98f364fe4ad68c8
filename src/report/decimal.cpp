#include "report/decimal.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace dpt {

std::string plain_decimal(double value) {
    // JSON and XML consumers cannot read inf or nan; a time is never either.
    if (!std::isfinite(value)) return "0";
    if (value == 0) return "0";  // also folds -0
    // The longest fixed form of a double is about 330 characters (the smallest
    // subnormal), far less than this buffer.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc()) return "0";
    return std::string(buffer, result.ptr);
}

}  // namespace dpt
