#include "race/listener.hpp"

#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "cli/launcher.hpp"
#include "entry/checks.hpp"
#include "platform/interrupt.hpp"

namespace dpt {

Listener start_listener(const std::filesystem::path& home, std::string_view agent) {
    const std::vector<std::string> args = {"poll",    std::string(agent), "listen",
                                           "--setup", "--pulse-interval", "10"};
    Child child = [&] {
        // Registered in the same hold as the start, so an interrupt cannot miss the group.
        const auto hold = hold_interrupt_cleanup();
        Child started = spawn_cli(home, args, {});
        register_process_group(started.pid());
        return started;
    }();
    std::optional<UniqueFd> output = child.take_stdout();
    if (!output) {
        // The caller never gets a record to end the group with, so it ends here.
        {
            const auto hold = hold_interrupt_cleanup();
            (void)child.kill();
            unregister_process_group(child.pid());
        }
        (void)child.wait();
    }
    UniqueFd pipe = require_present(std::move(output), "stream child stdout missing");
    return Listener{std::move(child), std::move(pipe)};
}

bool listener_has_exited(const Child& listener) {
    // Child::try_wait would reap it, and a reaped leader's group can no longer be ended
    // safely: what it started would keep the output pipe open and the reader waiting.
    siginfo_t info{};
    for (;;) {
        if (::waitid(P_PID, static_cast<id_t>(listener.pid()), &info,
                     WEXITED | WNOHANG | WNOWAIT) == 0) {
            return info.si_pid != 0;
        }
        if (errno != EINTR) return true;
    }
}

}  // namespace dpt
