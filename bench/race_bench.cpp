// Latencies of the CLI on the race's path: from `send` returning to the token's line on
// the listener's output, and from `stop` returning to the listener being gone.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/launcher.hpp"
#include "platform/process.hpp"
#include "sandbox/sandbox_home.hpp"
#include "sandbox/unique_name.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double seconds_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// A listener of a fresh agent, started as the race starts it; ready once its session
// file exists (it holds its lock from before that).
struct RunningListener {
    dpt::Child child;
    dpt::UniqueFd out;
    std::string agent;
    double ready_seconds = 0;

    RunningListener(const std::filesystem::path& home, std::string name)
        : child(start(home, name)), out(*child.take_stdout()), agent(std::move(name)) {
        const auto started = Clock::now();
        const auto info = home / ".qdx" / "tarnixhold" / agent / "info.json";
        while (!std::filesystem::exists(info)) {
            if (Clock::now() - started > 5s) std::abort();
            std::this_thread::sleep_for(200us);
        }
        ready_seconds = seconds_between(started, Clock::now());
    }

    static dpt::Child start(const std::filesystem::path& home, const std::string& agent) {
        const std::vector<std::string> args = {
            "poll", agent, "listen", "--setup", "--pulse-interval", "10"};
        return dpt::spawn_cli(home, args, {});
    }

    ~RunningListener() {
        (void)child.kill();
        (void)child.wait();
    }
};

int run_cli(const std::filesystem::path& home, std::vector<std::string> args,
            std::string_view input) {
    dpt::Command command = dpt::cli_command(home, std::move(args));
    command.in = dpt::Stdio::piped;
    command.out = dpt::Stdio::piped;
    command.err = dpt::Stdio::piped;
    auto started = dpt::Child::spawn(command);
    if (!started.ok()) std::abort();
    dpt::Child& child = started.value();
    if (child.write_stdin_and_close(input)) std::abort();
    std::string out;
    std::string err;
    (void)child.drain(out, err);
    const auto code = child.wait();
    return code.ok() ? code.value() : -1;
}

// Reads the listener's output until a line holding `token` has arrived whole.
bool await_line(int fd, std::string& seen, const std::string& token) {
    const auto deadline = Clock::now() + 5s;
    char chunk[4096];
    for (;;) {
        const auto at = seen.find(token);
        if (at != std::string::npos && seen.find('\n', at) != std::string::npos) return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        seen.append(chunk, static_cast<std::size_t>(n));
    }
}

void BM_send_to_stream_line(benchmark::State& state) {
    const dpt::SandboxHome home;
    RunningListener listener(home.path(), dpt::unique_name("bench_send"));
    // The race sends 500 ms after the start; an idle listener is what it meets.
    std::this_thread::sleep_for(100ms);
    std::string seen;
    for (auto _ : state) {
        const std::string token = "RACE_TOKEN_" + dpt::unique_name("body");
        if (run_cli(home.path(), {"send", listener.agent, "racesender"}, token + "\n") != 0)
            state.SkipWithError("send failed");
        const auto sent = Clock::now();
        if (!await_line(listener.out.get(), seen, token)) state.SkipWithError("no delivery");
        state.SetIterationTime(seconds_between(sent, Clock::now()));
        seen.clear();
        std::this_thread::sleep_for(20ms);
    }
}
BENCHMARK(BM_send_to_stream_line)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(20)
    ->Unit(benchmark::kMillisecond);

void BM_stop_to_listener_gone(benchmark::State& state) {
    const dpt::SandboxHome home;
    std::size_t gone_at_once = 0;
    double ready = 0;
    for (auto _ : state) {
        RunningListener listener(home.path(), dpt::unique_name("bench_stop"));
        ready += listener.ready_seconds;
        (void)run_cli(home.path(), {"stop", listener.agent}, "");
        const auto stopped = Clock::now();
        siginfo_t info{};
        // What the race's first exit poll sees right after `stop` has returned.
        if (::waitid(P_PID, static_cast<id_t>(listener.child.pid()), &info,
                     WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid != 0)
            ++gone_at_once;
        while (::waitid(P_PID, static_cast<id_t>(listener.child.pid()), &info, WEXITED | WNOWAIT) !=
                   0 &&
               errno == EINTR) {
        }
        state.SetIterationTime(seconds_between(stopped, Clock::now()));
    }
    state.counters["gone_at_first_check"] =
        benchmark::Counter(static_cast<double>(gone_at_once), benchmark::Counter::kAvgIterations);
    state.counters["listener_ready_ms"] =
        benchmark::Counter(ready * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_stop_to_listener_gone)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(20)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
