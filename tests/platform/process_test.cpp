#include "platform/process.hpp"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <thread>

#include "platform/error.hpp"
#include "platform/syscalls.hpp"

extern char** environ;

namespace dpt {
namespace {

using ::testing::HasSubstr;

Command helper(std::vector<std::string> args) {
    Command c;
    c.program = DPT_TEST_CHILD;
    c.args = std::move(args);
    return c;
}

Child start(Command c) {
    auto child = Child::spawn(c);
    if (!child) {
        ADD_FAILURE() << "spawn: " << describe_error(child.error());
        std::abort();
    }
    return std::move(child).value();
}

ChildOutput run(Command c) {
    c.out = Stdio::piped;
    c.err = Stdio::piped;
    auto out = start(std::move(c)).collect();
    EXPECT_TRUE(out.ok()) << describe_error(out.error());
    return out.ok() ? out.value() : ChildOutput{};
}

std::map<std::string, std::string> parse_env(const std::string& nul_separated) {
    std::map<std::string, std::string> env;
    std::size_t pos = 0;
    while (pos < nul_separated.size()) {
        const auto end = nul_separated.find('\0', pos);
        const std::string entry = nul_separated.substr(pos, end - pos);
        const auto eq = entry.find('=');
        EXPECT_EQ(env.count(entry.substr(0, eq)), 0u) << "duplicate " << entry;
        env[entry.substr(0, eq)] = eq == std::string::npos ? "" : entry.substr(eq + 1);
        pos = end + 1;
    }
    return env;
}

std::map<std::string, std::string> own_env() {
    std::string all;
    for (char** e = environ; *e != nullptr; ++e) all += std::string(*e) + '\0';
    return parse_env(all);
}

TEST(ChildExit, ReportsTheExitCodeOrMinusOneForASignal) {
    struct Case {
        std::vector<std::string> args;
        int code;
    };
    for (const Case& c : {Case{{"exit", "0"}, 0}, Case{{"exit", "3"}, 3},
                          Case{{"exit", "255"}, 255}, Case{{"kill-self"}, -1}}) {
        EXPECT_EQ(run(helper(c.args)).exit_code, c.code) << c.args[0];
    }
}

TEST(ChildEnv, InheritsTheEnvironmentWithLaterAdditionsWinning) {
    ::setenv("DPT_PROCESS_TEST_INHERITED", "parent", 1);
    Command c = helper({"env"});
    c.env = {
        {"DPT_A", "1"}, {"DPT_PROCESS_TEST_INHERITED", "child"}, {"DPT_A", "2"}, {"DPT_EMPTY", ""}};
    const auto seen = parse_env(run(c).out);
    ::unsetenv("DPT_PROCESS_TEST_INHERITED");

    auto expected = own_env();
    expected["DPT_PROCESS_TEST_INHERITED"] = "child";
    expected["DPT_A"] = "2";
    expected["DPT_EMPTY"] = "";
    EXPECT_EQ(seen, expected);
}

TEST(ChildStreams, NullAndPipedStreams) {
    Command c = helper({"echo"});
    c.in = Stdio::null;
    const auto out = run(c);
    EXPECT_EQ(out.exit_code, 0);
    EXPECT_EQ(out.out, "");

    Command silent = helper({"flood", "10"});
    silent.out = Stdio::null;
    silent.err = Stdio::null;
    Child child = start(silent);
    EXPECT_FALSE(child.take_stdout().has_value());
    EXPECT_FALSE(child.has_stdin());
    std::string o, e;
    EXPECT_FALSE(child.drain(o, e));
    EXPECT_EQ(o + e, "");
    EXPECT_EQ(child.wait().value(), 0);
}

TEST(ChildStreams, WritesTheInputWholeThenClosesIt) {
    Command c = helper({"echo"});
    c.in = Stdio::piped;
    c.out = Stdio::piped;
    c.err = Stdio::piped;
    Child child = start(c);
    // Larger than a pipe holds, so the write waits for the child to read.
    std::string input(1 << 20, 'x');
    for (std::size_t i = 0; i < input.size(); i += 7) input[i] = static_cast<char>('a' + i % 26);
    std::thread writer([&] { EXPECT_FALSE(child.write_stdin_and_close(input)); });
    std::string out, err;
    // drain only touches the output pipes, so it may run beside the writer.
    auto out_fd = child.take_stdout();
    auto err_fd = child.take_stderr();
    EXPECT_FALSE(drain_two(out_fd->get(), out, err_fd->get(), err));
    writer.join();
    EXPECT_FALSE(child.has_stdin());
    EXPECT_EQ(out, input);
    EXPECT_EQ(child.wait().value(), 0);
    EXPECT_EQ(child.write_stdin_and_close("late").value(), EBADF);
}

TEST(ChildStreams, DrainsBothFullPipesWithoutDeadlock) {
    // The child fills standard error first: reading standard output to its end before
    // standard error would hang.
    constexpr std::size_t kSize = 8u << 20;
    const auto out = run(helper({"flood", std::to_string(kSize)}));
    ASSERT_EQ(out.exit_code, 0);
    ASSERT_EQ(out.out.size(), kSize);
    ASSERT_EQ(out.err.size(), kSize);
    for (std::size_t i = 0; i < kSize; i += 4099) {
        ASSERT_EQ(out.out[i], static_cast<char>('a' + i % 23)) << i;
        ASSERT_EQ(out.err[i], static_cast<char>('A' + i % 23)) << i;
    }
}

TEST(ChildStreams, WriteToAClosedInputIsAnErrorNotASignal) {
    Command c = helper({"close-stdin"});
    c.in = Stdio::piped;
    c.out = Stdio::piped;
    Child child = start(c);
    auto out = child.take_stdout();
    char buf[7];
    ASSERT_EQ(::read(out->get(), buf, sizeof buf), 7);  // "closed\n"
    const auto error = child.write_stdin_and_close("payload");
    EXPECT_EQ(error, std::error_code(EPIPE, std::system_category()));
    EXPECT_EQ(describe_error(error), "broken pipe (os error 32): Broken pipe");
    out->reset();
    EXPECT_EQ(child.wait().value(), 0);
}

TEST(ChildSpawn, ReportsExecFailuresWithTheirErrno) {
    Command missing;
    missing.program = "/nonexistent/dpt/child";
    auto r = Child::spawn(missing);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().value(), ENOENT);

