#include "report/pretty.hpp"

#include <fmt/format.h>

#include "report/sections.hpp"

namespace dpt {

void PrettyReporter::run_start(const RunStart& start) {
    std::string suffix;
    if (start.shuffle_seed) suffix = fmt::format(" (shuffle seed: {})", *start.shuffle_seed);
    out_.write(fmt::format("\nrunning {} {}{}\n", start.selected,
                           start.selected == 1 ? "test" : "tests", suffix));
}

void PrettyReporter::test_start(const TestDescriptor& test) {
    // With one worker the status line opens now and stays open while the test runs.
    if (settings_.workers == 1) out_.write(fmt::format("test {} ... ", test.name));
}

void PrettyReporter::slow_test(const TestDescriptor& test) {
    // With one worker the open status line must not be broken.
    if (settings_.workers > 1) write_slow_test_warning(out_, test);
}

void PrettyReporter::test_result(const TestResult& result) {
    if (settings_.workers > 1) out_.write(fmt::format("test {} ... ", result.test->name));
    const TestOutcome& outcome = result.outcome;
    switch (outcome.kind) {
        case OutcomeKind::passed:
            out_.write_colored("ok", Color::green);
            break;
        case OutcomeKind::failed:
        case OutcomeKind::failed_with_text:
            out_.write_colored("FAILED", Color::red);
            break;
        case OutcomeKind::failed_time_limit:
            out_.write_colored("FAILED (time limit exceeded)", Color::red);
            break;
        case OutcomeKind::ignored:
            if (outcome.message) {
                out_.write_colored(fmt::format("ignored, {}", *outcome.message), Color::yellow);
            } else {
                out_.write_colored("ignored", Color::yellow);
            }
            break;
    }
    if (settings_.time_limits && outcome.kind != OutcomeKind::ignored) {
        const TimeThreshold& limit = settings_.time_limits->for_kind(result.test->test_kind);
        const std::string time = fmt::format(" <{:.3f}s>", result.exec_time.count());
        if (result.exec_time >= limit.critical) {
            out_.write_colored(time, Color::red);
        } else if (result.exec_time >= limit.warn) {
            out_.write_colored(time, Color::yellow);
        } else {
            out_.write(time);
        }
    }
    out_.write("\n");
}

bool PrettyReporter::run_finish(const RunSummary& summary) {
    write_finish_sections(out_, settings_, summary, /*time_failures=*/true);
    write_summary(out_, summary);
    return summary.succeeded();
}

void PrettyReporter::list_test(const TestDescriptor& test) {
    out_.write(fmt::format("{}: test\n", test.name));
}

void PrettyReporter::list_finish(const ListingSummary& summary) {
    if (summary.tests + summary.benchmarks > 0) out_.write("\n");
    out_.write(fmt::format("{} {}, {} {}\n", summary.tests, summary.tests == 1 ? "test" : "tests",
                           summary.benchmarks,
                           summary.benchmarks == 1 ? "benchmark" : "benchmarks"));
}

}  // namespace dpt
