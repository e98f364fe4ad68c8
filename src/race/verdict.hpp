#pragma once

#include <cstddef>
#include <source_location>
#include <string_view>

namespace dpt {

// The number of non-overlapping occurrences of `token` in `text`, as exact bytes,
// scanning on right after each match. An empty token occurs nowhere.
std::size_t count_occurrences(std::string_view text, std::string_view token) noexcept;

// a + b, or a failure "attempt to add with overflow" at `loc` when the sum does not fit.
std::size_t add_counts(std::size_t a, std::size_t b,
                       const std::source_location& loc = std::source_location::current());

// Passes when `token` occurs exactly once in the stream text and the hook output taken
// together; otherwise fails the equality check of the total against 1 with a message that
// gives both counts and both texts unchanged.
void judge_exactly_once(std::string_view token, std::string_view stream_text,
                        std::string_view hook_stdout);

}  // namespace dpt
