#pragma once

#include <functional>
#include <string_view>

#include "entry/test_failure.hpp"

namespace dpt {

enum class BacktraceMode { off, short_form, full };

// Reads DPT_BACKTRACE: unset or "0" is off, "full" is full, anything else short.
BacktraceMode parse_backtrace_mode(const char* value) noexcept;

// The backtrace mode of this process, read from the environment on first use and kept.
BacktraceMode backtrace_mode();

// Writes "\nthread '{name}' ({os id}) panicked at {path}:{line}:{column}:\n{message}\n"
// and then the backtrace note (once per process) or the backtrace, under the
// process-wide report lock. Goes to the calling thread's captured output when one is
// installed, else to standard error.
void write_failure_report(std::string_view thread_name, const SourceLocation& location,
                          std::string_view message);

// The same report, always on standard error (fatal stops of the harness).
void write_failure_report_to_stderr(std::string_view thread_name, const SourceLocation& location,
                                    std::string_view message);

// Runs `body` inside the boundary that stops a TestFailure (its report is written
// already). Any other exception escaping `body` is reported as a failure of the calling
// thread. Returns true when `body` returned normally. A short backtrace ends here.
bool run_inside_boundary(const std::function<void()>& body);

}  // namespace dpt
