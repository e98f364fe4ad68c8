#include "platform/interrupt.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/process.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Alive: the pid names a process that is not a zombie.
bool alive(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (stat.empty()) return false;
    return stat[stat.rfind(')') + 2] != 'Z';
}

bool ends_soon(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (alive(pid) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    return !alive(pid);
}

struct Case {
    const char* name;
    int signal;
    const char* mode;
    const char* line;
};

// The probe starts a process group (a shell and the sleep it started) and a plain child,
// and registers the group and a directory; an interrupt must end all three processes,
// remove the directory, say so on standard error and exit with 101. In the "hold" mode the
// signal arrives while the probe holds the clean-up off and has not yet registered
// anything: the clean-up must wait for the registration, not miss it.
TEST(InterruptCleanup, EndsRegisteredGroupsAndChildrenAndRemovesTheDirectory) {
    const Case cases[] = {
        {"SIGTERM", SIGTERM, "", "interrupted by SIGTERM"},
        {"SIGINT", SIGINT, "", "interrupted by SIGINT"},
        {"SIGHUP", SIGHUP, "", "interrupted by SIGHUP"},
        {"SIGTERM while held off", SIGTERM, "hold", "interrupted by SIGTERM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char pattern[] = "/tmp/dpt-interrupt-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        const fs::path dir = pattern;
        fs::create_directories(dir / "a" / "b");
        std::ofstream(dir / "a" / "b" / "file") << "x";

        auto probe = dpt::Child::spawn({.program = DPT_INTERRUPT_PROBE,
                                        .args = {dir.string(), c.mode},
                                        .env = {},
                                        .out = dpt::Stdio::piped,
                                        .err = dpt::Stdio::piped});
        ASSERT_TRUE(probe.ok());
        auto out = probe.value().take_stdout();
        std::string text;
        char ch;
        while (text.find("ready\n") == std::string::npos && ::read(out->get(), &ch, 1) == 1) {
            text.push_back(ch);
        }
        std::istringstream pids(text);
        pid_t leader = 0, grandchild = 0, plain = 0;
        pids >> leader >> grandchild >> plain;
        ASSERT_GT(grandchild, 0) << text;
        if (std::string(c.mode) != "hold") std::this_thread::sleep_for(100ms);

        ASSERT_EQ(::kill(probe.value().pid(), c.signal), 0);
        std::string rest, err;
        EXPECT_FALSE(dpt::drain_two(out->get(), rest, -1, rest));
        auto drained = probe.value().collect();
        ASSERT_TRUE(drained.ok());
        EXPECT_EQ(drained.value().exit_code, 101);
        EXPECT_NE(drained.value().err.find(c.line), std::string::npos) << drained.value().err;
        EXPECT_TRUE(ends_soon(leader));
        EXPECT_TRUE(ends_soon(grandchild));
        EXPECT_TRUE(ends_soon(plain));
        EXPECT_FALSE(fs::exists(dir));
        fs::remove_all(dir);
    }
}

}  // namespace
