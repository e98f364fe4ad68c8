#include "entry/checks.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "entry/capture.hpp"
#include "platform/result.hpp"

namespace dpt {
namespace {

// Runs a check with a captured output installed, so its report stays out of the
// console, and returns the TestFailure it raised.
std::optional<TestFailure> failure_of(const std::function<void()>& check) {
    auto previous = install_capture(std::make_shared<CapturedOutput>());
    std::optional<TestFailure> raised;
    try {
        check();
    } catch (const TestFailure& failure) {
        raised = failure;
    }
    install_capture(std::move(previous));
    return raised;
}

Result<int> failed_op() { return std::error_code(ENOENT, std::system_category()); }

const std::string kNotFound = "not found (os error 2): No such file or directory";

struct MessageCase {
    const char* name;
    std::function<void()> check;
    std::string message;
};

TEST(Checks, FailedChecksBuildTheirMessageForms) {
    const MessageCase cases[] = {
        {"equal with message", [] { require_equal(2, 1, "M"); },
         "assertion `left == right` failed: M\n  left: 2\n right: 1"},
        {"equal with built message",
         [] { require_equal(5, 7, [] { return std::string("built"); }); },
         "assertion `left == right` failed: built\n  left: 5\n right: 7"},
        {"ok with message", [] { (void)require_ok(failed_op(), "open failed"); },
         "open failed: " + kNotFound},
        {"ok without message", [] { (void)require_ok(failed_op()); },
         std::string(kErrorWording) + ": " + kNotFound},
        {"error code with message",
         [] { require_ok(std::error_code(ENOENT, std::system_category()), "stat"); },
         "stat: " + kNotFound},
        {"present with message", [] { (void)require_present(std::optional<int>(), "no session"); },
         "no session"},
        {"present without message", [] { (void)require_present(std::optional<int>()); },
         std::string(kMissingWording)},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto failure = failure_of(c.check);
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->message, c.message);
    }
}

TEST(Checks, PassingChecksReturnTheirValueAndBuildNoMessage) {
    EXPECT_EQ(require_ok(Result<int>(42)), 42);
    EXPECT_EQ(require_present(std::optional<std::string>("v"), "m"), "v");
    bool built = false;
    require_equal(3, 3, [&] {
        built = true;
        return std::string("unused");
    });
    EXPECT_FALSE(built);
    require_ok(std::error_code{}, "m");
}

TEST(Checks, FailureRecordsTheCallersLocationAndThread) {
    const std::uint32_t line = __LINE__ + 1;
    const auto failure = failure_of([] { require_equal(1, 2, "m"); });
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->location.path, "tests/entry/checks_test.cpp");
    EXPECT_EQ(failure->location.line, line);
    EXPECT_GT(failure->location.column, 0u);
    EXPECT_EQ(failure->thread_name, "main");
}

TEST(Checks, FailureReportGoesToTheInstalledCapture) {
    auto capture = std::make_shared<CapturedOutput>();
    auto previous = install_capture(capture);
    EXPECT_THROW(require_present(std::optional<int>(), "gone"), TestFailure);
    install_capture(std::move(previous));
    const std::string text = capture->copy();
    EXPECT_EQ(text.rfind("\nthread 'main' (", 0), 0u) << text;
    EXPECT_NE(text.find(") panicked at tests/entry/checks_test.cpp:"), std::string::npos) << text;
    EXPECT_NE(text.find(":\ngone\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace dpt
