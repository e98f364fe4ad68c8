#include "report/pretty.hpp"

#include <gtest/gtest.h>

#include <string>

namespace dpt {
namespace {

TestDescriptor make_test(std::string name, TestKind kind = TestKind::integration) {
    TestDescriptor test;
    test.name = std::move(name);
    test.test_kind = kind;
    return test;
}

TestResult result_of(const TestDescriptor& test, OutcomeKind kind, double seconds = 0.25,
                     std::optional<std::string> message = {}) {
    TestResult result;
    result.test = &test;
    result.outcome = {kind, std::move(message)};
    result.exec_time = Seconds(seconds);
    return result;
}

struct Written {
    std::string text;
    ReportSettings settings;
    ReportOutput out;
    PrettyReporter reporter;
    explicit Written(ReportSettings s, bool color = false)
        : settings(std::move(s)), out(&text, color), reporter(out, settings) {}
};

TEST(PrettyReporter, RunStartCountsTestsAndShowsTheSeed) {
    const struct {
        RunStart start;
        const char* line;
    } cases[] = {
        {{1, std::nullopt}, "\nrunning 1 test\n"},
        {{0, std::nullopt}, "\nrunning 0 tests\n"},
        {{5, 42}, "\nrunning 5 tests (shuffle seed: 42)\n"},
    };
    for (const auto& c : cases) {
        Written w({});
        w.reporter.run_start(c.start);
        EXPECT_EQ(w.text, c.line);
    }
}

TEST(PrettyReporter, StatusLineOpensAtStartOnlyWithOneWorker) {
    const TestDescriptor test = make_test("t");
    for (const std::size_t workers : {1u, 4u}) {
        SCOPED_TRACE(workers);
        Written w({.workers = workers, .time_limits = {}});
        w.reporter.test_start(test);
        EXPECT_EQ(w.text, workers == 1 ? "test t ... " : "");
        w.reporter.slow_test(test);
        EXPECT_EQ(w.text,
                  workers == 1 ? "test t ... " : "test t has been running for over 60 seconds\n");
        w.text.clear();
        w.reporter.test_result(result_of(test, OutcomeKind::passed));
        EXPECT_EQ(w.text, workers == 1 ? "ok\n" : "test t ... ok\n");
    }
}

TEST(PrettyReporter, StatusWordsAndTheirColours) {
    const TestDescriptor test = make_test("t");
    const struct {
        OutcomeKind kind;
        std::optional<std::string> message;
        const char* plain;
        const char* colored;
    } cases[] = {
        {OutcomeKind::passed, {}, "ok\n", "\x1b[32mok\x1b[0m\n"},
        {OutcomeKind::failed, {}, "FAILED\n", "\x1b[31mFAILED\x1b[0m\n"},
        {OutcomeKind::failed_with_text, "text", "FAILED\n", "\x1b[31mFAILED\x1b[0m\n"},
        {OutcomeKind::failed_time_limit,
         {},
         "FAILED (time limit exceeded)\n",
         "\x1b[31mFAILED (time limit exceeded)\x1b[0m\n"},
        {OutcomeKind::ignored, {}, "ignored\n", "\x1b[33mignored\x1b[0m\n"},
        {OutcomeKind::ignored, "slow", "ignored, slow\n", "\x1b[33mignored, slow\x1b[0m\n"},
    };
    for (const auto& c : cases) {
        for (const bool color : {false, true}) {
            SCOPED_TRACE(std::string(c.plain) + (color ? " coloured" : ""));
            Written w({.color = color, .workers = 1, .time_limits = {}}, color);
            w.reporter.test_result(result_of(test, c.kind, 0.25, c.message));
            EXPECT_EQ(w.text, color ? c.colored : c.plain);
        }
    }
}

TEST(PrettyReporter, RunTimeIsShownWithItsLimitColour) {
    const TestDescriptor test = make_test("u", TestKind::unit);  // warn 50 ms, critical 100 ms
    const struct {
        double seconds;
        const char* time;
    } cases[] = {
        {0.0123, " <0.012s>"},
        {0.05, "\x1b[33m <0.050s>\x1b[0m"},
        {0.1, "\x1b[31m <0.100s>\x1b[0m"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        Written w({.color = true, .workers = 1, .time_limits = TimeLimits{}}, true);
        w.reporter.test_result(result_of(test, OutcomeKind::passed, c.seconds));
        EXPECT_EQ(w.text, std::string("\x1b[32mok\x1b[0m") + c.time + "\n");
    }
}

TEST(PrettyReporter, ListingLinesAndCount) {
    const TestDescriptor a = make_test("a"), b = make_test("b");
    Written one({});
    one.reporter.list_test(a);
    one.reporter.list_finish({1, 0, 0});
    EXPECT_EQ(one.text, "a: test\n\n1 test, 0 benchmarks\n");
    Written two({});
    two.reporter.list_test(a);
    two.reporter.list_test(b);
    two.reporter.list_finish({2, 1, 0});
    EXPECT_EQ(two.text, "a: test\nb: test\n\n2 tests, 1 benchmark\n");
    Written none({});
    none.reporter.list_finish({0, 0, 0});
    EXPECT_EQ(none.text, "0 tests, 0 benchmarks\n");
}

}  // namespace
}  // namespace dpt
