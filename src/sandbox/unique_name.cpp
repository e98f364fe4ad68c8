#include "sandbox/unique_name.hpp"

#include <fmt/format.h>
#include <time.h>
#include <unistd.h>

namespace dpt {
namespace {

// Decimal digits of an unsigned 128-bit value; fmt has no formatter for it everywhere.
std::string decimal(unsigned __int128 value) {
    char buf[40];
    char* end = buf + sizeof buf;
    char* p = end;
    do {
        *--p = static_cast<char>('0' + static_cast<int>(value % 10));
        value /= 10;
    } while (value != 0);
    return std::string(p, end);
}

}  // namespace

std::string unique_name_at(std::string_view prefix, std::uint32_t pid, std::int64_t seconds,
                           std::int64_t nanoseconds) {
    unsigned __int128 count = 0;
    if (seconds >= 0 && nanoseconds >= 0) {
        count = static_cast<unsigned __int128>(seconds) * 1'000'000'000u +
                static_cast<unsigned __int128>(nanoseconds);
    } else if (seconds >= 0) {
        // A negative sub-second part borrows from the seconds.
        const auto total = static_cast<__int128>(seconds) * 1'000'000'000 + nanoseconds;
        count = total > 0 ? static_cast<unsigned __int128>(total) : 0;
    }
    return fmt::format("{}_{}_{}", prefix, pid, decimal(count));
}

std::string unique_name(std::string_view prefix) {
    // CLOCK_REALTIME through clock_gettime is the finest wall clock the system offers.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return unique_name_at(prefix, static_cast<std::uint32_t>(::getpid()), now.tv_sec, now.tv_nsec);
}

}  // namespace dpt
