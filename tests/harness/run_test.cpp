#include "report/run.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "entry/checks.hpp"
#include "entry/console.hpp"

namespace dpt {
namespace {

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Records every event with the thread that called it.
class RecordingReporter : public Reporter {
  public:
    void run_start(const RunStart& start) override {
        add("run_start " + std::to_string(start.selected));
    }
    void test_start(const TestDescriptor& test) override { add("start " + test.name); }
    void slow_test(const TestDescriptor& test) override { add("slow " + test.name); }
    void test_result(const TestResult& result) override {
        add("result " + result.test->name + " " + kind_name(result.outcome.kind));
        results.push_back(result);
    }
    bool run_finish(const RunSummary& s) override {
        add("finish " + std::to_string(s.passed) + "/" + std::to_string(s.failed) + "/" +
            std::to_string(s.ignored) + "/" + std::to_string(s.filtered_out));
        summary = s;
        return s.succeeded();
    }
    void list_test(const TestDescriptor&) override {}

    static std::string kind_name(OutcomeKind kind) {
        switch (kind) {
            case OutcomeKind::passed:
                return "passed";
            case OutcomeKind::failed:
                return "failed";
            case OutcomeKind::failed_with_text:
                return "failed_with_text";
            case OutcomeKind::failed_time_limit:
                return "failed_time_limit";
            case OutcomeKind::ignored:
                return "ignored";
        }
        return "?";
    }

    std::vector<std::string> events;
    std::vector<std::thread::id> callers;
    std::vector<TestResult> results;
    RunSummary summary;

