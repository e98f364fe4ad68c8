#include "race/verdict.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "entry/test_failure.hpp"

namespace {

struct CountCase {
    const char* text;
    const char* token;
    std::size_t count;
};

TEST(CountOccurrences, CountsNonOverlappingExactMatches) {
    const CountCase cases[] = {
        {"", "T", 0},
        {"T", "T", 1},
        {"xTy", "T", 1},
        {"line one\nsome T inside\n", "T", 1},
        {"T\nT\n", "T", 2},
        {"TT", "T", 2},
        {"aaaa", "aa", 2},  // the scan resumes after a match, so no overlaps
        {"aaa", "aa", 1},
        {"t", "T", 0},  // case-sensitive
        {"RACE_TOKEN_body_1_2", "RACE_TOKEN_body_1_23", 0},
        {"RACE_TOKEN_body_1_23x", "RACE_TOKEN_body_1_23", 1},
        {"abc", "", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dpt::count_occurrences(c.text, c.token), c.count)
            << "text=" << c.text << " token=" << c.token;
    }
}

TEST(CountOccurrences, SeesBytesPastAnEmbeddedNul) {
    const std::string text("a\0T\0T", 5);
    EXPECT_EQ(dpt::count_occurrences(text, "T"), 2u);
}

// The message a failed verdict carries, or empty when it passes.
std::string verdict_failure(const std::string& token, const std::string& stream,
                            const std::string& hook) {
    try {
        dpt::judge_exactly_once(token, stream, hook);
    } catch (const dpt::TestFailure& failure) {
        return failure.message;
    }
    return {};
}

struct JudgeCase {
    const char* name;
    const char* stream;
    const char* hook;
    const char* message;  // empty: passes
};

TEST(JudgeExactlyOnce, PassesOnlyOnATotalOfOne) {
    const JudgeCase cases[] = {
        {"stream only", "TOK\n", "", ""},
        {"hook only", "", "delivered TOK", ""},
        {"embedded in a longer line", "before TOK after\n", "", ""},
        {"both paths", "TOK\n", "TOK",
         "assertion `left == right` failed: exactly-once invariant violated: stream_count=1 "
         "hook_count=1 (expected total=1)\nstream stdout: TOK\n\nhook stdout: TOK\n  left: 2\n "
         "right: 1"},
        {"neither path", "", "",
         "assertion `left == right` failed: exactly-once invariant violated: stream_count=0 "
         "hook_count=0 (expected total=1)\nstream stdout: \nhook stdout: \n  left: 0\n right: 1"},
        {"twice on the stream", "TOK\nx TOK\n", "",
         "assertion `left == right` failed: exactly-once invariant violated: stream_count=2 "
         "hook_count=0 (expected total=1)\nstream stdout: TOK\nx TOK\n\nhook stdout: \n  left: "
         "2\n right: 1"},
        {"twice in one line", "TOKTOK\n", "",
         "assertion `left == right` failed: exactly-once invariant violated: stream_count=2 "
         "hook_count=0 (expected total=1)\nstream stdout: TOKTOK\n\nhook stdout: \n  left: 2\n "
         "right: 1"},
        {"other text only", "noise\n", "nothing here",
         "assertion `left == right` failed: exactly-once invariant violated: stream_count=0 "
         "hook_count=0 (expected total=1)\nstream stdout: noise\n\nhook stdout: nothing here\n  "
         "left: 0\n right: 1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(verdict_failure("TOK", c.stream, c.hook), c.message) << c.name;
    }
}

TEST(AddCounts, FailsWhenTheSumDoesNotFit) {
    constexpr auto max = std::numeric_limits<std::size_t>::max();
    EXPECT_EQ(dpt::add_counts(max - 1, 1), max);
    try {
        (void)dpt::add_counts(max, 1);
        FAIL() << "no failure";
    } catch (const dpt::TestFailure& failure) {
        EXPECT_EQ(failure.message, "attempt to add with overflow");
        EXPECT_EQ(failure.location.path, "tests/race/verdict_test.cpp");
    }
}

}  // namespace
