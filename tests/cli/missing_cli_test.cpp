// Built with a CLI path where nothing exists.
#include <gtest/gtest.h>

#include "cli/hook_check.hpp"
#include "cli/launcher.hpp"
#include "entry/test_failure.hpp"

namespace dpt {
namespace {

TEST(MissingCli, StartingItEndsTheTestWithTheReason) {
    const std::string reason = ": not found (os error 2): No such file or directory";
    const auto failure_of = [](auto&& call) {
        try {
            call();
        } catch (const TestFailure& failure) {
            return failure.message;
        }
        return std::string("no failure");
    };
    EXPECT_EQ(failure_of([] {
                  const std::vector<std::string> args{"poll"};
                  (void)spawn_cli("/tmp/h", args, {});
              }),
              "spawn failed" + reason);
    EXPECT_EQ(failure_of([] { (void)run_hook_check("/tmp/h", "abc"); }),
              "spawn hook-check failed" + reason);
}

}  // namespace
}  // namespace dpt
