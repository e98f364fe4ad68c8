#include "cli/launcher.hpp"

#include <unistd.h>

#include "cli/cli_path.hpp"
#include "cli/sandbox_env.hpp"
#include "entry/checks.hpp"

namespace dpt {

Command cli_command(const std::filesystem::path& home, std::vector<std::string> args) {
    Command command;
    command.program = cli_executable_path().string();
    command.args = std::move(args);
    command.env = sandbox_environment(home);
    return command;
}

Child spawn_cli(const std::filesystem::path& home, std::span<const std::string> args,
                std::span<const std::pair<std::string, std::string>> extra_env) {
    Command command = cli_command(home, {args.begin(), args.end()});
    command.env.insert(command.env.end(), extra_env.begin(), extra_env.end());
    command.out = Stdio::piped;
    command.err = Stdio::piped;
    command.own_process_group = true;
    // The child leads a background group of this session; a read from the controlling
    // terminal there would stop it with SIGTTIN (and a stopped listener never ends on
    // `stop`). It could never read the terminal, so it gets end of input instead.
    command.in = ::isatty(STDIN_FILENO) ? Stdio::null : Stdio::inherit;
    return require_ok(Child::spawn(command), "spawn failed");
}

}  // namespace dpt
