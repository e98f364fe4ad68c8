#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dpt {

// `prefix`, "_", the process id, "_", the wall-clock nanoseconds since the Unix epoch (0
// for a clock set before it), in plain decimal digits. Never fails; two calls that read
// the same clock value return the same text.
std::string unique_name(std::string_view prefix);

// The same text for a given process id and clock reading (seconds and nanoseconds since
// the epoch, as the system clock reports them; negative seconds mean before the epoch).
std::string unique_name_at(std::string_view prefix, std::uint32_t pid, std::int64_t seconds,
                           std::int64_t nanoseconds);

}  // namespace dpt
