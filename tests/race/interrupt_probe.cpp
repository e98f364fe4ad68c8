// Helper of interrupt_test: installs the interrupt clean-up, starts a process group and a
// plain child, registers the group and the directory named by argv[1], prints the pids and
// "ready", and waits to be interrupted. With "hold" as argv[2] it registers only after
// holding the clean-up off for a while, as the race driver does around a start.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/interrupt.hpp"
#include "platform/process.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    dpt::install_interrupt_cleanup();
    const bool hold = argc > 2 && std::string(argv[2]) == "hold";

    dpt::Command group_cmd{.program = "/bin/sh",
                           .args = {"-c", "sleep 120 & echo $!; wait"},
                           .env = {},
                           .out = dpt::Stdio::piped,
                           .own_process_group = true};
    dpt::Command plain_cmd{.program = "/bin/sleep", .args = {"120"}, .env = {}};
    {
        auto lock = dpt::hold_interrupt_cleanup();
        auto group = dpt::Child::spawn(group_cmd);
        auto plain = dpt::Child::spawn(plain_cmd);
        if (!group.ok() || !plain.ok()) return 3;
        // The shell prints the pid of the process it started in its group.
        std::string grandchild;
        char c;
        auto out = group.value().take_stdout();
        while (::read(out->get(), &c, 1) == 1 && c != '\n') grandchild.push_back(c);
        std::printf("%d %s %d\nready\n", group.value().pid(), grandchild.c_str(),
                    plain.value().pid());
        std::fflush(stdout);
        if (hold) std::this_thread::sleep_for(std::chrono::milliseconds(500));
        dpt::register_process_group(group.value().pid());
        dpt::register_cleanup_directory(argv[1]);
    }
    for (;;) ::pause();
}
