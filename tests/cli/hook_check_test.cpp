#include "cli/hook_check.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

#include "entry/checks.hpp"
#include "entry/test_failure.hpp"

namespace dpt {
namespace {

// The helper child reads its behaviour from HELPER_HOOK when called as hook-check.
class HookCheckTest : public ::testing::Test {
  protected:
    void TearDown() override { ::unsetenv("HELPER_HOOK"); }
    static HookCheckOutcome run(const char* behaviour, std::string_view session_id = "abc") {
        ::setenv("HELPER_HOOK", behaviour, 1);
        return run_hook_check("/tmp/.tmpHook01", session_id);
    }
};

TEST_F(HookCheckTest, HandsTheSessionPayloadThenEndOfInput) {
    const auto outcome = run("echo");
    EXPECT_EQ(outcome.stdout, R"({"session_id":"abc"})");
    EXPECT_EQ(outcome.stdout.size(), 20u);
    EXPECT_EQ(outcome.exit_code, 0);
}

TEST_F(HookCheckTest, ChildSeesTheSandboxAndTheSession) {
    const auto outcome = run("env", "sess-1");
    for (const char* entry : {"HOME=/tmp/.tmpHook01", "USERPROFILE=/tmp/.tmpHook01",
                              "QDX_HOME=/tmp/.tmpHook01/.qdx", "TARNIX_SESSION_ID=sess-1"}) {
        EXPECT_NE(outcome.stdout.find(std::string(entry) + '\0'), std::string::npos) << entry;
    }
}

TEST_F(HookCheckTest, OutcomeOfTheChild) {
    struct Case {
        const char* behaviour;
        std::string out;
        int exit_code;
    };
    const Case cases[] = {
        {"exit 0", "", 0},
        {"exit 3", "", 3},
        {"kill-self", "", -1},
        {"invalid-utf8",
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD",
         0},
    };
    for (const auto& c : cases) {
        const auto outcome = run(c.behaviour);
        EXPECT_EQ(outcome.stdout, c.out) << c.behaviour;
        EXPECT_EQ(outcome.exit_code, c.exit_code) << c.behaviour;
    }
}

TEST_F(HookCheckTest, FloodedOutputsCompleteAndStandardErrorIsDropped) {
    const auto outcome = run("flood 8388608");
    EXPECT_EQ(outcome.exit_code, 0);
    ASSERT_EQ(outcome.stdout.size(), 8u << 20);
    EXPECT_EQ(outcome.stdout.find('A'), std::string::npos);
}

TEST_F(HookCheckTest, PayloadEscapesTheSessionId) {
    EXPECT_EQ(hook_check_payload("abc"), R"({"session_id":"abc"})");
    EXPECT_EQ(hook_check_payload("a\"b\\c\n"), R"({"session_id":"a\"b\\c\n"})");
    EXPECT_EQ(run("echo", "x\"y").stdout, R"({"session_id":"x\"y"})");
}

TEST_F(HookCheckTest, AChildThatClosesItsInputFailsTheWriteAndTheProgramLivesOn) {
    // More than a pipe holds (64 KiB), so the write is still going when the child closes
    // its end; less than one environment string may hold (128 KiB), as the id goes there too.
    const std::string long_id(120'000, 's');
    std::string message = "no failure";
    try {
        run("close-stdin", long_id);
    } catch (const TestFailure& failure) {
        message = failure.message;
    }
    EXPECT_EQ(message, std::string(kErrorWording) + ": broken pipe (os error 32): Broken pipe");
    // Still here, and the next call works.
    EXPECT_EQ(run("exit 0").exit_code, 0);
}

}  // namespace
}  // namespace dpt
