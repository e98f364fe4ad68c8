#include "entry/failure_report.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "entry/capture.hpp"
#include "entry/run_in_child.hpp"
#include "entry/thread_name.hpp"

namespace dpt {
namespace {

const SourceLocation kWhere{"src/race/driver.cpp", 12, 5};
const std::string kNote = "note: set `DPT_BACKTRACE=1` to display a backtrace\n";

TEST(BacktraceMode, IsReadFromTheVariable) {
    const struct {
        const char* value;
        BacktraceMode mode;
    } cases[] = {
        {nullptr, BacktraceMode::off},    {"0", BacktraceMode::off},
        {"1", BacktraceMode::short_form}, {"yes", BacktraceMode::short_form},
        {"", BacktraceMode::short_form},  {"full", BacktraceMode::full},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_backtrace_mode(c.value), c.mode) << (c.value ? c.value : "unset");
    }
}

TEST(FailureReport, WritesHeaderMessageAndTheNoteOnlyOnce) {
    const auto run = testing::run_in_child([] {
        write_failure_report("worker", kWhere, "first\nsecond line");
        write_failure_report("<unnamed>", kWhere, "again");
        return 0;
    });
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(testing::scrub(run.err),
              "\nthread 'worker' (TID) panicked at src/race/driver.cpp:L:C:\nfirst\nsecond line\n" +
                  kNote +
                  "\nthread '<unnamed>' (TID) panicked at src/race/driver.cpp:L:C:\nagain\n");
    EXPECT_NE(run.err.find("src/race/driver.cpp:12:5:"), std::string::npos);
}

TEST(FailureReport, GoesToTheCapturedOutputWhenOneIsInstalled) {
    const auto run = testing::run_in_child([] {
        auto capture = std::make_shared<CapturedOutput>();
        install_capture(capture);
        write_failure_report("t", kWhere, "m");
        install_capture(nullptr);
        const std::string text = capture->copy();
        return text.find("\nthread 't' (") == 0 && text.ends_with("m\n" + kNote) ? 0 : 1;
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

TEST(FailureReport, LongerThanItsBufferIsWrittenWhole) {
    const std::string message(2000, 'x');
    const auto run = testing::run_in_child([&] {
        write_failure_report(std::string(300, 'n'), kWhere, message);
        return 0;
    });
    EXPECT_EQ(testing::scrub(run.err), "\nthread '" + std::string(300, 'n') +
                                           "' (TID) panicked at src/race/driver.cpp:L:C:\n" +
                                           message + "\n" + kNote);
}

TEST(FailureReport, ReportsOfSeveralThreadsDoNotInterleave) {
    // Long messages force the report out in pieces; the report lock must keep them together.
    const auto run = testing::run_in_child([] {
        std::vector<std::thread> threads;
        for (char c = 'a'; c < 'a' + 6; ++c) {
            threads.emplace_back([c] {
                for (int i = 0; i < 20; ++i) {
                    write_failure_report(std::string(1, c), kWhere, std::string(700, c));
                }
            });
        }
        for (auto& t : threads) t.join();
        return 0;
    });
    for (std::size_t pos = 0; (pos = run.err.find("\nthread '", pos)) != std::string::npos;) {
        const char c = run.err[pos + 9];
        const std::size_t body = run.err.find(":\n", pos) + 2;
        EXPECT_EQ(run.err.substr(body, 701), std::string(700, c) + "\n");
        pos = body;
    }
}

TEST(FailureReport, BacktraceReplacesTheNote) {
    for (const char* mode : {"1", "full"}) {
        SCOPED_TRACE(mode);
        const auto run = testing::run_in_child(
            [] {
                write_failure_report("t", kWhere, "m");
                return 0;
            },
            {{"DPT_BACKTRACE", mode}});
        EXPECT_EQ(run.err.find("note: set `DPT_BACKTRACE=1`"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("m\nstack backtrace:\n"), std::string::npos) << run.err;
    }
}

}  // namespace

// Outside the anonymous namespace, so a backtrace can name it.
void failing_check() { raise_failure("deep", std::source_location::current()); }

namespace {

TEST(FailureReport, ShortBacktraceRunsFromTheCheckToTheBoundary) {
    const auto run = testing::run_in_child(
        [] {
            run_inside_boundary([] { failing_check(); });
            return 0;
        },
        {{"DPT_BACKTRACE", "1"}});
    const std::string& err = run.err;
    const std::size_t trace = err.find("stack backtrace:\n");
    ASSERT_NE(trace, std::string::npos) << err;
    // The first frame is the failing check; nothing of the report or the boundary shows.
    EXPECT_EQ(err.find("   0: dpt::failing_check()\n", trace), trace + 17) << err;
    EXPECT_EQ(err.find("raise_failure", trace), std::string::npos) << err;
    EXPECT_EQ(err.find("run_inside_boundary", trace), std::string::npos) << err;
    EXPECT_EQ(err.find(" main\n", trace), std::string::npos) << err;
    EXPECT_NE(err.find("DPT_BACKTRACE=full"), std::string::npos) << err;
}

TEST(FailureReport, FullBacktraceKeepsEveryFrame) {
    const auto run = testing::run_in_child(
        [] {
            run_inside_boundary([] { failing_check(); });
            return 0;
        },
        {{"DPT_BACKTRACE", "full"}});
    EXPECT_NE(run.err.find("dpt::raise_failure"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("dpt::run_inside_boundary"), std::string::npos) << run.err;
}

TEST(Boundary, StopsFailuresAndReportsOtherExceptions) {
    auto capture = std::make_shared<CapturedOutput>();
    auto previous = install_capture(capture);
    EXPECT_TRUE(run_inside_boundary([] {}));
    EXPECT_FALSE(run_inside_boundary([] { failing_check(); }));
    EXPECT_FALSE(run_inside_boundary([] { throw std::runtime_error("disk gone"); }));
    EXPECT_FALSE(run_inside_boundary([] { throw 7; }));
    install_capture(std::move(previous));
    const std::string text = capture->copy();
    EXPECT_NE(text.find("\ndeep\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nthe body ended with an unexpected exception: disk gone\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("unexpected exception of unknown type\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace dpt
