// The CLI's location is fixed when the program is built. It lives in this one
// translation unit so the same program can be built against another CLI (the test
// suite's fake) without recompiling anything else.
#include "cli/cli_path.hpp"

#ifndef DPT_TARNIX_EXECUTABLE
#error "DPT_TARNIX_EXECUTABLE must name the CLI under test"
#endif

namespace dpt {

std::filesystem::path cli_executable_path() { return DPT_TARNIX_EXECUTABLE; }

}  // namespace dpt
