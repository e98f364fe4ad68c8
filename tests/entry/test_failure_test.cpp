#include "entry/test_failure.hpp"

#include <gtest/gtest.h>

#include "entry/capture.hpp"
#include "entry/run_in_child.hpp"

namespace dpt {
namespace {

TEST(SourceLocation, IsRelativeToTheProjectRoot) {
    const auto here = SourceLocation::from(std::source_location::current());
    EXPECT_EQ(here.path, "tests/entry/test_failure_test.cpp");
    EXPECT_EQ(here.line, static_cast<std::uint32_t>(__LINE__ - 2));
}

TEST(RaiseFailure, ThrowsTheFailureWithItsParts) {
    auto previous = install_capture(std::make_shared<CapturedOutput>());
    try {
        raise_failure("broken", std::source_location::current());
        ADD_FAILURE() << "raise_failure returned";
    } catch (const TestFailure& failure) {
        EXPECT_EQ(failure.message, "broken");
        EXPECT_EQ(failure.location.path, "tests/entry/test_failure_test.cpp");
        EXPECT_EQ(failure.thread_name, "main");
    }
    install_capture(std::move(previous));
}

TEST(HarnessFatal, ReportsAsMainOnStandardErrorAndExits101) {
    // Even with a capture installed on the thread, a fatal stop reaches the console.
    const auto run = testing::run_in_child([] {
        install_capture(std::make_shared<CapturedOutput>());
        harness_fatal("cannot go on");
        return 0;
    });
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(testing::scrub(run.err),
              "\nthread 'main' (TID) panicked at tests/entry/test_failure_test.cpp:L:C:\n"
              "cannot go on\n"
              "note: set `DPT_BACKTRACE=1` to display a backtrace\n");
}

}  // namespace
}  // namespace dpt
