#include "sandbox/unique_name.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

namespace dpt {
namespace {

TEST(UniqueName, PrefixPidAndNanosecondsSinceTheEpoch) {
    struct Case {
        std::int64_t seconds, nanos;
        const char* expected;
    };
    const Case cases[] = {
        {1'700'000'000, 123'456'789, "p_42_1700000000123456789"},
        {0, 0, "p_42_0"},
        {0, 7, "p_42_7"},
        {1, 5, "p_42_1000000005"},
        // A 100 ns clock keeps the nanosecond scale.
        {1'700'000'000, 123'456'700, "p_42_1700000000123456700"},
        // Before the epoch.
        {-1, 999'999'999, "p_42_0"},
        {-5'000'000'000, 0, "p_42_0"},
        // Past what 64 bits of nanoseconds hold (year 2554).
        {20'000'000'000, 1, "p_42_20000000000000000001"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(unique_name_at("p", 42, c.seconds, c.nanos), c.expected) << c.seconds;
    }
    EXPECT_EQ(unique_name_at("dual_path_trial", 4'294'967'295u, 2, 0),
              "dual_path_trial_4294967295_2000000000");
}

TEST(UniqueName, UsesThisProcessAndTheClock) {
    const std::string pid = std::to_string(::getpid());
    const std::regex shape("dual_path_trial_" + pid + "_[1-9][0-9]{18,}");
    const std::string a = unique_name("dual_path_trial");
    const std::string b = unique_name("body");
    EXPECT_TRUE(std::regex_match(a, shape)) << a;
    EXPECT_TRUE(std::regex_match(b, std::regex("body_" + pid + "_[0-9]+"))) << b;
}

}  // namespace
}  // namespace dpt
