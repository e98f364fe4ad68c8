#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "entry/test_descriptor.hpp"
#include "report/output.hpp"

namespace dpt {

using Seconds = std::chrono::duration<double>;

enum class OutcomeKind {
    passed,
    failed,             // a TestFailure reached the boundary
    failed_with_text,   // the entry returned a failure text (in `message`)
    failed_time_limit,  // passed, but ran at least its critical time with --ensure-time
    ignored,            // `message` holds the ignore message, when there is one
};

struct TestOutcome {
    OutcomeKind kind = OutcomeKind::passed;
    std::optional<std::string> message;

    bool is_failure() const noexcept {
        return kind == OutcomeKind::failed || kind == OutcomeKind::failed_with_text ||
               kind == OutcomeKind::failed_time_limit;
    }
};

// Warn and critical durations of one test kind; equal counts as over.
struct TimeThreshold {
    std::chrono::milliseconds warn;
    std::chrono::milliseconds critical;
};

struct TimeLimits {
    bool limits_are_errors = false;
    TimeThreshold unit{std::chrono::milliseconds(50), std::chrono::milliseconds(100)};
    TimeThreshold integration{std::chrono::milliseconds(500), std::chrono::milliseconds(1000)};
    TimeThreshold documentation_example{std::chrono::milliseconds(500),
                                        std::chrono::milliseconds(1000)};
    TimeThreshold unspecified{std::chrono::seconds(60), std::chrono::seconds(120)};

    const TimeThreshold& for_kind(TestKind kind) const noexcept;
};

// Settings every format reads; fixed for the run.
struct ReportSettings {
    bool color = false;
    std::size_t workers = 1;
    bool show_output = false;
    std::optional<TimeLimits> time_limits;  // present with --report-time or --ensure-time
};

struct RunStart {
    std::size_t selected = 0;
    std::optional<std::uint64_t> shuffle_seed;
};

// One finished test. `captured` holds the raw bytes the test printed (for a test that
// failed with a text, "note: {text}" is already appended).
struct TestResult {
    const TestDescriptor* test = nullptr;
    TestOutcome outcome;
    Seconds exec_time{0};
    std::string captured;
};

struct RunSummary {
    std::size_t passed = 0;
    std::size_t failed = 0;
    std::size_t ignored = 0;
    std::size_t measured = 0;
    std::size_t filtered_out = 0;
    std::vector<TestResult> failures;       // in finishing order
    std::vector<TestResult> time_failures;  // failed by a time limit, in finishing order
    std::vector<TestResult> passes;         // kept only with show output
    std::optional<Seconds> elapsed;

    bool succeeded() const noexcept { return failed == 0; }
};

struct ListingSummary {
    std::size_t tests = 0;
    std::size_t benchmarks = 0;
    std::size_t ignored = 0;
};

// The events of a run, called by the harness's main thread alone, in this order:
// run_start, then per test test_start, maybe slow_test, test_result; then run_finish.
// A listing calls list_start, list_test per test, list_finish. Every write may throw
// OutputError, which ends the run with the harness's output error.
class Reporter {
  public:
    virtual ~Reporter() = default;

    virtual void run_start(const RunStart& start) = 0;
    virtual void test_start(const TestDescriptor& /*test*/) {}
    virtual void slow_test(const TestDescriptor& /*test*/) {}
    virtual void test_result(const TestResult& result) = 0;
    // Returns whether the run succeeded.
    virtual bool run_finish(const RunSummary& summary) = 0;

    virtual void list_start() {}
    virtual void list_test(const TestDescriptor& test) = 0;
    virtual void list_finish(const ListingSummary& /*summary*/) {}
};

}  // namespace dpt
