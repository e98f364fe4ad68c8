#include "report/env.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "scoped_env.hpp"

namespace dpt {
namespace {

using testing::ScopedEnv;

TEST(ParseDecimal, Table) {
    struct Case {
        std::string text;
        std::uint64_t max;
        std::optional<std::uint64_t> value;
        std::string_view error;
    };
    constexpr auto u64 = std::numeric_limits<std::uint64_t>::max();
    const std::vector<Case> cases = {
        {"0", u64, 0, ""},
        {"42", u64, 42, ""},
        {"+7", u64, 7, ""},
        {"007", u64, 7, ""},
        {"18446744073709551615", u64, u64, ""},
        {"18446744073709551616", u64, std::nullopt, "number too large to fit in target type"},
        {"99999999999999999999999", u64, std::nullopt, "number too large to fit in target type"},
        {"100", 99, std::nullopt, "number too large to fit in target type"},
        {"99", 99, 99, ""},
        {"9", 0, std::nullopt, "number too large to fit in target type"},
        {"", u64, std::nullopt, "cannot parse integer from empty string"},
        {"+", u64, std::nullopt, "invalid digit found in string"},
        {"-1", u64, std::nullopt, "invalid digit found in string"},
        {" 1", u64, std::nullopt, "invalid digit found in string"},
        {"1 ", u64, std::nullopt, "invalid digit found in string"},
        {"1_000", u64, std::nullopt, "invalid digit found in string"},
        {"0x10", u64, std::nullopt, "invalid digit found in string"},
        {"99999999999999999999x", u64, std::nullopt, "invalid digit found in string"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text: '" + c.text + "'");
        NumberError error;
        EXPECT_EQ(parse_decimal(c.text, c.max, &error), c.value);
        if (!c.value) {
            EXPECT_EQ(error.description, c.error);
        }
    }
}

TEST(EnvVar, UnsetEmptyAndNotUtf8) {
    {
        ScopedEnv env;
        EXPECT_EQ(env_var(kThreadsVar), std::nullopt);
    }
    {
        ScopedEnv env(ScopedEnv::Settings{{"DPT_TEST_THREADS", ""}});
        EXPECT_EQ(env_var(kThreadsVar), "");
    }
    {
        ScopedEnv env(ScopedEnv::Settings{{"DPT_TEST_THREADS", "caf\xc3\xa9"}});
        EXPECT_EQ(env_var(kThreadsVar), "caf\xc3\xa9");
    }
    {
        ScopedEnv env(ScopedEnv::Settings{{"DPT_TEST_THREADS", "\xc3("}});
        EXPECT_EQ(env_var(kThreadsVar), std::nullopt);
    }
}

TEST(ResolveWorkers, OptionThenVariableThenProcessors) {
    RunOptions options;
    {
        ScopedEnv env(ScopedEnv::Settings{{"DPT_TEST_THREADS", "3"}});
        EXPECT_EQ(resolve_workers(options), 3u);
        options.test_threads = 5;
        EXPECT_EQ(resolve_workers(options), 5u);
        options.test_threads.reset();
    }
    {
        // A variable that is not UTF-8 counts as unset.
        ScopedEnv env(ScopedEnv::Settings{{"DPT_TEST_THREADS", "\xff"}});
        const unsigned processors = std::thread::hardware_concurrency();
        EXPECT_EQ(resolve_workers(options), processors == 0 ? 1u : processors);
    }
}

TEST(ResolveWorkersDeathTest, BadVariableIsAFatalStop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const std::string value : {"0", "abc", "", "-2", "1.5"}) {
        SCOPED_TRACE("value: '" + value + "'");
        ScopedEnv env(ScopedEnv::Settings{{"DPT_TEST_THREADS", value}});
        EXPECT_EXIT((void)resolve_workers(RunOptions{}), ::testing::ExitedWithCode(101),
                    ::testing::AllOf(::testing::HasSubstr("thread 'main' ("),
                                     ::testing::HasSubstr(":\nDPT_TEST_THREADS is `" + value +
                                                          "`, should be a positive integer.\n")));
    }
}

TEST(ReadTimeLimits, VariablesReplaceTheirKindOnly) {
    ScopedEnv env(ScopedEnv::Settings{{"DPT_TEST_TIME_INTEGRATION", "100,200"}});
    const TimeLimits limits = read_time_limits(false);
    EXPECT_EQ(limits.integration.warn, std::chrono::milliseconds(100));
    EXPECT_EQ(limits.integration.critical, std::chrono::milliseconds(200));
    EXPECT_EQ(limits.unit.warn, std::chrono::milliseconds(50));
    EXPECT_EQ(limits.documentation_example.critical, std::chrono::milliseconds(1000));
    EXPECT_FALSE(limits.limits_are_errors);
    EXPECT_TRUE(read_time_limits(true).limits_are_errors);
}

TEST(ReadTimeLimitsDeathTest, DurationTooLargeIsNotANumber) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScopedEnv env(ScopedEnv::Settings{{"DPT_TEST_TIME_UNIT", "1,9223372036854775808"}});
    EXPECT_EXIT((void)read_time_limits(false), ::testing::ExitedWithCode(101),
                ::testing::HasSubstr("Duration value in variable DPT_TEST_TIME_UNIT is expected to "
                                     "be a number, but got 9223372036854775808\n"));
}

TEST(ReadShuffleSeedVar, UnsetOrNumber) {
    {
        ScopedEnv env;
        EXPECT_EQ(read_shuffle_seed_var(), std::nullopt);
    }
    {
        ScopedEnv env(ScopedEnv::Settings{{"DPT_TEST_SHUFFLE_SEED", "18446744073709551615"}});
        EXPECT_EQ(read_shuffle_seed_var(), std::numeric_limits<std::uint64_t>::max());
    }
}

}  // namespace
}  // namespace dpt
