#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace dpt {

// The variables every CLI child gets on top of the inherited environment, in this order:
// HOME and USERPROFILE set to `home`, QDX_HOME set to `home` joined with ".qdx".
std::vector<std::pair<std::string, std::string>> sandbox_environment(
    const std::filesystem::path& home);

}  // namespace dpt
