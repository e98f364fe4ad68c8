#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "report/options.hpp"
#include "report/reporter.hpp"

namespace dpt {

// The harness's environment variables.
inline constexpr std::string_view kBootstrapVar = "DPT_BOOTSTRAP";
inline constexpr std::string_view kNoCaptureVar = "DPT_TEST_NOCAPTURE";
inline constexpr std::string_view kThreadsVar = "DPT_TEST_THREADS";
inline constexpr std::string_view kShuffleVar = "DPT_TEST_SHUFFLE";
inline constexpr std::string_view kShuffleSeedVar = "DPT_TEST_SHUFFLE_SEED";
inline constexpr std::string_view kTimeUnitVar = "DPT_TEST_TIME_UNIT";
inline constexpr std::string_view kTimeIntegrationVar = "DPT_TEST_TIME_INTEGRATION";
inline constexpr std::string_view kTimeDocExampleVar = "DPT_TEST_TIME_DOCEXAMPLE";

// The value of an environment variable; a value that is not valid UTF-8 counts as unset.
std::optional<std::string> env_var(std::string_view name);

// Reads an unsigned decimal number (an optional leading "+", then digits) no larger than
// `max`. The error is a short description for messages such as
// "argument for --test-threads must be a number > 0 (error: {})".
struct NumberError {
    std::string_view description;
};
std::optional<std::uint64_t> parse_decimal(std::string_view text, std::uint64_t max,
                                           NumberError* error = nullptr);

// How many tests run at once: --test-threads, else DPT_TEST_THREADS (anything but a positive
// integer is a fatal stop), else the number of processors, else 1.
std::size_t resolve_workers(const RunOptions& options);

// TimeLimits from the defaults, each kind's pair replaced by its threshold variable when set
// ("WARN,CRITICAL" in milliseconds). A malformed value is a fatal stop.
TimeLimits read_time_limits(bool limits_are_errors);

// The seed from DPT_TEST_SHUFFLE_SEED, when set; a value that is not a number is a fatal stop.
std::optional<std::uint64_t> read_shuffle_seed_var();

}  // namespace dpt
