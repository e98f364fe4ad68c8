#pragma once

// Drives a reporter through a run of made-up tests, the way the harness's main thread
// does, and collects what it writes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/formats.hpp"
#include "report/output.hpp"
#include "report/reporter.hpp"

namespace dpt::testing {

struct SyntheticTest {
    TestDescriptor test;
    TestOutcome outcome;
    double seconds = 0.25;
    std::string captured;
    bool slow = false;  // gets the slow-test warning before its result
};

inline TestDescriptor descriptor(std::string name, TestKind kind = TestKind::integration) {
    TestDescriptor d;
    d.name = std::move(name);
    d.test_kind = kind;
    return d;
}

inline SyntheticTest passed(std::string name, std::string captured = {}) {
    return {descriptor(std::move(name)),
            {OutcomeKind::passed, std::nullopt},
            0.25,
            std::move(captured)};
}
inline SyntheticTest failed(std::string name, std::string captured) {
    return {descriptor(std::move(name)),
            {OutcomeKind::failed, std::nullopt},
            0.25,
            std::move(captured)};
}
inline SyntheticTest failed_with_text(std::string name, std::string text) {
    std::string captured = "note: " + text + "\n";
    return {descriptor(std::move(name)),
            {OutcomeKind::failed_with_text, std::move(text)},
            0.25,
            std::move(captured)};
}
inline SyntheticTest failed_time_limit(std::string name) {
    return {descriptor(std::move(name)), {OutcomeKind::failed_time_limit, std::nullopt}, 1.5, {}};
}
inline SyntheticTest ignored(std::string name, std::optional<std::string> message = {}) {
    return {descriptor(std::move(name)), {OutcomeKind::ignored, std::move(message)}, 0, {}};
}

struct RunShape {
    std::optional<std::uint64_t> shuffle_seed;
    std::size_t filtered_out = 0;
    std::optional<Seconds> elapsed = Seconds(0.5);
};

// Runs `tests` in order through a reporter of `format`; returns the report and whether
// run_finish called the run a success.
inline std::pair<std::string, bool> run_report(Format format, const ReportSettings& settings,
                                               const std::vector<SyntheticTest>& tests,
                                               const RunShape& shape = {}) {
    std::string text;
    ReportOutput out(&text, settings.color);
    auto reporter = format_info(format).make(out, settings);
    reporter->run_start({tests.size(), shape.shuffle_seed});
    RunSummary summary;
    summary.filtered_out = shape.filtered_out;
    summary.elapsed = shape.elapsed;
    for (const SyntheticTest& t : tests) {
        reporter->test_start(t.test);
        if (t.slow) reporter->slow_test(t.test);
        TestResult result{&t.test, t.outcome, Seconds(t.seconds), t.captured};
        reporter->test_result(result);
        switch (t.outcome.kind) {
            case OutcomeKind::passed:
                ++summary.passed;
                if (settings.show_output) summary.passes.push_back(result);
                break;
            case OutcomeKind::ignored:
                ++summary.ignored;
                break;
            case OutcomeKind::failed_time_limit:
                ++summary.failed;
                summary.time_failures.push_back(result);
                break;
            case OutcomeKind::failed:
            case OutcomeKind::failed_with_text:
                ++summary.failed;
                summary.failures.push_back(result);
                break;
        }
    }
    const bool succeeded = reporter->run_finish(summary);
    return {text, succeeded};
}

inline std::string list_report(Format format, const std::vector<TestDescriptor>& tests) {
    std::string text;
    ReportOutput out(&text, false);
    const ReportSettings settings;
    auto reporter = format_info(format).make(out, settings);
    reporter->list_start();
    ListingSummary summary;
    for (const TestDescriptor& t : tests) {
        reporter->list_test(t);
        ++summary.tests;
        if (t.ignore) ++summary.ignored;
    }
    reporter->list_finish(summary);
    return text;
}

// Names and output that break careless writers: quotes, backslashes, control bytes
// (ESC from a colour sequence among them), the end marker of character data, a
// processing-instruction start and bytes that are not UTF-8.
inline std::vector<SyntheticTest> hostile_run() {
    return {
        passed("quote\"and\\backslash", "shown only with show output\n"),
        failed("esc\x1b[31mred\x1b[0m",
               "\x1b[31merror\x1b[0m ]]> <?xml a=\"b\" & c ?>\n"
               "bad bytes: \xff\xc3( tab\t nul\x01 del\x7f\n"),
        failed_with_text("ends_in_invalid\xc3", "text with \"quotes\" <tags> & amps\nsecond line"),
        ignored("ignored_with_message", "slow \x1b and \"quoted\""),
    };
}

}  // namespace dpt::testing