    // Root may execute anything with an execute bit, so the files get exactly the bits
    // that make the point.
    char dir_template[] = "/tmp/dpt_spawn_XXXXXX";
    ASSERT_NE(::mkdtemp(dir_template), nullptr);
    const std::string no_exec_bit = std::string(dir_template) + "/plain";
    const std::string not_a_program = std::string(dir_template) + "/garbage";
    for (const auto& [path, mode] :
         {std::pair{no_exec_bit, 0644}, std::pair{not_a_program, 0755}}) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, mode);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "\x01\x02junk", 6), 6);
        ::close(fd);
    }
    struct Case {
        std::string program;
        int error;
    };
    for (const auto& c :
         {Case{no_exec_bit, EACCES}, Case{not_a_program, ENOEXEC}, Case{dir_template, EACCES}}) {
        Command command;
        command.program = c.program;
        command.out = Stdio::piped;
        auto r = Child::spawn(command);
        ASSERT_FALSE(r.ok()) << c.program;
        EXPECT_EQ(r.error().value(), c.error) << c.program;
    }
    ::unlink(no_exec_bit.c_str());
    ::unlink(not_a_program.c_str());
    ::rmdir(dir_template);
}

std::string fds_of_child() {
    Command c = helper({"fds"});
    return run(c).out;
}

TEST(ChildSpawn, ChildGetsOnlyItsThreeStreams) {
    // A descriptor without close-on-exec, as one inherited from our own parent would be.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    EXPECT_EQ(fds_of_child(), "0 1 2");

    // Another thread holding fresh pipes for its own children at the same time.
    std::atomic<bool> stop{false};
    std::thread spawner([&] {
        while (!stop) {
            Command c = helper({"exit", "0"});
            c.in = Stdio::piped;
            c.out = Stdio::piped;
            c.err = Stdio::piped;
            (void)start(c).collect();
        }
    });
    for (int i = 0; i < 20; ++i) EXPECT_EQ(fds_of_child(), "0 1 2");
    stop = true;
    spawner.join();
    ::close(leaked);
}

TEST(ChildSpawn, ChildStartsWithDefaultSignalsAndAnEmptyMask) {
    ignore_sigpipe();
    struct sigaction old_int {};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGUSR2, &ignore, &old_int);
    sigset_t block, old_mask;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &block, &old_mask);

    const auto out = run(helper({"sigstate"})).out;

    ::pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    ::sigaction(SIGUSR2, &old_int, nullptr);
    EXPECT_EQ(out, "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
}

