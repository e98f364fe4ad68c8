#pragma once

#include <fmt/format.h>

#include <chrono>
#include <concepts>
#include <span>
#include <string>
#include <type_traits>

#include "entry/test_descriptor.hpp"
#include "report/run.hpp"

namespace dpt {

// Reads the command line, runs or lists the selected tests and writes the report.
// Returns only when every selected test passed, or when only help or a listing was
// asked for; otherwise ends the process with status 101.
void run_test_harness(std::span<const std::string> args, std::span<const TestDescriptor> tests);

// Where the harness writes and what it can be made to do differently, for tests that
// drive it with synthetic tests. The program uses the defaults.
struct HarnessConfig {
    int out_fd = 1;  // the report, the help and the listing
    int err_fd = 2;  // "error: ..." lines
    std::chrono::nanoseconds slow_test_after = std::chrono::seconds(60);
    ThreadStarter start_thread;  // empty: start_thread
};

// run_test_harness without ending the process: returns the exit status (0 or 101).
// Fatal stops still end the process.
int run_harness(std::span<const std::string> args, std::span<const TestDescriptor> tests,
                const HarnessConfig& config);

// The entry the harness calls for a test body. A body that yields nothing succeeds when
// it returns; one that yields a status code succeeds with 0 and fails otherwise.
template <class F>
TestEntry test_entry(F body) {
    return [body]() -> EntryResult {
        if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
            body();
            return std::nullopt;
        } else {
            const auto status = body();
            if (status == 0) return std::nullopt;
            return fmt::format(
                "the test returned a termination value with a non-zero status code ({}) which "
                "indicates a failure",
                status);
        }
    };
}

}  // namespace dpt
