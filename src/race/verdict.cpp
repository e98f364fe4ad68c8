#include "race/verdict.hpp"

#include <fmt/format.h>
#include <string.h>

#include "entry/checks.hpp"
#include "entry/test_failure.hpp"

namespace dpt {

std::size_t count_occurrences(std::string_view text, std::string_view token) noexcept {
    if (token.empty()) return 0;
    std::size_t count = 0;
    const char* pos = text.data();
    const char* const end = text.data() + text.size();
    while (static_cast<std::size_t>(end - pos) >= token.size()) {
        const void* hit =
            ::memmem(pos, static_cast<std::size_t>(end - pos), token.data(), token.size());
        if (hit == nullptr) break;
        ++count;
        pos = static_cast<const char*>(hit) + token.size();
    }
    return count;
}

std::size_t add_counts(std::size_t a, std::size_t b, const std::source_location& loc) {
    std::size_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) raise_failure("attempt to add with overflow", loc);
    return sum;
}

void judge_exactly_once(std::string_view token, std::string_view stream_text,
                        std::string_view hook_stdout) {
    const std::size_t stream_count = count_occurrences(stream_text, token);
    const std::size_t hook_count = count_occurrences(hook_stdout, token);
    const std::size_t total = add_counts(stream_count, hook_count);
    require_equal(total, std::size_t{1}, [&] {
        return fmt::format(
            "exactly-once invariant violated: stream_count={} hook_count={} (expected "
            "total=1)\nstream stdout: {}\nhook stdout: {}",
            stream_count, hook_count, stream_text, hook_stdout);
    });
}

}  // namespace dpt
