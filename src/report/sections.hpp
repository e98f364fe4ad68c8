#pragma once

#include <string_view>
#include <vector>

#include "report/output.hpp"
#include "report/reporter.hpp"

namespace dpt {

// The closing pieces that the default and terse formats share.

// "\n{title}:\n", the output blocks of the results with captured output, "\n{title}:\n"
// and the sorted names. Title "failures", "successes" or "failures (time limit exceeded)".
void write_outputs_section(ReportOutput& out, std::string_view title,
                           const std::vector<TestResult>& results);

// The passes section (with show output), the failures section (when a test failed);
// with `time_failures` also the time failures section.
void write_finish_sections(ReportOutput& out, const ReportSettings& settings,
                           const RunSummary& summary, bool time_failures);

// "test {name} has been running for over 60 seconds\n"
void write_slow_test_warning(ReportOutput& out, const TestDescriptor& test);

// "\ntest result: ok|FAILED. N passed; ... finished in X.XXs\n\n"
void write_summary(ReportOutput& out, const RunSummary& summary);

}  // namespace dpt
