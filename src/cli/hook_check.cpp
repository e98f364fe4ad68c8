#include "cli/hook_check.hpp"

#include <fmt/format.h>

#include <exception>

#include "cli/json_text.hpp"
#include "cli/launcher.hpp"
#include "entry/checks.hpp"
#include "platform/utf8.hpp"

namespace dpt {

std::string hook_check_payload(std::string_view session_id) {
    return fmt::format(R"({{"session_id":"{}"}})", escape_json_text(session_id));
}

HookCheckOutcome run_hook_check(const std::filesystem::path& home, std::string_view session_id) {
    const std::string payload = hook_check_payload(session_id);
    Command command = cli_command(home, {"hook-check"});
    command.env.emplace_back("TARNIX_SESSION_ID", std::string(session_id));
    command.in = Stdio::piped;
    command.out = Stdio::piped;
    command.err = Stdio::piped;
    Child child = require_ok(Child::spawn(command), "spawn hook-check failed");

    // A failed check below must not leave the child behind: it is ended and awaited as
    // the failure unwinds.
    struct Reaper {
        Child& child;
        int unwinding = std::uncaught_exceptions();
        ~Reaper() {
            if (std::uncaught_exceptions() > unwinding) {
                (void)child.kill();
                (void)child.wait();
            }
        }
    } reaper{child};

    {
        UniqueFd input = require_present(child.take_stdin());
        require_ok(write_all(input.get(), payload));
    }

    std::string out, err;
    require_ok(child.drain(out, err));
    const int exit_code = require_ok(child.wait(), "wait hook-check failed");
    return HookCheckOutcome{decode_utf8_lossy(out), exit_code};
}

}  // namespace dpt
