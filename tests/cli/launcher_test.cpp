#include "cli/launcher.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include "cli/cli_path.hpp"
#include "platform/error.hpp"

extern char** environ;

namespace dpt {
namespace {

using Env = std::map<std::string, std::string>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Env parse_env(const std::string& nul_separated) {
    Env env;
    std::size_t pos = 0;
    while (pos < nul_separated.size()) {
        const auto end = nul_separated.find('\0', pos);
        const std::string entry = nul_separated.substr(pos, end - pos);
        const auto eq = entry.find('=');
        EXPECT_EQ(env.count(entry.substr(0, eq)), 0u) << "duplicate " << entry;
        env[entry.substr(0, eq)] = entry.substr(eq + 1);
        pos = end + 1;
    }
    return env;
}

Env own_env() {
    Env env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        env[entry.substr(0, entry.find('='))] = entry.substr(entry.find('=') + 1);
    }
    return env;
}

ChildOutput finish(Child& child) {
    EXPECT_FALSE(child.has_stdin());
    auto out = child.collect();
    EXPECT_TRUE(out.ok()) << describe_error(out.error());
    return out.ok() ? out.value() : ChildOutput{};
}

TEST(SpawnCli, ChildSeesTheInheritedEnvironmentWithTheSandboxOnTop) {
    const std::filesystem::path home = "/tmp/.tmpHome01";
    ::setenv("TARNIX_SESSION_ID", "inherited-session", 1);
    ::setenv("HOME", "/root/real-home", 1);
    struct Case {
        Pairs extra;
        std::string home;
    };
    for (const auto& c : {Case{{}, home.string()},
                          Case{{{"HOME", "/elsewhere"}, {"DPT_EXTRA", "1"}}, "/elsewhere"}}) {
        const std::vector<std::string> args{"env"};
        Child child = spawn_cli(home, args, c.extra);
        const auto out = finish(child);
        EXPECT_EQ(out.exit_code, 0);

        Env expected = own_env();
        expected["HOME"] = c.home;
        expected["USERPROFILE"] = home.string();
        expected["QDX_HOME"] = "/tmp/.tmpHome01/.qdx";
        if (!c.extra.empty()) expected["DPT_EXTRA"] = "1";
        EXPECT_EQ(parse_env(out.out), expected);
        EXPECT_EQ(parse_env(out.out)["TARNIX_SESSION_ID"], "inherited-session");
    }
    ::unsetenv("TARNIX_SESSION_ID");
}

TEST(SpawnCli, PassesArgumentsAndLeadsItsOwnGroup) {
    const std::vector<std::string> args{"pgrp"};
    Child child = spawn_cli("/tmp/h", args, {});
    const auto out = finish(child);
    const auto space = out.out.find(' ');
    ASSERT_NE(space, std::string::npos) << out.out;
    EXPECT_EQ(out.out.substr(0, space), std::to_string(child.pid()));
    EXPECT_EQ(out.out.substr(space + 1), std::to_string(child.pid()));
}

TEST(SpawnCli, ChildReadsThisProgramsStandardInput) {
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    const int saved = ::dup(0);
    ASSERT_EQ(::dup2(p[0], 0), 0);
    ::close(p[0]);
    ASSERT_EQ(::write(p[1], "from the parent\n", 16), 16);
    ::close(p[1]);

    const std::vector<std::string> args{"echo"};
    Child child = spawn_cli("/tmp/h", args, {});
    ::dup2(saved, 0);
    ::close(saved);
    const auto out = finish(child);
    EXPECT_EQ(out.out, "from the parent\n");
    EXPECT_EQ(out.exit_code, 0);
}

// With a terminal as standard input, a child in a background group that read it would be
// stopped for good. Runs in a forked process that leads a session with a fresh
// pseudo-terminal as its controlling terminal and standard input.
TEST(SpawnCli, ChildOfATerminalSessionIsNotStoppedByReadingIt) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setsid();
        const int tty = ::open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
        if (tty < 0 || ::dup2(tty, 0) < 0) ::_exit(10);
        const std::vector<std::string> args{"echo"};
        Child child = spawn_cli("/tmp/h", args, {});
        for (int i = 0; i < 500; ++i) {
            auto done = child.try_wait();
            if (done.ok() && done.value()) ::_exit(*done.value() == 0 ? 0 : 11);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        (void)child.kill();
        ::_exit(12);  // still running (stopped) after 5 s
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(CliCommand, TheCliWithTheSandboxEnvironment) {
    const Command c = cli_command("/tmp/h", {"send", "agent", "racesender"});
    EXPECT_EQ(c.program, cli_executable_path().string());
    EXPECT_EQ(c.args, (std::vector<std::string>{"send", "agent", "racesender"}));
    EXPECT_EQ(c.env,
              (Pairs{{"HOME", "/tmp/h"}, {"USERPROFILE", "/tmp/h"}, {"QDX_HOME", "/tmp/h/.qdx"}}));
    EXPECT_EQ(c.in, Stdio::inherit);
    EXPECT_FALSE(c.own_process_group);
}

}  // namespace
}  // namespace dpt
