#pragma once

#include <fmt/format.h>

#include <concepts>
#include <span>
#include <string>
#include <type_traits>

#include "entry/test_descriptor.hpp"

namespace dpt {

// Reads the command line, runs or lists the selected tests and writes the report.
// Returns only when every selected test passed, or when only help or a listing was
// asked for; otherwise ends the process with status 101.
void run_test_harness(std::span<const std::string> args, std::span<const TestDescriptor> tests);

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
