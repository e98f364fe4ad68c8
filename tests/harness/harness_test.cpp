#include "entry/harness.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "entry/checks.hpp"
#include "entry/console.hpp"
#include "entry/run_in_child.hpp"
#include "entry/thread.hpp"

namespace dpt {
namespace {

using testing::ChildRun;
using testing::run_in_child;
using testing::scrub;

TestDescriptor make_test(std::string name, TestEntry entry, TestKind kind = TestKind::integration) {
    TestDescriptor test;
    test.name = std::move(name);
    test.test_kind = kind;
    test.entry = std::move(entry);
    return test;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Runs the harness in a child over `tests` and returns its exit status and output.
ChildRun harness(std::vector<std::string> args, std::vector<TestDescriptor> tests,
                 HarnessConfig config = {},
                 std::vector<std::pair<std::string, std::string>> env = {}) {
    args.insert(args.begin(), "dual_path_trial");
    return run_in_child([&] { return run_harness(args, tests, config); }, std::move(env));
}

const std::string kNote = "note: set `DPT_BACKTRACE=1` to display a backtrace\n";

TEST(TestEntry, TurnsTheBodysResultIntoSuccessOrAFailureText) {
    EXPECT_EQ(test_entry([] {})(), std::nullopt);
    EXPECT_EQ(test_entry([] { return 0; })(), std::nullopt);
    EXPECT_EQ(test_entry([] { return 3; })(),
              "the test returned a termination value with a non-zero status code (3) which "
              "indicates a failure");
    EXPECT_EQ(test_entry([] { return -1; })(),
              "the test returned a termination value with a non-zero status code (-1) which "
              "indicates a failure");
}

TEST(Harness, PassingRunWritesSixLinesAndReturns) {
    const auto run = run_in_child([] {
        const std::vector<std::string> args{"dual_path_trial"};
        const std::vector<TestDescriptor> tests{make_test("passes", test_entry([] {}))};
        run_test_harness(args, tests);
        return 0;
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(scrub(run.out),
              "\nrunning 1 test\ntest passes ... ok\n\n"
              "test result: ok. 1 passed; 0 failed; 0 ignored; 0 measured; 0 filtered out; "
              "finished in T\n\n");
    EXPECT_EQ(run.err, "");
}

TEST(Harness, FailingRunWritesTheFailureReportAndEndsWith101) {
    const auto run = run_in_child([] {
        const std::vector<std::string> args{"dual_path_trial"};
        const std::vector<TestDescriptor> tests{
            make_test("fails", test_entry([] { require_equal(2, 1, "M"); }))};
        run_test_harness(args, tests);
        return 0;
    });
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(scrub(run.out),
              "\n"
              "running 1 test\n"
              "test fails ... FAILED\n"
              "\n"
              "failures:\n"
              "\n"
              "---- fails stdout ----\n"
              "\n"
              "thread 'fails' (TID) panicked at tests/harness/harness_test.cpp:L:C:\n"
              "assertion `left == right` failed: M\n"
              "  left: 2\n"
              " right: 1\n" +
                  kNote +
                  "\n"
                  "\n"
                  "failures:\n"
                  "    fails\n"
                  "\n"
                  "test result: FAILED. 0 passed; 1 failed; 0 ignored; 0 measured; 0 filtered "
                  "out; finished in T\n"
                  "\n");
    EXPECT_EQ(run.err, "");
}

TEST(Harness, FailureTextOfTheEntryBecomesANote) {
    const auto run = harness({}, {make_test("returns_3", test_entry([] { return 3; }))});
    EXPECT_EQ(run.status, 101);
    EXPECT_NE(run.out.find("---- returns_3 stdout ----\n"
                           "note: the test returned a termination value with a non-zero status "
                           "code (3) which indicates a failure\n"
                           "\nfailures:\n    returns_3\n"),
              std::string::npos)
        << run.out;
}

TEST(Harness, TwoReportsInOneTestAndTheNoteOnlyOnce) {
    const auto body = [] {
        auto helper =
            require_ok(start_thread("", [] { require_present(std::optional<int>(), "x"); }));
        const bool helper_passed = helper.join();
        require_equal(helper_passed, true, "helper failed");
    };
    const auto run = harness({}, {make_test("two_reports", test_entry(body))});
    EXPECT_EQ(run.status, 101);
    const std::string block =
        "---- two_reports stdout ----\n"
        "\nthread '<unnamed>' (TID) panicked at tests/harness/harness_test.cpp:L:C:\nx\n" +
        kNote +
        "\nthread 'two_reports' (TID) panicked at tests/harness/harness_test.cpp:L:C:\n"
        "assertion `left == right` failed: helper failed\n  left: false\n right: true\n"
        "\n\nfailures:\n";
    EXPECT_NE(scrub(run.out).find(block), std::string::npos) << run.out;
}

TEST(Harness, CapturesStartedThreadsAndShowsInvalidBytesAsReplacements) {
    const auto body = [] {
        print_out("from test\n");
        auto helper = require_ok(start_thread("helper", [] { print_err("bad \xff byte\n"); }));
        helper.join();
        require_present(std::optional<int>(), "stop");
    };
    const auto run = harness({}, {make_test("captures", test_entry(body))});
    EXPECT_EQ(run.err, "");
    EXPECT_NE(
        run.out.find("---- captures stdout ----\nfrom test\nbad \xEF\xBF\xBD byte\n\nthread "),
        std::string::npos)
        << run.out;
}

TEST(Harness, WithoutCaptureReportsGoToStandardErrorAndNoBlockIsShown) {
    const auto body = [] {
        print_out("loose\n");
        require_present(std::optional<int>(), "stop");
    };
    const auto run = harness({"--no-capture"}, {make_test("loose", test_entry(body))});
    EXPECT_EQ(run.status, 101);
    EXPECT_NE(run.out.find("loose\n"), std::string::npos);
    EXPECT_EQ(run.out.find("---- loose stdout ----"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nfailures:\n\nfailures:\n    loose\n"), std::string::npos) << run.out;
    EXPECT_EQ(
        scrub(run.err),
        "\nthread 'loose' (TID) panicked at tests/harness/harness_test.cpp:L:C:\nstop\n" + kNote);
}

TEST(Harness, SlowTestWarningOnlyWithSeveralWorkers) {
    const std::vector<TestDescriptor> tests{
        make_test("a_fast", test_entry([] {})),
        make_test("b_slow", test_entry([] { sleep_ms(400); })),
    };
    HarnessConfig config;
    config.slow_test_after = std::chrono::milliseconds(100);
    const struct {
        const char* workers;
        std::string lines;
    } cases[] = {
        {"2",
         "test a_fast ... ok\ntest b_slow has been running for over 60 seconds\ntest b_slow ... "
         "ok\n"},
        {"1", "test a_fast ... ok\ntest b_slow ... ok\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.workers);
        const auto run = harness({"--test-threads", c.workers}, tests, config);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(scrub(run.out),
                  "\nrunning 2 tests\n" + c.lines +
                      "\ntest result: ok. 2 passed; 0 failed; 0 ignored; 0 measured; 0 filtered "
                      "out; finished in T\n\n");
    }
}

TEST(Harness, FailFastStartsNothingAfterTheFirstFailure) {
    const std::vector<TestDescriptor> tests{
        make_test("a_fails", test_entry([] { require_equal(1, 0, "a"); })),
        make_test("b_passes", test_entry([] { print_out("b ran"); })),
    };
    const auto run = harness({"-Z", "unstable-options", "--fail-fast", "--test-threads", "1"},
                             tests, {}, {{"DPT_BOOTSTRAP", "1"}});
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(run.out.find("b_passes"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("test result: FAILED. 0 passed; 1 failed;"), std::string::npos);
}

TEST(Harness, EnsureTimeFailsASlowPass) {
    const std::vector<TestDescriptor> tests{
        make_test("slow_unit", test_entry([] { sleep_ms(80); }), TestKind::unit)};
    const auto run = harness({"-Z", "unstable-options", "--ensure-time"}, tests, {},
                             {{"DPT_BOOTSTRAP", "1"}, {"DPT_TEST_TIME_UNIT", "10,40"}});
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(scrub(run.out),
              "\nrunning 1 test\ntest slow_unit ... FAILED (time limit exceeded) <T>\n"
              "\nfailures (time limit exceeded):\n"
              "\nfailures (time limit exceeded):\n    slow_unit\n"
              "\ntest result: FAILED. 0 passed; 1 failed; 0 ignored; 0 measured; 0 filtered out; "
              "finished in T\n\n");
}

TEST(Harness, ResultLogHasOneLinePerFinishedTest) {
    char path[] = "/tmp/dpt_harness_log_XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "old contents\n", 13), 13);
    ::close(fd);
    TestDescriptor skipped = make_test("c_ignored", test_entry([] {}));
    skipped.ignore = true;
    skipped.ignore_message = "not today";
    const std::vector<TestDescriptor> tests{
        make_test("a_ok", test_entry([] {})),
        make_test("b_text", test_entry([] { return 2; })),
        skipped,
    };
    const auto run = harness({"--logfile", path, "--test-threads", "1"}, tests);
    EXPECT_EQ(run.status, 101);
    EXPECT_TRUE(scrub(run.out).starts_with(
        "warning: `--logfile` is deprecated\nrunning 3 tests\ntest a_ok ... ok\n"
        "test b_text ... FAILED\ntest c_ignored ... ignored, not today\n\nfailures:\n"))
        << run.out;
    std::ifstream in(path);
    std::stringstream log;
    log << in.rdbuf();
    ::unlink(path);
    EXPECT_EQ(log.str(),
              "ok a_ok\n"
              "failed: the test returned a termination value with a non-zero status code (2) "
              "which indicates a failure b_text\n"
              "ignored: not today c_ignored\n");
    EXPECT_NE(run.out.find("1 passed; 1 failed; 1 ignored;"), std::string::npos) << run.out;
}

TEST(Harness, ColourOnlyWhereTheConsoleCanShowIt) {
    const struct {
        const char* choice;
        const char* term;
        bool colored;
    } cases[] = {
        {"always", "xterm", true},
        {"always", "dumb", false},
        {"never", "xterm", false},
        {"auto", "xterm", false},  // standard output is a pipe here
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.choice) + " " + c.term);
        const auto run = harness({"--color", c.choice}, {make_test("t", test_entry([] {}))}, {},
                                 {{"TERM", c.term}});
        EXPECT_EQ(run.out.find("test t ... \x1b[32mok\x1b[0m\n") != std::string::npos, c.colored)
            << run.out;
        EXPECT_EQ(run.out.find("test t ... ok\n") != std::string::npos, !c.colored) << run.out;
    }
}

TEST(Harness, NoSelectedTestIsASuccess) {
    const auto run = harness({"no_such_test"}, {make_test("only", test_entry([] {}))});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(scrub(run.out),
              "\nrunning 0 tests\n\ntest result: ok. 0 passed; 0 failed; 0 ignored; 0 measured; "
              "1 filtered out; finished in T\n\n");
}

TEST(Harness, UsageErrorGoesToStandardErrorWith101) {
    const auto run = harness({"--color", "sometimes"}, {make_test("only", test_entry([] {}))});
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "error: argument for --color must be auto, always, or never (was sometimes)\n");
}

TEST(Harness, UnexpectedExceptionFailsTheTestInsteadOfEndingTheProcess) {
    const auto run =
        harness({}, {make_test("throws", test_entry([] { throw std::runtime_error("bad"); }))});
    EXPECT_EQ(run.status, 101);
    EXPECT_NE(run.out.find("test throws ... FAILED"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("the body ended with an unexpected exception: bad\n"),
              std::string::npos);
}

TEST(Harness, RefusedThreadForALimitRunsTheTestOnTheMainThread) {
    HarnessConfig config;
    config.start_thread = [](std::string, std::function<void()>, std::size_t) -> Result<Thread> {
        return std::make_error_code(std::errc::resource_unavailable_try_again);
    };
    const auto run =
        harness({}, {make_test("inline", test_entry([] { require_equal(1, 2, "m"); }))}, config);
    EXPECT_EQ(run.status, 101);
    EXPECT_NE(scrub(run.out).find("---- inline stdout ----\n\nthread 'inline' (TID) panicked"),
              std::string::npos)
        << run.out;
}

TEST(Harness, OtherThreadRefusalIsAFatalStopOfMain) {
    HarnessConfig config;
    config.start_thread = [](std::string, std::function<void()>, std::size_t) -> Result<Thread> {
        return std::error_code(EPERM, std::system_category());
    };
    const auto run = harness({}, {make_test("never", test_entry([] {}))}, config);
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(scrub(run.err),
              "\nthread 'main' (TID) panicked at src/report/run.cpp:L:C:\n"
              "failed to spawn thread to run test: permission denied (os error 1): Operation not "
              "permitted\n" +
                  kNote);
}

TEST(Harness, FailedReportWriteEndsWith101) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    HarnessConfig config;
    config.out_fd = fds[1];
    const auto run = harness({}, {make_test("only", test_entry([] {}))}, config);
    ::close(fds[1]);
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(run.err,
              "error: io error when listing tests: broken pipe (os error 32): Broken pipe\n");
}

}  // namespace
}  // namespace dpt
