#pragma once

#include <cstdint>
#include <source_location>
#include <string>

namespace dpt {

// Where a check stands in the source: path relative to the project root, line, column.
struct SourceLocation {
    std::string path;
    std::uint32_t line = 0;
    std::uint32_t column = 0;

    static SourceLocation from(const std::source_location& loc);
};

// A failed check. Raising one writes the failure report and unwinds the test body; the
// harness stops it at the boundary of the test's thread. Test code never catches it.
struct TestFailure {
    std::string message;
    SourceLocation location;
    std::string thread_name;
};

// Writes the failure report for `message` at `location` on the current thread, then
// throws the TestFailure. Every check ends here.
[[noreturn]] void raise_failure(std::string message, const std::source_location& location);

// A fatal stop of the harness itself: the failure report of the main thread on standard
// error, then exit status 101.
[[noreturn]] void harness_fatal(
    std::string message, const std::source_location& location = std::source_location::current());

}  // namespace dpt
