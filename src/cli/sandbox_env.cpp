#include "cli/sandbox_env.hpp"

namespace dpt {

std::vector<std::pair<std::string, std::string>> sandbox_environment(
    const std::filesystem::path& home) {
    return {{"HOME", home.string()},
            {"USERPROFILE", home.string()},
            {"QDX_HOME", (home / ".qdx").string()}};
}

}  // namespace dpt
