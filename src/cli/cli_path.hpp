#pragma once

#include <filesystem>

namespace dpt {

// The path of the tarnix CLI under test, fixed when the program was built. Never fails
// and does not check that the file exists.
std::filesystem::path cli_executable_path();

}  // namespace dpt