  private:
    void add(std::string event) {
        events.push_back(std::move(event));
        callers.push_back(std::this_thread::get_id());
    }
};

TestDescriptor make_test(std::string name, TestEntry entry, TestKind kind = TestKind::integration) {
    TestDescriptor test;
    test.name = std::move(name);
    test.test_kind = kind;
    test.entry = std::move(entry);
    return test;
}

std::vector<PlannedTest> plan(const std::vector<TestDescriptor>& tests) {
    std::vector<PlannedTest> planned;
    for (const auto& test : tests) planned.push_back({&test, false});
    return planned;
}

using Events = std::vector<std::string>;

TEST(RunTests, OneWorkerReportsEachTestInOrderFromTheCallingThread) {
    const std::vector<TestDescriptor> tests{
        make_test("a", [] { return EntryResult{}; }),
        make_test("b", [] { return EntryResult{"bad status"}; }),
        make_test("c", [] { return EntryResult{}; }),
    };
    auto planned = plan(tests);
    planned[2].as_ignored = true;
    RunConfig config;
    config.filtered_out = 4;
    RecordingReporter reporter;
    EXPECT_FALSE(run_tests(config, planned, reporter, nullptr));
    EXPECT_EQ(reporter.events, (Events{"run_start 3", "start a", "result a passed", "start b",
                                       "result b failed_with_text", "start c", "result c ignored",
                                       "finish 1/1/1/4"}));
    for (const auto& caller : reporter.callers) EXPECT_EQ(caller, std::this_thread::get_id());
    EXPECT_EQ(reporter.results[1].captured, "note: bad status");
    ASSERT_EQ(reporter.summary.failures.size(), 1u);
    EXPECT_TRUE(reporter.summary.passes.empty());
}

TEST(RunTests, EachTestHasItsOwnCaptureAndThread) {
    std::atomic<int> main_thread_runs{0};
    const auto main_id = std::this_thread::get_id();
    const std::vector<TestDescriptor> tests{
        make_test("first",
                  [&] {
                      if (std::this_thread::get_id() == main_id) ++main_thread_runs;
                      print_out("one");
                      return EntryResult{};
                  }),
        make_test("second",
                  [&] {
                      print_out("two");
                      return EntryResult{};
                  }),
    };
    RunConfig config;
    config.show_output = true;
    RecordingReporter reporter;
    EXPECT_TRUE(run_tests(config, plan(tests), reporter, nullptr));
    EXPECT_EQ(main_thread_runs.load(), 0);
    ASSERT_EQ(reporter.summary.passes.size(), 2u);
    EXPECT_EQ(reporter.summary.passes[0].captured, "one");
    EXPECT_EQ(reporter.summary.passes[1].captured, "two");
}

TEST(RunTests, SeveralWorkersRunTestsAtOnce) {
    // Each test waits for the other: this only finishes when both run at the same time.
    std::latch both(2);
    const auto meet = [&both] {
        both.arrive_and_wait();
        return EntryResult{};
    };
    const std::vector<TestDescriptor> tests{make_test("x", meet), make_test("y", meet)};
    RunConfig config;
    config.workers = 2;
    RecordingReporter reporter;
    EXPECT_TRUE(run_tests(config, plan(tests), reporter, nullptr));
    EXPECT_EQ(reporter.summary.passed, 2u);
}

TEST(RunTests, SlowTestIsAnnouncedOnceWhileItRuns) {
    const std::vector<TestDescriptor> tests{make_test("slow", [] {
        sleep_ms(300);
        return EntryResult{};
    })};
    RunConfig config;
    config.workers = 2;
    config.slow_test_after = std::chrono::milliseconds(50);
    RecordingReporter reporter;
    EXPECT_TRUE(run_tests(config, plan(tests), reporter, nullptr));
    EXPECT_EQ(reporter.events, (Events{"run_start 1", "start slow", "slow slow",
                                       "result slow passed", "finish 1/0/0/0"}));
}

TEST(RunTests, FailFastLetsRunningTestsFinish) {
    std::latch running(2);
    const std::vector<TestDescriptor> tests{
        make_test("a_fails",
                  [&] {
                      running.arrive_and_wait();
                      require_equal(1, 2, "a");
                      return EntryResult{};
                  }),
        make_test("b_slow",
                  [&] {
                      running.arrive_and_wait();
                      sleep_ms(100);
                      return EntryResult{};
                  }),
        make_test("c_never", [] { return EntryResult{}; }),
    };
    RunConfig config;
    config.workers = 2;
    config.fail_fast = true;
    RecordingReporter reporter;
    EXPECT_FALSE(run_tests(config, plan(tests), reporter, nullptr));
    EXPECT_EQ(reporter.events,
              (Events{"run_start 3", "start a_fails", "start b_slow", "result a_fails failed",
                      "result b_slow passed", "finish 1/1/0/0"}));
}

TEST(RunTests, TimeLimitsFailASlowPassOnlyWhenTheyAreErrors) {
    const std::vector<TestDescriptor> tests{make_test(
        "unit",
        [] {
            sleep_ms(30);
            return EntryResult{};
        },
        TestKind::unit)};
    TimeLimits limits;
    limits.unit = {std::chrono::milliseconds(5), std::chrono::milliseconds(20)};
    for (const bool errors : {false, true}) {
        SCOPED_TRACE(errors);
        limits.limits_are_errors = errors;
        RunConfig config;
        config.time_limits = limits;
        RecordingReporter reporter;
        EXPECT_EQ(run_tests(config, plan(tests), reporter, nullptr), !errors);
        EXPECT_EQ(reporter.events[2],
                  errors ? "result unit failed_time_limit" : "result unit passed");
        EXPECT_EQ(reporter.summary.time_failures.size(), errors ? 1u : 0u);
        EXPECT_TRUE(reporter.summary.failures.empty());
        EXPECT_GE(reporter.results[0].exec_time, std::chrono::milliseconds(30));
    }
}

TEST(RunTests, HandsTheStackSizeToTheThreadStart) {
    std::size_t asked = 0;
    RunConfig config;
    config.stack_size = 3 * 1024 * 1024;
    config.start_thread = [&](std::string name, std::function<void()> body, std::size_t stack) {
        asked = stack;
        return start_thread(std::move(name), std::move(body), stack);
    };
    const std::vector<TestDescriptor> tests{make_test("t", [] { return EntryResult{}; })};
    RecordingReporter reporter;
    EXPECT_TRUE(run_tests(config, plan(tests), reporter, nullptr));
    EXPECT_EQ(asked, 3u * 1024 * 1024);
}

TEST(TestStackSize, ComesFromTheVariableWhenValid) {
    const struct {
        const char* value;
        std::size_t size;
    } cases[] = {
        {nullptr, kTestStackSize}, {"4194304", 4194304},   {"0", kTestStackSize},
        {"abc", kTestStackSize},   {"-5", kTestStackSize}, {"", kTestStackSize},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "unset");
        if (c.value) {
            ::setenv("DPT_MIN_STACK", c.value, 1);
        } else {
            ::unsetenv("DPT_MIN_STACK");
        }
        EXPECT_EQ(test_stack_size(), c.size);
    }
    ::unsetenv("DPT_MIN_STACK");
}

}  // namespace
}  // namespace dpt