TEST(ChildWait, TryWaitKillAndWait) {
    Child child = start(helper({"sleep", "60000"}));
    auto running = child.try_wait();
    ASSERT_TRUE(running.ok());
    EXPECT_FALSE(running.value().has_value());
    EXPECT_FALSE(child.kill());
    EXPECT_EQ(child.wait().value(), -1);
    // Awaited: the answer is kept, and kill no longer signals a pid that may be reused.
    EXPECT_EQ(child.try_wait().value(), std::optional<int>(-1));
    EXPECT_FALSE(child.kill());

    Child quick = start(helper({"exit", "7"}));
    std::optional<int> code;
    for (int i = 0; i < 500 && !code; ++i) {
        code = quick.try_wait().value();
        if (!code) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(code, std::optional<int>(7));
    EXPECT_EQ(quick.wait().value(), 7);
}

TEST(ChildWait, KillEndsTheWholeGroupOfAGroupLeader) {
    Command c = helper({"grandchild-sleeps"});
    c.out = Stdio::piped;
    c.own_process_group = true;
    Child child = start(c);
    auto out = child.take_stdout();
    char buf[8];
    ASSERT_EQ(::read(out->get(), buf, sizeof buf), 8);  // "started\n"
    EXPECT_FALSE(child.kill());
    // The grandchild held the pipe too: end of output proves it is gone as well.
    std::string rest, none;
    EXPECT_FALSE(drain_two(out->get(), rest, -1, none));
    EXPECT_EQ(child.wait().value(), -1);
}

TEST(ChildLifetime, ReleasingClosesThePipesAndLeavesTheProcess) {
    Command c = helper({"echo"});
    c.in = Stdio::piped;
    c.out = Stdio::piped;
    c.err = Stdio::piped;
    pid_t pid;
    int in_fd;
    {
        Child child = start(c);
        pid = child.pid();
        Child moved = std::move(child);
        in_fd = moved.take_stdin()->release();
        ::close(in_fd);
        EXPECT_EQ(child.pid(), -1);
    }
    // The child saw end of input because every parent end was closed, and nobody
    // awaited it: the status is still ours to collect.
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
}

// Replaces the process layer's system calls for the length of one test.
class SyscallFaults : public ::testing::Test {
  protected:
    void TearDown() override { sys::table() = sys::real(); }
    static inline int calls = 0;
};

TEST_F(SyscallFaults, WriteAllResumesAfterEintrAndShortWrites) {
    calls = 0;
    sys::table().write = [](int fd, const void* buf, size_t n) -> ssize_t {
        if (++calls % 2 == 1) {
            errno = EINTR;
            return -1;
        }
        return ::write(fd, buf, n < 3 ? n : 3);
    };
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    EXPECT_FALSE(write_all(p[1], "hello, world"));
    ::close(p[1]);
    char buf[64];
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(::read(p[0], buf, sizeof buf))),
              "hello, world");
    ::close(p[0]);
}

TEST_F(SyscallFaults, WriteAllReportsOtherErrors) {
    sys::table().write = [](int, const void*, size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    EXPECT_EQ(write_all(1, "x").value(), ENOSPC);
    EXPECT_FALSE(write_all(1, ""));
}

TEST_F(SyscallFaults, DrainAndWaitResumeAfterEintr) {
    calls = 0;
    sys::table().poll = [](pollfd* fds, nfds_t n, int timeout) {
        if (++calls % 2 == 1) {
            errno = EINTR;
            return -1;
        }
        return ::poll(fds, n, timeout);
    };
    sys::table().read = [](int fd, void* buf, size_t n) -> ssize_t {
        if (++calls % 3 == 0) {
            errno = EINTR;
            return -1;
        }
        return ::read(fd, buf, n < 5 ? n : 5);
    };
    sys::table().waitpid = [](pid_t pid, int* status, int options) {
        if (++calls % 2 == 1) {
            errno = EINTR;
            return -1;
        }
        return ::waitpid(pid, status, options);
    };
    const auto out = run(helper({"flood", "1000"}));
    EXPECT_EQ(out.exit_code, 0);
    EXPECT_EQ(out.out.size(), 1000u);
    EXPECT_EQ(out.err.size(), 1000u);
}

TEST_F(SyscallFaults, DrainReportsAReadError) {
    sys::table().read = [](int, void*, size_t) -> ssize_t {
        errno = EIO;
        return -1;
    };
    Command c = helper({"flood", "10"});
    c.out = Stdio::piped;
    c.err = Stdio::piped;
    Child child = start(c);
    std::string out, err;
    EXPECT_EQ(child.drain(out, err).value(), EIO);
    sys::table() = sys::real();
    // The child may or may not have finished writing before its readers went away.
    EXPECT_TRUE(child.wait().ok());
}

}  // namespace
}  // namespace dpt
