#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/process.hpp"

namespace dpt {

// A command for the CLI at cli_executable_path() with `args` and the sandbox environment
// of `home`; every stream is inherited until the caller says otherwise. Never fails.
Command cli_command(const std::filesystem::path& home, std::vector<std::string> args);

// Starts a long-running CLI child (the listener): the sandbox environment of `home`, then
// each pair of `extra_env` in order (a later name replaces an earlier one), standard output
// and standard error piped, standard input shared with this program, leading a process
// group of its own so that kill() ends what it started. When this program's standard input
// is a terminal the child reads the null device instead: outside the terminal's foreground
// group a read there would stop it. A start failure fails the test with "spawn failed"
// and the error's description.
Child spawn_cli(const std::filesystem::path& home, std::span<const std::string> args,
                std::span<const std::pair<std::string, std::string>> extra_env);

}  // namespace dpt
