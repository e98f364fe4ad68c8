#include "report/env.hpp"

#include <fmt/format.h>

#include <cstdlib>
#include <limits>
#include <thread>

#include "entry/test_failure.hpp"
#include "platform/utf8.hpp"

namespace dpt {

namespace {

// The number reader's descriptions, used in every message about a bad number.
constexpr std::string_view kEmptyNumber = "cannot parse integer from empty string";
constexpr std::string_view kInvalidDigit = "invalid digit found in string";
constexpr std::string_view kNumberTooLarge = "number too large to fit in target type";

// Durations are held as std::chrono::milliseconds, whose count is signed.
constexpr std::uint64_t kMaxMillis =
    static_cast<std::uint64_t>(std::numeric_limits<std::chrono::milliseconds::rep>::max());

std::chrono::milliseconds parse_threshold_piece(std::string_view var, std::string_view piece) {
    const auto value = parse_decimal(piece, kMaxMillis);
    if (!value) {
        harness_fatal(fmt::format(
            "Duration value in variable {} is expected to be a number, but got {}", var, piece));
    }
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(*value));
}

// A set threshold variable replaces `threshold`; "WARN,CRITICAL" with exactly one comma.
void read_threshold(std::string_view var, TimeThreshold& threshold) {
    const auto value = env_var(var);
    if (!value) return;
    const std::string_view text = *value;
    const auto comma = text.find(',');
    if (comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos) {
        harness_fatal(fmt::format(
            "Duration variable {} expected to have 2 numbers separated by comma, but got {}", var,
            text));
    }
    const auto warn = parse_threshold_piece(var, text.substr(0, comma));
    const auto critical = parse_threshold_piece(var, text.substr(comma + 1));
    if (warn > critical) {
        harness_fatal("Test execution warn time should be less or equal to the critical time");
    }
    threshold = {warn, critical};
}

}  // namespace

std::optional<std::string> env_var(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) return std::nullopt;
    std::string text(value);
    if (!is_valid_utf8(text)) return std::nullopt;
    return text;
}

std::optional<std::uint64_t> parse_decimal(std::string_view text, std::uint64_t max,
                                           NumberError* error) {
    const auto fail = [error](std::string_view description) -> std::optional<std::uint64_t> {
        if (error != nullptr) error->description = description;
        return std::nullopt;
    };
    if (text.empty()) return fail(kEmptyNumber);
    std::string_view digits = text;
    if (digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty()) return fail(kInvalidDigit);
    std::uint64_t value = 0;
    bool too_large = false;
    for (const char c : digits) {
        if (c < '0' || c > '9') return fail(kInvalidDigit);
        const auto digit = static_cast<std::uint64_t>(c - '0');
        // Keep checking the rest for invalid digits: they take precedence over the size.
        if (too_large || digit > max || value > (max - digit) / 10) {
            too_large = true;
            continue;
        }
        value = value * 10 + digit;
    }
    if (too_large) return fail(kNumberTooLarge);
    return value;
}

std::size_t resolve_workers(const RunOptions& options) {
    if (options.test_threads) return *options.test_threads;
    if (const auto value = env_var(kThreadsVar)) {
        const auto count = parse_decimal(*value, std::numeric_limits<std::size_t>::max());
        if (!count || *count == 0) {
            harness_fatal(
                fmt::format("{} is `{}`, should be a positive integer.", kThreadsVar, *value));
        }
        return static_cast<std::size_t>(*count);
    }
    const unsigned processors = std::thread::hardware_concurrency();
    return processors == 0 ? 1 : processors;
}

TimeLimits read_time_limits(bool limits_are_errors) {
    TimeLimits limits;
    limits.limits_are_errors = limits_are_errors;
    read_threshold(kTimeUnitVar, limits.unit);
    read_threshold(kTimeIntegrationVar, limits.integration);
    read_threshold(kTimeDocExampleVar, limits.documentation_example);
    return limits;
}

std::optional<std::uint64_t> read_shuffle_seed_var() {
    const auto value = env_var(kShuffleSeedVar);
    if (!value) return std::nullopt;
    const auto seed = parse_decimal(*value, std::numeric_limits<std::uint64_t>::max());
    if (!seed)
        harness_fatal(fmt::format("{} is `{}`, should be a number.", kShuffleSeedVar, *value));
    return seed;
}

}  // namespace dpt
