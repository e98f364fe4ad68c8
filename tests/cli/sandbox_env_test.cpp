#include "cli/sandbox_env.hpp"

#include <gtest/gtest.h>

namespace dpt {
namespace {

TEST(SandboxEnvironment, HomeTwiceThenTheQdxDirectoryInOrder) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(sandbox_environment("/tmp/.tmpAbC123"),
              (Pairs{{"HOME", "/tmp/.tmpAbC123"},
                     {"USERPROFILE", "/tmp/.tmpAbC123"},
                     {"QDX_HOME", "/tmp/.tmpAbC123/.qdx"}}));
}

}  // namespace
}  // namespace dpt
